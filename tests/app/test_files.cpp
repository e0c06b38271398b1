#include "app/diskio.h"
#include "app/inifile.h"
#include "app/logfiles.h"
#include "platform/errors.h"
#include "tests/support/file_support.h"
#include "tests/support/full_disk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

using namespace zol;

namespace {

using test::FullDisk;
using test::ReadAll;
using test::WriteAll;

QString MessageOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const EMMError& e) {
        return e.Message();
    }
    return QString();
}

QStringList FilesIn(const QTemporaryDir& dir)
{
    return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}
}  // namespace

TEST(IniFile, ReadsCaseInsensitivelyWithDefaultsAndHex)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("zol.ini");
    WriteAll(path, "; comment kept\r\n[other]\r\nBASEGAIN=99\r\n[zolparams]\r\nbasegain = 12\r\n"
                   "THRESHOLD=0x1E\r\nDBCALIBRATE=abc\r\nCALIBRATED=2\r\nX=0x\r\nY=0xZZ\r\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("ZOLPARAMS", "BASEGAIN", 0), 12);
    EXPECT_EQ(ini.ReadInteger("ZOLPARAMS", "THRESHOLD", 30), 30);  // 0x1E
    EXPECT_EQ(ini.ReadInteger("ZOLPARAMS", "DBCALIBRATE", 30), 30);
    EXPECT_TRUE(ini.ReadBool("ZOLPARAMS", "CALIBRATED", false));
    EXPECT_EQ(ini.ReadInteger("ZOLPARAMS", "X", 7), 7);  // "0x" alone is no number
    EXPECT_EQ(ini.ReadInteger("ZOLPARAMS", "Y", 7), 7);
    EXPECT_EQ(ini.ReadInteger("ZOLPARAMS", "MISSING", -4), -4);
    int v = 0;
    EXPECT_TRUE(TIniFile::ParseInteger("-17", v));
    EXPECT_EQ(v, -17);
    EXPECT_FALSE(TIniFile::ParseInteger("99999999999", v));
    EXPECT_FALSE(TIniFile::ParseInteger("12abc", v));
    // Letters beyond ASCII are no hexadecimal digits (and never reach the C
    // library's character classes, which take only bytes).
    EXPECT_FALSE(TIniFile::ParseInteger(QString::fromUtf8("0x1\u00e9"), v));
    EXPECT_FALSE(TIniFile::ParseInteger(QString::fromUtf8("0x\u0661"), v));

    // Writing keeps what it does not understand and other sections.
    ini.WriteInteger("ZOLPARAMS", "BASEGAIN", 40);
    ini.WriteBool("ZOLPARAMS", "NEWKEY", true);
    const QByteArray after = ReadAll(path);
    EXPECT_TRUE(after.contains("; comment kept\r\n"));
    EXPECT_TRUE(after.contains("[other]\r\nBASEGAIN=99\r\n"));
    EXPECT_TRUE(after.contains("BASEGAIN=40\r\n"));
    EXPECT_TRUE(after.contains("NEWKEY=1\r\n"));
    EXPECT_FALSE(after.contains("basegain = 12"));
    TIniFile again(path);
    EXPECT_EQ(again.ReadInteger("ZOLPARAMS", "BASEGAIN", 0), 40);
    EXPECT_EQ(again.ReadInteger("other", "basegain", 0), 99);
}

TEST(IniFile, GarbageIsKeptAndNewFileCreated)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("zol.ini");
    const QByteArray junk("\x01\x02\xff\xfe garbage without equals\r\n=novalue\r\n[ZOLPARAMS\r\n");
    WriteAll(path, junk);
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("ZOLPARAMS", "THRESHOLD", 30), 30);
    ini.WriteInteger("ZOLPARAMS", "THRESHOLD", 50);
    const QByteArray after = ReadAll(path);
    EXPECT_TRUE(after.startsWith(junk));
    EXPECT_TRUE(after.endsWith("[ZOLPARAMS]\r\nTHRESHOLD=50\r\n"));

    TIniFile fresh(dir.filePath("new.ini"));
    EXPECT_FALSE(fresh.SectionExists("ZOLPARAMS"));
    fresh.WriteInteger("ZOLPARAMS", "BASEGAIN", 64);
    EXPECT_EQ(ReadAll(dir.filePath("new.ini")), QByteArray("[ZOLPARAMS]\r\nBASEGAIN=64\r\n"));
}

TEST(IniFile, RefusedWriteRaisesUnableToWrite)
{
    // A folder that is a plain file refuses every write, also to root.
    QTemporaryDir dir;
    const QString notADir = dir.filePath("file");
    WriteAll(notADir, "x");
    TIniFile ini(notADir + "/zol.ini");
    EXPECT_EQ(ini.ReadInteger("ZOLPARAMS", "BASEGAIN", 5), 5);
    try {
        ini.WriteInteger("ZOLPARAMS", "BASEGAIN", 1);
        FAIL() << "no error";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.Message(), "Unable to write to " + notADir +
                                  "/zol.ini: no new file can be made in its folder (Not a directory)");
    }
    // The refused value is not kept as if it had been written.
    EXPECT_EQ(ini.ReadInteger("ZOLPARAMS", "BASEGAIN", 5), 5);
}

TEST(LogFiles, LineFormatsAndFields)
{
    EXPECT_EQ(TwoCharField(7), "07");
    EXPECT_EQ(TwoCharField(35), "35");
    EXPECT_EQ(TwoCharField(0), "00");
    EXPECT_EQ(TwoCharField(123), "12");
    const QString line = MeasureLine('*', "17:05:09", "12/08/26", 31, 7);
    EXPECT_EQ(line, "*,17:05:09,12/08/26,31,07");
    EXPECT_EQ(line.size(), 25);
    EXPECT_EQ(Scope2Line(35, 50), "35,50");
    // A second and a window without audio keep the lengths; "--" stands
    // where the numbers would.
    const QString silent = MeasureLine(' ', "17:05:10", "12/08/26", kNoAudio, 7);
    EXPECT_EQ(silent, " ,17:05:10,12/08/26,--,07");
    EXPECT_EQ(silent.size(), 25);
    EXPECT_EQ(Scope2Line(kNoAudio, kNoAudio), "--,--");
    EXPECT_TRUE(IsNoAudioField("--", 2));
    EXPECT_FALSE(IsNoAudioField("-1", 2));
    EXPECT_FALSE(IsNoAudioField("--", 1));

    int v = 0;
    EXPECT_TRUE(ParseField("07", v));
    EXPECT_EQ(v, 7);
    EXPECT_TRUE(ParseField(" 7", v));
    EXPECT_EQ(v, 7);
    EXPECT_TRUE(ParseField("-5", v));
    EXPECT_EQ(v, -5);
    EXPECT_FALSE(ParseField("7 ", v));
    EXPECT_FALSE(ParseField("", v));
    EXPECT_FALSE(ParseField("  ", v));
    EXPECT_FALSE(ParseField("x1", v));
}

TEST(LogFiles, AppendAndCutLastLine)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("measure.txt");
    {
        TTextLog log(path);
        EXPECT_FALSE(log.Exists());
        log.Create();
        EXPECT_TRUE(log.Exists());
        log.AppendLine("*,17:05:09,12/08/26,31,07");
        log.Flush();
        log.Close();
    }
    // A power cut left half a line behind: it is ended before the next.
    QFile f(path);
    f.open(QIODevice::Append);
    f.write(" ,17:05:1");
    f.close();
    TTextLog log(path);
    log.OpenAppend();
    log.AppendLine(" ,17:06:00,12/08/26,30,07");
    log.Close();
    EXPECT_EQ(ReadAll(path), "*,17:05:09,12/08/26,31,07\r\n ,17:05:1\r\n ,17:06:00,12/08/26,30,07\r\n");

    // Appending to a closed log is an error, not a crash.
    EXPECT_THROW(log.AppendLine("x"), EInOutError);
    TTextLog missing(dir.filePath("nodir/measure.txt"));
    EXPECT_EQ(MessageOf([&] { missing.OpenAppend(); }),
              "Unable to open " + dir.filePath("nodir/measure.txt") + ": No such file or directory");
    EXPECT_THROW(ReadMeasureHistory(dir.filePath("nodir/measure.txt"), 10, 1), EInOutError);
}

TEST(IniFile, AWriteKeepsWhatWasEditedMeanwhile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("zol.ini");
    WriteAll(path, "[ZOLPARAMS]\r\nBASEGAIN=10\r\nTHRESHOLD=30\r\nDBCALIBRATE=35\r\nCALIBRATED=0\r\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("ZOLPARAMS", "DBCALIBRATE", 0), 35);
    // The station edits the file while zol runs.
    WriteAll(path, "; set by hand\r\n[ZOLPARAMS]\r\nBASEGAIN=10\r\nTHRESHOLD=30\r\nDBCALIBRATE=41\r\n"
                   "CALIBRATED=0\r\n[station]\r\ncall=XX0XX\r\n");
    ini.WriteValues("ZOLPARAMS", {{"BASEGAIN", "7"}, {"CALIBRATED", "1"}, {"THRESHOLD", "50"}});
    EXPECT_EQ(ReadAll(path), "; set by hand\r\n[ZOLPARAMS]\r\nBASEGAIN=7\r\nTHRESHOLD=50\r\nDBCALIBRATE=41\r\n"
                             "CALIBRATED=1\r\n[station]\r\ncall=XX0XX\r\n");
    EXPECT_EQ(ini.ReadInteger("ZOLPARAMS", "DBCALIBRATE", 0), 41);
    // A file removed meanwhile is written again from what was read.
    QFile::remove(path);
    ini.WriteInteger("ZOLPARAMS", "BASEGAIN", 8);
    EXPECT_TRUE(ReadAll(path).contains("DBCALIBRATE=41\r\n"));
    EXPECT_TRUE(ReadAll(path).contains("BASEGAIN=8\r\n"));
    EXPECT_EQ(FilesIn(dir), QStringList{"zol.ini"});  // nothing left beside it
}

TEST(IniFile, ByteOrderMarkAndLineEndsAreKept)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("zol.ini");
    struct Case {
        QByteArray text, written;
    };
    const Case cases[] = {
        {"\xEF\xBB\xBF[ZOLPARAMS]\r\nTHRESHOLD=44\r\n", "\xEF\xBB\xBF[ZOLPARAMS]\r\nTHRESHOLD=50\r\n"},
        {"[ZOLPARAMS]\rTHRESHOLD=44\r; note\r", "[ZOLPARAMS]\rTHRESHOLD=50\r; note\r"},
        {"\xEF\xBB\xBF[zolparams]\nTHRESHOLD=44", "\xEF\xBB\xBF[zolparams]\nTHRESHOLD=50\n"},
    };
    for (const Case& c : cases) {
        WriteAll(path, c.text);
        TIniFile ini(path);
        EXPECT_EQ(ini.ReadInteger("ZOLPARAMS", "THRESHOLD", 0), 44) << c.text.toStdString();
        ini.WriteInteger("ZOLPARAMS", "THRESHOLD", 50);
        EXPECT_EQ(ReadAll(path), c.written);  // no second section
    }
}

TEST(IniFile, AFailedWriteNeverReplacesTheFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("zol.ini");
    const QByteArray before("[ZOLPARAMS]\r\nBASEGAIN=12\r\nTHRESHOLD=50\r\nDBCALIBRATE=41\r\nCALIBRATED=1\r\n");
    WriteAll(path, before);
    TIniFile ini(path);
    const TIniFile::TValues values{{"BASEGAIN", "3"}, {"CALIBRATED", "0"}, {"THRESHOLD", "30"}};
    for (qint64 room : {0, 11, 60}) {
        FullDisk disk(room);
        EXPECT_EQ(MessageOf([&] { ini.WriteValues("ZOLPARAMS", values); }),
                  "Unable to write to " + path + ": No space left on device");
        EXPECT_EQ(ReadAll(path), before) << room;  // not one key of the three
        EXPECT_EQ(FilesIn(dir), QStringList{"zol.ini"});
        EXPECT_EQ(ini.ReadInteger("ZOLPARAMS", "BASEGAIN", 0), 12);
    }
    // Written, but not onto the disk.
    diskio::SetSyncFunction([](int) {
        errno = EIO;
        return -1;
    });
    EXPECT_EQ(MessageOf([&] { ini.WriteValues("ZOLPARAMS", values); }),
              "Unable to write to " + path + ": Input/output error");
    diskio::SetSyncFunction({});
    EXPECT_EQ(ReadAll(path), before);

    // A settings file that is a folder, or a link to an endless device, is
    // neither read nor replaced.
    const QString folder = dir.filePath("folder.ini");
    QDir().mkdir(folder);
    TIniFile inFolder(folder);
    EXPECT_EQ(inFolder.ReadError(), EISDIR);
    EXPECT_EQ(MessageOf([&] { inFolder.WriteInteger("ZOLPARAMS", "BASEGAIN", 1); }),
              "Unable to write to " + folder + ": Is a directory");
    const QString zero = dir.filePath("zero.ini");
    ASSERT_TRUE(QFile::link("/dev/zero", zero));
    TIniFile endless(zero);
    EXPECT_EQ(endless.ReadError(), diskio::kNotRegularFile);
    EXPECT_THROW(endless.WriteInteger("ZOLPARAMS", "BASEGAIN", 1), EInOutError);

    // A link to a settings file elsewhere: the file is replaced, the link stays.
    const QString link = dir.filePath("link.ini");
    ASSERT_TRUE(QFile::link(path, link));
    TIniFile linked(link);
    linked.WriteInteger("ZOLPARAMS", "BASEGAIN", 5);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_TRUE(ReadAll(path).contains("BASEGAIN=5\r\n"));
}

TEST(IniFile, AReadOnlyFileOrFolderIsNotReplaced)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not hold back root (tests/scripts/fault_test.sh runs this as another user)";
    QTemporaryDir dir;
    const QString path = dir.filePath("zol.ini");
    WriteAll(path, "[ZOLPARAMS]\r\nBASEGAIN=12\r\n");
    ::chmod(QFile::encodeName(path).constData(), 0444);
    TIniFile ini(path);
    EXPECT_EQ(MessageOf([&] { ini.WriteInteger("ZOLPARAMS", "BASEGAIN", 3); }),
              "Unable to write to " + path + ": Permission denied");
    EXPECT_EQ(ReadAll(path), "[ZOLPARAMS]\r\nBASEGAIN=12\r\n");
    ::chmod(QFile::encodeName(path).constData(), 0644);
    ::chmod(QFile::encodeName(dir.path()).constData(), 0555);
    EXPECT_EQ(MessageOf([&] { ini.WriteInteger("ZOLPARAMS", "BASEGAIN", 3); }),
              "Unable to write to " + path + ": no new file can be made in its folder (Permission denied)");
    ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
    EXPECT_EQ(ReadAll(path), "[ZOLPARAMS]\r\nBASEGAIN=12\r\n");
}

TEST(LogFiles, AFailedWriteIsTakenBackAndReportedOnce)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("measure.txt");
    const QString line = " ,17:05:09,12/08/26,31,07";
    TTextLog log(path);
    log.Create();
    log.AppendLine(line);
    log.Flush();
    {
        FullDisk disk(11);  // the next line fits in part only
        EXPECT_EQ(MessageOf([&] { log.AppendLine(line); }), "Unable to write to " + path + ": No space left on device");
        EXPECT_EQ(ReadAll(path).size(), 27);  // the 11 bytes are taken back
        EXPECT_TRUE(log.Failing());
        // The same failure again: raised, but as one already reported.
        EXPECT_THROW(log.AppendLine(line), ELogStillFailing);
        disk.Free(1000);  // space comes back
        log.AppendLine(line);
        log.Flush();
        EXPECT_FALSE(log.Failing());
        disk.Free(0);
        EXPECT_THROW(
            try { log.AppendLine(line); } catch (const ELogStillFailing&) { FAIL() << "a new failure stayed quiet"; },
            EInOutError);
    }
    log.Close();
    EXPECT_EQ(ReadAll(path), (line + "\r\n" + line + "\r\n").toLatin1());

    // A line cut by a power cut that cannot be ended at once (the disk is
    // full at start) is ended before the next line.
    WriteAll(path, (line + "\r\n ,17:0").toLatin1());
    TTextLog cut(path);
    {
        FullDisk disk(0);
        cut.OpenAppend();
        EXPECT_TRUE(cut.IsOpen());
        EXPECT_THROW(cut.AppendLine(line), EInOutError);
    }
    cut.AppendLine(line);
    cut.Close();
    EXPECT_EQ(ReadAll(path), (line + "\r\n ,17:0\r\n" + line + "\r\n").toLatin1());
}

TEST(LogFiles, ALogThatSyncsEveryFewLinesSyncsTheRestAtClose)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("measure.txt");
    const QString line = " ,17:05:09,12/08/26,31,07";
    int syncs = 0;
    int failSync = 0;  // errno the next sync fails with (0: none)
    diskio::SetSyncFunction([&](int fd) {
        ++syncs;
        if (failSync != 0) {
            errno = failSync;
            return -1;
        }
        return ::fdatasync(fd);
    });
    {
        // By default every flush syncs, with or without a new line.
        TTextLog log(path);
        log.Create();
        log.Flush();
        log.AppendLine(line);
        log.Flush();
        EXPECT_EQ(syncs, 2);
        log.Close();  // nothing left to sync
        EXPECT_EQ(syncs, 2);
    }
    syncs = 0;
    TTextLog log(path);
    log.OpenAppend();
    log.SetSyncEvery(3);
    for (int i = 1; i <= 7; ++i) {
        log.AppendLine(line);
        log.Flush();
        EXPECT_EQ(syncs, i / 3) << i;
    }
    // Every line is in the file at once, whole, synced or not.
    EXPECT_EQ(ReadAll(path).size(), 8 * 27);
    // Closing syncs the seventh line; a failure there is reported, and the
    // file is closed all the same.
    failSync = EIO;
    EXPECT_EQ(MessageOf([&] { log.Close(); }), "Unable to write to " + path + ": Input/output error");
    EXPECT_EQ(syncs, 3);
    EXPECT_FALSE(log.IsOpen());
    diskio::SetSyncFunction({});
    EXPECT_EQ(ReadAll(path).size(), 8 * 27);
}

TEST(LogFiles, OnlyRegularFilesAreLogsAndOpenFailuresSayWhy)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("measure.txt");
    QDir().mkdir(folder);
    TTextLog inFolder(folder);
    EXPECT_EQ(MessageOf([&] { inFolder.CheckRegular(); }), "Unable to open " + folder + ": Is a directory");
    EXPECT_EQ(MessageOf([&] { inFolder.OpenAppend(); }), "Unable to open " + folder + ": Is a directory");
    EXPECT_EQ(MessageOf([&] { ReadMeasureHistory(folder, 10, 1); }), "Unable to read " + folder + ": Is a directory");

    for (const char* device : {"/dev/zero", "/dev/urandom"}) {
        const QString link = dir.filePath(QString("dev%1.txt").arg(QFileInfo(device).fileName()));
        ASSERT_TRUE(QFile::link(device, link));
        TTextLog log(link);
        EXPECT_EQ(MessageOf([&] { log.CheckRegular(); }), "Unable to open " + link + ": Not a regular file");
        EXPECT_THROW(log.OpenAppend(), EInOutError);
        EXPECT_EQ(MessageOf([&] { ReadScope2History(link, 10, 1); }), "Unable to read " + link + ": Not a regular file");
    }
    // A pipe with no writer does not hang the reader.
    const QString fifo = dir.filePath("scope2.txt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
    EXPECT_EQ(MessageOf([&] { ReadScope2History(fifo, 10, 1); }), "Unable to read " + fifo + ": Not a regular file");
    TTextLog pipe(fifo);
    EXPECT_THROW(pipe.OpenAppend(), EInOutError);
}

namespace {
QByteArray MeasureLines(int from, int count)
{
    QByteArray data;
    data.reserve(count * 27);
    for (int i = from; i < from + count; ++i) {
        const int mean = 20 + (i * 7) % 53;
        const int min = i % 11 == 0 ? 0 : 15 + (i * 3) % 31;
        data += (i == 0 ? "*" : " ") + QByteArray(",17:00:00,12/08/26,") +
                QByteArray::number(mean).rightJustified(2, '0') + "," + QByteArray::number(min).rightJustified(2, '0') +
                "\r\n";
    }
    return data;
}

void ExpectSameSteps(const THistory& tail, const THistory& full)
{
    ASSERT_EQ(tail.steps.size(), full.steps.size());
    for (size_t i = 0; i < tail.steps.size(); ++i) {
        EXPECT_EQ(tail.steps[i].a, full.steps[i].a) << i;
        EXPECT_EQ(tail.steps[i].b, full.steps[i].b) << i;
    }
    EXPECT_EQ(tail.skipped, full.skipped);
}
}  // namespace

TEST(LogFiles, LinesWithoutAudioAreGapsInTheHistory)
{
    QTemporaryDir dir;
    const QString measure = dir.filePath("measure.txt");
    const QString scope2 = dir.filePath("scope2.txt");
    auto line = [](int second, const char* mean, const char* min) {
        return QByteArray(" ,17:05:") + QByteArray::number(second).rightJustified(2, '0') + ",12/08/26," + mean +
               "," + min + "\r\n";
    };
    QByteArray text;
    // A group with audio, one without, one partly without (the fifth line
    // silent, its minimum known), one partly without whose fifth line has no
    // minimum, and one with the marker in the minimum field's place (junk).
    for (int i = 0; i < 5; ++i)
        text += line(i, "40", "35");
    for (int i = 5; i < 10; ++i)
        text += line(i, "--", "35");
    text += line(10, "30", "00") + line(11, "34", "00") + line(12, "--", "00") + line(13, "--", "00") +
            line(14, "--", "33");
    text += line(15, "20", "00") + line(16, "--", "00") + line(17, "--", "00") + line(18, "--", "00") +
            line(19, "--", "00");
    WriteAll(measure, text);
    THistory h = ReadMeasureHistory(measure, 100, 1);
    ASSERT_EQ(h.steps.size(), 4u);
    EXPECT_EQ(h.steps[0].a, 40);
    EXPECT_EQ(h.steps[0].b, 35);
    EXPECT_EQ(h.steps[1].a, kNoAudio);
    EXPECT_EQ(h.steps[1].b, kNoAudio);
    EXPECT_EQ(h.steps[2].a, 32);  // (30 + 34) div 2: silent lines add no mean
    EXPECT_EQ(h.steps[2].b, 33);
    EXPECT_EQ(h.steps[3].a, 20);
    EXPECT_EQ(h.steps[3].b, 20);  // the group's mean stands in for the missing minimum
    EXPECT_NE(h.steps[1].utcMs, kNoTime);

    WriteAll(scope2, "35,50\r\n--,--\r\n--,40\r\nxx,--\r\n");
    h = ReadScope2History(scope2, 100, 1);
    ASSERT_EQ(h.steps.size(), 4u);
    EXPECT_EQ(h.steps[0].a, 35);
    EXPECT_EQ(h.steps[1].a, kNoAudio);
    EXPECT_EQ(h.steps[1].b, kNoAudio);
    EXPECT_EQ(h.steps[2].a, kNoAudio);
    EXPECT_EQ(h.steps[2].b, 40);
    EXPECT_EQ(h.steps[3].a, 25);  // unreadable, as before
    EXPECT_EQ(h.steps[3].b, kNoAudio);
}

TEST(LogFiles, ALongHistoryIsReadFromItsEndAsAFullReadWouldGiveIt)
{
    QTemporaryDir dir;
    const QString measure = dir.filePath("measure.txt");
    const QString scope2 = dir.filePath("scope2.txt");
    const qint64 unlimited = std::numeric_limits<qint64>::max();
    // Well-formed logs a few times the part that is read; the last group
    // of measure.txt is one line short and not drawn.
    WriteAll(measure, MeasureLines(0, 5 * 10000 + 4));
    QByteArray lines2;
    for (int i = 0; i < 200000; ++i)
        lines2 += QByteArray::number(10 + i % 80).rightJustified(2, '0') + "," +
                  QByteArray::number(20 + i % 70).rightJustified(2, '0') + "\r\n";
    WriteAll(scope2, lines2);
    for (int period : {1, 2, 3}) {
        const THistory tail = ReadMeasureHistory(measure, 329, period);
        const THistory full = ReadMeasureHistory(measure, 329, period, unlimited);
        EXPECT_LE(tail.bytesRead, kHistoryBytes + 135);
        EXPECT_EQ(full.bytesRead, (5 * 10000 + 4) * 27);
        ExpectSameSteps(tail, full);
        EXPECT_EQ(tail.skipped % period, 0);
        EXPECT_GE(tail.steps.size(), 329u);
        EXPECT_EQ(tail.skipped + static_cast<qint64>(tail.steps.size()), 10000);
        const THistory tail2 = ReadScope2History(scope2, 329, period);
        const THistory full2 = ReadScope2History(scope2, 329, period, unlimited);
        EXPECT_LE(tail2.bytesRead, kHistoryBytes + 7);
        ExpectSameSteps(tail2, full2);
        EXPECT_EQ(tail2.steps.back().a, 10 + 199999 % 80);
    }

    // 200 MB that the station never wrote (a hole) before a well-formed end:
    // the restore reads its end only, in bounded memory.
    const qint64 hole = 200LL * 1000 * 1000 / 135 * 135;
    {
        QFile f(measure);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_TRUE(f.resize(hole));
        f.seek(hole);
        f.write("\r\n" + MeasureLines(1, 50));
    }
    const THistory big = ReadMeasureHistory(measure, 329, 2);
    EXPECT_LE(big.bytesRead, kHistoryBytes + 135);
    ASSERT_EQ(big.steps.size(), 10u);  // the 50 lines after the hole
    // The last group: lines 46 to 50 (means 20 + (i * 7) % 53; minimum of line 50).
    EXPECT_EQ(big.steps.back().a, (20 * 5 + (46 * 7) % 53 + (47 * 7) % 53 + (48 * 7) % 53 + (49 * 7) % 53 + (50 * 7) % 53) / 5);
    EXPECT_EQ(big.steps.back().b, 15 + (50 * 3) % 31);
    // One endless line: nothing to draw, and no more than the end is read.
    {
        QFile f(scope2);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_TRUE(f.resize(hole));
    }
    const THistory endless = ReadScope2History(scope2, 329, 2);
    EXPECT_LE(endless.bytesRead, kHistoryBytes + 7);
    EXPECT_TRUE(endless.steps.empty());
}
