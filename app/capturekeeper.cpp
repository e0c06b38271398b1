#include "app/capturekeeper.h"

#include "chain/wavein.h"
#include "platform/errors.h"
#include "platform/window_thread.h"

#include <cstdio>

namespace zol {

// Shared with the capture thread, which counts every buffer here and, while
// the keeper waits for the first audio after reopening, posts its arrival.
struct TCaptureKeeper::TTap {
    std::atomic<std::int64_t> buffers{0};
    std::atomic<bool> awaiting{false};
    TCaptureKeeper* keeper = nullptr;  // window thread only
};

TCaptureKeeper::TCaptureKeeper(TMMCustomWaveIn& source) : source_(source), tap_(std::make_shared<TTap>())
{
    tap_->keeper = this;
    auto ready = source.OnBufferReady;
    source.OnBufferReady = [tap = tap_, ready](QObject* sender, PWaveHdr hdr) {
        tap->buffers.fetch_add(1, std::memory_order_relaxed);
        if (tap->awaiting.exchange(false))
            platform::PostToWindow(
                [tap] {
                    if (tap->keeper != nullptr)
                        tap->keeper->AudioArrived();
                },
                tap.get());
        if (ready)
            ready(sender, hdr);
    };
    source.OnDeviceLost = [this](QObject*, const QString& reason) { Lost(reason); };
}

TCaptureKeeper::~TCaptureKeeper()
{
    Stop();
    source_.OnDeviceLost = nullptr;
    tap_->keeper = nullptr;
}

std::int64_t TCaptureKeeper::PauseMs(int n)
{
    return n < 5 ? std::int64_t{1000} << n : 30000;
}

void TCaptureKeeper::Start()
{
    stopped_ = false;
    tap_->awaiting = true;
    try {
        source_.Start();
    } catch (const std::exception& e) {
        tap_->awaiting = false;
        Missed(QString::fromStdString(e.what()) + QStringLiteral("; it is opened again as soon as it can be"));
        return;
    }
    tap_->awaiting = false;
}

void TCaptureKeeper::Stop()
{
    stopped_ = true;
    tap_->awaiting = false;
    if (timer_ != 0) {
        platform::TheClock().KillTimer(timer_);
        timer_ = 0;
    }
    platform::RemovePostedMessages(this);
    platform::RemovePostedMessages(tap_.get());
}

bool TCaptureKeeper::HasAudio()
{
    if (!source_.IsStarted())
        return false;
    const std::int64_t count = tap_->buffers.load(std::memory_order_relaxed);
    const std::int64_t now = platform::TheClock().NowUs();
    if (count != seenCount_) {
        seenCount_ = count;
        seenAtUs_ = now;
    }
    return now - seenAtUs_ < kStaleUs;
}

void TCaptureKeeper::Lost(const QString& reason)
{
    if (stopped_)
        return;
    const QString name = source_.Backend() ? source_.Backend()->DeviceName(source_.DeviceID()) : QString();
    Missed(QStringLiteral("The recording device %1 stopped delivering audio (%2); it is opened again as soon "
                          "as it can be")
               .arg(name, reason));
}

// The device is missing: the first time since it last delivered audio, the
// user is told; attempts follow in any case.
void TCaptureKeeper::Missed(const QString& message)
{
    const bool first = !missing_;
    if (first) {
        missing_ = true;
        attempt_ = 0;
        missingSinceUs_ = platform::TheClock().NowUs();
    }
    // The next attempt is set before the report: a message box that waits
    // for the user must not hold the attempts back.
    Schedule();
    if (first)
        platform::HandleException(std::make_exception_ptr(EMMWaveInError(message)));
}

void TCaptureKeeper::Schedule()
{
    if (stopped_)
        return;
    if (timer_ != 0)
        platform::TheClock().KillTimer(timer_);
    const std::int64_t pauseUs = PauseMs(attempt_) * 1000;
    // Timer callbacks only post: the attempt runs on the window thread.
    timer_ = platform::TheClock().StartOneShot(pauseUs, [this] {
        platform::PostToWindow([this] { Attempt(); }, this);
    });
}

void TCaptureKeeper::Attempt()
{
    timer_ = 0;
    if (stopped_ || source_.IsStarted())
        return;
    ++attempt_;
    tap_->awaiting = true;
    try {
        source_.Start();
    } catch (...) {
        // Reported when the device went missing; not at every attempt.
    }
    if (source_.IsStarted())
        return;  // the first buffer ends the wait (AudioArrived)
    tap_->awaiting = false;
    Schedule();
}

void TCaptureKeeper::AudioArrived()
{
    if (!missing_ || stopped_)
        return;
    missing_ = false;
    attempt_ = 0;
    const std::int64_t seconds = (platform::TheClock().NowUs() - missingSinceUs_) / 1000000;
    const QString name = source_.Backend() ? source_.Backend()->DeviceName(source_.DeviceID()) : QString();
    const QString message =
        QStringLiteral("The recording device %1 delivers audio again, after %2 s without it").arg(name).arg(seconds);
    if (OnRecovered) {
        OnRecovered(message);
    } else {
        std::fprintf(stderr, "zol: %s\n", message.toLocal8Bit().constData());
        std::fflush(stderr);
    }
}

}  // namespace zol
