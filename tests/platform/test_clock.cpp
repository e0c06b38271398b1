#include "platform/clock.h"
#include "platform/thread.h"
#include "platform/window_thread.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace zol;
using namespace zol::platform;

TEST(SimClock, FiresTimersInTimeOrderAndRunsPostedWorkBetween)
{
    SimClock& sim = test::ResetSim();
    std::vector<std::pair<std::int64_t, int>> log;
    const TimerId a = sim.StartPeriodic(100000, [&] { log.push_back({sim.NowUs(), 1}); });
    sim.StartOneShot(250000, [&] {
        log.push_back({sim.NowUs(), 2});
        // Work posted by a timer runs before time moves on.
        PostToWindow([&] { log.push_back({sim.NowUs(), 3}); });
    });
    sim.AdvanceMs(350);
    const std::vector<std::pair<std::int64_t, int>> expected = {
        {100000, 1}, {200000, 1}, {250000, 2}, {250000, 3}, {300000, 1}};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(sim.NowUs(), 350000);
    sim.KillTimer(a);
    sim.AdvanceMs(1000);
    EXPECT_EQ(log.size(), expected.size());
    EXPECT_EQ(sim.ActiveTimers(), 0);
}

TEST(SimClock, SleepLetsTimersRunButHoldsWindowMessages)
{
    SimClock& sim = test::ResetSim();
    int ticks = 0;
    bool posted = false;
    const TimerId t = sim.StartPeriodic(25000, [&] {
        ++ticks;
        PostToWindow([&] { posted = true; });
    });
    sim.Sleep(100);
    EXPECT_EQ(ticks, 4);
    EXPECT_FALSE(posted);  // the window thread was asleep
    EXPECT_EQ(sim.NowUs(), 100000);
    sim.Settle();
    EXPECT_TRUE(posted);
    sim.KillTimer(t);
}

TEST(SimClock, ProcessMessagesOnAnIdleQueueMovesToTheNextTimer)
{
    SimClock& sim = test::ResetSim();
    int value = -1;
    const TimerId t = sim.StartPeriodic(100000, [&] { PostToWindow([&] { value = 7; }); });
    // A wait loop as a handler writes it: spin until a tick delivers.
    int rounds = 0;
    while (value == -1 && rounds++ < 10000)
        sim.ProcessMessages();
    EXPECT_EQ(value, 7);
    // Idle passes move time in small steps: the tick came on time.
    EXPECT_GE(sim.NowUs(), 100000);
    EXPECT_LT(sim.NowUs(), 100100);
    sim.KillTimer(t);
}

TEST(SimClock, SelfRepostingLoopThatSleepsConsumesVirtualTime)
{
    SimClock& sim = test::ResetSim();
    int cycles = 0;
    bool running = true;
    std::function<void()> cycle = [&] {
        ++cycles;
        TheClock().Sleep(1);
        if (running)
            PostToWindow(cycle);
    };
    PostToWindow(cycle);
    int timerHits = 0;
    const TimerId t = sim.StartPeriodic(10000, [&] { ++timerHits; });
    sim.AdvanceMs(50);
    EXPECT_GE(sim.NowUs(), 50000);
    EXPECT_NEAR(cycles, 50, 1);
    EXPECT_EQ(timerHits, 5);
    running = false;
    sim.Settle();
    sim.KillTimer(t);
}

TEST(SimClock, WaitsForWorkHandedToAnotherThread)
{
    SimClock& sim = test::ResetSim();
    ThreadQueue queue;
    TEvent stop;
    std::atomic<int> handled{0};
    std::vector<int> seen;
    std::thread worker([&] {
        ThreadMessage m;
        while (queue.Wait(stop, m)) {
            // A blocking call to the window thread in the middle of the work.
            RunOnWindowThread([&] { seen.push_back(static_cast<int>(m.wParam)); });
            ++handled;
            queue.Done();
        }
    });
    int n = 0;
    const TimerId t = sim.StartPeriodic(10000, [&] { queue.Post({1, n++, 0}); });
    sim.AdvanceMs(1000);
    // Every piece of work handed out in the second was handled before the
    // clock returned, in order.
    EXPECT_EQ(handled.load(), 100);
    ASSERT_EQ(seen.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(seen[i], i);
    sim.KillTimer(t);
    stop.Set();
    worker.join();
}

TEST(RealClock, PeriodicTimerAndKill)
{
    RealClock clock;
    std::atomic<int> count{0};
    TEvent three;
    const TimerId id = clock.StartPeriodic(2000, [&] {
        if (++count == 3)
            three.Set();
    });
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(three.WaitFor(5000));
    clock.KillTimer(id);
    const int after = count.load();
    clock.Sleep(20);
    EXPECT_EQ(count.load(), after);  // no call after KillTimer returned
    // A timer may kill itself from its own callback.
    TEvent once;
    std::atomic<TimerId> self{0};
    std::atomic<int> selfCalls{0};
    self = clock.StartPeriodic(1000, [&] {
        // On a busy machine the first calls may come before StartPeriodic
        // has returned the id: those cannot kill the timer yet.
        const TimerId me = self.load();
        if (me == 0)
            return;
        ++selfCalls;
        clock.KillTimer(me);
        once.Set();
    });
    EXPECT_TRUE(once.WaitFor(5000));
    clock.Sleep(10);
    EXPECT_EQ(selfCalls.load(), 1);
}

TEST(RealClock, WaitMessagesSleepsUntilAMessageAndReturnsWithoutOne)
{
    RealClock clock;
    // A task another thread posts ends the wait and has run when it returns.
    std::atomic<bool> ran{false};
    std::atomic<bool> waiting{false};
    std::thread poster([&] {
        while (!waiting.load())
            std::this_thread::yield();
        PostToWindow([&] { ran = true; });
    });
    waiting = true;
    while (!ran.load())
        clock.WaitMessages(1000);
    poster.join();
    EXPECT_TRUE(ran.load());
    // With nothing to handle the wait ends by its bound.
    clock.WaitMessages(1);
    EXPECT_EQ(PendingTaskCount(), 0);
}

TEST(RealClock, WindowTimersRunOnTheWindowThreadAndCanBeKilled)
{
    RealClock clock;
    std::vector<int> order;
    bool onWindowThread = true;
    // Fire in deadline order on the window thread; a killed one never fires,
    // and a callback may start another.
    const TimerId late = clock.StartWindowTimer(20000, [&] {
        onWindowThread = onWindowThread && IsWindowThread();
        order.push_back(2);
    });
    const TimerId killed = clock.StartWindowTimer(1000, [&] { order.push_back(99); });
    clock.StartWindowTimer(2000, [&] {
        onWindowThread = onWindowThread && IsWindowThread();
        order.push_back(1);
        clock.StartWindowTimer(40000, [&] { order.push_back(3); });
    });
    ASSERT_NE(late, 0u);
    ASSERT_NE(killed, 0u);
    clock.KillTimer(killed);
    const std::int64_t end = clock.NowMs() + 30000;
    while (order.size() < 3 && clock.NowMs() < end)
        clock.WaitMessages(50);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(onWindowThread);
    // Killing a timer that already fired, or twice, does nothing.
    clock.KillTimer(late);
    clock.KillTimer(killed);
}

TEST(WindowThread, BlockingCallWhileTheWindowThreadWaitsDoesNotDeadlock)
{
    // The window thread waits for a thread that calls back into it.
    TEvent finished;
    bool ranOnWindow = false;
    std::thread worker([&] {
        RunOnWindowThread([&] { ranOnWindow = IsWindowThread(); });
        finished.Set();
    });
    EXPECT_TRUE(finished.WaitFor(5000));
    EXPECT_TRUE(ranOnWindow);
    worker.join();

    // Exceptions of a blocking call reach the caller.
    std::atomic<bool> caught{false};
    std::thread thrower([&] {
        try {
            RunOnWindowThread([] { throw std::runtime_error("boom"); });
        } catch (const std::runtime_error&) {
            caught = true;
        }
    });
    EXPECT_TRUE(WaitUntil([&] { return caught.load(); }, 5000));
    thrower.join();
}

TEST(WindowThread, PostedMessagesCanBeWithdrawnAndErrorsReachTheHandler)
{
    test::ResetSim();
    test::ErrorRecorder errors;
    int a = 0, b = 0;
    int target1 = 0, target2 = 0;
    PostToWindow([&] { ++a; }, &target1, 5);
    PostToWindow([&] { ++a; }, &target1, 6);
    PostToWindow([&] { ++b; }, &target2, 5);
    EXPECT_EQ(RemovePostedMessages(&target1, 5), 1);
    PostToWindow([] { throw std::runtime_error("handler failed"); });
    test::Sim().Settle();
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 1);
    ASSERT_EQ(errors.Messages().size(), 1);
    EXPECT_EQ(errors.Messages()[0], "handler failed");

    // An exception on another thread is posted to the window thread.
    std::thread t([] { HandleException(std::make_exception_ptr(std::runtime_error("from worker"))); });
    t.join();
    test::Sim().Settle();
    ASSERT_EQ(errors.Messages().size(), 2);
    EXPECT_EQ(errors.Messages()[1], "from worker");
}

namespace {
class CountingThread : public TThread {
public:
    std::atomic<int> runs{0};

protected:
    void Execute() override
    {
        while (!Terminated()) {
            ++runs;
            std::this_thread::yield();
        }
    }
};
}  // namespace

TEST(Thread, CreatedSuspendedRunsAfterResumeAndEndsOnTerminate)
{
    CountingThread thread;
    EXPECT_FALSE(thread.Started());
    EXPECT_EQ(thread.runs.load(), 0);
    thread.Resume();
    EXPECT_TRUE(WaitUntil([&] { return thread.runs.load() > 0; }, 5000));
    thread.Terminate();
    EXPECT_TRUE(thread.WaitFor(5000));
    EXPECT_TRUE(thread.Finished());
}
