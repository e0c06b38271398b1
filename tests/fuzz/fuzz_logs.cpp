// measure.txt and scope2.txt as the program restores them at start: the
// chart steps rebuilt from the end of the log (with the first input bytes
// choosing the chart's size, its grid and how much of the log is read),
// then the log opened for appending and a line added.
#include "tests/fuzz/fuzz_targets.h"

#include "app/logfiles.h"
#include "app/measurement.h"

#include <QFile>

namespace zol::fuzz {

namespace {

struct Shape {
    int keep;
    int period;
    qint64 budget;
};

// The chart's width in steps, its grid period and the bytes read.
Shape ShapeOf(const std::uint8_t* data, qint64 lineBytes)
{
    Shape s;
    s.keep = 1 + data[0] % 64;
    s.period = 1 + data[1] % 16;
    // Enough for the chart and a grid period of steps of whole lines (as
    // the program's budget always is), and some lines more.
    const qint64 stepBytes = lineBytes * (lineBytes == 27 ? 5 : 1);
    s.budget = data[2] >= 128 ? kHistoryBytes
                              : stepBytes * (s.keep + s.period) + lineBytes * (data[2] % 40) + data[2] % 3;
    return s;
}

// Whether the log consists of whole lines of `width` characters (no line
// end among them) each ended by CR LF.
bool WholeLines(const QByteArray& log, int width)
{
    const qsizetype lineBytes = width + 2;
    if (log.size() % lineBytes != 0)
        return false;
    for (qsizetype at = 0; at < log.size(); at += lineBytes) {
        for (int i = 0; i < width; ++i)
            if (log[at + i] == '\r' || log[at + i] == '\n')
                return false;
        if (log[at + width] != '\r' || log[at + width + 1] != '\n')
            return false;
    }
    return true;
}

bool SameSteps(const THistory& a, const THistory& b)
{
    if (a.steps.size() != b.steps.size() || a.skipped != b.skipped)
        return false;
    for (std::size_t i = 0; i < a.steps.size(); ++i)
        if (a.steps[i].a != b.steps[i].a || a.steps[i].b != b.steps[i].b || a.steps[i].utcMs != b.steps[i].utcMs)
            return false;
    return true;
}

void CheckHistory(const THistory& h, const Shape& s, qint64 logBytes)
{
    Check(h.steps.size() <= static_cast<std::size_t>(s.keep + s.period), "no more steps than the chart and a grid period");
    Check(h.skipped >= 0, "no step is skipped twice");
    // Unless the end read holds fewer steps than the chart and a grid
    // period (damaged lines of other lengths in it).
    Check(h.skipped % s.period == 0 || h.steps.size() + 1 < static_cast<std::size_t>(s.keep + s.period),
          "the steps skipped are whole grid periods");
    Check(h.bytesRead >= 0 && h.bytesRead <= logBytes, "no more is read than the log holds");
    if (logBytes > s.budget)
        Check(h.bytesRead <= s.budget + 5 * 27, "a long log is read only at its end");
    // A value is two characters, or none ("--": no audio).
    auto field = [](int v) { return v == kNoAudio || (v >= -99 && v <= 99); };
    for (const THistoryStep& step : h.steps)
        Check(field(step.a) && field(step.b), "a step holds two-character values");
}

// Opening for appending ends a cut last line; the new line follows whole.
void CheckAppend(const char* path, const QByteArray& log, const QString& line)
{
    {
        TTextLog text(QString::fromLocal8Bit(path));
        text.OpenAppend();
        text.AppendLine(line);
        text.Flush();
        text.Close();
    }
    QFile f(QString::fromLocal8Bit(path));
    Check(f.open(QIODevice::ReadOnly), "the log can be read again");
    const QByteArray now = f.readAll();
    QByteArray expected = log;
    if (!log.isEmpty() && !log.endsWith('\n'))
        expected += log.endsWith('\r') ? "\n" : "\r\n";
    expected += line.toLatin1() + "\r\n";
    Check(now == expected, "the log is kept, a cut line ended and the new line appended whole");
}

}  // namespace

int MeasureRestore(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    const Shape shape = ShapeOf(data, 27);
    const QByteArray log(reinterpret_cast<const char*>(data + 3), static_cast<qsizetype>(size - 3));
    const char* path = WriteTempFile("measure.txt", data + 3, size - 3);
    const QString name = QString::fromLocal8Bit(path);
    const THistory h = ReadMeasureHistory(name, shape.keep, shape.period, shape.budget);
    CheckHistory(h, shape, log.size());
    for (const THistoryStep& step : h.steps) {
        const int y = TMeasurement::ChartPosition(step.a);
        Check(y == kNoAudio || (y >= -50 && y <= 250), "a step lies near the chart or is a gap");
        Check((step.a == kNoAudio) == (step.b == kNoAudio), "a group without audio is a gap in both traces");
    }
    // The 30-second chart's times come from the groups of five lines.
    const std::vector<qint64> times = WindowTimes(h, static_cast<std::size_t>(shape.keep));
    Check(times.size() == static_cast<std::size_t>(shape.keep), "a time for every window");
    if (WholeLines(log, 25)) {
        const THistory whole = ReadMeasureHistory(name, shape.keep, shape.period, log.size() + 1);
        Check(SameSteps(h, whole), "a log of whole lines draws the same chart read in part or in full");
    }
    CheckAppend(path, log, MeasureLine('*', QStringLiteral("12:00:00"), QStringLiteral("01/08/26"), 35, 40));
    return 0;
}

int Scope2Restore(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    const Shape shape = ShapeOf(data, 7);
    const QByteArray log(reinterpret_cast<const char*>(data + 3), static_cast<qsizetype>(size - 3));
    const char* path = WriteTempFile("scope2.txt", data + 3, size - 3);
    const QString name = QString::fromLocal8Bit(path);
    const THistory h = ReadScope2History(name, shape.keep, shape.period, shape.budget);
    CheckHistory(h, shape, log.size());
    for (const THistoryStep& step : h.steps)
        Check(step.utcMs == kNoTime, "scope2.txt lines carry no time");
    if (WholeLines(log, 5)) {
        const THistory whole = ReadScope2History(name, shape.keep, shape.period, log.size() + 1);
        Check(SameSteps(h, whole), "a log of whole lines draws the same chart read in part or in full");
    }
    CheckAppend(path, log, Scope2Line(40, 55));
    return 0;
}

}  // namespace zol::fuzz
