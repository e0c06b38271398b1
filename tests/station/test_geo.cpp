// Locators, coordinates and the path midpoint.
#include "station/geo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace zol::station;

namespace {

void ExpectPoint(const Parsed<GeoPoint>& p, double lat, double lon, const char* text)
{
    ASSERT_TRUE(p) << text << ": " << p.error;
    EXPECT_TRUE(p.error.empty());
    EXPECT_NEAR(p.value->latitude, lat, 1e-9) << text;
    EXPECT_NEAR(p.value->longitude, lon, 1e-9) << text;
}

void ExpectRefused(const Parsed<GeoPoint>& p, const std::string& part, const char* text)
{
    EXPECT_FALSE(p) << text;
    EXPECT_NE(p.error.find(part), std::string::npos) << text << ": " << p.error;
}

}  // namespace

TEST(Locator, CentreOfTheNamedSquare)
{
    // Field J,O: 0..20 E, 50..60 N; square 2,2: 4..6 E, 52..53 N.
    ExpectPoint(ParseLocator("JO22"), 52.5, 5.0, "JO22");
    ExpectPoint(ParseLocator("jo22"), 52.5, 5.0, "jo22");
    ExpectPoint(ParseLocator("JO"), 55.0, 10.0, "JO");
    // I,O: 20 W..0, 50..60 N; 9,1: 2..0 W, 51..52 N; w,m: 22 x 5', 12 x 2.5'.
    ExpectPoint(ParseLocator("IO91wm"), 51.5 + 1.25 / 60, -2 + 22 * 5.0 / 60 + 2.5 / 60, "IO91wm");
    ExpectPoint(ParseLocator(" IO91WM\t"), 51.5 + 1.25 / 60, -2 + 22 * 5.0 / 60 + 2.5 / 60, "trimmed");
    ExpectPoint(ParseLocator("JN58td25"), 48 + 3 * 2.5 / 60 + 5 * 0.25 / 60 + 0.125 / 60,
                10 + 19 * 5.0 / 60 + 2 * 0.5 / 60 + 0.25 / 60, "JN58td25");
    // The two extreme corners of the grid.
    ExpectPoint(ParseLocator("AA00aa00"), -90 + 0.125 / 60, -180 + 0.25 / 60, "AA00aa00");
    ExpectPoint(ParseLocator("RR99XX99"), 90 - 0.125 / 60, 180 - 0.25 / 60, "RR99XX99");
}

TEST(Locator, BadTextIsRefusedWithTheReason)
{
    ExpectRefused(ParseLocator(""), "2, 4, 6 or 8 characters", "empty");
    ExpectRefused(ParseLocator("JO2"), "2, 4, 6 or 8 characters", "JO2");
    ExpectRefused(ParseLocator("JO22abc"), "2, 4, 6 or 8 characters", "7 characters");
    ExpectRefused(ParseLocator("SA00"), "character 1 'S' must be a letter A to R", "SA00");
    ExpectRefused(ParseLocator("JOA2"), "character 3 'A' must be a digit", "JOA2");
    ExpectRefused(ParseLocator("IO91wz"), "character 6 'z' must be a letter A to X", "IO91wz");
    ExpectRefused(ParseLocator("IO91w1"), "character 6", "IO91w1");
    ExpectRefused(ParseLocator("IO91wm2x"), "character 8 'x' must be a digit", "IO91wm2x");
    ExpectRefused(ParseLocator("J 22"), "character 2", "blank inside");
}

TEST(Coordinates, SignsAndHemispheres)
{
    const auto lat = [](const char* t) { return ParseLatitude(t); };
    const auto lon = [](const char* t) { return ParseLongitude(t); };
    EXPECT_DOUBLE_EQ(*lat("52.1 N").value, 52.1);
    EXPECT_DOUBLE_EQ(*lat("52.1n").value, 52.1);
    EXPECT_DOUBLE_EQ(*lat("33.9S").value, -33.9);
    EXPECT_DOUBLE_EQ(*lat("-0.12").value, -0.12);
    EXPECT_DOUBLE_EQ(*lat("+45").value, 45);
    EXPECT_DOUBLE_EQ(*lat(".5").value, 0.5);
    EXPECT_DOUBLE_EQ(*lat("90").value, 90);
    EXPECT_DOUBLE_EQ(*lat(" 12. ").value, 12);
    EXPECT_DOUBLE_EQ(*lon("4.3E").value, 4.3);
    EXPECT_DOUBLE_EQ(*lon("0.12 W").value, -0.12);
    EXPECT_DOUBLE_EQ(*lon("-180").value, -180);
    EXPECT_DOUBLE_EQ(*lon("180 e").value, 180);

    const auto refused = [](const Parsed<double>& p, const char* part) {
        EXPECT_FALSE(p) << part;
        EXPECT_NE(p.error.find(part), std::string::npos) << p.error;
    };
    refused(lat("90.0001"), "out of range");
    refused(lat("95 N"), "out of range");
    refused(lon("180.5 W"), "out of range");
    refused(lat("-52 S"), "not both");
    refused(lat("52 E"), "not a latitude hemisphere");
    refused(lon("10 N"), "not a longitude hemisphere");
    refused(lat("abc"), "not a decimal number");
    refused(lat("-"), "not a decimal number");
    refused(lat("52..1"), "unexpected");
    refused(lat("52.1 NN"), "unexpected");
    refused(lat("1e3"), "unexpected");
    refused(lat(""), "no latitude");
}

TEST(Coordinates, LocationIsALocatorOrAPair)
{
    ExpectPoint(ParseLocation("36.1627 N, 86.7816 W"), 36.1627, -86.7816, "comma");
    ExpectPoint(ParseLocation("51.5 -0.12"), 51.5, -0.12, "blank");
    ExpectPoint(ParseLocation("52.1 N 0.12 W"), 52.1, -0.12, "letters apart");
    ExpectPoint(ParseLocation("-33.9;151.2"), -33.9, 151.2, "semicolon");
    ExpectPoint(ParseLocation("86.7816W 36.1627N"), 36.1627, -86.7816, "longitude first");
    ExpectPoint(ParseLocation("jo22"), 52.5, 5.0, "locator");
    ExpectRefused(ParseLocation("1, 2, 3"), "neither a locator", "three");
    ExpectRefused(ParseLocation("52.1"), "neither a locator", "one");
    ExpectRefused(ParseLocation("95, 10"), "latitude \"95\" is out of range", "range");
    ExpectRefused(ParseLocation("10 E, 20 N 5"), "", "too many");
    ExpectRefused(ParseLocation("IO91xz"), "character 6", "bad locator");
    ExpectRefused(ParseLocation("  "), "no location", "blank");
    EXPECT_EQ(FormatPoint({36.1627, -86.7816}), "36.1627 N, 86.7816 W");
    EXPECT_EQ(FormatPoint({-33.86786, 151.20732}), "33.8679 S, 151.2073 E");
}

TEST(Midpoint, HalfwayAlongTheGreatCircle)
{
    // 45 N on the meridians 0 and 90 E: unit vectors (1,0,1)/sqrt2 and
    // (0,1,1)/sqrt2 sum to (1,1,2)/sqrt2: longitude 45, latitude atan(sqrt 2).
    auto m = GreatCircleMidpoint({45, 0}, {45, 90});
    ASSERT_TRUE(m);
    EXPECT_NEAR(m->latitude, std::atan(std::sqrt(2.0)) * 180 / std::numbers::pi, 1e-9);
    EXPECT_NEAR(m->latitude, 54.7356103, 1e-6);
    EXPECT_NEAR(m->longitude, 45, 1e-9);
    // Along the equator, and across the date line (not through Greenwich).
    m = GreatCircleMidpoint({0, 0}, {0, 90});
    EXPECT_NEAR(m->latitude, 0, 1e-9);
    EXPECT_NEAR(m->longitude, 45, 1e-9);
    m = GreatCircleMidpoint({10, 170}, {10, -170});
    EXPECT_NEAR(std::fabs(m->longitude), 180, 1e-9);
    EXPECT_GT(m->latitude, 10);  // a great circle bulges poleward
    // Over the pole.
    m = GreatCircleMidpoint({80, 0}, {80, 180});
    EXPECT_NEAR(m->latitude, 90, 1e-9);
    // Antipodes have no single midpoint; one point is its own.
    EXPECT_FALSE(GreatCircleMidpoint({30, 20}, {-30, -160}));
    m = GreatCircleMidpoint({-12.5, 130}, {-12.5, 130});
    EXPECT_NEAR(m->latitude, -12.5, 1e-9);
    EXPECT_NEAR(m->longitude, 130, 1e-9);

    // The midpoint of a real path halves its length.
    const GeoPoint tx = *ParseLocator("IO91wm").value, rx = *ParseLocator("JN58td").value;
    m = GreatCircleMidpoint(tx, rx);
    const double whole = GreatCircleDistanceKm(tx, rx);
    EXPECT_NEAR(GreatCircleDistanceKm(tx, *m), whole / 2, 1e-6);
    EXPECT_NEAR(GreatCircleDistanceKm(*m, rx), whole / 2, 1e-6);
    // A quarter of the mean circumference.
    EXPECT_NEAR(GreatCircleDistanceKm({0, 0}, {0, 90}), std::numbers::pi / 2 * 6371.0088, 1e-6);
}
