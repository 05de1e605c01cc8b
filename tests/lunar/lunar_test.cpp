#include "lunar/lunar_calendar.h"
#include "lunar/solar_terms.h"

#include <QProcess>
#include <gtest/gtest.h>

#include <unicode/calendar.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>

#include <memory>

#include <cmath>

using namespace Qt::StringLiterals;

// 春节 of 1990 to 2050, as the almanacs publish it.
TEST(LunarCalendar, SpringFestivalOf1990To2050)
{
    const QDate festivals[] = {
        {1990, 1, 27}, {1991, 2, 15}, {1992, 2, 4},  {1993, 1, 23}, {1994, 2, 10}, {1995, 1, 31},
        {1996, 2, 19}, {1997, 2, 7},  {1998, 1, 28}, {1999, 2, 16}, {2000, 2, 5},  {2001, 1, 24},
        {2002, 2, 12}, {2003, 2, 1},  {2004, 1, 22}, {2005, 2, 9},  {2006, 1, 29}, {2007, 2, 18},
        {2008, 2, 7},  {2009, 1, 26}, {2010, 2, 14}, {2011, 2, 3},  {2012, 1, 23}, {2013, 2, 10},
        {2014, 1, 31}, {2015, 2, 19}, {2016, 2, 8},  {2017, 1, 28}, {2018, 2, 16}, {2019, 2, 5},
        {2020, 1, 25}, {2021, 2, 12}, {2022, 2, 1},  {2023, 1, 22}, {2024, 2, 10}, {2025, 1, 29},
        {2026, 2, 17}, {2027, 2, 6},  {2028, 1, 26}, {2029, 2, 13}, {2030, 2, 3},  {2031, 1, 23},
        {2032, 2, 11}, {2033, 1, 31}, {2034, 2, 19}, {2035, 2, 8},  {2036, 1, 28}, {2037, 2, 15},
        {2038, 2, 4},  {2039, 1, 24}, {2040, 2, 12}, {2041, 2, 1},  {2042, 1, 22}, {2043, 2, 10},
        {2044, 1, 30}, {2045, 2, 17}, {2046, 2, 6},  {2047, 1, 26}, {2048, 2, 14}, {2049, 2, 2},
        {2050, 1, 23},
    };
    for (const QDate &day : festivals) {
        const lunar::LunarDate lunar = lunar::lunarDate(day);
        EXPECT_EQ(lunar, (lunar::LunarDate{day.year(), lunar.cycleYear, 1, false, 1})) << qPrintable(day.toString());
        EXPECT_EQ(lunar::festivalOf(day), lunar::Festival::SpringFestival) << qPrintable(day.toString());
        EXPECT_EQ(lunar::festivalOf(day.addDays(-1)), lunar::Festival::NewYearsEve) << qPrintable(day.toString());
        EXPECT_EQ(lunar::solarDate(day.year(), 1, false, 1), day);
        EXPECT_EQ(lunar::cycleYearName(lunar.cycleYear).size(), 2);
    }
}

TEST(LunarCalendar, LeapMonthsAndTheirNames)
{
    const struct {
        QDate day;
        int month;
        bool leap;
        int dayOfMonth;
        const char16_t *label;
        const char16_t *full;
    } cases[] = {
        {{2020, 5, 23}, 4, true, 1, u"闰四月", u"农历庚子年闰四月初一"},
        {{2020, 4, 23}, 4, false, 1, u"四月", u"农历庚子年四月初一"},
        {{2023, 3, 22}, 2, true, 1, u"闰二月", u"农历癸卯年闰二月初一"},
        {{2023, 3, 24}, 2, true, 3, u"初三", u"农历癸卯年闰二月初三"},
        {{2024, 2, 10}, 1, false, 1, u"正月", u"农历甲辰年正月初一"},
        {{2024, 9, 3}, 8, false, 1, u"八月", u"农历甲辰年八月初一"},
        {{2024, 9, 17}, 8, false, 15, u"十五", u"农历甲辰年八月十五"},
        {{2025, 1, 28}, 12, false, 29, u"廿九", u"农历甲辰年腊月廿九"},
        {{2024, 12, 31}, 12, false, 1, u"腊月", u"农历甲辰年腊月初一"},
        {{2024, 12, 20}, 11, false, 20, u"二十", u"农历甲辰年冬月二十"},
    };
    for (const auto &c : cases) {
        const lunar::LunarDate lunar = lunar::lunarDate(c.day);
        EXPECT_EQ(lunar.month, c.month) << qPrintable(c.day.toString());
        EXPECT_EQ(lunar.leapMonth, c.leap) << qPrintable(c.day.toString());
        EXPECT_EQ(lunar.day, c.dayOfMonth) << qPrintable(c.day.toString());
        EXPECT_EQ(lunar::dayLabel(c.day), QString::fromUtf16(c.label)) << qPrintable(c.day.toString());
        EXPECT_EQ(lunar::fullText(c.day), QString::fromUtf16(c.full)) << qPrintable(c.day.toString());
        EXPECT_EQ(lunar::solarDate(lunar.year, lunar.month, lunar.leapMonth, lunar.day), c.day);
    }
    EXPECT_EQ(lunar::leapMonthOf(2020), 4);
    EXPECT_EQ(lunar::leapMonthOf(2023), 2);
    EXPECT_EQ(lunar::leapMonthOf(2024), 0);
    // No such month, no such day.
    EXPECT_FALSE(lunar::solarDate(2024, 4, true, 1).isValid());
    EXPECT_EQ(lunar::daysInMonth(2024, 4, true), 0);
    EXPECT_FALSE(lunar::solarDate(2025, 1, false, 0).isValid());
    EXPECT_FALSE(lunar::lunarDate(QDate()).isValid());
    EXPECT_EQ(lunar::dayLabel(QDate()), QString());
}

TEST(LunarCalendar, FestivalsAndSolarTermsOfAYear)
{
    const struct {
        QDate day;
        const char16_t *label;
    } cases[] = {
        {{2024, 2, 9}, u"除夕"},  {{2024, 2, 10}, u"春节"}, {{2024, 2, 24}, u"元宵"},
        {{2024, 4, 4}, u"清明"},  {{2024, 6, 10}, u"端午"}, {{2024, 8, 10}, u"七夕"},
        {{2024, 9, 17}, u"中秋"}, {{2024, 10, 11}, u"重阳"}, {{2024, 12, 21}, u"冬至"},
        {{2024, 2, 4}, u"立春"},  {{2024, 3, 20}, u"春分"}, {{2024, 6, 21}, u"夏至"},
        {{2024, 9, 22}, u"秋分"}, {{2024, 2, 12}, u"初三"}, {{2024, 9, 3}, u"八月"},
        // 2025's 腊月 has 29 days: 除夕 is its 29th.
        {{2026, 2, 16}, u"除夕"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(lunar::calendarLabel(c.day), QString::fromUtf16(c.label)) << qPrintable(c.day.toString());
}

// 冬至 and 清明 of several years, as the almanacs give them (Beijing time).
TEST(SolarTerms, WinterSolsticeAndQingmingOfSeveralYears)
{
    const struct {
        int year;
        int qingming;   // April
        int winter;     // December
    } cases[] = {
        {1990, 5, 22}, {2000, 4, 21}, {2008, 4, 21}, {2019, 5, 22}, {2020, 4, 21},
        {2021, 4, 21}, {2022, 5, 22}, {2023, 5, 22}, {2024, 4, 21}, {2025, 4, 21},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(solar_terms::termDate(c.year, 6), QDate(c.year, 4, c.qingming)) << c.year;
        EXPECT_EQ(solar_terms::termDate(c.year, 23), QDate(c.year, 12, c.winter)) << c.year;
        EXPECT_EQ(lunar::festivalOf(QDate(c.year, 4, c.qingming)), lunar::Festival::Qingming) << c.year;
    }
    EXPECT_EQ(solar_terms::termName(6), u"清明"_s);
    EXPECT_EQ(solar_terms::termName(23), u"冬至"_s);
    EXPECT_EQ(solar_terms::termOn(QDate(2024, 12, 21)), 23);
    EXPECT_EQ(solar_terms::termOn(QDate(2024, 12, 20)), -1);
}

// Every term of 2000 to 2100 against an independent almanac (PyEphem, libastro's theory of the
// Sun), computed as the test runs. The two reckon ΔT and the Sun's place each their own way:
// the moments must agree within a minute, and the days wherever the moment is not within that
// minute of midnight in China.
TEST(SolarTerms, EveryTermOf2000To2100AgreesWithAnIndependentAlmanac)
{
    QProcess reference;
    reference.start(QStringLiteral(QB_SYSTEM_PYTHON3),
                    {QStringLiteral(QB_TERMS_REFERENCE), QStringLiteral("2000"), QStringLiteral("2100")});
    ASSERT_TRUE(reference.waitForFinished(300000));
    ASSERT_EQ(reference.exitCode(), 0) << reference.readAllStandardError().toStdString();
    const QList<QByteArray> lines = reference.readAllStandardOutput().trimmed().split('\n');
    ASSERT_EQ(lines.size(), 101 * 24);
    constexpr double kToleranceSeconds = 60;
    int nearMidnight = 0;
    double largest = 0;
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split(' ');
        ASSERT_EQ(fields.size(), 3) << line.constData();
        const int year = fields[0].toInt();
        const int index = fields[1].toInt();
        const double seconds = fields[2].toDouble();
        const QDateTime ours = solar_terms::termMoment(year, index);
        const double difference = double(ours.toMSecsSinceEpoch()) / 1000.0 - seconds;
        largest = std::max(largest, std::abs(difference));
        EXPECT_LT(std::abs(difference), kToleranceSeconds) << year << " term " << index;
        const QDateTime china = QDateTime::fromMSecsSinceEpoch(qint64(seconds * 1000), Qt::UTC).addSecs(8 * 3600);
        const qint64 fromMidnight = china.time().msecsSinceStartOfDay() / 1000;
        if (std::min<qint64>(fromMidnight, 86400 - fromMidnight) < kToleranceSeconds) {
            ++nearMidnight;
            continue;
        }
        EXPECT_EQ(solar_terms::termDate(year, index), china.date()) << year << " term " << index;
    }
    // Only a handful of the 2424 terms may fall so close to midnight.
    EXPECT_LT(nearMidnight, 10);
    std::printf("largest difference %.1f s, %d terms within a minute of midnight\n", largest, nearMidnight);
}

TEST(LunarCalendar, TheSameLunarDateInEarlierYears)
{
    // 中秋 of 2024 and the years before it.
    EXPECT_EQ(lunar::sameLunarDateBefore(QDate(2024, 9, 17), QDate(2020, 1, 1)),
              (QList<QDate>{{2023, 9, 29}, {2022, 9, 10}, {2021, 9, 21}, {2020, 10, 1}}));
    // Down to the first entry's day, not before it.
    EXPECT_EQ(lunar::sameLunarDateBefore(QDate(2024, 9, 17), QDate(2021, 9, 22)),
              (QList<QDate>{{2023, 9, 29}, {2022, 9, 10}}));
    // A day of a leap month falls in the ordinary month of years without one.
    const QList<QDate> leap = lunar::sameLunarDateBefore(QDate(2020, 6, 20), QDate(2000, 1, 1));
    EXPECT_EQ(leap.size(), 20);
    for (const QDate &day : leap) {
        const lunar::LunarDate lunar = lunar::lunarDate(day);
        EXPECT_EQ(lunar.month, 4) << qPrintable(day.toString());
        EXPECT_EQ(lunar.day, 29) << qPrintable(day.toString());
        EXPECT_EQ(lunar.leapMonth, lunar::leapMonthOf(lunar.year) == 4) << qPrintable(day.toString());
    }
    // A 30th is kept on the 29th of a month of 29 days.
    int month = 1;
    while (lunar::daysInMonth(2023, month, false) != 30)
        ++month;
    int shortMonths = 0;
    for (const QDate &day : lunar::sameLunarDateBefore(lunar::solarDate(2023, month, false, 30), QDate(2000, 1, 1))) {
        const lunar::LunarDate lunar = lunar::lunarDate(day);
        EXPECT_EQ(lunar.month, month);
        EXPECT_EQ(lunar.day, lunar::daysInMonth(lunar.year, month, false)) << qPrintable(day.toString());
        shortMonths += lunar.day == 29;
    }
    EXPECT_GT(shortMonths, 0);
}

TEST(LunarCalendar, TheFirstAndLastYearsEndWithoutSearchingForever)
{
    // A calendar page of January 1000 or December 9998 asks for every day shown.
    for (const QDate &day : {QDate(1000, 1, 1), QDate(1000, 1, 31), QDate(9998, 12, 31)})
        (void)lunar::calendarLabel(day);
    // The first year's days before its 冬至 lie in a 岁 that begins before the terms are known.
    EXPECT_FALSE(lunar::lunarDate(QDate(1000, 6, 1)).isValid());
    EXPECT_TRUE(lunar::lunarDate(QDate(1001, 6, 1)).isValid());
    EXPECT_LE(lunar::sameLunarDateBefore(QDate(1003, 6, 1)).size(), 2);
}

// ICU's Chinese calendar, an implementation of its own, gives the same lunar date for every day
// of 1990 to 2050, except in the few months whose new moon falls so near midnight that its coarser
// lunar theory puts the month's first day on the day before: those of 2027 and 2030 among them,
// where the almanacs agree with this calendar (SpringFestivalOf1990To2050).
TEST(LunarCalendar, AgreesWithIcuButForItsNewMoonsNearMidnight)
{
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<icu::TimeZone> zone(icu::TimeZone::createTimeZone("Asia/Shanghai"));
    const std::unique_ptr<icu::Calendar> icu(
        icu::Calendar::createInstance(*zone, icu::Locale("zh_CN@calendar=chinese"), status));
    ASSERT_TRUE(U_SUCCESS(status));
    QList<QDate> differentMonths;
    for (QDate day(1990, 1, 1); day <= QDate(2050, 12, 31); day = day.addDays(1)) {
        const qint64 days = day.toJulianDay() - QDate(1970, 1, 1).toJulianDay();
        icu->setTime(UDate(days * 86400000 + 4 * 3600000), status);   // noon in China
        const lunar::LunarDate ours = lunar::lunarDate(day);
        const int month = icu->get(UCAL_MONTH, status) + 1;
        const int date = icu->get(UCAL_DATE, status);
        const bool leap = icu->get(UCAL_IS_LEAP_MONTH, status) != 0;
        if (ours.month == month && ours.day == date && ours.leapMonth == leap)
            continue;
        const QDate start = day.addDays(1 - ours.day);
        if (differentMonths.isEmpty() || differentMonths.last() != start)
            differentMonths.append(start);
    }
    ASSERT_TRUE(U_SUCCESS(status));
    EXPECT_TRUE(differentMonths.contains(QDate(2027, 2, 6)));
    EXPECT_TRUE(differentMonths.contains(QDate(2030, 2, 3)));
    EXPECT_LT(differentMonths.size(), 12);
    // Each such month begins or ends with a new moon within half an hour of midnight in China.
    const auto minutesFromMidnight = [](const QDate &day) {
        const double moon = solar_terms::newMoonNear(double(day.toJulianDay()) - 0.5);
        const double local = (moon + 0.5 + 8.0 / 24.0) * 1440.0;
        const double minutes = std::fmod(local, 1440.0);
        return std::min(minutes, 1440.0 - minutes);
    };
    for (const QDate &start : differentMonths) {
        const QDate next = start.addDays(lunar::daysInMonth(lunar::lunarDate(start).year, lunar::lunarDate(start).month,
                                                            lunar::lunarDate(start).leapMonth));
        EXPECT_LT(std::min(minutesFromMidnight(start), minutesFromMidnight(next)), 30.0)
            << qPrintable(start.toString(Qt::ISODate));
        std::printf("ICU begins or ends the month of %s on another day\n", qPrintable(start.toString(Qt::ISODate)));
    }
}
