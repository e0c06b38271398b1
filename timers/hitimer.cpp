#include "timers/hitimer.h"

#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/strings.h"
#include "platform/window_thread.h"

#include <climits>
#include <mutex>

namespace zol {

// State shared by a timer and its worker: the events outlive whichever of
// the two ends last, and the link to the timer is broken (under `mutex`)
// before the timer goes away.
struct TMMTimerThreadLink {
    std::recursive_mutex mutex;   // held while OnTimer runs on the worker
    TMMHiTimer* timer = nullptr;  // none once the link is broken
    std::atomic<bool> stop{false};
    platform::TEvent tick{false, false};          // auto-reset
    platform::TEvent startedOrEnded{false, false};  // auto-reset
    std::atomic<bool> tickCounted{false};         // a tick counts as work
    std::atomic<bool> inSyncCall{false};
};

namespace {
constexpr int kWorkerWaitMs = 5000;
}

TMMHiTimer::TMMHiTimer(QObject* owner) : TMMNonVisualComponent(owner) {}

TMMHiTimer::~TMMHiTimer()
{
    Destroying();
    // Ticks and the worker end before the handler goes: the worker may be
    // calling it right now.
    try {
        Halt();
    } catch (...) {
        platform::HandleCurrentException();
    }
    onTimer_ = nullptr;
    enabled_ = false;
}

void TMMHiTimer::SetCallBackMode(TMMCBMode value)
{
    if (value == callBackMode_)
        return;
    if (value == cmCallback) {
        // Calling user code from the timer interrupt is not offered here.
        platform::ShowMessageBox(LoadResString(SCallbacksInterrupt) + QStringLiteral("\n\r") +
                                     LoadResString(SCallbacksOnlyWin95),
                                 QStringLiteral("TMMHiTimer"));
        return;
    }
    callBackMode_ = value;
    UpdateTimer();
}

void TMMHiTimer::SetEnabled(bool value)
{
    if (value == enabled_)
        return;
    enabled_ = value;
    UpdateTimer();
}

void TMMHiTimer::SetInterval(int value)
{
    if (value == interval_)
        return;
    interval_ = value;
    UpdateTimer();
}

void TMMHiTimer::SetOnTimer(TNotifyEvent value)
{
    // Events compare by whether they are assigned.
    const bool changed = static_cast<bool>(value) != static_cast<bool>(onTimer_);
    {
        // An unsynchronised worker calls the handler under the link's lock.
        std::unique_lock<std::recursive_mutex> guard = LockWorker();
        onTimer_ = std::move(value);
    }
    if (changed)
        UpdateTimer();
}

void TMMHiTimer::SetPriority(TThreadPriority value)
{
    priority_ = value;
    // The worker applies a changed priority to itself at its next wake-up.
    if (link_)
        link_->tick.Set();
}

void TMMHiTimer::Loaded()
{
    TMMNonVisualComponent::Loaded();
    UpdateTimer();
}

namespace {
// Takes the link's lock. On the window thread the wait for a running OnTimer
// keeps serving blocking calls, so a worker inside a synchronised call cannot
// deadlock with us.
std::unique_lock<std::recursive_mutex> LockLink(TMMTimerThreadLink& link)
{
    if (platform::IsWindowThread() && !link.inSyncCall) {
        platform::WaitUntil([&] { return link.mutex.try_lock(); }, INT_MAX);
        return std::unique_lock<std::recursive_mutex>(link.mutex, std::adopt_lock);
    }
    return std::unique_lock<std::recursive_mutex>(link.mutex);
}
}  // namespace

std::unique_lock<std::recursive_mutex> TMMHiTimer::LockWorker()
{
    if (!link_)
        return {};
    return LockLink(*link_);
}

void TMMHiTimer::StopWorker()
{
    std::shared_ptr<TMMTimerThreadLink> link = std::move(link_);
    if (!link)
        return;
    // The worker frees itself once it sees `stop`: its thread object is not
    // touched from here on.
    link->stop = true;
    link->tick.Set();
    if (waitForTerminate_ && !link->inSyncCall)
        link->startedOrEnded.WaitFor(kWorkerWaitMs);
    // Break the link.
    std::unique_lock<std::recursive_mutex> guard = LockLink(*link);
    link->timer = nullptr;
}

void TMMHiTimer::Halt()
{
    // The clock's timer goes first: once KillTimer has returned no tick is
    // running or will run, so nothing reads the worker's link any more.
    if (const platform::TimerId id = timerId_.exchange(0)) {
        platform::TheClock().KillTimer(id);
        if (window_) {
            platform::RemovePostedMessages(window_.get(), MM_TIMERTICK);
            window_.reset();
        }
        pending_ = 0;
    }
    StopWorker();
}

void TMMHiTimer::UpdateTimer()
{
    if (IsDesigning())
        return;
    Halt();
    // A new timer when it is wanted.
    if (interval_ == 0 || !enabled_ || !onTimer_)
        return;
    if (callBackMode_ == cmWindow) {
        window_ = std::make_unique<char>(0);
    } else if (callBackMode_ == cmThread) {
        auto link = std::make_shared<TMMTimerThreadLink>();
        link->timer = this;
        TMMTimerThread* thread = nullptr;
        try {
            thread = new TMMTimerThread(link);
        } catch (...) {
            thread = nullptr;
        }
        if (thread == nullptr)
            throw EMMHiTimerError(CallPrefix("HiTimer") + LoadResString(SCouldNotCreateThread));
        thread->SetFreeOnTerminate(true);
        link_ = link;
        thread->Resume();
        if (!link->startedOrEnded.WaitFor(kWorkerWaitMs)) {
            StopWorker();
            throw EMMHiTimerError(CallPrefix("HiTimer") + LoadResString(SCouldNotCreateThread));
        }
    }
    const std::int64_t periodUs = static_cast<std::int64_t>(interval_ < 1 ? 1 : interval_) * 1000;
    // The id is only known once the timer exists; the callback reads it
    // through the timer's field and compares. The tick runs on the clock's
    // thread: what it needs besides the id is fixed here, for this timer.
    const TickTarget target{callBackMode_, window_.get(), link_};
    const platform::TimerId id =
        platform::TheClock().StartPeriodic(periodUs, [this, target] { TimerCallback(timerId_.load(), target); });
    if (id == 0) {
        StopWorker();
        window_.reset();
        throw EOutOfResources(LoadResString(SNotEnoughTimers));
    }
    timerId_ = id;
}

void TMMHiTimer::TimerCallback(platform::TimerId id, const TickTarget& target)
{
    if (id == 0)
        return;
    try {
        switch (target.mode) {
        case cmWindow:
            if (pending_.load() < kMaxPendingTicks) {
                ++pending_;
                platform::PostToWindow([this, id] { WindowTick(id); }, target.window, MM_TIMERTICK);
            }
            break;
        case cmCallback:
            DoTimer();
            break;
        case cmThread:
            if (target.link) {
                // A tick counts as work until the worker has handled it, so
                // simulated time waits for the worker.
                if (!target.link->tickCounted.exchange(true))
                    platform::WorkBegin();
                target.link->tick.Set();
            }
            break;
        }
    } catch (...) {
        platform::HandleCurrentException();
    }
}

void TMMHiTimer::WindowTick(platform::TimerId id)
{
    // Ticks of an older timer are ignored (and were counted by it).
    if (id != timerId_.load())
        return;
    try {
        DoTimer();
    } catch (...) {
        if (pending_ > 0)
            --pending_;
        throw;  // to the general error handler
    }
    if (pending_ > 0)
        --pending_;
}

void TMMHiTimer::DoTimer()
{
    // A copy: the handler may replace itself while it runs.
    if (TNotifyEvent handler = onTimer_; handler && enabled_)
        handler(this);
}

// ---------------------------------------------------------------------------
// TMMTimerThread

TMMTimerThread::TMMTimerThread(std::shared_ptr<TMMTimerThreadLink> link)
    : platform::TThread(true), link_(std::move(link))
{
}

void TMMTimerThread::Execute()
{
    TMMTimerThreadLink& link = *link_;
    TThreadPriority applied;
    {
        std::lock_guard guard(link.mutex);
        applied = link.timer ? link.timer->Priority() : TThreadPriority::tpNormal;
    }
    SetPriority(applied);
    link.startedOrEnded.Set();
    auto linked = [&] {
        std::lock_guard guard(link.mutex);
        return link.timer != nullptr;
    };
    while (!Terminated() && !link.stop && linked()) {
        link.tick.WaitFor(platform::kInfinite);
        const bool counted = link.tickCounted.exchange(false);
        try {
            if (!Terminated() && !link.stop) {
                std::unique_lock guard(link.mutex);
                TMMHiTimer* timer = link.timer;
                if (timer != nullptr) {
                    const TThreadPriority wanted = timer->Priority();
                    if (wanted != applied) {
                        applied = wanted;
                        SetPriority(applied);
                    }
                    if (counted) {
                        if (timer->Synchronize()) {
                            guard.unlock();
                            platform::RunOnWindowThread([&link] {
                                // The window thread breaks links, so what is
                                // linked here stays alive during the call.
                                TMMHiTimer* t = link.timer;
                                if (t == nullptr || link.stop)
                                    return;
                                link.inSyncCall = true;
                                try {
                                    t->DoTimer();
                                } catch (...) {
                                    link.inSyncCall = false;
                                    throw;
                                }
                                link.inSyncCall = false;
                            });
                        } else {
                            timer->DoTimer();
                        }
                    }
                }
            }
        } catch (...) {
            platform::HandleCurrentException();
        }
        if (counted)
            platform::WorkEnd();
    }
    if (link.tickCounted.exchange(false))
        platform::WorkEnd();
    link.startedOrEnded.Set();
}

}  // namespace zol
