// Calendar and time scales for the Sun and Moon computations. An instant is
// given as UTC seconds since 1970-01-01 00:00 (no leap seconds, as the
// system clock counts them); UT1 is taken as UTC (within 0.9 s).
#pragma once

#include <string>
#include <string_view>

#include "station/geo.h"

namespace zol::station {

using UtcSeconds = double;

// A Gregorian calendar date.
struct Date {
    int year = 2000;
    int month = 1;
    int day = 1;
    bool operator==(const Date&) const = default;
};

// "YYYY-MM-DD", a real date of the years 1600..2500 (the span the Delta T
// polynomials and the series are used for here).
Parsed<Date> ParseDate(std::string_view text);

// 00:00 UTC of the date.
UtcSeconds StartOfDay(Date date);
UtcSeconds UtcFromCivil(int year, int month, int day, int hour = 0, int minute = 0, double second = 0);
// The date an instant falls on (UTC).
Date DateOf(UtcSeconds t);
// "YYYY-MM-DD", and "YYYY-MM-DD HH:MM:SS UTC" rounded to the second.
std::string FormatDate(Date date);
std::string FormatUtc(UtcSeconds t);

// Julian day of an instant, and days from J2000.0 (2000-01-01 12:00).
double JulianDay(UtcSeconds t);
double DaysFromJ2000(UtcSeconds t);

// TT - UT in seconds for a decimal year (year + (month - 0.5) / 12),
// from the polynomials of Espenak and Meeus (NASA, Five Millennium Canon
// of Solar Eclipses, 2006).
double DeltaT(double decimalYear);
double DeltaTAt(UtcSeconds t);

// Julian centuries of TT from J2000.0 for a UTC instant.
double CenturiesTT(UtcSeconds t);

}  // namespace zol::station
