// Disc geometry and local circumstances against published eclipse times.
#include "station/eclipse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace zol::station;

namespace {

constexpr GeoPoint kNashville{36.1627, -86.7816};

// Published times are given to the minute: the computed contact must lie
// within a minute of it.
void ExpectWithinMinute(UtcSeconds computed, int hour, int minute, Date date, const char* what)
{
    const UtcSeconds published = UtcFromCivil(date.year, date.month, date.day, hour, minute);
    EXPECT_LE(std::fabs(computed - published), 60.0)
        << what << ": " << FormatUtc(computed) << " against " << FormatUtc(published);
}

// Separation minus the sum or difference of the radii at a contact.
double OuterGap(GeoPoint p, UtcSeconds t)
{
    const SkyView v = ViewFrom(p, t);
    return v.separation - (v.sunRadius + v.moonRadius);
}
double InnerGap(GeoPoint p, UtcSeconds t)
{
    const SkyView v = ViewFrom(p, t);
    return v.separation - std::fabs(v.sunRadius - v.moonRadius);
}

}  // namespace

TEST(Obscuration, DiscGeometry)
{
    // Apart and touching from outside.
    EXPECT_EQ(DiscOverlap(2.5, 1, 1), 0);
    EXPECT_EQ(DiscOverlap(2.0, 1, 1), 0);
    EXPECT_GT(DiscOverlap(2.0 - 1e-6, 1, 1), 0);
    EXPECT_LT(DiscOverlap(2.0 - 1e-6, 1, 1), 1e-8);
    // Equal unit discs one radius apart overlap in a lens of
    // 2 pi/3 - sqrt(3)/2.
    EXPECT_NEAR(DiscOverlap(1, 1, 1), (2 * std::numbers::pi / 3 - std::sqrt(3.0) / 2) / std::numbers::pi, 1e-12);
    EXPECT_NEAR(DiscOverlap(0, 1, 1), 1, 1e-12);
    // Total: the larger Moon holds the Sun, up to the inner contact.
    EXPECT_EQ(DiscOverlap(0.0, 1.0, 1.05), 1);
    EXPECT_EQ(DiscOverlap(0.05, 1.0, 1.05), 1);
    EXPECT_LT(DiscOverlap(0.05 + 1e-6, 1.0, 1.05), 1);
    EXPECT_GT(DiscOverlap(0.05 + 1e-6, 1.0, 1.05), 1 - 1e-5);
    // Annular: the smaller Moon inside covers (Rm/Rs)^2, continuous at the
    // inner contact.
    EXPECT_DOUBLE_EQ(DiscOverlap(0.0, 1.0, 0.95), 0.9025);
    EXPECT_DOUBLE_EQ(DiscOverlap(0.05, 1.0, 0.95), 0.9025);
    EXPECT_NEAR(DiscOverlap(0.05 + 1e-7, 1.0, 0.95), 0.9025, 1e-6);
    // A small Moon on the Sun's edge covers half its own area.
    EXPECT_NEAR(DiscOverlap(1.0, 1.0, 0.001), 0.5 * 1e-6, 1e-9);
    // Less and less covered as the discs part, never out of 0..1.
    double previous = 1;
    for (double d = 0; d <= 2.1; d += 0.01) {
        const double f = DiscOverlap(d, 1.0, 1.02);
        EXPECT_LE(f, previous + 1e-12) << d;
        EXPECT_GE(f, 0);
        previous = f;
    }
    EXPECT_EQ(DiscOverlap(0, 0, 1), 0);
    EXPECT_EQ(DiscOverlap(0, 1, 0), 0);
}

TEST(LocalEclipse, Nashville2017Total)
{
    // 2017-08-21 at Nashville, Tennessee: first contact 16:58 UTC, totality
    // 18:27 to 18:29 UTC, last contact 19:54 UTC (NASA local circumstances).
    const Date date{2017, 8, 21};
    const LocalEclipse e = FindLocalEclipse(kNashville, date);
    ASSERT_EQ(e.kind, EclipseKind::Total);
    ExpectWithinMinute(e.first.time, 16, 58, date, "first contact");
    ExpectWithinMinute(e.last.time, 19, 54, date, "last contact");
    ASSERT_TRUE(e.second && e.third);
    EXPECT_GE(e.second->time, UtcFromCivil(2017, 8, 21, 18, 27));
    EXPECT_LT(e.second->time, UtcFromCivil(2017, 8, 21, 18, 28));
    EXPECT_GE(e.third->time, UtcFromCivil(2017, 8, 21, 18, 29));
    EXPECT_LT(e.third->time, UtcFromCivil(2017, 8, 21, 18, 30));
    EXPECT_GT(e.maximum.time, e.second->time);
    EXPECT_LT(e.maximum.time, e.third->time);
    EXPECT_EQ(e.obscuration, 1.0);
    EXPECT_GT(e.magnitude, 1.0);
    EXPECT_LT(e.magnitude, 1.03);
    for (const Contact& c : {e.first, *e.second, e.maximum, *e.third, e.last}) {
        EXPECT_TRUE(c.visible());
        EXPECT_GT(c.sunAltitude, 50);  // early afternoon in August
    }
    // The contacts are where the discs touch.
    EXPECT_NEAR(OuterGap(kNashville, e.first.time), 0, 1e-6);
    EXPECT_NEAR(OuterGap(kNashville, e.last.time), 0, 1e-6);
    EXPECT_NEAR(InnerGap(kNashville, e.second->time), 0, 1e-6);
    EXPECT_NEAR(InnerGap(kNashville, e.third->time), 0, 1e-6);
}

TEST(LocalEclipse, ObscurationThroughTheDayAtNashville)
{
    const LocalEclipse e = FindLocalEclipse(kNashville, {2017, 8, 21});
    ASSERT_EQ(e.kind, EclipseKind::Total);
    EXPECT_EQ(ObscurationAt(kNashville, e.first.time - 1), 0);
    EXPECT_GT(ObscurationAt(kNashville, e.first.time + 30), 0);
    EXPECT_EQ(ObscurationAt(kNashville, e.last.time + 1), 0);
    EXPECT_EQ(ObscurationAt(kNashville, e.second->time + 1), 1);
    EXPECT_EQ(ObscurationAt(kNashville, e.third->time - 1), 1);
    EXPECT_LT(ObscurationAt(kNashville, e.second->time - 1), 1);
    // Rising to totality and falling after it, by the minute.
    double previous = 0;
    for (UtcSeconds t = e.first.time; t < e.second->time; t += 60) {
        const double f = ObscurationAt(kNashville, t);
        EXPECT_GE(f, previous);
        previous = f;
    }
    previous = 1;
    for (UtcSeconds t = e.third->time; t < e.last.time; t += 60) {
        const double f = ObscurationAt(kNashville, t);
        EXPECT_LE(f, previous);
        previous = f;
    }
    const SkyView v = ViewFrom(kNashville, e.maximum.time);
    EXPECT_NEAR(v.sunRadius * 60, 15.8, 0.1);  // about 15'48" in August
    EXPECT_GT(v.moonRadius, v.sunRadius);
    EXPECT_NEAR(v.sunAltitude, e.maximum.sunAltitude, 1e-12);
}

TEST(LocalEclipse, Annular2023AtAlbuquerqueAndSanAntonio)
{
    // 2023-10-14, from NASA's table of local times for the annular eclipse:
    // Albuquerque, New Mexico: partial from 9:13 MDT, annular 10:34 to 10:39,
    // partial ends 12:09 MDT. San Antonio, Texas: 10:23 CDT, annular 11:52
    // to 11:56, ends 1:33 p.m. CDT.
    const Date date{2023, 10, 14};
    struct Place {
        const char* name;
        GeoPoint point;
        int first[2], second[2], third[2], last[2];
    } const places[] = {
        {"Albuquerque", {35.0844, -106.6504}, {15, 13}, {16, 34}, {16, 39}, {18, 9}},
        {"San Antonio", {29.4241, -98.4936}, {15, 23}, {16, 52}, {16, 56}, {18, 33}},
    };
    for (const Place& p : places) {
        SCOPED_TRACE(p.name);
        const LocalEclipse e = FindLocalEclipse(p.point, date);
        ASSERT_EQ(e.kind, EclipseKind::Annular);
        ASSERT_TRUE(e.second && e.third);
        ExpectWithinMinute(e.first.time, p.first[0], p.first[1], date, "first contact");
        ExpectWithinMinute(e.second->time, p.second[0], p.second[1], date, "second contact");
        ExpectWithinMinute(e.third->time, p.third[0], p.third[1], date, "third contact");
        ExpectWithinMinute(e.last.time, p.last[0], p.last[1], date, "last contact");
        // In the ring the Moon's whole disc lies on the Sun's.
        const SkyView v = ViewFrom(p.point, e.maximum.time);
        EXPECT_LT(v.moonRadius, v.sunRadius);
        EXPECT_NEAR(e.obscuration, std::pow(v.moonRadius / v.sunRadius, 2), 1e-12);
        EXPECT_GT(e.obscuration, 0.85);
        EXPECT_LT(e.obscuration, 0.95);
        EXPECT_NEAR(InnerGap(p.point, e.second->time), 0, 1e-6);
    }
}

TEST(LocalEclipse, Partial2024AtWashington)
{
    // 2024-04-08 at Washington, D.C. (NASA's times for the partial eclipse
    // there): begins 2:04 p.m. EDT, maximum 3:20 p.m. with 87.4 % of the Sun
    // covered, ends 4:32 p.m. EDT.
    const Date date{2024, 4, 8};
    const GeoPoint washington{38.8895, -77.0353};
    const LocalEclipse e = FindLocalEclipse(washington, date);
    ASSERT_EQ(e.kind, EclipseKind::Partial);
    EXPECT_FALSE(e.second || e.third);
    ExpectWithinMinute(e.first.time, 18, 4, date, "first contact");
    ExpectWithinMinute(e.maximum.time, 19, 20, date, "maximum");
    ExpectWithinMinute(e.last.time, 20, 32, date, "last contact");
    EXPECT_NEAR(e.obscuration, 0.874, 0.01);
    EXPECT_GT(e.magnitude, e.obscuration);  // the covered diameter exceeds the covered area
    EXPECT_LT(e.magnitude, 1);
}

TEST(LocalEclipse, DatesWithoutAnEclipseAtThePoint)
{
    // The day after; the next new moon (2017-09-20), which passes the Sun
    // far to the south; and the day of the eclipse where its shadow never went.
    EXPECT_EQ(FindLocalEclipse(kNashville, {2017, 8, 22}).kind, EclipseKind::None);
    EXPECT_EQ(FindLocalEclipse(kNashville, {2017, 8, 20}).kind, EclipseKind::None);
    EXPECT_FALSE(HasEclipse(kNashville, {2017, 9, 20}));
    EXPECT_FALSE(HasEclipse({-33.8688, 151.2093}, {2017, 8, 21}));  // Sydney
    EXPECT_TRUE(HasEclipse(kNashville, {2017, 8, 21}));
}

TEST(LocalEclipse, AnEclipseAcrossMidnightBelongsToBothDates)
{
    // 2016-03-09 in central Sulawesi: the partial phase begins at 23:28 UTC
    // on the 8th, totality is after midnight.
    const GeoPoint palu{-0.90, 119.87};
    const LocalEclipse before = FindLocalEclipse(palu, {2016, 3, 8});
    const LocalEclipse after = FindLocalEclipse(palu, {2016, 3, 9});
    ASSERT_EQ(before.kind, EclipseKind::Total);
    ASSERT_EQ(after.kind, EclipseKind::Total);
    EXPECT_DOUBLE_EQ(before.maximum.time, after.maximum.time);
    EXPECT_LT(before.first.time, StartOfDay({2016, 3, 9}));
    EXPECT_GT(before.second->time, StartOfDay({2016, 3, 9}));
    EXPECT_FALSE(HasEclipse(palu, {2016, 3, 10}));
    EXPECT_FALSE(HasEclipse(palu, {2016, 3, 7}));
}

TEST(LocalEclipse, ContactsBelowTheHorizonAreKeptAndMarked)
{
    // 2024-04-08 from London: the discs meet after sunset there.
    const GeoPoint london{51.5072, -0.1276};
    const LocalEclipse e = FindLocalEclipse(london, {2024, 4, 8});
    ASSERT_EQ(e.kind, EclipseKind::Partial);
    EXPECT_FALSE(e.first.visible());
    EXPECT_FALSE(e.maximum.visible());
    EXPECT_FALSE(e.last.visible());
    EXPECT_GT(e.first.sunAltitude, e.last.sunAltitude);  // setting
    const std::string report = FormatEclipseReport("Receiver", london, {2024, 4, 8}, e);
    std::size_t marks = 0;
    for (std::size_t at = report.find("below the horizon"); at != std::string::npos;
         at = report.find("below the horizon", at + 1))
        ++marks;
    EXPECT_EQ(marks, 3u) << report;
    // The 2015 eclipse ended at the North Pole with the equinox Sun on the
    // horizon: its rim is up (refraction), so the contacts count as visible.
    const LocalEclipse pole = FindLocalEclipse({90, 0}, {2015, 3, 20});
    ASSERT_EQ(pole.kind, EclipseKind::Total);
    EXPECT_NEAR(pole.maximum.sunAltitude, 0, 0.5);
    EXPECT_TRUE(pole.maximum.visible());
}

TEST(LocalEclipse, ReportText)
{
    const Date date{2017, 8, 21};
    const LocalEclipse e = FindLocalEclipse(kNashville, date);
    const std::string report = FormatEclipseReport("Midpoint", kNashville, date, e);
    const std::string lines[] = {
        "Midpoint (36.1627 N, 86.7816 W), 2017-08-21: total solar eclipse\n",
        "  First contact   " + FormatUtc(e.first.time) + "  Sun altitude ",
        "  Second contact  " + FormatUtc(e.second->time) + "  Sun altitude ",
        "  Maximum         " + FormatUtc(e.maximum.time) + "  Sun altitude ",
        "  obscuration 100.0 %, magnitude 1.0",
        "  Third contact   " + FormatUtc(e.third->time) + "  Sun altitude ",
        "  Last contact    " + FormatUtc(e.last.time) + "  Sun altitude ",
    };
    std::size_t at = 0;
    for (const std::string& line : lines) {
        const std::size_t found = report.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << "\nin\n" << report;
        at = found + line.size();
    }
    EXPECT_EQ(report.find("below"), std::string::npos);
    EXPECT_EQ(FormatEclipseReport("Receiver", {52.5, 5.0}, {2017, 8, 22}, FindLocalEclipse({52.5, 5.0}, {2017, 8, 22})),
              "Receiver (52.5000 N, 5.0000 E), 2017-08-22: no solar eclipse at this point on this date\n");
    // A deep partial phase never reads as 100 %.
    LocalEclipse deep = FindLocalEclipse({38.8895, -77.0353}, {2024, 4, 8});
    deep.obscuration = 0.9996;
    EXPECT_NE(FormatEclipseReport("Midpoint", {}, {2024, 4, 8}, deep).find("obscuration 99.9 %"), std::string::npos);
}
