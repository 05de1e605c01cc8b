#include "diary/search.h"

#include "tags/tag_words.h"

#include <QHash>

#include <algorithm>
#include <thread>
#include <vector>

namespace diary {

namespace {

// From this many characters held, a text query is run on every core at once (up to
// kMaxSearchThreads): a hundred years of entries hold some 30 million, a frame's work for one.
constexpr qsizetype kParallelSearchCharacters = 1 << 20;
constexpr int kMaxSearchThreads = 4;

// The fold of one code point outside the fast paths, remembered: normalizing a one-character
// string is slow next to the plain loop, and a diary uses few distinct such characters.
const QString &foldedCodePoint(char32_t c)
{
    thread_local QHash<char32_t, QString> cache;
    auto it = cache.find(c);
    if (it == cache.end()) {
        const char32_t one[1] = {c};
        it = cache.insert(c, QString::fromUcs4(one, 1).normalized(QString::NormalizationForm_KC).toCaseFolded());
    }
    return *it;
}

// The fold of a UTF-16 unit that folds to one unit by itself, as *folded: ASCII (lowered), the
// unified ideographs (their own fold) and full-width ASCII (half-width, lowered). False for
// every other unit.
inline bool foldsAlone(char16_t c, char16_t *folded)
{
    if (c >= 0xFF01 && c <= 0xFF5E)
        c = char16_t(c - 0xFEE0);
    else if (c >= 0x80 && !(c >= 0x4E00 && c <= 0x9FFF))
        return false;
    *folded = c >= u'A' && c <= u'Z' ? char16_t(c + 0x20) : c;
    return true;
}

// The fold character by character, with where each folded character came from.
QString foldCharacters(QStringView text, QList<qsizetype> *origins);

} // namespace

QString foldForSearch(QStringView text, QList<qsizetype> *origins)
{
    if (!origins) {
        // The listing folds every entry: the characters that fold to one character (nearly all
        // of a diary's) are written straight into the result, without the bookkeeping below.
        QString out(text.size(), Qt::Uninitialized);
        QChar *put = out.data();
        qsizetype i = 0;
        for (; i < text.size(); ++i) {
            const char16_t c = text[i].unicode();
            char16_t alone = 0;
            if (foldsAlone(c, &alone)) {
                *put++ = QChar(alone);
            } else {
                char32_t code = c;
                if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
                    code = QChar::surrogateToUcs4(c, text[i + 1].unicode());
                const QString &folded = foldedCodePoint(code);
                if (folded.size() != QChar::requiresSurrogates(code) + 1)
                    break;   // the fold changes the length: the general path takes it from here
                for (const QChar f : folded)
                    *put++ = f;
                i += folded.size() - 1;
            }
        }
        out.truncate(put - out.constData());
        return i == text.size() ? out : out + foldCharacters(text.sliced(i), nullptr);
    }
    return foldCharacters(text, origins);
}

namespace {

QString foldCharacters(QStringView text, QList<qsizetype> *origins)
{
    QString out;
    out.reserve(text.size());
    if (origins) {
        origins->clear();
        origins->reserve(text.size() + 1);
    }
    const auto put = [&](QChar c, qsizetype from) {
        out.append(c);
        if (origins)
            origins->append(from);
    };
    for (qsizetype i = 0; i < text.size();) {
        const char16_t c = text[i].unicode();
        char16_t alone = 0;
        if (foldsAlone(c, &alone)) {
            put(QChar(alone), i);
            ++i;
        } else {
            char32_t code = c;
            qsizetype length = 1;
            if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
                code = QChar::surrogateToUcs4(c, text[i + 1].unicode());
                length = 2;
            }
            for (const QChar f : foldedCodePoint(code))
                put(f, i);
            i += length;
        }
    }
    if (origins)
        origins->append(text.size());
    return out;
}

} // namespace

QList<QPair<qsizetype, qsizetype>> findMatches(QStringView text, const QString &needle)
{
    QList<QPair<qsizetype, qsizetype>> ranges;
    const QString folded = foldForSearch(needle);
    if (folded.isEmpty())
        return ranges;
    QList<qsizetype> origins;
    const QString haystack = foldForSearch(text, &origins);
    for (qsizetype at = haystack.indexOf(folded); at >= 0;
         at = haystack.indexOf(folded, at + folded.size())) {
        const qsizetype last = at + folded.size() - 1;
        qsizetype end = last + 1;
        // A character that folded into several may hold the end of the match: it counts whole.
        while (origins[end] == origins[last])
            ++end;
        const qsizetype first = origins[at];
        if (!ranges.isEmpty() && first < ranges.last().second)
            continue;
        ranges.append({first, origins[end]});
    }
    return ranges;
}

bool SearchQuery::isOpen() const
{
    return foldForSearch(text).isEmpty() && weather < 0 && mood < 0 && !from.isValid() && !to.isValid()
           && !onThisDay.isValid() && tags.isEmpty();
}

void SearchQuery::setSearchText(const QString &typed)
{
    const QList<tags::TagSpan> spans = tags::findTags(typed);
    QString rest;
    qsizetype from = 0;
    for (const tags::TagSpan &span : spans) {
        tags.append(typed.sliced(span.wordStart(), span.length));
        rest += QStringView(typed).sliced(from, span.start - from);
        from = span.end();
    }
    rest += QStringView(typed).sliced(from);
    text = spans.isEmpty() ? typed : rest.trimmed();
}

bool onThisDay(const QDate &day, const QDate &today)
{
    if (!day.isValid() || !today.isValid() || day.year() >= today.year())
        return false;
    if (day.month() == today.month() && day.day() == today.day())
        return true;
    return day.month() == 2 && day.day() == 29 && today.month() == 2 && today.day() == 28
           && !QDate::isLeapYear(today.year());
}

SearchIndex::SearchIndex(const QList<ListRow> &rows)
{
    m_rows.reserve(rows.size());
    for (const ListRow &row : rows) {
        Row r;
        r.readable = row.readable();
        if (r.readable) {
            r.folded = row.folded.isNull() ? foldForSearch(row.summary) : row.folded;
            r.weather = weatherIndexOf(row.weather);
            r.mood = moodIndexOf(row.mood);
        }
        r.date = dateOfName(row.name);
        if (r.readable) {
            for (const QString &tag : row.tags) {
                const QString key = tags::tagKey(tag);
                auto id = m_tagIds.constFind(key);
                if (id == m_tagIds.cend())
                    id = m_tagIds.insert(key, int(m_tagIds.size()));
                r.tags.append(*id);
            }
        }
        m_held += r.folded.size();
        m_rows.append(std::move(r));
    }
}

bool SearchIndex::rowMatches(const Row &row, const SearchQuery &query, const QString &needle,
                             const QList<int> &tags) const
{
    for (const int tag : tags) {
        if (!row.readable || !row.tags.contains(tag))
            return false;
    }
    if (query.from.isValid() || query.to.isValid()) {
        if (!row.date.isValid() || (query.from.isValid() && row.date < query.from)
            || (query.to.isValid() && row.date > query.to))
            return false;
    }
    if (query.onThisDay.isValid() && !onThisDay(row.date, query.onThisDay)
        && !std::binary_search(query.lunarDays.cbegin(), query.lunarDays.cend(), row.date))
        return false;
    if (query.weather >= 0 && (!row.readable || row.weather != query.weather))
        return false;
    if (query.mood >= 0 && (!row.readable || row.mood != query.mood))
        return false;
    if (!needle.isEmpty() && (!row.readable || !row.folded.contains(needle)))
        return false;
    return true;
}

QList<qsizetype> SearchIndex::find(const SearchQuery &query) const
{
    const QString needle = foldForSearch(query.text);
    QList<int> tagIds;
    for (const QString &tag : query.tags) {
        const auto id = m_tagIds.constFind(tags::tagKey(tag));
        if (id == m_tagIds.cend())
            return {};   // a tag no entry carries
        tagIds.append(*id);
    }
    const qsizetype count = m_rows.size();
    const int parts = needle.isEmpty() || m_held < kParallelSearchCharacters
                          ? 1
                          : std::clamp(int(std::thread::hardware_concurrency()), 1, kMaxSearchThreads);
    // Each part takes a run of rows; the parts' matches, in part order, are in row order.
    std::vector<QList<qsizetype>> found(static_cast<size_t>(parts));
    const qsizetype step = (count + parts - 1) / parts;
    const auto searchPart = [&](int part) {
        const qsizetype end = std::min(count, (part + 1) * step);
        for (qsizetype i = part * step; i < end; ++i) {
            if (rowMatches(m_rows[i], query, needle, tagIds))
                found[size_t(part)].append(i);
        }
    };
    std::vector<std::thread> helpers;
    for (int part = 1; part < parts; ++part)
        helpers.emplace_back(searchPart, part);
    searchPart(0);
    for (std::thread &helper : helpers)
        helper.join();
    for (int part = 1; part < parts; ++part)
        found[0] += found[size_t(part)];
    return found[0];
}

qsizetype SearchIndex::heldCharacters() const
{
    return m_held;
}

} // namespace diary
