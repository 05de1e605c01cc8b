// An office document's blocks divided into entries, as dated text is.
#include "import/office_html.h"

#include "import/messages.h"

#include <QRegularExpression>

namespace diary_import {

namespace {

bool isEmptyBlock(const OfficeDocument::Block &block)
{
    return block.paragraph && block.text.trimmed().isEmpty();
}

struct Heading {
    qsizetype block;
    qsizetype bodyStart;
    QDate date;
    QString title;
    int weather = -1;
    int mood = -1;
};

// This program's ODF export heads each entry with its day and weekday alone: 「2003-09-26（星期五）」.
bool isExportHeading(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}（星期[一二三四五六日天]）$"));
    return form.match(text.trimmed()).hasMatch();
}

// The heading a block is, with the meta line after it (this program's exports write one).
// exportOnly: only this program's export headings count.
bool headingAt(const QList<OfficeDocument::Block> &blocks, qsizetype i, bool exportOnly, Heading &h)
{
    if (!blocks[i].paragraph || !datedHeading(blocks[i].text.trimmed(), &h.date, &h.title))
        return false;
    if (exportOnly && !isExportHeading(blocks[i].text))
        return false;
    h.block = i;
    h.bodyStart = i + 1;
    if (h.bodyStart < blocks.size() && blocks[h.bodyStart].paragraph
        && parseMetaLine(blocks[h.bodyStart].text, h.weather, h.mood))
        ++h.bodyStart;
    return true;
}

QString htmlOf(const QList<OfficeDocument::Block> &blocks, qsizetype from, qsizetype to)
{
    while (from < to && isEmptyBlock(blocks[from]))
        ++from;
    while (to > from && isEmptyBlock(blocks[to - 1]))
        --to;
    QString html = OfficeHtml::head();
    for (qsizetype i = from; i < to; ++i)
        html += blocks[i].html;
    return html + QStringLiteral("</body></html>");
}

} // namespace

Reading readOfficeDocument(const OfficeDocument &document, const QString &format, const QDate &namedDay)
{
    Reading reading;
    reading.format = format;
    const QList<OfficeDocument::Block> &blocks = document.blocks;
    // Where this program's export headings stand, only they begin entries: a day written in an
    // entry's text is no heading then.
    bool exportOnly = false;
    for (const OfficeDocument::Block &block : blocks)
        exportOnly = exportOnly || (block.paragraph && isExportHeading(block.text));
    QList<Heading> headings;
    for (qsizetype i = 0; i < blocks.size(); ++i) {
        Heading h;
        if (headingAt(blocks, i, exportOnly, h)) {
            headings.append(h);
            i = h.bodyStart - 1;
        }
    }
    auto item = [&](const QDate &date, const Heading *h, qsizetype from, qsizetype to, int number) {
        Item it;
        it.date = date;
        it.markup = Item::Markup::Html;
        it.text = htmlOf(blocks, from, to);
        it.pictures = document.pictures;
        it.place = import_text::itemPlace(number, date.toString(Qt::ISODate));
        if (h) {
            it.title = h->title;
            it.weather = h->weather;
            it.mood = h->mood;
        }
        reading.items.append(it);
    };
    if (namedDay.isValid()) {
        qsizetype first = 0;
        while (first < blocks.size() && isEmptyBlock(blocks[first]))
            ++first;
        // A heading of that same day on top is the document's own.
        if (!headings.isEmpty() && headings.front().block == first && headings.front().date == namedDay)
            item(namedDay, &headings.front(), headings.front().bodyStart, blocks.size(), 1);
        else
            item(namedDay, nullptr, 0, blocks.size(), 1);
        return reading;
    }
    if (headings.isEmpty()) {
        reading.refusal = import_text::noDate();
        return reading;
    }
    int before = 0;
    for (qsizetype i = 0; i < headings.front().block; ++i)
        before += isEmptyBlock(blocks[i]) ? 0 : 1;
    // One line may stand before the first day (the title of an export), never more.
    if (before > 1) {
        reading.refusal = import_text::textBeforeFirstDate();
        return reading;
    }
    for (qsizetype k = 0; k < headings.size(); ++k) {
        const qsizetype end = k + 1 < headings.size() ? headings[k + 1].block : blocks.size();
        item(headings[k].date, &headings[k], headings[k].bodyStart, end, int(k) + 1);
    }
    return reading;
}

} // namespace diary_import
