#include "stats/mood_links.h"

#include "diary_generator.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

diary::ListRow day(const QDate &date, int weather, int mood, const QStringList &tags = {})
{
    diary::ListRow row;
    row.name = diary::entryName(date);
    row.weather = diary::weatherWord(weather);
    row.mood = diary::moodWord(mood);
    row.summary = u"字"_s;
    row.tags = tags;
    return row;
}

} // namespace

// Twenty days: ten of rain, of which five 伤感 (and one more 伤感 on a sunny day). A cell says
// something only from five days on.
TEST(MoodLinks, RatiosOfCellsWithEnoughDaysOnly)
{
    QList<diary::ListRow> rows;
    const QDate start(2024, 1, 1);   // a Monday
    for (int i = 0; i < 20; ++i) {
        const bool rain = i < 10;
        const int mood = (rain && i < 5) || i == 19 ? 3 : (i < 14 ? 0 : 1);
        rows.append(day(start.addDays(i), rain ? 2 : 0, mood, i < 4 ? QStringList{u"家人"_s} : QStringList{}));
    }
    rows.append(diary::unreadableRow("x", diary::EntryProblem::Damaged));
    const stats::Figures figures = stats::compute(rows, start.addDays(30));
    const stats::MoodLinks links = stats::moodLinks(figures, rows);
    EXPECT_EQ(links.days, 20);
    EXPECT_EQ(links.moodDays[3], 6);
    const stats::MoodLink *sadRain = links.cell(3, stats::Factor::Weather, 2);
    ASSERT_TRUE(sadRain);
    EXPECT_EQ(sadRain->days, 5);
    EXPECT_EQ(sadRain->factorDays, 10);
    EXPECT_DOUBLE_EQ(sadRain->ratio, (5.0 / 10) / (6.0 / 20));
    // One sad sunny day, and a tag of four days: too few to say anything.
    EXPECT_FALSE(links.cell(3, stats::Factor::Weather, 0));
    EXPECT_TRUE(links.tags.isEmpty());
    // Every weekday has three days or fewer.
    EXPECT_FALSE(links.cell(0, stats::Factor::Weekday, 1));
    // Strongest first: 烦恼 on five of the ten sunny days (twice its share), then 伤感 on rain.
    const QList<stats::MoodLink> notable = links.notable();
    ASSERT_EQ(notable.size(), 2);
    EXPECT_EQ(notable[0].mood, 1);
    EXPECT_DOUBLE_EQ(notable[0].ratio, 2.0);
    EXPECT_EQ(notable[1].mood, 3);
}

// The benchmark's diary, planted so the answer is known: rain goes with 伤感, Saturdays and
// #旅行 with 高兴.
TEST(MoodLinks, FindWhatTheGeneratedDiaryWasMadeToHold)
{
    QList<diary::ListRow> rows;
    for (const bench::DiaryDay &one : bench::diaryDays(1461))
        rows.append(diary::listRowOf(one.name, one.record));
    const stats::Figures figures = stats::compute(rows, bench::firstDay().addDays(1461));
    const stats::MoodLinks links = stats::moodLinks(figures, rows);
    ASSERT_TRUE(links.tags.contains(u"旅行"_s));
    const int trip = int(links.tags.indexOf(u"旅行"_s));
    const stats::MoodLink *rainSad = links.cell(3, stats::Factor::Weather, 2);
    const stats::MoodLink *saturdayHappy = links.cell(0, stats::Factor::Weekday, 6);
    const stats::MoodLink *tripHappy = links.cell(0, stats::Factor::Tag, trip);
    ASSERT_TRUE(rainSad && saturdayHappy && tripHappy);
    EXPECT_NEAR(rainSad->ratio, 2.4, 0.4);
    EXPECT_NEAR(saturdayHappy->ratio, 3.3, 0.5);
    EXPECT_NEAR(tripHappy->ratio, 6.0, 1.0);
    // Nothing was planted on sunny days or Tuesdays.
    for (int mood = 0; mood < diary::kMoodCount; ++mood) {
        for (const stats::MoodLink *plain : {links.cell(mood, stats::Factor::Weather, 0), links.cell(mood, stats::Factor::Weekday, 2)}) {
            if (plain) {
                EXPECT_LT(plain->ratio, 1.5) << mood;
            }
        }
    }
    const QList<stats::MoodLink> notable = links.notable();
    ASSERT_GE(notable.size(), 3);
    EXPECT_EQ(notable[0].factor, stats::Factor::Tag);
    EXPECT_EQ(notable[0].mood, 0);
}
