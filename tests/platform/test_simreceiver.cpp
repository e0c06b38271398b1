// The simulated receiver's signal: over minutes of audio, in both widths, at
// several gains (clipping included), across lost frames and in uneven
// pieces, every sample is the one the direct formula gives (a sine and a
// cosine worked out for each frame).
#include "platform/pcmsample.h"
#include "platform/simreceiver.h"
#include "platform/waveformat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace zol::platform {
namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;

// The direct formula: the carrier's sine and the fade's cosine per frame.
class Direct {
public:
    Direct(const SimReceiverOptions& o, const WAVEFORMATEX& f) : o_(o), f_(f), rng_(o.seed ? o.seed : 1u)
    {
        o_.carrierHz = std::clamp(o_.carrierHz, 550.0, 750.0);
        step_ = kTwoPi * o_.carrierHz / f.nSamplesPerSec;
    }
    void Fill(char* p, int frames, double gain)
    {
        for (int i = 0; i < frames; ++i) {
            const double t = static_cast<double>(frame_) / f_.nSamplesPerSec;
            const double fade = 1.0 - o_.fadeDepth * 0.5 * (1.0 - std::cos(kTwoPi * t / o_.fadePeriodS));
            const double c = o_.level * fade * std::sin(phase_);
            for (int ch = 0; ch < f_.nChannels; ++ch)
                p = PutSample(p, (c + o_.noise * Noise()) * gain, f_.wBitsPerSample);
            Skip(1);
        }
    }
    void Skip(std::int64_t frames)
    {
        for (std::int64_t i = 0; i < frames; ++i) {
            phase_ += step_;
            if (phase_ >= kTwoPi)
                phase_ -= kTwoPi;
            ++frame_;
        }
    }

private:
    double Noise()
    {
        double sum = 0;
        for (int i = 0; i < 4; ++i) {
            rng_ ^= rng_ << 13;
            rng_ ^= rng_ >> 17;
            rng_ ^= rng_ << 5;
            sum += rng_ / 4294967296.0 - 0.5;
        }
        return sum * 1.7320508;
    }
    SimReceiverOptions o_;
    WAVEFORMATEX f_;
    std::uint32_t rng_;
    double phase_ = 0, step_ = 0;
    std::int64_t frame_ = 0;
};

WAVEFORMATEX Pcm(int rate, int bits, int channels)
{
    WAVEFORMATEX f{};
    MakePcmFormat(f, bits, channels, rate);
    return f;
}

// Fills `seconds` of audio from both in pieces of `piece` frames (the last
// ones shorter) and counts the samples that differ.
std::int64_t Differences(SimReceiverSignal& fast, Direct& direct, const WAVEFORMATEX& f, int seconds,
                         int piece, double gain, std::int64_t& samples)
{
    std::vector<char> a(static_cast<std::size_t>(piece) * f.nBlockAlign);
    std::vector<char> b(a.size());
    std::int64_t left = static_cast<std::int64_t>(seconds) * f.nSamplesPerSec;
    std::int64_t differ = 0;
    while (left > 0) {
        const int n = static_cast<int>(std::min<std::int64_t>(left, piece));
        const int bytes = n * f.nBlockAlign;
        EXPECT_EQ(fast.Fill(a.data(), bytes, gain), bytes);
        direct.Fill(b.data(), n, gain);
        if (std::memcmp(a.data(), b.data(), static_cast<std::size_t>(bytes)) != 0) {
            const int step = f.wBitsPerSample / 8;
            for (int i = 0; i < bytes; i += step)
                differ += std::memcmp(&a[static_cast<std::size_t>(i)], &b[static_cast<std::size_t>(i)],
                                      static_cast<std::size_t>(step)) != 0;
        }
        samples += static_cast<std::int64_t>(n) * f.nChannels;
        left -= n;
    }
    return differ;
}

TEST(SimReceiverSignal, SixteenBitStereoIsTheDirectFormulaToTheBitOverFiveMinutes)
{
    const WAVEFORMATEX f = Pcm(11025, 16, 2);
    SimReceiverOptions o;
    SimReceiverSignal fast(o, f);
    Direct direct(o, f);
    std::int64_t samples = 0;
    EXPECT_EQ(Differences(fast, direct, f, 5 * 60, 1024, 1.0, samples), 0);
    EXPECT_EQ(samples, 5 * 60 * 11025 * 2);
    EXPECT_EQ(fast.Frame(), 5 * 60 * 11025);
}

TEST(SimReceiverSignal, OtherGainsWidthsAndRatesAreTheDirectFormulaToTheBit)
{
    struct Case {
        int rate, bits, channels, piece;
        double gain, carrier, level;
    };
    const Case cases[] = {
        {8000, 8, 1, 800, 0.5, 560, 0.3},
        {44100, 16, 1, 333, 0.37, 749, 0.3},
        {22050, 16, 2, 4096, 3.4, 650, 0.3},   // clips on the peaks
        {11025, 8, 2, 97, 1.0, 700, 0.9},
        {11025, 16, 2, 1024, 0.0, 650, 0.3},
    };
    for (const Case& c : cases) {
        const WAVEFORMATEX f = Pcm(c.rate, c.bits, c.channels);
        SimReceiverOptions o;
        o.carrierHz = c.carrier;
        o.level = c.level;
        o.seed = static_cast<std::uint32_t>(c.rate + c.bits);
        SimReceiverSignal fast(o, f);
        Direct direct(o, f);
        std::int64_t samples = 0;
        EXPECT_EQ(Differences(fast, direct, f, 30, c.piece, c.gain, samples), 0) << c.rate << " " << c.bits;
        EXPECT_GT(samples, 0);
    }
}

TEST(SimReceiverSignal, AfterLostFramesAndHoursOfRunningTheSamplesStayTheDirectFormulas)
{
    // Lost frames step the phase as made ones do; an hour on, the fade's
    // angle has lost digits and the samples are still the same.
    const WAVEFORMATEX f = Pcm(11025, 16, 2);
    SimReceiverOptions o;
    SimReceiverSignal fast(o, f);
    Direct direct(o, f);
    std::int64_t samples = 0;
    EXPECT_EQ(Differences(fast, direct, f, 5, 1000, 1.0, samples), 0);
    fast.Skip(3);
    direct.Skip(3);
    EXPECT_EQ(Differences(fast, direct, f, 5, 517, 1.0, samples), 0);
    const std::int64_t hours = 3600LL * 11025;
    fast.Skip(hours);
    direct.Skip(hours);
    EXPECT_EQ(Differences(fast, direct, f, 20, 1024, 0.8, samples), 0);
    EXPECT_EQ(fast.Frame(), 30 * 11025 + 3 + hours);
}

TEST(SimReceiverSignal, APartFrameIsNotWritten)
{
    const WAVEFORMATEX f = Pcm(11025, 16, 2);
    SimReceiverSignal fast(SimReceiverOptions{}, f);
    char b[7] = {};
    EXPECT_EQ(fast.Fill(b, 7, 1.0), 4);
    EXPECT_EQ(b[4], 0);
    EXPECT_EQ(fast.Frame(), 1);
}

}  // namespace
}  // namespace zol::platform
