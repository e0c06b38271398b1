#include "app/datafile.h"

#include "app/logfiles.h"
#include "platform/errors.h"

#include <QDateTime>

#include <algorithm>
#include <QDir>
#include <QTimeZone>

namespace zol {

namespace {

// How long rows may wait for the disk, in time of the readings.
constexpr qint64 kSyncEveryMs = 1000;

QString Number(std::optional<double> value, int decimals)
{
    if (!value)
        return QString();
    QString text = QString::number(*value, 'f', decimals);
    // "198.000" -> "198", "52.5000" -> "52.5"
    if (text.contains('.')) {
        while (text.endsWith('0'))
            text.chop(1);
        if (text.endsWith('.'))
            text.chop(1);
    }
    return text;
}

QDate UtcDate(qint64 utcMs)
{
    return QDateTime::fromMSecsSinceEpoch(utcMs, Qt::UTC).date();
}

}  // namespace

QString UtcText(qint64 utcMs)
{
    return QDateTime::fromMSecsSinceEpoch(utcMs, Qt::UTC).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

QString DataFileName(const QDate& utcDate)
{
    return QStringLiteral("zol-%1-UTC.csv").arg(utcDate.toString(QStringLiteral("yyyy-MM-dd")));
}

QString FlagText(TReadingFlag flag)
{
    switch (flag) {
    case rfOverload:
        return QStringLiteral("overload");
    case rfNoAudio:
        return QStringLiteral("noaudio");
    case rfOk:
        break;
    }
    return QStringLiteral("ok");
}

QStringList DataHeadLines(const TDataHead& head)
{
    const TStationInfo& s = head.station;
    auto field = [](const char* key, const QString& value) { return QStringLiteral("# %1: %2").arg(key, value).trimmed(); };
    return {
        QStringLiteral("# zol station data: one row per reading, ten a second, times in UTC"),
        field("program", head.program),
        field("run_started", UtcText(head.runStartedUtcMs)),
        field("station_callsign", s.callSign),
        field("station_locator", s.locator),
        field("station_latitude", Number(s.latitude, 4)),
        field("station_longitude", Number(s.longitude, 4)),
        field("station_receiver", s.receiver),
        field("station_transmitter", s.transmitter),
        field("station_frequency_khz", Number(s.frequencyKHz, 3)),
        field("station_notes", s.notes),
        field("sound_device", head.device),
        field("sample_rate_hz", QString::number(head.sampleRate)),
        field("band_hz", head.band),
        field("gain_steps", QString::number(head.gainSteps)),
        field("path_midpoint_latitude", Number(head.midpointLatitude, 4)),
        field("path_midpoint_longitude", Number(head.midpointLongitude, 4)),
        QStringLiteral("# time_utc: the time of the reading, ISO 8601 in UTC to the millisecond"),
        QStringLiteral("# db: the dB reading, whole dB below full scale (0 full scale .. 90 silence; larger is weaker)"),
        QStringLiteral("# peak: the largest sample magnitude after the band-pass filter that the reading was made "
                       "from (0 .. 32768 = full scale)"),
        QStringLiteral("# gain: the recording gain slider's position (0 .. gain_steps)"),
        QStringLiteral("# flag: ok, overload (the input reached full scale) or noaudio (the device gave no audio)"),
        QStringLiteral("# obscuration_pct: the share of the Sun's disc covered by the Moon at the path's midpoint "
                       "(percent, 0.0 .. 100.0); empty without both ends of the path in zol.ini, or on a day "
                       "without an eclipse there"),
        QStringLiteral("# new columns are added at the end of a row only; lines that begin with # are comments"),
        QStringLiteral("# columns: time_utc,db,peak,gain,flag,obscuration_pct"),
    };
}

QString DataRow(const TReadingRow& row)
{
    return QStringLiteral("%1,%2,%3,%4,%5,%6")
        .arg(UtcText(row.utcMs))
        .arg(row.db)
        .arg(row.peak)
        .arg(row.gain)
        .arg(FlagText(row.flag), row.obscuration ? QString::number(*row.obscuration, 'f', 1) : QString());
}

// ---------------------------------------------------------------------------
// TDataFile

TDataFile::TDataFile(QString folder, TDataHead head) : folder_(std::move(folder)), head_(std::move(head)) {}

TDataFile::~TDataFile()
{
    try {
        Close();
    } catch (const EMMError&) {
    }
}

QString TDataFile::Path() const
{
    return log_ ? log_->Path() : QString();
}

void TDataFile::FailOpen(const QString& message)
{
    // A file that cannot be opened is tried again with every row; its
    // failure is reported once.
    if (message == openFailure_)
        throw ELogStillFailing(message);
    openFailure_ = message;
    throw EInOutError(message);
}

void TDataFile::Open(const QDate& day)
{
    if (log_ && day == day_)
        return;
    // The day's rows are on the disk before the next day's file begins. A
    // disk that fails here fails the new file's rows too, and is reported
    // there: the row that begins the day is not lost for it.
    try {
        Close();
    } catch (const EInOutError&) {
    }
    day_ = day;
    auto log = std::make_unique<TTextLog>(QDir(folder_).filePath(DataFileName(day)));
    try {
        log->CheckRegular();
        log->OpenAppend();
    } catch (const EInOutError& e) {
        FailOpen(e.Message());
    }
    openFailure_.clear();
    log->SetSyncEvery(syncEvery_);
    log_ = std::move(log);
    headPending_ = true;
    bandNote_.clear();  // the head names the band
}

void TDataFile::Append(const TReadingRow& row)
{
    Open(UtcDate(row.utcMs));
    if (headPending_) {
        // The head goes in one write: all of it or nothing, then tried again.
        log_->AppendLines(DataHeadLines(head_).join(QStringLiteral("\r\n")).toUtf8());
        headPending_ = false;
        unsynced_ = true;
    }
    if (!bandNote_.isEmpty()) {
        log_->AppendLine(bandNote_);
        bandNote_.clear();
    }
    log_->AppendLine(DataRow(row));
    unsynced_ = true;
    if (row.utcMs - lastSyncMs_ >= kSyncEveryMs || row.utcMs < lastSyncMs_) {
        lastSyncMs_ = row.utcMs;
        Flush();
    }
}

void TDataFile::SetBand(const QString& band, qint64 utcMs)
{
    if (band == head_.band)
        return;
    head_.band = band;
    if (!log_ || headPending_ || UtcDate(utcMs) != day_)
        return;
    // A note that cannot be written now goes in before the next row.
    bandNote_ = QStringLiteral("# band_hz: %1 from %2").arg(band, UtcText(utcMs));
    log_->AppendLine(bandNote_);
    bandNote_.clear();
    unsynced_ = true;
}

void TDataFile::SetSyncEvery(int rows)
{
    syncEvery_ = std::max(rows, 1);
    if (log_)
        log_->SetSyncEvery(syncEvery_);
}

void TDataFile::Flush()
{
    if (!log_ || !unsynced_)
        return;
    log_->Flush();
    unsynced_ = false;
}

void TDataFile::Close()
{
    if (!log_)
        return;
    std::unique_ptr<TTextLog> log = std::move(log_);
    try {
        if (unsynced_)
            log->Flush();
    } catch (const EInOutError&) {
        unsynced_ = false;
        log->Close();
        throw;
    }
    unsynced_ = false;
    log->Close();
}

}  // namespace zol
