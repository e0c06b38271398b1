// Helpers shared by the test programs.
#pragma once

#include "platform/clock.h"
#include "platform/window_thread.h"

#include <QString>
#include <QStringList>

namespace zol::test {

// The simulated clock every test program installs in its main.
platform::SimClock& Sim();
// Installs a fresh simulated clock (virtual time 0) and returns it.
platform::SimClock& ResetSim();

// Records what reaches the general error handler while it lives.
class ErrorRecorder {
public:
    ErrorRecorder();
    ~ErrorRecorder();
    const QStringList& Messages() const { return messages_; }
    void Clear() { messages_.clear(); }

private:
    QStringList messages_;
    platform::ErrorReporter previous_;
};

}  // namespace zol::test
