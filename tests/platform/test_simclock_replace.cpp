// Replacing one simulated clock by another keeps the window queue in the
// hands of simulated time (the old clock's end must not give it back to
// Qt's event loop while a new simulated clock is installed).
#include "tests/support/test_support.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using namespace zol;

TEST(SimClockReplace, QueueStaysWithTheNewSimulatedClock)
{
    auto& sim = test::ResetSim();
    test::ResetSim();  // the clock just made is replaced at once
    auto& current = test::Sim();
    (void)sim;
    int ran = 0;
    platform::PostToWindow([&] { ++ran; });
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(ran, 0);  // Qt's loop must not run it
    current.Settle();
    EXPECT_EQ(ran, 1);
}
