#include "platform/simgain.h"

#include <atomic>

namespace zol::platform {

namespace {
std::atomic<double>& Gain()
{
    static std::atomic<double> gain{1.0};
    return gain;
}
}  // namespace

void SetSimulatedCaptureGain(double factor)
{
    Gain().store(factor < 0.0 ? 0.0 : factor);
}

double SimulatedCaptureGain()
{
    return Gain().load();
}

}  // namespace zol::platform
