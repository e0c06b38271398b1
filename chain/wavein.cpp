// The capture source's properties, format, recording limit and errors; the
// lifecycle is in wavein_lifecycle.cpp.
#include "chain/wavein.h"

#include "platform/errors.h"
#include "platform/mmsyserr.h"
#include "platform/msgbox.h"
#include "platform/strings.h"
#include "platform/window_thread.h"

#include <algorithm>
#include <chrono>
#include <climits>

namespace zol {

namespace {
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

// ---------------------------------------------------------------------------
// Construction and properties

TMMCustomWaveIn::TMMCustomWaveIn(QObject* owner) : TMMCustomSoundComponent(owner)
{
    bufferSize_ = 2048;
    productName_ = LoadResString(SNoWaveInDevice);
    RebuildFormat();
}

void TMMCustomWaveIn::Bind(std::shared_ptr<platform::WaveInBackend> backend)
{
    backend_ = std::move(backend);
    numDevs_ = backend_ ? std::max(backend_->DeviceCount(), 0) : 0;
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
        if (backend_ && backend_->GetCaps(value, caps) == platform::MMSYSERR_NOERROR) {
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
        const std::int64_t limit = byteLimit_.load();
        const std::int64_t bytes = limit >= 0 ? limit : maxRecordTime_;
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

// ---------------------------------------------------------------------------
// State

TMMWaveInPhase TMMCustomWaveIn::Phase() const
{
    std::lock_guard lock(mutex_);
    return phase_;
}

int TMMCustomWaveIn::State() const
{
    std::lock_guard lock(mutex_);
    // A source that is stopping still counts as started, one that is
    // closing as opened, until the change is complete.
    int state = phase_ == TMMWaveInPhase::Closed ? wisClosed : wisOpened;
    if (phase_ == TMMWaveInPhase::Running || phase_ == TMMWaveInPhase::Stopping)
        state |= wisStarted;
    if (paused_)
        state |= wisPaused;
    return state;
}

bool TMMCustomWaveIn::StopPending() const
{
    std::lock_guard lock(mutex_);
    return stopPending_;
}

bool TMMCustomWaveIn::ClosePending() const
{
    std::lock_guard lock(mutex_);
    return closePending_;
}

int TMMCustomWaveIn::QueuedBuffers() const
{
    std::lock_guard lock(mutex_);
    return queued_;
}

void TMMCustomWaveIn::Changed()
{
    changed_.notify_all();
    platform::WakeWaiters();
}

bool TMMCustomWaveIn::WaitFor(const std::function<bool()>& predUnderLock, int ms)
{
    if (platform::IsWindowThread()) {
        // Other threads may need the window thread meanwhile (blocking
        // calls of the chain): the platform's wait serves them.
        return platform::WaitUntil(
            [&] {
                std::lock_guard lock(mutex_);
                return predUnderLock();
            },
            ms);
    }
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms), predUnderLock);
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
    if (!backend_ || !backend_->ErrorText(code, text) || text.isEmpty())
        return LoadResString(SUnknownMMError);
    return text.left(254);  // the error-text buffer holds 255 characters
}

void TMMCustomWaveIn::DeviceError(const char* call, int code)
{
    Fail(CallPrefix(call) + DeviceErrorText(code));
}

void TMMCustomWaveIn::OpenError(int code)
{
    const QString name = backend_ ? backend_->DeviceName(deviceId_) : QString();
    Fail(CallPrefix("WaveInOpen") + (name.isEmpty() ? QString() : name + QStringLiteral(": ")) +
         DeviceErrorText(code));
}

void TMMCustomWaveIn::CheckFormat()
{
    const WAVEFORMATEX* f = GetWaveFormat();
    const QString cant = CallPrefix("WaveInOpen") + LoadResString(SCantRecordFormat);
    const int query = backend_ ? backend_->QueryFormat(deviceId_, *f) : platform::WAVERR_BADFORMAT;
    // A device that cannot be opened at all says why; only a refused format
    // is reported as one.
    if (query != platform::MMSYSERR_NOERROR && query != platform::WAVERR_BADFORMAT)
        OpenError(query);
    if (query != platform::MMSYSERR_NOERROR)
        Fail(cant);
    if (f->wFormatTag != WAVE_FORMAT_PCM)
        return;
    platform::DeviceCapsRecord caps;
    if (backend_->GetCaps(deviceId_, caps) != platform::MMSYSERR_NOERROR)
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

// ---------------------------------------------------------------------------
// TMMWaveIn

TMMWaveIn::TMMWaveIn(QObject* owner, std::shared_ptr<platform::WaveInBackend> backend) : TMMCustomWaveIn(owner)
{
    Bind(backend ? std::move(backend) : platform::CurrentWaveInBackend());
}

}  // namespace zol
