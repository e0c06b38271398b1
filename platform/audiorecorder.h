// Keeps captured audio: 16-bit FLAC files in a folder, one per UTC hour,
// each named by the UTC time of its first sample
// (zol-20260812T170002.123Z.flac). Audio is handed in on the capture thread
// and written on a thread of the recorder's own, so a slow disk never holds
// up the capture.
#pragma once

#include <QString>
#include <QStringList>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace zol::platform {

class SoundFileWriter;

class AudioRecorder {
public:
    // The name of the file whose first sample has this UTC time.
    static QString FileName(std::int64_t utcMs);

    // Records frames of `channels` 16-bit samples at `rate` into `folder`;
    // the first frame handed in has the UTC time `startUtcMs` (later ones
    // follow at the sample rate).
    AudioRecorder(QString folder, int rate, int channels, std::int64_t startUtcMs);
    // Writes what is queued and completes the file.
    ~AudioRecorder();
    AudioRecorder(const AudioRecorder&) = delete;
    AudioRecorder& operator=(const AudioRecorder&) = delete;

    // Hands in interleaved little-endian 16-bit frames (any thread).
    void Add(const char* data, int bytes);
    // Waits until everything handed in is written, and completes the file.
    void Finish();
    // The files begun so far.
    QStringList Files() const;

private:
    void Run();
    void Write(const std::vector<std::int16_t>& samples);
    bool OpenFile();
    void Report(const QString& path, QString reason);

    const QString folder_;
    const int rate_;
    const int channels_;
    const std::int64_t startUtcMs_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::vector<std::int16_t>> queue_;
    bool finishing_ = false;
    QStringList files_;

    // Writer thread only.
    std::unique_ptr<SoundFileWriter> writer_;
    std::int64_t frames_ = 0;       // frames written since the start
    std::int64_t splitAt_ = 0;      // the frame that begins the next hour
    std::int64_t nextSync_ = 0;     // the frame after which the file is synced
    QString lastFailure_;  // the reason last reported
    std::thread thread_;
};

}  // namespace zol::platform
