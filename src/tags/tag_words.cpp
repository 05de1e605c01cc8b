#include "tags/tag_words.h"

#include <QSet>

namespace tags {

namespace {

bool isHash(char16_t c)
{
    return c == u'#' || c == u'\uFF03';
}

// A Latin letter or digit, half-width or full-width: a "#" after one belongs to a word such as
// C# or to an address, and starts no tag.
bool isLatinWordCharacter(char32_t c)
{
    if (c >= 0xFF10 && c <= 0xFF5A)
        c -= 0xFEE0;
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool isWordCharacter(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Number_DecimalDigit:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
        return true;
    default:
        return false;
    }
}

// The code point at i and how many units it takes.
char32_t codePointAt(QStringView text, qsizetype i, qsizetype *units)
{
    const char16_t c = text[i].unicode();
    if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        *units = 2;
        return QChar::surrogateToUcs4(c, text[i + 1].unicode());
    }
    *units = 1;
    return c;
}

// The code point that ends before i (i > 0).
char32_t codePointBefore(QStringView text, qsizetype i)
{
    const char16_t c = text[i - 1].unicode();
    if (QChar::isLowSurrogate(c) && i >= 2 && text[i - 2].isHighSurrogate())
        return QChar::surrogateToUcs4(text[i - 2].unicode(), c);
    return c;
}

} // namespace

QList<TagSpan> findTags(QStringView text)
{
    QList<TagSpan> found;
    const qsizetype n = text.size();
    qsizetype closedAt = -1;   // the "#" that closed the tag before, which starts none
    for (qsizetype i = 0; i < n; ++i) {
        if (!isHash(text[i].unicode()) || i == closedAt)
            continue;
        if (i > 0 && isLatinWordCharacter(codePointBefore(text, i)))
            continue;
        qsizetype end = i + 1;
        bool letters = false;
        while (end < n) {
            qsizetype units = 1;
            const char32_t c = codePointAt(text, end, &units);
            if (!isWordCharacter(c))
                break;
            letters = letters || QChar::category(c) != QChar::Number_DecimalDigit;
            end += units;
        }
        const qsizetype length = end - i - 1;
        if (length == 0 || !letters || length > kMaxTagLength) {
            i = end - 1;
            continue;
        }
        found.append({i, length});
        if (end < n && isHash(text[end].unicode()))
            closedAt = end;
        i = end - 1;
    }
    return found;
}

QStringList tagsIn(QStringView text)
{
    QStringList out;
    if (!text.contains(u'#') && !text.contains(u'\uFF03'))
        return out;
    QSet<QString> seen;
    for (const TagSpan &span : findTags(text)) {
        const QStringView word = text.sliced(span.wordStart(), span.length);
        const QString key = tagKey(word);
        if (!seen.contains(key)) {
            seen.insert(key);
            out.append(word.toString());
        }
    }
    return out;
}

QString tagKey(QStringView tag)
{
    // Most tags are Chinese or lower-case ASCII, which fold to themselves.
    bool plain = true;
    for (const QChar c : tag) {
        const char16_t u = c.unicode();
        if (!((u >= 0x4E00 && u <= 0x9FFF) || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9'))) {
            plain = false;
            break;
        }
    }
    if (plain)
        return tag.toString();
    return tag.toString().normalized(QString::NormalizationForm_KC).toCaseFolded();
}

} // namespace tags
