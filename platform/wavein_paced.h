// Wave-in devices that make their audio themselves (the simulated receiver,
// a WAV file, the scripted test source): each filled buffer is due at the
// exact time its frames would have been recorded since Start, and is
// delivered by a one-shot timer of the clock in use at that deadline, so a
// long run does not drift and runs in simulated time like everything else.
#pragma once

#include "platform/clock.h"
#include "platform/wavein_device.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace zol::platform {

// Where a paced device gets its samples.
class PacedSource {
public:
    virtual ~PacedSource() = default;
    // Fills up to `bytes` (whole frames of the open format) and returns the
    // bytes produced; fewer at the end of the data, 0 once it is used up.
    virtual int Fill(char* data, int bytes) = 0;
    // `frames` frames pass while no buffer is queued: they are lost.
    virtual void Skip(int frames) = 0;
    // Called before each buffer: 0, or the error number with which the
    // device is lost now.
    virtual int Failure() { return 0; }
};

class PacedWaveInDevice : public WaveInDevice {
public:
    PacedWaveInDevice(const WAVEFORMATEX& format, WaveInCallback callback, std::unique_ptr<PacedSource> source);
    ~PacedWaveInDevice() override;

    int AddBuffer(WAVEHDR* hdr) override;
    int Start() override;
    int Stop() override;
    int Reset() override;
    int Close() override;

    // Whether the source's data has been used up.
    bool Ended() const;

private:
    void ScheduleLocked();
    void Tick(std::uint64_t generation);
    void StopTimer();

    WAVEFORMATEX format_;
    WaveInCallback callback_;
    std::unique_ptr<PacedSource> source_;
    mutable std::mutex mutex_;
    std::condition_variable delivered_;  // a tick has handed back its buffers
    int delivering_ = 0;                 // ticks calling back now
    std::thread::id tickThread_;         // the thread of the tick calling back
    std::deque<WAVEHDR*> queue_;
    bool running_ = false;
    bool ended_ = false;
    bool lost_ = false;
    bool closed_ = false;
    TimerId timer_ = 0;
    std::uint64_t generation_ = 0;  // ticks of an older schedule are ignored
    std::int64_t startUs_ = 0;
    std::int64_t framesDone_ = 0;   // frames since Start
    int pendingFrames_ = 0;         // frames of the buffer now due
    int lastBufferBytes_ = 0;
};

// A back end with one paced device, made by `makeSource` for each open.
class PacedWaveInBackend : public WaveInBackend {
public:
    using SourceFactory = std::function<std::unique_ptr<PacedSource>(const WAVEFORMATEX& format)>;
    PacedWaveInBackend(QString productName, QString description, SourceFactory makeSource);

    int DeviceCount() override { return 1; }
    int GetCaps(int id, DeviceCapsRecord& caps) override;
    int QueryFormat(int id, const WAVEFORMATEX& format) override;
    int Open(int id, const WAVEFORMATEX& format, WaveInCallback callback,
             std::unique_ptr<WaveInDevice>& device) override;
    QString Description() const override { return description_; }

protected:
    QString productName_;
    QString description_;
    SourceFactory makeSource_;
};

// Shared checks of the paced back ends: PCM, 8 or 16 bits, 1 or 2 channels,
// 4000..100000 Hz, consistent block alignment.
bool PacedFormatOk(const WAVEFORMATEX& format);

}  // namespace zol::platform
