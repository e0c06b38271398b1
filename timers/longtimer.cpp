#include "timers/longtimer.h"

#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/strings.h"
#include "platform/window_thread.h"
#include "timers/hitimer.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace zol {

// The shared second: its timer, the instances it serves and its window.
struct LongTimerShared {
    std::mutex lock;
    std::vector<TMMLongTimer*> instances;  // registration order
    platform::TimerId timer = 0;
    std::unique_ptr<char> window;          // target of the tick messages

    static LongTimerShared& Get()
    {
        static LongTimerShared* shared = new LongTimerShared;  // outlives late ticks
        return *shared;
    }

    bool Registered(TMMLongTimer* t)
    {
        return std::find(instances.begin(), instances.end(), t) != instances.end();
    }

    // Each second, on the timer thread: count and post.
    void Second(platform::TimerId id)
    {
        std::lock_guard guard(lock);
        if (id != timer)
            return;
        for (TMMLongTimer* t : instances) {
            if (!t->armed_)
                continue;
            if (++t->count_ >= t->armedInterval_) {
                t->count_ = 0;
                platform::PostToWindow([this, id, t] { Deliver(id, t); }, window.get(), MM_TIMERTICK);
            }
        }
    }

    // On the window thread: the tick reaches a still registered instance.
    void Deliver(platform::TimerId id, TMMLongTimer* t)
    {
        {
            std::lock_guard guard(lock);
            if (id != timer || !Registered(t))
                return;
        }
        t->DoTimer();
    }

    // Starts the 1-second clock timer; 0 when none can be had. Under the lock:
    // the id is stored before the first tick can look at it, as the tick
    // takes the same lock.
    platform::TimerId StartLocked()
    {
        auto* shared = this;
        auto idHolder = std::make_shared<platform::TimerId>(0);
        const platform::TimerId id =
            platform::TheClock().StartTimer(1000000, 1000000, [shared, idHolder] { shared->Second(*idHolder); });
        *idHolder = id;
        return id;
    }
};

TMMLongTimer::TMMLongTimer(QObject* owner) : TMMNonVisualComponent(owner)
{
    LongTimerShared& s = LongTimerShared::Get();
    std::unique_lock guard(s.lock);
    if (s.instances.empty() && s.timer == 0) {
        s.window = std::make_unique<char>(0);
        const platform::TimerId id = s.StartLocked();
        if (id == 0) {
            s.window.reset();
            throw EOutOfResources(LoadResString(SNotEnoughTimers));
        }
        s.timer = id;
    }
    s.instances.push_back(this);
    guard.unlock();
    Rearm();
}

TMMLongTimer::~TMMLongTimer()
{
    Destroying();
    LongTimerShared& s = LongTimerShared::Get();
    platform::TimerId stop = 0;
    {
        std::lock_guard guard(s.lock);
        s.instances.erase(std::remove(s.instances.begin(), s.instances.end(), this), s.instances.end());
        if (s.instances.empty()) {
            stop = s.timer;
            s.timer = 0;
        }
    }
    if (stop != 0) {
        // The last one: the shared second and its window go.
        platform::TheClock().KillTimer(stop);
        std::lock_guard guard(s.lock);
        if (s.window) {
            platform::RemovePostedMessages(s.window.get());
            s.window.reset();
        }
    }
}

void TMMLongTimer::Rearm()
{
    LongTimerShared& s = LongTimerShared::Get();
    std::lock_guard guard(s.lock);
    armed_ = interval_ != 0 && enabled_ && static_cast<bool>(onTimer_);
    armedInterval_ = interval_;
    count_ = 0;
}

void TMMLongTimer::SetEnabled(bool value)
{
    if (value == enabled_)
        return;
    enabled_ = value;
    Rearm();
}

void TMMLongTimer::SetInterval(int value)
{
    if (value == interval_)
        return;
    interval_ = value;
    Rearm();
}

void TMMLongTimer::SetOnTimer(TNotifyEvent value)
{
    const bool changed = static_cast<bool>(value) != static_cast<bool>(onTimer_);
    onTimer_ = std::move(value);
    if (changed)
        Rearm();
}

void TMMLongTimer::Loaded()
{
    TMMNonVisualComponent::Loaded();
    Rearm();
}

void TMMLongTimer::DoTimer()
{
    if (onTimer_)
        onTimer_(this);
}

int TMMLongTimer::Count() const
{
    LongTimerShared& s = LongTimerShared::Get();
    std::lock_guard guard(s.lock);
    return count_;
}

void TMMLongTimer::RestartSharedSecond()
{
    LongTimerShared& s = LongTimerShared::Get();
    platform::TimerId old;
    {
        std::lock_guard guard(s.lock);
        if (s.timer == 0)
            return;
        const platform::TimerId id = s.StartLocked();
        if (id == 0)
            return;  // the old second runs on
        old = s.timer;
        s.timer = id;
        for (TMMLongTimer* t : s.instances)
            t->count_ = 0;
        // Ticks of the old second still queued are dropped on delivery.
        platform::RemovePostedMessages(s.window.get(), MM_TIMERTICK);
    }
    // Outside the lock: a tick of the old timer that runs now waits for it.
    platform::TheClock().KillTimer(old);
}

bool TMMLongTimer::SharedTimerRunning()
{
    LongTimerShared& s = LongTimerShared::Get();
    std::lock_guard guard(s.lock);
    return s.timer != 0;
}

int TMMLongTimer::InstanceCount()
{
    LongTimerShared& s = LongTimerShared::Get();
    std::lock_guard guard(s.lock);
    return static_cast<int>(s.instances.size());
}

}  // namespace zol
