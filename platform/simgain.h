// The capture gain of the simulated sound card, shared by the simulated
// mixer (which sets it from its microphone volume) and the simulated
// receiver (which scales its samples by it). 1.0 until a simulated mixer
// sets it.
#pragma once

namespace zol::platform {

void SetSimulatedCaptureGain(double factor);
double SimulatedCaptureGain();

}  // namespace zol::platform
