#include "platform/wavein_alsa.h"

#include "platform/alsa_quiet.h"

#include "platform/mmsyserr.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <deque>
#include <thread>
#include <vector>

namespace zol::platform {

namespace {
// Real time of the device layer (ALSA runs in real time whatever clock the
// program uses).
std::int64_t MonotonicMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Longest wait for an ALSA call that may need an answer from a sound
// server (prepare, start, drop, close). A server that hangs must not hang
// the program: after this time the PCM is given up.
constexpr int kAlsaCallMs = 3000;

// Closes a PCM on a thread of its own (a hung server blocks only that one).
void CloseInBackground(snd_pcm_t* pcm)
{
    if (pcm == nullptr)
        return;
    try {
        std::thread([pcm] { snd_pcm_close(pcm); }).detach();
    } catch (...) {
        snd_pcm_close(pcm);
    }
}

// Runs `op` on `pcm` on a helper thread and waits up to kAlsaCallMs. Returns
// the call's result, or -ETIMEDOUT when it did not come back; then the
// helper closes the PCM once the call returns, and the caller must never
// use it again.
int Bounded(int (*op)(snd_pcm_t*), snd_pcm_t* pcm)
{
    struct Call {
        std::mutex mutex;
        std::condition_variable cv;
        bool done = false;
        bool abandoned = false;
        int rc = 0;
    };
    auto call = std::make_shared<Call>();
    try {
        std::thread([call, op, pcm] {
            const int rc = op(pcm);
            bool close;
            {
                std::lock_guard lock(call->mutex);
                call->done = true;
                call->rc = rc;
                close = call->abandoned && op != &snd_pcm_close;
            }
            call->cv.notify_all();
            if (close)
                snd_pcm_close(pcm);
        }).detach();
    } catch (...) {
        return op(pcm);
    }
    std::unique_lock lock(call->mutex);
    if (call->cv.wait_for(lock, std::chrono::milliseconds(kAlsaCallMs), [&] { return call->done; }))
        return call->rc;
    call->abandoned = true;
    return -ETIMEDOUT;
}
}  // namespace

int AlsaErrorNumber(int alsaError)
{
    return kMMBackendBase + (alsaError < 0 ? -alsaError : alsaError);
}

namespace {

constexpr snd_pcm_uframes_t kPeriodFrames = 1024;
constexpr unsigned kPeriods = 10;

snd_pcm_format_t AlsaFormat(const WAVEFORMATEX& f)
{
    return f.wBitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
}

bool FormatShapeOk(const WAVEFORMATEX& f)
{
    return f.wFormatTag == WAVE_FORMAT_PCM && (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) &&
           (f.nChannels == 1 || f.nChannels == 2) && f.nSamplesPerSec > 0 &&
           f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8;
}

// Sets up the hardware parameters of an open PCM for `f`.
int SetHwParams(snd_pcm_t* pcm, const WAVEFORMATEX& f)
{
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    int err = snd_pcm_hw_params_any(pcm, hw);
    if (err < 0)
        return err;
    if ((err = snd_pcm_hw_params_set_rate_resample(pcm, hw, 1)) < 0 ||
        (err = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0 ||
        (err = snd_pcm_hw_params_set_format(pcm, hw, AlsaFormat(f))) < 0 ||
        (err = snd_pcm_hw_params_set_channels(pcm, hw, f.nChannels)) < 0 ||
        (err = snd_pcm_hw_params_set_rate(pcm, hw, f.nSamplesPerSec, 0)) < 0)
        return err;
    snd_pcm_uframes_t period = kPeriodFrames;
    int dir = 0;
    if ((err = snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, &dir)) < 0)
        return err;
    unsigned periods = kPeriods;
    dir = 0;
    if ((err = snd_pcm_hw_params_set_periods_near(pcm, hw, &periods, &dir)) < 0)
        return err;
    if ((err = snd_pcm_hw_params(pcm, hw)) < 0)
        return err;
    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    if ((err = snd_pcm_sw_params_current(pcm, sw)) < 0)
        return err;
    snd_pcm_hw_params_get_period_size(hw, &period, &dir);
    snd_pcm_uframes_t boundary = 0;
    snd_pcm_sw_params_get_boundary(sw, &boundary);
    if ((err = snd_pcm_sw_params_set_avail_min(pcm, sw, period)) < 0 ||
        (err = snd_pcm_sw_params_set_start_threshold(pcm, sw, boundary)) < 0)  // started by us
        return err;
    return snd_pcm_sw_params(pcm, sw);
}

class AlsaWaveInDevice : public WaveInDevice {
public:
    AlsaWaveInDevice(snd_pcm_t* pcm, const WAVEFORMATEX& f, WaveInCallback cb, QString name)
        : pcm_(pcm), format_(f), callback_(std::move(cb)), name_(std::move(name))
    {
        efd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        scratch_.resize(kPeriodFrames * f.nBlockAlign);
    }

    ~AlsaWaveInDevice() override
    {
        Shutdown();
        if (pcm_ != nullptr && Bounded(&snd_pcm_close, pcm_) == -ETIMEDOUT)
            std::fprintf(stderr, "zol: closing %s did not finish in time\n", name_.toLocal8Bit().constData());
        pcm_ = nullptr;
        if (efd_ >= 0)
            ::close(efd_);
    }

    int Init()
    {
        if (efd_ < 0)
            return AlsaErrorNumber(-errno);
        try {
            reader_ = std::thread([this] { Run(); });
        } catch (...) {
            return MMSYSERR_NOMEM;
        }
        return MMSYSERR_NOERROR;
    }

    int AddBuffer(WAVEHDR* hdr) override
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

    int Start() override
    {
        {
            std::lock_guard lock(mutex_);
            if (closed_)
                return MMSYSERR_INVALHANDLE;
            if (lost_ || pcm_ == nullptr)
                return lostError_ ? lostError_ : MMSYSERR_INVALHANDLE;
            if (running_)
                return MMSYSERR_NOERROR;
            int err = 0;
            const snd_pcm_state_t state = snd_pcm_state(pcm_);
            if (state != SND_PCM_STATE_PREPARED)
                err = CallLocked(&snd_pcm_prepare);
            if (err >= 0)
                err = CallLocked(&snd_pcm_start);
            if (err < 0)
                return AlsaErrorNumber(err);
            running_ = true;
            lastDataMs_ = MonotonicMs();
        }
        Signal();
        return MMSYSERR_NOERROR;
    }

    int Stop() override { return Halt(false); }
    int Reset() override { return Halt(true); }

    // Stops capturing; a reset also hands back every queued buffer.
    int Halt(bool reset)
    {
        std::vector<WAVEHDR*> back;
        {
            std::lock_guard lock(mutex_);
            if (closed_)
                return MMSYSERR_INVALHANDLE;
            StopLocked(back, reset);
        }
        Signal();
        Deliver(back, 0);
        return MMSYSERR_NOERROR;
    }

    int Close() override
    {
        const int rc = Reset();
        if (rc != MMSYSERR_NOERROR)
            return rc;
        Shutdown();
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
            if (pcm_ != nullptr) {
                // A close that hangs goes on in the background.
                Bounded(&snd_pcm_close, pcm_);
                pcm_ = nullptr;
            }
        }
        callback_(WIM_CLOSE, nullptr, 0);
        return MMSYSERR_NOERROR;
    }

private:
    void Signal()
    {
        const std::uint64_t one = 1;
        if (efd_ >= 0)
            [[maybe_unused]] auto n = ::write(efd_, &one, sizeof one);
    }

    void Shutdown()
    {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        Signal();
        if (reader_.joinable())
            reader_.join();
    }

    // Stops the PCM; the partly filled buffer goes back, and with `all`
    // every queued one.
    void StopLocked(std::vector<WAVEHDR*>& back, bool all)
    {
        if (running_ && pcm_ != nullptr)
            CallLocked(&snd_pcm_drop);
        running_ = false;
        if (!queue_.empty() && (all || filled_ > 0)) {
            WAVEHDR* head = queue_.front();
            queue_.pop_front();
            head->dwBytesRecorded = filled_;
            MarkDone(head);
            back.push_back(head);
        }
        filled_ = 0;
        if (all) {
            for (WAVEHDR* hdr : queue_) {
                hdr->dwBytesRecorded = 0;
                MarkDone(hdr);
                back.push_back(hdr);
            }
            queue_.clear();
        }
    }

    void Deliver(const std::vector<WAVEHDR*>& buffers, int lostError)
    {
        for (WAVEHDR* hdr : buffers)
            callback_(WIM_DATA, hdr, 0);
        if (lostError != 0)
            callback_(WIM_LOST, nullptr, lostError);
    }

    // A call that may wait for a sound server; when it hangs, the PCM is
    // given up and the device counts as lost.
    int CallLocked(int (*op)(snd_pcm_t*))
    {
        const int rc = Bounded(op, pcm_);
        if (rc == -ETIMEDOUT) {
            pcm_ = nullptr;  // the helper thread closes it
            lost_ = true;
            running_ = false;
            if (lostError_ == 0)
                lostError_ = AlsaErrorNumber(-ETIMEDOUT);
        }
        return rc;
    }

    // The device is lost: it is closed in the background (a hung server
    // must not hang us) and never touched again.
    void LoseLocked(int error)
    {
        lost_ = true;
        running_ = false;
        if (lostError_ == 0)
            lostError_ = error;
        CloseInBackground(pcm_);
        pcm_ = nullptr;
    }

    // Handles a failed PCM call; false when the device is lost.
    bool RecoverLocked(int err)
    {
        if (err == -EAGAIN)
            return true;
        if ((err == -EPIPE || err == -ESTRPIPE || err == -EINTR) && !recovering_) {
            if (err == -EPIPE && !overrunReported_) {
                overrunReported_ = true;
                std::fprintf(stderr, "zol: capture overrun on %s: some audio was lost\n", name_.toLocal8Bit().constData());
                std::fflush(stderr);
            }
            // A second error before any audio came through again is a
            // repeated one: the device is lost.
            recovering_ = true;
            int rc = 0;
            if (err == -ESTRPIPE) {
                // Suspended: resume where the driver can, else start afresh.
                rc = snd_pcm_resume(pcm_);
                if (rc == -EAGAIN)
                    return true;  // not ready yet; the next round tries again
            }
            if (err != -EINTR && (err != -ESTRPIPE || rc < 0)) {
                rc = CallLocked(&snd_pcm_prepare);
                if (rc >= 0 && pcm_ != nullptr)
                    rc = CallLocked(&snd_pcm_start);
            } else {
                rc = 0;
            }
            if (rc >= 0 && pcm_ != nullptr)
                return true;
            if (pcm_ == nullptr)
                return false;  // given up while recovering
            err = rc;
        }
        LoseLocked(AlsaErrorNumber(err));
        return false;
    }

    // Reads what is there into the queued buffers (or drops it when none is
    // queued). Returns the filled buffers; sets lost_ on a fatal error.
    void ReadLocked(std::vector<WAVEHDR*>& done)
    {
        const int block = format_.nBlockAlign;
        for (int rounds = 0; rounds < 64 && running_; ++rounds) {
            char* target;
            snd_pcm_uframes_t frames;
            if (!queue_.empty()) {
                WAVEHDR* head = queue_.front();
                const std::uint32_t cap = head->dwBufferLength - head->dwBufferLength % block;
                target = head->lpData + filled_;
                frames = (cap - filled_) / block;
            } else {
                target = scratch_.data();
                frames = scratch_.size() / block;
            }
            const snd_pcm_sframes_t n = snd_pcm_readi(pcm_, target, frames);
            if (n == -EAGAIN || n == 0)
                return;
            if (n < 0) {
                if (!RecoverLocked(static_cast<int>(n)))
                    return;
                continue;
            }
            recovering_ = false;
            lastDataMs_ = MonotonicMs();
            if (queue_.empty())
                continue;  // no buffer queued: these frames are lost
            filled_ += static_cast<std::uint32_t>(n) * block;
            WAVEHDR* head = queue_.front();
            if (filled_ + block > head->dwBufferLength) {
                head->dwBytesRecorded = filled_;
                MarkDone(head);
                queue_.pop_front();
                done.push_back(head);
                filled_ = 0;
            }
        }
    }

    void Run()
    {
        std::vector<pollfd> fds;
        for (;;) {
            std::vector<WAVEHDR*> done;
            int lostError = 0;
            int count = 0;
            bool active;
            {
                std::lock_guard lock(mutex_);
                if (quit_)
                    return;
                active = running_ && !lost_ && pcm_ != nullptr;
                if (active) {
                    count = snd_pcm_poll_descriptors_count(pcm_);
                    if (count < 0)
                        count = 0;
                    fds.resize(static_cast<size_t>(count) + 1);
                    if (count > 0)
                        count = snd_pcm_poll_descriptors(pcm_, fds.data() + 1, static_cast<unsigned>(count));
                    if (count < 0)
                        count = 0;
                }
            }
            fds.resize(static_cast<size_t>(count) + 1);
            fds[0] = pollfd{efd_, POLLIN, 0};
            constexpr int kPollMs = 500;
            const int rc = ::poll(fds.data(), fds.size(), active ? kPollMs : -1);
            if (rc < 0 && errno != EINTR)
                return;
            if (fds[0].revents & POLLIN) {
                std::uint64_t value;
                [[maybe_unused]] auto n = ::read(efd_, &value, sizeof value);
            }
            {
                std::lock_guard lock(mutex_);
                if (quit_)
                    return;
                if (!running_ || lost_ || pcm_ == nullptr)
                    continue;
                if (rc > 0 && count > 0) {
                    unsigned short revents = 0;
                    const int err = snd_pcm_poll_descriptors_revents(pcm_, fds.data() + 1, static_cast<unsigned>(count), &revents);
                    if (err < 0) {
                        if (!RecoverLocked(err))
                            lostError = lostError_;
                    } else if (revents & (POLLIN | POLLERR | POLLHUP | POLLNVAL)) {
                        // An error shows in the read that follows.
                        ReadLocked(done);
                        if (lost_)
                            lostError = lostError_;
                    }
                }
                // A device that stays silent while running is lost too (a
                // server that hangs, a card that stopped its clock).
                if (running_ && !lost_ && MonotonicMs() - lastDataMs_ >= AlsaWaveInBackend::kStallMs) {
                    LoseLocked(AlsaErrorNumber(-ETIMEDOUT));
                    lostError = lostError_;
                }
            }
            Deliver(done, lostError);
        }
    }

    snd_pcm_t* pcm_;
    WAVEFORMATEX format_;
    WaveInCallback callback_;
    QString name_;
    int efd_ = -1;
    std::thread reader_;
    std::mutex mutex_;
    std::deque<WAVEHDR*> queue_;
    std::uint32_t filled_ = 0;  // bytes in the head buffer
    std::vector<char> scratch_;
    bool running_ = false;
    bool quit_ = false;
    bool lost_ = false;
    bool closed_ = false;
    bool recovering_ = false;
    bool overrunReported_ = false;
    int lostError_ = 0;
    std::int64_t lastDataMs_ = 0;
};

}  // namespace

AlsaWaveInBackend::AlsaWaveInBackend(QString device0) : device0_(std::move(device0))
{
    SilenceAlsaLibraryMessages();
    if (device0_.isEmpty())
        device0_ = QStringLiteral("default");
}

QString AlsaWaveInBackend::Description() const
{
    return QStringLiteral("ALSA %1").arg(device0_);
}

void AlsaWaveInBackend::Refresh()
{
    std::lock_guard lock(mutex_);
    listed_ = false;
    EnsureListLocked();
}

void AlsaWaveInBackend::EnsureListLocked()
{
    if (listed_)
        return;
    listed_ = true;
    names_ = QStringList{device0_};
    descriptions_ = QStringList{QString()};
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0 || hints == nullptr)
        return;
    for (void** h = hints; *h != nullptr; ++h) {
        char* name = snd_device_name_get_hint(*h, "NAME");
        char* desc = snd_device_name_get_hint(*h, "DESC");
        char* ioid = snd_device_name_get_hint(*h, "IOID");
        QString n = QString::fromLocal8Bit(name ? name : "");
        const QString d = QString::fromLocal8Bit(desc ? desc : "").section(QLatin1Char('\n'), 0, 0);
        const bool capture = ioid == nullptr || std::strcmp(ioid, "Input") == 0;
        std::free(name);
        std::free(desc);
        std::free(ioid);
        if (!capture || n.isEmpty() || n == QLatin1String("null"))
            continue;
        // Raw devices often lack the rate we need; the plug layer converts.
        if (n.startsWith(QLatin1String("hw:")))
            n = QStringLiteral("plug") + n;
        const int at = names_.indexOf(n);
        if (at == 0 && descriptions_[0].isEmpty())
            descriptions_[0] = d;
        if (at >= 0)
            continue;
        names_ << n;
        descriptions_ << d;
    }
    snd_device_name_free_hint(hints);
}

QString AlsaWaveInBackend::PcmName(int id)
{
    std::lock_guard lock(mutex_);
    EnsureListLocked();
    if (id == -1)
        return QStringLiteral("default");
    if (id < 0 || id >= names_.size())
        return QString();
    return names_[id];
}

int AlsaWaveInBackend::DeviceCount()
{
    std::lock_guard lock(mutex_);
    EnsureListLocked();
    return static_cast<int>(names_.size());
}

int AlsaWaveInBackend::GetCaps(int id, DeviceCapsRecord& caps)
{
    const QString name = PcmName(id);
    if (name.isEmpty())
        return MMSYSERR_BADDEVICEID;
    QString desc;
    {
        std::lock_guard lock(mutex_);
        const int at = names_.indexOf(name);
        if (at >= 0)
            desc = descriptions_[at];
    }
    caps = DeviceCapsRecord{};
    caps.manufacturerId = 0;
    caps.productId = static_cast<std::uint16_t>(id + 1);
    caps.driverVersion = static_cast<std::uint16_t>((SND_LIB_MAJOR << 8) | SND_LIB_MINOR);
    caps.productName = desc.isEmpty() ? name : QStringLiteral("%1 (%2)").arg(desc, name);
    // The PCMs offered go through ALSA's conversion layer; what a device
    // really records is settled by the format query.
    caps.formats = WAVE_FORMAT_ALL;
    caps.channels = 2;
    return MMSYSERR_NOERROR;
}

bool AlsaWaveInBackend::ErrorText(int code, QString& text)
{
    if (code >= kMMBackendBase) {
        text = QString::fromLocal8Bit(snd_strerror(-(code - kMMBackendBase)));
        return !text.isEmpty();
    }
    return WaveInBackend::ErrorText(code, text);
}

int AlsaWaveInBackend::QueryFormat(int id, const WAVEFORMATEX& format)
{
    const QString name = PcmName(id);
    if (name.isEmpty())
        return MMSYSERR_BADDEVICEID;
    if (!FormatShapeOk(format))
        return WAVERR_BADFORMAT;
    snd_pcm_t* pcm = nullptr;
    int err = snd_pcm_open(&pcm, name.toLocal8Bit().constData(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (err < 0)
        return AlsaErrorNumber(err);
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    int rc = MMSYSERR_NOERROR;
    if (snd_pcm_hw_params_any(pcm, hw) < 0 || snd_pcm_hw_params_set_rate_resample(pcm, hw, 1) < 0 ||
        snd_pcm_hw_params_test_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
        snd_pcm_hw_params_test_format(pcm, hw, AlsaFormat(format)) < 0 ||
        snd_pcm_hw_params_test_channels(pcm, hw, format.nChannels) < 0 ||
        snd_pcm_hw_params_test_rate(pcm, hw, format.nSamplesPerSec, 0) < 0)
        rc = WAVERR_BADFORMAT;
    snd_pcm_close(pcm);
    return rc;
}

int AlsaWaveInBackend::Open(int id, const WAVEFORMATEX& format, WaveInCallback callback,
                            std::unique_ptr<WaveInDevice>& device)
{
    const QString name = PcmName(id);
    if (name.isEmpty())
        return MMSYSERR_BADDEVICEID;
    if (!FormatShapeOk(format))
        return WAVERR_BADFORMAT;
    snd_pcm_t* pcm = nullptr;
    int err = snd_pcm_open(&pcm, name.toLocal8Bit().constData(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (err < 0)
        return AlsaErrorNumber(err);
    if ((err = SetHwParams(pcm, format)) < 0 || (err = snd_pcm_prepare(pcm)) < 0) {
        snd_pcm_close(pcm);
        return err == -EINVAL ? WAVERR_BADFORMAT : AlsaErrorNumber(err);
    }
    auto dev = std::make_unique<AlsaWaveInDevice>(pcm, format, callback, name);
    if (const int rc = dev->Init())
        return rc;
    device = std::move(dev);
    callback(WIM_OPEN, nullptr, 0);
    return MMSYSERR_NOERROR;
}

}  // namespace zol::platform
