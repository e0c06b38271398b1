// The simulated receiver's signal: a carrier in the 550-750 Hz band with a
// slow fade and a little noise, written as PCM frames.
//
// The carrier and the fade are rotating phasors: each frame turns them by a
// fixed step (a few multiplications instead of a sine and a cosine per frame),
// and every block of frames they start again from the exact sine and cosine
// of the running phase, so the error never grows past the block. A sample
// whose value lies so close to a rounding edge that this error could move it
// to the next integer is worked out from the exact functions instead: the
// samples are the same, to the bit, as those of the direct formula.
#pragma once

#include "platform/waveformat.h"

#include <cstdint>

namespace zol::platform {

struct SimReceiverOptions {
    double carrierHz = 650.0;   // kept within 550..750
    double level = 0.3;         // carrier peak, fraction of full scale
    double noise = 0.01;        // noise level, fraction of full scale
    double fadePeriodS = 240.0; // one slow rise and fall of the carrier
    double fadeDepth = 0.35;    // fraction of the level that the fade takes away at most
    std::uint32_t seed = 0x5EED1234u;
};

class SimReceiverSignal {
public:
    // `format`: 8- or 16-bit PCM.
    SimReceiverSignal(const SimReceiverOptions& options, const WAVEFORMATEX& format);

    // Writes whole frames into `bytes` bytes, each sample scaled by `gain`;
    // returns the bytes written.
    int Fill(char* data, int bytes, double gain);
    // `frames` frames pass unwritten.
    void Skip(std::int64_t frames);
    // The carrier's value (before noise and gain) of the next frame, from the
    // exact functions.
    double ExactCarrier() const;
    // The noise of one sample: roughly normal, of unit spread.
    double Noise();
    // Frames made or skipped so far.
    std::int64_t Frame() const { return frame_; }

private:
    void Restart();
    void Advance();

    SimReceiverOptions o_;
    WAVEFORMATEX format_;
    std::uint32_t rng_;
    // The running phase, as the direct formula keeps it.
    double phase_ = 0;
    double step_ = 0;
    std::int64_t frame_ = 0;
    // The phasors: the carrier's sine and cosine, the fade's cosine and
    // sine, and their turn per frame.
    double sin_ = 0, cos_ = 1, fadeCos_ = 1, fadeSin_ = 0;
    double stepSin_ = 0, stepCos_ = 1, fadeStepSin_ = 0, fadeStepCos_ = 1;
    int sinceRestart_ = 0;
};

}  // namespace zol::platform
