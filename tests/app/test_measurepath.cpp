// The road from captured samples to the logged dB reading, through the real
// window in simulated time: the after-filter meter's raw level, the reading,
// the measure.txt lines (also across midnight) and the restore of long logs.
#include "app/logfiles.h"
#include "app/zolu.h"
#include "chain/connector.h"
#include "chain/equalizer.h"
#include "displays/ledpanel.h"
#include "displays/meter.h"
#include "displays/scope.h"
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
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>

using namespace zol;

namespace {

using test::Lines;

// Stereo 16-bit frames repeating the given (left, right) pairs.
QByteArray Frames(const QList<std::pair<int, int>>& pattern, int frames)
{
    QByteArray data(frames * 4, 0);
    auto* s = reinterpret_cast<std::int16_t*>(data.data());
    for (int i = 0; i < frames; ++i) {
        const auto& p = pattern[i % pattern.size()];
        s[2 * i] = static_cast<std::int16_t>(p.first);
        s[2 * i + 1] = static_cast<std::int16_t>(p.second);
    }
    return data;
}

class MeasurePathTest : public test::WindowTest {
protected:
    void TearDown() override
    {
        WindowTest::TearDown();
        test::ResetSim();
    }
    TMainForm& Open() { return OpenForm(); }
    void Run(int ms) { test::Sim().AdvanceMs(ms); }
    QString Path(const char* name) const { return dir.filePath(name); }
};

}  // namespace

// With both filters out of the way the after-filter meter sees the captured
// samples themselves: its raw level is the largest |(L + R) div 2| of its
// 100-frame slice, the division truncating toward zero, and the reading is
// trunc(20 log10(32768 / level)).
TEST_F(MeasurePathTest, RawLevelAndReadingOfKnownSamples)
{
    // (-3277, -3276): (L + R) div 2 = -3276 (toward zero; rounding down
    // would give -3277, which reads 19 instead of 20).
    UseWav(Frames({{-3277, -3276}, {100, 50}, {3000, 3100}}, 11025 * 8) +
           Frames({{32767, 32767}, {-32768, -32768}}, 11025 * 8) + QByteArray(11025 * 4 * 8, 0));
    TMainForm& f = Open();
    f.MMEqualizer1->SetEnabled(false);
    ASSERT_FALSE(f.MMEqualizer2->Enabled());
    EXPECT_EQ(f.Om->NeededBytes(), 400);
    QList<int> raw, readings;
    f.HT2->SetOnTimer([&](QObject*) {
        raw << f.Om->RawLevel();
        f.HT2Timer();
        readings << f.D1->Value();
    });
    Run(7500);
    ASSERT_GT(raw.size(), 40);
    for (int i = 5; i < raw.size(); ++i) {
        EXPECT_EQ(raw[i], 3276) << i;
        EXPECT_EQ(readings[i], 20) << i;
    }
    raw.clear();
    readings.clear();
    Run(8000);  // full scale: -32768 is 32768, reading 0
    ASSERT_GT(raw.size(), 60);
    for (int i = 10; i < raw.size(); ++i) {
        EXPECT_EQ(raw[i], 32768) << i;
        EXPECT_EQ(readings[i], 0) << i;
    }
    raw.clear();
    readings.clear();
    Run(7000);  // silence reads 90
    for (int i = 10; i < raw.size(); ++i) {
        EXPECT_EQ(raw[i], 0) << i;
        EXPECT_EQ(readings[i], 90) << i;
    }
    // Every line written is 25 characters and CR LF, the extremes included.
    const QList<QByteArray> lines = Lines(Path("measure.txt"));
    ASSERT_GE(lines.size(), 18);
    bool sawZero = false, sawNinety = false;
    for (const QByteArray& l : lines) {
        EXPECT_EQ(l.size(), 26) << l.toStdString();
        sawZero = sawZero || l.mid(20, 2) == "00";
        sawNinety = sawNinety || l.mid(20, 2) == "90";
    }
    EXPECT_TRUE(sawZero);
    EXPECT_TRUE(sawNinety);
    EXPECT_TRUE(errors.Messages().isEmpty()) << errors.Messages().join("; ").toStdString();
}

// The date field is day, month and two-digit year with one separator from the
// locale's date format, whatever that format looks like, so that a line stays
// 25 characters.
TEST(LogLines, DateTextIsEightCharactersForEveryDateFormat)
{
    const QDate d(2026, 8, 12);
    EXPECT_EQ(DateText(d, "%d/%m/%y"), "12/08/26");
    EXPECT_EQ(DateText(d, "%m/%d/%y"), "12/08/26");     // the order stays day, month, year
    EXPECT_EQ(DateText(d, "%d.%m.%Y"), "12.08.26");     // four-digit year: two digits
    EXPECT_EQ(DateText(d, "%Y-%m-%d"), "12-08-26");
    EXPECT_EQ(DateText(d, "%Y. %m. %d."), "12.08.26");  // a two-character separator: its first
    EXPECT_EQ(DateText(d, "%-d.%-m.%Y"), "12.08.26");
    EXPECT_EQ(DateText(d, "%d'%m'%y"), "12'08'26");     // no quoting of the separator
    EXPECT_EQ(DateText(d, "%d %b %Y"), "12 08 26");
    // A byte of a character beyond ASCII is no separator of its own.
    EXPECT_EQ(DateText(d, "%Y\xE5\xB9\xB4%m\xE6\x9C\x88%d\xE6\x97\xA5"), "12/08/26");
    EXPECT_EQ(DateText(d, "%d\xE2\x80\x8F/%m\xE2\x80\x8F/%Y"), "12/08/26");
    EXPECT_EQ(DateText(d, "%d\t%m\t%y"), "12/08/26");   // no control characters
    EXPECT_EQ(DateText(d, ""), "12/08/26");
    EXPECT_EQ(DateText(d, nullptr), "12/08/26");
    EXPECT_EQ(DateText(QDate(2000, 1, 2), "%d/%m/%Y"), "02/01/00");
    for (const char* format : {"%d'%m'%y", "%Y\xE5\xB9\xB4%m\xE6\x9C\x88%d\xE6\x97\xA5", "%d.%m.%Y"}) {
        const QString line = MeasureLine('*', "23:59:59", DateText(d, format), 7, 35);
        EXPECT_EQ(line.size(), 25) << format;
        EXPECT_EQ(line.toLatin1().size(), 25) << format;
        EXPECT_EQ(QString::fromLatin1(line.toLatin1()), line) << format;
    }
}

// Across midnight every line keeps time and date of the same instant.
TEST_F(MeasurePathTest, LinesAcrossMidnight)
{
    platform::InstallClock(std::make_unique<platform::SimClock>(
        QDateTime(QDate(2026, 12, 31), QTime(23, 59, 50))));
    UseWav(Frames({{3000, 3000}, {-3000, -3000}}, 11025 * 30));
    TMainForm& f = Open();
    f.MMEqualizer1->SetEnabled(false);
    Run(16000);
    const QList<QByteArray> lines = Lines(Path("measure.txt"));
    ASSERT_GE(lines.size(), 12);
    bool before = false, after = false;
    for (const QByteArray& l : lines) {
        ASSERT_EQ(l.size(), 26) << l.toStdString();
        const QByteArray time = l.mid(2, 8);
        const QByteArray date = l.mid(11, 8);
        if (time.startsWith("23:59:")) {
            before = true;
            EXPECT_EQ(date, "31/12/26") << l.toStdString();
        } else {
            EXPECT_TRUE(time.startsWith("00:00:")) << l.toStdString();
            EXPECT_EQ(date, "01/01/27") << l.toStdString();
            after = true;
        }
        EXPECT_EQ(l.mid(20, 2), "20") << l.toStdString();
    }
    EXPECT_TRUE(before);
    EXPECT_TRUE(after);
}

// A log whose last line was cut between its CR and LF is ended with the LF
// alone: no empty line appears, which the 30-second chart would plot as a step.
TEST(LogLines, AppendAfterALineCutBetweenCrAndLf)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("scope2.txt");
    for (const QByteArray& start : {QByteArray("35,50\r"), QByteArray("35,50"), QByteArray("35,50\r\n")}) {
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(start);
        }
        TTextLog log(path);
        log.OpenAppend();
        log.AppendLine("40,60");
        log.Close();
        const THistory history = ReadScope2History(path, 100, 1);
        ASSERT_EQ(history.steps.size(), 2u) << start.toStdString();
        EXPECT_EQ(history.steps[1].a, 40);
        EXPECT_EQ(history.steps[1].b, 60);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), "35,50\r\n40,60\r\n") << start.toStdString();
    }
}
