#include "stats/diary_stats.h"


namespace stats {

namespace {

constexpr char32_t kZeroWidthJoiner = 0x200D;
constexpr char32_t kFirstRegionalIndicator = 0x1F1E6;
constexpr char32_t kLastRegionalIndicator = 0x1F1FF;
constexpr char32_t kFirstSkinTone = 0x1F3FB;
constexpr char32_t kLastSkinTone = 0x1F3FF;

bool belongsToTheCharacterBefore(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:        // accents, variation selectors
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:         // the keycap of 1️⃣
        return true;
    default:
        return c >= kFirstSkinTone && c <= kLastSkinTone;
    }
}

// Control and format characters (tags, zero width space, the byte order mark) and lone
// surrogates are no characters a reader sees.
bool isInvisible(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
        return true;
    default:
        return false;
    }
}

// What a code point is to countCharacters().
enum class Kind : quint8 { Visible, Space, Invisible, Extend, Joiner, HighSurrogate };

Kind kindOf(char32_t c)
{
    if (QChar::isSpace(c))
        return Kind::Space;
    if (c == kZeroWidthJoiner)
        return Kind::Joiner;
    if (QChar::isHighSurrogate(c))
        return Kind::HighSurrogate;
    if (isInvisible(c))
        return Kind::Invisible;
    if (belongsToTheCharacterBefore(c))
        return Kind::Extend;
    return Kind::Visible;
}

// The kinds of the Basic Multilingual Plane, looked up once: a ten-year diary holds millions of
// characters, and the character tables behind QChar cost several times a lookup here.
const std::array<Kind, 0x10000> &bmpKinds()
{
    static const std::array<Kind, 0x10000> kinds = [] {
        std::array<Kind, 0x10000> table{};
        for (char32_t c = 0; c < 0x10000; ++c)
            table[c] = kindOf(c);
        return table;
    }();
    return kinds;
}

void count(Tally &tally, const Day &day)
{
    ++tally.entries;
    tally.characters += day.characters;
    ++tally.moods[day.mood == kNoWord ? diary::kMoodCount : day.mood];
    ++tally.weathers[day.weather == kNoWord ? diary::kWeatherCount : day.weather];
    ++tally.weekdays[day.date.dayOfWeek() - 1];
}

void keepLonger(Streak &best, const Streak &run)
{
    if (run.length > best.length)
        best = run;
}

} // namespace

qint64 countCharacters(const QString &text)
{
    const std::array<Kind, 0x10000> &kinds = bmpKinds();
    qint64 characters = 0;
    bool joinNext = false;          // the last character was a zero width joiner
    bool flagHalf = false;          // the last character began a pair of regional indicators
    const char16_t *p = reinterpret_cast<const char16_t *>(text.constData());
    const char16_t *const end = p + text.size();
    while (p < end) {
        char32_t c = *p++;
        Kind kind = kinds[c];
        // The common case: a character of the BMP that stands by itself (no regional indicator
        // lives there).
        if (kind == Kind::Visible && !joinNext) {
            ++characters;
            flagHalf = false;
            continue;
        }
        if (kind == Kind::HighSurrogate) {
            if (p < end && QChar::isLowSurrogate(*p)) {
                c = QChar::surrogateToUcs4(char16_t(c), *p++);
                kind = kindOf(c);
            } else {
                kind = Kind::Invisible;
            }
        }
        switch (kind) {
        case Kind::Space:
            joinNext = flagHalf = false;
            continue;
        case Kind::Joiner:
            joinNext = true;
            continue;
        case Kind::Invisible:
        case Kind::HighSurrogate:
        case Kind::Extend:
            continue;
        case Kind::Visible:
            break;
        }
        if (joinNext) {
            joinNext = false;
            continue;
        }
        if (c >= kFirstRegionalIndicator && c <= kLastRegionalIndicator) {
            flagHalf = !flagHalf;
            if (!flagHalf)
                continue;
        } else {
            flagHalf = false;
        }
        ++characters;
    }
    return characters;
}

QDate dateOfName(const QString &name)
{
    // The digits up to the marker: from min to max of them, no leading zero unless there are
    // four (a year); -1 when they are not there. Leading zeros would name one day twice.
    qsizetype at = 0;
    const auto number = [&name, &at](char16_t marker, int min, int max) {
        int value = 0;
        const qsizetype start = at;
        while (at < name.size() && name[at] >= u'0' && name[at] <= u'9' && at - start < max)
            value = value * 10 + (name[at++].unicode() - u'0');
        const qsizetype digits = at - start;
        if (digits < min || (digits < 4 && name[start] == u'0') || at >= name.size() || name[at] != marker)
            return -1;
        ++at;
        return value;
    };
    const int year = number(u'年', 4, 4);
    const int month = year >= 0 ? number(u'月', 1, 2) : -1;
    const int day = month >= 0 ? number(u'日', 1, 2) : -1;
    if (day < 0 || at != name.size())
        return {};
    return QDate(year, month, day);   // invalid for a day the calendar does not have
}

namespace {

// The words of a table, made once: every row of a listing looks its two words up.
template <int N>
struct Words {
    std::array<QString, N> words;
    explicit Words(QString (*word)(int))
    {
        for (int i = 0; i < N; ++i)
            words[i] = word(i);
    }
    int indexOf(const QString &word) const
    {
        for (int i = 0; i < N; ++i) {
            if (!word.isEmpty() && word == words[i])
                return i;
        }
        return kNoWord;
    }
};

} // namespace

int moodIndexOf(const QString &word)
{
    static const Words<diary::kMoodCount> moods(diary::moodWord);
    return moods.indexOf(word);
}

int weatherIndexOf(const QString &word)
{
    static const Words<diary::kWeatherCount> weathers(diary::weatherWord);
    return weathers.indexOf(word);
}

int Tally::busiestWeekday() const
{
    int best = 0;
    for (int d = 0; d < 7; ++d) {
        if (weekdays[d] > 0 && (best == 0 || weekdays[d] > weekdays[best - 1]))
            best = d + 1;
    }
    return best;
}

YearFigures Figures::year(int year) const
{
    YearFigures figures = years.value(year);
    figures.year = year;
    return figures;
}

int Figures::defaultYear(const QDate &today) const
{
    if (years.contains(today.year()) || !latest.isValid())
        return today.year();
    return latest.year();
}

Figures compute(const QList<diary::ListRow> &rows, const QDate &today)
{
    Figures figures;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const diary::ListRow &row = rows[i];
        const QDate date = dateOfName(row.name);
        if (!row.readable()) {
            ++figures.unreadable;
            if (date.isValid() && !figures.days.contains(date))
                figures.days.insert(date, Day{date, int(i), kNoWord, kNoWord, 0, false});
            continue;
        }
        if (!date.isValid()) {
            ++figures.undated;
            continue;
        }
        if (figures.days.contains(date)) {
            ++figures.repeated;
            continue;
        }
        const Day day{date, int(i), weatherIndexOf(row.weather), moodIndexOf(row.mood),
                      countCharacters(row.summary), true};
        figures.days.insert(date, day);
        YearFigures &year = figures.years[date.year()];
        year.year = date.year();
        count(figures.total, day);
        count(year.total, day);
        count(year.months[date.month() - 1], day);
    }

    // Runs, in date order; a run inside a year starts again on 1 January.
    Streak run;
    Streak yearRun;
    for (const Day &day : std::as_const(figures.days)) {
        if (!day.readable)
            continue;
        if (!figures.first.isValid())
            figures.first = day.date;
        const bool continues = run.length > 0 && run.last.addDays(1) == day.date;
        run = continues ? Streak{run.length + 1, run.first, day.date} : Streak{1, day.date, day.date};
        const bool continuesInYear = continues && yearRun.first.year() == day.date.year();
        yearRun = continuesInYear ? Streak{yearRun.length + 1, yearRun.first, day.date}
                                  : Streak{1, day.date, day.date};
        keepLonger(figures.longest, run);
        keepLonger(figures.years[day.date.year()].longest, yearRun);
        figures.latest = day.date;
    }

    // Today's run is still alive while today is unwritten, as long as yesterday was written.
    const auto written = [&figures](const QDate &date) {
        const auto it = figures.days.constFind(date);
        return it != figures.days.cend() && it->readable;
    };
    QDate end = written(today) ? today : today.addDays(-1);
    if (written(end)) {
        QDate start = end;
        while (written(start.addDays(-1)))
            start = start.addDays(-1);
        figures.current = {int(start.daysTo(end)) + 1, start, end};
    }
    return figures;
}

} // namespace stats
