// TMMLongTimer: a timer counted in whole seconds. Every instance shares one
// 1-second clock timer and one hidden window; each second the shared timer
// counts every armed instance and posts a tick message for those whose
// count has reached their Interval. OnTimer runs on the window thread.
#pragma once

#include "core/mmcomponent.h"

#include <functional>

namespace zol {


class TMMLongTimer : public TMMNonVisualComponent {
public:
    explicit TMMLongTimer(QObject* owner = nullptr);
    ~TMMLongTimer() override;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    int Interval() const { return interval_; }
    void SetInterval(int value);
    const TNotifyEvent& OnTimer() const { return onTimer_; }
    void SetOnTimer(TNotifyEvent value);

    void Loaded() override;

    // The shared second: whether it runs, and how many instances it serves.
    static bool SharedTimerRunning();
    static int InstanceCount();
    // Seconds counted since the last call (or the last reset).
    int Count() const;
    // Starts the shared second afresh from now: every count starts again at
    // 0, so an instance enabled just before calls first exactly Interval
    // seconds from now (a replay's seconds then begin with its recording).
    // Window thread.
    static void RestartSharedSecond();

protected:
    virtual void DoTimer();

private:
    friend struct LongTimerShared;
    void Rearm();  // recomputes what the shared timer reads; resets the count

    bool enabled_ = true;
    int interval_ = 1;
    TNotifyEvent onTimer_;
    // Read by the shared timer under the shared lock.
    bool armed_ = false;
    int armedInterval_ = 1;
    int count_ = 0;
};

}  // namespace zol
