// The two measurement logs: line formats, appending with every line reaching
// the disk when flushed, and reading back the end of a log for its chart.
#pragma once

#include "app/measurement.h"
#include "platform/errors.h"

#include <QByteArray>
#include <QDate>
#include <QString>

#include <limits>
#include <vector>

namespace zol {

// The decimal text of `value` cut to two characters, with a leading "0" when
// it has one ("07", "35"); "--" for kNoAudio (a value measured without
// audio), right-aligned in its field as the numbers are.
QString TwoCharField(int value);
// Whether a field of a log line is the no-audio mark "--".
bool IsNoAudioField(const char* text, int size);
// Day, month and two-digit year ("DD/MM/YY", always 8 characters) joined by
// the separator of `dateFormat`, a date format in the C library's notation
// such as the locale's "%d.%m.%Y".
QString DateText(const QDate& date, const char* dateFormat);
// A measure.txt line (25 characters without the line end).
QString MeasureLine(QChar marker, const QString& time, const QString& date, int mean, int minimum);
// A scope2.txt line (5 characters without the line end).
QString Scope2Line(int windowMin, int windowMax);
// Reads a field as a decimal integer: leading blanks and a sign are
// accepted, anything else fails.
bool ParseField(const QString& text, int& value);
bool ParseField(const char* text, int size, int& value);

// Raised by a log that goes on failing for the reason it has already
// reported; its writer may stay quiet about it.
class ELogStillFailing : public EInOutError {
public:
    using EInOutError::EInOutError;
};

// A text log opened for appending. Failures raise EInOutError with a message
// that names the file and the reason.
class TTextLog {
public:
    explicit TTextLog(QString path);
    ~TTextLog();
    TTextLog(const TTextLog&) = delete;
    TTextLog& operator=(const TTextLog&) = delete;

    const QString& Path() const { return path_; }
    // Whether anything is at the path.
    bool Exists() const;
    // Raises EInOutError when the path holds something that is no regular
    // file (a folder, a device, a pipe): no log is kept there.
    void CheckRegular() const;
    // Creates the file empty (an existing one is left as it is) and opens it
    // for appending.
    void Create();
    // Opens for appending; only a regular file is accepted. A last line cut
    // short (no line end, as after a power cut) is ended first, so the next
    // line does not run into it.
    void OpenAppend();
    bool IsOpen() const { return fd_ >= 0; }
    // Appends the line and CR LF. A line that cannot be written in full is
    // taken back (or, where the file cannot be cut, completed before the
    // next line), so lines never run into each other.
    void AppendLine(const QString& line);
    // The same for bytes as they are: several lines joined by CR LF go in
    // one write, all or none of them.
    void AppendLines(const QByteArray& lines);
    // Makes what was appended reach the disk.
    void Flush();
    // Flush forces the lines to the disk only once `lines` lines (at least
    // 1, the default: every flush) have been appended since the last time;
    // Close forces the rest. Each line is still written whole at once.
    void SetSyncEvery(int lines);
    // Forces the lines not yet on the disk there, then closes. Raises
    // EInOutError when that fails (the file is closed all the same).
    void Close();
    // True from a failed write or flush until a flush succeeds again.
    bool Failing() const { return failError_ != 0; }

private:
    [[noreturn]] void Fail(const QString& what, int error) const;
    [[noreturn]] void FailWrite(int error);
    void CompleteCutLine();

    QString path_;
    int fd_ = -1;
    int failError_ = 0;  // the failure last reported
    int syncEvery_ = 1;
    int unsynced_ = 0;   // lines appended since the last sync
    QByteArray rest_;    // the end of a line that could not be taken back
};

// A chart rebuilt from the end of its log: the steps a full replay of the
// log would draw last, as many as the chart can show.
// A step's time is unknown in scope2.txt, whose lines carry none.
constexpr qint64 kNoTime = std::numeric_limits<qint64>::min();
struct THistoryStep {
    int a = 0;  // the values plotted (dB below full scale)
    int b = 0;
    qint64 utcMs = kNoTime;  // measure.txt: the time of the group's last line
};
struct THistory {
    std::vector<THistoryStep> steps;  // oldest first
    qint64 skipped = 0;    // steps before them that the chart no longer shows
    qint64 bytesRead = 0;  // of the log
};
// How much of the end of a log is read at most. A log up to this size is
// read whole; of a longer one the part from a line start that a log of
// whole lines has there (the length tells it), so the chart is the same as
// after reading all of it.
constexpr qint64 kHistoryBytes = 1 << 20;

// measure.txt: every five lines of 25 characters make a step (a: the mean of
// their means, b: the fifth line's minimum, or its mean when that is 0);
// other lines are skipped; a final group of fewer than five is not drawn.
// A line whose mean is "--" (no audio) counts toward its group but adds no
// mean; a group of such lines only is a gap (a and b kNoAudio).
// `keep` steps are kept, more if needed so that the steps skipped are a
// multiple of `period` (the chart's grid repeats every `period` steps).
THistory ReadMeasureHistory(const QString& path, int keep, int period, qint64 budget = kHistoryBytes);
// The time of a measure.txt line (local time and date, "HH:MM:SS" and
// "DD?MM?YY" with any separator, at columns 3 and 12) in milliseconds since
// 1970 UTC, through the machine's time zone; kNoTime when it is no time.
qint64 MeasureLineUtcMs(const char* line, int size);
// The times of the last `windows` 30-second steps, oldest first, taken from
// the 5-second steps of measure.txt (`measure`): the 30-second chart and the
// 5-second chart step together, so the k-th last window ends with the
// (6k - 5)-th last group of five lines. kNoTime where measure.txt has none.
std::vector<qint64> WindowTimes(const THistory& measure, std::size_t windows);
// scope2.txt: every line is a step: a is its minimum (25 when unreadable),
// b its maximum (60 when unreadable); a field "--" (no audio) is kNoAudio.
THistory ReadScope2History(const QString& path, int keep, int period, qint64 budget = kHistoryBytes);

}  // namespace zol
