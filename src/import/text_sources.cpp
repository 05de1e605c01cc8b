#include "import/text_sources.h"

#include "import/messages.h"

#include "diary/entry.h"
#include "platform/gbk.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringList>

namespace diary_import {

namespace {

constexpr qsizetype kRuleLength = 40;   // the "=" rule under a heading of the exported text

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Whether line begins with "YYYY-MM-DD" naming a real day; the date then in *date.
bool isoDateAt(QStringView line, QDate *date)
{
    if (line.size() < 10 || line[4] != u'-' || line[7] != u'-')
        return false;
    for (int i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (!isAsciiDigit(line[i]))
            return false;
    }
    const QDate d(line.left(4).toInt(), line.mid(5, 2).toInt(), line.mid(8, 2).toInt());
    if (!d.isValid() || d.year() < 1000)
        return false;
    *date = d;
    return true;
}

// The weekday the exported headings add: "（星期五）", five characters.
bool weekdayAt(QStringView text)
{
    static const QString days = QStringLiteral("一二三四五六日天");
    return text.size() >= 5 && text.startsWith(QStringLiteral("（星期")) && days.contains(text[3])
           && text[4] == u'）';
}

bool isBlankChar(QChar c)
{
    return c == u' ' || c == u'\t' || c == QChar(0x3000);
}

bool isBlankLine(QStringView line)
{
    for (QChar c : line) {
        if (!isBlankChar(c))
            return false;
    }
    return true;
}

struct Heading {
    qsizetype line = 0;        // where the heading stands
    qsizetype bodyStart = 0;   // the first line of its body
    QDate date;
    QString title;             // what followed the date, for the body's first line
    int weather = -1;
    int mood = -1;
};

// The heading a line is, after its Markdown marks when there were any: the date, then nothing,
// a weekday, or a blank and a title (a weekday may come before the blank). bare: the date and
// weekday only, as the exported text writes them.
bool headingOf(QStringView text, bool bare, Heading &heading)
{
    if (!isoDateAt(text, &heading.date))
        return false;
    QStringView rest = text.mid(10);
    if (weekdayAt(rest))
        rest = rest.mid(5);
    if (rest.isEmpty()) {
        heading.title.clear();
        return true;
    }
    if (bare || !isBlankChar(rest.front()))
        return false;
    heading.title = rest.trimmed().toString();
    while (!heading.title.isEmpty() && isBlankChar(heading.title.front()))
        heading.title.remove(0, 1);
    return true;
}

// The Markdown heading "# …" or "## …" of a line: the text after its marks.
bool markdownHeadingText(QStringView line, QStringView &text)
{
    qsizetype marks = 0;
    while (marks < line.size() && marks < 3 && line[marks] == u'#')
        ++marks;
    if (marks < 1 || marks > 2 || marks >= line.size() || (line[marks] != u' ' && line[marks] != u'\t'))
        return false;
    text = line.mid(marks).trimmed();
    return true;
}

bool isFence(QStringView line)
{
    qsizetype i = 0;
    while (i < line.size() && i < 3 && line[i] == u' ')
        ++i;
    const QStringView rest = line.mid(i);
    return rest.startsWith(QLatin1String("```")) || rest.startsWith(QLatin1String("~~~"));
}

bool isRule(QStringView line)
{
    return line.size() == kRuleLength && line.count(u'=') == kRuleLength;
}

QStringList linesOf(const QString &text)
{
    QString normal = text;
    normal.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    normal.replace(u'\r', u'\n');
    QStringList lines = normal.split(u'\n');
    if (normal.endsWith(u'\n'))
        lines.removeLast();   // the last line's end starts no line
    return lines;
}

// The exported text's headings: heading line, optional meta line, rule.
QList<Heading> ownTextHeadings(const QStringList &lines)
{
    QList<Heading> found;
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        Heading h;
        if (!headingOf(lines[i], true, h))
            continue;
        qsizetype next = i + 1;
        if (!isRule(lines[next])) {
            if (!parseMetaLine(lines[next], h.weather, h.mood) || next + 1 >= lines.size()
                || !isRule(lines[next + 1])) {
                continue;
            }
            ++next;
        }
        h.line = i;
        h.bodyStart = next + 1;
        found.append(h);
        i = next;
    }
    return found;
}

// After a heading of other text or of Markdown: blank lines and a meta line are no body.
void takeMeta(const QStringList &lines, Heading &h, bool markdown)
{
    qsizetype i = h.bodyStart;
    while (i < lines.size() && isBlankLine(lines[i]))
        ++i;
    if (i < lines.size()) {
        QString line = lines[i].trimmed();
        const bool wrapped = line.size() > 2 && line.startsWith(u'*') && line.endsWith(u'*');
        if (markdown && wrapped)
            line = line.mid(1, line.size() - 2);
        if ((wrapped || !markdown) && parseMetaLine(line, h.weather, h.mood))
            h.bodyStart = i + 1;
    }
}

QList<Heading> otherHeadings(const QStringList &lines, bool markdown)
{
    QList<Heading> found;
    bool fenced = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString &line = lines[i];
        if (markdown && isFence(line)) {
            fenced = !fenced;
            continue;
        }
        if (fenced)
            continue;
        QStringView text = line;
        if (markdown && !markdownHeadingText(line, text))
            continue;
        Heading h;
        if (!headingOf(text, false, h))
            continue;
        h.line = i;
        h.bodyStart = i + 1;
        takeMeta(lines, h, markdown);
        found.append(h);
    }
    return found;
}

// The body of lines [from, to), its title first.
QString bodyOf(const QStringList &lines, qsizetype from, qsizetype to, const QString &title,
               bool markdown, bool ownText)
{
    to = std::max(from, to);
    if (ownText) {
        if (to > from && lines[to - 1].isEmpty())
            --to;   // the one line that separates entries
    } else {
        while (from < to && isBlankLine(lines[from]))
            ++from;
        while (to > from && isBlankLine(lines[to - 1]))
            --to;
    }
    QStringList body = lines.mid(from, to - from);
    if (!title.isEmpty()) {
        if (markdown && !body.isEmpty())
            body.prepend(QString());
        body.prepend(title);
    }
    return body.join(u'\n');
}

// The text of one attribute of a tag, unescaped; *found when the tag has it.
struct Attributes {
    QString cls;
    QString date;
    QString weather;
    QString mood;
    bool hasDate = false;
};

// Reads the attributes of the tag whose name ends at pos, up to its ">" (returned: the position
// after it, or -1 when the tag does not end).
qsizetype readAttributes(const QString &html, qsizetype pos, Attributes &attrs)
{
    const qsizetype n = html.size();
    while (pos < n) {
        while (pos < n && html[pos].isSpace())
            ++pos;
        if (pos >= n)
            return -1;
        if (html[pos] == u'>')
            return pos + 1;
        if (html[pos] == u'/') {
            ++pos;
            continue;
        }
        const qsizetype nameStart = pos;
        while (pos < n && !html[pos].isSpace() && html[pos] != u'=' && html[pos] != u'>' && html[pos] != u'/')
            ++pos;
        const QString name = html.mid(nameStart, pos - nameStart).toLower();
        while (pos < n && html[pos].isSpace())
            ++pos;
        QString value;
        if (pos < n && html[pos] == u'=') {
            ++pos;
            while (pos < n && html[pos].isSpace())
                ++pos;
            if (pos < n && (html[pos] == u'"' || html[pos] == u'\'')) {
                const QChar quote = html[pos++];
                const qsizetype end = html.indexOf(quote, pos);
                if (end < 0)
                    return -1;
                value = html.mid(pos, end - pos);
                pos = end + 1;
            } else {
                const qsizetype start = pos;
                while (pos < n && !html[pos].isSpace() && html[pos] != u'>')
                    ++pos;
                value = html.mid(start, pos - start);
            }
        }
        value = unescapeHtml(value);
        if (name == QLatin1String("class"))
            attrs.cls = value;
        else if (name == QLatin1String("data-date"))
            attrs.date = value, attrs.hasDate = true;
        else if (name == QLatin1String("data-weather"))
            attrs.weather = value;
        else if (name == QLatin1String("data-mood"))
            attrs.mood = value;
    }
    return -1;
}

} // namespace

QString decodeText(const QByteArray &bytes, Encoding encoding, Encoding *used)
{
    Encoding taken = encoding;
    QString text;
    if (encoding == Encoding::Auto) {
        if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
            QStringDecoder utf16(bytes.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE
                                                            : QStringDecoder::Utf16BE);
            text = utf16.decode(QByteArrayView(bytes).sliced(2));
            if (used)
                *used = Encoding::Utf8;
            return text;
        }
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text = utf8.decode(bytes);
        taken = utf8.hasError() ? Encoding::Gbk : Encoding::Utf8;
        if (taken == Encoding::Gbk)
            text = gbk::decode(bytes);
    } else if (encoding == Encoding::Utf8) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text = utf8.decode(bytes);
    } else {
        text = gbk::decode(bytes);
    }
    if (taken == Encoding::Utf8 && text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    if (used)
        *used = taken;
    return text;
}

QDate dateOfFileName(const QString &fileName)
{
    static const QRegularExpression form(QStringLiteral(
        "^(\\d{4})(?:年(\\d{1,2})月(\\d{1,2})日|([-._])(\\d{1,2})\\4(\\d{1,2})|(\\d{2})(\\d{2}))(?![0-9])"));
    const QRegularExpressionMatch m = form.match(fileName);
    if (!m.hasMatch())
        return QDate();
    const QStringView rest = QStringView(fileName).mid(m.capturedEnd(0));
    if (!rest.isEmpty()) {
        const QChar c = rest.front();
        if (c != u'.' && c != u' ' && c != u'_' && c != u'-' && c != u'(' && c != u'（')
            return QDate();
    }
    const int year = m.captured(1).toInt();
    int month = 0;
    int day = 0;
    for (const auto &[mi, di] : {std::pair{2, 3}, std::pair{5, 6}, std::pair{7, 8}}) {
        if (m.capturedLength(mi) > 0) {
            month = m.captured(mi).toInt();
            day = m.captured(di).toInt();
        }
    }
    const QDate date(year, month, day);
    return year >= 1000 && date.isValid() ? date : QDate();
}

SourceKind kindOf(const QString &fileName, const QByteArray &bytes)
{
    const QByteArray head = bytes.left(512).trimmed();
    if (head.startsWith("{\\rtf"))
        return SourceKind::Rtf;
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("txt") || suffix == QLatin1String("text"))
        return SourceKind::Text;
    if (suffix == QLatin1String("md") || suffix == QLatin1String("markdown"))
        return SourceKind::Markdown;
    if (suffix == QLatin1String("htm") || suffix == QLatin1String("html"))
        return SourceKind::Html;
    if (suffix == QLatin1String("rtf"))
        return SourceKind::Rtf;   // bytes that are no RTF: refused when read
    bool digits = !suffix.isEmpty();
    for (QChar c : suffix)
        digits = digits && isAsciiDigit(c);
    if (!suffix.isEmpty() && !digits)
        return SourceKind::Unknown;
    const QByteArray lower = head.left(64).toLower();
    if (lower.startsWith("<!doctype html") || lower.startsWith("<html"))
        return SourceKind::Html;
    return SourceKind::Text;
}

bool parseMetaLine(const QString &line, int &weather, int &mood)
{
    weather = mood = -1;
    const QString text = line.trimmed();
    if (text.isEmpty())
        return false;
    int w = -1;
    int m = -1;
    bool any = false;
    for (const QString &part : text.split(QChar(0x3000))) {
        const qsizetype colon = part.indexOf(u'：');
        if (colon < 0)
            return false;
        const QString key = part.left(colon);
        const QString word = part.mid(colon + 1);
        if (key == QStringLiteral("天气") && w < 0)
            w = diary::weatherIndexOf(word);
        else if (key == QStringLiteral("心情") && m < 0)
            m = diary::moodIndexOf(word);
        else
            return false;
        if ((key == QStringLiteral("天气") ? w : m) < 0)
            return false;
        any = true;
    }
    if (!any)
        return false;
    weather = w;
    mood = m;
    return true;
}

Split splitText(const QString &text, SourceKind kind, const QDate &namedDay)
{
    Split split;
    const bool markdown = kind == SourceKind::Markdown;
    const QStringList lines = linesOf(text);
    bool ownText = false;
    QList<Heading> headings;
    if (!markdown) {
        headings = ownTextHeadings(lines);
        ownText = !headings.isEmpty();
    }
    if (!ownText)
        headings = otherHeadings(lines, markdown);

    if (namedDay.isValid()) {
        qsizetype first = 0;
        while (first < lines.size() && isBlankLine(lines[first]))
            ++first;
        SourceEntry entry;
        entry.date = namedDay;
        if (!headings.isEmpty() && headings.front().line == first && headings.front().date == namedDay) {
            const Heading &h = headings.front();
            entry.weather = h.weather;
            entry.mood = h.mood;
            entry.body = bodyOf(lines, h.bodyStart, lines.size(), h.title, markdown, false);
        } else {
            entry.body = bodyOf(lines, 0, lines.size(), QString(), markdown, false);
        }
        split.entries.append(entry);
        return split;
    }
    if (headings.isEmpty()) {
        split.refusal = import_text::noDate();
        return split;
    }
    int before = 0;
    for (qsizetype i = 0; i < headings.front().line; ++i)
        before += isBlankLine(lines[i]) ? 0 : 1;
    if (before > 1) {
        split.refusal = import_text::textBeforeFirstDate();
        return split;
    }
    for (qsizetype k = 0; k < headings.size(); ++k) {
        const Heading &h = headings[k];
        const qsizetype end = k + 1 < headings.size() ? headings[k + 1].line : lines.size();
        split.entries.append({h.date, h.weather, h.mood,
                              bodyOf(lines, h.bodyStart, end, h.title, markdown, ownText)});
    }
    return split;
}

bool datedHeading(QStringView line, QDate *date, QString *title)
{
    Heading h;
    if (!headingOf(line, false, h))
        return false;
    *date = h.date;
    *title = h.title;
    return true;
}

Split splitHtml(const QString &html, const QDate &namedDay)
{
    static const QString bodyStart = QStringLiteral("<!--entry-body-->");
    static const QString bodyEnd = QStringLiteral("<!--/entry-body-->");
    Split split;
    qsizetype pos = 0;
    while ((pos = html.indexOf(QLatin1String("<article"), pos, Qt::CaseInsensitive)) >= 0) {
        pos += 8;
        if (pos < html.size() && !html[pos].isSpace() && html[pos] != u'>')
            continue;   // another element whose name begins so
        Attributes attrs;
        const qsizetype open = readAttributes(html, pos, attrs);
        if (open < 0)
            break;
        pos = open;
        if (!attrs.hasDate || !attrs.cls.split(u' ', Qt::SkipEmptyParts).contains(QLatin1String("entry")))
            continue;
        SourceEntry entry;
        entry.date = QDate::fromString(attrs.date.trimmed(), Qt::ISODate);
        if (!entry.date.isValid()) {
            split.entries.clear();
            split.refusal = import_text::badDateInHtml();
            return split;
        }
        entry.weather = diary::weatherIndexOf(attrs.weather);
        entry.mood = diary::moodIndexOf(attrs.mood);
        qsizetype close = html.indexOf(QLatin1String("</article"), open, Qt::CaseInsensitive);
        if (close < 0)
            close = html.size();
        const qsizetype from = html.indexOf(bodyStart, open);
        const qsizetype to = from >= 0 ? html.indexOf(bodyEnd, from) : -1;
        if (from >= 0 && to >= 0 && to <= close + bodyEnd.size()) {
            entry.body = html.mid(from + bodyStart.size(), to - from - bodyStart.size());
            close = std::max(close, to);
        } else {
            entry.body = html.mid(open, close - open);
        }
        split.entries.append(entry);
        pos = close;
    }
    if (split.entries.isEmpty()) {
        if (namedDay.isValid())
            split.entries.append({namedDay, -1, -1, html});
        else
            split.refusal = import_text::noDate();
    }
    return split;
}

QString unescapeHtml(const QString &text)
{
    if (!text.contains(u'&'))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const qsizetype semi = c == u'&' ? text.indexOf(u';', i + 1) : -1;
        if (semi < 0 || semi - i > 12) {
            out += c;
            continue;
        }
        const QStringView name = QStringView(text).mid(i + 1, semi - i - 1);
        char32_t code = 0;
        if (name == u"amp")
            code = u'&';
        else if (name == u"lt")
            code = u'<';
        else if (name == u"gt")
            code = u'>';
        else if (name == u"quot")
            code = u'"';
        else if (name == u"apos")
            code = u'\'';
        else if (name.startsWith(u'#')) {
            bool ok = false;
            const bool hex = name.size() > 1 && (name[1] == u'x' || name[1] == u'X');
            const uint value = name.mid(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
            if (ok && value > 0 && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF))
                code = value;
        }
        if (code == 0) {
            out += c;
            continue;
        }
        out += QString::fromUcs4(&code, 1);
        i = semi;
    }
    return out;
}

} // namespace diary_import
