// The Sun, the Moon and nutation against the worked examples of J. Meeus,
// Astronomical Algorithms (2nd ed.): a wrong or missing series term shows
// in the last digits given there.
#include "station/ephemeris.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace zol::station;

namespace {

constexpr double kDeg = 180 / std::numbers::pi;
constexpr double kArcsec = kDeg * 3600;

double Centuries(double jde) { return (jde - 2451545.0) / 36525; }
double Degrees360(double radians) { return std::fmod(std::fmod(radians * kDeg, 360) + 360, 360); }

}  // namespace

TEST(Ephemeris, NutationAndObliquityOfExample22a)
{
    // 1987 April 10, 0h TD.
    const double T = Centuries(2446895.5);
    const Nutation n = NutationAt(T);
    // The full series gives -3.788" and +9.443"; the short one is good to
    // 0.5" and 0.1".
    EXPECT_NEAR(n.longitude * kArcsec, -3.788, 0.5);
    EXPECT_NEAR(n.obliquity * kArcsec, 9.443, 0.1);
    EXPECT_NEAR(MeanObliquity(T) * kArcsec, (23 * 60 + 26) * 60 + 27.407, 0.001);
}

TEST(Ephemeris, SunOfExample25b)
{
    // 1992 October 13, 0h TD, from the VSOP87 terms of Appendix III.
    const double T = Centuries(2448908.5);
    const EclipticPosition earth = EarthHeliocentric(T);
    EXPECT_NEAR(Degrees360(earth.longitude), 19.907372, 2e-6);
    EXPECT_NEAR(earth.latitude * kDeg, -0.000179, 1e-6);
    EXPECT_NEAR(earth.distanceKm / kAstronomicalUnitKm, 0.99760775, 2e-8);
    // Apparent longitude 199 deg 54' 21.818" (the example's full nutation
    // differs from the short series by 0.12").
    const EclipticPosition sun = SunApparent(T, NutationAt(T));
    EXPECT_NEAR(Degrees360(sun.longitude) * 3600, (199 * 60 + 54) * 60 + 21.818, 0.3);
    EXPECT_NEAR(sun.latitude * kArcsec, 0.62, 0.05);
    EXPECT_DOUBLE_EQ(sun.distanceKm, earth.distanceKm);
}

TEST(Ephemeris, MoonOfExample47a)
{
    // 1992 April 12, 0h TD.
    const double T = Centuries(2448724.5);
    const EclipticPosition geometric = MoonApparent(T, Nutation{0, 0});
    EXPECT_NEAR(Degrees360(geometric.longitude), 133.162655, 2e-6);
    EXPECT_NEAR(geometric.latitude * kDeg, -3.229126, 2e-6);
    EXPECT_NEAR(geometric.distanceKm, 368409.7, 0.1);
    // With nutation (the example's delta psi is +0.004610 deg).
    const EclipticPosition apparent = MoonApparent(T, NutationAt(T));
    EXPECT_NEAR(Degrees360(apparent.longitude), 133.167265, 0.5 / 3600);
    EXPECT_DOUBLE_EQ(apparent.latitude, geometric.latitude);
}

TEST(Ephemeris, NewMoonsLineUpWithTheSun)
{
    // At the instants of the new moons of 2017-08-21 (18:30 UTC) and
    // 2024-04-08 (18:21 UTC) the geocentric longitudes agree within the
    // Moon's motion of a minute or two (about 1').
    for (double jdUt : {2457987.2708, 2460409.2646}) {
        const double T = Centuries(jdUt + 69.0 / 86400);
        const Nutation n = NutationAt(T);
        const double gap = std::remainder(MoonApparent(T, n).longitude - SunApparent(T, n).longitude,
                                          2 * std::numbers::pi);
        EXPECT_LT(std::fabs(gap * kDeg), 1.5 / 60) << jdUt;
    }
}
