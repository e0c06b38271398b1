// The 25 ms tick service in simulated time.
#include "tests/support/test_support.h"
#include "timers/tickservice.h"

#include <gtest/gtest.h>

#include <vector>

using namespace zol;

TEST(TickService, IntervalsPausingAndLifetime)
{
    auto& sim = test::ResetSim();
    ASSERT_FALSE(TickServiceRunning());
    std::vector<std::int64_t> fast, slow;
    int owner1 = 1, owner2 = 2;
    TTickHandle h1 = AddTickClient(10, 0, [&](TTickHandle h, void* owner) {
        EXPECT_EQ(owner, &owner1);
        EXPECT_NE(h, nullptr);
        fast.push_back(sim.NowUs() / 1000);
    }, &owner1);
    ASSERT_NE(h1, nullptr);
    EXPECT_TRUE(TickServiceRunning());
    TTickHandle h2 = AddTickClient(100, 0, [&](TTickHandle, void* owner) {
        EXPECT_EQ(owner, &owner2);
        slow.push_back(sim.NowUs() / 1000);
    }, &owner2);
    EXPECT_EQ(TickClientCount(), 2);

    sim.AdvanceMs(200);
    // Interval 10 is raised to 25: every tick.
    ASSERT_EQ(fast.size(), 8u);
    EXPECT_EQ(fast.front(), 25);
    EXPECT_EQ(fast.back(), 200);
    // Interval 100: every fourth tick.
    EXPECT_EQ(slow, (std::vector<std::int64_t>{100, 200}));

    // Paused: not called; resumed: counts from 0 again.
    slow.clear();
    sim.AdvanceMs(50);  // t = 250, elapsed of the slow client = 50
    PauseTickClient(h2);
    PauseTickClient(h2);
    sim.AdvanceMs(200);
    EXPECT_TRUE(slow.empty());
    ResumeTickClient(h2);
    sim.AdvanceMs(100);
    EXPECT_TRUE(slow.empty());  // still paused once
    ResumeTickClient(h2);
    ResumeTickClient(h2);  // not below 0
    sim.AdvanceMs(100);     // t = 650: first call 100 ms after resuming
    EXPECT_EQ(slow, (std::vector<std::int64_t>{650}));

    // A new interval restarts the count.
    slow.clear();
    sim.AdvanceMs(50);  // t = 700, elapsed 50
    SetTickInterval(h2, 75);
    sim.AdvanceMs(75);
    EXPECT_EQ(slow, (std::vector<std::int64_t>{775}));

    // Removed: never called again; the last one stops the service.
    const size_t before = fast.size();
    RemoveTickClient(h1);
    sim.AdvanceMs(100);
    EXPECT_EQ(fast.size(), before);
    EXPECT_TRUE(TickServiceRunning());
    RemoveTickClient(h2);
    EXPECT_FALSE(TickServiceRunning());
    EXPECT_EQ(sim.ActiveTimers(), 0);

    // Empty handles and a stopped service: nothing happens.
    SetTickInterval(nullptr, 50);
    PauseTickClient(nullptr);
    ResumeTickClient(nullptr);
    RemoveTickClient(nullptr);

    // A client paused from the start; a client that removes itself.
    int calls = 0;
    TTickHandle paused = AddTickClient(25, 1, [&](TTickHandle, void*) { ++calls; }, nullptr);
    TTickHandle self = nullptr;
    int selfCalls = 0;
    self = AddTickClient(50, 0, [&](TTickHandle h, void*) {
        ++selfCalls;
        RemoveTickClient(h);
    }, nullptr);
    sim.AdvanceMs(200);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(selfCalls, 1);
    EXPECT_EQ(TickClientCount(), 1);
    (void)self;
    ResumeTickClient(paused);
    sim.AdvanceMs(50);
    EXPECT_EQ(calls, 2);
    RemoveTickClient(paused);
    EXPECT_FALSE(TickServiceRunning());
}

TEST(TickService, LastClientRemovingItselfStopsTheService)
{
    auto& sim = test::ResetSim();
    int calls = 0;
    AddTickClient(25, 0, [&](TTickHandle h, void*) {
        ++calls;
        RemoveTickClient(h);
    }, nullptr);
    sim.AdvanceMs(100);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(TickServiceRunning());
    EXPECT_EQ(sim.ActiveTimers(), 0);
    // And it starts again for a new client.
    TTickHandle h = AddTickClient(25, 0, [&](TTickHandle, void*) { ++calls; }, nullptr);
    sim.AdvanceMs(50);
    EXPECT_EQ(calls, 3);
    RemoveTickClient(h);
}
