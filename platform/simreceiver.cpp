#include "platform/simreceiver.h"

#include "platform/pcmsample.h"

#include <algorithm>
#include <cmath>

namespace zol::platform {

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;
// Frames between two fresh starts of the phasors.
constexpr int kBlockFrames = 128;
// How far the phasors' carrier may stray from the exact one, relative to the
// level: a block's turns and the running phase's own rounding stay below
// 1e-12 (128 steps of a few ulps each); the margin covers days of running,
// over which the fade's angle loses digits.
constexpr double kCarrierTolerance = 1e-9;

}  // namespace

SimReceiverSignal::SimReceiverSignal(const SimReceiverOptions& o, const WAVEFORMATEX& f)
    : o_(o), format_(f), rng_(o.seed ? o.seed : 1u)
{
    o_.carrierHz = std::clamp(o_.carrierHz, 550.0, 750.0);
    step_ = kTwoPi * o_.carrierHz / f.nSamplesPerSec;
    stepSin_ = std::sin(step_);
    stepCos_ = std::cos(step_);
    const double fadeStep = kTwoPi / f.nSamplesPerSec / o_.fadePeriodS;
    fadeStepSin_ = std::sin(fadeStep);
    fadeStepCos_ = std::cos(fadeStep);
    sinceRestart_ = kBlockFrames;
}

double SimReceiverSignal::ExactCarrier() const
{
    const double t = static_cast<double>(frame_) / format_.nSamplesPerSec;
    const double fade = 1.0 - o_.fadeDepth * 0.5 * (1.0 - std::cos(kTwoPi * t / o_.fadePeriodS));
    return o_.level * fade * std::sin(phase_);
}

void SimReceiverSignal::Restart()
{
    const double t = static_cast<double>(frame_) / format_.nSamplesPerSec;
    const double fadeAngle = kTwoPi * t / o_.fadePeriodS;
    fadeCos_ = std::cos(fadeAngle);
    fadeSin_ = std::sin(fadeAngle);
    sin_ = std::sin(phase_);
    cos_ = std::cos(phase_);
    sinceRestart_ = 0;
}

void SimReceiverSignal::Advance()
{
    phase_ += step_;
    if (phase_ >= kTwoPi)
        phase_ -= kTwoPi;
    ++frame_;
    const double s = sin_ * stepCos_ + cos_ * stepSin_;
    cos_ = cos_ * stepCos_ - sin_ * stepSin_;
    sin_ = s;
    const double fs = fadeSin_ * fadeStepCos_ + fadeCos_ * fadeStepSin_;
    fadeCos_ = fadeCos_ * fadeStepCos_ - fadeSin_ * fadeStepSin_;
    fadeSin_ = fs;
    ++sinceRestart_;
}

void SimReceiverSignal::Skip(std::int64_t frames)
{
    // The phase is stepped as the frames would have stepped it, so the
    // samples after the gap are those the direct formula gives.
    for (std::int64_t i = 0; i < frames; ++i) {
        phase_ += step_;
        if (phase_ >= kTwoPi)
            phase_ -= kTwoPi;
        ++frame_;
    }
    if (frames > 0)
        sinceRestart_ = kBlockFrames;
}

double SimReceiverSignal::Noise()
{
    // The sum of four uniform values in -0.5..0.5. Added as integers: each
    // value is a multiple of 2^-32 below 1, so the sum of the doubles would
    // be exact too, and is the same number.
    std::uint64_t sum = 0;
    for (int i = 0; i < 4; ++i) {
        rng_ ^= rng_ << 13;
        rng_ ^= rng_ >> 17;
        rng_ ^= rng_ << 5;
        sum += rng_;
    }
    return (static_cast<double>(sum) / 4294967296.0 - 2.0) * 1.7320508;  // variance 1/3 -> spread 1
}

int SimReceiverSignal::Fill(char* data, int bytes, double gain)
{
    const int bits = format_.wBitsPerSample;
    const int frames = format_.nBlockAlign > 0 ? bytes / format_.nBlockAlign : 0;
    // The sample's value before rounding, in steps of the format, and the
    // distance from a rounding edge within which the phasors' error could
    // change the rounded sample.
    const double scale = bits == 16 ? 32768.0 : 128.0;
    const double offset = bits == 16 ? 0.0 : 128.0;
    const double margin =
        kCarrierTolerance * (std::abs(o_.level) + 1.0) * std::abs(gain) * scale + 1e-9;
    char* p = data;
    for (int i = 0; i < frames; ++i) {
        if (sinceRestart_ >= kBlockFrames)
            Restart();
        const double c = o_.level * (1.0 - o_.fadeDepth * 0.5 * (1.0 - fadeCos_)) * sin_;
        for (int ch = 0; ch < format_.nChannels; ++ch) {
            const double noise = o_.noise * Noise();
            double v = (c + noise) * gain;
            const double z = std::clamp(v, -1.0, 1.0) * scale + offset;
            bool nearEdge = true;  // also for a value that is not a number
            if (z == z) {
                const double fraction = z - static_cast<double>(static_cast<long>(z));
                nearEdge = !(std::abs(std::abs(fraction) - 0.5) > margin);
            }
            if (nearEdge)
                v = (ExactCarrier() + noise) * gain;
            p = PutSample(p, v, bits);
        }
        Advance();
    }
    return static_cast<int>(p - data);
}

}  // namespace zol::platform
