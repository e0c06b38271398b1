// The station's data file: one CSV file per UTC day in the working folder,
// with one row per 100 ms reading in UTC, beside the two logs. Every run
// (and every new day) begins with a commented head that says what the
// file holds; rows are whole lines that reach the disk at least once a
// second of readings, as the logs do.
#pragma once

#include "app/stationinfo.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace zol {

class TTextLog;

// What a reading's flag says.
enum TReadingFlag {
    rfOk,        // "ok"
    rfOverload,  // "overload": the input reached full scale
    rfNoAudio,   // "noaudio": the device delivered no audio
};

struct TReadingRow {
    qint64 utcMs = 0;  // the reading's time, milliseconds since 1970 UTC
    int db = 90;       // the dB reading
    int peak = 0;      // the after-filter peak level (0..32768)
    int gain = 0;      // the gain slider's position
    TReadingFlag flag = rfOk;
    // The share of the Sun's disc covered at the path's midpoint, in
    // percent; none without both ends of the path, or on a UTC day on which
    // no eclipse touches the midpoint (the field is then empty).
    std::optional<double> obscuration;
};

// What the head of a data file says besides the columns.
struct TDataHead {
    QString program;  // "zol 0.2.0"
    qint64 runStartedUtcMs = 0;
    TStationInfo station;
    QString device;  // the sound device, as the capture names it
    int sampleRate = 11025;
    QString band;  // "550-750"
    int gainSteps = 0;
    // The great-circle midpoint of the path (none without both ends).
    std::optional<double> midpointLatitude;
    std::optional<double> midpointLongitude;
};

// "2026-08-12T17:00:02.100Z".
QString UtcText(qint64 utcMs);
// The file of a UTC day: "zol-2026-08-12-UTC.csv".
QString DataFileName(const QDate& utcDate);
// The head's lines (each begins with "#"); the last one names the columns.
QStringList DataHeadLines(const TDataHead& head);
// A row: "2026-08-12T17:00:02.100Z,35,584,62,ok".
QString DataRow(const TReadingRow& row);
QString FlagText(TReadingFlag flag);

class TDataFile {
public:
    TDataFile(QString folder, TDataHead head);
    ~TDataFile();
    TDataFile(const TDataFile&) = delete;
    TDataFile& operator=(const TDataFile&) = delete;

    // Appends the row to the file of its UTC day, opening that file (and
    // writing the head first) when it is not the one open. Raises
    // EInOutError naming the file and the reason when the row cannot be
    // written, ELogStillFailing while the same failure goes on; the row is
    // then lost, and the next one is tried again.
    void Append(const TReadingRow& row);
    // The band changed while running: a comment line says so in the open
    // file (the next head says it anyway).
    void SetBand(const QString& band, qint64 utcMs);
    // Makes every row appended reach the disk.
    void Flush();
    // The rows reach the disk only once `rows` rows (at least 1, the
    // default) were appended since the last time, and at Close; each is
    // still written whole at once (a replay, which can be run again).
    void SetSyncEvery(int rows);
    void Close();
    // The file open now (empty when none is).
    QString Path() const;

private:
    void Open(const QDate& day);
    [[noreturn]] void FailOpen(const QString& message);

    QString folder_;
    TDataHead head_;
    std::unique_ptr<TTextLog> log_;
    QDate day_;
    bool headPending_ = false;
    QString bandNote_;  // a band change not yet in the file (its write failed)
    bool unsynced_ = false;
    qint64 lastSyncMs_ = 0;
    int syncEvery_ = 1;
    QString openFailure_;  // the failure to open last reported
};

}  // namespace zol
