#include "platform/audiorecorder.h"

#include "platform/errors.h"
#include "platform/soundfile.h"
#include "platform/window_thread.h"

#include <QDateTime>
#include <QDir>
#include <QTimeZone>

#include <algorithm>
#include <cstring>

namespace zol::platform {

namespace {
constexpr std::int64_t kHourMs = 3600 * 1000;
constexpr int kSyncSeconds = 60;  // a power cut loses at most about this much
}  // namespace

QString AudioRecorder::FileName(std::int64_t utcMs)
{
    return QStringLiteral("zol-%1Z.flac")
        .arg(QDateTime::fromMSecsSinceEpoch(utcMs, QTimeZone::utc()).toString(QStringLiteral("yyyyMMddTHHmmss.zzz")));
}

AudioRecorder::AudioRecorder(QString folder, int rate, int channels, std::int64_t startUtcMs)
    : folder_(std::move(folder)), rate_(rate), channels_(channels), startUtcMs_(startUtcMs)
{
    thread_ = std::thread([this] { Run(); });
}

AudioRecorder::~AudioRecorder()
{
    Finish();
}

void AudioRecorder::Add(const char* data, int bytes)
{
    const int frames = bytes / (2 * channels_);
    if (frames <= 0)
        return;
    std::vector<std::int16_t> samples(static_cast<size_t>(frames * channels_));
    std::memcpy(samples.data(), data, samples.size() * sizeof(std::int16_t));
    {
        std::lock_guard lock(mutex_);
        if (finishing_)
            return;
        queue_.push_back(std::move(samples));
    }
    wake_.notify_one();
}

void AudioRecorder::Finish()
{
    {
        std::lock_guard lock(mutex_);
        finishing_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable())
        thread_.join();
}

QStringList AudioRecorder::Files() const
{
    std::lock_guard lock(mutex_);
    return files_;
}

void AudioRecorder::Run()
{
    for (;;) {
        std::vector<std::int16_t> samples;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return finishing_ || !queue_.empty(); });
            if (queue_.empty())
                break;  // finishing, and everything is written
            samples = std::move(queue_.front());
            queue_.pop_front();
        }
        Write(samples);
    }
    if (writer_)
        writer_->Close();
    writer_.reset();
}

void AudioRecorder::Report(const QString& path, QString reason)
{
    // Each reason once, not with every buffer (and every new file name).
    if (reason.startsWith(QLatin1String("System error : ")))
        reason = reason.mid(15);
    if (reason.endsWith('.'))
        reason.chop(1);
    if (reason == lastFailure_)
        return;
    lastFailure_ = reason;
    HandleException(std::make_exception_ptr(EInOutError(QStringLiteral("Unable to write to %1: %2").arg(path, reason))));
}

bool AudioRecorder::OpenFile()
{
    // The file begins with the frame due now and ends where the next UTC
    // hour begins.
    const std::int64_t t = startUtcMs_ + frames_ * 1000 / rate_;
    const std::int64_t nextHour = (t / kHourMs + 1) * kHourMs;
    splitAt_ = ((nextHour - startUtcMs_) * rate_ + 999) / 1000;
    const QString path = QDir(folder_).filePath(FileName(t));
    auto writer = std::make_unique<SoundFileWriter>();
    if (!writer->Create(path, rate_, channels_)) {
        Report(path, writer->Error());
        return false;
    }
    writer_ = std::move(writer);
    nextSync_ = frames_ + static_cast<std::int64_t>(kSyncSeconds) * rate_;
    lastFailure_.clear();
    std::lock_guard lock(mutex_);
    files_ << path;
    return true;
}

void AudioRecorder::Write(const std::vector<std::int16_t>& samples)
{
    const std::int64_t total = static_cast<std::int64_t>(samples.size()) / channels_;
    std::int64_t done = 0;
    while (done < total) {
        if (writer_ && frames_ >= splitAt_) {
            writer_->Close();
            writer_.reset();
        }
        if (!writer_ && !OpenFile()) {
            frames_ += total - done;  // lost; the next buffer tries again
            return;
        }
        const std::int64_t n = std::min(total - done, splitAt_ - frames_);
        if (!writer_->Write(samples.data() + done * channels_, n)) {
            // The file is given up; the next buffer begins a new one.
            Report(writer_->Path(), writer_->Error());
            writer_->Close();
            writer_.reset();
            frames_ += total - done;
            return;
        }
        done += n;
        frames_ += n;
        if (frames_ >= nextSync_) {
            writer_->Sync();
            nextSync_ = frames_ + static_cast<std::int64_t>(kSyncSeconds) * rate_;
        }
    }
}

}  // namespace zol::platform
