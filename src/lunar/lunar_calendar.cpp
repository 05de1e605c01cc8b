#include "lunar/lunar_calendar.h"

#include "lunar/solar_terms.h"

#include <QHash>

#include <algorithm>
#include <cmath>

namespace lunar {

namespace {

constexpr double kSynodicMonth = 29.530588853;

const char16_t *const kStems[10] = {u"甲", u"乙", u"丙", u"丁", u"戊", u"己", u"庚", u"辛", u"壬", u"癸"};
const char16_t *const kBranches[12] = {u"子", u"丑", u"寅", u"卯", u"辰", u"巳",
                                       u"午", u"未", u"申", u"酉", u"戌", u"亥"};
const char16_t *const kMonths[12] = {u"正月", u"二月", u"三月", u"四月", u"五月", u"六月",
                                     u"七月", u"八月", u"九月", u"十月", u"冬月", u"腊月"};
const char16_t *const kDigits[10] = {u"十", u"一", u"二", u"三", u"四", u"五", u"六", u"七", u"八", u"九"};

struct Month {
    QDate start;
    int number = 0;       // 1 … 12
    bool leap = false;
    int lunarYear = 0;    // the Gregorian year of its year's 正月初一
};

// The months of one 岁 (suì): from the month holding the 冬至 of year − 1 up to the one holding the
// 冬至 of year, that one's start kept as end.
struct Sui {
    QList<Month> months;
    QDate end;
};

// The day in China of the new moon on or before day (its month's first day).
double julianDayOf(const QDate &date)
{
    return double(date.toJulianDay()) - 0.5;   // 00:00 UT
}

QDate monthStartOnOrBefore(const QDate &day)
{
    double moon = solar_terms::newMoonNear(julianDayOf(day));
    QDate start = solar_terms::chinaDayOf(moon);
    while (start > day) {
        moon = solar_terms::newMoonNear(moon - kSynodicMonth);
        start = solar_terms::chinaDayOf(moon);
    }
    while (true) {
        const double next = solar_terms::newMoonNear(moon + kSynodicMonth);
        const QDate nextStart = solar_terms::chinaDayOf(next);
        if (nextStart > day)
            return start;
        moon = next;
        start = nextStart;
    }
}

// The calendar's rules as the national standard states them (GB/T 33661-2017): days begin at
// midnight in China (UTC+8); a month begins on the day of a new moon; the month that holds 冬至
// is the eleventh; when thirteen months run from one eleventh month to the next, the first of
// them that holds no principal term (中气: the terms at multiples of 30°) is a leap month, and
// takes the number of the month before it.
Sui computeSui(int year)
{
    Sui sui;
    const QDate winterBefore = solar_terms::termDate(year - 1, 23);
    const QDate winter = solar_terms::termDate(year, 23);
    // The first and the last years' 岁 reach past the years the terms are known for: no months
    // (their days have no lunar date) rather than a search for new moons from no date at all.
    if (!winterBefore.isValid() || !winter.isValid())
        return sui;
    QList<QDate> starts = {monthStartOnOrBefore(winterBefore)};
    double moon = solar_terms::newMoonNear(julianDayOf(starts[0]) + 1.0);
    if (solar_terms::chinaDayOf(moon) < starts[0].addDays(1))
        moon = solar_terms::newMoonNear(moon + kSynodicMonth);
    while (true) {
        const QDate start = solar_terms::chinaDayOf(moon);
        if (start > winter)
            break;
        starts.append(start);
        moon = solar_terms::newMoonNear(moon + kSynodicMonth);
    }
    // starts: the eleventh month's first day, the months after it, and the next eleventh month's.
    sui.end = starts.takeLast();
    QList<QDate> principal = {winterBefore};
    for (int index = 1; index < solar_terms::kTermCount; index += 2)
        principal.append(solar_terms::termDate(year, index));
    const bool leapYear = starts.size() == 13;
    bool leapTaken = false;
    int number = 11;
    int lunarYear = year - 1;
    for (qsizetype i = 0; i < starts.size(); ++i) {
        const QDate next = i + 1 < starts.size() ? starts[i + 1] : sui.end;
        bool leap = false;
        if (leapYear && !leapTaken && i > 0) {
            leap = std::none_of(principal.cbegin(), principal.cend(),
                                [&](const QDate &d) { return d >= starts[i] && d < next; });
            leapTaken = leap;
        }
        if (i > 0 && !leap) {
            number = number % 12 + 1;
            if (number == 1)
                lunarYear = year;
        }
        sui.months.append({starts[i], number, leap, lunarYear});
    }
    return sui;
}

const Sui &suiOf(int year)
{
    thread_local QHash<int, Sui> kept;
    auto found = kept.find(year);
    if (found == kept.end())
        found = kept.insert(year, computeSui(year));
    return *found;
}

bool inRange(const QDate &date)
{
    return date.isValid() && date.year() >= kFirstYear && date.year() <= kLastYear;
}

// The month of lunar year year with that number, and its length; nullptr when there is none.
const Month *findMonth(int year, int month, bool leapMonth, int *length)
{
    if (year < kFirstYear || year > kLastYear - 1)
        return nullptr;
    for (const int sui : {year, year + 1}) {
        const Sui &s = suiOf(sui);
        for (qsizetype i = 0; i < s.months.size(); ++i) {
            const Month &m = s.months[i];
            if (m.lunarYear == year && m.number == month && m.leap == leapMonth) {
                const QDate next = i + 1 < s.months.size() ? s.months[i + 1].start : s.end;
                *length = int(m.start.daysTo(next));
                return &m;
            }
        }
    }
    return nullptr;
}

} // namespace

LunarDate lunarDate(const QDate &date)
{
    if (!inRange(date))
        return {};
    const Sui *sui = &suiOf(date.year());
    if (date >= sui->end)
        sui = &suiOf(date.year() + 1);
    for (qsizetype i = sui->months.size() - 1; i >= 0; --i) {
        const Month &m = sui->months[i];
        if (m.start <= date) {
            LunarDate lunar;
            lunar.year = m.lunarYear;
            // 1984 began a cycle (甲子).
            lunar.cycleYear = int(((m.lunarYear - 1984) % 60 + 60) % 60) + 1;
            lunar.month = m.number;
            lunar.leapMonth = m.leap;
            lunar.day = int(m.start.daysTo(date)) + 1;
            return lunar;
        }
    }
    return {};
}

int leapMonthOf(int year)
{
    for (int month = 1; month <= 12; ++month) {
        int length = 0;
        if (findMonth(year, month, true, &length))
            return month;
    }
    return 0;
}

QDate solarDate(int year, int month, bool leapMonth, int day)
{
    int length = 0;
    const Month *m = findMonth(year, month, leapMonth, &length);
    if (!m || day < 1 || day > length)
        return QDate();
    return m->start.addDays(day - 1);
}

int daysInMonth(int year, int month, bool leapMonth)
{
    int length = 0;
    return findMonth(year, month, leapMonth, &length) ? length : 0;
}

QString cycleYearName(int cycleYear)
{
    if (cycleYear < 1 || cycleYear > 60)
        return QString();
    return QString::fromUtf16(kStems[(cycleYear - 1) % 10]) + QString::fromUtf16(kBranches[(cycleYear - 1) % 12]);
}

QString monthName(int month, bool leapMonth)
{
    if (month < 1 || month > 12)
        return QString();
    return (leapMonth ? QStringLiteral("闰") : QString()) + QString::fromUtf16(kMonths[month - 1]);
}

QString dayName(int day)
{
    if (day < 1 || day > 30)
        return QString();
    if (day <= 10)
        return QStringLiteral("初") + QString::fromUtf16(kDigits[day % 10]);
    if (day < 20)
        return QStringLiteral("十") + QString::fromUtf16(kDigits[day % 10]);
    if (day == 20)
        return QStringLiteral("二十");
    if (day < 30)
        return QStringLiteral("廿") + QString::fromUtf16(kDigits[day % 10]);
    return QStringLiteral("三十");
}

QString dayLabel(const QDate &date)
{
    const LunarDate lunar = lunarDate(date);
    if (!lunar.isValid())
        return QString();
    return lunar.day == 1 ? monthName(lunar.month, lunar.leapMonth) : dayName(lunar.day);
}

QString fullText(const QDate &date)
{
    const LunarDate lunar = lunarDate(date);
    if (!lunar.isValid())
        return QString();
    return QStringLiteral("农历%1年%2%3")
        .arg(cycleYearName(lunar.cycleYear), monthName(lunar.month, lunar.leapMonth), dayName(lunar.day));
}

Festival festivalOf(const QDate &date)
{
    const LunarDate lunar = lunarDate(date);
    if (!lunar.isValid())
        return Festival::None;
    if (!lunar.leapMonth) {
        switch (lunar.month * 100 + lunar.day) {
        case 101:
            return Festival::SpringFestival;
        case 115:
            return Festival::Lantern;
        case 505:
            return Festival::DragonBoat;
        case 707:
            return Festival::Qixi;
        case 815:
            return Festival::MidAutumn;
        case 909:
            return Festival::DoubleNinth;
        default:
            break;
        }
    }
    if (solar_terms::termOn(date) == 6)
        return Festival::Qingming;
    if (lunar.month == 12 && lunar.day >= 29) {
        const LunarDate next = lunarDate(date.addDays(1));
        if (next.month == 1 && !next.leapMonth && next.day == 1)
            return Festival::NewYearsEve;
    }
    return Festival::None;
}

QString festivalName(Festival festival)
{
    switch (festival) {
    case Festival::None:
        break;
    case Festival::SpringFestival:
        return QStringLiteral("春节");
    case Festival::Lantern:
        return QStringLiteral("元宵");
    case Festival::Qingming:
        return QStringLiteral("清明");
    case Festival::DragonBoat:
        return QStringLiteral("端午");
    case Festival::Qixi:
        return QStringLiteral("七夕");
    case Festival::MidAutumn:
        return QStringLiteral("中秋");
    case Festival::DoubleNinth:
        return QStringLiteral("重阳");
    case Festival::NewYearsEve:
        return QStringLiteral("除夕");
    }
    return QString();
}

QString calendarLabel(const QDate &date)
{
    if (const Festival festival = festivalOf(date); festival != Festival::None)
        return festivalName(festival);
    if (const int term = solar_terms::termOn(date); term >= 0)
        return solar_terms::termName(term);
    return dayLabel(date);
}

QList<QDate> sameLunarDateBefore(const QDate &date, const QDate &earliest)
{
    QList<QDate> days;
    const LunarDate lunar = lunarDate(date);
    if (!lunar.isValid())
        return days;
    for (int year = lunar.year - 1; year >= kFirstYear; --year) {
        const bool leap = lunar.leapMonth && solarDate(year, lunar.month, true, 1).isValid();
        const int length = daysInMonth(year, lunar.month, leap);
        if (length == 0)
            break;
        const QDate day = solarDate(year, lunar.month, leap, std::min(lunar.day, length));
        if (!day.isValid() || (earliest.isValid() && day < earliest))
            break;
        days.append(day);
    }
    return days;
}

} // namespace lunar
