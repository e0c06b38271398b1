// The clock and timer service that every timed part of zol goes through.
//
// RealClock follows the monotonic clock; its timers run on one timer thread
// with absolute deadlines (a periodic timer does not drift). SimClock keeps
// virtual time that only moves when the program's driver advances it: due
// timers fire in time order on the window thread, and after each one the
// clock waits until every worker thread has handled the work it was handed,
// so a run in simulated time is deterministic and needs no sleeps.
//
// Timer callbacks must not block on the window thread (no RunOnWindowThread
// inside them): they post, signal or count.
#pragma once

#include <QDateTime>

#include <cstdint>
#include <functional>
#include <memory>

namespace zol::platform {

using TimerId = std::uint64_t;  // 0 = no timer

class Clock {
public:
    using Callback = std::function<void()>;
    virtual ~Clock() = default;

    // Monotonic time in microseconds since the clock started.
    virtual std::int64_t NowUs() = 0;
    std::int64_t NowMs() { return NowUs() / 1000; }
    // Local wall-clock time, as written to the logs.
    virtual QDateTime WallTime() = 0;

    // Starts a timer that first fires `firstUs` from now and then, when
    // `periodUs` > 0, every `periodUs` after that first deadline. Returns 0
    // when no timer can be had.
    virtual TimerId StartTimer(std::int64_t firstUs, std::int64_t periodUs, Callback callback) = 0;
    TimerId StartPeriodic(std::int64_t periodUs, Callback callback)
    {
        return StartTimer(periodUs, periodUs, std::move(callback));
    }
    TimerId StartOneShot(std::int64_t delayUs, Callback callback)
    {
        return StartTimer(delayUs, 0, std::move(callback));
    }
    // Starts a one-shot timer whose callback runs on the window thread. The
    // real clock has the window thread's own event loop wait for it, so no
    // other thread wakes for it; the simulated clock runs every timer on the
    // window thread anyway. Window thread only; KillTimer stops it. Called
    // without Qt's event loop, or from another thread, the real clock falls
    // back to a timer-thread timer that posts the callback to the window
    // thread: a kill then stops it only before it has posted.
    virtual TimerId StartWindowTimer(std::int64_t delayUs, Callback callback)
    {
        return StartOneShot(delayUs, std::move(callback));
    }
    // Stops a timer. When this returns, its callback is not running and will
    // not run again (unless KillTimer is called from inside that callback,
    // which is allowed).
    virtual void KillTimer(TimerId id) = 0;

    // The window thread sleeps: no window messages are handled meanwhile.
    virtual void Sleep(std::int64_t ms) = 0;
    // Handles the window thread's pending messages once (the application's
    // ProcessMessages). On the simulated clock a pass that finds nothing to
    // do takes 50 microseconds of virtual time, as a real idle spin would.
    virtual void ProcessMessages() = 0;
    // The same for a loop that waits for a message: with none pending the
    // real clock's window thread sleeps until one comes (at most `maxMs`)
    // instead of spinning. The simulated clock makes an ordinary pass.
    virtual void WaitMessages(std::int64_t maxMs)
    {
        (void)maxMs;
        ProcessMessages();
    }

    virtual bool Simulated() const = 0;
};

// The clock in use. A RealClock is created on first use unless another one
// was installed before.
Clock& TheClock();
// Installs a clock (the program at start, tests in their main); the previous
// one is destroyed. Only while no timer is running.
void InstallClock(std::unique_ptr<Clock> clock);

class RealClock final : public Clock {
public:
    RealClock();
    ~RealClock() override;
    std::int64_t NowUs() override;
    QDateTime WallTime() override;
    TimerId StartTimer(std::int64_t firstUs, std::int64_t periodUs, Callback callback) override;
    TimerId StartWindowTimer(std::int64_t delayUs, Callback callback) override;
    void KillTimer(TimerId id) override;
    void Sleep(std::int64_t ms) override;
    void ProcessMessages() override;
    void WaitMessages(std::int64_t maxMs) override;
    bool Simulated() const override { return false; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

class SimClock final : public Clock {
public:
    // `wallStart` is the wall-clock time at virtual time 0.
    explicit SimClock(QDateTime wallStart = QDateTime(QDate(2026, 8, 12), QTime(17, 0, 0)));
    ~SimClock() override;
    std::int64_t NowUs() override;
    QDateTime WallTime() override;
    TimerId StartTimer(std::int64_t firstUs, std::int64_t periodUs, Callback callback) override;
    void KillTimer(TimerId id) override;
    void Sleep(std::int64_t ms) override;
    void ProcessMessages() override;
    bool Simulated() const override { return true; }

    // From now on the wall clock reads `now` at the present virtual time
    // (a replayed recording is logged with the times it was recorded at).
    void SetWallTime(const QDateTime& now);

    // Drives the program: fires every timer due up to now + `us` in time
    // order and handles the window queue between them, until the queue is
    // empty or time has reached the target. Window thread, not from inside
    // a handler.
    void Advance(std::int64_t us);
    void AdvanceMs(std::int64_t ms) { Advance(ms * 1000); }
    // Handles the window queue and the workers at the current time.
    void Settle();
    // Virtual time of the next due timer, or -1 when none runs.
    std::int64_t NextDueUs() const;

    // Virtual time an idle ProcessMessages pass takes.
    static constexpr std::int64_t kIdlePassUs = 50;
    // Whether the window thread can run its next step at once instead of
    // posting it: inside an Advance whose target lies after `untilUs`, with
    // no window task or blocking call waiting, every worker idle and no timer
    // due at or before `untilUs`. Then the Advance would do nothing before
    // that step but run it.
    bool QuietUntil(std::int64_t untilUs) const;
    // Moves virtual time forward to `us` when QuietUntil(us) holds (nothing
    // would have happened meanwhile). Returns whether it moved.
    bool SkipTo(std::int64_t us);
    int ActiveTimers() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zol::platform
