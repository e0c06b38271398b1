// A station's additions to a run of the window, in simulated time: the band
// chosen at start and the pictures of the window.
#include "app/datafile.h"
#include "app/eclipsetrace.h"
#include "app/snapshot.h"
#include "app/stationrun.h"
#include "app/zolu.h"
#include "chain/equalizer.h"
#include "displays/ledpanel.h"
#include "displays/scope.h"
#include "platform/mixerbackend.h"
#include "platform/simgain.h"
#include "platform/wavein_device.h"
#include "platform/wavein_sources.h"
#include "tests/support/file_support.h"
#include "tests/support/full_disk.h"
#include "tests/support/test_support.h"
#include "tests/support/window_test.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace zol;

namespace {

using test::ReadAll;
using test::Tone;

QList<QByteArray> DataRows(const QString& path)
{
    QList<QByteArray> rows;
    for (QByteArray line : ReadAll(path).split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty() && !line.startsWith('#'))
            rows << line;
    }
    return rows;
}

qint64 RowTime(const QByteArray& row)
{
    return QDateTime::fromString(QString::fromLatin1(row.left(24)), Qt::ISODateWithMs).toMSecsSinceEpoch();
}

class StationRunTest : public test::WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        platform::SetWaveInBackend(platform::MakeSimReceiverBackend());
    }
    void TearDown() override
    {
        station.reset();
        WindowTest::TearDown();
    }
    TMainForm& Open(TOptions options)
    {
        options.workdir = dir.path();
        form = std::make_unique<TMainForm>(options);
        station = std::make_unique<TStationRun>(*form, options);
        form->show();
        form->FormCreate();
        station->Started();
        return *form;
    }
    // The readings of the LED read-out, one per 100 ms from `fromS` to `toS`.
    QList<int> Readings(int fromS, int toS)
    {
        QList<int> readings;
        test::Sim().AdvanceMs(fromS * 1000 - test::Sim().NowUs() / 1000);
        while (test::Sim().NowUs() < toS * 1000000LL) {
            test::Sim().AdvanceMs(100);
            readings << form->D1->Value();
        }
        return readings;
    }

    std::unique_ptr<TStationRun> station;
};

}  // namespace

TEST_F(StationRunTest, TheBandChosenAtStartReadsItsToneAtTheFiltersLevel)
{
    // An 800 Hz tone 20.5 dB below full scale: 20 through the 700-900 Hz
    // filter, far weaker through the 550-750 Hz one the window starts with.
    const double peak = 32768.0 * std::pow(10.0, -20.5 / 20.0);
    UseWav(Tone(800, peak, 30));
    TOptions options;
    options.band = bd700_900;
    TMainForm& f = Open(options);
    EXPECT_TRUE(f.filt2->isChecked());
    EXPECT_FALSE(f.Filt1->isChecked());
    EXPECT_TRUE(f.MMEqualizer2->Enabled());
    EXPECT_FALSE(f.MMEqualizer1->Enabled());
    EXPECT_EQ(f.Panel2->x(), 554);  // the marker line moved with it
    const QList<int> readings = Readings(4, 28);
    ASSERT_FALSE(readings.isEmpty());
    for (int r : readings)
        EXPECT_EQ(r, 20);
    EXPECT_TRUE(errors.Messages().isEmpty()) << errors.Messages().join("; ").toStdString();
}

TEST_F(StationRunTest, TheDefaultBandLeavesTheWindowAsItStarts)
{
    const double peak = 32768.0 * std::pow(10.0, -20.5 / 20.0);
    UseWav(Tone(800, peak, 30));
    TMainForm& f = Open(TOptions{});
    EXPECT_TRUE(f.Filt1->isChecked());
    EXPECT_TRUE(f.MMEqualizer1->Enabled());
    EXPECT_EQ(f.Panel2->x(), 549);
    for (int r : Readings(4, 28))
        EXPECT_GE(r, 25);
}

TEST_F(StationRunTest, PicturesHaveTheWindowsSizeAndTheChartsPixels)
{
    TOptions options;
    options.snapshotEvery = 1;
    TMainForm& f = Open(options);
    ASSERT_NE(station->Pictures(), nullptr);
    // One at the end of the first minute, none before.
    const auto pictures = [&] { return QDir(dir.path()).entryList({"zol-*.png"}, QDir::Files, QDir::Name); };
    test::Sim().AdvanceMs(59 * 1000);
    EXPECT_TRUE(pictures().isEmpty());
    test::Sim().AdvanceMs(1500);
    ASSERT_EQ(pictures().size(), 1) << pictures().join(" ").toStdString();
    const QDateTime last = test::Sim().WallTime().toUTC();
    const QString name = pictures().last();
    EXPECT_EQ(name, SnapshotFileName(last));
    EXPECT_TRUE(QRegularExpression("^zol-\\d{8}T\\d{4}Z\\.png$").match(name).hasMatch());

    const QImage picture(dir.filePath(name));
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), f.size());
    // Each chart's pixels are in the picture where the chart is in the
    // window, and the 5-second chart has drawn its navy trace by now.
    for (TScope* chart : {f.Scope1, f.Scope2}) {
        const QImage own = chart->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QPoint at = chart->mapTo(&f, QPoint(0, 0));
        const QImage part = picture.copy(QRect(at, own.size())).convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(part, own) << "chart at " << at.x() << "," << at.y();
    }
    const QImage chart = picture.copy(QRect(f.Scope1->mapTo(&f, QPoint(0, 0)), f.Scope1->size()));
    int navy = 0;
    for (int y = 0; y < chart.height(); ++y)
        for (int x = 0; x < chart.width(); ++x)
            navy += chart.pixelColor(x, y) == QColor(0x00, 0x00, 0x80);
    EXPECT_GT(navy, 20);

    // Saved into a folder that cannot take it: said once, not each time.
    const QString blocked = dir.filePath("blocked");
    ASSERT_TRUE(QDir().mkdir(blocked));
    TPictureTimer failing(f, blocked + "/missing", 1);
    EXPECT_TRUE(failing.Save().isEmpty());
    EXPECT_TRUE(failing.Save().isEmpty());
    ASSERT_EQ(errors.Messages().size(), 1);
    EXPECT_TRUE(errors.Messages()[0].startsWith("Unable to write to " + blocked + "/missing/zol-"));
}

TEST_F(StationRunTest, TheChartsOfferToSaveAPicture)
{
    TMainForm& f = Open(TOptions{});
    for (TScope* chart : {f.Scope1, f.Scope2})
        EXPECT_EQ(chart->contextMenuPolicy(), Qt::CustomContextMenu);
    EXPECT_EQ(SnapshotFileName(QDateTime(QDate(2026, 8, 12), QTime(23, 59, 59), Qt::UTC)), "zol-20260812T2359Z.png");
}

TEST_F(StationRunTest, TheDataFileHasItsHeadAndARowForEveryReading)
{
    QFile ini(dir.filePath("zol.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[ZOLPARAMS]\r\nBASEGAIN=64\r\n[STATION]\r\nCALLSIGN=PA0ZZZ\r\nLOCATOR=JO22\r\nFREQUENCY=198\r\nLONGITUDE=4\r\n");
    ini.close();
    TMainForm& f = Open(TOptions{});
    // The window's reading and the wall time, sampled every 50 ms for a
    // minute of measuring (half a tick apart, so each tick's reading is seen).
    QMap<qint64, int> shown;
    while (!station->DataFile())
        test::Sim().AdvanceMs(50);
    const auto wallMs = [] { return test::Sim().WallTime().toUTC().toMSecsSinceEpoch(); };
    const qint64 begun = wallMs();
    while (wallMs() < begun + 60000) {
        test::Sim().AdvanceMs(50);
        shown.insert(test::Sim().WallTime().toUTC().toMSecsSinceEpoch(), f.D1->Value());
    }
    const QDateTime day = test::Sim().WallTime().toUTC();
    f.close();
    test::Sim().Settle();

    const QString path = dir.filePath(DataFileName(day.date()));
    const QByteArray text = ReadAll(path);
    ASSERT_TRUE(text.startsWith("# zol station data")) << text.left(200).toStdString();
    for (const char* line : {"# station_callsign: PA0ZZZ\r\n", "# station_locator: JO22\r\n",
                             "# station_latitude: 52.5\r\n", "# station_longitude: 5\r\n",
                             "# station_frequency_khz: 198\r\n", "# sound_device: simulated receiver\r\n",
                             "# sample_rate_hz: 11025\r\n", "# band_hz: 550-750\r\n",
                             "# columns: time_utc,db,peak,gain,flag,obscuration_pct\r\n"})
        EXPECT_TRUE(text.contains(line)) << line;
    EXPECT_TRUE(text.contains("# program: " + VersionText().toLatin1() + "\r\n"));
    // LONGITUDE without LATITUDE is said once, and the locator's place kept.
    ASSERT_EQ(errors.Messages().size(), 1) << errors.Messages().join("; ").toStdString();
    EXPECT_EQ(errors.Messages()[0], "zol.ini [STATION] LONGITUDE=4 is not used: LATITUDE is needed with it");

    const QList<QByteArray> rows = DataRows(path);
    EXPECT_GE(rows.size(), 598);
    EXPECT_LE(rows.size(), 602);
    const QRegularExpression format("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z,\\d{1,2},\\d{1,5},\\d+,ok,$");
    // Every row holds the reading the window showed at its time.
    int matched = 0;
    for (const QByteArray& row : rows) {
        ASSERT_TRUE(format.match(QString::fromLatin1(row)).hasMatch()) << row.toStdString();
        auto at = shown.upperBound(RowTime(row));
        if (at == shown.end())
            continue;  // the rows of the close
        // The read-out holds a reading until the next tick, 100 ms on.
        if (at.key() - RowTime(row) > 60)
            continue;
        EXPECT_EQ(row.split(',')[1].toInt(), at.value()) << row.toStdString() << " shown at " << at.key();
        ++matched;
    }
    EXPECT_GE(matched, 590);
    for (int i = 1; i < rows.size(); ++i) {
        const qint64 step = RowTime(rows[i]) - RowTime(rows[i - 1]);
        ASSERT_NEAR(step, 100, 2) << rows[i].toStdString();
    }
}

TEST_F(StationRunTest, AFileBeginsAtUtcMidnightWithNoReadingLostOrRepeated)
{
    test::Sim().SetWallTime(QDateTime(QDate(2026, 8, 12), QTime(23, 59, 30), Qt::UTC));
    Open(TOptions{});
    test::Sim().AdvanceMs(62 * 1000);
    form->close();
    test::Sim().Settle();
    const QList<QByteArray> before = DataRows(dir.filePath("zol-2026-08-12-UTC.csv"));
    const QList<QByteArray> after = DataRows(dir.filePath("zol-2026-08-13-UTC.csv"));
    ASSERT_FALSE(before.isEmpty());
    ASSERT_FALSE(after.isEmpty());
    EXPECT_NEAR(before.size() + after.size(), 600, 2);
    EXPECT_TRUE(before.last().startsWith("2026-08-12T23:59:59."));
    EXPECT_TRUE(after.first().startsWith("2026-08-13T00:00:00.")) << after.first().toStdString();
    const QList<QByteArray> all = before + after;
    for (int i = 1; i < all.size(); ++i)
        ASSERT_NEAR(RowTime(all[i]) - RowTime(all[i - 1]), 100, 2) << all[i].toStdString();
    EXPECT_TRUE(ReadAll(dir.filePath("zol-2026-08-13-UTC.csv")).startsWith("# zol station data"));
}

TEST_F(StationRunTest, RowsSayOverloadAndNoAudio)
{
    // A carrier driven past full scale overloads the input.
    platform::SetSimulatedCaptureGain(5.0);
    Open(TOptions{});
    test::Sim().AdvanceMs(5000);
    const QString path = form->WorkDir + "/" + DataFileName(test::Sim().WallTime().toUTC().date());
    form->close();
    test::Sim().Settle();
    QList<QByteArray> rows = DataRows(path);
    ASSERT_GE(rows.size(), 20);
    for (const QByteArray& row : rows.mid(5))
        EXPECT_TRUE(row.endsWith(",overload,")) << row.toStdString();
    station.reset();
    form.reset();
    test::Sim().Settle();
    platform::SetSimulatedCaptureGain(1.0);
    QFile::remove(path);

    // A device lost while measuring: the readings after it have no audio.
    auto script = std::make_shared<platform::WaveInScript>();
    script->loseAfter = 50;  // about 4.6 s after the capture starts
    platform::SetWaveInBackend(platform::MakeScriptedBackend(script));
    Open(TOptions{});
    test::Sim().AdvanceMs(8000);
    form->close();
    test::Sim().Settle();
    rows = DataRows(path);
    ASSERT_GE(rows.size(), 50);
    EXPECT_TRUE(rows.first().endsWith(",overload,") || rows.first().endsWith(",ok,"));
    EXPECT_TRUE(rows.last().endsWith(",noaudio,")) << rows.last().toStdString();
    EXPECT_FALSE(errors.Messages().isEmpty());  // the loss was reported
}

TEST_F(StationRunTest, ABandChangedWhileRunningIsNotedInTheDataFile)
{
    TOptions options;
    options.band = bd700_900;
    TMainForm& f = Open(options);
    test::Sim().AdvanceMs(3000);
    f.Filt1->click();
    test::Sim().AdvanceMs(500);
    const QString path = f.WorkDir + "/" + DataFileName(test::Sim().WallTime().toUTC().date());
    f.close();
    test::Sim().Settle();
    const QByteArray text = ReadAll(path);
    EXPECT_TRUE(text.contains("# band_hz: 700-900\r\n"));
    EXPECT_TRUE(text.contains("# band_hz: 550-750 from "));
    EXPECT_TRUE(f.MMEqualizer1->Enabled());
}

TEST_F(StationRunTest, DataRowsCarryTheObscurationAtThePathsMidpoint)
{
    QFile ini(dir.filePath("zol.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[ZOLPARAMS]\r\nBASEGAIN=64\r\n[STATION]\r\nLOCATOR=EM12kx\r\nTXLATITUDE=40.7 N\r\nTXLONGITUDE=89.6 W\r\n");
    ini.close();
    const QDateTime start(QDate(2024, 4, 8), QTime(18, 50, 0), Qt::UTC);
    test::Sim().SetWallTime(start.toLocalTime());
    TMainForm& f = Open(TOptions{});
    while (!station->DataFile())
        test::Sim().AdvanceMs(50);
    test::Sim().AdvanceMs(3000);
    f.close();
    test::Sim().Settle();

    const QString path = dir.filePath(DataFileName(start.date()));
    const QByteArray text = ReadAll(path);
    EXPECT_TRUE(text.contains("# path_midpoint_latitude: 36.89")) << text.left(1200).toStdString();
    EXPECT_TRUE(text.contains("# path_midpoint_longitude: -93.55"));
    TEclipseTrace check({32.9792, -97.125}, {40.7, -89.6});
    const QList<QByteArray> rows = DataRows(path);
    ASSERT_GE(rows.size(), 25);
    for (const QByteArray& row : rows) {
        const QList<QByteArray> fields = row.split(',');
        ASSERT_EQ(fields.size(), 6) << row.toStdString();
        const qint64 ms = QDateTime::fromString(QString::fromLatin1(fields[0]), Qt::ISODateWithMs).toMSecsSinceEpoch();
        bool ok = false;
        const double percent = fields[5].toDouble(&ok);
        ASSERT_TRUE(ok) << row.toStdString();
        EXPECT_NEAR(percent, *check.ObscurationPercent(static_cast<double>(ms) / 1000.0), 0.051) << row.toStdString();
        EXPECT_GT(percent, 90);
    }
}

TEST_F(StationRunTest, AFullDiskIsReportedOnceWhileMeasuringGoesOnAndTheRowsResume)
{
    TMainForm& f = Open(TOptions{});
    test::Sim().AdvanceMs(3000);
    const QString path = f.WorkDir + "/" + DataFileName(test::Sim().WallTime().toUTC().date());
    const int before = static_cast<int>(DataRows(path).size());
    ASSERT_GE(before, 5);
    int failures = 0;
    {
        test::FullDisk disk(0);
        // The band changed while nothing can be written: said, not thrown
        // back through the radio button's signal.
        f.filt2->click();
        test::Sim().AdvanceMs(3000);
        for (const QString& m : errors.Messages())
            failures += m.contains("No space left on device") ? 1 : 0;
        EXPECT_EQ(DataRows(path).size(), before);
        disk.Free();
        test::Sim().AdvanceMs(2000);
    }
    // The window went on measuring, and the same failure was not said with
    // every row (the logs report theirs once each, the data file once).
    EXPECT_GE(failures, 1);
    EXPECT_LE(failures, 3);
    const QString text = QString::fromLatin1(ReadAll(path));
    const QList<QByteArray> rows = DataRows(path);
    EXPECT_GE(rows.size(), before + 15);
    const QRegularExpression format("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z,\\d{1,2},\\d{1,5},\\d+,\\w+,$");
    for (const QByteArray& row : rows)
        ASSERT_TRUE(format.match(QString::fromLatin1(row)).hasMatch()) << row.toStdString();
    // The band change is in the file, before the rows that followed it.
    const qsizetype note = text.indexOf("# band_hz: 700-900 from ");
    ASSERT_GE(note, 0) << text.right(400).toStdString();
    EXPECT_TRUE(text.indexOf(QString::fromLatin1(rows[before])) > note);
    f.close();
    test::Sim().Settle();
}
