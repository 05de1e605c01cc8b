#include "stats/diary_stats.h"

#include <QRegularExpression>

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
    qint64 characters = 0;
    bool joinNext = false;          // the last character was a zero width joiner
    bool flagHalf = false;          // the last character began a pair of regional indicators
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < size && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(char16_t(c), text[i + 1].unicode());
            ++i;
        }
        if (QChar::isSpace(c)) {
            joinNext = flagHalf = false;
            continue;
        }
        if (c == kZeroWidthJoiner) {
            joinNext = true;
            continue;
        }
        if (isInvisible(c) || belongsToTheCharacterBefore(c))
            continue;
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
    static const QRegularExpression pattern(QStringLiteral("^([0-9]{4})年([0-9]{1,2})月([0-9]{1,2})日$"));
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch())
        return {};
    const QDate date(match.capturedView(1).toInt(), match.capturedView(2).toInt(),
                     match.capturedView(3).toInt());
    // Leading zeros would name the same day twice; the diary never writes them.
    if (!date.isValid() || diary::entryName(date) != name)
        return {};
    return date;
}

int moodIndexOf(const QString &word)
{
    for (int i = 0; i < diary::kMoodCount; ++i) {
        if (!word.isEmpty() && word == diary::moodWord(i))
            return i;
    }
    return kNoWord;
}

int weatherIndexOf(const QString &word)
{
    for (int i = 0; i < diary::kWeatherCount; ++i) {
        if (!word.isEmpty() && word == diary::weatherWord(i))
            return i;
    }
    return kNoWord;
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
