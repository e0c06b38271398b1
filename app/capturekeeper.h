// Keeps the capture going for as long as the window runs. A device that
// cannot be opened, or that stops delivering audio while recording (a card
// unplugged, a sound server restarted), is reported once; the same device is
// then opened again after a pause that grows from 1 s through 2, 4, 8 and
// 16 s to every 30 s, for as long as it takes. Once audio comes in again
// that is reported once too. Meanwhile the window goes on: its readings are
// ticks without audio, which the logs mark.
#pragma once

#include "platform/clock.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace zol {

class TMMCustomWaveIn;

class TCaptureKeeper {
public:
    // Hooks into the source's buffers and its loss; set up before anything
    // else wraps the source's OnBufferReady.
    explicit TCaptureKeeper(TMMCustomWaveIn& source);
    ~TCaptureKeeper();
    TCaptureKeeper(const TCaptureKeeper&) = delete;
    TCaptureKeeper& operator=(const TCaptureKeeper&) = delete;

    // Starts the capture. A device that cannot be opened is reported (its
    // name and the reason) and tried again.
    void Start();
    // No more attempts (the window closes).
    void Stop();

    // Whether audio comes in now: the capture runs and its last buffer came
    // less than kStaleUs ago. Window thread, at every reading.
    bool HasAudio();
    // Whether the device is missing and attempts to open it go on.
    bool Missing() const { return missing_; }
    // Attempts made since the device went missing.
    int Attempts() const { return attempt_; }

    // The pause before attempt `n` (0 the first) after the device went
    // missing: 1, 2, 4, 8, 16 s, then 30 s.
    static std::int64_t PauseMs(int n);
    // A buffer older than this means no audio: longer than the hiccups of
    // a busy machine, shorter than the silence after which the ALSA back
    // end gives the device up.
    static constexpr std::int64_t kStaleUs = 3000000;

    // Told once when audio comes in again after the device was missing.
    // Without a handler it goes to standard error.
    std::function<void(const QString& message)> OnRecovered;

private:
    struct TTap;
    void Lost(const QString& reason);
    void Missed(const QString& message);
    void Schedule();
    void Attempt();
    void AudioArrived();

    TMMCustomWaveIn& source_;
    std::shared_ptr<TTap> tap_;
    platform::TimerId timer_ = 0;
    int attempt_ = 0;
    bool missing_ = false;
    bool stopped_ = false;
    std::int64_t missingSinceUs_ = 0;
    std::int64_t seenCount_ = -1;   // buffers counted at the last look
    std::int64_t seenAtUs_ = 0;     // when that count last moved
};

}  // namespace zol
