#include "station/geo.h"
#include "station/angles.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

namespace zol::station {

namespace {

constexpr double kEarthMeanRadiusKm = 6371.0088;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string Quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

template <class T>
Parsed<T> Refuse(std::string why)
{
    return Parsed<T>{std::nullopt, std::move(why)};
}

// One locator character: a letter from 'A' up to last, or a digit.
// Returns its index, or -1.
int LocatorIndex(char c, bool letter, char last)
{
    if (letter) {
        c = Upper(c);
        return (c >= 'A' && c <= last) ? c - 'A' : -1;
    }
    return IsDigit(c) ? c - '0' : -1;
}

struct Axis {
    const char* name;  // "latitude"
    char positive;     // 'N'
    char negative;     // 'S'
    double limit;      // 90
};
constexpr Axis kLatitude{"latitude", 'N', 'S', 90.0};
constexpr Axis kLongitude{"longitude", 'E', 'W', 180.0};

bool IsHemisphere(char c) { return std::string_view("NSEW").find(Upper(c)) != std::string_view::npos; }

Parsed<double> ParseCoordinate(std::string_view text, const Axis& axis)
{
    const std::string_view s = Trim(text);
    if (s.empty())
        return Refuse<double>(std::string("no ") + axis.name + " given");
    std::size_t i = 0;
    int sign = 0;
    if (s[i] == '+' || s[i] == '-')
        sign = s[i++] == '-' ? -1 : 1;
    const std::size_t numberStart = i;
    bool digits = false;
    while (i < s.size() && IsDigit(s[i])) {
        ++i;
        digits = true;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && IsDigit(s[i])) {
            ++i;
            digits = true;
        }
    }
    if (!digits)
        return Refuse<double>(axis.name + std::string(" ") + Quoted(s) + " is not a decimal number of degrees");
    const std::string_view number = s.substr(numberStart, i - numberStart);
    std::string_view rest = Trim(s.substr(i));
    char hemisphere = 0;
    if (rest.size() == 1 && IsHemisphere(rest[0]))
        hemisphere = Upper(rest[0]);
    else if (!rest.empty())
        return Refuse<double>(axis.name + std::string(" ") + Quoted(s) + ": unexpected " + Quoted(rest) +
                              " after the number");
    if (hemisphere && hemisphere != axis.positive && hemisphere != axis.negative)
        return Refuse<double>(axis.name + std::string(" ") + Quoted(s) + ": " + hemisphere + " is not a " + axis.name +
                              " hemisphere (" + axis.positive + " or " + axis.negative + ")");
    if (hemisphere && sign)
        return Refuse<double>(axis.name + std::string(" ") + Quoted(s) +
                              ": give a sign or a hemisphere letter, not both");
    double value = 0;
    // Only digits and one point reach here; from_chars ignores the locale.
    std::string digitsOnly(number);
    if (digitsOnly.front() == '.')
        digitsOnly.insert(digitsOnly.begin(), '0');
    std::from_chars(digitsOnly.data(), digitsOnly.data() + digitsOnly.size(), value);
    if (value > axis.limit) {
        char limit[64];
        std::snprintf(limit, sizeof limit, "%g", axis.limit);
        return Refuse<double>(axis.name + std::string(" ") + Quoted(s) + " is out of range (at most " + limit +
                              " degrees " + axis.positive + " or " + axis.negative + ")");
    }
    if (sign < 0 || hemisphere == axis.negative)
        value = -value;
    return Parsed<double>{value, {}};
}

struct Vec3 {
    double x, y, z;
};

Vec3 ToVector(GeoPoint p)
{
    const double la = p.latitude * kDeg, lo = p.longitude * kDeg;
    return {std::cos(la) * std::cos(lo), std::cos(la) * std::sin(lo), std::sin(la)};
}

// Splits "a, b", "a; b" or "a b" into its two coordinates; a lone
// hemisphere letter belongs to the number before it ("52.1 N 0.1 W").
std::vector<std::string> SplitCoordinates(std::string_view s)
{
    std::vector<std::string> parts;
    const std::size_t sep = s.find_first_of(",;");
    if (sep != std::string_view::npos) {
        parts.emplace_back(s.substr(0, sep));
        parts.emplace_back(s.substr(sep + 1));
        if (parts.back().find_first_of(",;") != std::string::npos)
            parts.emplace_back();  // a third part: refused by the caller
        return parts;
    }
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && IsBlank(s[i]))
            ++i;
        const std::size_t start = i;
        while (i < s.size() && !IsBlank(s[i]))
            ++i;
        if (i == start)
            break;
        const std::string_view token = s.substr(start, i - start);
        if (token.size() == 1 && IsHemisphere(token[0]) && !parts.empty())
            parts.back() += std::string(" ") + token[0];
        else
            parts.emplace_back(token);
    }
    return parts;
}

char HemisphereOf(std::string_view coordinate)
{
    coordinate = Trim(coordinate);
    return coordinate.empty() ? 0 : Upper(coordinate.back());
}

bool LooksLikeLocator(std::string_view s)
{
    return s.size() >= 2 && s.size() <= 8 && s.find_first_of(" \t,;.+-") == std::string_view::npos &&
           !IsDigit(s[0]);
}

}  // namespace

Parsed<GeoPoint> ParseLocator(std::string_view text)
{
    const std::string_view s = Trim(text);
    if (s.size() != 2 && s.size() != 4 && s.size() != 6 && s.size() != 8)
        return Refuse<GeoPoint>("locator " + Quoted(s) + " must have 2, 4, 6 or 8 characters");
    // Pairs of (longitude, latitude): field letters A-R (20 x 10 degrees),
    // square digits (2 x 1 degree), subsquare letters A-X (5' x 2.5'),
    // extended square digits (30" x 15").
    static constexpr struct {
        bool letter;
        char last;
        double lonStep, latStep;
        const char* what;
    } kPairs[] = {{true, 'R', 20.0, 10.0, "a letter A to R"},
                  {false, '9', 2.0, 1.0, "a digit"},
                  {true, 'X', 5.0 / 60, 2.5 / 60, "a letter A to X"},
                  {false, '9', 0.5 / 60, 0.25 / 60, "a digit"}};
    double lon = -180.0, lat = -90.0, lonCell = 0, latCell = 0;
    for (std::size_t pair = 0; pair * 2 < s.size(); ++pair) {
        const auto& p = kPairs[pair];
        for (int k = 0; k < 2; ++k) {
            const char c = s[pair * 2 + k];
            const int index = LocatorIndex(c, p.letter, p.last);
            if (index < 0)
                return Refuse<GeoPoint>("locator " + Quoted(s) + ": character " + std::to_string(pair * 2 + k + 1) +
                                        " '" + c + "' must be " + p.what);
            (k == 0 ? lon : lat) += index * (k == 0 ? p.lonStep : p.latStep);
        }
        lonCell = p.lonStep;
        latCell = p.latStep;
    }
    return Parsed<GeoPoint>{GeoPoint{lat + latCell / 2, lon + lonCell / 2}, {}};
}

Parsed<double> ParseLatitude(std::string_view text) { return ParseCoordinate(text, kLatitude); }

Parsed<double> ParseLongitude(std::string_view text) { return ParseCoordinate(text, kLongitude); }

Parsed<GeoPoint> ParseLocation(std::string_view text)
{
    const std::string_view s = Trim(text);
    if (s.empty())
        return Refuse<GeoPoint>("no location given (a locator such as JO22 or a latitude and longitude)");
    if (LooksLikeLocator(s))
        return ParseLocator(s);
    std::vector<std::string> parts = SplitCoordinates(s);
    if (parts.size() != 2)
        return Refuse<GeoPoint>("location " + Quoted(s) +
                                " is neither a locator nor a latitude and a longitude (\"52.1 N, 0.12 W\")");
    const char h0 = HemisphereOf(parts[0]), h1 = HemisphereOf(parts[1]);
    if ((h0 == 'E' || h0 == 'W') && (h1 == 'N' || h1 == 'S'))
        std::swap(parts[0], parts[1]);
    const Parsed<double> lat = ParseLatitude(parts[0]);
    if (!lat)
        return Refuse<GeoPoint>(lat.error);
    const Parsed<double> lon = ParseLongitude(parts[1]);
    if (!lon)
        return Refuse<GeoPoint>(lon.error);
    return Parsed<GeoPoint>{GeoPoint{*lat.value, *lon.value}, {}};
}

std::string FormatPoint(GeoPoint p)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.4f %c, %.4f %c", std::fabs(p.latitude), p.latitude < 0 ? 'S' : 'N',
                  std::fabs(p.longitude), p.longitude < 0 ? 'W' : 'E');
    return text;
}

std::optional<GeoPoint> GreatCircleMidpoint(GeoPoint a, GeoPoint b)
{
    // The midpoint's direction is the sum of the two unit vectors.
    const Vec3 u = ToVector(a), v = ToVector(b);
    const Vec3 m{u.x + v.x, u.y + v.y, u.z + v.z};
    const double equatorial = std::hypot(m.x, m.y);
    if (std::hypot(equatorial, m.z) < 1e-9)
        return std::nullopt;
    GeoPoint mid{std::atan2(m.z, equatorial) / kDeg, std::atan2(m.y, m.x) / kDeg};
    if (equatorial < 1e-12)  // a pole: longitude is arbitrary
        mid.longitude = 0;
    return mid;
}

double GreatCircleDistanceKm(GeoPoint a, GeoPoint b)
{
    const Vec3 u = ToVector(a), v = ToVector(b);
    const Vec3 c{u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
    return kEarthMeanRadiusKm * std::atan2(std::hypot(c.x, c.y, c.z), u.x * v.x + u.y * v.y + u.z * v.z);
}

}  // namespace zol::station
