// The band-pass filters of the main window in their chain, in simulated
// time: a test source delivers 4096-byte 16-bit stereo buffers of a tone at
// 11025 Hz every 92.88 ms through the two equalizers (loaded from the main
// window's filter streams) into a measuring link that keeps the largest
// sample magnitude of the latest buffer; every 100 ms that value becomes
// the dB reading trunc(20 log10(32768 / max(v, 1))).
#include "chain/equalizer.h"
#include "tests/chain/filter_sets.h"

#include "platform/clock.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace zol {
namespace {

constexpr int kRate = 11025;
constexpr int kBufferBytes = 4096;
constexpr int kFrames = kBufferBytes / 4;
// 1024 frames at 11025 Hz.
constexpr std::int64_t kBufferUs = 1000000LL * kFrames / kRate;

// A source link that owns its format and buffers; the test pushes tone
// buffers down the chain with BufferReady.
class TToneSource : public TMMCustomSoundComponent {
public:
    TToneSource() : block_(kWaveHdrArea + kBufferBytes)
    {
        WAVEFORMATEX f{};
        MakePcmFormat(f, 16, 2, kRate);
        SetWaveFormat(&f);
        SetBufferSize(kBufferBytes);
        hdr_ = reinterpret_cast<WAVEHDR*>(block_.data());
        hdr_->lpData = reinterpret_cast<char*>(block_.data() + kWaveHdrArea);
        hdr_->dwBufferLength = kBufferBytes;
    }
    bool HasLinkProperty(const QString& name) const override { return name == QStringLiteral("Output"); }

    void SetTone(double hz, double peak)
    {
        hz_ = hz;
        peak_ = peak;
    }
    void Deliver()
    {
        auto* s = reinterpret_cast<std::int16_t*>(hdr_->lpData);
        for (int i = 0; i < kFrames; ++i, ++t_) {
            const auto v = static_cast<std::int16_t>(std::trunc(peak_ * std::sin(2 * M_PI * hz_ * t_ / kRate)));
            s[2 * i] = v;
            s[2 * i + 1] = v;
        }
        hdr_->dwBytesRecorded = kBufferBytes;
        BufferReady(hdr_);
    }

private:
    std::vector<unsigned char> block_;
    WAVEHDR* hdr_;
    double hz_ = 650;
    double peak_ = 0;
    long long t_ = 0;
};

class TPeakLink : public TMMDSPComponent {
public:
    void BufferReady(PWaveHdr h) override
    {
        const auto* s = reinterpret_cast<const std::int16_t*>(h->lpData);
        int peak = 0;
        for (std::uint32_t i = 0; i < h->dwBytesRecorded / 2; ++i)
            peak = std::max(peak, std::abs(static_cast<int>(s[i])));
        latest = peak;
        ++buffers;
        TMMDSPComponent::BufferReady(h);
    }
    int latest = 0;
    int buffers = 0;
};

int Reading(int v)
{
    return static_cast<int>(std::trunc(20 * std::log10(32768.0 / std::max(v, 1))));
}

class EqualizerChain : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ResetSim();
        eq1.LoadFilterStream(EqualizerStream550To750());
        eq2.LoadFilterStream(EqualizerStream700To900());
        eq1.SetSampleRate(kRate);
        eq2.SetSampleRate(kRate);
        eq2.SetEnabled(false);
        eq1.SetInput(&source);
        eq2.SetInput(&eq1);
        meter.SetInput(&eq2);
        source.NotifyOpen();
        source.NotifyStart();
        auto& clock = platform::TheClock();
        deliver = clock.StartPeriodic(kBufferUs, [this] { source.Deliver(); });
        measure = clock.StartPeriodic(100000, [this] { readings.push_back(Reading(meter.latest)); });
    }
    void TearDown() override
    {
        platform::TheClock().KillTimer(deliver);
        platform::TheClock().KillTimer(measure);
        source.NotifyStop();
        source.NotifyClose();
    }

    // Runs `ms` of simulated time and returns the readings after the first
    // `settleMs` (the FIFO lag and kernel delay settle within one buffer).
    std::vector<int> Run(int ms, int settleMs = 500)
    {
        readings.clear();
        test::Sim().AdvanceMs(ms);
        return std::vector<int>(readings.begin() + settleMs / 100, readings.end());
    }

    TToneSource source;
    TMMEqualizer eq1, eq2;
    TPeakLink meter;
    platform::TimerId deliver = 0, measure = 0;
    std::vector<int> readings;
};

TEST_F(EqualizerChain, BandPassSelectionInTheMainWindowChain)
{
    // The chain carries the source's format and buffer size to every link.
    ASSERT_EQ(eq1.SampleRate(), kRate);
    ASSERT_TRUE(eq1.EngineOpen());
    ASSERT_TRUE(eq2.EngineOpen());
    EXPECT_EQ(eq1.RealBufferSize(), kBufferBytes);

    // 650 Hz peaking 20.5 dB below full scale, 550-750 Hz selected: 20.
    const double peak = 32768 * std::pow(10.0, -20.5 / 20);
    source.SetTone(650, peak);
    auto r = Run(3000);
    ASSERT_FALSE(r.empty());
    for (int v : r)
        EXPECT_EQ(v, 20);
    EXPECT_GE(meter.buffers, 30);

    // 300 Hz reads more than 50 dB lower (a larger number).
    source.SetTone(300, peak);
    r = Run(2000);
    for (int v : r)
        EXPECT_GT(v, 20 + 50);

    // 800 Hz lies outside 550-750 Hz.
    source.SetTone(800, peak);
    r = Run(2000);
    int outside = *std::min_element(r.begin(), r.end());
    EXPECT_GE(outside, 30);

    // Selecting 700-900 Hz (as the band radio buttons do) moves the pass
    // band: 800 Hz now reads 20, 650 Hz is cut, 300 Hz stays far down.
    eq2.SetEnabled(true);
    eq1.SetEnabled(false);
    r = Run(2000);
    for (int v : r)
        EXPECT_EQ(v, 20);
    source.SetTone(650, peak);
    r = Run(2000);
    for (int v : r)
        EXPECT_GE(v, 26);
    source.SetTone(300, peak);
    r = Run(2000);
    for (int v : r)
        EXPECT_GT(v, 70);

    // Both disabled: the unfiltered tone reaches the measuring link.
    eq2.SetEnabled(false);
    r = Run(1000, 200);
    for (int v : r)
        EXPECT_EQ(v, 20);  // trunc(20.5)
    // And back to 550-750 Hz.
    eq1.SetEnabled(true);
    source.SetTone(650, peak);
    r = Run(2000);
    for (int v : r)
        EXPECT_EQ(v, 20);
}

}  // namespace
}  // namespace zol
