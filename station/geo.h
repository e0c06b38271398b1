// Where the two ends of a radio path are, and where its reflection point
// lies: Maidenhead locators, decimal latitude and longitude, and the
// great-circle midpoint.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zol::station {

// A point on the Earth in degrees: latitude north positive (-90..90),
// longitude east positive (-180..180).
struct GeoPoint {
    double latitude = 0;
    double longitude = 0;
};

// The outcome of parsing: the value, or why the text was refused.
template <class T>
struct Parsed {
    std::optional<T> value;
    std::string error;  // empty when value holds one
    explicit operator bool() const { return value.has_value(); }
};

// A Maidenhead locator of 2, 4, 6 or 8 characters, in any case ("JO22",
// "io91wm", "JN58td25"): the centre of the square it names.
Parsed<GeoPoint> ParseLocator(std::string_view text);

// One decimal coordinate with a sign or a hemisphere letter: "52.1 N",
// "-0.12", "4.3E", "33.9s". Values outside -90..90 (latitude) or
// -180..180 (longitude) are refused.
Parsed<double> ParseLatitude(std::string_view text);
Parsed<double> ParseLongitude(std::string_view text);

// A locator, or a latitude and a longitude separated by a comma, a
// semicolon or blanks ("36.1627 N, 86.7816 W", "51.5 -0.12"). Two
// coordinates whose letters say longitude first ("4.3E 52.1N") are taken
// in that order.
Parsed<GeoPoint> ParseLocation(std::string_view text);

// "36.1627 N, 86.7816 W": four decimals (about 10 m).
std::string FormatPoint(GeoPoint p);

// The point halfway along the shorter great circle from a to b (on a
// sphere). None for antipodal points, where every great circle through
// them is as short as any other.
std::optional<GeoPoint> GreatCircleMidpoint(GeoPoint a, GeoPoint b);

// Great-circle distance on a sphere of the Earth's mean radius, in km.
double GreatCircleDistanceKm(GeoPoint a, GeoPoint b);

}  // namespace zol::station
