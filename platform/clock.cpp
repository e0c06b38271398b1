#include "platform/clock.h"

#include "platform/window_thread.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <QTimerEvent>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <ctime>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace zol::platform {

namespace {
std::unique_ptr<Clock>& ClockSlot()
{
    static std::unique_ptr<Clock> clock;
    return clock;
}

std::int64_t MonotonicUs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// Sleeps until an absolute monotonic deadline, resuming after signals.
void SleepUntilUs(std::int64_t deadlineUs)
{
    timespec ts{};
    ts.tv_sec = deadlineUs / 1000000;
    ts.tv_nsec = (deadlineUs % 1000000) * 1000;
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

struct TimerEntry {
    std::int64_t due;
    std::int64_t period;
    std::shared_ptr<Clock::Callback> callback;
};

// Virtual time one idle pass of message processing takes.
constexpr std::int64_t kIdlePassUs = SimClock::kIdlePassUs;

// Orders timers by deadline, then by the order they were scheduled in.
using Schedule = std::map<std::pair<std::int64_t, std::uint64_t>, TimerId>;
}  // namespace

Clock& TheClock()
{
    auto& slot = ClockSlot();
    if (!slot)
        slot = std::make_unique<RealClock>();
    return *slot;
}

void InstallClock(std::unique_ptr<Clock> clock)
{
    ClockSlot() = std::move(clock);
}

// ---------------------------------------------------------------------------
// RealClock: one timer thread, absolute deadlines.

// One-shot timers of the window thread's event loop.
class WindowTimers final : public QObject {
public:
    ~WindowTimers() override
    {
        // Without the event loop's dispatcher its timers went with it.
        if (QAbstractEventDispatcher::instance() != nullptr)
            for (const auto& entry : entries_)
                killTimer(entry.first);
    }
    bool Start(TimerId id, std::int64_t delayUs, Clock::Callback callback)
    {
        const auto ms = static_cast<int>(std::clamp<std::int64_t>((delayUs + 999) / 1000, 0, INT_MAX));
        const int qtId = startTimer(ms, Qt::PreciseTimer);
        if (qtId == 0)
            return false;
        entries_.emplace(qtId, Entry{id, std::move(callback)});
        return true;
    }
    bool Kill(TimerId id)
    {
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->second.id == id) {
                killTimer(it->first);
                entries_.erase(it);
                return true;
            }
        }
        return false;
    }

protected:
    void timerEvent(QTimerEvent* event) override
    {
        auto it = entries_.find(event->timerId());
        if (it == entries_.end())
            return;
        // Gone before its callback runs: the callback may start or kill timers.
        killTimer(it->first);
        const Clock::Callback callback = std::move(it->second.callback);
        entries_.erase(it);
        Guarded(callback);
    }

private:
    struct Entry {
        TimerId id;
        Clock::Callback callback;
    };
    std::unordered_map<int, Entry> entries_;
};

struct RealClock::Impl {
    std::int64_t origin = MonotonicUs();
    std::mutex mutex;
    std::condition_variable cv;
    std::unordered_map<TimerId, TimerEntry> timers;
    Schedule schedule;
    std::uint64_t nextId = 1;
    std::uint64_t seq = 0;
    TimerId running = 0;  // timer whose callback runs now
    bool quit = false;
    std::thread thread;
    std::thread::id threadId;
    std::unique_ptr<WindowTimers> windowTimers;  // window thread only

    void Run();
};

void RealClock::Impl::Run()
{
    std::unique_lock lock(mutex);
    while (!quit) {
        if (schedule.empty()) {
            cv.wait(lock);
            continue;
        }
        auto first = schedule.begin();
        const std::int64_t due = first->first.first;
        const std::int64_t now = MonotonicUs() - origin;
        if (due > now) {
            // Wake at the deadline, or earlier when the schedule changes.
            const auto wait = std::chrono::microseconds(due - now);
            cv.wait_for(lock, wait);
            continue;
        }
        const TimerId id = first->second;
        schedule.erase(first);
        auto it = timers.find(id);
        if (it == timers.end())
            continue;
        auto callback = it->second.callback;
        if (it->second.period > 0) {
            it->second.due += it->second.period;
            // A callback that fell far behind skips the missed periods.
            if (it->second.due < now - it->second.period * 10)
                it->second.due = now + it->second.period;
            schedule.emplace(std::make_pair(it->second.due, seq++), id);
        } else {
            timers.erase(it);
        }
        running = id;
        lock.unlock();
        Guarded(*callback);
        lock.lock();
        running = 0;
        cv.notify_all();
    }
}

RealClock::RealClock() : impl_(std::make_unique<Impl>()) {}

RealClock::~RealClock()
{
    {
        std::lock_guard lock(impl_->mutex);
        impl_->quit = true;
    }
    impl_->cv.notify_all();
    if (impl_->thread.joinable())
        impl_->thread.join();
}

std::int64_t RealClock::NowUs()
{
    return MonotonicUs() - impl_->origin;
}

QDateTime RealClock::WallTime()
{
    return QDateTime::currentDateTime();
}

TimerId RealClock::StartTimer(std::int64_t firstUs, std::int64_t periodUs, Callback callback)
{
    std::lock_guard lock(impl_->mutex);
    if (!impl_->thread.joinable()) {
        try {
            impl_->thread = std::thread([this] { impl_->Run(); });
            impl_->threadId = impl_->thread.get_id();
        } catch (...) {
            return 0;
        }
    }
    const TimerId id = impl_->nextId++;
    const std::int64_t due = NowUs() + std::max<std::int64_t>(firstUs, 0);
    impl_->timers.emplace(id, TimerEntry{due, std::max<std::int64_t>(periodUs, 0),
                                         std::make_shared<Callback>(std::move(callback))});
    const auto at = impl_->schedule.emplace(std::make_pair(due, impl_->seq++), id).first;
    // The timer thread waits for the first deadline: only a new first one
    // needs to wake it.
    if (at == impl_->schedule.begin())
        impl_->cv.notify_all();
    return id;
}

TimerId RealClock::StartWindowTimer(std::int64_t delayUs, Callback callback)
{
    if (QCoreApplication::instance() == nullptr || !IsWindowThread())
        return StartOneShot(delayUs, [callback = std::move(callback)] { PostToWindow(callback); });
    TimerId id;
    {
        std::lock_guard lock(impl_->mutex);
        id = impl_->nextId++;
    }
    if (!impl_->windowTimers)
        impl_->windowTimers = std::make_unique<WindowTimers>();
    return impl_->windowTimers->Start(id, delayUs, std::move(callback)) ? id : 0;
}

void RealClock::KillTimer(TimerId id)
{
    if (id == 0)
        return;
    if (impl_->windowTimers && IsWindowThread() && impl_->windowTimers->Kill(id))
        return;
    std::unique_lock lock(impl_->mutex);
    auto it = impl_->timers.find(id);
    if (it != impl_->timers.end()) {
        for (auto s = impl_->schedule.begin(); s != impl_->schedule.end(); ++s) {
            if (s->second == id) {
                impl_->schedule.erase(s);
                break;
            }
        }
        impl_->timers.erase(it);
    }
    if (std::this_thread::get_id() != impl_->threadId)
        impl_->cv.wait(lock, [&] { return impl_->running != id; });
}

void RealClock::Sleep(std::int64_t ms)
{
    if (ms <= 0)
        return;
    SleepUntilUs(MonotonicUs() + ms * 1000);
}

void RealClock::ProcessMessages()
{
    RunPendingTasks();
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

void RealClock::WaitMessages(std::int64_t maxMs)
{
    if (RunPendingTasks() > 0 || QCoreApplication::instance() == nullptr) {
        ProcessMessages();
        return;
    }
    // A posted task wakes Qt's event loop; the timer bounds the wait should
    // a wake-up come another way.
    QTimer bound;
    bound.setSingleShot(true);
    bound.start(static_cast<int>(std::clamp<std::int64_t>(maxMs, 0, 1000)));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    RunPendingTasks();
}

// ---------------------------------------------------------------------------
// SimClock: virtual time, timers fired on the window thread.

struct SimClock::Impl {
    QDateTime wallStart;
    // Read by any thread (a worker stamps what it handles), moved by the
    // window thread.
    std::atomic<std::int64_t> now{0};
    std::unordered_map<TimerId, TimerEntry> timers;
    Schedule schedule;
    std::uint64_t nextId = 1;
    std::uint64_t seq = 0;
    std::int64_t advanceTarget = -1;  // of the Advance running now, or -1

    // Fires the first timer if it is due at or before `limit`.
    bool FireNext(std::int64_t limit)
    {
        if (schedule.empty())
            return false;
        auto first = schedule.begin();
        if (first->first.first > limit)
            return false;
        const TimerId id = first->second;
        const std::int64_t due = first->first.first;
        schedule.erase(first);
        auto it = timers.find(id);
        if (it == timers.end())
            return true;
        if (due > now)
            now = due;
        auto callback = it->second.callback;
        if (it->second.period > 0) {
            it->second.due += it->second.period;
            schedule.emplace(std::make_pair(it->second.due, seq++), id);
        } else {
            timers.erase(it);
        }
        Guarded(*callback);
        return true;
    }
};

namespace {
// Simulated clocks alive: a new one is created before the old one is
// destroyed when a clock is replaced, so only the last one hands the queue
// back to Qt's loop.
std::atomic<int> liveSimClocks{0};
}  // namespace

SimClock::SimClock(QDateTime wallStart) : impl_(std::make_unique<Impl>())
{
    impl_->wallStart = std::move(wallStart);
    // The driver of simulated time runs the window queue, not Qt's loop.
    ++liveSimClocks;
    SetEventLoopRunsQueue(false);
}

SimClock::~SimClock()
{
    if (--liveSimClocks == 0)
        SetEventLoopRunsQueue(true);
}

std::int64_t SimClock::NowUs()
{
    return impl_->now;
}

QDateTime SimClock::WallTime()
{
    return impl_->wallStart.addMSecs(impl_->now / 1000);
}

void SimClock::SetWallTime(const QDateTime& now)
{
    impl_->wallStart = now.addMSecs(-(impl_->now / 1000));
}

TimerId SimClock::StartTimer(std::int64_t firstUs, std::int64_t periodUs, Callback callback)
{
    const TimerId id = impl_->nextId++;
    const std::int64_t due = impl_->now + std::max<std::int64_t>(firstUs, 0);
    impl_->timers.emplace(id, TimerEntry{due, std::max<std::int64_t>(periodUs, 0),
                                         std::make_shared<Callback>(std::move(callback))});
    impl_->schedule.emplace(std::make_pair(due, impl_->seq++), id);
    return id;
}

void SimClock::KillTimer(TimerId id)
{
    if (impl_->timers.erase(id) == 0)
        return;
    for (auto s = impl_->schedule.begin(); s != impl_->schedule.end(); ++s) {
        if (s->second == id) {
            impl_->schedule.erase(s);
            break;
        }
    }
}

void SimClock::Sleep(std::int64_t ms)
{
    // Timers keep firing while the window thread sleeps (in the real program
    // they run on other threads); window messages wait.
    const std::int64_t target = impl_->now + std::max<std::int64_t>(ms, 0) * 1000;
    while (impl_->FireNext(target))
        WaitWorkersIdle(false);
    if (impl_->now < target)
        impl_->now = target;
}

void SimClock::ProcessMessages()
{
    if (RunPendingTasks() == 0) {
        // Nothing to do: an idle pass takes a moment of virtual time, so a
        // loop that spins on messages reaches the next timer in small steps
        // and never overshoots an instant a sleeping loop would hit.
        const std::int64_t target = impl_->now + kIdlePassUs;
        while (impl_->FireNext(target))
            WaitWorkersIdle(true);
        if (impl_->now < target)
            impl_->now = target;
    }
    WaitWorkersIdle(true);
}

void SimClock::Settle()
{
    Advance(0);
}

void SimClock::Advance(std::int64_t us)
{
    const std::int64_t target = impl_->now + std::max<std::int64_t>(us, 0);
    const std::int64_t outerTarget = impl_->advanceTarget;
    impl_->advanceTarget = target;
    struct Restore {
        std::int64_t& field;
        std::int64_t value;
        ~Restore() { field = value; }
    } restore{impl_->advanceTarget, outerTarget};
    int spin = 0;
    for (;;) {
        const std::int64_t before = impl_->now;
        const int ran = RunPendingTasks();
        WaitWorkersIdle(true);
        if (ran > 0) {
            // A handler that re-posts itself and sleeps (a refresh loop)
            // consumes virtual time; it runs until time reaches the target.
            if (impl_->now >= target)
                break;
            if (impl_->now > before) {
                spin = 0;
                continue;
            }
            // A chain of posts that does not sleep either ends soon or spins;
            // a spin lets the next timer come, as it would in real time.
            if (++spin < 10000)
                continue;
            spin = 0;
        }
        if (!impl_->FireNext(target)) {
            if (ran == 0 || PendingTaskCount() == 0)
                break;
            impl_->now = target;  // a spin with nothing left to wait for
            break;
        }
        WaitWorkersIdle(true);
    }
    if (impl_->now < target)
        impl_->now = target;
    if (QCoreApplication::instance()) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
    WaitWorkersIdle(true);
}

std::int64_t SimClock::NextDueUs() const
{
    return impl_->schedule.empty() ? -1 : impl_->schedule.begin()->first.first;
}

bool SimClock::QuietUntil(std::int64_t untilUs) const
{
    if (impl_->advanceTarget < 0 || untilUs >= impl_->advanceTarget)
        return false;
    if (!impl_->schedule.empty() && impl_->schedule.begin()->first.first <= untilUs)
        return false;
    return WindowThreadQuiet();
}

bool SimClock::SkipTo(std::int64_t us)
{
    if (us <= impl_->now || !QuietUntil(us))
        return false;
    impl_->now = us;
    return true;
}

int SimClock::ActiveTimers() const
{
    return static_cast<int>(impl_->timers.size());
}

}  // namespace zol::platform
