// The display connectors' shared refresh loop and its process-wide state.
#include "chain/connector.h"

#include "platform/errors.h"
#include "platform/paintbatch.h"
#include "platform/strings.h"
#include "platform/window_thread.h"

#include <algorithm>
#include <climits>
#include <cstdint>


namespace zol {

namespace {

// State shared by every connector; touched on the window thread only.
struct SharedState {
    std::vector<TMMConnector*> connectors;
    int largestSpeed = 0;
    int loopCount = 0;
    bool enterIdle = false;
    bool idleInstalled = false;
    bool tickPosted = false;
    bool inTick = false;
    std::uint64_t passes = 0;
    // Real clock: the timer that wakes the loop when the next slice is due,
    // and whether the loop waits for a buffer (set by the window thread,
    // taken by whichever thread brings new data).
    platform::TimerId wakeTimer = 0;
    platform::Clock* wakeClock = nullptr;
    std::int64_t wakeTimerAtUs = 0;
    // When the loop's next pass comes: kNoPass while a pass runs or is
    // posted, kNoSlice while it waits for data, else the clock's time. A
    // thread that brings new data due earlier posts a pass itself.
    std::atomic<std::int64_t> nextPassUs{0};
};

constexpr std::int64_t kNoPass = 0;
constexpr std::int64_t kNoSlice = INT64_MAX;
// The least time between two passes, as in a loop that sleeps 1 ms.
constexpr std::int64_t kPassGapUs = 1000;
// Real clock: a pass shows the slices due within one display frame (25 a
// second) from now, and the next one comes a frame later. The displays then
// change at most once a frame, each showing every block it is due, in order;
// a slice is shown at most a frame before its time.
constexpr std::int64_t kFrameUs = 40000;

SharedState& Shared()
{
    static SharedState state;
    return state;
}

// The shared hidden window: the target its tick messages are posted to.
const char kHiddenWindow = 0;

void KillWakeTimer()
{
    auto& shared = Shared();
    // A timer of a clock that was replaced went with it.
    if (shared.wakeTimer != 0 && shared.wakeClock == &platform::TheClock())
        platform::TheClock().KillTimer(shared.wakeTimer);
    shared.wakeTimer = 0;
    shared.wakeClock = nullptr;
}

// One pass of the application's message processing.
void ProcessApplicationMessages()
{
    ++Shared().passes;
    platform::TheClock().ProcessMessages();
}

bool IsLive(const TMMConnector* connector)
{
    const auto& list = Shared().connectors;
    return std::find(list.begin(), list.end(), connector) != list.end();
}

}  // namespace

TMMConnector::TMMConnector(QObject* owner) : TMMDSPComponent(owner)
{
    // The refresh loop's 1 ms sleeps rely on the platform clock, which has
    // millisecond resolution without any request.
    Shared().connectors.push_back(this);
    RecomputeLargestSpeed();
}

TMMConnector::~TMMConnector()
{
    Destroying();
    NotifyStop();
    platform::RemovePostedMessages(this);
    auto& shared = Shared();
    shared.connectors.erase(std::remove(shared.connectors.begin(), shared.connectors.end(), this),
                            shared.connectors.end());
    if (shared.connectors.empty()) {
        // The last connector takes the hidden window, and its messages, along.
        KillWakeTimer();
        platform::RemovePostedMessages(&kHiddenWindow);
        shared.tickPosted = false;
        shared.loopCount = 0;
        shared.nextPassUs = kNoPass;
    }
    RecomputeLargestSpeed();
    UpdateIdleHandler();
}

// ---------------------------------------------------------------------------
// process-wide state

bool TMMConnector::EnterIdle() const
{
    return Shared().enterIdle;
}

void TMMConnector::SetEnterIdle(bool value)
{
    Shared().enterIdle = value;
    UpdateIdleHandler();
}

int TMMConnector::ConnectorCount()
{
    return static_cast<int>(Shared().connectors.size());
}

int TMMConnector::LoopCount()
{
    return Shared().loopCount;
}

int TMMConnector::LargestSpeed()
{
    return Shared().largestSpeed;
}

bool TMMConnector::IdleHandlerInstalled()
{
    return Shared().idleInstalled;
}

bool TMMConnector::LoopResting()
{
    return Shared().nextPassUs.load() == kNoSlice;
}

std::uint64_t TMMConnector::MessagePasses()
{
    return Shared().passes;
}
// ---------------------------------------------------------------------------
// the refresh loop

void TMMConnector::RecomputeLargestSpeed()
{
    int largest = 0;
    for (TMMConnector* c : Shared().connectors)
        largest = std::max(largest, c->speed_);
    Shared().largestSpeed = largest;
}

void TMMConnector::UpdateIdleHandler()
{
    // The application's idle handler only kept an idle application spinning;
    // the refresh loop here never waits for idle, so the flag records the
    // state without a platform hook.
    auto& shared = Shared();
    if (shared.loopCount <= 0)
        shared.idleInstalled = false;
    else if (shared.enterIdle)
        shared.idleInstalled = true;
}

void TMMConnector::PostTick()
{
    // One tick message in flight: every pass feeds all connectors, so a
    // second chain of ticks would only nest message processing.
    auto& shared = Shared();
    if (shared.tickPosted)
        return;
    shared.tickPosted = true;
    platform::PostToWindow([] { HandleTick(); }, &kHiddenWindow, kConnectorTickMsg);
}

void TMMConnector::EnterLoopRequest()
{
    if (inLoop_)
        return;
    inLoop_ = true;
    ++Shared().loopCount;
    UpdateIdleHandler();
    PostTick();
}

void TMMConnector::LeaveLoop(bool keepTriggering)
{
    if (!keepTriggering)
        triggering_ = false;
    if (inLoop_) {
        inLoop_ = false;
        if (--Shared().loopCount == 0) {
            KillWakeTimer();
            Shared().nextPassUs = kNoPass;
        }
    }
    UpdateIdleHandler();
}

void TMMConnector::HandleStart()
{
    if (Input() == nullptr || !running_ || !enabled_)
        return;
    pending_ = 0;
    triggering_ = true;
    if (autoTrigger_)
        EnterLoopRequest();
}

void TMMConnector::HandleTrigger()
{
    try {
        if (Input() != nullptr && enabled_ && (triggering_ || (running_ && !realTime_)))
            Feed();
    } catch (...) {
        if (pending_ > 0)
            --pending_;
        throw;
    }
    if (pending_ > 0)
        --pending_;
}

void TMMConnector::HandleTick()
{
    auto& shared = Shared();
    shared.tickPosted = false;
    if (shared.inTick)
        return;  // nested inside a running pass, which posts the next tick
    shared.inTick = true;
    struct Reset {
        ~Reset() { Shared().inTick = false; }
    } reset;

    const int passes = 5001 - std::clamp(shared.largestSpeed, 1, 5000);
    bool goOn = RefreshPass(passes);
    // In simulated time a pass that would only be posted and then run next
    // runs at once: the same passes at the same virtual times, without a
    // trip through the queue for each.
    while (goOn && NextPassAtOnce(passes))
        goOn = RefreshPass(passes);
    if (goOn)
        PostTick();
}

bool TMMConnector::RefreshPass(int passes)
{
    auto& shared = Shared();
    for (int i = 0; i < passes; ++i)
        ProcessApplicationMessages();
    const bool real = !platform::TheClock().Simulated();
    const std::int64_t startUs = platform::TheClock().NowUs();
    if (!platform::Terminating() && shared.loopCount > 0) {
        // The displays' repaints of this pass reach the screen together.
        platform::PaintBatch batch;
        const auto list = shared.connectors;
        for (TMMConnector* c : list) {
            if (!IsLive(c) || !c->autoTrigger_ || !c->enabled_ || !c->triggering_)
                continue;
            try {
                if (real)
                    c->Feed(startUs + kFrameUs, true);
                else
                    c->Feed();
            } catch (...) {
                platform::HandleCurrentException();
            }
        }
    }
    if (shared.loopCount > 0 && !platform::Terminating() && !shared.connectors.empty()) {
        // Real clock: a timer or new data posts the next pass.
        if (real && ScheduleNextPass(startUs))
            return false;
        // In simulated time the loop keeps its 1 ms steps: they take no real
        // time, and the program's timers keep their order around them.
        platform::TheClock().Sleep(1);
        if (shared.enterIdle)
            ProcessApplicationMessages();
        return shared.loopCount > 0 && !shared.connectors.empty();
    }
    return false;
}

bool TMMConnector::NextPassAtOnce(int passes)
{
    auto* sim = dynamic_cast<platform::SimClock*>(&platform::TheClock());
    auto& shared = Shared();
    if (sim == nullptr || shared.enterIdle || platform::Terminating())
        return false;
    // A pass: `passes` idle message passes, the feeding, a 1 ms sleep.
    const std::int64_t feedOffset = passes * platform::SimClock::kIdlePassUs;
    const std::int64_t passUs = feedOffset + 1000;
    std::int64_t now = sim->NowUs();
    if (!sim->QuietUntil(now))
        return false;
    std::int64_t nextFeed = INT64_MAX;
    for (TMMConnector* c : shared.connectors)
        if (c->autoTrigger_ && c->enabled_ && c->triggering_)
            nextFeed = std::min(nextFeed, c->NextFeedUs());
    // Passes that end before any timer, any slice or the driver's target,
    // with nothing waiting, would do nothing: time moves over them at once.
    std::int64_t skipped = 0;
    while (now + feedOffset < nextFeed && sim->QuietUntil(now + passUs)) {
        now += passUs;
        ++skipped;
    }
    if (skipped > 0) {
        sim->SkipTo(now);
        shared.passes += static_cast<std::uint64_t>(skipped * passes);
    }
    return true;
}

std::int64_t TMMConnector::NextFeedUs() const
{
    if (OnTrigger)
        return 0;  // told after every pass
    std::lock_guard lock(lock_);
    if (displayBuffer_.empty() || !displayFormat_)
        return INT64_MAX;
    std::int64_t next = INT64_MAX;
    for (int g = 0; g < kGroupCount; ++g)
        if (g != gSpectrograms && group_[g].newData)
            next = std::min(next, DueAtUs(group_[g].readPos));
    for (const auto& s : spectrogram_)
        if (s.newData)
            next = std::min(next, DueAtUs(s.readPos));
    return next;
}

std::int64_t TMMConnector::NextSliceUs()
{
    // The loop feeds this connector on its passes only under these terms.
    if (!autoTrigger_ || !enabled_ || !triggering_)
        return -1;
    if (OnTrigger)
        return 0;  // told after every pass
    std::lock_guard lock(lock_);
    if (displayBuffer_.empty() || !displayFormat_)
        return -1;
    std::int64_t next = -1;
    auto consider = [&](const GroupState& g, int needed) {
        // A slice past the buffer's end is never shown: no pass is needed
        // for it (the next buffer starts the group over).
        if (!g.newData || needed <= 0 || g.readPos + needed > validBytes_)
            return;
        const std::int64_t due = DueAtUs(g.readPos);
        if (next < 0 || due < next)
            next = due;
    };
    for (int group = 0; group < kGroupCount; ++group) {
        if (group == gSpectrograms)
            continue;
        int needed = 0;
        for (int i = 0; i < kSlotCount; ++i)
            if (slot_[i].display != nullptr && GroupOf(i) == group)
                needed = std::max(needed, slot_[i].display->NeededBytes());
        consider(group_[group], needed);
    }
    for (int i = 0; i < 2; ++i) {
        IMMDisplay* d = slot_[kSpectrogram1 + i].display;
        consider(spectrogram_[i], d != nullptr ? d->NeededBytes() : 0);
    }
    return next;
}

bool TMMConnector::ScheduleNextPass(std::int64_t passStartUs)
{
    // Real clock: the next pass comes when a slice is due, at least a frame
    // after this one; with no slice waiting the loop rests until a buffer
    // arrives. Marked before looking, so that a buffer copied meanwhile
    // wakes the loop itself.
    auto& shared = Shared();
    shared.nextPassUs = kNoSlice;
    std::int64_t next = -1;
    for (TMMConnector* c : shared.connectors) {
        const std::int64_t due = c->NextSliceUs();
        if (due >= 0 && (next < 0 || due < next))
            next = due;
    }
    if (next < 0)
        return true;
    platform::Clock& clock = platform::TheClock();
    // A connector told after every pass keeps the least gap; slices are
    // shown by the pass a frame before them, at most one pass a frame.
    if (next > 0)
        next = std::max(next - kFrameUs, passStartUs + kFrameUs);
    next = std::max(next, clock.NowUs() + kPassGapUs);
    std::int64_t expected = kNoSlice;
    if (!shared.nextPassUs.compare_exchange_strong(expected, next))
        return true;  // new data posted a pass already
    if (shared.wakeTimer != 0 && shared.wakeTimerAtUs == next)
        return true;
    KillWakeTimer();
    shared.wakeTimer = clock.StartWindowTimer(next - clock.NowUs(), [] {
        Shared().wakeTimer = 0;
        Wake();
    });
    if (shared.wakeTimer == 0) {
        shared.nextPassUs = kNoPass;
        return false;  // no timer to be had: the loop sleeps and posts itself
    }
    shared.wakeClock = &clock;
    shared.wakeTimerAtUs = next;
    return true;
}

void TMMConnector::PostWake()
{
    platform::PostToWindow([] { Wake(); }, &kHiddenWindow, kConnectorTickMsg);
}

void TMMConnector::Wake()
{
    auto& shared = Shared();
    if (shared.loopCount <= 0 || shared.connectors.empty())
        return;
    if (shared.tickPosted || shared.inTick)
        return;  // a pass is on its way or running; it plans the next one
    shared.nextPassUs = kNoPass;
    HandleTick();
}

void TMMConnector::WakeForData()
{
    // Any thread, after new data was marked. The loop's pass for it is due
    // now; a pass planned later than the least gap comes too late for it.
    auto& next = Shared().nextPassUs;
    std::int64_t planned = next.load();
    if (planned == kNoPass || planned <= platform::TheClock().NowUs() + kPassGapUs)
        return;
    if (next.compare_exchange_strong(planned, kNoPass))
        PostWake();
}

}  // namespace zol
