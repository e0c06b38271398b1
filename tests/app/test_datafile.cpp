#include "app/datafile.h"
#include "app/diskio.h"
#include "app/inifile.h"
#include "app/logfiles.h"
#include "app/stationinfo.h"
#include "platform/errors.h"
#include "tests/support/file_support.h"
#include "tests/support/full_disk.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <cerrno>
#include <unistd.h>

using namespace zol;

namespace {

using test::FullDisk;
using test::ReadAll;

qint64 Utc(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC).toMSecsSinceEpoch();
}

TDataHead Head()
{
    TDataHead head;
    head.program = "zol 9.8.7";
    head.runStartedUtcMs = Utc(2026, 8, 12, 23, 59, 58);
    head.station.callSign = "PA0ZZZ";
    head.station.locator = "JO22";
    head.station.latitude = 52.5;
    head.station.longitude = -4.25;
    head.station.receiver = "Home-made direct conversion";
    head.station.transmitter = "Longwave 198";
    head.station.frequencyKHz = 198;
    head.station.notes = "Antenne: 20 m Draht, Zürich";
    head.device = "simulated receiver";
    head.band = "550-750";
    head.gainSteps = 63;
    return head;
}

// The data rows (lines that are no comment) of a file.
QList<QByteArray> Rows(const QString& path)
{
    QList<QByteArray> rows;
    for (const QByteArray& line : ReadAll(path).split('\n'))
        if (!line.isEmpty() && !line.startsWith('#'))
            rows << line.chopped(line.endsWith('\r') ? 1 : 0);
    return rows;
}

int CountOf(const QString& path, const QByteArray& text)
{
    return static_cast<int>(ReadAll(path).count(text));
}

}  // namespace

TEST(DataFile, HeadAndRowsHaveTheDocumentedFormat)
{
    const QStringList head = DataHeadLines(Head());
    const QStringList expected = {
        "# zol station data: one row per reading, ten a second, times in UTC",
        "# program: zol 9.8.7",
        "# run_started: 2026-08-12T23:59:58.000Z",
        "# station_callsign: PA0ZZZ",
        "# station_locator: JO22",
        "# station_latitude: 52.5",
        "# station_longitude: -4.25",
        "# station_receiver: Home-made direct conversion",
        "# station_transmitter: Longwave 198",
        "# station_frequency_khz: 198",
        QString::fromUtf8("# station_notes: Antenne: 20 m Draht, Zürich"),
        "# sound_device: simulated receiver",
        "# sample_rate_hz: 11025",
        "# band_hz: 550-750",
        "# gain_steps: 63",
        "# path_midpoint_latitude:",
        "# path_midpoint_longitude:",
        "# time_utc: the time of the reading, ISO 8601 in UTC to the millisecond",
        "# db: the dB reading, whole dB below full scale (0 full scale .. 90 silence; larger is weaker)",
        "# peak: the largest sample magnitude after the band-pass filter that the reading was made from "
        "(0 .. 32768 = full scale)",
        "# gain: the recording gain slider's position (0 .. gain_steps)",
        "# flag: ok, overload (the input reached full scale) or noaudio (the device gave no audio)",
        "# obscuration_pct: the share of the Sun's disc covered by the Moon at the path's midpoint (percent, "
        "0.0 .. 100.0); empty without both ends of the path in zol.ini, or on a day without an eclipse there",
        "# new columns are added at the end of a row only; lines that begin with # are comments",
        "# columns: time_utc,db,peak,gain,flag,obscuration_pct",
    };
    EXPECT_EQ(head, expected);

    // Keys without a value keep their line, without a trailing blank.
    TDataHead bare;
    bare.program = "zol 1";
    const QStringList b = DataHeadLines(bare);
    EXPECT_EQ(b.size(), expected.size());
    EXPECT_EQ(b[3], "# station_callsign:");
    EXPECT_EQ(b[5], "# station_latitude:");

    EXPECT_EQ(DataRow({Utc(2026, 8, 12, 17, 0, 2, 100), 35, 584, 62, rfOk}), "2026-08-12T17:00:02.100Z,35,584,62,ok,");
    EXPECT_EQ(DataRow({Utc(2026, 1, 2, 3, 4, 5, 6), 0, 32768, 0, rfOverload}),
              "2026-01-02T03:04:05.006Z,0,32768,0,overload,");
    EXPECT_EQ(DataRow({Utc(2026, 1, 2, 3, 4, 5), 90, 0, 7, rfNoAudio}), "2026-01-02T03:04:05.000Z,90,0,7,noaudio,");
    // The obscuration at the path's midpoint, to a tenth of a percent.
    EXPECT_EQ(DataRow({Utc(2024, 4, 8, 18, 53, 37), 40, 900, 7, rfOk, 97.96}), "2024-04-08T18:53:37.000Z,40,900,7,ok,98.0");
    EXPECT_EQ(DataRow({Utc(2024, 4, 8, 17, 0, 0), 40, 900, 7, rfOk, 0.0}), "2024-04-08T17:00:00.000Z,40,900,7,ok,0.0");
    EXPECT_EQ(DataFileName(QDate(2026, 8, 2)), "zol-2026-08-02-UTC.csv");
}

TEST(DataFile, UtcMidnightSplitsTheFilesWithoutLosingOrRepeatingAReading)
{
    QTemporaryDir dir;
    const qint64 start = Utc(2026, 8, 12, 23, 59, 58);
    {
        TDataFile file(dir.path(), Head());
        for (int i = 0; i < 40; ++i)  // 23:59:58.000 .. 00:00:01.900
            file.Append({start + 100 * i, i % 91, i, 5, rfOk});
        EXPECT_TRUE(file.Path().endsWith("zol-2026-08-13-UTC.csv"));
    }
    const QString day1 = dir.filePath("zol-2026-08-12-UTC.csv");
    const QString day2 = dir.filePath("zol-2026-08-13-UTC.csv");
    const QList<QByteArray> rows1 = Rows(day1);
    const QList<QByteArray> rows2 = Rows(day2);
    ASSERT_EQ(rows1.size(), 20);
    ASSERT_EQ(rows2.size(), 20);
    EXPECT_EQ(rows1.first(), "2026-08-12T23:59:58.000Z,0,0,5,ok,");
    EXPECT_EQ(rows1.last(), "2026-08-12T23:59:59.900Z,19,19,5,ok,");
    EXPECT_EQ(rows2.first(), "2026-08-13T00:00:00.000Z,20,20,5,ok,");
    EXPECT_EQ(rows2.last(), "2026-08-13T00:00:01.900Z,39,39,5,ok,");
    // Each file begins with its head; whole CR LF lines only.
    for (const QString& path : {day1, day2}) {
        EXPECT_TRUE(ReadAll(path).startsWith("# zol station data"));
        EXPECT_EQ(CountOf(path, "# columns:"), 1);
        EXPECT_EQ(CountOf(path, "\n"), CountOf(path, "\r\n"));
        EXPECT_TRUE(ReadAll(path).endsWith("\r\n"));
    }

    // A restart appends to the day's file under a head of its own.
    {
        TDataFile file(dir.path(), Head());
        file.Append({Utc(2026, 8, 13, 0, 5, 0), 40, 100, 6, rfNoAudio});
    }
    EXPECT_EQ(CountOf(day2, "# columns:"), 2);
    ASSERT_EQ(Rows(day2).size(), 21);
    EXPECT_EQ(Rows(day2).last(), "2026-08-13T00:05:00.000Z,40,100,6,noaudio,");
    EXPECT_EQ(Rows(day1).size(), 20);
}

TEST(DataFile, RowsReachTheDiskEverySecondAndAtClose)
{
    QTemporaryDir dir;
    int syncs = 0;
    diskio::SetSyncFunction([&](int fd) {
        ++syncs;
        return ::fdatasync(fd);
    });
    {
        TDataFile file(dir.path(), Head());
        const qint64 start = Utc(2026, 8, 12, 12, 0, 0);
        for (int i = 0; i < 35; ++i)
            file.Append({start + 100 * i, 30, 1000, 5, rfOk});
        // The first row, then one each second of readings (3.4 s).
        EXPECT_EQ(syncs, 4);
        file.Flush();
        EXPECT_EQ(syncs, 5);
        file.Flush();  // nothing new
        EXPECT_EQ(syncs, 5);
        file.Append({start + 3500, 30, 1000, 5, rfOk});
    }
    EXPECT_EQ(syncs, 6);  // the close
    diskio::SetSyncFunction({});
}

TEST(DataFile, AReplayForcesItsRowsToTheDiskLessOftenAndAtClose)
{
    QTemporaryDir dir;
    int syncs = 0;
    diskio::SetSyncFunction([&](int fd) {
        ++syncs;
        return ::fdatasync(fd);
    });
    const qint64 start = Utc(2026, 8, 12, 12, 0, 0);
    {
        TDataFile file(dir.path(), Head());
        file.SetSyncEvery(25);
        for (int i = 0; i < 35; ++i)
            file.Append({start + 100 * i, 30, 1000, 5, rfOk});
        // The head and 30 rows had come by the fourth second.
        EXPECT_EQ(syncs, 1);
        file.Flush();  // 4 rows since: not yet
        EXPECT_EQ(syncs, 1);
    }
    EXPECT_EQ(syncs, 2);  // the close forces the rest
    diskio::SetSyncFunction({});
    // Every row is there, whole.
    const QString path = QDir(dir.path()).filePath(DataFileName(QDate(2026, 8, 12)));
    ASSERT_EQ(Rows(path).size(), 35);
    EXPECT_EQ(CountOf(path, "\n"), CountOf(path, "\r\n"));
}

TEST(DataFile, BandChangesAreNotedWhereTheyHappen)
{
    QTemporaryDir dir;
    TDataFile file(dir.path(), Head());
    const qint64 t = Utc(2026, 8, 12, 12, 0, 0);
    file.SetBand("700-900", t - 100);  // before the file: its head says it
    file.Append({t, 30, 1000, 5, rfOk});
    file.SetBand("700-900", t + 50);  // unchanged: nothing
    file.SetBand("550-750", t + 150);
    file.Append({t + 200, 31, 900, 5, rfOk});
    file.Close();
    const QByteArray text = ReadAll(dir.filePath("zol-2026-08-12-UTC.csv"));
    EXPECT_TRUE(text.contains("# band_hz: 700-900\r\n"));
    EXPECT_TRUE(text.contains("ok,\r\n# band_hz: 550-750 from 2026-08-12T12:00:00.150Z\r\n2026-08-12T12:00:00.200Z"));
    EXPECT_EQ(text.count("band_hz"), 2);
}

TEST(DataFile, AFullDiskLosesRowsButNeverCutsOneAndIsReportedOnce)
{
    QTemporaryDir dir;
    const qint64 t = Utc(2026, 8, 12, 12, 0, 0);
    TDataFile file(dir.path(), Head());
    file.Append({t, 30, 1000, 5, rfOk});
    const QString path = file.Path();
    {
        FullDisk disk(10);  // part of the next row fits
        EXPECT_THROW(file.Append({t + 100, 31, 1000, 5, rfOk}), EInOutError);
        try {
            file.Append({t + 200, 32, 1000, 5, rfOk});
            ADD_FAILURE() << "a full disk took a row";
        } catch (const ELogStillFailing&) {
        }
        disk.Free(1 << 20);
        file.Append({t + 300, 33, 1000, 5, rfOk});
    }
    file.Close();
    const QList<QByteArray> rows = Rows(path);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0], "2026-08-12T12:00:00.000Z,30,1000,5,ok,");
    EXPECT_EQ(rows[1], "2026-08-12T12:00:00.300Z,33,1000,5,ok,");

    // A head that does not fit is written whole before the next row that
    // fits; no row ever goes into a file without its head.
    QTemporaryDir dir2;
    TDataFile second(dir2.path(), Head());
    {
        FullDisk disk(100);
        EXPECT_THROW(second.Append({t, 30, 1000, 5, rfOk}), EInOutError);
        disk.Free(1 << 20);
        second.Append({t + 100, 31, 1000, 5, rfOk});
    }
    second.Close();
    const QByteArray text = ReadAll(dir2.filePath("zol-2026-08-12-UTC.csv"));
    EXPECT_TRUE(text.startsWith("# zol station data"));
    EXPECT_EQ(text.count("# columns:"), 1);
    EXPECT_EQ(Rows(dir2.filePath("zol-2026-08-12-UTC.csv")).size(), 1);
}

TEST(DataFile, AFolderInTheFilesPlaceIsReportedOnceAndTheNextDayIsWritten)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("zol-2026-08-12-UTC.csv"));
    TDataFile file(dir.path(), Head());
    const qint64 t = Utc(2026, 8, 12, 23, 59, 59, 800);
    try {
        file.Append({t, 30, 1000, 5, rfOk});
        ADD_FAILURE() << "a folder was taken for the data file";
    } catch (const ELogStillFailing&) {
        ADD_FAILURE() << "the first failure was not reported";
    } catch (const EInOutError& e) {
        EXPECT_TRUE(e.Message().contains("zol-2026-08-12-UTC.csv: Is a directory")) << e.Message().toStdString();
    }
    EXPECT_THROW(file.Append({t + 100, 30, 1000, 5, rfOk}), ELogStillFailing);
    file.Append({t + 200, 30, 1000, 5, rfOk});  // 00:00:00.000 of the next day
    file.Close();
    EXPECT_EQ(Rows(dir.filePath("zol-2026-08-13-UTC.csv")).size(), 1);
}

TEST(StationInfo, ReadsTheSectionAndSaysWhatItCannotUse)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("zol.ini");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[ZOLPARAMS]\r\nBASEGAIN=10\r\n[station]\r\ncallsign = PA0ZZZ\r\nLOCATOR=jo22xk\r\n"
                "RECEIVER=R\xC3\xBC" "ckkopplung\tv2\r\nTRANSMITTER=LW 198\r\nFREQUENCY=0.198 MHz\r\n"
                "NOTES=caf\xE9 antenna\r\n");
    }
    TIniFile ini(path);
    TStationInfo s = ReadStationInfo(ini);
    EXPECT_TRUE(s.problems.isEmpty()) << s.problems.join("; ").toStdString();
    EXPECT_EQ(s.callSign, "PA0ZZZ");
    EXPECT_EQ(s.locator, "jo22xk");
    ASSERT_TRUE(s.latitude && s.longitude);
    EXPECT_NEAR(*s.latitude, 52.4375, 1e-9);  // the centre of the square
    EXPECT_NEAR(*s.longitude, 5.9583, 1e-4);
    EXPECT_EQ(s.receiver, QString::fromUtf8("Rückkopplung v2"));  // UTF-8; a tab is a blank
    EXPECT_EQ(s.notes, QString::fromLatin1("caf\xE9 antenna"));    // no UTF-8: Latin-1
    EXPECT_EQ(s.transmitter, "LW 198");
    ASSERT_TRUE(s.frequencyKHz);
    EXPECT_DOUBLE_EQ(*s.frequencyKHz, 198);

    // Coordinates take the locator's place; half of them, a bad locator and
    // a bad frequency are each said and left out.
    const auto with = [&](const QByteArray& section) {
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write("[STATION]\n" + section);
        f.close();
        return ReadStationInfo(TIniFile(path));
    };
    s = with("LOCATOR=JO22\nLATITUDE=52.1 N\nLONGITUDE=4.3W\n");
    EXPECT_TRUE(s.problems.isEmpty());
    EXPECT_DOUBLE_EQ(*s.latitude, 52.1);
    EXPECT_DOUBLE_EQ(*s.longitude, -4.3);
    s = with("LOCATOR=ZZ99\nLATITUDE=52.1\nFREQUENCY=loud\n");
    EXPECT_FALSE(s.latitude || s.longitude || s.frequencyKHz);
    EXPECT_TRUE(s.locator.isEmpty());
    ASSERT_EQ(s.problems.size(), 3) << s.problems.join("; ").toStdString();
    EXPECT_TRUE(s.problems[0].startsWith("zol.ini [STATION] LOCATOR=ZZ99 is not used: "));
    EXPECT_EQ(s.problems[1], "zol.ini [STATION] LATITUDE=52.1 is not used: LONGITUDE is needed with it");
    EXPECT_TRUE(s.problems[2].contains("FREQUENCY=loud"));
    s = with("LATITUDE=95\nLONGITUDE=4\n");
    EXPECT_EQ(s.problems.size(), 1);
    EXPECT_FALSE(s.latitude);
    // No section: nothing, and nothing to say.
    s = with("");
    EXPECT_TRUE(s.problems.isEmpty() && s.callSign.isEmpty() && !s.latitude);

    for (auto [text, khz] : {std::pair{"198", 198.0}, {" 198 kHz ", 198.0}, {"7.85MHz", 7850.0}, {"198000 hz", 198.0},
                             {".5", 0.5}}) {
        const auto f = ParseFrequencyKHz(text);
        ASSERT_TRUE(f) << text;
        EXPECT_DOUBLE_EQ(*f, khz) << text;
    }
    for (const char* bad : {"", "0", "-198", "198 GHz", "1e3", "inf", "198 kHz extra", "1.2.3"})
        EXPECT_FALSE(ParseFrequencyKHz(bad)) << bad;
}
