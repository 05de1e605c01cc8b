#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

// The 24 solar terms (二十四节气) and the new moons: the moments when the Sun's apparent geocentric ecliptic
// longitude (true equinox and ecliptic of date) reaches a multiple of 15°, and the days they fall
// on in China's time (UTC+8).
//
// The Sun's place comes from the IAU's SOFA routines as ERFA ships them: the Earth's position and
// velocity (eraEpv00, a fit to the planetary ephemeris accurate to a few kilometres between 1900
// and 2100), light time and annual aberration, then precession and nutation (IAU 2000B, within a milliarcsecond of 2000A) to
// the true equator and equinox and the true obliquity. Civil time is Terrestrial Time less ΔT
// after the polynomials of Espenak and Meeus. Between 1900 and 2100 a moment is right to within
// about a minute (ΔT's own uncertainty by 2100); a term that falls within that of midnight may be
// given on the neighbouring day by one almanac and not another.
namespace solar_terms {

constexpr int kTermCount = 24;

// The terms of a Gregorian year in calendar order: 0 小寒 (285°), 1 大寒 (300°), 2 立春 (315°) …
// 5 春分 (0°), 6 清明 (15°) … 11 夏至 (90°) … 17 秋分 (180°) … 23 冬至 (270°).
QString termName(int index);
// The longitude the term is reached at, in degrees.
int termLongitude(int index);

// The moment (UTC) of term index in the Gregorian year; invalid outside years 1000 … 9998.
QDateTime termMoment(int year, int index);
// The day it falls on in China (UTC+8). The days of a year are computed once per thread and
// kept.
QDate termDate(int year, int index);

// The term that falls on the day, or -1.
int termOn(const QDate &date);

// The Sun's apparent geocentric ecliptic longitude, degrees in [0, 360), at a Julian date of
// Terrestrial Time given in two parts (tt1 + tt2).
double apparentSolarLongitude(double tt1, double tt2);

// The Moon's apparent geocentric ecliptic longitude, the same way.
double apparentLunarLongitude(double tt1, double tt2);

// ΔT = TT − UT in seconds for a moment of the decimal Gregorian year.
double deltaT(double decimalYear);
// The Julian date of Terrestrial Time at the Julian date ut of Universal Time.
double ttOfUt(double ut);
// The day in China (UTC+8) of a Julian date of Universal Time.
QDate chinaDayOf(double ut);

// The new moon (the Moon's apparent longitude equal to the Sun's) nearest to the Julian date ut
// of Universal Time, within about half a month, as a Julian date of Universal Time; right to
// within about half a minute between 1900 and 2100.
double newMoonNear(double ut);

} // namespace solar_terms
