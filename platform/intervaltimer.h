// The framework's interval timer: calls OnTimer on the window thread every
// Interval milliseconds while Enabled. Like a window timer, ticks do not pile
// up: while one waits in the window queue, further ones are dropped.
#pragma once

#include "platform/clock.h"

#include <atomic>
#include <functional>

namespace zol::platform {

class TIntervalTimer {
public:
    using Event = std::function<void(TIntervalTimer* sender)>;
    TIntervalTimer() = default;
    ~TIntervalTimer();
    TIntervalTimer(const TIntervalTimer&) = delete;
    TIntervalTimer& operator=(const TIntervalTimer&) = delete;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    int Interval() const { return interval_; }
    void SetInterval(int ms);
    void SetOnTimer(Event handler);

private:
    void Update();
    bool enabled_ = true;
    int interval_ = 1000;
    Event onTimer_;
    TimerId timer_ = 0;
    std::atomic<bool> pending_{false};
    unsigned generation_ = 0;  // ticks of an older timer are ignored
};

}  // namespace zol::platform
