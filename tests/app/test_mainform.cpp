// The main window driven in simulated time: start-up, the measurement cycle,
// calibration, the logs and their restore, shut-down and damaged inputs.
#include "app/logfiles.h"
#include "app/zolu.h"
#include "chain/equalizer.h"
#include "chain/wavein.h"
#include "controls/label.h"
#include "displays/led.h"
#include "displays/ledpanel.h"
#include "displays/meter.h"
#include "displays/scope.h"
#include "mixer/mixercontrol.h"
#include "mixer/mixerslider.h"
#include "platform/intervaltimer.h"
#include "platform/mixer_sim.h"
#include "platform/mixerbackend.h"
#include "platform/simgain.h"
#include "platform/wavein_device.h"
#include "platform/wavein_sources.h"
#include "tests/support/file_support.h"
#include "tests/support/test_support.h"
#include "tests/support/window_test.h"
#include "timers/hitimer.h"
#include "timers/longtimer.h"

#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace zol;

namespace {

using test::Lines;
using test::ReadAll;
using test::Tone;
using test::WriteAll;

class MainFormTest : public test::WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        UseSimulatedReceiver();
    }

    void UseSimulatedReceiver() { platform::SetWaveInBackend(platform::MakeSimReceiverBackend()); }

    TMainForm& Open()
    {
        TOptions options;
        options.workdir = dir.path();
        form = std::make_unique<TMainForm>(options);
        form->OnMeasureLine = [this](const QString& line) { printed << line; };
        form->show();
        form->FormCreate();
        return *form;
    }
    void Run(int ms) { test::Sim().AdvanceMs(ms); }
    QString Path(const char* name) const { return dir.filePath(name); }

    QStringList printed;
};

}  // namespace

TEST_F(MainFormTest, FirstStartInAnEmptyFolder)
{
    TMainForm& f = Open();
    const QByteArray ini = ReadAll(Path("zol.ini"));
    EXPECT_EQ(ini, "[ZOLPARAMS]\r\nBASEGAIN=64\r\nTHRESHOLD=30\r\nDBCALIBRATE=35\r\nCALIBRATED=0\r\n");
    EXPECT_EQ(f.inputlevel->Position(), 64);  // the top of the microphone range
    EXPECT_EQ(f.Measurement.DbCalibrate(), 35);
    EXPECT_FALSE(f.Measurement.IsCalibrated());
    EXPECT_EQ(f.MMLED1->LEDColor(), QColor(0x80, 0x40, 0x40));
    EXPECT_TRUE(f.MMLED1->Caption().isEmpty());
    EXPECT_TRUE(f.CalButton->isVisible());
    EXPECT_TRUE(f.windowTitle().contains("1.3.25"));

    Run(2500);  // the staged start
    EXPECT_TRUE(QFile::exists(Path("measure.txt")));
    EXPECT_TRUE(QFile::exists(Path("scope2.txt")));
    EXPECT_TRUE(f.HT2->Enabled());
    EXPECT_TRUE(f.Scope1->Active());
    EXPECT_TRUE(errors.Messages().isEmpty()) << errors.Messages().join("; ").toStdString();
}

TEST_F(MainFormTest, MeasuresLogsAndResumesAfterARestart)
{
    Open();
    Run(65000);
    const QList<QByteArray> lines = Lines(Path("measure.txt"));
    ASSERT_GE(lines.size(), 60);
    EXPECT_LE(lines.size(), 64);
    for (int i = 0; i < lines.size(); ++i) {
        ASSERT_EQ(lines[i].size(), 26) << i;  // 25 characters and CR
        EXPECT_TRUE(lines[i].endsWith('\r'));
        EXPECT_EQ(lines[i][0], i == 0 ? '*' : ' ') << i;
        EXPECT_EQ(lines[i][1], ',');
        EXPECT_EQ(lines[i][10], ',');
        EXPECT_EQ(lines[i][19], ',');
        EXPECT_EQ(lines[i][22], ',');
    }
    // The simulated receiver's carrier after the filter: about 10 dB down.
    const int mean = lines.last().mid(20, 2).toInt();
    EXPECT_GE(mean, 5);
    EXPECT_LE(mean, 20);
    EXPECT_EQ(printed.size(), lines.size());  // every line also reported
    const QList<QByteArray> windows = Lines(Path("scope2.txt"));
    ASSERT_GE(windows.size(), 2);
    for (const QByteArray& w : windows)
        EXPECT_EQ(w.size(), 6);
    CloseForm();
    EXPECT_TRUE(ReadAll(Path("zol.ini")).contains("BASEGAIN=64\r\nTHRESHOLD=30\r\nDBCALIBRATE=35\r\nCALIBRATED=0"));

    // A second run appends and marks its first line; the charts are rebuilt.
    TMainForm& f = Open();
    int restoredSteps = 0;
    f.Scope1->OnUpdate = [&](QObject*) {
        if (f.MeasureBusy())
            ++restoredSteps;
        f.Scope1Update();
    };
    Run(6000);
    EXPECT_EQ(restoredSteps, lines.size() / 5);
    const QList<QByteArray> after = Lines(Path("measure.txt"));
    ASSERT_GT(after.size(), lines.size());
    EXPECT_EQ(after[lines.size()][0], '*');
    EXPECT_EQ(after.last()[0], ' ');
    EXPECT_TRUE(errors.Messages().isEmpty()) << errors.Messages().join("; ").toStdString();
}

TEST_F(MainFormTest, StartsCalibratedWithTheBaselineAtTheThreshold)
{
    WriteAll(Path("zol.ini"), "[ZOLPARAMS]\r\nBASEGAIN=40\r\nCALIBRATED=1\r\n");
    TMainForm& f = Open();
    EXPECT_TRUE(f.Measurement.IsCalibrated());
    EXPECT_FALSE(f.CalButton->isVisible());
    EXPECT_EQ(f.MMLED1->Caption(), "Calibrated");
    EXPECT_EQ(f.MMLED1->LEDColor(), QColor(0xFF, 0x00, 0x00));
    EXPECT_EQ(f.Measurement.Threshold(), 30);
    EXPECT_EQ(f.Measurement.DbCalibrate(), 30);  // missing key: 30, and it is not added
    EXPECT_EQ(f.Scope1->Baseline(), 30);
    EXPECT_EQ(f.inputlevel->Position(), 40);

    // Moving the gain by hand cancels the calibrated state.
    f.inputlevel->SetPosition(39);
    EXPECT_FALSE(f.Measurement.IsCalibrated());
    EXPECT_TRUE(f.CalButton->isVisibleTo(&f));
    EXPECT_TRUE(f.MMLED1->Caption().isEmpty());
    EXPECT_EQ(f.MMLED1->LEDColor(), QColor(0x80, 0x00, 0x40));
    CloseForm();
    const QByteArray ini = ReadAll(Path("zol.ini"));
    EXPECT_TRUE(ini.contains("BASEGAIN=39\r\nCALIBRATED=0\r\nTHRESHOLD=30\r\n"));
    EXPECT_FALSE(ini.contains("DBCALIBRATE"));
}

TEST_F(MainFormTest, SecondLinesAndTheThirtySecondWindow)
{
    UseWav(QByteArray(11025 * 4 * 120, 0));  // silence: every reading is 90
    TMainForm& f = Open();
    Run(2500);
    f.HT2->SetEnabled(false);
    f.HT1->SetEnabled(false);
    f.Scope1->SetActive(false);
    f.Scope2->SetActive(false);
    Run(100);
    TMeasurement& m = f.Measurement;

    // A window minimum of 7: the readings so far make one average, then 7
    // alone makes the next; that second's line goes out with them.
    m.RequestAverage();
    m.AddReading(90);
    m.TakeAverage();
    m.RequestAverage();
    m.AddReading(7);
    m.TakeAverage();
    ASSERT_EQ(m.LastMin(), 7);
    f.HT1Timer();
    // Readings 30, 31, 33 and a minimum of 7: fields "31" and "07".
    for (int reading : {30, 31, 33})
        m.AddReading(reading);
    f.HT1Timer();
    QList<QByteArray> lines = Lines(Path("measure.txt"));
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.last().endsWith(",31,07\r"));
    const int count = lines.size();
    // A second without readings writes nothing but still shows the time.
    f.MMLabel4->SetCaption(QString());
    f.HT1Timer();
    EXPECT_EQ(Lines(Path("measure.txt")).size(), count);
    EXPECT_EQ(f.MMLabel4->Caption().size(), 8);
    EXPECT_EQ(m.LineMarker(), ' ');

    // A new window (the one above is closed, the readings above delivered
    // unplotted) whose averages are 40, 35, 38, 50, 41, 39. Each step asks
    // the 100 ms tick for the average of the readings since the last one;
    // with silence (reading 90) and one earlier reading the average is exact.
    f.Scope2Update();
    m.RequestAverage();
    m.AddReading(90);
    ASSERT_EQ(m.WindowUpdates(), 0);
    ASSERT_EQ(m.AverageCount(), 0);
    f.HT2->SetEnabled(true);
    for (int avg : {40, 35, 38, 50, 41, 39}) {
        m.AddReading(2 * avg - 90);
        f.Scope1Update();
        EXPECT_EQ(m.AverageCount(), 0);
        EXPECT_EQ(m.AverageSum(), 0);
    }
    f.HT2->SetEnabled(false);
    EXPECT_EQ(m.WindowMin(), 35);
    EXPECT_EQ(m.WindowMax(), 50);
    EXPECT_EQ(m.LastMin(), 35);
    // The last step plotted the average 39 and the minimum 35 one unit up.
    EXPECT_EQ(f.Scope1->PositionA(), 100 - (39 * 100 / 70));
    EXPECT_EQ(f.Scope1->PositionB(), 101 - (35 * 100 / 70));
    f.Plotscope(f.Scope1, 40, 35);
    EXPECT_EQ(f.Scope1->PositionA(), 43);
    EXPECT_EQ(f.Scope1->PositionB(), 51);

    f.Scope2Update();
    EXPECT_EQ(f.Scope2->PositionA(), 50);
    EXPECT_EQ(f.Scope2->PositionB(), 29);
    EXPECT_EQ(Lines(Path("scope2.txt")).last(), "35,50\r");
    EXPECT_EQ(m.WindowMin(), 90);
    EXPECT_EQ(m.WindowMax(), 0);
}

TEST_F(MainFormTest, ReadingsOfKnownLevels)
{
    // Through the whole chain: a 650 Hz tone 20.5 dB below full scale reads
    // 20 with the 550-750 Hz filter; 300 Hz reads far lower.
    const double peak = 32768.0 * std::pow(10.0, -20.5 / 20.0);
    UseWav(Tone(650, peak, 30) + Tone(300, peak, 30) + Tone(800, peak, 30) + Tone(650, peak, 30));
    TMainForm& f = Open();
    auto sample = [&](int fromS, int toS) {
        QList<int> readings;
        Run(fromS * 1000 - test::Sim().NowUs() / 1000);
        while (test::Sim().NowUs() < toS * 1000000LL) {
            Run(100);
            readings << f.D1->Value();
        }
        return readings;
    };
    const QList<int> tone = sample(3, 28);
    const QList<int> low = sample(33, 58);
    const QList<int> high = sample(63, 73);  // 800 Hz, outside 550-750 Hz
    f.filt2->setChecked(true);
    f.filt2Click();
    EXPECT_EQ(f.Panel2->x(), 554);
    const QList<int> high2 = sample(75, 88);  // 800 Hz inside 700-900 Hz
    const QList<int> tone2 = sample(93, 118); // 650 Hz outside it
    for (int r : tone)
        EXPECT_EQ(r, 20);
    for (int r : low)
        EXPECT_GE(r, 70);
    for (int r : high)
        EXPECT_GE(r, 25);
    for (int r : high2)
        EXPECT_EQ(r, 20);
    for (int r : tone2)
        EXPECT_GE(r, 25);
    f.Filt1->setChecked(true);
    f.Filt1Click();
    EXPECT_EQ(f.Panel2->x(), 549);
    EXPECT_TRUE(f.MMEqualizer1->Enabled());
    EXPECT_FALSE(f.MMEqualizer2->Enabled());
}

TEST_F(MainFormTest, CalibrationTurnsTheGainDownToTheTarget)
{
    TMainForm& f = Open();
    Run(3000);
    ASSERT_EQ(f.Measurement.DbCalibrate(), 35);
    const int before = f.D1->Value();
    EXPECT_LT(before, 20);
    f.CalButtonClick();
    EXPECT_EQ(f.inputlevel->Position(), 64);
    EXPECT_TRUE(f.Measurement.Calibrating());
    Run(15000);
    EXPECT_FALSE(f.Measurement.Calibrating());
    EXPECT_TRUE(f.Measurement.IsCalibrated());
    EXPECT_EQ(f.Measurement.Threshold(), 50);
    EXPECT_EQ(f.MMLED1->Caption(), "Calibrated");
    EXPECT_FALSE(f.CalButton->isVisibleTo(&f));
    EXPECT_LT(f.inputlevel->Position(), 64);
    EXPECT_GT(f.inputlevel->Position(), 1);
    // The reading now lies within 6 dB of the target (the meter settles).
    Run(2000);
    EXPECT_GE(f.D1->Value() + 6, 35);
    EXPECT_LE(f.D1->Value(), 35 + 6);
    CloseForm();
    const QByteArray ini = ReadAll(Path("zol.ini"));
    EXPECT_TRUE(ini.contains("THRESHOLD=50\r\n")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("CALIBRATED=1\r\n")) << ini.toStdString();
}

TEST_F(MainFormTest, CalibrationThatNeverMeetsTheTargetEndsAtTheBottom)
{
    WriteAll(Path("zol.ini"), "[ZOLPARAMS]\r\nDBCALIBRATE=95\r\n");
    TMainForm& f = Open();
    Run(3000);
    f.CalButtonClick();
    Run(20000);
    EXPECT_FALSE(f.Measurement.Calibrating());
    EXPECT_FALSE(f.Measurement.IsCalibrated());
    EXPECT_EQ(f.inputlevel->Position(), 1);
    EXPECT_TRUE(f.CalButton->isVisibleTo(&f));
}

// Ticks that queued while the window's thread was busy carry the level from
// before the last step: they must not each turn the gain down again.
TEST_F(MainFormTest, CalibrationStepsOnlyOnReadingsTakenAfterTheLastStep)
{
    WriteAll(Path("zol.ini"), "[ZOLPARAMS]\r\nDBCALIBRATE=95\r\n");
    TMainForm& f = Open();
    Run(3000);
    f.CalButtonClick();
    Run(1000);
    const int running = f.inputlevel->Position();
    ASSERT_LT(running, 64);
    ASSERT_TRUE(f.Measurement.Calibrating());
    // Five ticks back to back: no window message, so no audio reaches the
    // meter between them.
    for (int i = 0; i < 5; ++i)
        f.HT2Timer();
    EXPECT_GE(f.inputlevel->Position(), running - 1);
    // With audio flowing again, the steps go on at one per tick.
    const int queued = f.inputlevel->Position();
    Run(1000);
    EXPECT_LE(f.inputlevel->Position(), queued - 8);
    EXPECT_TRUE(f.Measurement.Calibrating());
}

TEST_F(MainFormTest, RestoresChartsFromTheLogs)
{
    QByteArray measure;
    for (int i = 0; i < 12; ++i) {
        measure += QByteArray(i == 0 ? "*" : " ") + ",17:00:0" + QByteArray::number(i % 10) + ",12/08/26," +
                   QByteArray::number(30 + i) + "," + (i == 9 ? "00" : "20") + "\r\n";
        if (i == 6)
            measure += " ,17:00:06,12/08/26,3,20\r\n";  // 24 characters: skipped
    }
    WriteAll(Path("measure.txt"), measure);
    WriteAll(Path("scope2.txt"), "35,50\r\n\r\n");
    TMainForm& f = Open();
    int steps1 = 0, steps2 = 0;
    QList<std::pair<int, int>> plotted2;
    f.Scope1->OnUpdate = [&](QObject*) { ++steps1; };
    f.Scope2->OnUpdate = [&](QObject*) {
        ++steps2;
        plotted2 << std::make_pair(f.Scope2->PositionA(), f.Scope2->PositionB());
    };
    Run(2500);
    EXPECT_EQ(steps1, 2);  // twelve good lines, two groups of five
    // The second group's fifth line has minimum "00": its own mean stands in.
    EXPECT_EQ(f.Scope1->PositionB(), 100 - (39 * 100 / 70));
    EXPECT_EQ(f.Scope1->PositionA(), 100 - (37 * 100 / 70));
    ASSERT_EQ(steps2, 2);
    EXPECT_EQ(plotted2[0], std::make_pair(50, 29));
    EXPECT_EQ(plotted2[1], std::make_pair(65, 15));
    EXPECT_FALSE(f.MeasureBusy());
    EXPECT_FALSE(f.Scope2Restoring());
}

TEST_F(MainFormTest, DamagedLogsAndSettingsLoseNothing)
{
    QByteArray junk("\x00\x01\xff\xfe\r\n", 6);
    junk += QByteArray(5000, 'x') + "\r\n";                       // overlong
    junk += "*,17:00:00,12/08/26,ab,cd\r\n";                      // unreadable fields
    for (int i = 0; i < 4; ++i)
        junk += " ,17:00:01,12/08/26,40,30\r\n";
    junk += " ,17:00:05,12/08/26,4";                              // cut by a power failure
    WriteAll(Path("measure.txt"), junk);
    WriteAll(Path("scope2.txt"), QByteArray("xx,yy\r\n\x01\x02\r\n99"));
    WriteAll(Path("zol.ini"), "\x01garbage\r\n[ZOLPARAMS]\r\nBASEGAIN=lots\r\nTHRESHOLD=0x1E\r\nother=1\r\n");
    TMainForm& f = Open();
    EXPECT_EQ(f.inputlevel->Position(), 0);  // not an integer: the default
    EXPECT_EQ(f.Measurement.Threshold(), 30);
    int steps1 = 0;
    f.Scope1->OnUpdate = [&](QObject*) { ++steps1; };
    Run(3000);
    EXPECT_EQ(steps1, 1);  // the unreadable line still counts in its group
    f.Scope1->OnUpdate = [&](QObject*) { f.Scope1Update(); };
    Run(3000);
    CloseForm();
    const QByteArray after = ReadAll(Path("measure.txt"));
    EXPECT_TRUE(after.startsWith(junk));  // nothing of the old file lost
    const QList<QByteArray> lines = after.mid(junk.size()).split('\n');
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0], "\r");           // the cut line was ended first
    EXPECT_EQ(lines[1].size(), 26);      // then whole lines of this run
    EXPECT_EQ(lines[1][0], '*');
    const QByteArray ini = ReadAll(Path("zol.ini"));
    EXPECT_TRUE(ini.startsWith("\x01garbage\r\n"));
    EXPECT_TRUE(ini.contains("other=1"));
    EXPECT_TRUE(errors.Messages().isEmpty()) << errors.Messages().join("; ").toStdString();
}

TEST_F(MainFormTest, AFolderThatRefusesWritesIsReportedAndTheProgramGoesOn)
{
    // A "folder" that is a file: nothing can be created in it, not even by root.
    const QString blocked = Path("blocked");
    WriteAll(blocked, "x");
    TOptions options;
    options.workdir = blocked;
    form = std::make_unique<TMainForm>(options);
    form->show();
    form->FormCreate();
    Run(5000);
    ASSERT_FALSE(errors.Messages().isEmpty());
    EXPECT_TRUE(errors.Messages().join("\n").contains("Unable to write to " + blocked + "/zol.ini"));
    // Measuring goes on although nothing can be logged.
    EXPECT_LT(form->D1->Value(), 90);
    EXPECT_TRUE(form->HT2->Enabled() || form->HT3->Enabled() || form->HT4->Enabled());
    CloseForm();
}

TEST_F(MainFormTest, ClosingWhileTheFiveSecondChartWaits)
{
    TMainForm& f = Open();
    Run(2500);
    f.HT2->SetEnabled(false);  // no tick will deliver the average
    platform::PostToWindow([&f] { f.close(); });
    f.Scope1Update();  // returns once the window is closing
    EXPECT_TRUE(f.ShuttingDown());
    EXPECT_TRUE(f.Closed());
    EXPECT_FALSE(f.mvi->IsOpen());
    EXPECT_FALSE(f.Pbar->isHidden());
    EXPECT_FALSE(f.MeasureLog->IsOpen());
}

TEST_F(MainFormTest, BaseGainRoundTripsOnCardsOfEveryRange)
{
    struct Range {
        std::int32_t min, max;
        int steps, gain;
    };
    for (const Range r : {Range{0, 65535, 64, 37}, Range{0, 31, 31, 17}, Range{-20, 40, 60, 45}}) {
        SCOPED_TRACE(r.max);
        auto sim = std::make_unique<platform::SimMixerBackend>();
        auto* card = sim.get();
        card->ConfigureVolume(platform::SimMixerBackend::kMicLineId, r.min, r.max, r.steps);
        platform::InstallMixer(std::move(sim));
        WriteAll(Path("zol.ini"), "[ZOLPARAMS]\r\nBASEGAIN=" + QByteArray::number(r.gain) + "\r\n");
        for (int run = 0; run < 2; ++run) {
            TMainForm& f = Open();
            Run(1000);
            EXPECT_EQ(f.inputlevel->Position(), r.gain);
            const double perStep = double(r.max - r.min) / r.steps;
            EXPECT_EQ(card->Value(platform::SimMixerBackend::kMicVolumeId, 0),
                      r.min + std::lround(r.gain * perStep));
            CloseForm();
            EXPECT_TRUE(ReadAll(Path("zol.ini")).contains("BASEGAIN=" + QByteArray::number(r.gain) + "\r\n"));
        }
    }
}

TEST_F(MainFormTest, WithoutAMixerTheStoredGainIsKept)
{
    platform::InstallMixer(std::make_unique<platform::SimMixerBackend>(0));
    WriteAll(Path("zol.ini"), "[ZOLPARAMS]\r\nBASEGAIN=40\r\nTHRESHOLD=50\r\nCALIBRATED=1\r\n");
    TMainForm& f = Open();
    Run(4000);
    EXPECT_FALSE(f.inputlevel->isEnabled());
    EXPECT_LT(f.D1->Value(), 90);  // measuring goes on
    CloseForm();
    EXPECT_TRUE(errors.Messages().isEmpty()) << errors.Messages().join("; ").toStdString();
    // The gain calibrated on the card survives a start without it.
    const QByteArray ini = ReadAll(Path("zol.ini"));
    EXPECT_TRUE(ini.contains("BASEGAIN=40\r\n")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("CALIBRATED=1\r\n")) << ini.toStdString();
}

TEST_F(MainFormTest, CalibrationStopsAtTheFirstMixerError)
{
    auto sim = std::make_unique<platform::SimMixerBackend>();
    auto* card = sim.get();
    platform::InstallMixer(std::move(sim));
    WriteAll(Path("zol.ini"), "[ZOLPARAMS]\r\nDBCALIBRATE=95\r\n");
    TMainForm& f = Open();
    Run(3000);
    f.CalButtonClick();
    // The card refuses every write from now on.
    for (int i = 0; i < 30; ++i) {
        card->FailNext("set", platform::MMSYSERR_NODRIVER);
        Run(100);
    }
    EXPECT_FALSE(f.Measurement.Calibrating());
    EXPECT_EQ(errors.Messages().size(), 1) << errors.Messages().join("; ").toStdString();
    EXPECT_GE(f.inputlevel->Position(), 1);
}

namespace {
// The raw "Capture" value of ALSA's default control device (-1: none).
// amixer runs through popen and system: a process QProcess starts shares the
// test's memory until it runs amixer, and leaves ThreadSanitizer's records of
// this thread unreliable.
int AmixerCapture()
{
    std::string out;
    if (FILE* pipe = ::popen("amixer -D default sget Capture", "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, pipe) != nullptr)
            out += buf;
        ::pclose(pipe);
    }
    const auto m = QRegularExpression("Capture (\\d+) \\[").match(QString::fromStdString(out));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}
}  // namespace

TEST_F(MainFormTest, AlsaStoredGainReachesTheCaptureElement)
{
    if (std::getenv("ZOL_PULSE") == nullptr && std::getenv("CI") == nullptr)
        GTEST_SKIP() << "needs the private PulseAudio server (ZOL_PULSE=1)";
    // "default" under the sound server: one "Capture" element serves both the
    // recording line (recordlevel) and the microphone line (inputlevel).
    platform::InstallMixer(platform::CreateMixerBackend("default"));
    ASSERT_EQ(std::system("amixer -q -D default sset Capture 20480"), 0);
    ASSERT_EQ(AmixerCapture(), 20480);
    WriteAll(Path("zol.ini"), "[ZOLPARAMS]\r\nBASEGAIN=20\r\nCALIBRATED=1\r\n");
    for (int run = 0; run < 2; ++run) {
        TMainForm& f = Open();
        Run(1000);
        EXPECT_EQ(f.inputlevel->Position(), 20);
        EXPECT_EQ(AmixerCapture(), 20480);
        EXPECT_TRUE(f.Measurement.IsCalibrated());
        CloseForm();
        EXPECT_TRUE(ReadAll(Path("zol.ini")).contains("BASEGAIN=20\r\n"));
    }
}
