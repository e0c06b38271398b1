// TMMHiTimer: a periodic timer with a millisecond interval. Its ticks reach
// OnTimer as window messages (cmWindow: at most 10 waiting, later ticks are
// dropped), or through a worker thread (cmThread: on the window thread while
// the worker waits when Synchronize is set, else on the worker; ticks that
// arrive while the worker is busy merge into one).
#pragma once

#include "core/mmcomponent.h"
#include "platform/cbmode.h"
#include "platform/clock.h"
#include "platform/thread.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace zol {

using platform::TThreadPriority;

// The private window message that carries a timer tick.
constexpr int MM_TIMERTICK = 0x800A;  // 32778
constexpr int kMaxPendingTicks = 10;

class TMMTimerThread;
struct TMMTimerThreadLink;

class TMMHiTimer : public TMMNonVisualComponent {
public:
    explicit TMMHiTimer(QObject* owner = nullptr);
    ~TMMHiTimer() override;

    TMMCBMode CallBackMode() const { return callBackMode_; }
    void SetCallBackMode(TMMCBMode value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    int Interval() const { return interval_; }
    void SetInterval(int value);
    const TNotifyEvent& OnTimer() const { return onTimer_; }
    void SetOnTimer(TNotifyEvent value);
    TThreadPriority Priority() const { return priority_; }
    void SetPriority(TThreadPriority value);
    bool Synchronize() const { return synchronize_; }
    void SetSynchronize(bool value) { synchronize_ = value; }
    bool WaitForTerminate() const { return waitForTerminate_; }
    void SetWaitForTerminate(bool value) { waitForTerminate_ = value; }

    void Loaded() override;

    // State for users that look inside (and tests).
    bool Running() const { return timerId_ != 0; }
    int PendingTicks() const { return pending_.load(); }
    bool HasWorker() const { return link_ != nullptr; }

protected:
    virtual void UpdateTimer();
    virtual void DoTimer();

private:
    friend class TMMTimerThread;
    // What a tick of the clock's timer reaches.
    struct TickTarget {
        TMMCBMode mode;
        const void* window;
        std::shared_ptr<TMMTimerThreadLink> link;
    };
    void TimerCallback(platform::TimerId id, const TickTarget& target);
    void WindowTick(platform::TimerId id);
    void Halt();  // stops the clock's timer, then the worker
    void StopWorker();
    std::unique_lock<std::recursive_mutex> LockWorker();  // empty without a worker

    TMMCBMode callBackMode_ = cmWindow;
    std::atomic<bool> enabled_{true};
    int interval_ = 1000;
    TNotifyEvent onTimer_;
    std::atomic<TThreadPriority> priority_{TThreadPriority::tpNormal};
    std::atomic<bool> synchronize_{true};
    bool waitForTerminate_ = false;

    std::atomic<platform::TimerId> timerId_{0};
    std::unique_ptr<char> window_;  // the hidden window: target of tick messages
    std::atomic<int> pending_{0};
    std::shared_ptr<TMMTimerThreadLink> link_;  // the worker's shared state (cmThread)
};

// The worker of a cmThread timer. Frees itself when it ends.
class TMMTimerThread : public platform::TThread {
public:
    explicit TMMTimerThread(std::shared_ptr<TMMTimerThreadLink> link);

protected:
    void Execute() override;

private:
    std::shared_ptr<TMMTimerThreadLink> link_;
};

}  // namespace zol
