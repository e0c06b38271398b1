#include "platform/intervaltimer.h"

#include "platform/window_thread.h"

namespace zol::platform {

TIntervalTimer::~TIntervalTimer()
{
    TheClock().KillTimer(timer_);
    RemovePostedMessages(this);
}

void TIntervalTimer::SetEnabled(bool value)
{
    if (enabled_ == value)
        return;
    enabled_ = value;
    Update();
}

void TIntervalTimer::SetInterval(int ms)
{
    if (interval_ == ms)
        return;
    interval_ = ms;
    Update();
}

void TIntervalTimer::SetOnTimer(Event handler)
{
    onTimer_ = std::move(handler);
    Update();
}

void TIntervalTimer::Update()
{
    TheClock().KillTimer(timer_);
    timer_ = 0;
    RemovePostedMessages(this);
    pending_ = false;
    ++generation_;
    if (!enabled_ || interval_ <= 0 || !onTimer_)
        return;
    const unsigned generation = generation_;
    timer_ = TheClock().StartPeriodic(static_cast<std::int64_t>(interval_) * 1000, [this, generation] {
        // Runs on the timer thread: only post, and only one tick at a time.
        if (pending_)
            return;
        pending_ = true;
        PostToWindow(
            [this, generation] {
                pending_ = false;
                if (generation == generation_ && enabled_ && onTimer_)
                    onTimer_(this);
            },
            this, 0x0113);
    });
}

}  // namespace zol::platform
