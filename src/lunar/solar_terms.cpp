#include "lunar/solar_terms.h"

#include <QHash>

#include <erfa.h>
#include <erfam.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace solar_terms {

namespace {

constexpr double kUnixEpochJd = 2440587.5;   // 1970-01-01 00:00 UTC
constexpr double kJ2000 = 2451545.0;
constexpr double kMeanYear = 365.2422;       // days of a tropical year: the Sun's mean rate

const char16_t *const kNames[kTermCount] = {
    u"小寒", u"大寒", u"立春", u"雨水", u"惊蛰", u"春分", u"清明", u"谷雨", u"立夏", u"小满", u"芒种", u"夏至",
    u"小暑", u"大暑", u"立秋", u"处暑", u"白露", u"秋分", u"寒露", u"霜降", u"立冬", u"小雪", u"大雪", u"冬至",
};

double julianDay(const QDate &date)
{
    return double(date.toJulianDay()) - 0.5;   // at 00:00 UT
}

// Degrees in [-180, 180).
double signedDegrees(double degrees)
{
    return degrees - 360.0 * std::floor((degrees + 180.0) / 360.0);
}

// The ecliptic longitude, degrees in [0, 360), of a direction in the GCRS: turned to the true
// equator and equinox of date, then about the equinox by the true obliquity.
double longitudeOfDate(const double gcrs[3], double tt1, double tt2)
{
    double dpsi = 0, deps = 0, epsa = 0;
    double rb[3][3], rp[3][3], rbp[3][3], rn[3][3], rbpn[3][3];
    eraPn00b(tt1, tt2, &dpsi, &deps, &epsa, rb, rp, rbp, rn, rbpn);
    double direction[3] = {gcrs[0], gcrs[1], gcrs[2]};
    double ofDate[3];
    eraRxp(rbpn, direction, ofDate);
    const double obliquity = epsa + deps;
    const double y = ofDate[1] * std::cos(obliquity) + ofDate[2] * std::sin(obliquity);
    const double longitude = std::atan2(y, ofDate[0]) * ERFA_DR2D;
    return longitude < 0 ? longitude + 360.0 : longitude;
}

} // namespace

double ttOfUt(double ut)
{
    const double decimalYear = 2000.0 + (ut - kJ2000) / 365.25;
    return ut + deltaT(decimalYear) / ERFA_DAYSEC;
}

QDate chinaDayOf(double ut)
{
    const double local = ut + 8.0 / 24.0 + 0.5;
    return QDate::fromJulianDay(qint64(std::floor(local)));
}

double newMoonNear(double ut)
{
    constexpr double kSynodicRate = 360.0 / 29.530588853;   // degrees a day the Moon gains
    for (int step = 0; step < 50; ++step) {
        const double tt = ttOfUt(ut);
        const double apart = signedDegrees(apparentLunarLongitude(kJ2000, tt - kJ2000)
                                           - apparentSolarLongitude(kJ2000, tt - kJ2000));
        ut -= apart / kSynodicRate;
        if (std::abs(apart) < 1e-6)   // a tenth of a second of the Moon's gain
            break;
    }
    return ut;
}

QString termName(int index)
{
    return index >= 0 && index < kTermCount ? QString::fromUtf16(kNames[index]) : QString();
}

int termLongitude(int index)
{
    return (285 + 15 * index) % 360;
}

double deltaT(double y)
{
    // Espenak and Meeus, "Five Millennium Canon of Solar Eclipses" (NASA, 2006), section by
    // section; outside them the long-term parabola of Morrison and Stephenson.
    const double u = (y - 1820.0) / 100.0;
    if (y < 1860.0 || y >= 2150.0)
        return -20.0 + 32.0 * u * u;
    if (y < 1900.0) {
        const double t = y - 1860.0;
        return 7.62 + 0.5737 * t - 0.251754 * t * t + 0.01680668 * t * t * t
               - 0.0004473624 * std::pow(t, 4) + std::pow(t, 5) / 233174.0;
    }
    if (y < 1920.0) {
        const double t = y - 1900.0;
        return -2.79 + 1.494119 * t - 0.0598939 * t * t + 0.0061966 * t * t * t - 0.000197 * std::pow(t, 4);
    }
    if (y < 1941.0) {
        const double t = y - 1920.0;
        return 21.20 + 0.84493 * t - 0.076100 * t * t + 0.0020936 * t * t * t;
    }
    if (y < 1961.0) {
        const double t = y - 1950.0;
        return 29.07 + 0.407 * t - t * t / 233.0 + t * t * t / 2547.0;
    }
    if (y < 1986.0) {
        const double t = y - 1975.0;
        return 45.45 + 1.067 * t - t * t / 260.0 - t * t * t / 718.0;
    }
    if (y < 2005.0) {
        const double t = y - 2000.0;
        return 63.86 + 0.3345 * t - 0.060374 * t * t + 0.0017275 * t * t * t + 0.000651814 * std::pow(t, 4)
               + 0.00002373599 * std::pow(t, 5);
    }
    if (y < 2050.0) {
        const double t = y - 2000.0;
        return 62.92 + 0.32217 * t + 0.005589 * t * t;
    }
    return -20.0 + 32.0 * u * u - 0.5628 * (2150.0 - y);
}

double apparentSolarLongitude(double tt1, double tt2)
{
    // The Earth, heliocentric and barycentric (au, au/day; the barycentric frame's axes).
    double heliocentric[2][3];
    double barycentric[2][3];
    eraEpv00(tt1, tt2, heliocentric, barycentric);

    // The Sun as seen from the Earth: where it was when the light left it. Its own motion about
    // the barycentre during the light time moves it by a few kilometres; it is included anyway.
    double sun[3];
    for (int i = 0; i < 3; ++i)
        sun[i] = -heliocentric[0][i];
    const double distance = eraPm(sun);
    const double lightDays = distance * ERFA_AULT / ERFA_DAYSEC;
    for (int i = 0; i < 3; ++i)
        sun[i] -= lightDays * (barycentric[1][i] - heliocentric[1][i]);
    double direction[3];
    double ignored = 0;
    eraPn(sun, &ignored, direction);

    // Annual aberration, from the Earth's barycentric velocity in units of c.
    double velocity[3];
    for (int i = 0; i < 3; ++i)
        velocity[i] = barycentric[1][i] * ERFA_AULT / ERFA_DAYSEC;
    const double bm1 = std::sqrt(1.0 - eraPm(velocity) * eraPm(velocity));
    double apparent[3];
    eraAb(direction, velocity, distance, bm1, apparent);

    return longitudeOfDate(apparent, tt1, tt2);
}

double apparentLunarLongitude(double tt1, double tt2)
{
    // The Moon's geocentric place (ELP2000-82 as Meeus abridged it, a few arcseconds between
    // 1900 and 2100). Its light time (1.3 s) and its own aberration (under an arcsecond) are
    // left out: they move a new moon by a second or two.
    double moon[2][3];
    eraMoon98(tt1, tt2, moon);
    return longitudeOfDate(moon[0], tt1, tt2);
}

QDateTime termMoment(int year, int index)
{
    if (year < 1000 || year > 9998 || index < 0 || index >= kTermCount)
        return QDateTime();
    const double target = termLongitude(index);
    // 小寒 comes about 5 January; each term some 15.2 days after the one before.
    double ut = julianDay(QDate(year, 1, 6)) + index * (kMeanYear / kTermCount);
    for (int step = 0; step < 30; ++step) {
        const double tt = ttOfUt(ut);
        const double behind = signedDegrees(target - apparentSolarLongitude(kJ2000, tt - kJ2000));
        ut += behind * kMeanYear / 360.0;
        if (std::abs(behind) < 1e-7)   // about 2 ms of the Sun's motion
            break;
    }
    const qint64 ms = qint64(std::llround((ut - kUnixEpochJd) * ERFA_DAYSEC * 1000.0));
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

QDate termDate(int year, int index)
{
    if (year < 1000 || year > 9998 || index < 0 || index >= kTermCount)
        return QDate();
    thread_local QHash<int, std::array<QDate, kTermCount>> days;
    auto found = days.find(year);
    if (found == days.end()) {
        std::array<QDate, kTermCount> terms;
        for (int i = 0; i < kTermCount; ++i)
            terms[size_t(i)] = termMoment(year, i).toOffsetFromUtc(8 * 3600).date();
        found = days.insert(year, terms);
    }
    return (*found)[size_t(index)];
}

int termOn(const QDate &date)
{
    if (!date.isValid())
        return -1;
    // Each month of the year holds two terms (January 小寒 and 大寒, and so on); those of the
    // months beside it are looked at too, for the centuries in which the days have drifted.
    const int first = 2 * (date.month() - 1);
    for (int index = std::max(0, first - 1); index <= std::min(kTermCount - 1, first + 2); ++index) {
        if (termDate(date.year(), index) == date)
            return index;
    }
    return -1;
}

} // namespace solar_terms
