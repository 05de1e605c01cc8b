#include "import/entry_assembly.h"

#include "diary/entry.h"
#include "import/messages.h"
#include "import/picture_links.h"
#include "richtext/pictures.h"

#include <QRegularExpression>
#include <QSet>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QUrl>

#include <algorithm>
#include <memory>
#include <vector>

namespace diary_import {

namespace {

// The body of an item as a document, its pictures its own.
void fillBody(const Item &item, QTextDocument &body, TakenPictures &pictures)
{
    switch (item.markup) {
    case Item::Markup::Plain:
        body.setPlainText(item.text);
        break;
    case Item::Markup::Markdown: {
        // Qt's Markdown reader places a picture only when it has a text: "![](x)" shows nothing.
        static const QRegularExpression noText(QStringLiteral("!\\[\\]\\("));
        QString markdown = paragraphsAtLineEnds(item.text);
        markdown.replace(noText, QStringLiteral("![picture]("));
        body.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
        break;
    }
    case Item::Markup::Html:
        // Paragraphs as the editor holds them, without the space a browser puts between them.
        body.setDefaultStyleSheet(QStringLiteral("p { margin-top: 0; margin-bottom: 0; }"));
        body.setHtml(item.text);
        break;
    }
    // Markdown and HTML readers may hand a name back percent-decoded or with its host in lower
    // case ("dayone-moment://p1"): a name is looked up as it is, then in that folded form.
    auto folded = [](const QString &name) { return QUrl::fromPercentEncoding(name.toUtf8()).toLower(); };
    QHash<QString, QString> byFolded;
    for (auto it = item.pictures.cbegin(); it != item.pictures.cend(); ++it)
        byFolded.insert(folded(it.key()), it.key());
    pictures = takePictures(body, [&](const QString &name) -> std::optional<QByteArray> {
        auto found = item.pictures.constFind(name);
        if (found == item.pictures.constEnd())
            found = item.pictures.constFind(byFolded.value(folded(name)));
        if (found == item.pictures.constEnd())
            return std::nullopt;
        return *found;
    });
}

// The pictures of a document, also kept by another one (whose fragments of it will show them).
void sharePictures(const QTextDocument &from, QTextDocument &to)
{
    for (QTextBlock block = from.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (!format.isImageFormat())
                continue;
            if (const std::optional<richtext::Picture> picture = richtext::pictureOf(from, format.toImageFormat()))
                richtext::addPicture(to, *picture);
        }
    }
}

// Writes paragraphs one after another into an empty document: the first takes the document's
// one empty paragraph.
class DayWriter
{
public:
    // Writes after what doc holds already.
    explicit DayWriter(QTextDocument &doc) : m_doc(doc), m_cursor(&doc), m_first(doc.isEmpty())
    {
        m_cursor.movePosition(QTextCursor::End);
    }

    void paragraph(const QString &text, const QTextCharFormat &format = QTextCharFormat())
    {
        start(QTextBlockFormat(), format);
        m_cursor.insertText(text, format);
    }

    void body(const QTextDocument &body)
    {
        if (body.isEmpty())
            return;
        sharePictures(body, m_doc);
        appendDocument(m_doc, body);
        m_cursor.movePosition(QTextCursor::End);
        m_first = false;
    }

private:
    void start(const QTextBlockFormat &block, const QTextCharFormat &chars)
    {
        if (m_first) {
            m_cursor.setBlockFormat(block);
            m_cursor.setBlockCharFormat(chars);
            m_cursor.setCharFormat(chars);
            m_first = false;
        } else {
            m_cursor.insertBlock(block, chars);
        }
    }

    QTextDocument &m_doc;
    QTextCursor m_cursor;
    bool m_first;
};

QTextCharFormat boldFormat()
{
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    return bold;
}

struct Part {
    const Item *item;
    std::unique_ptr<QTextDocument> body;
};

} // namespace

void appendDocument(QTextDocument &doc, const QTextDocument &addition)
{
    QTextCursor cursor(&doc);
    cursor.movePosition(QTextCursor::End);
    const QTextBlock first = addition.firstBlock();
    // A fragment that begins with a list item brings its own paragraph; any other takes the
    // formats of its first paragraph here, not those of the paragraph before (which may be a
    // list item). The list a format names is the addition's, no object of doc.
    if (!first.textList()) {
        QTextBlockFormat format = first.blockFormat();
        format.setObjectIndex(-1);
        if (doc.isEmpty()) {
            cursor.setBlockFormat(format);
            cursor.setBlockCharFormat(first.charFormat());
            cursor.setCharFormat(first.charFormat());
        } else {
            cursor.insertBlock(format, first.charFormat());
        }
    }
    cursor.insertFragment(QTextDocumentFragment(&addition));
}

QString tagLine(const QStringList &tags)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    QStringList words;
    QSet<QString> seen;
    for (QString tag : tags) {
        tag = tag.trimmed();
        while (!tag.isEmpty() && (tag.front() == u'@' || tag.front() == u'#' || tag.front() == u'＃'))
            tag.remove(0, 1);
        tag.replace(blanks, QStringLiteral("_"));
        if (tag.isEmpty() || seen.contains(tag))
            continue;
        seen.insert(tag);
        words.append(u'#' + tag);
    }
    return words.join(u' ');
}

std::optional<Assembled> assemble(const Reading &reading, const QString &path,
                                  const std::function<bool()> &keepGoing)
{
    Assembled out;
    out.summary.path = path;
    out.summary.format = reading.format;
    out.skipped = reading.skipped;

    // Time order within a day; the source's order where times are equal or missing.
    QList<const Item *> order;
    for (const Item &item : reading.items)
        order.append(&item);
    std::stable_sort(order.begin(), order.end(), [](const Item *a, const Item *b) {
        if (a->date != b->date)
            return a->date < b->date;
        if (a->time.isValid() && b->time.isValid())
            return a->time < b->time;
        return false;
    });

    qsizetype next = 0;
    while (next < order.size()) {
        const QDate date = order[next]->date;
        std::vector<Part> parts;
        for (; next < order.size() && order[next]->date == date; ++next) {
            if (keepGoing && !keepGoing())
                return std::nullopt;
            const Item &item = *order[next];
            auto body = std::make_unique<QTextDocument>();
            TakenPictures pictures;
            fillBody(item, *body, pictures);
            if (!pictures.unreadable.isEmpty()) {
                out.skipped.append({item.place, import_text::unreadablePicture(pictures.unreadable.front())});
                continue;
            }
            out.summary.pictures += pictures.placed;
            parts.push_back({&item, std::move(body)});
        }
        if (parts.empty())
            continue;

        const bool several = parts.size() > 1;
        int weather = -1;
        int mood = -1;
        for (const Part &part : parts) {
            if (weather < 0)
                weather = part.item->weather;
            if (mood < 0)
                mood = part.item->mood;
        }
        // A day of one entry without a title is written on in its own document, which need not
        // be copied then.
        const bool alone = !several && parts[0].item->title.trimmed().isEmpty();
        QTextDocument joined;
        QTextDocument &day = alone ? *parts[0].body : joined;
        DayWriter writer(day);
        QStringList tags;
        for (size_t k = 0; k < parts.size(); ++k) {
            const Item &item = *parts[k].item;
            if (k > 0)
                writer.paragraph(QString());
            QStringList heading;
            if (several && item.time.isValid())
                heading.append(item.time.toString(QStringLiteral("HH:mm")));
            if (!item.title.trimmed().isEmpty())
                heading.append(item.title.trimmed());
            if (!heading.isEmpty())
                writer.paragraph(heading.join(u' '), boldFormat());
            if (!alone)
                writer.body(*parts[k].body);
            QStringList notes;
            if (item.weather >= 0 && item.weather != weather)
                notes.append(import_text::weatherLine(diary::weatherWord(item.weather)));
            if (item.mood >= 0 && item.mood != mood)
                notes.append(import_text::moodLine(diary::moodWord(item.mood)));
            notes += item.notes;
            for (const QString &note : std::as_const(notes))
                writer.paragraph(note);
            tags += item.tags;
            if (item.starred)
                tags.append(starredTag());
        }
        const QString tagText = tagLine(tags);
        if (!tagText.isEmpty())
            writer.paragraph(tagText);

        out.summary.items += int(parts.size());
        out.summary.days += 1;
        out.summary.multiDays += several ? 1 : 0;
        out.entries.append({date, weather, mood, diary::makeRecord(day, weather, mood), {path}});
    }
    return out;
}

} // namespace diary_import
