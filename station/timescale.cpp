#include "station/timescale.h"

#include <cmath>
#include <cstdio>

namespace zol::station {

namespace {

constexpr double kUnixEpochJd = 2440587.5;  // 1970-01-01 00:00 UTC
constexpr double kJ2000Unix = 946728000.0;  // 2000-01-01 12:00 UTC

// Julian day number of 0h of a Gregorian date (J. Meeus, Astronomical
// Algorithms, 2nd ed., formula 7.1).
double JulianDayOfDate(int year, int month, int day)
{
    if (month <= 2) {
        year -= 1;
        month += 12;
    }
    const int a = static_cast<int>(std::floor(year / 100.0));
    const int b = 2 - a + static_cast<int>(std::floor(a / 4.0));
    return std::floor(365.25 * (year + 4716)) + std::floor(30.6001 * (month + 1)) + day + b - 1524.5;
}

// The Gregorian date of a Julian day (Meeus, chapter 7).
Date DateOfJulianDay(double jd)
{
    const double z = std::floor(jd + 0.5);
    const double alpha = std::floor((z - 1867216.25) / 36524.25);
    const double a = z + 1 + alpha - std::floor(alpha / 4);
    const double b = a + 1524;
    const double c = std::floor((b - 122.1) / 365.25);
    const double d = std::floor(365.25 * c);
    const double e = std::floor((b - d) / 30.6001);
    Date date;
    date.day = static_cast<int>(b - d - std::floor(30.6001 * e));
    date.month = static_cast<int>(e < 14 ? e - 1 : e - 13);
    date.year = static_cast<int>(date.month > 2 ? c - 4716 : c - 4715);
    return date;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

double Poly(double t, std::initializer_list<double> c)
{
    double sum = 0;
    for (auto it = c.end(); it != c.begin();)
        sum = sum * t + *--it;
    return sum;
}

}  // namespace

Parsed<Date> ParseDate(std::string_view text)
{
    const auto refuse = [&](const std::string& why) {
        return Parsed<Date>{std::nullopt, "date \"" + std::string(text) + "\" " + why};
    };
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return refuse("is not written YYYY-MM-DD");
    int fields[3] = {0, 0, 0};
    const int starts[3] = {0, 5, 8}, lengths[3] = {4, 2, 2};
    for (int f = 0; f < 3; ++f)
        for (int k = 0; k < lengths[f]; ++k) {
            const char c = text[starts[f] + k];
            if (c < '0' || c > '9')
                return refuse("is not written YYYY-MM-DD");
            fields[f] = fields[f] * 10 + (c - '0');
        }
    const Date date{fields[0], fields[1], fields[2]};
    if (date.year < 1600 || date.year > 2500)
        return refuse("is outside the years 1600 to 2500");
    if (date.month < 1 || date.month > 12 || date.day < 1 || date.day > DaysInMonth(date.year, date.month))
        return refuse("does not exist");
    return Parsed<Date>{date, {}};
}

UtcSeconds UtcFromCivil(int year, int month, int day, int hour, int minute, double second)
{
    return (JulianDayOfDate(year, month, day) - kUnixEpochJd) * 86400.0 + hour * 3600.0 + minute * 60.0 + second;
}

UtcSeconds StartOfDay(Date date) { return UtcFromCivil(date.year, date.month, date.day); }

Date DateOf(UtcSeconds t) { return DateOfJulianDay(std::floor(t / 86400.0) + kUnixEpochJd + 0.5); }

std::string FormatDate(Date date)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
    return text;
}

std::string FormatUtc(UtcSeconds t)
{
    const double rounded = std::round(t);
    const double day = std::floor(rounded / 86400.0);
    const long secs = static_cast<long>(rounded - day * 86400.0);
    char text[48];
    std::snprintf(text, sizeof text, "%s %02ld:%02ld:%02ld UTC", FormatDate(DateOf(day * 86400.0)).c_str(),
                  secs / 3600, secs / 60 % 60, secs % 60);
    return text;
}

double JulianDay(UtcSeconds t) { return t / 86400.0 + kUnixEpochJd; }

double DaysFromJ2000(UtcSeconds t) { return (t - kJ2000Unix) / 86400.0; }

double DeltaT(double y)
{
    // Espenak and Meeus, "Polynomial expressions for Delta T", from the
    // Five Millennium Canon of Solar Eclipses (NASA/TP-2006-214141).
    const auto longTerm = [](double year) {
        const double u = (year - 1820) / 100;
        return -20 + 32 * u * u;
    };
    if (y < 1600)
        return longTerm(y);
    if (y < 1700)
        return Poly(y - 1600, {120, -0.9808, -0.01532, 1.0 / 7129});
    if (y < 1800)
        return Poly(y - 1700, {8.83, 0.1603, -0.0059285, 0.00013336, -1.0 / 1174000});
    if (y < 1860)
        return Poly(y - 1800, {13.72, -0.332447, 0.0068612, 0.0041116, -0.00037436, 0.0000121272, -0.0000001699,
                               0.000000000875});
    if (y < 1900)
        return Poly(y - 1860, {7.62, 0.5737, -0.251754, 0.01680668, -0.0004473624, 1.0 / 233174});
    if (y < 1920)
        return Poly(y - 1900, {-2.79, 1.494119, -0.0598939, 0.0061966, -0.000197});
    if (y < 1941)
        return Poly(y - 1920, {21.20, 0.84493, -0.076100, 0.0020936});
    if (y < 1961)
        return Poly(y - 1950, {29.07, 0.407, -1.0 / 233, 1.0 / 2547});
    if (y < 1986)
        return Poly(y - 1975, {45.45, 1.067, -1.0 / 260, -1.0 / 718});
    if (y < 2005)
        return Poly(y - 2000, {63.86, 0.3345, -0.060374, 0.0017275, 0.000651814, 0.00002373599});
    if (y < 2050)
        return Poly(y - 2000, {62.92, 0.32217, 0.005589});
    if (y < 2150)
        return longTerm(y) - 0.5628 * (2150 - y);
    return longTerm(y);
}

// The decimal year runs evenly through the calendar (the canon's
// year + (month - 0.5) / 12 without its monthly steps).
double DeltaTAt(UtcSeconds t) { return DeltaT(2000.0 + DaysFromJ2000(t) / 365.2425); }

double CenturiesTT(UtcSeconds t) { return (DaysFromJ2000(t) + DeltaTAt(t) / 86400.0) / 36525.0; }

}  // namespace zol::station
