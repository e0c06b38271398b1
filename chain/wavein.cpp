#include "chain/wavein.h"

#include "platform/errors.h"
#include "platform/mmsyserr.h"
#include "platform/msgbox.h"
#include "platform/strings.h"
#include "platform/window_thread.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace zol {

namespace {
constexpr int kConfirmRounds = 100;  // rounds of 10 ms for open/close confirmations
constexpr int kRoundMs = 10;
constexpr int kThreadWaitMs = 5000;
constexpr int kUnprepareSpins = 65000;

// a * b / c rounded to nearest, halves up (non-negative operands); -1 on
// overflow.
std::int64_t MulDivRound(std::int64_t a, std::int64_t b, std::int64_t c)
{
    if (c <= 0 || a < 0 || b < 0)
        return -1;
    __int128 p = static_cast<__int128>(a) * b + c / 2;
    p /= c;
    if (p > INT64_MAX)
        return -1;
    return static_cast<std::int64_t>(p);
}
}  // namespace

// What the capture thread shares with its source: the events and the
// message queue outlive whichever of the two ends last.
struct TMMWaveInThreadShared {
    platform::TEvent running{false, false};  // running, later finished (auto-reset)
    platform::TEvent stop{false, false};
    platform::ThreadQueue queue;
    std::atomic<bool> finished{false};
    std::atomic<std::uint64_t> handle{0};
};

// ---------------------------------------------------------------------------
// Construction and properties

TMMCustomWaveIn::TMMCustomWaveIn(QObject* owner) : TMMCustomSoundComponent(owner)
{
    bufferSize_ = 2048;
    productName_ = LoadResString(SNoWaveInDevice);
    RebuildFormat();
}

TMMCustomWaveIn::~TMMCustomWaveIn()
{
    Destroying();
    if (handle_.load() != 0 || IsOpen()) {
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
    if (window_) {
        platform::RemovePostedMessages(window_.get());
        window_.reset();
    }
}

void TMMCustomWaveIn::InitDevice()
{
    numDevs_ = functions_.GetNumDevs ? std::max(functions_.GetNumDevs(), 0) : 0;
    ApplyDeviceId(deviceId_);
}

void TMMCustomWaveIn::RebuildFormat()
{
    WAVEFORMATEX format{};
    MakePcmFormat(format, (bitLength_ + 1) * 8, mode_ + 1, sampleRate_);
    SetWaveFormat(&format);
}

void TMMCustomWaveIn::RefuseWhileOpen()
{
    if (IsOpen())
        Fail(LoadResString(SChangeWhileOpen));
}

void TMMCustomWaveIn::ApplyDeviceId(int value)
{
    productName_ = LoadResString(SNoWaveInDevice);
    driverVersion_ = 0;
    if (numDevs_ > 0 && value >= -1 && value < numDevs_) {
        deviceId_ = value;
        platform::DeviceCapsRecord caps;
        if (functions_.GetDevCaps && functions_.GetDevCaps(value, caps) == platform::MMSYSERR_NOERROR) {
            productName_ = caps.productName;
            driverVersion_ = caps.driverVersion;
        }
    } else {
        deviceId_ = -2;
    }
}

void TMMCustomWaveIn::SetDeviceID(int value)
{
    if (value == deviceId_)
        return;
    RefuseWhileOpen();
    ApplyDeviceId(value);
}

void TMMCustomWaveIn::SetCallBackMode(TMMCBMode value)
{
    if (value == callBackMode_)
        return;
    RefuseWhileOpen();
    if (value == cmCallback) {
        // Running the chain inside the device's callback is not offered here.
        platform::ShowMessageBox(LoadResString(SCallbacksInterrupt) + QStringLiteral("\n\r") +
                                     LoadResString(SCallbacksOnlyWin95),
                                 QStringLiteral("TMMWaveIn"));
        return;
    }
    callBackMode_ = value;
}

void TMMCustomWaveIn::SetNumBuffers(int value)
{
    if (value <= 1)
        return;
    value = std::min(value, kMaxWaveInBuffers);
    if (value == numBuffers_)
        return;
    RefuseWhileOpen();
    numBuffers_ = value;
}

void TMMCustomWaveIn::SetMode(int value)
{
    if (value < 0 || value >= 2 || value == mode_)
        return;
    RefuseWhileOpen();
    mode_ = static_cast<TMMMode>(value);
    RebuildFormat();
}

void TMMCustomWaveIn::SetBitLength(int value)
{
    if (value < 0 || value >= 2 || value == bitLength_)
        return;
    RefuseWhileOpen();
    bitLength_ = static_cast<TMMBits>(value);
    RebuildFormat();
}

void TMMCustomWaveIn::SetSampleRate(int value)
{
    value = std::clamp(value, 8000, 100000);
    if (value == sampleRate_)
        return;
    RefuseWhileOpen();
    sampleRate_ = value;
    RebuildFormat();
}

int TMMCustomWaveIn::GetBufferSize() const
{
    return TMMCustomSoundComponent::GetBufferSize();
}

void TMMCustomWaveIn::SetBufferSize(int size)
{
    size = std::max(size, 32);
    if (size == bufferSize_)
        return;
    RefuseWhileOpen();
    TMMCustomSoundComponent::SetBufferSize(size);
}

void TMMCustomWaveIn::SetInput(TMMDSPComponent*)
{
    // The head of the chain has no input side.
}

bool TMMCustomWaveIn::HasLinkProperty(const QString& name) const
{
    return name == QLatin1String("Output");
}

void TMMCustomWaveIn::SetWaveFormat(const WAVEFORMATEX* format)
{
    Close();
    if (IsValidPcmFormat(format)) {
        sampleRate_ = static_cast<int>(format->nSamplesPerSec);
        bitLength_ = BitsOf(*format);
        mode_ = ModeOf(*format);
    }
    TMMCustomSoundComponent::SetWaveFormat(format);
}

void TMMCustomWaveIn::SetTimeFormat(TMMTimeFormats value)
{
    if (value == timeFormat_)
        return;
    const WAVEFORMATEX* f = GetWaveFormat();
    if (maxRecordTime_ >= 0 && f != nullptr && f->nAvgBytesPerSec > 0) {
        // The limit in bytes, expressed in the new unit.
        const std::int64_t bytes = byteLimit_ >= 0 ? byteLimit_ : maxRecordTime_;
        std::int64_t v = bytes;
        if (value == tfMillisecond)
            v = MulDivRound(bytes, 1000, f->nAvgBytesPerSec);
        else if (value == tfSample)
            v = MulDivRound(bytes, f->nSamplesPerSec, f->nAvgBytesPerSec);
        maxRecordTime_ = (v < 0 || v > INT_MAX) ? INT_MAX : static_cast<int>(v);
    }
    timeFormat_ = value;
    ComputeByteLimit();
}

void TMMCustomWaveIn::SetMaxRecordTime(int value)
{
    if (value == maxRecordTime_)
        return;
    maxRecordTime_ = value;
    ComputeByteLimit();
}

void TMMCustomWaveIn::ComputeByteLimit()
{
    const WAVEFORMATEX* f = GetWaveFormat();
    // A negative time means no limit at all (not a limit of 2 GiB, which a
    // long recording would reach).
    if (maxRecordTime_ < 0 || f == nullptr || f->nBlockAlign == 0 || f->nAvgBytesPerSec == 0 ||
        f->nSamplesPerSec == 0) {
        byteLimit_ = -1;
        return;
    }
    const std::int64_t block = f->nBlockAlign;
    auto roundUp = [&](std::int64_t b) { return b < 0 ? b : (b + block - 1) / block * block; };
    std::int64_t bytes = maxRecordTime_;
    switch (timeFormat_) {
    case tfMillisecond:
        bytes = roundUp(MulDivRound(maxRecordTime_, f->nAvgBytesPerSec, 1000));
        break;
    case tfSample:
        bytes = roundUp(MulDivRound(maxRecordTime_, f->nAvgBytesPerSec, f->nSamplesPerSec));
        break;
    case tfByte:
        break;
    }
    if (bytes < 0 || bytes > INT_MAX)
        bytes = INT_MAX;
    byteLimit_ = bytes - bytes % block;
}

int TMMCustomWaveIn::QueuedBuffers() const
{
    std::lock_guard guard(lock_);
    return queued_;
}

// ---------------------------------------------------------------------------
// Errors

void TMMCustomWaveIn::Error(const QString& message)
{
    if (OnError)
        OnError(this);
    throw EMMWaveInError(message);
}

void TMMCustomWaveIn::Fail(const QString& message)
{
    Error(message);
    // An override of Error that returns must not let the caller go on.
    throw EMMWaveInError(message);
}

QString TMMCustomWaveIn::DeviceErrorText(int code) const
{
    QString text;
    if (!functions_.GetErrorText || !functions_.GetErrorText(code, text) || text.isEmpty())
        return LoadResString(SUnknownMMError);
    return text.left(254);  // the error-text buffer holds 255 characters
}

void TMMCustomWaveIn::DeviceError(const char* call, int code)
{
    lastError_ = code;
    Fail(CallPrefix(call) + DeviceErrorText(code));
}

// ---------------------------------------------------------------------------
// Open

void TMMCustomWaveIn::CheckFormat()
{
    const WAVEFORMATEX* f = GetWaveFormat();
    const QString cant = CallPrefix("WaveInOpen") + LoadResString(SCantRecordFormat);
    const int query = functions_.QueryFormat ? functions_.QueryFormat(deviceId_, *f) : platform::WAVERR_BADFORMAT;
    // A device that cannot be opened at all says why; only a refused format
    // is reported as one.
    if (query != platform::MMSYSERR_NOERROR && query != platform::WAVERR_BADFORMAT)
        DeviceError("WaveInOpen", query);
    if (query != platform::MMSYSERR_NOERROR)
        Fail(cant);
    if (f->wFormatTag != WAVE_FORMAT_PCM)
        return;
    platform::DeviceCapsRecord caps;
    if (!functions_.GetDevCaps || functions_.GetDevCaps(deviceId_, caps) != platform::MMSYSERR_NOERROR)
        Fail(cant);
    const std::uint32_t rate = f->nSamplesPerSec;
    int band;
    if (rate >= 8000 && rate <= 11025)
        band = 0;
    else if (rate >= 11026 && rate <= 22050)
        band = 1;
    else if (rate >= 22051 && rate <= 48000)
        band = 2;
    else
        return;  // not described by the flags
    // Flags: per band 4 bits, mono 8, stereo 8, mono 16, stereo 16.
    const int bit = (f->nChannels == 2 ? 1 : 0) + (f->wBitsPerSample == 16 ? 2 : 0);
    const std::uint32_t flag = 1u << (band * 4 + bit);
    if (!(caps.formats & flag))
        Fail(cant);
}

void TMMCustomWaveIn::StartThread()
{
    auto shared = std::make_shared<TMMWaveInThreadShared>();
    TMMWaveInThread* thread = nullptr;
    try {
        thread = new TMMWaveInThread(this, shared);
    } catch (...) {
        thread = nullptr;
    }
    if (thread == nullptr)
        Fail(CallPrefix("WaveIn") + LoadResString(SCouldNotCreateThread));
    thread->SetFreeOnTerminate(true);
    thread_ = shared;
    thread->Resume();
    if (!shared->running.WaitFor(kThreadWaitMs))
        Fail(CallPrefix("WaveIn") + LoadResString(SCouldNotCreateThread));
}

void TMMCustomWaveIn::StopThread()
{
    std::shared_ptr<TMMWaveInThreadShared> shared = std::move(thread_);
    if (!shared)
        return;
    shared->stop.Set();
    // The thread runs only our chain; if it is slow to end (a link busy on
    // the window thread), keep waiting: the wait serves its blocking calls.
    if (!shared->running.WaitFor(kThreadWaitMs))
        platform::WaitUntil([&] { return shared->finished.load(); }, INT_MAX);
    platform::WaitUntil([&] { return shared->finished.load(); }, INT_MAX);
    shared->queue.Clear();
}

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
    if (IsOpen() || closing_)
        return;
    closing_ = false;
    resetting_ = false;
    stopping_ = false;
    try {
        CheckFormat();
        if (!window_)
            window_ = std::make_unique<char>(0);
        handle_ = 0;
        closePending_ = false;
        threadError_ = false;
        if (callBackMode_ == cmThread)
            StartThread();
        // Device handles are never reused: messages of an older opening are
        // recognised and dropped.
        static std::atomic<std::uint64_t> nextHandle{1};
        const std::uint64_t handle = nextHandle++;
        handle_ = handle;
        if (thread_)
            thread_->handle = handle;
        const WAVEFORMATEX format = *GetWaveFormat();
        std::unique_ptr<platform::WaveInDevice> device;
        const int rc = functions_.Open ? functions_.Open(
                                             deviceId_, format,
                                             [this, handle](int msg, WAVEHDR* hdr, int error) {
                                                 DeviceMessage(handle, msg, hdr, error);
                                             },
                                             device)
                                       : platform::MMSYSERR_NODRIVER;
        if (rc != platform::MMSYSERR_NOERROR) {
            handle_ = 0;
            DeviceError("WaveInOpen", rc);
        }
        device_ = std::move(device);
        const int saved = state_.exchange(wisClosed);
        PropagateOpen();
        state_ = saved | (state_.load() & wisOpened);
        // The device confirms the opening (our back ends before Open returns).
        for (int round = 0; round < kConfirmRounds && !IsOpen(); ++round)
            platform::WaitUntil([this] { return IsOpen(); }, kRoundMs);
        if (!IsOpen())
            Fail(CallPrefix("WaveInOpen") + LoadResString(SUnableToOpenDevice));
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

// Closes what a failed Open/Start/Pause/Restart left; errors of the cleanup
// do not hide the first one.
void TMMCustomWaveIn::CloseAfterFailure()
{
    state_ = state_.load() | wisOpened;
    try {
        Close();
    } catch (...) {
    }
    // Whatever Close could not finish is released here.
    stopPending_ = false;
    closePending_ = false;
    // The device first: after its Close no callback comes any more.
    if (device_) {
        functions_.Close(device_.get());
        device_.reset();
    }
    handle_ = 0;
    if (thread_)
        StopThread();
    FreeBuffers();
    closing_ = false;
    if (opened_)
        PropagateClose();
    state_ = wisClosed;
}

void TMMCustomWaveIn::AllocBuffers()
{
    const int size = GetBufferSize();
    if (size <= 0)
        return;
    buffers_.resize(static_cast<size_t>(numBuffers_), nullptr);
    for (auto& slot : buffers_) {
        if (slot != nullptr)
            continue;
        void* block = std::calloc(1, kWaveHdrArea + static_cast<size_t>(size));
        if (block == nullptr)
            Fail(LoadResString(SAllocWaveHeader));
        auto* hdr = static_cast<WAVEHDR*>(block);
        hdr->lpData = static_cast<char*>(block) + kWaveHdrArea;
        hdr->dwBufferLength = static_cast<std::uint32_t>(size);
        slot = hdr;
    }
}

void TMMCustomWaveIn::FreeBuffers()
{
    for (WAVEHDR*& hdr : buffers_) {
        std::free(hdr);
        hdr = nullptr;
    }
    buffers_.clear();
}

void TMMCustomWaveIn::PrepareBuffers()
{
    for (WAVEHDR* hdr : buffers_) {
        const int rc = functions_.PrepareHeader(device_.get(), hdr);
        if (rc != platform::MMSYSERR_NOERROR)
            DeviceError("WaveInPrepareHeader", rc);
    }
}

void TMMCustomWaveIn::UnprepareBuffers()
{
    for (WAVEHDR* hdr : buffers_) {
        if (hdr == nullptr || !(hdr->dwFlags & WHDR_PREPARED))
            continue;
        int spins = 0;
        while (!(reinterpret_cast<volatile std::uint32_t&>(hdr->dwFlags) & WHDR_DONE) && spins < kUnprepareSpins)
            ++spins;
        if (!(hdr->dwFlags & WHDR_DONE))
            hdr->dwFlags = WHDR_DONE;
        const int rc = functions_.UnprepareHeader(device_.get(), hdr);
        if (rc != platform::MMSYSERR_NOERROR)
            DeviceError("WaveInUnprepareHeader", rc);
    }
}

bool TMMCustomWaveIn::OwnsBuffer(const WAVEHDR* hdr) const
{
    return hdr != nullptr && std::find(buffers_.begin(), buffers_.end(), hdr) != buffers_.end();
}

void TMMCustomWaveIn::QueueBuffer(WAVEHDR* hdr)
{
    hdr->dwFlags = (hdr->dwFlags & ~WHDR_DONE) | WHDR_PREPARED;
    const int rc = functions_.AddBuffer(device_.get(), hdr);
    if (rc != platform::MMSYSERR_NOERROR)
        DeviceError("WaveInAddBuffer", rc);
    std::lock_guard guard(lock_);
    ++queued_;
}

// ---------------------------------------------------------------------------
// Start, Pause, Restart

void TMMCustomWaveIn::FlushStaleBuffers()
{
    // Buffers a timed-out stop left in the queues must not come back as
    // new ones.
    if (thread_)
        thread_->queue.Clear();
    if (window_)
        platform::RemovePostedMessages(window_.get(), platform::WIM_DATA);
}

void TMMCustomWaveIn::Start()
{
    if (!IsOpen())
        Open();
    if (!IsOpen() || IsStarted())
        return;
    try {
        totalBytes_ = 0;
        nextBuffer_ = 0;
        callbackCount_ = 0;
        stopPending_ = false;
        stopping_ = false;
        resetting_ = false;
        {
            std::lock_guard guard(lock_);
            queued_ = 0;
        }
        FlushStaleBuffers();
        ComputeByteLimit();
        for (WAVEHDR* hdr : buffers_)
            QueueBuffer(hdr);
        NotifyStart();
    } catch (...) {
        if (OnError)
            OnError(this);
        state_ = state_.load() | wisStarted;
        CloseAfterFailure();
        throw;
    }
}

void TMMCustomWaveIn::NotifyStart()
{
    state_ = state_.load() | wisStarted;
    if (!IsPaused()) {
        const int rc = functions_.Start(device_.get());
        if (rc != platform::MMSYSERR_NOERROR)
            DeviceError("WaveInStart", rc);
    }
    PropagateStart();
    if (OnStart)
        OnStart(this);
}

void TMMCustomWaveIn::Pause()
{
    if (!IsOpen())
        Open();
    if (!IsOpen() || IsPaused())
        return;
    try {
        if (IsStarted()) {
            const int rc = functions_.Stop(device_.get());
            if (rc != platform::MMSYSERR_NOERROR)
                DeviceError("WaveInPause", rc);
        }
        NotifyPause();
    } catch (...) {
        if (OnError)
            OnError(this);
        CloseAfterFailure();
        throw;
    }
}

void TMMCustomWaveIn::NotifyPause()
{
    state_ = state_.load() | wisPaused;
    PropagatePause();
    if (OnPause)
        OnPause(this);
}

void TMMCustomWaveIn::Restart()
{
    if (!IsStarted() || !IsPaused())
        return;
    try {
        const int rc = functions_.Start(device_.get());
        if (rc != platform::MMSYSERR_NOERROR)
            DeviceError("WaveInRestart", rc);
        NotifyRestart();
    } catch (...) {
        if (OnError)
            OnError(this);
        CloseAfterFailure();
        throw;
    }
}

void TMMCustomWaveIn::NotifyRestart()
{
    state_ = state_.load() & ~wisPaused;
    PropagateRestart();
    if (OnRestart)
        OnRestart(this);
}

// ---------------------------------------------------------------------------
// Stop

void TMMCustomWaveIn::WaitForQueuedBuffers()
{
    auto none = [this] { return QueuedBuffers() <= 0; };
    for (int round = 0; round < kConfirmRounds && !none(); ++round) {
        if (callBackMode_ == cmWindow && platform::IsWindowThread()) {
            // The returned buffers wait in the window's queue.
            platform::RunPendingTasks();
            if (none())
                break;
        }
        platform::WaitUntil(none, kRoundMs);
    }
}

void TMMCustomWaveIn::Stop()
{
    if (!(state_.load() & (wisStarted | wisPaused)))
        return;
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
        int rc = functions_.Stop(device_.get());
        if (rc != platform::MMSYSERR_NOERROR)
            DeviceError("WaveInStop", rc);
        resetting_ = true;
        rc = functions_.Reset(device_.get());
        if (rc != platform::MMSYSERR_NOERROR)
            DeviceError("WaveInReset", rc);
    }
    // A capture thread that failed handles no returned buffers any more.
    if (callbackCount_.load() == 0 && !threadError_)
        WaitForQueuedBuffers();
    NotifyStop();
}

void TMMCustomWaveIn::NotifyStop()
{
    if (!(state_.load() & (wisStarted | wisPaused)))
        return;
    {
        // A buffer is being handled: its callback finishes the stop. Checked
        // under the lock its end takes, so the stop cannot be lost between.
        std::lock_guard guard(lock_);
        if (callbackCount_.load() > 0) {
            stopPending_ = true;
            return;
        }
    }
    state_ = state_.load() & ~(wisStarted | wisPaused);
    nextBuffer_ = 0;
    {
        std::lock_guard guard(lock_);
        queued_ = 0;
    }
    stopPending_ = false;
    PropagateStop();
    if (!IsDestroying() && OnStop)
        OnStop(this);
    if (closePending_)
        Close();
}

// ---------------------------------------------------------------------------
// Close

void TMMCustomWaveIn::Close()
{
    if (!IsOpen())
        return;
    if (closing_ && !closePending_)
        return;
    try {
        closing_ = true;
        if (state_.load() & (wisStarted | wisPaused))
            Stop();
        if (stopPending_) {
            closePending_ = true;
            return;
        }
        closePending_ = false;
        bool confirmed = true;
        if (device_) {
            functions_.Stop(device_.get());
            functions_.Reset(device_.get());
            UnprepareBuffers();
            const int rc = functions_.Close(device_.get());
            if (rc != platform::MMSYSERR_NOERROR)
                DeviceError("WaveInClose", rc);
            auto closed = [this] { return (state_.load() & wisClosed) != 0; };
            for (int round = 0; round < kConfirmRounds && !closed(); ++round)
                platform::WaitUntil(closed, kRoundMs);
            confirmed = closed();
        }
        // Without a confirmation the device is given up all the same: its
        // object is released below and the component counts as closed.
        state_ = wisClosed;
        PropagateClose();
        if (callBackMode_ == cmThread || thread_)
            StopThread();
        NotifyClose();
        if (!confirmed)
            Fail(CallPrefix("WaveInClose") + LoadResString(SUnableToCloseDevice));
    } catch (...) {
        closing_ = false;
        throw;
    }
}

void TMMCustomWaveIn::NotifyOpen()
{
    PropagateOpen();
}

void TMMCustomWaveIn::NotifyClose()
{
    handle_ = 0;
    device_.reset();
    if (window_)
        platform::RemovePostedMessages(window_.get(), platform::WIM_DATA);
    FreeBuffers();
    closing_ = false;
    if (!IsDestroying() && OnClose)
        OnClose(this);
}

// ---------------------------------------------------------------------------
// Buffers

void TMMCustomWaveIn::BufferReady(PWaveHdr lpWaveHdr)
{
    bool stopDue = false;
    const std::int64_t total = totalBytes_.load() + lpWaveHdr->dwBytesRecorded;
    if (byteLimit_ >= 0 && total >= byteLimit_) {
        lpWaveHdr->dwBytesRecorded -= static_cast<std::uint32_t>(total - byteLimit_);
        totalBytes_ = byteLimit_;
        stopDue = true;
    } else {
        totalBytes_ = total;
    }
    nextBuffer_ = numBuffers_ > 0 ? (nextBuffer_ + 1) % numBuffers_ : 0;
    TMMCustomSoundComponent::BufferReady(lpWaveHdr);
    if (stopDue)
        Stop();
}

void TMMCustomWaveIn::BufferDone(WAVEHDR* hdr)
{
    if (!IsStarted() || !OwnsBuffer(hdr))
        return;
    // Whether this buffer comes back from a stop is decided under the lock
    // Stop takes, so a stop either sees this callback counted or this
    // callback sees the stop.
    bool fromStop;
    {
        std::lock_guard guard(lock_);
        fromStop = resetting_ || stopping_;
        if (!fromStop) {
            ++callbackCount_;
            --queued_;
        }
    }
    if (fromStop) {
        if (!resetting_ && hdr->dwBytesRecorded > 0)
            BufferReady(hdr);
        std::lock_guard guard(lock_);
        if (--queued_ <= 0) {
            queued_ = 0;
            resetting_ = false;
        }
        platform::WakeWaiters();
        return;
    }
    try {
        BufferReady(hdr);
        RequeueUnlessStopping(hdr);
    } catch (...) {
        if (OnError)
            OnError(this);
        EndCallback();
        throw;
    }
    EndCallback();
}

void TMMCustomWaveIn::RequeueUnlessStopping(WAVEHDR* hdr)
{
    // Under the lock Stop holds while it stops and resets the device: a
    // buffer is never handed back to a device that was just reset.
    std::lock_guard guard(lock_);
    if (stopPending_ || stopping_)
        return;
    hdr->dwFlags = (hdr->dwFlags & ~WHDR_DONE) | WHDR_PREPARED;
    const int rc = functions_.AddBuffer(device_.get(), hdr);
    if (rc != platform::MMSYSERR_NOERROR)
        DeviceError("WaveInAddBuffer", rc);
    ++queued_;
}

void TMMCustomWaveIn::EndCallback()
{
    bool deferredStop;
    {
        std::lock_guard guard(lock_);
        deferredStop = --callbackCount_ == 0 && stopPending_;
        if (deferredStop)
            stopping_ = true;
    }
    if (deferredStop) {
        // The deferred stop runs from the window's queue.
        const std::uint64_t handle = handle_.load();
        platform::PostToWindow([this, handle] { WindowMessage(handle, MM_WIM_STOP, nullptr); }, window_.get(),
                               MM_WIM_STOP);
    }
}

// ---------------------------------------------------------------------------
// Device messages

void TMMCustomWaveIn::DeviceMessage(std::uint64_t handle, int msg, WAVEHDR* hdr, int error)
{
    if (handle != handle_.load())
        return;
    switch (msg) {
    case platform::WIM_OPEN:
        state_ = wisOpened;
        platform::WakeWaiters();
        break;
    case platform::WIM_CLOSE:
        state_ = wisClosed;
        platform::WakeWaiters();
        break;
    case platform::WIM_DATA:
        if (callBackMode_ == cmThread) {
            if (auto shared = thread_)
                shared->queue.Post({platform::WIM_DATA, static_cast<std::intptr_t>(handle),
                                    reinterpret_cast<std::intptr_t>(hdr)});
        } else {
            platform::PostToWindow([this, handle, hdr] { WindowMessage(handle, platform::WIM_DATA, hdr); },
                                   window_.get(), platform::WIM_DATA);
        }
        break;
    case platform::WIM_LOST:
        platform::PostToWindow([this, handle, error] { DeviceLost(handle, error); }, window_.get(),
                               platform::WIM_LOST);
        break;
    default:
        break;
    }
}

void TMMCustomWaveIn::WindowMessage(std::uint64_t handle, int msg, WAVEHDR* hdr)
{
    if (handle != handle_.load() || handle == 0)
        return;
    try {
        if (msg == platform::WIM_DATA)
            BufferDone(hdr);
        else if (msg == MM_WIM_STOP)
            Stop();
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        try {
            Close();
        } catch (...) {
            CloseAfterFailure();
        }
        platform::HandleException(error);
    }
}

void TMMCustomWaveIn::DeviceLost(std::uint64_t handle, int error)
{
    if (handle != handle_.load() || handle == 0)
        return;
    lastError_ = error;
    const QString text = CallPrefix("WaveIn") + LoadResString(SDeviceLost) + QStringLiteral("\n\r") +
                         DeviceErrorText(error);
    if (OnError)
        OnError(this);
    // Stop and close the chain in order; then tell the user.
    try {
        Close();
    } catch (...) {
        platform::HandleCurrentException();
        CloseAfterFailure();
    }
    platform::HandleException(std::make_exception_ptr(EMMWaveInError(text)));
}

void TMMCustomWaveIn::ThreadFailed(std::uint64_t handle, std::exception_ptr error)
{
    if (handle == handle_.load() && handle != 0) {
        try {
            Close();
        } catch (...) {
            CloseAfterFailure();
        }
    }
    platform::HandleException(error);
}

// ---------------------------------------------------------------------------
// TMMWaveInThread

TMMWaveInThread::TMMWaveInThread(TMMCustomWaveIn* owner, std::shared_ptr<TMMWaveInThreadShared> shared)
    : owner_(owner), shared_(std::move(shared))
{
}

void TMMWaveInThread::Execute()
{
    // Keep the shared state alive to the very end (this object frees itself).
    std::shared_ptr<TMMWaveInThreadShared> shared = shared_;
    SetPriority(platform::TThreadPriority::tpHigher);
    shared->running.Set();
    while (!Terminated()) {
        platform::ThreadMessage m;
        if (!shared->queue.Peek(m) && !shared->queue.Wait(shared->stop, m))
            break;
        bool failed = false;
        try {
            // After a failure, messages are only taken off the queue (so no
            // work stays pending) until the source stops this thread.
            if (!owner_->threadError_ && m.msg == platform::WIM_DATA &&
                static_cast<std::uint64_t>(m.wParam) == shared->handle.load())
                owner_->BufferDone(reinterpret_cast<WAVEHDR*>(m.lParam));
        } catch (...) {
            // The chain failed: the window thread closes the device in order
            // and reports the error; this thread ends.
            failed = true;
            owner_->threadError_ = true;
            const std::exception_ptr error = std::current_exception();
            TMMCustomWaveIn* owner = owner_;
            const std::uint64_t handle = shared->handle.load();
            platform::PostToWindow([owner, handle, error] { owner->ThreadFailed(handle, error); },
                                   owner->window_.get(), platform::WIM_LOST);
        }
        shared->queue.Done();
        (void)failed;
    }
    shared->finished = true;
    shared->running.Set();  // now: finished
    platform::WakeWaiters();
}

// ---------------------------------------------------------------------------
// TMMWaveIn

TMMWaveIn::TMMWaveIn(QObject* owner, std::shared_ptr<platform::WaveInBackend> backend)
    : TMMCustomWaveIn(owner), backend_(backend ? std::move(backend) : platform::CurrentWaveInBackend())
{
    BindDeviceFunctions();
    InitDevice();
}

void TMMWaveIn::BindDeviceFunctions()
{
    using Device = platform::WaveInDevice;
    auto b = backend_;
    functions_.GetNumDevs = [b] { return b->DeviceCount(); };
    functions_.GetDevCaps = [b](int id, platform::DeviceCapsRecord& caps) { return b->GetCaps(id, caps); };
    functions_.GetErrorText = [b](int code, QString& text) { return b->ErrorText(code, text); };
    functions_.QueryFormat = [b](int id, const WAVEFORMATEX& f) { return b->QueryFormat(id, f); };
    functions_.Open = [b](int id, const WAVEFORMATEX& f, platform::WaveInCallback cb, std::unique_ptr<Device>& d) {
        return b->Open(id, f, std::move(cb), d);
    };
    auto invalid = platform::MMSYSERR_INVALHANDLE;
    functions_.PrepareHeader = [invalid](Device* d, WAVEHDR* h) { return d ? d->PrepareHeader(h) : invalid; };
    functions_.UnprepareHeader = [invalid](Device* d, WAVEHDR* h) { return d ? d->UnprepareHeader(h) : invalid; };
    functions_.AddBuffer = [invalid](Device* d, WAVEHDR* h) { return d ? d->AddBuffer(h) : invalid; };
    functions_.Start = [invalid](Device* d) { return d ? d->Start() : invalid; };
    functions_.Stop = [invalid](Device* d) { return d ? d->Stop() : invalid; };
    functions_.Reset = [invalid](Device* d) { return d ? d->Reset() : invalid; };
    functions_.Close = [invalid](Device* d) { return d ? d->Close() : invalid; };
}

}  // namespace zol
