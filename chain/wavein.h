// Wave capture: the head of the sound chain. TMMCustomWaveIn opens a
// recording device, keeps a ring of buffers queued at it and pushes every
// filled buffer down the chain (BufferReady). It reaches the device through
// the platform's wave-in interface (WaveInBackend, WaveInDevice); TMMWaveIn
// binds it to a back end.
//
// Lifecycle. One mutex guards the phase and the counts the threads share:
//
//   Closed --Open--> Open --Start--> Running --Stop--> Stopping --> Open
//   Open/Running/Stopping --Close--> Closing --> Closed
//
// Open, Start, Pause, Restart, Stop and Close run on the window thread.
// Buffers are handled on the capture thread TMMWaveInThread (cmThread), or
// on the window thread (cmWindow), one at a time; a buffer being handled is
// "in flight". Stop moves Running to Stopping under the lock and then, with
// the lock released, stops and resets the device; the device hands every
// queued buffer back and the source waits until they are in. A Stop issued
// while a buffer is in flight (from OnBufferReady, or when the recording
// limit is reached) stays pending: the end of that buffer's handling posts
// MM_WIM_STOP, and the stop completes on the window thread. A Close issued
// meanwhile is pending too and follows the stop. Paused is a mark on Open and
// Running (the device is halted). Device calls are never made with the lock
// held: a device that calls back while it is being stopped cannot deadlock.
#pragma once

#include "chain/dspcomponent.h"
#include "platform/cbmode.h"
#include "platform/thread.h"
#include "platform/wavein_device.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace zol {

enum TMMTimeFormats { tfMillisecond, tfByte, tfSample };

// The state set of a capture source.
enum TMMWaveInStateFlag : int { wisClosed = 1, wisOpened = 2, wisStarted = 4, wisPaused = 8 };

// The lifecycle phase of a capture source (see above).
enum class TMMWaveInPhase { Closed, Open, Running, Stopping, Closing };

// The private message that completes a deferred Stop on the window thread.
constexpr int MM_WIM_STOP = 0x8001;  // WM_APP + 1

constexpr int kMaxWaveInBuffers = 500;

class TMMWaveInThread;

class TMMCustomWaveIn : public TMMCustomSoundComponent {
public:
    explicit TMMCustomWaveIn(QObject* owner = nullptr);
    ~TMMCustomWaveIn() override;

    // --- events
    TNotifyEvent OnError;
    TNotifyEvent OnOpen, OnStart, OnPause, OnRestart, OnStop, OnClose;
    // The device stopped working while recording. The source has closed in
    // order; `reason` is the sound system's text for the error. Without a
    // handler the loss goes to the application's error handler.
    std::function<void(QObject* sender, const QString& reason)> OnDeviceLost;

    // --- properties
    TMMCBMode CallBackMode() const { return callBackMode_; }
    void SetCallBackMode(TMMCBMode value);
    // In simulated time, with the thread mode: a filled buffer is handled by
    // the thread that delivers it, at once, as the capture thread would
    // handle it while simulated time waits for it, but without handing it
    // over and back (a replay as fast as it goes).
    bool InlineBuffers() const { return inlineBuffers_; }
    void SetInlineBuffers(bool value) { inlineBuffers_ = value; }
    int DeviceID() const { return deviceId_; }
    void SetDeviceID(int value);
    int NumBuffers() const { return numBuffers_; }
    void SetNumBuffers(int value);
    TMMMode Mode() const { return mode_; }
    void SetMode(int value);
    TMMBits BitLength() const { return bitLength_; }
    void SetBitLength(int value);
    int SampleRate() const { return sampleRate_; }
    void SetSampleRate(int value);
    QString ProductName() const { return productName_; }
    std::uint16_t DriverVersion() const { return driverVersion_; }
    TMMTimeFormats TimeFormat() const { return timeFormat_; }
    void SetTimeFormat(TMMTimeFormats value);
    int MaxRecordTime() const { return maxRecordTime_; }
    void SetMaxRecordTime(int value);
    int NumDevs() const { return numDevs_; }
    std::shared_ptr<platform::WaveInBackend> Backend() const { return backend_; }

    // --- operations (window thread; Stop also from a buffer's handling)
    virtual void Open();
    virtual void Close();
    virtual void Start();
    virtual void Pause();
    virtual void Restart();
    virtual void Stop();

    // --- state
    TMMWaveInPhase Phase() const;
    int State() const;
    bool IsOpen() const { return Phase() != TMMWaveInPhase::Closed; }
    bool IsStarted() const { return (State() & wisStarted) != 0; }
    bool IsPaused() const { return (State() & wisPaused) != 0; }
    bool StopPending() const;
    bool ClosePending() const;
    std::int64_t BytesRecorded() const { return totalBytes_.load(); }
    // The recording limit in bytes; -1 without one.
    std::int64_t ByteLimit() const { return byteLimit_.load(); }
    int QueuedBuffers() const;
    // The buffer ring (while open).
    const std::vector<WAVEHDR*>& Buffers() const { return buffers_; }
    int NextBuffer() const { return nextBuffer_.load(); }

    // --- chain overrides
    void SetWaveFormat(const WAVEFORMATEX* format) override;
    int GetBufferSize() const override;
    void SetBufferSize(int size) override;
    void SetInput(TMMDSPComponent* value) override;
    bool HasLinkProperty(const QString& name) const override;
    // NotifyOpen runs the chain's open walk; the other state notifications
    // of the head of the chain are its operations (a relink while running
    // stops the capture in order).
    void NotifyOpen() override;
    void NotifyClose() override;
    void NotifyStart() override;
    void NotifyPause() override;
    void NotifyRestart() override;
    void NotifyStop() override;
    void BufferReady(PWaveHdr lpWaveHdr) override;

protected:
    // Fires OnError, then raises EMMWaveInError with `message`.
    [[noreturn]] virtual void Error(const QString& message);
    // Binds the source to a back end: reads the device count and the
    // capabilities of the current device.
    void Bind(std::shared_ptr<platform::WaveInBackend> backend);

private:
    friend class TMMWaveInThread;

    // Properties and errors (wavein.cpp).
    [[noreturn]] void Fail(const QString& message);
    void RebuildFormat();
    void ApplyDeviceId(int value);
    void RefuseWhileOpen();
    QString DeviceErrorText(int code) const;
    [[noreturn]] void DeviceError(const char* call, int code);
    // The device cannot be opened: the message names it and the reason.
    [[noreturn]] void OpenError(int code);
    void CheckFormat();
    void ComputeByteLimit();

    // Waiting (window thread: keeps serving blocking calls of other threads).
    bool WaitFor(const std::function<bool()>& predUnderLock, int ms);
    void Changed();  // wakes every waiter; caller holds the lock

    // Open and close (wavein_lifecycle.cpp).
    void StartThread();
    void StopThread();
    void OpenDevice();
    void CloseDevice();
    void ReleaseDevice();
    void CloseAfterFailure();
    void AllocBuffers();
    void FreeBuffers();
    void PrepareBuffers();
    void UnprepareBuffers();
    void QueueAllBuffers();
    bool OwnsBuffer(const WAVEHDR* hdr) const;
    void FlushStaleBuffers();

    // Stopping.
    bool BeginStop(bool& halt);
    void HaltDevice();
    void WaitForReturnedBuffers();
    void CompleteStop();

    // Buffers and device messages.
    void DeviceMessage(std::uint64_t handle, TMMWaveInThread* thread, int msg, WAVEHDR* hdr, int error);
    void WindowMessage(std::uint64_t handle, int msg, WAVEHDR* hdr);
    void DeviceLost(std::uint64_t handle, int error);
    void ThreadGaveUp(std::uint64_t handle, std::exception_ptr error);
    void ThreadFailed(std::uint64_t handle, std::exception_ptr error);
    bool HandleMatches(std::uint64_t handle) const;
    void BufferDone(WAVEHDR* hdr);
    void Requeue(WAVEHDR* hdr);
    void EndCallback();

    // Properties.
    TMMCBMode callBackMode_ = cmWindow;
    std::atomic<bool> inlineBuffers_{false};
    int deviceId_ = 0;
    int numBuffers_ = 10;
    TMMMode mode_ = mMono;
    TMMBits bitLength_ = b8Bit;
    int sampleRate_ = 11025;
    QString productName_;
    std::uint16_t driverVersion_ = 0;
    TMMTimeFormats timeFormat_ = tfByte;
    int maxRecordTime_ = -1;
    int numDevs_ = 0;
    std::shared_ptr<platform::WaveInBackend> backend_;

    // Shared between the window thread, the capture thread and the device's
    // callbacks: guarded by mutex_, waited for through changed_.
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    TMMWaveInPhase phase_ = TMMWaveInPhase::Closed;
    bool paused_ = false;
    bool deviceOpened_ = false;  // the device confirmed the opening
    bool deviceClosed_ = false;  // the device confirmed the closing
    std::uint64_t handle_ = 0;   // this opening's handle (0 when closed)
    int queued_ = 0;             // buffers at the device
    int inFlight_ = 0;           // buffers being handled by the chain
    bool requeueing_ = false;    // a handled buffer is being given back to the device
    bool stopPending_ = false;   // a stop waits for the buffer in flight
    bool closePending_ = false;  // a close waits for the pending stop
    bool threadFailed_ = false;  // the capture thread gave up after an error
    std::unique_ptr<platform::WaveInDevice> device_;
    std::vector<WAVEHDR*> buffers_;

    // Window thread only. The device's callback holds the thread too: it
    // outlives every message the device may still send.
    std::shared_ptr<TMMWaveInThread> thread_;

    // Counters of the handling thread, read by others.
    std::atomic<std::int64_t> totalBytes_{0};
    std::atomic<std::int64_t> byteLimit_{-1};
    std::atomic<int> nextBuffer_{0};
};

// The capture thread (cmThread): receives each filled buffer as a thread
// message and runs the chain on it. Owned by its source, which ends it (and
// waits for its end) when it closes.
class TMMWaveInThread : public TMMDSPThread {
public:
    explicit TMMWaveInThread(TMMCustomWaveIn* owner);
    ~TMMWaveInThread() override;

    // Starts the thread and waits until it runs; false when it does not.
    bool Launch(int timeoutMs);
    // Asks the thread to end and waits until it has.
    void End();
    // The device's messages are accepted for this opening only.
    void SetHandle(std::uint64_t handle) { handle_ = handle; }
    void PostBuffer(std::uint64_t handle, WAVEHDR* hdr);
    // Drops buffers that wait to be handled.
    void ClearQueue() { queue_.Clear(); }

protected:
    void Execute() override;

private:
    void Handle(const platform::ThreadMessage& m);

    TMMCustomWaveIn* owner_;
    // After a failure, messages are only taken off the queue (so no work
    // stays pending) until the source ends this thread.
    std::atomic<bool> failed_{false};
    platform::ThreadQueue queue_;
    platform::TEvent running_{true, false};
    platform::TEvent stop_{false, false};
    std::atomic<std::uint64_t> handle_{0};
};

// The capture source bound to the platform's wave-in back end (the one
// installed with platform::SetWaveInBackend, or the one given here).
class TMMWaveIn : public TMMCustomWaveIn {
public:
    explicit TMMWaveIn(QObject* owner = nullptr, std::shared_ptr<platform::WaveInBackend> backend = nullptr);
};

}  // namespace zol
