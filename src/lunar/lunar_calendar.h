#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

// The Chinese lunisolar calendar beside the Gregorian one: lunar dates, the 24 solar terms and the
// main festivals, reckoned by the rules of the national standard (GB/T 33661-2017) from the new
// moons and the solar terms as solar_terms.h finds them. Qt Core only; safe on any thread (each
// thread keeps the years it has reckoned).
//
// Not ICU's Chinese calendar: its lunar theory is coarse enough to put a new moon that falls
// minutes after midnight on the day before (春节 2027 and 2030 come out a day early), where
// the almanacs, and this calendar, do not.
//
// Lunar dates are given for Gregorian years kFirstYear to kLastYear (but for the days of kFirstYear
// before its 冬至, whose 岁 begins before the terms are known); outside them, and for an
// invalid date, the functions give an invalid LunarDate, an invalid QDate or empty text.
namespace lunar {

constexpr int kFirstYear = 1000;
constexpr int kLastYear = 9998;

struct LunarDate {
    int year = 0;            // the Gregorian year in which this lunar year's 正月初一 falls
    int cycleYear = 0;       // the year in the sexagenary cycle, 1 甲子 … 60 癸亥
    int month = 0;           // 1 正月 … 12 腊月
    bool leapMonth = false;  // a leap month (闰四月 follows 四月 and has its number)
    int day = 0;             // 1 … 30
    bool isValid() const { return month > 0; }
    bool operator==(const LunarDate &) const = default;
};

// The lunar date of a day.
LunarDate lunarDate(const QDate &date);

// The day of a lunar date: lunar year (as LunarDate::year), month, leap or not, day. Invalid when
// that year has no such month (a leap month it lacks) or that month no such day (a 30th in a
// month of 29 days).
QDate solarDate(int year, int month, bool leapMonth, int day);

// How many days the month has (29 or 30); 0 when the year has no such month.
int daysInMonth(int year, int month, bool leapMonth);

// The leap month of a lunar year (1 … 12), 0 when it has none.
int leapMonthOf(int year);

// ---- texts ----

// 甲辰 for cycle year 41.
QString cycleYearName(int cycleYear);
// 正月, 二月 … 十月, 冬月, 腊月; with leapMonth 闰四月.
QString monthName(int month, bool leapMonth);
// 初一 … 初十, 十一 … 二十, 廿一 … 廿九, 三十.
QString dayName(int day);
// What a calendar shows for the day: its day name (初三), on the first day of a month the
// month's name (八月, 闰四月).
QString dayLabel(const QDate &date);
// The full lunar date: 农历甲辰年正月初一.
QString fullText(const QDate &date);

// ---- festivals ----

enum class Festival { None, SpringFestival, Lantern, Qingming, DragonBoat, Qixi, MidAutumn, DoubleNinth, NewYearsEve };

// The festival that falls on the day: 春节 (正月初一), 元宵 (正月十五), 清明 (the solar term),
// 端午 (五月初五), 七夕 (七月初七), 中秋 (八月十五), 重阳 (九月初九), 除夕 (the last day of the
// lunar year). Never in a leap month.
Festival festivalOf(const QDate &date);
QString festivalName(Festival festival);

// What a calendar cell shows under the day number: the festival's name, else the solar term's
// (solar_terms.h), else dayLabel().
QString calendarLabel(const QDate &date);

// ---- the same lunar date in earlier years ----

// The days of the same lunar month and day as date in the lunar years before its own, newest
// first, down to earliest (not before it; an invalid earliest goes down to kFirstYear). A day of
// a leap month is kept in that month's ordinary month in years without the leap month, and a
// 30th in a month of 29 days on its 29th, as a lunar birthday is kept.
QList<QDate> sameLunarDateBefore(const QDate &date, const QDate &earliest = {});

} // namespace lunar
