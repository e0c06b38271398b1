// Main of every test program: a QApplication on the offscreen platform, the
// window thread registered, and simulated time.
#include "tests/support/test_support.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

namespace zol::test {

platform::SimClock& Sim()
{
    auto* sim = dynamic_cast<platform::SimClock*>(&platform::TheClock());
    if (sim == nullptr)
        return ResetSim();
    return *sim;
}

platform::SimClock& ResetSim()
{
    auto clock = std::make_unique<platform::SimClock>();
    auto* raw = clock.get();
    platform::InstallClock(std::move(clock));
    return *raw;
}

ErrorRecorder::ErrorRecorder()
{
    previous_ = platform::SetErrorReporter([this](const QString& m) { messages_.append(m); });
}

ErrorRecorder::~ErrorRecorder()
{
    platform::SetErrorReporter(previous_);
}

}  // namespace zol::test

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    zol::platform::InitWindowThread();
    zol::test::ResetSim();
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    zol::platform::InstallClock(nullptr);
    return rc;
}
