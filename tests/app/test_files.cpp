#include "app/inifile.h"
#include "app/logfiles.h"
#include "platform/errors.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>


using namespace zol;

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
        EXPECT_EQ(e.Message(), "Unable to write to " + notADir + "/zol.ini");
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

TEST(LogFiles, AppendReadBackAndCutLastLine)
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
    // A power cut left half a line behind.
    QFile f(path);
    f.open(QIODevice::Append);
    f.write(" ,17:05:1");
    f.close();
    TTextLog log(path);
    QStringList lines = log.ReadLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[1], " ,17:05:1");
    log.OpenAppend();
    log.AppendLine(" ,17:06:00,12/08/26,30,07");
    log.Close();
    lines = log.ReadLines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[2], " ,17:06:00,12/08/26,30,07");  // not glued to the cut line
    EXPECT_TRUE(ReadAll(path).endsWith("30,07\r\n"));

    // Binary junk and mixed line ends read as lines of bytes.
    WriteAll(path, QByteArray("a\rb\nc\r\n\0\xff\r\n", 11));
    lines = log.ReadLines();
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[3].size(), 2);

    // Appending to a closed log is an error, not a crash.
    EXPECT_THROW(log.AppendLine("x"), EInOutError);
    TTextLog missing(dir.filePath("nodir/measure.txt"));
    EXPECT_THROW(missing.ReadLines(), EInOutError);
    EXPECT_THROW(missing.OpenAppend(), EInOutError);
}
