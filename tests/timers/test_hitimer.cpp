// The high-resolution timer and the long timer in simulated time.
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "tests/support/test_support.h"
#include "timers/hitimer.h"
#include "timers/longtimer.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace zol;
namespace pf = zol::platform;

TEST(HiTimer, HoldsATimerOnlyWhenItCanTick)
{
    auto& sim = test::ResetSim();
    {
        TMMHiTimer timer;
        EXPECT_EQ(timer.Interval(), 1000);
        EXPECT_TRUE(timer.Enabled());
        EXPECT_EQ(timer.CallBackMode(), cmWindow);
        EXPECT_FALSE(timer.Running());  // no OnTimer
        int ticks = 0;
        timer.SetOnTimer([&](QObject* sender) {
            EXPECT_EQ(sender, &timer);
            ++ticks;
        });
        EXPECT_TRUE(timer.Running());
        timer.SetInterval(0);
        EXPECT_FALSE(timer.Running());
        timer.SetInterval(100);
        EXPECT_TRUE(timer.Running());
        timer.SetEnabled(false);
        EXPECT_FALSE(timer.Running());
        EXPECT_EQ(sim.ActiveTimers(), 0);
        timer.SetEnabled(true);
        sim.AdvanceMs(1000);
        EXPECT_EQ(ticks, 10);
        EXPECT_EQ(timer.PendingTicks(), 0);
        timer.SetOnTimer(nullptr);
        EXPECT_FALSE(timer.Running());
        timer.SetOnTimer([&](QObject*) { ++ticks; });
        EXPECT_EQ(sim.ActiveTimers(), 1);
    }
    // Destroyed: its timer is gone and nothing is left queued.
    EXPECT_EQ(sim.ActiveTimers(), 0);
    sim.AdvanceMs(500);
}

TEST(HiTimer, SlowWindowHandlerNeverHasMoreThanTenTicksQueued)
{
    auto& sim = test::ResetSim();
    TMMHiTimer timer;
    timer.SetInterval(100);
    int calls = 0, maxPending = 0;
    timer.SetOnTimer([&](QObject*) {
        ++calls;
        maxPending = std::max(maxPending, timer.PendingTicks());
        pf::TheClock().Sleep(175);  // the handler takes 175 ms
        maxPending = std::max(maxPending, timer.PendingTicks());
    });
    sim.AdvanceMs(20000);
    EXPECT_LE(maxPending, kMaxPendingTicks);
    EXPECT_EQ(maxPending, kMaxPendingTicks);  // the queue did fill up
    // 200 ticks came; only as many as the slow handler allows ran.
    // The handler's time paces the calls (the last batch may run past the
    // target of Advance).
    const auto elapsedMs = sim.NowUs() / 1000;
    EXPECT_GE(elapsedMs, 20000);
    EXPECT_GE(calls, elapsedMs / 175 - 1);
    EXPECT_LE(calls, elapsedMs / 175 + 1);
    EXPECT_LE(pf::PendingTaskCount(), kMaxPendingTicks);
    timer.SetEnabled(false);
    EXPECT_EQ(timer.PendingTicks(), 0);
    EXPECT_EQ(pf::PendingTaskCount(), 0);
}

TEST(HiTimer, DisablingDiscardsQueuedTicksAndErrorsKeepItRunning)
{
    auto& sim = test::ResetSim();
    test::ErrorRecorder errors;
    TMMHiTimer timer;
    timer.SetInterval(100);
    int calls = 0;
    timer.SetOnTimer([&](QObject*) {
        ++calls;
        if (calls == 1) {
            pf::TheClock().Sleep(550);  // five ticks queue up meanwhile
            EXPECT_EQ(timer.PendingTicks(), 6);
            timer.SetEnabled(false);
            timer.SetEnabled(true);
            EXPECT_EQ(timer.PendingTicks(), 0);
        } else if (calls == 2) {
            throw EMMError("tick failed");
        }
    });
    sim.AdvanceMs(100);
    EXPECT_EQ(sim.NowUs(), 650000);  // the handler slept
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(pf::PendingTaskCount(), 0);  // the queued ticks were withdrawn
    // The new timer started at 650 ms: its first tick comes at 750 ms.
    sim.AdvanceMs(99);
    EXPECT_EQ(calls, 1);
    sim.AdvanceMs(1);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(errors.Messages(), QStringList{"tick failed"});
    sim.AdvanceMs(300);
    EXPECT_EQ(calls, 5);
    EXPECT_TRUE(timer.Running());
}

TEST(HiTimer, CallbackModeIsRefusedWithAMessage)
{
    test::ResetSim();
    QString text, caption;
    auto old = pf::SetMessageBoxHandler([&](const QString& t, const QString& c) {
        text = t;
        caption = c;
    });
    TMMHiTimer timer;
    timer.SetCallBackMode(cmThread);
    timer.SetCallBackMode(cmCallback);
    EXPECT_EQ(timer.CallBackMode(), cmThread);
    EXPECT_EQ(caption, "TMMHiTimer");
    EXPECT_EQ(text, "\"CallBacks\" are called at interrupt time !\n\r"
                    "This is currently only supported under Windows 95");
    pf::SetMessageBoxHandler(old);
}

TEST(HiTimer, ThreadModeRunsOnTheWindowThreadOrOnTheWorker)
{
    auto& sim = test::ResetSim();
    test::ErrorRecorder errors;
    const auto windowThread = std::this_thread::get_id();
    TMMHiTimer timer;
    timer.SetCallBackMode(cmThread);
    timer.SetInterval(50);
    timer.SetWaitForTerminate(true);
    std::atomic<int> onWindow{0}, onWorker{0};
    timer.SetOnTimer([&](QObject*) {
        if (std::this_thread::get_id() == windowThread)
            ++onWindow;
        else
            ++onWorker;
    });
    EXPECT_TRUE(timer.HasWorker());
    sim.AdvanceMs(1000);
    EXPECT_EQ(onWindow.load(), 20);
    EXPECT_EQ(onWorker.load(), 0);

    timer.SetSynchronize(false);
    sim.AdvanceMs(1000);
    EXPECT_EQ(onWindow.load(), 20);
    EXPECT_EQ(onWorker.load(), 20);

    timer.SetPriority(pf::TThreadPriority::tpHigher);
    sim.AdvanceMs(100);
    EXPECT_EQ(onWorker.load(), 22);

    // A synchronised handler that stops its own timer (and waits for it).
    timer.SetSynchronize(true);
    timer.SetOnTimer([&](QObject*) {
        ++onWindow;
        timer.SetEnabled(false);
    });
    sim.AdvanceMs(200);
    EXPECT_EQ(onWindow.load(), 21);
    EXPECT_FALSE(timer.Running());
    EXPECT_FALSE(timer.HasWorker());
    // Back on; then destroyed while the worker runs.
    timer.SetEnabled(true);
    EXPECT_TRUE(timer.HasWorker());
    EXPECT_TRUE(errors.Messages().isEmpty());
}

TEST(LongTimer, CountsSharedSecondsAndStopsWithTheLast)
{
    auto& sim = test::ResetSim();
    EXPECT_FALSE(TMMLongTimer::SharedTimerRunning());
    std::vector<std::int64_t> one, five;
    {
        auto a = std::make_unique<TMMLongTimer>();
        EXPECT_TRUE(TMMLongTimer::SharedTimerRunning());
        a->SetOnTimer([&](QObject* sender) {
            EXPECT_EQ(sender, a.get());
            one.push_back(sim.NowUs() / 1000);
        });
        sim.AdvanceMs(300);
        auto b = std::make_unique<TMMLongTimer>();
        b->SetInterval(5);
        b->SetOnTimer([&](QObject*) { five.push_back(sim.NowUs() / 1000); });
        EXPECT_EQ(TMMLongTimer::InstanceCount(), 2);
        sim.AdvanceMs(5700);  // t = 6000
        EXPECT_EQ(one, (std::vector<std::int64_t>{1000, 2000, 3000, 4000, 5000, 6000}));
        // The shared second runs on: b's first call comes on the fifth tick.
        EXPECT_EQ(five, (std::vector<std::int64_t>{5000}));

        // Changing Interval restarts the count.
        sim.AdvanceMs(2500);  // t = 8500, b has counted 3
        EXPECT_EQ(b->Count(), 3);
        b->SetInterval(2);
        EXPECT_EQ(b->Count(), 0);
        sim.AdvanceMs(2500);  // t = 11000
        EXPECT_EQ(five, (std::vector<std::int64_t>{5000, 10000}));

        // Disabled: stays registered, not counted.
        a->SetEnabled(false);
        one.clear();
        sim.AdvanceMs(3000);
        EXPECT_TRUE(one.empty());
        EXPECT_EQ(TMMLongTimer::InstanceCount(), 2);

        // A tick posted for an instance destroyed before it ran is dropped.
        b.reset();
        EXPECT_TRUE(TMMLongTimer::SharedTimerRunning());
    }
    EXPECT_FALSE(TMMLongTimer::SharedTimerRunning());
    EXPECT_EQ(sim.ActiveTimers(), 0);
    // A new instance starts a new shared second.
    TMMLongTimer c;
    int calls = 0;
    c.SetOnTimer([&](QObject*) { ++calls; });
    sim.AdvanceMs(1000);
    EXPECT_EQ(calls, 1);
}

TEST(LongTimer, RestartedSharedSecondCountsFromNow)
{
    auto& sim = test::ResetSim();
    TMMLongTimer::RestartSharedSecond();  // none runs: nothing to do
    EXPECT_FALSE(TMMLongTimer::SharedTimerRunning());
    std::vector<std::int64_t> one, three;
    TMMLongTimer a, b;
    a.SetOnTimer([&](QObject*) { one.push_back(sim.NowUs() / 1000); });
    b.SetInterval(3);
    b.SetOnTimer([&](QObject*) { three.push_back(sim.NowUs() / 1000); });
    sim.AdvanceMs(2400);  // b has counted 2
    EXPECT_EQ(b.Count(), 2);
    TMMLongTimer::RestartSharedSecond();
    EXPECT_EQ(b.Count(), 0);
    EXPECT_TRUE(TMMLongTimer::SharedTimerRunning());
    EXPECT_EQ(sim.ActiveTimers(), 1);  // the old second is gone
    sim.AdvanceMs(3600);  // t = 6000
    EXPECT_EQ(one, (std::vector<std::int64_t>{1000, 2000, 3400, 4400, 5400}));
    EXPECT_EQ(three, (std::vector<std::int64_t>{5400}));
}

TEST(HiTimer, RealClockWindowTicksWaitAndWorkersEndCleanly)
{
    pf::InstallClock(std::make_unique<pf::RealClock>());
    {
        test::ErrorRecorder errors;
        // Window ticks pile up to 10 while the window thread is busy.
        TMMHiTimer timer;
        timer.SetInterval(1);
        std::atomic<int> calls{0};
        timer.SetOnTimer([&](QObject*) { ++calls; });
        pf::WaitUntil([&] { return timer.PendingTicks() >= kMaxPendingTicks; }, 60000);
        pf::WaitUntil([] { return false; }, 30);  // more ticks come and are dropped
        EXPECT_EQ(timer.PendingTicks(), kMaxPendingTicks);
        EXPECT_EQ(calls.load(), 0);
        pf::RunPendingTasks();
        EXPECT_EQ(calls.load(), kMaxPendingTicks);
        timer.SetEnabled(false);

        // Workers that tick fast are stopped and restarted while they run.
        for (int round = 0; round < 20; ++round) {
            auto worker = std::make_unique<TMMHiTimer>();
            worker->SetCallBackMode(cmThread);
            worker->SetSynchronize(round % 2 == 0);
            worker->SetWaitForTerminate(round % 4 < 2);
            worker->SetInterval(1);
            std::atomic<int> ticks{0};
            worker->SetOnTimer([&](QObject*) { ++ticks; });
            pf::WaitUntil([&] { return ticks.load() >= 3; }, 60000);
            EXPECT_GE(ticks.load(), 3) << round;
            worker->SetInterval(2);  // a new worker
            pf::WaitUntil([&] { return ticks.load() >= 6; }, 60000);
            EXPECT_GE(ticks.load(), 6) << round;
            worker.reset();  // destroyed while ticking
        }
        EXPECT_TRUE(errors.Messages().isEmpty());
    }
    test::ResetSim();
}

TEST(HiTimer, RealClockWorkersAreStoppedAndChangedWhileTheyTick)
{
    // The clock's thread ticks while the window thread stops, restarts and
    // changes worker timers; nothing may reach a worker that is gone, and a
    // handler is never swapped while an unsynchronised worker runs it.
    pf::InstallClock(std::make_unique<pf::RealClock>());
    {
        test::ErrorRecorder errors;
        std::atomic<int> ticks{0};
        std::atomic<int> late{0};
        for (int round = 0; round < 200; ++round) {
            TMMHiTimer timer;
            timer.SetCallBackMode(cmThread);
            timer.SetSynchronize(round % 3 == 0);
            timer.SetWaitForTerminate(round % 2 == 0);
            timer.SetInterval(1);
            auto alive = std::make_shared<std::atomic<bool>>(true);
            timer.SetOnTimer([&, alive](QObject*) {
                if (!alive->load())
                    ++late;
                ++ticks;
            });
            if (round % 4 == 1) {
                // Wait for a tick, so the stop below meets a running worker.
                const int seen = ticks.load();
                pf::WaitUntil([&] { return ticks.load() > seen; }, 60000);
            }
            timer.SetEnabled(false);
            timer.SetEnabled(true);
            // A replaced handler: the old one is never called afterwards.
            auto replaced = std::make_shared<std::atomic<bool>>(true);
            timer.SetOnTimer([&, replaced](QObject*) {
                if (!replaced->load())
                    ++late;
                ++ticks;
            });
            alive->store(false);
            if (round % 5 == 0)
                timer.SetInterval(2);
            timer.SetEnabled(false);
            replaced->store(false);
            EXPECT_FALSE(timer.HasWorker());
            if (round % 2 == 1)
                timer.SetEnabled(true);  // destroyed while ticking
        }
        EXPECT_EQ(late.load(), 0);
        EXPECT_GT(ticks.load(), 0);
        EXPECT_TRUE(errors.Messages().isEmpty());
    }
    test::ResetSim();
}
