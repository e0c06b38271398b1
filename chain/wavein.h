// Wave capture: the head of the sound chain. TMMCustomWaveIn opens a
// recording device, keeps a ring of buffers queued at it and pushes every
// filled buffer down the chain (BufferReady). It reaches the device only
// through the function references of TMMWaveInFunctions, which TMMWaveIn
// binds to a wave-in back end of the platform layer.
//
// Buffers reach the component on the window thread (cmWindow) or on its
// capture thread TMMWaveInThread (cmThread), which then runs the whole
// chain. Open, Start, Pause, Restart, Stop and Close run on the window
// thread. A Stop issued while a buffer is being handled (from OnBufferReady,
// or when the recording limit is reached) stops the device at once and
// completes later on the window thread; a Close issued meanwhile follows it.
#pragma once

#include "chain/dspcomponent.h"
#include "platform/cbmode.h"
#include "platform/thread.h"
#include "platform/wavein_device.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace zol {

enum TMMTimeFormats { tfMillisecond, tfByte, tfSample };

// The state set of a capture source.
enum TMMWaveInStateFlag : int { wisClosed = 1, wisOpened = 2, wisStarted = 4, wisPaused = 8 };

// The private message that runs a deferred Stop on the window thread.
constexpr int MM_WIM_STOP = 0x8001;  // WM_APP + 1

constexpr int kMaxWaveInBuffers = 500;

// The device calls, filled in by a binding (TMMWaveIn). Each returns 0 or an
// error number of the device.
struct TMMWaveInFunctions {
    using Device = platform::WaveInDevice;
    std::function<int()> GetNumDevs;
    std::function<int(int id, platform::DeviceCapsRecord& caps)> GetDevCaps;
    std::function<bool(int code, QString& text)> GetErrorText;
    // Open with the query flag: may device `id` record the format?
    std::function<int(int id, const WAVEFORMATEX& format)> QueryFormat;
    std::function<int(int id, const WAVEFORMATEX& format, platform::WaveInCallback callback,
                      std::unique_ptr<Device>& device)>
        Open;
    std::function<int(Device*, WAVEHDR*)> PrepareHeader;
    std::function<int(Device*, WAVEHDR*)> UnprepareHeader;
    std::function<int(Device*, WAVEHDR*)> AddBuffer;
    std::function<int(Device*)> Start;
    std::function<int(Device*)> Stop;
    std::function<int(Device*)> Reset;
    std::function<int(Device*)> Close;
};

class TMMWaveInThread;
struct TMMWaveInThreadShared;

class TMMCustomWaveIn : public TMMCustomSoundComponent {
public:
    explicit TMMCustomWaveIn(QObject* owner = nullptr);
    ~TMMCustomWaveIn() override;

    // --- events
    TNotifyEvent OnError;
    TNotifyEvent OnOpen, OnStart, OnPause, OnRestart, OnStop, OnClose;

    // --- properties
    TMMCBMode CallBackMode() const { return callBackMode_; }
    void SetCallBackMode(TMMCBMode value);
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

    // --- operations
    virtual void Open();
    virtual void Close();
    virtual void Start();
    virtual void Pause();
    virtual void Restart();
    virtual void Stop();

    // --- state
    int State() const { return state_.load(); }
    bool IsOpen() const { return state_.load() & wisOpened; }
    bool IsStarted() const { return state_.load() & wisStarted; }
    bool IsPaused() const { return state_.load() & wisPaused; }
    bool StopPending() const { return stopPending_.load(); }
    bool ClosePending() const { return closePending_.load(); }
    std::int64_t BytesRecorded() const { return totalBytes_.load(); }
    // The recording limit in bytes; -1 without one.
    std::int64_t ByteLimit() const { return byteLimit_; }
    int QueuedBuffers() const;
    // The buffer ring (while open).
    const std::vector<WAVEHDR*>& Buffers() const { return buffers_; }
    int NextBuffer() const { return nextBuffer_; }

    // --- chain overrides
    void SetWaveFormat(const WAVEFORMATEX* format) override;
    int GetBufferSize() const override;
    void SetBufferSize(int size) override;
    void SetInput(TMMDSPComponent* value) override;
    bool HasLinkProperty(const QString& name) const override;
    void NotifyOpen() override;
    void NotifyClose() override;
    void NotifyStart() override;
    void NotifyPause() override;
    void NotifyRestart() override;
    void NotifyStop() override;
    void BufferReady(PWaveHdr lpWaveHdr) override;

protected:
    // Fills functions_ (the binding).
    virtual void BindDeviceFunctions() = 0;
    // Fires OnError, then raises EMMWaveInError with `message`.
    [[noreturn]] virtual void Error(const QString& message);
    // Reads the device count and the capabilities of device 0; a binding
    // calls it once its functions are in place.
    void InitDevice();

    TMMWaveInFunctions functions_;

private:
    friend class TMMWaveInThread;

    [[noreturn]] void Fail(const QString& message);
    void RebuildFormat();
    void ApplyDeviceId(int value);
    void RefuseWhileOpen();
    QString DeviceErrorText(int code) const;
    [[noreturn]] void DeviceError(const char* call, int code);
    void CheckFormat();
    void AllocBuffers();
    void FreeBuffers();
    void PrepareBuffers();
    void UnprepareBuffers();
    void QueueBuffer(WAVEHDR* hdr);
    bool OwnsBuffer(const WAVEHDR* hdr) const;
    void StartThread();
    void StopThread();
    void WaitForQueuedBuffers();
    void FlushStaleBuffers();
    void ComputeByteLimit();
    void CloseAfterFailure();

    // Device messages and the hidden window.
    void DeviceMessage(std::uint64_t handle, int msg, WAVEHDR* hdr, int error);
    void WindowMessage(std::uint64_t handle, int msg, WAVEHDR* hdr);
    void DeviceLost(std::uint64_t handle, int error);
    void ThreadFailed(std::uint64_t handle, std::exception_ptr error);
    void BufferDone(WAVEHDR* hdr);
    void EndCallback();
    void RequeueUnlessStopping(WAVEHDR* hdr);

    // Properties.
    TMMCBMode callBackMode_ = cmWindow;
    int deviceId_ = 0;
    int numBuffers_ = 10;
    TMMMode mode_ = mMono;
    TMMBits bitLength_ = b8Bit;
    int sampleRate_ = 11025;
    QString productName_;
    std::uint16_t driverVersion_ = 0;
    TMMTimeFormats timeFormat_ = tfByte;
    int maxRecordTime_ = -1;

    // Internal state.
    std::unique_ptr<char> window_;  // the hidden notification window
    std::atomic<std::uint64_t> handle_{0};
    std::unique_ptr<platform::WaveInDevice> device_;
    std::atomic<int> state_{wisClosed};
    std::vector<WAVEHDR*> buffers_;
    int nextBuffer_ = 0;
    int lastError_ = 0;
    int numDevs_ = 0;
    std::atomic<std::int64_t> totalBytes_{0};
    std::int64_t byteLimit_ = -1;
    std::atomic<int> callbackCount_{0};
    std::atomic<bool> stopPending_{false};
    std::atomic<bool> closePending_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> closing_{false};
    std::atomic<bool> resetting_{false};
    int queued_ = 0;  // under lock_
    std::atomic<bool> threadError_{false};
    std::shared_ptr<TMMWaveInThreadShared> thread_;
    mutable std::mutex lock_;  // queued count, stopping and resetting
};

// The capture thread (cmThread): receives each filled buffer as a thread
// message and runs the chain on it.
class TMMWaveInThread : public TMMDSPThread {
public:
    TMMWaveInThread(TMMCustomWaveIn* owner, std::shared_ptr<TMMWaveInThreadShared> shared);

protected:
    void Execute() override;

private:
    TMMCustomWaveIn* owner_;
    std::shared_ptr<TMMWaveInThreadShared> shared_;
};

// The capture source bound to the platform's wave-in back end (the one
// installed with platform::SetWaveInBackend, or the one given here).
class TMMWaveIn : public TMMCustomWaveIn {
public:
    explicit TMMWaveIn(QObject* owner = nullptr, std::shared_ptr<platform::WaveInBackend> backend = nullptr);
    std::shared_ptr<platform::WaveInBackend> Backend() const { return backend_; }

protected:
    void BindDeviceFunctions() override;

private:
    std::shared_ptr<platform::WaveInBackend> backend_;
};

}  // namespace zol
