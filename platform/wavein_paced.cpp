#include "platform/wavein_paced.h"

#include "platform/mmsyserr.h"

#include <vector>

namespace zol::platform {

int WaveInDevice::PrepareHeader(WAVEHDR* hdr)
{
    if (hdr == nullptr || hdr->lpData == nullptr)
        return MMSYSERR_INVALPARAM;
    hdr->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

int WaveInDevice::UnprepareHeader(WAVEHDR* hdr)
{
    if (hdr == nullptr)
        return MMSYSERR_INVALPARAM;
    if (hdr->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    hdr->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

bool PacedFormatOk(const WAVEFORMATEX& f)
{
    return f.wFormatTag == WAVE_FORMAT_PCM && (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) &&
           (f.nChannels == 1 || f.nChannels == 2) && f.nSamplesPerSec >= 4000 && f.nSamplesPerSec <= 100000 &&
           f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8;
}

// ---------------------------------------------------------------------------
// PacedWaveInDevice

PacedWaveInDevice::PacedWaveInDevice(const WAVEFORMATEX& format, WaveInCallback callback,
                                     std::unique_ptr<PacedSource> source)
    : format_(format), callback_(std::move(callback)), source_(std::move(source))
{
}

PacedWaveInDevice::~PacedWaveInDevice()
{
    StopTimer();
}

bool PacedWaveInDevice::Ended() const
{
    std::lock_guard lock(mutex_);
    return ended_;
}

int PacedWaveInDevice::AddBuffer(WAVEHDR* hdr)
{
    if (const int rc = CheckBufferToQueue(hdr, format_.nBlockAlign))
        return rc;
    std::lock_guard lock(mutex_);
    if (closed_)
        return MMSYSERR_INVALHANDLE;
    MarkQueued(hdr);
    queue_.push_back(hdr);
    return MMSYSERR_NOERROR;
}

int PacedWaveInDevice::Start()
{
    std::lock_guard lock(mutex_);
    if (closed_)
        return MMSYSERR_INVALHANDLE;
    if (running_ || lost_)
        return MMSYSERR_NOERROR;
    running_ = true;
    startUs_ = TheClock().NowUs();
    framesDone_ = 0;
    ScheduleLocked();
    return MMSYSERR_NOERROR;
}

void PacedWaveInDevice::ScheduleLocked()
{
    if (!running_ || ended_ || lost_)
        return;
    int bytes = queue_.empty() ? lastBufferBytes_ : static_cast<int>(queue_.front()->dwBufferLength);
    if (bytes <= 0)
        bytes = 1024 * format_.nBlockAlign;
    pendingFrames_ = bytes / format_.nBlockAlign;
    // The deadline follows from the frames since Start, not from the last
    // deadline: no rounding error piles up.
    const std::int64_t frames = framesDone_ + pendingFrames_;
    const std::int64_t due = startUs_ + frames * 1000000 / static_cast<std::int64_t>(format_.nSamplesPerSec);
    const std::uint64_t generation = ++generation_;
    timer_ = TheClock().StartOneShot(due - TheClock().NowUs(), [this, generation] { Tick(generation); });
}

void PacedWaveInDevice::Tick(std::uint64_t generation)
{
    std::vector<std::pair<int, WAVEHDR*>> deliver;
    int lostError = 0;
    {
        std::lock_guard lock(mutex_);
        if (generation != generation_ || !running_)
            return;
        timer_ = 0;
        if (const int failure = source_->Failure()) {
            lost_ = true;
            running_ = false;
            lostError = failure;
        } else if (!queue_.empty()) {
            WAVEHDR* hdr = queue_.front();
            queue_.pop_front();
            const int want = std::min<int>(pendingFrames_ * format_.nBlockAlign,
                                           hdr->dwBufferLength - hdr->dwBufferLength % format_.nBlockAlign);
            const int got = source_->Fill(hdr->lpData, want);
            lastBufferBytes_ = static_cast<int>(hdr->dwBufferLength);
            if (got <= 0) {
                // Nothing left: the buffer stays queued, the device goes quiet.
                queue_.push_front(hdr);
                ended_ = true;
            } else {
                hdr->dwBytesRecorded = static_cast<std::uint32_t>(got - got % format_.nBlockAlign);
                MarkDone(hdr);
                deliver.emplace_back(WIM_DATA, hdr);
                if (got < want)
                    ended_ = true;
            }
        } else {
            source_->Skip(pendingFrames_);
        }
        framesDone_ += pendingFrames_;
        ScheduleLocked();
        if (deliver.empty() && lostError == 0)
            return;
        ++delivering_;
        tickThread_ = std::this_thread::get_id();
    }
    for (auto& [msg, hdr] : deliver)
        callback_(msg, hdr, 0);
    if (lostError)
        callback_(WIM_LOST, nullptr, lostError);
    // Notified under the lock: the waiter may destroy the device as soon
    // as it sees the count drop.
    std::lock_guard lock(mutex_);
    --delivering_;
    delivered_.notify_all();
}

void PacedWaveInDevice::StopTimer()
{
    TimerId timer;
    {
        std::lock_guard lock(mutex_);
        running_ = false;
        ++generation_;
        timer = timer_;
        timer_ = 0;
    }
    // Outside the lock: a tick that runs now waits for it.
    if (timer != 0)
        TheClock().KillTimer(timer);
    // A tick that already handed its timer on may still be calling back:
    // once stopped, no buffer of the old run comes back late (and the
    // device may then be destroyed). Not when the tick itself stops us.
    std::unique_lock lock(mutex_);
    if (tickThread_ != std::this_thread::get_id())
        delivered_.wait(lock, [this] { return delivering_ == 0; });
}

int PacedWaveInDevice::Stop()
{
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return MMSYSERR_INVALHANDLE;
    }
    StopTimer();
    return MMSYSERR_NOERROR;
}

int PacedWaveInDevice::Reset()
{
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return MMSYSERR_INVALHANDLE;
    }
    StopTimer();
    std::deque<WAVEHDR*> back;
    {
        std::lock_guard lock(mutex_);
        back.swap(queue_);
    }
    for (WAVEHDR* hdr : back) {
        hdr->dwBytesRecorded = 0;
        MarkDone(hdr);
        callback_(WIM_DATA, hdr, 0);
    }
    return MMSYSERR_NOERROR;
}

int PacedWaveInDevice::Close()
{
    const int rc = Reset();
    if (rc != MMSYSERR_NOERROR)
        return rc;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    callback_(WIM_CLOSE, nullptr, 0);
    return MMSYSERR_NOERROR;
}

// ---------------------------------------------------------------------------
// PacedWaveInBackend

PacedWaveInBackend::PacedWaveInBackend(QString productName, QString description, SourceFactory makeSource)
    : productName_(std::move(productName)), description_(std::move(description)), makeSource_(std::move(makeSource))
{
}

int PacedWaveInBackend::GetCaps(int id, DeviceCapsRecord& caps)
{
    if (id != 0 && id != -1)
        return MMSYSERR_BADDEVICEID;
    caps = DeviceCapsRecord{};
    caps.manufacturerId = 0;
    caps.productId = 1;
    caps.driverVersion = 0x0100;
    caps.productName = productName_;
    caps.formats = WAVE_FORMAT_ALL;
    caps.channels = 2;
    return MMSYSERR_NOERROR;
}

int PacedWaveInBackend::QueryFormat(int id, const WAVEFORMATEX& format)
{
    if (id != 0 && id != -1)
        return MMSYSERR_BADDEVICEID;
    return PacedFormatOk(format) ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
}

int PacedWaveInBackend::Open(int id, const WAVEFORMATEX& format, WaveInCallback callback,
                             std::unique_ptr<WaveInDevice>& device)
{
    const int rc = QueryFormat(id, format);
    if (rc != MMSYSERR_NOERROR)
        return rc;
    std::unique_ptr<PacedSource> source = makeSource_(format);
    if (!source)
        return MMSYSERR_ERROR;
    device = std::make_unique<PacedWaveInDevice>(format, callback, std::move(source));
    callback(WIM_OPEN, nullptr, 0);
    return MMSYSERR_NOERROR;
}

}  // namespace zol::platform
