// The eclipse at the path's midpoint: the trace's values and their cache,
// the path's ends in zol.ini, the --eclipse report, the times of restored
// chart steps, and the third trace of both charts in a running window.
#include "app/cmdline.h"
#include "app/eclipsepath.h"
#include "app/eclipsetrace.h"
#include "app/inifile.h"
#include "app/logfiles.h"
#include "app/zolu.h"
#include "displays/scope.h"
#include "platform/mixerbackend.h"
#include "platform/wavein_device.h"
#include "platform/wavein_sources.h"
#include "tests/support/file_support.h"
#include "tests/support/test_support.h"
#include "tests/support/window_test.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zol;
using namespace zol::station;

namespace {

using test::WriteAll;

// A path whose midpoint (36.90 N, 93.55 W) saw 98 % on 2024-04-08, about
// 18:54 UTC, and whose receiver saw totality.
const GeoPoint kReceiver{32.9792, -97.125};
const GeoPoint kTransmitter{40.7, -89.6};

const QByteArray kSettings = "[ZOLPARAMS]\r\nBASEGAIN=3\r\nTHRESHOLD=30\r\nDBCALIBRATE=35\r\nCALIBRATED=0\r\n";

qint64 UtcMs(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC).toMSecsSinceEpoch();
}

// A measure.txt line written at a UTC instant, in the machine's local time.
QByteArray MeasureLineAt(qint64 utcMs, int mean, int minimum, bool first = false)
{
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(utcMs, Qt::UTC).toLocalTime();
    return MeasureLine(first ? '*' : ' ', local.toString("HH:mm:ss"), local.toString("dd.MM.yy"), mean, minimum)
               .toLatin1() +
           "\r\n";
}

}  // namespace

TEST(EclipseTrace, ObscurationAtTheMidpointIsCachedPerDayAndAbsentWithoutAnEclipse)
{
    TEclipseTrace trace(kReceiver, kTransmitter);
    ASSERT_TRUE(trace.Midpoint().has_value());
    EXPECT_NEAR(trace.Midpoint()->latitude, 36.899, 0.01);
    EXPECT_NEAR(trace.Midpoint()->longitude, -93.553, 0.01);

    const LocalEclipse& e = trace.EclipseOn({2024, 4, 8});
    ASSERT_EQ(e.kind, EclipseKind::Partial);
    EXPECT_EQ(trace.DaysSearched(), 1);
    // At maximum the trace reads what the local circumstances say; before
    // first and after last contact it reads 0, and on the eclipse's day only.
    const auto atMax = trace.ObscurationPercent(e.maximum.time);
    ASSERT_TRUE(atMax.has_value());
    EXPECT_NEAR(*atMax, e.obscuration * 100, 1e-6);
    EXPECT_GT(*atMax, 95);
    EXPECT_EQ(trace.ObscurationPercent(e.first.time - 60), 0.0);
    EXPECT_EQ(trace.ObscurationPercent(e.last.time + 60), 0.0);
    const auto early = trace.ObscurationPercent(e.first.time + 1800);
    ASSERT_TRUE(early.has_value());
    EXPECT_GT(*early, 5);
    EXPECT_LT(*early, *atMax);
    // A whole day of steps searched the date once.
    for (double t = StartOfDay({2024, 4, 8}); t < StartOfDay({2024, 4, 9}); t += 300)
        trace.ObscurationPercent(t);
    EXPECT_EQ(trace.DaysSearched(), 1);
    EXPECT_FALSE(trace.ObscurationPercent(UtcFromCivil(2024, 4, 9, 18)).has_value());
    EXPECT_FALSE(trace.ObscurationPercent(UtcFromCivil(2026, 8, 12, 17)).has_value());
    EXPECT_EQ(trace.DaysSearched(), 3);
    trace.ObscurationPercent(UtcFromCivil(2024, 4, 8, 19));
    EXPECT_EQ(trace.DaysSearched(), 3);  // still among the last ones

    EXPECT_EQ(ObscurationPosition(std::nullopt), std::nullopt);
    EXPECT_EQ(ObscurationPosition(49.5), 50);  // halves to even
    EXPECT_EQ(ObscurationPosition(50.5), 50);
    EXPECT_EQ(ObscurationPosition(100.0), 100);

    // Antipodal ends have no midpoint and no trace.
    TEclipseTrace antipodal({10, 20}, {-10, -160});
    EXPECT_FALSE(antipodal.Midpoint().has_value());
    EXPECT_FALSE(antipodal.ObscurationPercent(UtcFromCivil(2024, 4, 8, 18)).has_value());
}

TEST(EclipsePath, EndsFromTheStationSectionAndTheReport)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath("zol.ini");
    WriteAll(ini, "[ZOLPARAMS]\r\nBASEGAIN=3\r\n[station]\r\nlocator=EM12kx\r\nTXLATITUDE=40.7 N\r\n"
                  "TXLONGITUDE=89.6 W\r\nTXLOCATOR=JO22\r\n");
    TPathEnds ends = ReadPathEnds(TIniFile(ini));
    ASSERT_TRUE(ends.receiver && ends.transmitter);
    EXPECT_NEAR(ends.receiver->latitude, 32.979, 0.001);
    // Coordinates take the locator's place.
    EXPECT_NEAR(ends.transmitter->longitude, -89.6, 1e-9);
    EXPECT_TRUE(ends.problems.isEmpty() && ends.receiverProblems.isEmpty());

    const TEclipseReport report = EclipseReport(ends, "2024-04-08", ini);
    EXPECT_TRUE(report.error.isEmpty());
    EXPECT_TRUE(report.text.startsWith("Path: receiver 32.9792 N, 97.1250 W, transmitter 40.7000 N, 89.6000 W"))
        << report.text.toStdString();
    EXPECT_TRUE(report.text.contains("Midpoint (36.89")) << report.text.toStdString();
    EXPECT_TRUE(report.text.contains("partial solar eclipse"));
    EXPECT_TRUE(report.text.contains("Receiver (32.9792 N, 97.1250 W), 2024-04-08: total solar eclipse"));
    EXPECT_EQ(report.text.count("First contact"), 2);
    EXPECT_EQ(report.text.count("Last contact"), 2);
    const TEclipseReport none = EclipseReport(ends, "2024-04-09", ini);
    EXPECT_EQ(none.text.count("no solar eclipse at this point on this date"), 2);
    EXPECT_FALSE(EclipseReport(ends, "2024-04-31", ini).error.isEmpty());
    EXPECT_FALSE(EclipseReport(ends, "yesterday", ini).error.isEmpty());

    // An unusable value is named and left out; a missing end is said.
    WriteAll(ini, "[STATION]\r\nLOCATOR=EM12kx\r\nTXLOCATOR=ZZ99\r\nTXLATITUDE=40.7 N\r\n");
    ends = ReadPathEnds(TIniFile(ini));
    EXPECT_TRUE(ends.receiver.has_value());
    EXPECT_FALSE(ends.transmitter.has_value());
    ASSERT_EQ(ends.problems.size(), 2) << ends.problems.join("\n").toStdString();
    EXPECT_TRUE(ends.problems[0].startsWith("zol.ini [STATION] TXLOCATOR=ZZ99 is not used"));
    EXPECT_TRUE(ends.problems[1].contains("TXLONGITUDE"));
    const TEclipseReport missing = EclipseReport(ends, "2024-04-08", ini);
    EXPECT_TRUE(missing.text.isEmpty());
    EXPECT_TRUE(missing.error.contains("the transmitter's position")) << missing.error.toStdString();
    EXPECT_FALSE(missing.error.contains("the receiver's position"));
    EXPECT_TRUE(missing.error.contains(ini));
    // No file at all: both ends are missing.
    const TEclipseReport nothing = EclipseReport(ReadPathEnds(TIniFile(dir.filePath("none.ini"))), "2024-04-08", ini);
    EXPECT_TRUE(nothing.error.contains("the receiver's position"));

    TOptions options = ParseCommandLine({"--eclipse", "2024-04-08", "--workdir", "/tmp/x"});
    EXPECT_TRUE(options.error.isEmpty());
    EXPECT_EQ(options.eclipse, "2024-04-08");
    EXPECT_EQ(ParseCommandLine({"--eclipse=2017-08-21"}).eclipse, "2017-08-21");
    EXPECT_FALSE(ParseCommandLine({"--eclipse"}).error.isEmpty());
}

TEST(EclipsePath, RestoredStepsTakeTheirTimesFromMeasureLines)
{
    const qint64 t = UtcMs(2024, 4, 8, 18, 30, 5);
    const QByteArray line = MeasureLineAt(t, 35, 30);
    EXPECT_EQ(MeasureLineUtcMs(line.constData(), 25), t);
    EXPECT_EQ(MeasureLineUtcMs("*,25:00:00,08/04/24,35,30", 25), kNoTime);
    EXPECT_EQ(MeasureLineUtcMs("*,12:00:00,31/02/24,35,30", 25), kNoTime);
    EXPECT_EQ(MeasureLineUtcMs("*,12-00-00,08/04/24,35,30", 25), kNoTime);
    EXPECT_EQ(MeasureLineUtcMs("*,12:00:00", 10), kNoTime);

    QTemporaryDir dir;
    const QString path = dir.filePath("measure.txt");
    QByteArray log;
    for (int i = 0; i < 5 * 13 + 3; ++i)
        log += MeasureLineAt(t + i * 1000LL, 30, 0, i == 0);
    log.insert(27 * 7, "junk\r\n");  // skipped, as in the chart
    WriteAll(path, log);
    const THistory groups = ReadMeasureHistory(path, 100, 1);
    ASSERT_EQ(groups.steps.size(), 13u);
    EXPECT_EQ(groups.steps[0].utcMs, t + 4000);  // a group's time is its fifth line's
    EXPECT_EQ(groups.steps[12].utcMs, t + 64000);

    // Thirty-second windows end with every sixth group, counted from the last.
    const std::vector<qint64> windows = WindowTimes(groups, 4);
    ASSERT_EQ(windows.size(), 4u);
    EXPECT_EQ(windows[3], t + 64000);
    EXPECT_EQ(windows[2], t + 34000);
    EXPECT_EQ(windows[1], t + 4000);
    EXPECT_EQ(windows[0], kNoTime);  // older than measure.txt reaches
    EXPECT_TRUE(WindowTimes(THistory{}, 2) == std::vector<qint64>(2, kNoTime));
}

namespace {

class EclipseWindowTest : public test::WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        platform::SetWaveInBackend(platform::MakeSimReceiverBackend());
    }
    TMainForm& Open() { return OpenForm(); }
    // Logs of ten minutes from 18:00 UTC on the eclipse's day.
    void WriteLogs()
    {
        QByteArray measure, scope2;
        for (int i = 0; i < 600; ++i)
            measure += MeasureLineAt(kStart + i * 1000LL, 40, 30, i == 0);
        for (int i = 0; i < 20; ++i)
            scope2 += "30,40\r\n";
        WriteAll(dir.filePath("measure.txt"), measure);
        WriteAll(dir.filePath("scope2.txt"), scope2);
    }
    // Columns of the picture that hold the third trace.
    static int TraceColumns(const TScope& s)
    {
        const QImage& p = s.Picture();
        const QRgb c = s.LinecolorC().rgb();
        int columns = 0;
        for (int x = 0; x < p.width(); ++x) {
            bool any = false;
            for (int y = 0; y < p.height() && !any; ++y)
                any = p.pixel(x, y) == c;
            columns += any;
        }
        return columns;
    }
    // Whether column x holds the trace within a row of the obscuration's.
    static bool TraceNear(const TScope& s, int x, double percent)
    {
        const int y = s.YOf(*ObscurationPosition(percent));
        for (int dy = -1; dy <= 1; ++dy)
            if (y + dy >= 0 && y + dy < s.Picture().height() && s.Picture().pixel(x, y + dy) == s.LinecolorC().rgb())
                return true;
        return false;
    }

    static constexpr qint64 kStart = 1712599200000;  // 2024-04-08 18:00:00 UTC
};

}  // namespace

TEST_F(EclipseWindowTest, BothChartsDrawTheTraceForRestoredAndLiveSteps)
{
    ASSERT_EQ(kStart, UtcMs(2024, 4, 8, 18, 0, 0));
    WriteAll(dir.filePath("zol.ini"), kSettings + "[STATION]\r\nLOCATOR=EM12kx\r\nTXLATITUDE=40.7 N\r\nTXLONGITUDE=89.6 W\r\n");
    WriteLogs();
    // The run goes on where the logs end.
    test::Sim().SetWallTime(QDateTime::fromMSecsSinceEpoch(kStart + 600000, Qt::UTC).toLocalTime());
    TMainForm& f = Open();
    test::Sim().AdvanceMs(2500);
    ASSERT_TRUE(f.Eclipse != nullptr);
    EXPECT_TRUE(errors.Messages().isEmpty()) << errors.Messages().join("\n").toStdString();
    TEclipseTrace check(kReceiver, kTransmitter);
    const int w1 = f.Scope1->Picture().width();
    // 120 restored steps of the 5-second chart, each 2 pixels; its newest at
    // the right edge is the group ending 18:09:59, the one 60 steps before
    // it ends at 18:04:59.
    EXPECT_GE(TraceColumns(*f.Scope1), 238);
    EXPECT_LE(TraceColumns(*f.Scope1), 244);
    EXPECT_TRUE(TraceNear(*f.Scope1, w1 - 1, *check.ObscurationPercent((kStart + 599000) / 1000.0)));
    EXPECT_TRUE(TraceNear(*f.Scope1, w1 - 1 - 120, *check.ObscurationPercent((kStart + 299000) / 1000.0)));
    // The 30-second chart: 20 steps, the newest at 18:09:59, the second at 18:00:59.
    const int w2 = f.Scope2->Picture().width();
    EXPECT_GE(TraceColumns(*f.Scope2), 38);
    EXPECT_LE(TraceColumns(*f.Scope2), 44);
    EXPECT_TRUE(TraceNear(*f.Scope2, w2 - 1, *check.ObscurationPercent((kStart + 599000) / 1000.0)));
    // (The first step's point lies under the signal traces rising from the baseline.)
    EXPECT_TRUE(TraceNear(*f.Scope2, w2 - 1 - 36, *check.ObscurationPercent((kStart + 59000) / 1000.0)));
    ASSERT_TRUE(f.Scope1->TraceCShown() && f.Scope2->TraceCShown());

    // Live: a minute later the newest steps follow the rising obscuration.
    test::Sim().AdvanceMs(35000);
    const double now = static_cast<double>(test::Sim().WallTime().toMSecsSinceEpoch()) / 1000.0;
    EXPECT_GE(TraceColumns(*f.Scope1), 238 + 12);
    EXPECT_TRUE(TraceNear(*f.Scope1, w1 - 1, *check.ObscurationPercent(now)) ||
                TraceNear(*f.Scope1, w1 - 1, *check.ObscurationPercent(now - 5)));
    EXPECT_GE(TraceColumns(*f.Scope2), 40);
    EXPECT_TRUE(TraceNear(*f.Scope2, w2 - 1, *check.ObscurationPercent(now)) ||
                TraceNear(*f.Scope2, w2 - 1, *check.ObscurationPercent(now - 30)));
}

TEST_F(EclipseWindowTest, NoTraceWithoutBothEndsOrOnADayWithoutAnEclipse)
{
    // A transmitter that cannot be used is reported; the charts have no trace.
    WriteAll(dir.filePath("zol.ini"), kSettings + "[STATION]\r\nLOCATOR=EM12kx\r\nTXLOCATOR=EN5\r\n");
    WriteLogs();
    test::Sim().SetWallTime(QDateTime::fromMSecsSinceEpoch(kStart + 600000, Qt::UTC).toLocalTime());
    TMainForm& f = Open();
    test::Sim().AdvanceMs(3000);
    EXPECT_TRUE(f.Eclipse == nullptr);
    ASSERT_EQ(errors.Messages().size(), 1) << errors.Messages().join("\n").toStdString();
    EXPECT_TRUE(errors.Messages()[0].contains("TXLOCATOR=EN5 is not used"));
    EXPECT_EQ(TraceColumns(*f.Scope1), 0);
    EXPECT_EQ(TraceColumns(*f.Scope2), 0);
    form->close();
    test::Sim().Settle();
    form.reset();

    // Both ends, but the run's day (the simulated clock's) has no eclipse at
    // the midpoint: the restored part has the trace, the new steps none.
    WriteAll(dir.filePath("zol.ini"), kSettings + "[STATION]\r\nLOCATOR=EM12kx\r\nTXLOCATOR=EN50\r\n");
    test::ResetSim();
    Open();
    test::Sim().AdvanceMs(2500);
    const int restored = TraceColumns(*form->Scope1);
    EXPECT_GT(restored, 200);
    test::Sim().AdvanceMs(20000);
    // The restored trace ends with its last segment (one more column), and
    // the live steps after it have none.
    EXPECT_LE(TraceColumns(*form->Scope1), restored + 1);
    const int w = form->Scope1->Picture().width();
    for (int x = w - 6; x < w; ++x)
        for (int y = 0; y < form->Scope1->Picture().height(); ++y)
            ASSERT_NE(form->Scope1->Picture().pixel(x, y), form->Scope1->LinecolorC().rgb()) << x << "," << y;
}
