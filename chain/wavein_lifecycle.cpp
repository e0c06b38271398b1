// The capture source's lifecycle: open, start, pause, restart, stop and
// close as transitions of one phase under one lock (see wavein.h).
#include "chain/wavein.h"

#include "platform/errors.h"
#include "platform/mmsyserr.h"
#include "platform/strings.h"
#include "platform/window_thread.h"

#include <climits>

namespace zol {

namespace {
constexpr int kConfirmMs = 1000;  // open and close confirmations, returned buffers
constexpr int kRoundMs = 10;      // window mode: rounds of the window queue while waiting
constexpr int kThreadWaitMs = 5000;
}  // namespace

TMMCustomWaveIn::~TMMCustomWaveIn()
{
    Destroying();
    if (IsOpen()) {
        try {
            Close();
        } catch (...) {
            platform::HandleCurrentException();
        }
    }
    // A close still pending behind a deferred stop cannot wait any more.
    if (IsOpen() || device_ || thread_)
        CloseAfterFailure();
    FreeBuffers();
    platform::RemovePostedMessages(this);
}

bool TMMCustomWaveIn::HandleMatches(std::uint64_t handle) const
{
    std::lock_guard lock(mutex_);
    return handle != 0 && handle == handle_;
}

// ---------------------------------------------------------------------------
// The chain's state notifications

void TMMCustomWaveIn::NotifyOpen()
{
    PropagateOpen();
}

void TMMCustomWaveIn::NotifyClose()
{
    Close();
}

void TMMCustomWaveIn::NotifyStart()
{
    Start();
}

void TMMCustomWaveIn::NotifyPause()
{
    Pause();
}

void TMMCustomWaveIn::NotifyRestart()
{
    Restart();
}

void TMMCustomWaveIn::NotifyStop()
{
    Stop();
}

// ---------------------------------------------------------------------------
// Open

void TMMCustomWaveIn::Open()
{
    if (numDevs_ <= 0)
        Fail(LoadResString(SNoWaveInDevice));
    if (deviceId_ == -2)
        Fail(LoadResString(SInvalidDeviceId));
    if (GetWaveFormat() == nullptr)
        Fail(LoadResString(SInvalidWaveFormat));
    if (IsOpen())
        Close();
    if (IsOpen())
        return;  // the close follows a pending stop
    try {
        CheckFormat();
        if (callBackMode_ == cmThread)
            StartThread();
        OpenDevice();
        // The links open while the source still counts as closed.
        PropagateOpen();
        // The device confirms the opening (our back ends before Open returns).
        if (!WaitFor([this] { return deviceOpened_; }, kConfirmMs))
            Fail(CallPrefix("WaveInOpen") + LoadResString(SUnableToOpenDevice));
        {
            std::lock_guard lock(mutex_);
            phase_ = TMMWaveInPhase::Open;
            Changed();
        }
        AllocBuffers();
        PrepareBuffers();
        if (OnOpen)
            OnOpen(this);
    } catch (...) {
        if (OnError)
            OnError(this);
        CloseAfterFailure();
        throw;
    }
}

void TMMCustomWaveIn::StartThread()
{
    std::shared_ptr<TMMWaveInThread> thread;
    try {
        thread = std::make_shared<TMMWaveInThread>(this);
    } catch (...) {
        Fail(CallPrefix("WaveIn") + LoadResString(SCouldNotCreateThread));
    }
    thread_ = thread;
    if (!thread->Launch(kThreadWaitMs))
        Fail(CallPrefix("WaveIn") + LoadResString(SCouldNotCreateThread));
}

void TMMCustomWaveIn::StopThread()
{
    std::shared_ptr<TMMWaveInThread> thread = std::move(thread_);
    if (thread)
        thread->End();
}

void TMMCustomWaveIn::OpenDevice()
{
    // Handles are never reused: messages of an older opening are recognised
    // and dropped.
    static std::atomic<std::uint64_t> nextHandle{1};
    const std::uint64_t handle = nextHandle++;
    std::shared_ptr<TMMWaveInThread> thread = thread_;
    {
        std::lock_guard lock(mutex_);
        handle_ = handle;
        deviceOpened_ = deviceClosed_ = false;
        paused_ = stopPending_ = closePending_ = threadFailed_ = requeueing_ = false;
        queued_ = inFlight_ = 0;
    }
    if (thread)
        thread->SetHandle(handle);
    const WAVEFORMATEX format = *GetWaveFormat();
    std::unique_ptr<platform::WaveInDevice> device;
    const int rc = backend_->Open(
        deviceId_, format,
        [this, handle, thread](int msg, WAVEHDR* hdr, int error) { DeviceMessage(handle, thread.get(), msg, hdr, error); },
        device);
    if (rc != platform::MMSYSERR_NOERROR) {
        {
            std::lock_guard lock(mutex_);
            handle_ = 0;
        }
        OpenError(rc);
    }
    std::lock_guard lock(mutex_);
    device_ = std::move(device);
}

// Closes what a failed Open/Start/Pause/Restart left; errors of the cleanup
// do not hide the first one.
void TMMCustomWaveIn::CloseAfterFailure()
{
    {
        // Counted as open, so that Close runs the device's part.
        std::lock_guard lock(mutex_);
        if (phase_ == TMMWaveInPhase::Closed)
            phase_ = TMMWaveInPhase::Open;
    }
    try {
        Close();
    } catch (...) {
    }
    // Whatever Close could not finish is released here. Buffers still
    // handled are no longer given back; the device goes first (after its
    // Close no callback comes any more), then the thread.
    {
        std::lock_guard lock(mutex_);
        phase_ = TMMWaveInPhase::Closing;
        stopPending_ = closePending_ = false;
        Changed();
    }
    WaitFor([this] { return !requeueing_; }, INT_MAX);
    if (device_)
        device_->Close();
    StopThread();
    ReleaseDevice();
    if (opened_)
        PropagateClose();
    std::lock_guard lock(mutex_);
    phase_ = TMMWaveInPhase::Closed;
    paused_ = false;
    Changed();
}

// ---------------------------------------------------------------------------
// Start, Pause, Restart

void TMMCustomWaveIn::Start()
{
    if (!IsOpen())
        Open();
    {
        std::lock_guard lock(mutex_);
        if (phase_ != TMMWaveInPhase::Open)
            return;
        queued_ = 0;
        stopPending_ = false;
    }
    try {
        totalBytes_ = 0;
        nextBuffer_ = 0;
        FlushStaleBuffers();
        ComputeByteLimit();
        QueueAllBuffers();
        bool paused;
        {
            std::lock_guard lock(mutex_);
            phase_ = TMMWaveInPhase::Running;
            paused = paused_;
            Changed();
        }
        // Paused before the start: the buffers wait at the device until Restart.
        if (!paused) {
            const int rc = device_->Start();
            if (rc != platform::MMSYSERR_NOERROR)
                DeviceError("WaveInStart", rc);
        }
        PropagateStart();
        if (OnStart)
            OnStart(this);
    } catch (...) {
        if (OnError)
            OnError(this);
        {
            // Counted as started, so that the close stops the chain too.
            std::lock_guard lock(mutex_);
            if (phase_ == TMMWaveInPhase::Open)
                phase_ = TMMWaveInPhase::Running;
        }
        CloseAfterFailure();
        throw;
    }
}

void TMMCustomWaveIn::Pause()
{
    if (!IsOpen())
        Open();
    bool started;
    {
        std::lock_guard lock(mutex_);
        if ((phase_ != TMMWaveInPhase::Open && phase_ != TMMWaveInPhase::Running) || paused_)
            return;
        started = phase_ == TMMWaveInPhase::Running;
    }
    try {
        if (started) {
            const int rc = device_->Stop();
            if (rc != platform::MMSYSERR_NOERROR)
                DeviceError("WaveInPause", rc);
        }
        {
            std::lock_guard lock(mutex_);
            paused_ = true;
            Changed();
        }
        PropagatePause();
        if (OnPause)
            OnPause(this);
    } catch (...) {
        if (OnError)
            OnError(this);
        CloseAfterFailure();
        throw;
    }
}

void TMMCustomWaveIn::Restart()
{
    {
        std::lock_guard lock(mutex_);
        if (phase_ != TMMWaveInPhase::Running || !paused_)
            return;
    }
    try {
        const int rc = device_->Start();
        if (rc != platform::MMSYSERR_NOERROR)
            DeviceError("WaveInRestart", rc);
        {
            std::lock_guard lock(mutex_);
            paused_ = false;
            Changed();
        }
        PropagateRestart();
        if (OnRestart)
            OnRestart(this);
    } catch (...) {
        if (OnError)
            OnError(this);
        CloseAfterFailure();
        throw;
    }
}

// ---------------------------------------------------------------------------
// Stop

void TMMCustomWaveIn::Stop()
{
    bool halt = false;
    if (!BeginStop(halt))
        return;
    if (halt)
        HaltDevice();
    {
        std::lock_guard lock(mutex_);
        if (phase_ != TMMWaveInPhase::Stopping)
            return;  // completed meanwhile
        // A buffer is being handled: the end of its handling completes the
        // stop through the window's queue.
        if (inFlight_ > 0) {
            stopPending_ = true;
            return;
        }
    }
    WaitForReturnedBuffers();
    CompleteStop();
}

// Requests the stop; `halt` tells whether this call stops the device. False
// when there is nothing to stop.
bool TMMCustomWaveIn::BeginStop(bool& halt)
{
    {
        std::lock_guard lock(mutex_);
        if (phase_ == TMMWaveInPhase::Stopping) {
            halt = false;
            return true;
        }
        if (phase_ != TMMWaveInPhase::Running && !(phase_ == TMMWaveInPhase::Open && paused_))
            return false;
        phase_ = TMMWaveInPhase::Stopping;
        halt = true;
        Changed();
    }
    // A handled buffer that is being given back now reaches the device
    // before its reset, so the reset returns it too; later ones stay here.
    WaitFor([this] { return !requeueing_; }, INT_MAX);
    return true;
}

void TMMCustomWaveIn::HaltDevice()
{
    platform::WaveInDevice* device;
    {
        std::lock_guard lock(mutex_);
        device = device_.get();
    }
    int rc = device ? device->Stop() : platform::MMSYSERR_INVALHANDLE;
    if (rc != platform::MMSYSERR_NOERROR)
        DeviceError("WaveInStop", rc);
    // Hands every queued buffer back.
    rc = device ? device->Reset() : platform::MMSYSERR_INVALHANDLE;
    if (rc != platform::MMSYSERR_NOERROR)
        DeviceError("WaveInReset", rc);
}

void TMMCustomWaveIn::WaitForReturnedBuffers()
{
    // A capture thread that failed handles no returned buffers any more.
    auto back = [this] { return queued_ <= 0 || threadFailed_; };
    if (callBackMode_ == cmWindow && platform::IsWindowThread()) {
        // The returned buffers wait in the window's queue.
        for (int round = 0; round < kConfirmMs / kRoundMs; ++round) {
            platform::RunPendingTasks();
            if (WaitFor(back, kRoundMs))
                return;
        }
        return;
    }
    WaitFor(back, kConfirmMs);
}

void TMMCustomWaveIn::CompleteStop()
{
    bool close;
    {
        std::lock_guard lock(mutex_);
        if (phase_ != TMMWaveInPhase::Stopping)
            return;  // a nested call completed it
        phase_ = TMMWaveInPhase::Open;
        paused_ = false;
        queued_ = 0;
        stopPending_ = false;
        close = closePending_;
        Changed();
    }
    nextBuffer_ = 0;
    PropagateStop();
    if (!IsDestroying() && OnStop)
        OnStop(this);
    if (close)
        Close();
}

// ---------------------------------------------------------------------------
// Close

void TMMCustomWaveIn::Close()
{
    {
        std::lock_guard lock(mutex_);
        if (phase_ == TMMWaveInPhase::Closed || phase_ == TMMWaveInPhase::Closing)
            return;
    }
    if (State() & (wisStarted | wisPaused))
        Stop();
    {
        std::lock_guard lock(mutex_);
        if (phase_ == TMMWaveInPhase::Stopping) {
            closePending_ = true;  // follows the pending stop
            return;
        }
        if (phase_ != TMMWaveInPhase::Open)
            return;  // closed meanwhile
        closePending_ = false;
        phase_ = TMMWaveInPhase::Closing;
        Changed();
    }
    CloseDevice();
}

// Phase Closing: closes the device and the chain.
void TMMCustomWaveIn::CloseDevice()
{
    bool confirmed = true;
    if (device_) {
        try {
            // Buffers that come back now are not handled any more.
            device_->Stop();
            device_->Reset();
            UnprepareBuffers();
            const int rc = device_->Close();
            if (rc != platform::MMSYSERR_NOERROR)
                DeviceError("WaveInClose", rc);
        } catch (...) {
            // The device stays open; it can be closed later.
            std::lock_guard lock(mutex_);
            phase_ = TMMWaveInPhase::Open;
            Changed();
            throw;
        }
        confirmed = WaitFor([this] { return deviceClosed_; }, kConfirmMs);
    }
    // Without a confirmation the device is given up all the same: its
    // object is released below and the source counts as closed.
    {
        std::lock_guard lock(mutex_);
        phase_ = TMMWaveInPhase::Closed;
        paused_ = false;
        Changed();
    }
    PropagateClose();
    StopThread();
    ReleaseDevice();
    if (!IsDestroying() && OnClose)
        OnClose(this);
    if (!confirmed)
        Fail(CallPrefix("WaveInClose") + LoadResString(SUnableToCloseDevice));
}

void TMMCustomWaveIn::ReleaseDevice()
{
    std::unique_ptr<platform::WaveInDevice> device;
    {
        std::lock_guard lock(mutex_);
        handle_ = 0;
        device = std::move(device_);
        queued_ = inFlight_ = 0;
        requeueing_ = false;
    }
    // Outside the lock: a device may wait for its own callbacks to end.
    device.reset();
    platform::RemovePostedMessages(this, platform::WIM_DATA);
    FreeBuffers();
}

}  // namespace zol
