// jrnl's plain-text journal and its JSON export.
#include "import/readers.h"

#include "import/messages.h"

#include <QJsonValue>
#include <QRegularExpression>

namespace diary_import {

namespace {

// "[2013-06-09 03:39:07 PM] ": the date (year first with "-", "/" or "."; or day first with
// "."), then optionally the time, 24-hour or with AM/PM.
const QRegularExpression &entryStart()
{
    static const QRegularExpression start(QStringLiteral(
        "^\\[(?:(\\d{4})([-/.])(\\d{1,2})\\2(\\d{1,2})|(\\d{1,2})\\.(\\d{1,2})\\.(\\d{4}))"
        "(?:[ T](\\d{1,2}):(\\d{2})(?::(\\d{2}))?(?:\\s*([AaPp])\\.?[Mm]\\.?)?)?\\] ?"));
    return start;
}

// Words beginning with "@" that no letter or digit comes right before (an e-mail address is
// no tag).
const QRegularExpression &atTag()
{
    static const QRegularExpression tag(QStringLiteral("(?<![\\w@])@([\\w][\\w\\-]*)"),
                                        QRegularExpression::UseUnicodePropertiesOption);
    return tag;
}

QStringList atTags(const QString &text)
{
    QStringList tags;
    for (auto it = atTag().globalMatch(text); it.hasNext();)
        tags.append(it.next().captured(1));
    return tags;
}

struct Stamp {
    QDate date;
    QTime time;
    bool valid = false;
};

Stamp stampOf(const QRegularExpressionMatch &m)
{
    Stamp s;
    if (m.capturedLength(1) > 0)
        s.date = QDate(m.captured(1).toInt(), m.captured(3).toInt(), m.captured(4).toInt());
    else
        s.date = QDate(m.captured(7).toInt(), m.captured(6).toInt(), m.captured(5).toInt());
    s.valid = s.date.isValid();
    if (m.capturedLength(8) > 0) {
        int hour = m.captured(8).toInt();
        const QString half = m.captured(11).toLower();
        if (!half.isEmpty()) {
            if (hour < 1 || hour > 12)
                s.valid = false;
            hour = hour % 12 + (half == u"p" ? 12 : 0);
        }
        s.time = QTime(hour, m.captured(9).toInt(), m.captured(10).toInt());
        s.valid = s.valid && s.time.isValid();
    }
    return s;
}

// The first sentence of a line: up to ".", "?" or "!" followed by a blank, else the line.
qsizetype titleEnd(const QString &line)
{
    for (qsizetype i = 0; i + 1 < line.size(); ++i) {
        const QChar c = line[i];
        if ((c == u'.' || c == u'?' || c == u'!') && line[i + 1].isSpace())
            return i + 1;
    }
    return line.size();
}

QString trimmedLines(QStringList lines)
{
    while (!lines.isEmpty() && lines.front().trimmed().isEmpty())
        lines.removeFirst();
    while (!lines.isEmpty() && lines.back().trimmed().isEmpty())
        lines.removeLast();
    return lines.join(u'\n');
}

} // namespace

bool looksLikeJrnlText(const QString &text)
{
    for (QStringView line : QStringView(text).split(u'\n')) {
        if (line.trimmed().isEmpty())
            continue;
        return entryStart().match(line.toString()).hasMatch();
    }
    return false;
}

Reading readJrnlText(const QString &text)
{
    Reading reading;
    reading.format = import_text::jrnlText();
    QString normal = text;
    normal.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const QStringList lines = normal.split(u'\n');
    int number = 0;
    for (qsizetype i = 0; i < lines.size();) {
        const QRegularExpressionMatch m = entryStart().match(lines[i]);
        if (!m.hasMatch()) {
            ++i;   // only blank lines stand before the first entry (looksLikeJrnlText)
            continue;
        }
        ++number;
        const QString first = lines[i].mid(m.capturedEnd());
        qsizetype end = i + 1;
        while (end < lines.size() && !entryStart().match(lines[end]).hasMatch())
            ++end;
        QStringList body = lines.mid(i + 1, end - i - 1);
        i = end;

        const Stamp stamp = stampOf(m);
        const QString stampText = m.captured().trimmed();
        if (!stamp.valid) {
            reading.skipped.append({import_text::itemPlace(number), import_text::badDate(stampText)});
            continue;
        }
        Item item;
        item.date = stamp.date;
        item.time = stamp.time;
        item.place = import_text::itemPlace(number, stamp.date.toString(Qt::ISODate));
        const qsizetype cut = titleEnd(first);
        item.title = first.left(cut).trimmed();
        QString rest = first.mid(cut);
        // " *" right after the title stars the entry.
        static const QRegularExpression star(QStringLiteral("^\\s*\\*(?=\\s|$)"));
        const QRegularExpressionMatch starred = star.match(rest);
        if (starred.hasMatch()) {
            item.starred = true;
            rest = rest.mid(starred.capturedEnd());
        }
        if (item.title.endsWith(QLatin1String(" *"))) {
            item.starred = true;
            item.title.chop(2);
            item.title = item.title.trimmed();
        }
        if (!rest.trimmed().isEmpty())
            body.prepend(rest.trimmed());
        item.text = trimmedLines(body);
        item.tags = atTags(item.title + u'\n' + item.text);
        reading.items.append(item);
    }
    return reading;
}

bool looksLikeJrnlJson(const QJsonObject &root)
{
    if (!root.value(QLatin1String("tags")).isObject() || !root.value(QLatin1String("entries")).isArray())
        return false;
    const QJsonArray entries = root.value(QLatin1String("entries")).toArray();
    return entries.isEmpty() || entries.first().toObject().contains(QLatin1String("date"));
}

Reading readJrnlJson(const QJsonObject &root)
{
    Reading reading;
    reading.format = import_text::jrnlJson();
    const QJsonArray entries = root.value(QLatin1String("entries")).toArray();
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const QJsonObject e = entries[i].toObject();
        const QString dateText = e.value(QLatin1String("date")).toString();
        const QString timeText = e.value(QLatin1String("time")).toString();
        const QDate date = QDate::fromString(dateText, Qt::ISODate);
        QTime time;
        if (!timeText.isEmpty())
            time = QTime::fromString(timeText, timeText.size() > 5 ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm"));
        if (!date.isValid() || (!timeText.isEmpty() && !time.isValid())) {
            reading.skipped.append({import_text::itemPlace(int(i) + 1),
                                    import_text::badDate((dateText + u' ' + timeText).trimmed())});
            continue;
        }
        Item item;
        item.date = date;
        item.time = time;
        item.place = import_text::itemPlace(int(i) + 1, dateText);
        item.title = e.value(QLatin1String("title")).toString();
        item.text = e.value(QLatin1String("body")).toString().trimmed();
        for (const QJsonValue &tag : e.value(QLatin1String("tags")).toArray()) {
            // A tag written with "#" is one in the text already.
            const QString name = tag.toString();
            if (!name.startsWith(u'#'))
                item.tags.append(name);
        }
        item.starred = e.value(QLatin1String("starred")).toBool();
        reading.items.append(item);
    }
    return reading;
}

} // namespace diary_import
