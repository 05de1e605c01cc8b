#include "diary/diary_fixture.h"
#include "stats/diary_stats.h"

#include "archive/archive_reader.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace diary_testing;

namespace {

struct TextCase {
    const char *what;
    QString text;
    qint64 characters;
};

class CountCharacters : public testing::TestWithParam<TextCase> {};

TEST_P(CountCharacters, CountsWhatAReaderSeesAsCharacters)
{
    EXPECT_EQ(stats::countCharacters(GetParam().text), GetParam().characters) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Texts, CountCharacters, testing::Values(
    TextCase{"nothing", QString(), 0},
    TextCase{"Chinese characters one each", u"今天天气很好。"_s, 7},
    TextCase{"Latin words by their letters, spaces not", u"hello big world"_s, 13},
    TextCase{"line breaks and tabs not", u"一\r\n二\n\t三\r四"_s, 4},
    TextCase{"ideographic and no-break spaces not", u"\u3000\u3000第一段\u00a0x\u2028"_s, 4},
    TextCase{"an emoji outside the BMP one", u"好😀"_s, 2},
    TextCase{"an emoji with a skin tone one", u"👍🏽"_s, 1},
    TextCase{"a family joined by zero width joiners one", u"👨\u200d👩\u200d👧!"_s, 2},
    TextCase{"a flag one, two flags two", u"🇨🇳🇯🇵 🇫"_s, 3},
    TextCase{"a heart with its variation selector one", u"❤\ufe0f"_s, 1},
    TextCase{"a keycap one", u"1\ufe0f\u20e3"_s, 1},
    TextCase{"a decomposed accent one", u"cafe\u0301"_s, 4},
    TextCase{"a zero width space and a byte order mark none", u"a\u200bb\ufeff"_s, 2},
    TextCase{"a lone surrogate none", QString(QChar(0xD83D)) + u"x"_s, 1}));

struct NameCase {
    const char *what;
    QString name;
    QDate date;
};

class DateOfName : public testing::TestWithParam<NameCase> {};

TEST_P(DateOfName, TakesOnlyTheNamesTheDiaryWrites)
{
    EXPECT_EQ(stats::dateOfName(GetParam().name), GetParam().date) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Names, DateOfName, testing::Values(
    NameCase{"an ordinary day", u"2003年9月26日"_s, QDate(2003, 9, 26)},
    NameCase{"two-digit month and day", u"2003年10月15日"_s, QDate(2003, 10, 15)},
    NameCase{"a leap day", u"2024年2月29日"_s, QDate(2024, 2, 29)},
    NameCase{"no leap day in a common year", u"2023年2月29日"_s, QDate()},
    NameCase{"no 31 April", u"2003年4月31日"_s, QDate()},
    NameCase{"leading zeros", u"2003年09月03日"_s, QDate()},
    NameCase{"full-width digits", u"２００３年9月3日"_s, QDate()},
    NameCase{"text around it", u"2003年9月3日 copy"_s, QDate()},
    NameCase{"another program's file", u"notes.txt"_s, QDate()}));

diary::ListRow row(const QDate &date, const QString &weather = u"晴"_s,
                   const QString &mood = u"高兴"_s, const QString &body = u"字"_s)
{
    return {gbk::encode(diary::entryName(date)), diary::entryName(date), weather, mood, body, {}};
}

struct RunCase {
    const char *what;
    QList<QDate> dates;
    QDate today;
    stats::Streak longest;
    stats::Streak current;
};

class Runs : public testing::TestWithParam<RunCase> {};

TEST_P(Runs, FollowConsecutiveCalendarDays)
{
    QList<diary::ListRow> rows;
    for (const QDate &date : GetParam().dates)
        rows.append(row(date));
    const stats::Figures figures = stats::compute(rows, GetParam().today);
    const auto same = [](const stats::Streak &a, const stats::Streak &b) {
        return a.length == b.length && a.first == b.first && a.last == b.last;
    };
    EXPECT_TRUE(same(figures.longest, GetParam().longest))
        << GetParam().what << ": longest " << figures.longest.length;
    EXPECT_TRUE(same(figures.current, GetParam().current))
        << GetParam().what << ": current " << figures.current.length;
}

const QDate kFarAway(2030, 1, 1);

INSTANTIATE_TEST_SUITE_P(Dates, Runs, testing::Values(
    RunCase{"across a month end, in any order",
            {QDate(2025, 2, 2), QDate(2025, 1, 30), QDate(2025, 1, 31), QDate(2025, 2, 1), QDate(2025, 2, 5)},
            kFarAway, {4, QDate(2025, 1, 30), QDate(2025, 2, 2)}, {}},
    RunCase{"across a year end",
            {QDate(2024, 12, 30), QDate(2024, 12, 31), QDate(2025, 1, 1)},
            kFarAway, {3, QDate(2024, 12, 30), QDate(2025, 1, 1)}, {}},
    RunCase{"through a leap day",
            {QDate(2024, 2, 28), QDate(2024, 2, 29), QDate(2024, 3, 1)},
            kFarAway, {3, QDate(2024, 2, 28), QDate(2024, 3, 1)}, {}},
    RunCase{"28 February to 1 March of a common year is a run",
            {QDate(2023, 2, 28), QDate(2023, 3, 1)},
            kFarAway, {2, QDate(2023, 2, 28), QDate(2023, 3, 1)}, {}},
    RunCase{"28 February to 1 March of a leap year misses a day",
            {QDate(2024, 2, 28), QDate(2024, 3, 1)},
            kFarAway, {1, QDate(2024, 2, 28), QDate(2024, 2, 28)}, {}},
    RunCase{"the earliest of two equal runs",
            {QDate(2020, 5, 1), QDate(2020, 5, 2), QDate(2020, 6, 1), QDate(2020, 6, 2)},
            kFarAway, {2, QDate(2020, 5, 1), QDate(2020, 5, 2)}, {}},
    RunCase{"the current run ends today",
            {QDate(2025, 3, 1), QDate(2025, 3, 2), QDate(2025, 3, 3)},
            QDate(2025, 3, 3), {3, QDate(2025, 3, 1), QDate(2025, 3, 3)},
            {3, QDate(2025, 3, 1), QDate(2025, 3, 3)}},
    RunCase{"an unwritten today keeps yesterday's run",
            {QDate(2024, 12, 31), QDate(2025, 1, 1)},
            QDate(2025, 1, 2), {2, QDate(2024, 12, 31), QDate(2025, 1, 1)},
            {2, QDate(2024, 12, 31), QDate(2025, 1, 1)}},
    RunCase{"a day missed ends the current run",
            {QDate(2025, 3, 1), QDate(2025, 3, 2)},
            QDate(2025, 3, 4), {2, QDate(2025, 3, 1), QDate(2025, 3, 2)}, {}},
    RunCase{"no entries, no runs", {}, QDate(2025, 3, 4), {}, {}}));

TEST(YearRuns, StartAgainOnTheFirstOfJanuary)
{
    QList<diary::ListRow> rows;
    for (const QDate &date : {QDate(2024, 12, 29), QDate(2024, 12, 30), QDate(2024, 12, 31),
                              QDate(2025, 1, 1), QDate(2025, 1, 2)})
        rows.append(row(date));
    const stats::Figures figures = stats::compute(rows, kFarAway);
    EXPECT_EQ(figures.longest.length, 5);
    EXPECT_EQ(figures.year(2024).longest.length, 3);
    EXPECT_EQ(figures.year(2025).longest.length, 2);
    EXPECT_EQ(figures.year(2025).longest.first, QDate(2025, 1, 1));
}

// A diary made for the test, listed as the main window lists it.
stats::Figures figuresOfDiary(const QList<std::pair<QString, QByteArray>> &entries, const QDate &today)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"统计"_s);
    writeDiary(path, entries);
    TArchiveReader reader;
    reader.SetZipName(path);
    return stats::compute(diary::listEntries(reader).rows, today);
}

TEST(DiaryFigures, CountTheEntriesOfAListedDiary)
{
    const stats::Figures figures = figuresOfDiary({
        // weather, mood, body
        {u"2024年2月28日"_s, ownRecord(0, 0, u"今天很好 ok"_s)},                 // 4 + 2
        {u"2024年2月29日"_s, ownRecord(2, 3, u"下雨。\nRain again 😀"_s)},      // 3 + 9 + 1
        {u"2024年3月1日"_s, ownRecord(2, 3, u"\u3000\u3000三月"_s)},             // 2
        {u"2024年3月9日"_s, richEditRecord({u"3"_s, u"7"_s, u"爱"_s})},          // 1
        {u"2023年12月31日"_s, ownRecord(1, 9, u"👨\u200d👩\u200d👧"_s)},          // 1, no mood word
        {u"2024年3月2日"_s, richEditRecord({u"one"_s, u"1"_s})},                 // cannot be read
        {u"notes"_s, ownRecord(0, 0, u"not a day"_s)},                            // undated
    }, QDate(2024, 3, 3));

    EXPECT_EQ(figures.total.entries, 5);
    EXPECT_EQ(figures.unreadable, 1);
    EXPECT_EQ(figures.undated, 1);
    EXPECT_EQ(figures.repeated, 0);
    EXPECT_EQ(figures.total.characters, 6 + 13 + 2 + 1 + 1);
    EXPECT_EQ(figures.total.averageCharacters(), 23 / 5);
    EXPECT_EQ(figures.first, QDate(2023, 12, 31));
    EXPECT_EQ(figures.latest, QDate(2024, 3, 9));
    EXPECT_EQ(figures.longest.length, 3);
    EXPECT_EQ(figures.longest.last, QDate(2024, 3, 1));
    // 2 March cannot be read: it breaks the run, and 3 March is today, unwritten.
    EXPECT_EQ(figures.current.length, 0);

    const stats::YearFigures year = figures.year(2024);
    EXPECT_EQ(year.total.entries, 4);
    EXPECT_EQ(year.total.characters, 22);
    EXPECT_EQ(year.months[1].entries, 2);
    EXPECT_EQ(year.months[1].characters, 19);
    EXPECT_EQ(year.months[2].entries, 2);
    EXPECT_EQ(year.months[2].moods[3], 1);     // 伤感
    EXPECT_EQ(year.months[2].moods[7], 1);     // 爱心
    EXPECT_EQ(year.months[2].weathers[2], 1);  // 雨
    EXPECT_EQ(year.months[2].weathers[3], 1);  // 雪
    EXPECT_EQ(year.total.moods[0], 1);
    EXPECT_EQ(year.total.weathers[2], 2);
    // 28 Feb 2024 a Wednesday, 29 Feb a Thursday, 1 March a Friday, 9 March a Saturday.
    EXPECT_EQ(year.total.weekdays, (std::array<int, 7>{0, 0, 1, 1, 1, 1, 0}));
    EXPECT_EQ(year.total.busiestWeekday(), 3);
    EXPECT_EQ(figures.year(2023).total.moods[diary::kMoodCount], 1);
    EXPECT_EQ(figures.year(2023).total.weekdays[6], 1);   // a Sunday

    ASSERT_TRUE(figures.days.contains(QDate(2024, 3, 2)));
    EXPECT_FALSE(figures.days[QDate(2024, 3, 2)].readable);
    EXPECT_EQ(figures.days[QDate(2024, 2, 29)].mood, 3);
    EXPECT_EQ(figures.days[QDate(2024, 2, 29)].weather, 2);
    EXPECT_EQ(figures.days[QDate(2024, 2, 29)].row, 1);
    EXPECT_EQ(figures.defaultYear(QDate(2024, 3, 3)), 2024);
    EXPECT_EQ(figures.defaultYear(QDate(2026, 1, 1)), 2024);
}

TEST(DiaryFigures, ASecondRowOfADayIsCountedApart)
{
    QList<diary::ListRow> rows = {row(QDate(2025, 5, 5), u"晴"_s, u"高兴"_s, u"一二三"_s),
                                  row(QDate(2025, 5, 5), u"雨"_s, u"伤感"_s, u"四五"_s)};
    const stats::Figures figures = stats::compute(rows, kFarAway);
    EXPECT_EQ(figures.total.entries, 1);
    EXPECT_EQ(figures.repeated, 1);
    EXPECT_EQ(figures.total.characters, 3);
    EXPECT_EQ(figures.days[QDate(2025, 5, 5)].row, 0);
}

TEST(DiaryFigures, AnEmptyDiaryHasNoFigures)
{
    const QDate today(2025, 6, 1);
    for (const stats::Figures &figures :
         {figuresOfDiary({}, today), stats::compute({}, today)}) {
        EXPECT_EQ(figures.total.entries, 0);
        EXPECT_EQ(figures.total.characters, 0);
        EXPECT_EQ(figures.total.averageCharacters(), 0);
        EXPECT_EQ(figures.total.busiestWeekday(), 0);
        EXPECT_EQ(figures.unreadable + figures.undated + figures.repeated, 0);
        EXPECT_FALSE(figures.first.isValid());
        EXPECT_EQ(figures.longest.length, 0);
        EXPECT_EQ(figures.current.length, 0);
        EXPECT_TRUE(figures.days.isEmpty());
        EXPECT_EQ(figures.defaultYear(today), 2025);
        EXPECT_EQ(figures.year(2025).year, 2025);
        EXPECT_EQ(figures.year(2025).total.entries, 0);
    }
}

} // namespace
