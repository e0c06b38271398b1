// A station's additions to a run of the window, in simulated time: the band
// chosen at start and the pictures of the window.
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
#include "tests/support/test_support.h"

#include <QDir>
#include <QImage>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace zol;

namespace {

// A stereo 16-bit tone of `hz` peaking at `peak`, `seconds` long.
QByteArray Tone(double hz, double peak, double seconds)
{
    const int frames = static_cast<int>(11025 * seconds);
    QByteArray data(frames * 4, 0);
    auto* s = reinterpret_cast<std::int16_t*>(data.data());
    for (int i = 0; i < frames; ++i) {
        const auto v = static_cast<std::int16_t>(std::lround(peak * std::sin(2 * M_PI * hz * i / 11025.0)));
        s[2 * i] = v;
        s[2 * i + 1] = v;
    }
    return data;
}

class StationRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ResetSim();
        platform::SetWaveInBackend(platform::MakeSimReceiverBackend());
        platform::InstallMixer(platform::CreateMixerBackend("sim"));
    }
    void TearDown() override
    {
        station.reset();
        if (form) {
            form->close();
            test::Sim().Settle();
            form.reset();
            test::Sim().Settle();
        }
        platform::InstallMixer(nullptr);
        platform::SetWaveInBackend(nullptr);
        platform::SetSimulatedCaptureGain(1.0);
    }
    void UseWav(const QByteArray& frames)
    {
        const QString path = dir.filePath("input.wav");
        ASSERT_TRUE(platform::WriteWavFile(path, 11025, 16, 2, frames));
        platform::SetWaveInBackend(platform::MakeWavFileBackend(path));
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

    QTemporaryDir dir;
    std::unique_ptr<TMainForm> form;
    std::unique_ptr<TStationRun> station;
    test::ErrorRecorder errors;
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
