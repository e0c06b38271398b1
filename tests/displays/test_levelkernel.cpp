// The meter's level kernel against brute-force references: the raw level of
// random blocks in every format, and the smoothing of random level sequences
// with settings changed on the way.
#include "displays/levelkernel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <random>
#include <vector>

using namespace zol;

namespace {

// The raw level worked out sample by sample from the bytes: little-endian
// decoding by hand, the DC offset subtracted, the two channels' mean
// truncated toward zero, 8-bit bytes centred on 128 and scaled by 256.
std::int32_t ReferencePeak(const std::uint8_t* bytes, int frames, TMMBits bits, TMMMode mode, TMMChannel channel,
                           const int dc[2])
{
    const int channels = mode == mStereo ? 2 : 1;
    long best = 0;
    for (int f = 0; f < frames; ++f) {
        long v[2] = {0, 0};
        for (int c = 0; c < channels; ++c) {
            const int k = f * channels + c;
            long raw;
            if (bits == b16Bit) {
                const unsigned u = bytes[2 * k] | (bytes[2 * k + 1] << 8);
                raw = u >= 0x8000 ? static_cast<long>(u) - 0x10000 : static_cast<long>(u);
            } else {
                raw = bytes[k];
            }
            v[c] = raw - dc[c];
        }
        long s;
        if (channels == 1 || channel == chLeft)
            s = v[0];
        else if (channel == chRight)
            s = v[1];
        else
            s = static_cast<long>(std::trunc((v[0] + v[1]) / 2.0));
        if (bits == b8Bit)
            s = (s - 128) * 256;
        best = std::max(best, std::labs(s));
    }
    return static_cast<std::int32_t>(best);
}

// The smoothing as described, one block at a time: a single-precision level
// for the step-up and exponential modes, and for the uniform mode the plain
// mean of the inputs kept since the last clear, at most `window` of them.
struct ReferenceDecay {
    TMMDecayMode mode = dmNone;
    int decay = 1;
    float level = 0.0f;
    std::deque<std::int32_t> history;

    double Factor() const
    {
        double f = 0.0001;
        for (int i = 0; i < decay; ++i)
            f = std::sqrt(f);
        return f;
    }
    int Window() const { return std::clamp(2 * decay - 2, 1, 32); }
    void Clear()
    {
        level = 0.0f;
        history.clear();
    }
    std::int32_t Step(std::int32_t r)
    {
        const double f = Factor();
        switch (mode) {
        case dmNone:
            return r;
        case dmStepUp:
            level = static_cast<float>(level * f);
            if (r >= level) {
                level = static_cast<float>(r);
                return r;
            }
            return static_cast<std::int32_t>(level);
        case dmExponential:
            level = static_cast<float>(level * f + (1.0 - f) * r);
            return static_cast<std::int32_t>(std::floor(level));
        case dmUniform: {
            history.push_back(r);
            while (static_cast<int>(history.size()) > Window())
                history.pop_front();
            std::int64_t sum = 0;
            for (std::int32_t h : history)
                sum += h;
            return static_cast<std::int32_t>(sum / static_cast<std::int64_t>(history.size()));
        }
        }
        return r;
    }
};

}  // namespace

TEST(LevelKernel, BlockPeakOfEveryFormatMatchesTheReference)
{
    std::mt19937 rng(1234);
    for (TMMBits bits : {b8Bit, b16Bit})
        for (TMMMode mode : {mMono, mStereo})
            for (TMMChannel channel : {chBoth, chLeft, chRight})
                for (int round = 0; round < 60; ++round) {
                    TLevelKernel k;
                    k.SetBitLength(bits);
                    k.SetMode(mode);
                    k.SetChannel(channel);
                    const int dc[2] = {round % 3 == 0 ? 0 : static_cast<int>(rng() % 601) - 300,
                                       round % 4 == 0 ? 0 : static_cast<int>(rng() % 601) - 300};
                    k.SetDCOffset(0, dc[0]);
                    k.SetDCOffset(1, dc[1]);
                    const int frames = 1 + static_cast<int>(rng() % 150);
                    const int bytes = k.BytesOf(frames);
                    ASSERT_EQ(bytes, (bits == b16Bit ? 2 : 1) * (mode == mStereo ? 2 : 1) * frames);
                    // One byte in front, so that 16-bit samples sit at odd
                    // addresses; the block ends where the buffer does.
                    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(bytes) + 1);
                    for (std::size_t i = 1; i < buffer.size(); ++i) {
                        const unsigned r = rng();
                        // Now and then the extremes, so full scale is met.
                        buffer[i] = r % 17 == 0 ? 0x80 : r % 19 == 0 ? 0x00 : r % 23 == 0 ? 0xFF
                                                                                           : static_cast<std::uint8_t>(r >> 8);
                    }
                    const std::uint8_t* data = buffer.data() + 1;
                    EXPECT_EQ(k.BlockPeak(reinterpret_cast<const char*>(data), frames),
                              ReferencePeak(data, frames, bits, mode, channel, dc))
                        << "bits " << bits << " mode " << mode << " channel " << channel << " round " << round;
                }
}

TEST(LevelKernel, BlockPeakEdgeCases)
{
    TLevelKernel k;
    k.SetBitLength(b16Bit);
    k.SetMode(mStereo);
    // (1000, -3000) and (-32768, -32768): the pair at full scale is 32768.
    const std::int16_t frames[4] = {1000, -3000, -32768, -32768};
    EXPECT_EQ(k.BlockPeak(reinterpret_cast<const char*>(frames), 2), 32768);
    EXPECT_EQ(k.BlockPeak(reinterpret_cast<const char*>(frames), 1), 1000);
    // (-3277, -3276): the mean -3276.5 goes to -3276, not -3277.
    const std::int16_t half[2] = {-3277, -3276};
    EXPECT_EQ(k.BlockPeak(reinterpret_cast<const char*>(half), 1), 3276);
    // 8-bit silence is 128; no data is no level.
    k.SetBitLength(b8Bit);
    const std::uint8_t quiet[4] = {128, 128, 128, 128};
    EXPECT_EQ(k.BlockPeak(reinterpret_cast<const char*>(quiet), 2), 0);
    EXPECT_EQ(k.BlockPeak(nullptr, 2), 0);
    EXPECT_EQ(k.BlockPeak(reinterpret_cast<const char*>(quiet), 0), 0);
}

TEST(LevelKernel, DecaySettings)
{
    TLevelKernel k;
    EXPECT_EQ(k.DecayMode(), dmNone);
    EXPECT_EQ(k.Decay(), 1);
    EXPECT_DOUBLE_EQ(k.Factor(), 0.01);
    EXPECT_EQ(k.Window(), 1);
    k.SetDecay(10);
    EXPECT_NEAR(k.Factor(), 0.99104, 0.00001);
    EXPECT_EQ(k.Window(), 18);
    k.SetDecay(17);
    EXPECT_EQ(k.Decay(), 16);
    EXPECT_NEAR(k.Factor(), 0.99986, 0.00001);
    EXPECT_EQ(k.Window(), 30);
    k.SetDecay(0);
    EXPECT_EQ(k.Decay(), 1);
    k.SetDecay(2);
    EXPECT_EQ(k.Window(), 2);
    // dmNone passes every level on.
    for (std::int32_t r : {0, 5, 32768, 7})
        EXPECT_EQ(k.Smooth(r), r);
}

TEST(LevelKernel, SmoothingMatchesTheReference)
{
    std::mt19937 rng(99);
    for (TMMDecayMode mode : {dmNone, dmStepUp, dmExponential, dmUniform})
        for (int decay : {1, 2, 3, 10, 16}) {
            TLevelKernel k;
            ReferenceDecay ref;
            k.SetDecayMode(mode);
            ref.mode = mode;
            k.SetDecay(decay);
            ref.decay = decay;
            for (int block = 0; block < 400; ++block) {
                const unsigned op = rng() % 100;
                if (op == 0) {
                    // A new strength: in dmUniform the state starts afresh,
                    // in the other modes the level goes on.
                    const int d = 1 + static_cast<int>(rng() % 16);
                    if (d != ref.decay && mode == dmUniform)
                        ref.Clear();
                    k.SetDecay(d);
                    ref.decay = d;
                } else if (op == 1) {
                    k.ClearDecay();
                    ref.Clear();
                }
                // Bursts, silence and steady stretches.
                const unsigned kind = rng() % 4;
                const std::int32_t r = kind == 0 ? 0
                                       : kind == 1 ? static_cast<std::int32_t>(rng() % 32769)
                                                   : static_cast<std::int32_t>(8000 + rng() % 50);
                ASSERT_EQ(k.Smooth(r), ref.Step(r)) << "mode " << mode << " decay " << decay << " block " << block;
            }
        }
}

TEST(LevelKernel, ModeChangesClearTheState)
{
    TLevelKernel k;
    k.SetDecayMode(dmUniform);
    k.SetDecay(3);  // window 4
    for (std::int32_t r : {4000, 8000, 12000})
        k.Smooth(r);
    EXPECT_EQ(k.Smooth(16000), 10000);
    EXPECT_EQ(k.Smooth(0), 9000);  // the oldest dropped out
    // Another mode starts from nothing, and so does a return to dmUniform.
    k.SetDecayMode(dmStepUp);
    EXPECT_EQ(k.Smooth(100), 100);
    k.SetDecayMode(dmUniform);
    EXPECT_EQ(k.Smooth(600), 600);
    EXPECT_EQ(k.Smooth(0), 300);
    // The same mode again changes nothing.
    k.SetDecayMode(dmUniform);
    EXPECT_EQ(k.Smooth(0), 200);

    // Step-up falls by the factor and keeps its level across a new Decay.
    k.SetDecayMode(dmStepUp);
    k.SetDecay(2);  // factor 0.1
    EXPECT_EQ(k.Smooth(20000), 20000);
    EXPECT_EQ(k.Smooth(0), 2000);
    k.SetDecay(1);  // factor 0.01
    EXPECT_EQ(k.Smooth(0), 20);
    EXPECT_EQ(k.Smooth(30), 30);
}
