// A capture device that goes missing, in simulated time: lost while the
// window measures, or missing at start. The window and its logs go on, the
// loss is reported once, the device is opened again after growing pauses,
// and measuring resumes when it records again; the seconds without audio
// are marked in the logs and drawn as gaps.
#include "app/capturekeeper.h"
#include "app/datafile.h"
#include "app/stationrun.h"
#include "app/zolu.h"
#include "chain/wavein.h"
#include "displays/ledpanel.h"
#include "displays/scope.h"
#include "platform/mixerbackend.h"
#include "platform/mmsyserr.h"
#include "platform/wavein_device.h"
#include "platform/wavein_sources.h"
#include "tests/support/test_support.h"
#include "timers/hitimer.h"

#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

using namespace zol;
namespace pf = zol::platform;

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

void WriteAll(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

// Lines without their CR LF.
QList<QByteArray> Lines(const QString& path)
{
    QList<QByteArray> lines;
    for (QByteArray line : ReadAll(path).split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty())
            lines << line;
    }
    return lines;
}

bool Silent(const QByteArray& measureLine)
{
    return measureLine.mid(20, 2) == "--";
}

// Whether the LED read-out shows any lit segment (its LED colour).
bool LedLit(TMMLEDPanel* led)
{
    const QImage picture = led->grab().toImage();
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (picture.pixelColor(x, y) == led->LEDColor())
                return true;
    return false;
}

// Whether any pixel of columns x0..x1 of a chart, off its baseline (which
// may have a trace's colour), has one of its traces' colours.
bool TraceIn(const TScope* scope, int x0, int x1)
{
    const QImage& p = scope->Picture();
    for (int x = x0; x <= x1; ++x)
        for (int y = 0; y < p.height(); ++y) {
            if (y == scope->BaselineY())
                continue;
            const QColor c = p.pixelColor(x, y);
            if (c == scope->LinecolorA() || c == scope->LinecolorB())
                return true;
        }
    return false;
}

class CaptureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ResetSim();
        script = std::make_shared<pf::WaveInScript>();
        pf::SetWaveInBackend(pf::MakeScriptedBackend(script));
        pf::InstallMixer(pf::CreateMixerBackend("sim"));
    }
    void TearDown() override
    {
        if (form) {
            form->close();
            test::Sim().Settle();
        }
        station.reset();
        form.reset();
        test::Sim().Settle();
        pf::InstallMixer(nullptr);
        pf::SetWaveInBackend(nullptr);
    }

    TMainForm& Open()
    {
        TOptions options;
        options.workdir = dir.path();
        form = std::make_unique<TMainForm>(options);
        form->Capture->OnRecovered = [this](const QString& message) { recovered << message; };
        station = std::make_unique<TStationRun>(*form, options);
        form->show();
        form->FormCreate();
        station->Started();
        return *form;
    }
    void Run(int ms) { test::Sim().AdvanceMs(ms); }
    // Runs until the capture has stopped (its device lost); false when it
    // has not within `ms`.
    bool RunUntilLost(int ms)
    {
        for (int t = 0; t < ms; t += 100) {
            Run(100);
            if (!form->mvi->IsStarted())
                return true;
        }
        return false;
    }
    void SetFailure(const char* call, int code)
    {
        std::lock_guard lock(script->mutex);
        if (code == 0)
            script->failures.erase(call);
        else
            script->failures[call] = code;
    }
    std::vector<std::int64_t> QueriesAfter(std::int64_t us)
    {
        std::lock_guard lock(script->mutex);
        std::vector<std::int64_t> after;
        for (std::int64_t q : script->queries)
            if (q > us)
                after.push_back(q);
        return after;
    }
    QString Path(const char* name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    std::shared_ptr<pf::WaveInScript> script;
    std::unique_ptr<TMainForm> form;
    std::unique_ptr<TStationRun> station;
    QStringList recovered;
    test::ErrorRecorder errors;
};

}  // namespace

TEST(CaptureKeeper, PausesGrowToThirtySeconds)
{
    const std::vector<std::int64_t> expected = {1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000};
    for (std::size_t n = 0; n < expected.size(); ++n)
        EXPECT_EQ(TCaptureKeeper::PauseMs(static_cast<int>(n)), expected[n]) << n;
    EXPECT_EQ(TCaptureKeeper::PauseMs(1000), 30000);
}

TEST_F(CaptureTest, ADeviceLostWhileMeasuringIsReopenedAndMeasuringResumes)
{
    script->loseAfter = 150;  // about 14 s after the start
    TMainForm& f = Open();
    ASSERT_TRUE(RunUntilLost(30000));
    const std::int64_t lostUs = test::Sim().NowUs();
    {
        // The device is gone: it cannot even be asked any more.
        std::lock_guard lock(script->mutex);
        script->loseAfter = -1;
        script->failures["QueryFormat"] = pf::MMSYSERR_NODRIVER;
    }
    ASSERT_EQ(errors.Messages().size(), 1) << errors.Messages().join("; ").toStdString();
    EXPECT_TRUE(errors.Messages()[0].startsWith("The recording device Scripted input 0 stopped delivering audio ("))
        << errors.Messages()[0].toStdString();
    EXPECT_TRUE(f.Capture->Missing());
    Run(1000);
    EXPECT_FALSE(f.D1->Enabled());
    EXPECT_FALSE(LedLit(f.D1));

    // Attempts 1, 2, 4, 8, 16 s apart, then every 30 s: ten within 181 s.
    Run(182000 - 1000);
    const std::vector<std::int64_t> attempts = QueriesAfter(lostUs - 200000);
    ASSERT_EQ(attempts.size(), 10u);
    EXPECT_GT(attempts[0] - lostUs, 850000);
    EXPECT_LE(attempts[0] - lostUs, 1000000);
    const std::vector<std::int64_t> pauses = {2, 4, 8, 16, 30, 30, 30, 30, 30};
    for (std::size_t i = 0; i < pauses.size(); ++i)
        EXPECT_EQ(attempts[i + 1] - attempts[i], pauses[i] * 1000000) << i;
    // Reported once; the window went on.
    EXPECT_EQ(errors.Messages().size(), 1);
    EXPECT_TRUE(recovered.isEmpty());
    EXPECT_TRUE(f.HT2->Enabled());
    EXPECT_TRUE(f.Scope1->Active());
    // Both charts go on stepping, with gaps: the last minute of the 5-second
    // chart and the last two windows of the 30-second chart hold no trace.
    const int w1 = f.Scope1->Picture().width();
    EXPECT_FALSE(TraceIn(f.Scope1, w1 - 24, w1 - 1));
    const int w2 = f.Scope2->Picture().width();
    EXPECT_FALSE(TraceIn(f.Scope2, w2 - 4, w2 - 1));

    // The device is back: the next attempt opens it and measuring resumes.
    SetFailure("QueryFormat", 0);
    Run(70000);
    EXPECT_TRUE(f.mvi->IsStarted());
    EXPECT_FALSE(f.Capture->Missing());
    ASSERT_EQ(recovered.size(), 1) << recovered.join("; ").toStdString();
    EXPECT_TRUE(recovered[0].startsWith("The recording device Scripted input 0 delivers audio again")) << recovered[0].toStdString();
    EXPECT_EQ(errors.Messages().size(), 1);
    EXPECT_TRUE(f.D1->Enabled());
    EXPECT_TRUE(LedLit(f.D1));

    // measure.txt: readings, then a run of marked seconds, then readings.
    const QList<QByteArray> lines = Lines(Path("measure.txt"));
    ASSERT_GE(lines.size(), 200);
    const QRegularExpression format(QStringLiteral("^[* ],\\d\\d:\\d\\d:\\d\\d,\\d\\d/\\d\\d/\\d\\d,(\\d\\d|--),\\d\\d$"));
    int runs = 0;
    int silent = 0;
    for (int i = 0; i < lines.size(); ++i) {
        ASSERT_EQ(lines[i].size(), 25) << i;
        ASSERT_TRUE(format.match(QString::fromLatin1(lines[i])).hasMatch()) << lines[i].toStdString();
        silent += Silent(lines[i]) ? 1 : 0;
        if (i > 0 && Silent(lines[i]) != Silent(lines[i - 1]))
            ++runs;
    }
    EXPECT_FALSE(Silent(lines.first()));
    EXPECT_FALSE(Silent(lines.last()));
    EXPECT_EQ(runs, 2);  // into the gap and out of it
    // The gap lasted from the loss to the attempt that reopened the device.
    EXPECT_GE(silent, 200);
    EXPECT_LE(silent, 214);
    // scope2.txt: windows without audio are "--,--", the others numbers.
    const QList<QByteArray> windows = Lines(Path("scope2.txt"));
    EXPECT_GE(windows.count("--,--"), 5);
    EXPECT_NE(windows.last(), "--,--");
    for (const QByteArray& w : windows)
        EXPECT_TRUE(w == "--,--" || QRegularExpression("^\\d\\d,\\d\\d$").match(QString::fromLatin1(w)).hasMatch())
            << w.toStdString();
    // The data file flags the readings without audio.
    const QList<QByteArray> rows = Lines(station->DataFile()->Path());
    int noAudio = 0;
    for (const QByteArray& row : rows)
        noAudio += row.endsWith(",noaudio,") ? 1 : 0;
    EXPECT_GE(noAudio, 2000);
    EXPECT_TRUE(rows.last().endsWith(",ok,")) << rows.last().toStdString();
}

TEST_F(CaptureTest, ADeviceLostAgainBeforeAnyAudioIsNotReportedAgain)
{
    // The device opens but fails at once, every time, then works.
    script->loseAfter = 30;
    TMainForm& f = Open();
    ASSERT_TRUE(RunUntilLost(10000));
    const std::int64_t lostUs = test::Sim().NowUs();
    Run(20000);  // attempts at 1, 3, 7 and 15 s: each opens and is lost at once
    EXPECT_EQ(QueriesAfter(lostUs - 200000).size(), 4u);
    EXPECT_EQ(errors.Messages().size(), 1) << errors.Messages().join("; ").toStdString();
    EXPECT_TRUE(recovered.isEmpty());
    {
        std::lock_guard lock(script->mutex);
        script->loseAfter = -1;
    }
    Run(20000);  // the attempt at 31 s records
    EXPECT_TRUE(f.mvi->IsStarted());
    EXPECT_EQ(recovered.size(), 1);
    // A later loss is a new one: reported, and the pauses start again at 1 s.
    {
        std::lock_guard lock(script->mutex);
        script->loseAfter = script->delivered.load() + 20;
    }
    ASSERT_TRUE(RunUntilLost(10000));
    const std::int64_t again = test::Sim().NowUs();
    EXPECT_EQ(errors.Messages().size(), 2);
    Run(1000);
    const std::vector<std::int64_t> attempts = QueriesAfter(again - 200000);
    ASSERT_EQ(attempts.size(), 1u);
    EXPECT_LE(attempts[0] - again, 1000000);
}

TEST_F(CaptureTest, ADeviceMissingAtStartIsNamedAndRecordsOnceItAppears)
{
    script->failures["QueryFormat"] = pf::MMSYSERR_NODRIVER;
    TMainForm& f = Open();
    ASSERT_EQ(errors.Messages().size(), 1);
    EXPECT_EQ(errors.Messages()[0], QStringLiteral("WaveInOpen:\n\rScripted input 0: ") +
                                        pf::MMSystemErrorText(pf::MMSYSERR_NODRIVER) +
                                        "; it is opened again as soon as it can be");
    // The window starts as usual and logs seconds without audio.
    Run(6500);
    EXPECT_TRUE(f.HT2->Enabled());
    EXPECT_FALSE(f.mvi->IsStarted());
    QList<QByteArray> lines = Lines(Path("measure.txt"));
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines.first().left(2), "*,");
    for (const QByteArray& line : lines) {
        EXPECT_EQ(line.size(), 25);
        EXPECT_TRUE(Silent(line)) << line.toStdString();
        EXPECT_EQ(line.right(2), "00");  // no minimum known yet
    }
    // Tried at the start and after 1 and 2 s more.
    {
        std::lock_guard lock(script->mutex);
        EXPECT_EQ(script->queries, (std::vector<std::int64_t>{0, 1000000, 3000000}));
    }
    // The card is plugged in: the attempt at 7 s opens it.
    SetFailure("QueryFormat", 0);
    Run(8000);
    EXPECT_TRUE(f.mvi->IsStarted());
    EXPECT_EQ(recovered.size(), 1);
    EXPECT_EQ(errors.Messages().size(), 1);
    lines = Lines(Path("measure.txt"));
    EXPECT_FALSE(Silent(lines.last())) << lines.last().toStdString();
    for (int i = 1; i < lines.size(); ++i)
        EXPECT_EQ(lines[i][0], ' ') << i;  // one run, one marker
}

TEST_F(CaptureTest, ADeviceThatDeliversNothingWhileRunningHasNoAudio)
{
    TMainForm& f = Open();
    Run(10000);
    const int before = static_cast<int>(Lines(Path("measure.txt")).size());
    // The device stops filling buffers, and is not lost: after a while
    // without a buffer the ticks have no audio.
    f.mvi->Pause();
    Run(2500);
    EXPECT_TRUE(f.Capture->HasAudio());
    EXPECT_TRUE(f.D1->Enabled());
    Run(1000);
    EXPECT_FALSE(f.Capture->HasAudio());
    EXPECT_FALSE(f.D1->Enabled());
    Run(4500);
    f.mvi->Restart();
    Run(3000);
    EXPECT_TRUE(f.Capture->HasAudio());
    EXPECT_TRUE(f.D1->Enabled());
    const QList<QByteArray> lines = Lines(Path("measure.txt")).mid(before);
    QByteArray kinds;
    for (const QByteArray& line : lines)
        kinds += Silent(line) ? 'g' : 'n';
    // Up to three seconds after the last buffer still count (and the line
    // of the second the pause began in), then the remaining seconds of the
    // eight without buffers are marked, then readings again.
    const QRegularExpression shape(QStringLiteral("^(n{2,5})(g{4,5})n{2,}$"));
    const QRegularExpressionMatch m = shape.match(QString::fromLatin1(kinds));
    EXPECT_TRUE(m.hasMatch()) << kinds.toStdString();
    EXPECT_TRUE(errors.Messages().isEmpty());
    EXPECT_TRUE(recovered.isEmpty());  // the device was never missing
}

TEST_F(CaptureTest, TheRestoreDrawsSecondsWithoutAudioAsGaps)
{
    // Five groups with audio, five without, five with; in scope2.txt three
    // windows of each.
    QByteArray measure;
    int second = 0;
    auto add = [&](const char* mean) {
        measure += QByteArray(" ,17:") + QByteArray::number(second / 60).rightJustified(2, '0') + ":" +
                   QByteArray::number(second % 60).rightJustified(2, '0') + ",12/08/26," + mean + ",30\r\n";
        ++second;
    };
    for (int i = 0; i < 25; ++i)
        add("30");
    for (int i = 0; i < 25; ++i)
        add("--");
    for (int i = 0; i < 25; ++i)
        add("30");
    WriteAll(Path("measure.txt"), measure);
    WriteAll(Path("scope2.txt"), "30,40\r\n30,40\r\n30,40\r\n--,--\r\n--,--\r\n--,--\r\n30,40\r\n30,40\r\n30,40\r\n");
    TMainForm& f = Open();
    Run(2500);  // both charts restored, neither has stepped since
    const int w1 = f.Scope1->Picture().width();
    // Fifteen steps of 2 pixels: the gap's steps lie 10..20 pixels from the right.
    EXPECT_TRUE(TraceIn(f.Scope1, w1 - 6, w1 - 1));
    EXPECT_FALSE(TraceIn(f.Scope1, w1 - 19, w1 - 11));
    EXPECT_TRUE(TraceIn(f.Scope1, w1 - 28, w1 - 24));
    const int w2 = f.Scope2->Picture().width();
    EXPECT_TRUE(TraceIn(f.Scope2, w2 - 4, w2 - 1));
    EXPECT_FALSE(TraceIn(f.Scope2, w2 - 11, w2 - 7));
    EXPECT_TRUE(TraceIn(f.Scope2, w2 - 18, w2 - 15));
}
