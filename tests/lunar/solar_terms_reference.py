"""The 24 solar terms of a span of years, computed with PyEphem (libastro's VSOP87 theory of the
Sun), as an almanac independent of the program's: one line per term, "YEAR INDEX SECONDS", the
moment in seconds since 1970 UTC. Index 0 is 小寒 (285°), each term 15° further.

usage: solar_terms_reference.py FIRST LAST"""
import calendar
import math
import sys

import ephem


def apparent_longitude(when):
    sun = ephem.Sun(when)
    of_date = ephem.Equatorial(sun.g_ra, sun.g_dec, epoch=when)
    return float(ephem.Ecliptic(of_date, epoch=when).lon)


def moment(year, index):
    target = math.radians((285 + 15 * index) % 360)
    when = ephem.Date('%d/1/6' % year) + index * 365.2422 / 24
    for _ in range(30):
        behind = (target - apparent_longitude(ephem.Date(when)) + math.pi) % (2 * math.pi) - math.pi
        when += behind / (2 * math.pi) * 365.2422
        if abs(behind) < 1e-10:
            break
    return ephem.Date(when)


def main():
    first, last = int(sys.argv[1]), int(sys.argv[2])
    for year in range(first, last + 1):
        for index in range(24):
            utc = moment(year, index).datetime()
            print(year, index, '%.1f' % (calendar.timegm(utc.timetuple()) + utc.microsecond / 1e6))


main()
