#include "station/eclipse.h"
#include "station/angles.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include "station/ephemeris.h"

namespace zol::station {

namespace {

constexpr double kPi = std::numbers::pi;

// WGS84 ellipsoid.
constexpr double kEarthRadiusKm = 6378.137;
constexpr double kFlattening = 1 / 298.257223563;
// The Moon's mean radius in Earth radii as used for eclipse predictions
// (k = 0.2725076, Espenak's Five Millennium Canon), and the Sun's radius
// from its semi-diameter of 959.63" at 1 AU.
const double kMoonRadiusKm = 0.2725076 * kEarthRadiusKm;
const double kSunRadiusKm = kAstronomicalUnitKm * std::sin(959.63 * kArcsec);

struct Vec {
    double x, y, z;
    Vec operator-(const Vec& o) const { return {x - o.x, y - o.y, z - o.z}; }
    double Dot(const Vec& o) const { return x * o.x + y * o.y + z * o.z; }
    Vec Cross(const Vec& o) const { return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x}; }
    double Norm() const { return std::sqrt(Dot(*this)); }
};

// Ecliptic of date to a vector on the true equator of date.
Vec Equatorial(const EclipticPosition& p, double obliquity)
{
    const double cb = std::cos(p.latitude);
    const double x = cb * std::cos(p.longitude), y = cb * std::sin(p.longitude), z = std::sin(p.latitude);
    const double ce = std::cos(obliquity), se = std::sin(obliquity);
    return {p.distanceKm * x, p.distanceKm * (y * ce - z * se), p.distanceKm * (y * se + z * ce)};
}

// Greenwich mean sidereal time (Meeus 12.4), radians.
double MeanSiderealTime(UtcSeconds t)
{
    const double d = DaysFromJ2000(t), T = d / 36525;
    const double degrees = 280.46061837 + 360.98564736629 * d + T * T * (0.000387933 - T / 38710000);
    return std::fmod(degrees, 360.0) * kDeg;
}

// Sun and Moon as seen from the point, and the point's local vertical, in
// the frame of the true equator of date (km).
struct Geometry {
    Vec sun, moon, up;
};

Geometry Topocentric(GeoPoint point, UtcSeconds t)
{
    const double T = CenturiesTT(t);
    const Nutation nutation = NutationAt(T);
    const double obliquity = MeanObliquity(T) + nutation.obliquity;
    const Vec sun = Equatorial(SunApparent(T, nutation), obliquity);
    const Vec moon = Equatorial(MoonApparent(T, nutation), obliquity);
    // Apparent sidereal time (equation of the equinoxes) plus the east longitude.
    const double local = MeanSiderealTime(t) + nutation.longitude * std::cos(obliquity) + point.longitude * kDeg;
    // Geocentric position of a point on the ellipsoid (Meeus chapter 11).
    const double phi = point.latitude * kDeg;
    const double u = std::atan2((1 - kFlattening) * std::sin(phi), std::cos(phi));
    const double rhoCos = std::cos(u), rhoSin = (1 - kFlattening) * std::sin(u);
    const double cl = std::cos(local), sl = std::sin(local);
    const Vec observer{kEarthRadiusKm * rhoCos * cl, kEarthRadiusKm * rhoCos * sl, kEarthRadiusKm * rhoSin};
    const Vec up{std::cos(phi) * cl, std::cos(phi) * sl, std::sin(phi)};
    return {sun - observer, moon - observer, up};
}

SkyView View(const Geometry& g)
{
    SkyView v;
    const double sunDistance = g.sun.Norm(), moonDistance = g.moon.Norm();
    const double separation = std::atan2(g.sun.Cross(g.moon).Norm(), g.sun.Dot(g.moon));
    const double rs = std::asin(kSunRadiusKm / sunDistance), rm = std::asin(kMoonRadiusKm / moonDistance);
    v.separation = separation / kDeg;
    v.sunRadius = rs / kDeg;
    v.moonRadius = rm / kDeg;
    v.sunAltitude = std::asin(std::clamp(g.sun.Dot(g.up) / sunDistance, -1.0, 1.0)) / kDeg;
    v.obscuration = DiscOverlap(separation, rs, rm);
    v.magnitude = std::max(0.0, (rs + rm - separation) / (2 * rs));
    return v;
}

// Outer (first and last) and inner (second and third) contact functions:
// negative while the discs overlap / while one holds the other.
double Outer(const SkyView& v) { return v.separation - (v.sunRadius + v.moonRadius); }
double Inner(const SkyView& v) { return v.separation - std::fabs(v.sunRadius - v.moonRadius); }

// The time in [a, b] where fn changes sign (fn(a) and fn(b) of opposite
// signs), by bisection to a millisecond.
template <class Fn>
UtcSeconds Root(Fn fn, UtcSeconds a, UtcSeconds b)
{
    const bool aNegative = fn(a) < 0;
    while (std::fabs(b - a) > 1e-3) {
        const UtcSeconds m = (a + b) / 2;
        ((fn(m) < 0) == aNegative ? a : b) = m;
    }
    return (a + b) / 2;
}

// The time of least separation in [a, b] (one minimum there), by golden
// section search to 10 ms.
UtcSeconds LeastSeparation(GeoPoint p, UtcSeconds a, UtcSeconds b)
{
    const double r = (std::sqrt(5.0) - 1) / 2;
    const auto sep = [&](UtcSeconds t) { return ViewFrom(p, t).separation; };
    UtcSeconds c = b - r * (b - a), d = a + r * (b - a);
    double fc = sep(c), fd = sep(d);
    while (b - a > 0.01) {
        if (fc < fd) {
            b = d;
            d = c;
            fd = fc;
            c = b - r * (b - a);
            fc = sep(c);
        } else {
            a = c;
            c = d;
            fc = fd;
            d = a + r * (b - a);
            fd = sep(d);
        }
    }
    return (a + b) / 2;
}

constexpr double kScanStep = 300;       // s: far shorter than any local eclipse
constexpr double kLongestPhase = 6 * 3600;  // s: longer than any local partial phase

Contact ContactAt(GeoPoint p, UtcSeconds t) { return {t, ViewFrom(p, t).sunAltitude}; }

// The outer contact before (direction -1) or after (+1) the maximum.
UtcSeconds OuterContact(GeoPoint p, UtcSeconds maximum, int direction)
{
    const auto outer = [&](UtcSeconds t) { return Outer(ViewFrom(p, t)); };
    UtcSeconds inside = maximum, outside = maximum + direction * kScanStep;
    while (outer(outside) < 0 && std::fabs(outside - maximum) < kLongestPhase) {
        inside = outside;
        outside += direction * kScanStep;
    }
    return Root(outer, inside, outside);
}

// The local circumstances of the eclipse whose maximum is at t.
LocalEclipse Circumstances(GeoPoint p, UtcSeconds maximum)
{
    LocalEclipse e;
    const SkyView atMax = ViewFrom(p, maximum);
    e.maximum = {maximum, atMax.sunAltitude};
    e.obscuration = atMax.obscuration;
    e.magnitude = atMax.magnitude;
    e.first = ContactAt(p, OuterContact(p, maximum, -1));
    e.last = ContactAt(p, OuterContact(p, maximum, +1));
    e.kind = EclipseKind::Partial;
    if (Inner(atMax) < 0) {
        e.kind = atMax.moonRadius > atMax.sunRadius ? EclipseKind::Total : EclipseKind::Annular;
        const auto inner = [&](UtcSeconds t) { return Inner(ViewFrom(p, t)); };
        e.second = ContactAt(p, Root(inner, e.first.time, maximum));
        e.third = ContactAt(p, Root(inner, maximum, e.last.time));
    }
    return e;
}

// Angle between the Sun and the Moon seen from the Earth's centre, degrees.
double GeocentricElongation(UtcSeconds t)
{
    const double T = CenturiesTT(t);
    const Nutation n = NutationAt(T);
    const Vec sun = Equatorial(SunApparent(T, n), 0), moon = Equatorial(MoonApparent(T, n), 0);
    return std::atan2(sun.Cross(moon).Norm(), sun.Dot(moon)) / kDeg;
}

}  // namespace

SkyView ViewFrom(GeoPoint point, UtcSeconds t) { return View(Topocentric(point, t)); }

double ObscurationAt(GeoPoint point, UtcSeconds t) { return ViewFrom(point, t).obscuration; }

double DiscOverlap(double d, double rs, double rm)
{
    if (rs <= 0 || rm <= 0 || d >= rs + rm)
        return 0;
    if (d <= std::fabs(rs - rm))
        return rm >= rs ? 1.0 : (rm * rm) / (rs * rs);
    // Area of the lens of two intersecting circles.
    const double a = rs * rs * std::acos(std::clamp((d * d + rs * rs - rm * rm) / (2 * d * rs), -1.0, 1.0));
    const double b = rm * rm * std::acos(std::clamp((d * d + rm * rm - rs * rs) / (2 * d * rm), -1.0, 1.0));
    const double k = (-d + rs + rm) * (d + rs - rm) * (d - rs + rm) * (d + rs + rm);
    const double lens = a + b - 0.5 * std::sqrt(std::max(0.0, k));
    return std::clamp(lens / (kPi * rs * rs), 0.0, 1.0);
}

LocalEclipse FindLocalEclipse(GeoPoint point, Date date)
{
    const UtcSeconds dayStart = StartOfDay(date), dayEnd = dayStart + 86400;
    // The Moon gains at most about 15 degrees a day on the Sun: far from
    // new moon no eclipse can touch the searched window of two days.
    if (GeocentricElongation(dayStart + 43200) > 20)
        return {};
    const UtcSeconds from = dayStart - 43200, to = dayEnd + 43200;
    std::vector<double> sep;
    for (UtcSeconds t = from; t <= to; t += kScanStep)
        sep.push_back(ViewFrom(point, t).separation);
    for (std::size_t i = 1; i + 1 < sep.size(); ++i) {
        if (!(sep[i] <= sep[i - 1] && sep[i] < sep[i + 1]))
            continue;
        const UtcSeconds t = from + i * kScanStep;
        const UtcSeconds maximum = LeastSeparation(point, t - kScanStep, t + kScanStep);
        if (Outer(ViewFrom(point, maximum)) >= 0)
            continue;
        const LocalEclipse e = Circumstances(point, maximum);
        if (e.first.time < dayEnd && e.last.time >= dayStart)
            return e;
    }
    return {};
}

bool HasEclipse(GeoPoint point, Date date) { return FindLocalEclipse(point, date).kind != EclipseKind::None; }

namespace {

std::string ContactLine(const char* label, const Contact& c)
{
    char text[160];
    std::snprintf(text, sizeof text, "  %-15s %s  Sun altitude %.1f deg%s", label, FormatUtc(c.time).c_str(),
                  c.sunAltitude, c.visible() ? "" : ", below the horizon");
    return text;
}

const char* KindName(EclipseKind kind)
{
    switch (kind) {
    case EclipseKind::Partial: return "partial";
    case EclipseKind::Annular: return "annular";
    case EclipseKind::Total: return "total";
    case EclipseKind::None: break;
    }
    return "no";
}

}  // namespace

std::string FormatEclipseReport(std::string_view name, GeoPoint point, Date date, const LocalEclipse& e)
{
    std::string out = std::string(name) + " (" + FormatPoint(point) + "), " + FormatDate(date) + ": ";
    if (e.kind == EclipseKind::None)
        return out + "no solar eclipse at this point on this date\n";
    out += std::string(KindName(e.kind)) + " solar eclipse\n";
    out += ContactLine("First contact", e.first) + "\n";
    if (e.second)
        out += ContactLine("Second contact", *e.second) + "\n";
    // A partial phase that rounds to 100.0 % is still not total.
    double percent = std::round(e.obscuration * 1000) / 10;
    if (e.kind != EclipseKind::Total && percent >= 100.0)
        percent = 99.9;
    char tail[96];
    std::snprintf(tail, sizeof tail, "  obscuration %.1f %%, magnitude %.3f", percent, e.magnitude);
    out += ContactLine("Maximum", e.maximum) + tail + "\n";
    if (e.third)
        out += ContactLine("Third contact", *e.third) + "\n";
    out += ContactLine("Last contact", e.last) + "\n";
    return out;
}

}  // namespace zol::station
