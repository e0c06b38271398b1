// The main window's files when things go wrong: a settings file that is
// empty, junk or edited meanwhile, a disk that fills up, logs that are no
// regular files, a long history, and the end of a replayed recording.
#include "app/diskio.h"
#include "app/logfiles.h"
#include "app/zolu.h"
#include "displays/ledpanel.h"
#include "displays/scope.h"
#include "mixer/mixercontrol.h"
#include "mixer/mixerslider.h"
#include "platform/intervaltimer.h"
#include "platform/mixerbackend.h"
#include "platform/wavein_device.h"
#include "platform/wavein_sources.h"
#include "tests/support/file_support.h"
#include "tests/support/full_disk.h"
#include "tests/support/test_support.h"
#include "tests/support/window_test.h"
#include "timers/hitimer.h"
#include "timers/longtimer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <limits>
#include <memory>
#include <unistd.h>

using namespace zol;

namespace {

using test::FullDisk;
using test::Lines;
using test::ReadAll;
using test::WriteAll;

class MainFormFilesTest : public test::WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        platform::SetWaveInBackend(platform::MakeSimReceiverBackend());
    }
    void TearDown() override
    {
        diskio::SetWriteFunction({});
        WindowTest::TearDown();
    }
    TMainForm& Open() { return OpenForm(); }
    void Run(int ms) { test::Sim().AdvanceMs(ms); }
    QString Path(const char* name) const { return dir.filePath(name); }
    int MessagesWith(const QString& text) const
    {
        int n = 0;
        for (const QString& m : errors.Messages())
            n += m.contains(text) ? 1 : 0;
        return n;
    }
    QString AllMessages() const { return errors.Messages().join("\n"); }
};

}  // namespace

TEST_F(MainFormFilesTest, AnEmptyOrJunkSettingsFileIsReportedAndRepaired)
{
    // What a failed write at close used to leave: 0 bytes.
    WriteAll(Path("zol.ini"), "");
    TMainForm& f = Open();
    EXPECT_EQ(MessagesWith(Path("zol.ini") + " holds no [ZOLPARAMS] settings"), 1) << AllMessages().toStdString();
    const int steps = f.MMVolumeControl1->ControlInfo().Steps();
    EXPECT_EQ(f.inputlevel->Position(), steps);  // not a gain of 0: silence all run
    EXPECT_EQ(f.Measurement.DbCalibrate(), 35);
    EXPECT_EQ(ReadAll(Path("zol.ini")), "[ZOLPARAMS]\r\nBASEGAIN=" + QByteArray::number(steps) +
                                            "\r\nTHRESHOLD=30\r\nDBCALIBRATE=35\r\nCALIBRATED=0\r\n");
    CloseForm();

    // Junk keeps its lines; the settings are added after them.
    WriteAll(Path("zol.ini"), "this is not\r\na settings file\r\n");
    errors.Clear();
    Open();
    EXPECT_EQ(MessagesWith("holds no [ZOLPARAMS] settings"), 1);
    CloseForm();
    const QByteArray ini = ReadAll(Path("zol.ini"));
    EXPECT_TRUE(ini.startsWith("this is not\r\na settings file\r\n[ZOLPARAMS]\r\n"));
    EXPECT_EQ(ini.count("[ZOLPARAMS]"), 1);
    EXPECT_TRUE(ini.contains("DBCALIBRATE=35\r\n"));

    // A byte-order mark and CR line ends are read as they are meant.
    WriteAll(Path("zol.ini"), "\xEF\xBB\xBF[ZOLPARAMS]\rBASEGAIN=20\rTHRESHOLD=40\rDBCALIBRATE=33\rCALIBRATED=0\r");
    errors.Clear();
    TMainForm& g = Open();
    EXPECT_TRUE(errors.Messages().isEmpty()) << AllMessages().toStdString();
    EXPECT_EQ(g.inputlevel->Position(), 20);
    EXPECT_EQ(g.Measurement.Threshold(), 40);
    EXPECT_EQ(g.Measurement.DbCalibrate(), 33);
    CloseForm();
    EXPECT_EQ(ReadAll(Path("zol.ini")), "\xEF\xBB\xBF[ZOLPARAMS]\rBASEGAIN=20\rTHRESHOLD=40\rDBCALIBRATE=33\rCALIBRATED=0\r");
}

TEST_F(MainFormFilesTest, EditsMadeWhileRunningAreKeptAtClose)
{
    Open();
    Run(3000);
    QByteArray edited = ReadAll(Path("zol.ini"));
    edited.replace("DBCALIBRATE=35", "DBCALIBRATE=41");
    edited = "; station XX0XX\r\n" + edited + "[notes]\r\nantenna=loop\r\n";
    WriteAll(Path("zol.ini"), edited);
    form->Measurement.SetThreshold(47);
    CloseForm();
    QByteArray expected = edited;
    expected.replace("THRESHOLD=30", "THRESHOLD=47");
    EXPECT_EQ(ReadAll(Path("zol.ini")), expected);
    EXPECT_TRUE(errors.Messages().isEmpty()) << AllMessages().toStdString();
}

TEST_F(MainFormFilesTest, AFullDiskAtCloseKeepsTheSettingsFileAndSaysSo)
{
    WriteAll(Path("zol.ini"), "[ZOLPARAMS]\r\nBASEGAIN=40\r\nTHRESHOLD=50\r\nDBCALIBRATE=41\r\nCALIBRATED=1\r\n");
    TMainForm& f = Open();
    Run(3000);
    f.Measurement.SetThreshold(20);
    {
        FullDisk disk(0);
        CloseForm();
    }
    EXPECT_EQ(ReadAll(Path("zol.ini")), "[ZOLPARAMS]\r\nBASEGAIN=40\r\nTHRESHOLD=50\r\nDBCALIBRATE=41\r\nCALIBRATED=1\r\n");
    EXPECT_EQ(MessagesWith("Unable to write to " + Path("zol.ini") + ": No space left on device"), 1)
        << AllMessages().toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 3);  // no temporary file left
    // The next start reads what the station had.
    TMainForm& g = Open();
    EXPECT_EQ(g.inputlevel->Position(), 40);
    EXPECT_EQ(g.Measurement.DbCalibrate(), 41);
}

TEST_F(MainFormFilesTest, AFullDiskIsReportedOnceAndLinesResumeOnTheirOwnLines)
{
    TMainForm& f = Open();
    Run(4000);
    const int before = Lines(Path("measure.txt")).size();
    ASSERT_GE(before, 1);
    {
        FullDisk disk(11);  // the next line only fits in part
        Run(10000);
        EXPECT_EQ(ReadAll(Path("measure.txt")).size(), before * 27);  // the part was taken back
        disk.Free();
        Run(5000);
    }
    EXPECT_EQ(MessagesWith("Unable to write to " + Path("measure.txt") + ": No space left on device"), 1)
        << AllMessages().toStdString();
    const QList<QByteArray> lines = Lines(Path("measure.txt"));
    EXPECT_GE(lines.size(), before + 4);
    for (const QByteArray& line : lines)
        EXPECT_EQ(line.size(), 26) << line.toStdString();  // 25 characters and the CR
    EXPECT_LT(f.D1->Value(), 90);
}

TEST_F(MainFormFilesTest, LogsThatAreFoldersOrDevicesAreRefusedAndMeasuringGoesOn)
{
    QDir().mkdir(Path("measure.txt"));
    ASSERT_TRUE(QFile::link("/dev/zero", Path("scope2.txt")));
    TMainForm& f = Open();
    Run(5000);
    EXPECT_EQ(MessagesWith("Unable to open " + Path("measure.txt") + ": Is a directory"), 1)
        << AllMessages().toStdString();
    EXPECT_EQ(MessagesWith("Unable to open " + Path("scope2.txt") + ": Not a regular file"), 1);
    EXPECT_EQ(errors.Messages().size(), 2) << AllMessages().toStdString();
    EXPECT_TRUE(f.HT2->Enabled());
    EXPECT_TRUE(f.Scope1->Active());
    EXPECT_LT(f.D1->Value(), 90);
    CloseForm();
    EXPECT_TRUE(QDir(Path("measure.txt")).isEmpty());
}

namespace {
// A reference chart like `model`, with the steps of `history` plotted from
// `from` on (all when 0).
QImage Replay(const TScope& model, const THistory& history, size_t from = 0)
{
    TScope scope;
    scope.resize(model.Width(), model.Height());
    scope.SetColor(model.Color());
    scope.SetGridcolor(model.Gridcolor());
    scope.SetLinecolorA(model.LinecolorA());
    scope.SetLinecolorB(model.LinecolorB());
    scope.SetBasecolor(model.Basecolor());
    scope.SetGridsize(model.Gridsize());
    scope.SetBaseline(model.Baseline());
    scope.Clear();
    for (size_t i = from; i < history.steps.size(); ++i)
        scope.Plot(100 - (history.steps[i].a * 100 / 70), 100 - (history.steps[i].b * 100 / 70));
    return scope.Picture().copy();
}
}  // namespace

TEST_F(MainFormFilesTest, ALongHistoryDrawsTheChartsAFullReplayWould)
{
    // Logs longer than the part of them that is read; odd numbers of steps
    // and a group of four left over, so the grid's phase matters.
    QByteArray measure;
    for (int i = 0; i < 5 * 9001 + 4; ++i)
        measure += QByteArray(i == 0 ? "*" : " ") + ",17:00:00,12/08/26," +
                   QByteArray::number(20 + (i * 7) % 53) + "," + QByteArray::number(10 + (i / 5) % 60) + "\r\n";
    WriteAll(Path("measure.txt"), measure);
    QByteArray scope2;
    for (int i = 0; i < 160001; ++i)
        scope2 += QByteArray::number(15 + (i * 13) % 70) + "," + QByteArray::number(30 + i % 50) + "\r\n";
    WriteAll(Path("scope2.txt"), scope2);
    ASSERT_GT(measure.size(), kHistoryBytes);
    ASSERT_GT(scope2.size(), kHistoryBytes);
    TMainForm& f = Open();
    Run(2500);
    const qint64 all = std::numeric_limits<qint64>::max();
    const THistory full1 = ReadMeasureHistory(Path("measure.txt"), std::numeric_limits<int>::max(), 1, all);
    const THistory full2 = ReadScope2History(Path("scope2.txt"), std::numeric_limits<int>::max(), 1, all);
    ASSERT_EQ(full1.steps.size(), 9001u);
    ASSERT_EQ(full2.steps.size(), 160001u);
    // A chart's picture depends only on its last steps and on the phase of
    // its grid: 600 steps give the picture of their last 400.
    const int period = std::max(1, f.Scope2->Gridsize() / 2);
    THistory made;
    for (int i = 0; i < 600; ++i)
        made.steps.push_back({10 + (i * 17) % 60, 20 + (i * 7) % 50});
    EXPECT_TRUE(Replay(*f.Scope1, made) == Replay(*f.Scope1, made, 200));
    EXPECT_FALSE(Replay(*f.Scope1, made) == Replay(*f.Scope1, made, 201));  // the grid's phase shows
    // So the restored charts are those of a replay of the whole logs.
    ASSERT_EQ(8000 % period, 0);
    EXPECT_TRUE(f.Scope1->Picture() == Replay(*f.Scope1, full1, 8000));
    ASSERT_EQ(159000 % period, 0);
    EXPECT_TRUE(f.Scope2->Picture() == Replay(*f.Scope2, full2, 159000));
    EXPECT_TRUE(errors.Messages().isEmpty()) << AllMessages().toStdString();
}

TEST_F(MainFormFilesTest, TheEndOfTheInputClosesTheLastWindowAndTheRun)
{
    TMainForm& f = Open();
    Run(2000 + 47000);  // one 30-second window closed, the next half full
    ASSERT_EQ(Lines(Path("scope2.txt")).size(), 1);
    const int lines = Lines(Path("measure.txt")).size();
    // A chart step that waits for its average is not cut short.
    f.Measurement.RequestAverage();
    f.EndOfInput();
    EXPECT_TRUE(f.HT2->Enabled());
    f.HT2Timer();  // the next reading delivers it
    f.HT2Timer();  // and one more begins the next average
    ASSERT_FALSE(f.Measurement.AverageRequested());
    ASSERT_EQ(f.Measurement.AverageCount(), 1);

    f.EndOfInput();
    EXPECT_FALSE(f.HT2->Enabled());
    EXPECT_FALSE(f.Scope1->Active());
    EXPECT_FALSE(f.Scope2->Active());
    ASSERT_EQ(Lines(Path("scope2.txt")).size(), 2);  // the window it had data for
    EXPECT_EQ(f.Measurement.WindowUpdates(), 0);
    EXPECT_EQ(f.Measurement.AverageCount(), 0);
    Run(1000);
    EXPECT_EQ(Lines(Path("measure.txt")).size(), lines + 1);  // the last second, no more
    Run(5000);
    EXPECT_TRUE(f.Closed());
    EXPECT_EQ(Lines(Path("measure.txt")).size(), lines + 1);
    EXPECT_EQ(Lines(Path("scope2.txt")).size(), 2);
    EXPECT_TRUE(errors.Messages().isEmpty()) << AllMessages().toStdString();
}
