// The FFT filtering engine against a direct convolution with the kernel it
// built, and its bin rules, FIFOs, resets and bad input.
#include "chain/fft.h"
#include "chain/fftfilter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

namespace zol {
namespace {

struct EngineDeleter {
    void operator()(TFFTFilterEngine* e) const { FreeFilterEngine(e); }
};
using Engine = std::unique_ptr<TFFTFilterEngine, EngineDeleter>;

WAVEFORMATEX Pcm16(int channels, int rate)
{
    WAVEFORMATEX f{};
    MakePcmFormat(f, 16, channels, rate);
    return f;
}

Engine MakeEngine(int channels, int rate, int fftLength, int maxBytes = 65536)
{
    const WAVEFORMATEX f = Pcm16(channels, rate);
    return Engine(CreateFilterEngine(&f, fftLength, maxBytes));
}

std::vector<float> Response(PFFTFilter e)
{
    std::vector<float> r(FilterEngineFFTLength(e) / 2 + 1);
    GetFilterResponse(e, r.data());
    return r;
}

// The time-domain taps of the engine's active kernel: the scaled inverse
// DFT of the kernel spectrum, in double precision.
std::vector<double> Taps(PFFTFilter e)
{
    const int n = FilterEngineFFTLength(e);
    std::vector<float> k(2 * n);
    GetFilterKernel(e, k.data());
    std::vector<double> taps(n);
    for (int t = 0; t < n; ++t) {
        std::complex<double> acc = 0;
        for (int m = 0; m < n; ++m) {
            const double a = 2 * M_PI * static_cast<double>((static_cast<long>(m) * t) % n) / n;
            acc += std::complex<double>(k[2 * m], k[2 * m + 1]) * std::complex<double>(std::cos(a), std::sin(a));
        }
        taps[t] = acc.real() / n;
        EXPECT_NEAR(acc.imag() / n, 0.0, 1e-6) << "tap " << t;
    }
    return taps;
}

std::vector<std::int16_t> RandomSamples(std::size_t count, int amplitude, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> u(-amplitude, amplitude);
    std::vector<std::int16_t> v(count);
    for (auto& s : v)
        s = static_cast<std::int16_t>(u(rng));
    return v;
}

// Runs `samples` (interleaved) through the engine in buffers of `bufBytes`.
std::vector<std::int16_t> Stream(PFFTFilter e, int channel, const std::vector<std::int16_t>& samples, int bufBytes,
                                 bool* clipped = nullptr)
{
    std::vector<std::int16_t> out = samples;
    auto* bytes = reinterpret_cast<char*>(out.data());
    const int total = static_cast<int>(out.size() * 2);
    bool any = false;
    for (int pos = 0; pos < total; pos += bufBytes)
        any |= FilterBuffer(e, channel, bytes + pos, std::min(bufBytes, total - pos));
    if (clipped != nullptr)
        *clipped = any;
    return out;
}

// trunc of the linear convolution of channel c with the taps.
std::vector<int> Convolve(const std::vector<std::int16_t>& samples, int channels, int c, const std::vector<double>& taps)
{
    const std::size_t frames = samples.size() / channels;
    std::vector<int> y(frames);
    for (std::size_t f = 0; f < frames; ++f) {
        double acc = 0;
        for (std::size_t j = 0; j < taps.size() && j <= f; ++j)
            acc += taps[j] * samples[(f - j) * channels + c];
        y[f] = static_cast<int>(std::trunc(acc));
    }
    return y;
}

// Output channel c must be `lagFrames` zero frames followed by the
// convolution, each sample within 1 (float rounding at a truncation edge).
// The last `endFrames` frames are still partly inside the FIFOs.
void ExpectConvolution(const std::vector<std::int16_t>& out, int channels, int c, const std::vector<int>& y,
                       std::size_t lagFrames, std::size_t endFrames, const char* what)
{
    const std::size_t frames = out.size() / channels - endFrames;
    int worst = 0;
    std::size_t exact = 0;
    for (std::size_t f = 0; f < frames; ++f) {
        const int got = out[f * channels + c];
        const int want = f < lagFrames ? 0 : y[f - lagFrames];
        worst = std::max(worst, std::abs(got - want));
        exact += got == want;
    }
    EXPECT_LE(worst, 1) << what;
    EXPECT_GT(exact, frames * 98 / 100) << what;
}

TEST(FilterEngine, MatchesDirectConvolutionAcrossBuffersAndChannels)
{
    // Main window's first band set at 11025 Hz, N = 256.
    struct Case {
        int channels;
        int bufBytes;
        std::size_t lagFrames;  // zero frames ahead of the filtered stream
    };
    // 4096 stereo bytes are 1024 frames = 4 blocks: no lag. 1000 stereo
    // bytes (250 frames): nothing in the first buffer, then steady. 1000
    // mono bytes (500 frames): one block out of the first, 244 zero frames.
    // 3000 stereo bytes (750 frames): two blocks out of the first.
    const Case cases[] = {{2, 4096, 0}, {2, 1000, 250}, {1, 1000, 244}, {2, 3000, 238}, {1, 512, 0}};
    for (const Case& cs : cases) {
        for (int channel : {chBoth, chLeft, chRight}) {
            Engine e = MakeEngine(cs.channels, 11025, 256);
            ASSERT_NE(e, nullptr);
            ASSERT_EQ(FilterEngineFFTLength(e.get()), 256);
            SetBandGain(e.get(), -99, 500, 0);
            SetBandGain(e.get(), 0, 750, 550);
            SetBandGain(e.get(), -99, 22050, 800);
            const std::vector<double> taps = Taps(e.get());
            for (std::size_t t = 129; t < taps.size(); ++t)
                ASSERT_NEAR(taps[t], 0.0, 1e-6) << "no tap beyond N/2";
            for (int t = 0; t <= 64; ++t)
                ASSERT_NEAR(taps[64 - t], taps[64 + t], 1e-5) << "linear phase about N/4";

            const auto in = RandomSamples(static_cast<std::size_t>(cs.channels) * 5000, 16000,
                                          static_cast<unsigned>(cs.bufBytes + channel));
            bool clipped = true;
            const auto out = Stream(e.get(), channel, in, cs.bufBytes, &clipped);
            EXPECT_FALSE(clipped);
            std::string what = "channels " + std::to_string(cs.channels) + " buffer " +
                               std::to_string(cs.bufBytes) + " selection " + std::to_string(channel);
            for (int c = 0; c < cs.channels; ++c) {
                const bool filtered = cs.channels == 1 || channel == chBoth || (channel == chLeft) == (c == 0);
                if (filtered) {
                    ExpectConvolution(out, cs.channels, c, Convolve(in, cs.channels, c, taps), cs.lagFrames,
                                      cs.bufBytes / (2 * cs.channels) + 256, what.c_str());
                } else {
                    // The other channel keeps its input, undelayed.
                    for (std::size_t f = 0; f < in.size() / 2; ++f)
                        ASSERT_EQ(out[f * 2 + c], in[f * 2 + c]) << what << " frame " << f;
                }
            }
        }
    }
}

TEST(FilterEngine, BinsOfTheMainWindowBands)
{
    Engine e = MakeEngine(2, 11025, 256);
    ASSERT_NE(e, nullptr);
    const float unity = static_cast<float>(std::pow(10.0, 6.0 / 20.0));
    // Fresh engine: flat 0 dB over 0 .. 5512 Hz = bins 0 .. 127; bin 128
    // (beyond 5512 Hz with the odd rate) stays silent.
    auto r = Response(e.get());
    for (int m = 0; m <= 127; ++m)
        ASSERT_FLOAT_EQ(r[m], unity) << m;
    EXPECT_EQ(r[128], 0.0f);

    const float cut99 = static_cast<float>(std::pow(10.0, (-99.0 + 6.0) / 20.0));
    SetBandGain(e.get(), 0, 5512, 0);
    SetBandGain(e.get(), -99, 500, 0);
    SetBandGain(e.get(), 0, 750, 550);
    SetBandGain(e.get(), -99, 22050, 800);
    r = Response(e.get());
    for (int m = 0; m <= 128; ++m) {
        const float want = m == 128 ? 0.0f : (m >= 12 && m <= 17 ? unity : cut99);
        ASSERT_FLOAT_EQ(r[m], want) << "first set, bin " << m;
    }

    const float cut90 = static_cast<float>(std::pow(10.0, (-90.0 + 6.0) / 20.0));
    SetBandGain(e.get(), 0, 5512, 0);
    SetBandGain(e.get(), -90, 650, 0);
    SetBandGain(e.get(), 0, 900, 700);
    SetBandGain(e.get(), -90, 22000, 950);
    r = Response(e.get());
    for (int m = 0; m <= 128; ++m) {
        const float want = m == 128 ? 0.0f : (m >= 16 && m <= 21 ? unity : cut90);
        ASSERT_FLOAT_EQ(r[m], want) << "second set, bin " << m;
    }

    // f1 = f2 = 1000 Hz covers bin 23 alone; swapped edges are put in order;
    // edges below 0 Hz land on bin 0; NaN edges or gains change nothing.
    SetBandGain(e.get(), -20, 5512, 0);
    SetBandGain(e.get(), 0, 1000, 1000);
    SetBandGain(e.get(), 0, 100, 200);   // bins 2 .. 4
    SetBandGain(e.get(), 0, 10, -5000);  // bin 0
    SetBandGain(e.get(), 0, NAN, 300);
    SetBandGain(e.get(), NAN, 3000, 300);
    r = Response(e.get());
    const float cut20 = static_cast<float>(std::pow(10.0, (-20.0 + 6.0) / 20.0));
    for (int m = 0; m <= 127; ++m) {
        const bool open = m == 23 || (m >= 2 && m <= 4) || m == 0;
        ASSERT_FLOAT_EQ(r[m], open ? unity : cut20) << m;
    }
    // An endless gain is held at a finite value, so the kernel stays finite.
    SetBandGain(e.get(), INFINITY, 3000, 2000);
    std::vector<float> k(512);
    GetFilterKernel(e.get(), k.data());
    for (float v : k)
        ASSERT_TRUE(std::isfinite(v));
}

TEST(FilterEngine, FlatCurveIsAPureDelayOfAQuarterBlock)
{
    // 8000 Hz: 4000 / 31.25 = bin 128 = N/2, so the flat curve covers every
    // bin and the output is the input delayed N/4 at 10^(6/20) / 2.
    for (int n : {64, 256, 1024}) {
        Engine e = MakeEngine(1, 8000, n);
        ASSERT_NE(e, nullptr);
        SetBandGain(e.get(), 0, 4000, 0);
        const auto r = Response(e.get());
        ASSERT_GT(r[n / 2], 0.0f);
        const auto in = RandomSamples(6 * n, 30000, 7);
        const auto out = Stream(e.get(), chBoth, in, 2 * n);
        const double g = std::pow(10.0, 6.0 / 20.0) / 2;
        for (std::size_t t = 0; t < in.size(); ++t) {
            const double want = t < static_cast<std::size_t>(n / 4) ? 0.0 : std::trunc(in[t - n / 4] * g);
            ASSERT_NEAR(out[t], want, 1.0) << "N " << n << " sample " << t;
        }
    }
}

TEST(FilterEngine, FFTLengthRoundingAndFifoLag)
{
    struct {
        int request;
        int n;
    } lengths[] = {{4096, 1024}, {300, 256}, {1024, 1024}, {1023, 512}, {8, 8}, {5, 4}, {1, 2}, {-3, 2}};
    for (auto l : lengths) {
        Engine e = MakeEngine(2, 11025, l.request);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(FilterEngineFFTLength(e.get()), l.n) << l.request;
    }

    // 4096 stereo bytes with N = 256 are four whole blocks: nothing waits.
    Engine e = MakeEngine(2, 11025, 256);
    auto in = RandomSamples(2048, 10000, 3);
    auto out = in;
    FilterBuffer(e.get(), chBoth, reinterpret_cast<char*>(out.data()), 4096);
    EXPECT_EQ(FilterEngineInputFill(e.get()), 0);
    EXPECT_EQ(FilterEngineOutputFill(e.get()), 0);
    EXPECT_NE(out[1000], 0);

    // 1000 bytes: nothing processed, the whole buffer zeroed; the second
    // buffer completes the first block (1024 bytes) and comes out whole.
    ResetFilterEngine(e.get());
    out.assign(in.begin(), in.begin() + 500);
    FilterBuffer(e.get(), chBoth, reinterpret_cast<char*>(out.data()), 1000);
    EXPECT_EQ(FilterEngineInputFill(e.get()), 1000);
    for (auto s : out)
        ASSERT_EQ(s, 0);
    out.assign(in.begin() + 500, in.begin() + 1000);
    FilterBuffer(e.get(), chBoth, reinterpret_cast<char*>(out.data()), 1000);
    EXPECT_EQ(FilterEngineInputFill(e.get()), 1000 + 1000 - 1024);
    EXPECT_EQ(FilterEngineOutputFill(e.get()), 24);

    // A reset empties both FIFOs and the tails: the same input then gives
    // the same output as a fresh engine.
    Engine fresh = MakeEngine(2, 11025, 256);
    ResetFilterEngine(e.get());
    const auto a = Stream(e.get(), chBoth, in, 4096);
    const auto b = Stream(fresh.get(), chBoth, in, 4096);
    EXPECT_EQ(a, b);
}

TEST(FilterEngine, ClippingIsReported)
{
    Engine e = MakeEngine(1, 8000, 256);
    SetBandGain(e.get(), 12, 4000, 0);
    std::vector<std::int16_t> in(1024);
    for (std::size_t i = 0; i < in.size(); ++i)
        in[i] = (i / 8) % 2 ? 32000 : -32000;
    bool clipped = false;
    const auto out = Stream(e.get(), chBoth, in, 2048, &clipped);
    EXPECT_TRUE(clipped);
    EXPECT_NE(std::count(out.begin(), out.end(), std::int16_t{32767}), 0);
    EXPECT_NE(std::count(out.begin(), out.end(), std::int16_t{-32768}), 0);
}

TEST(FilterEngine, WindowChangeRebuildsTheKernel)
{
    Engine e = MakeEngine(1, 11025, 256);
    EXPECT_EQ(FilterEngineWindow(e.get()), fwHamming);
    SetBandGain(e.get(), -60, 5512, 0);
    SetBandGain(e.get(), 0, 750, 550);
    const auto hamming = Taps(e.get());
    SetFilterWindow(e.get(), fwRectangular);
    EXPECT_EQ(FilterEngineWindow(e.get()), fwRectangular);
    const auto rect = Taps(e.get());
    // Tap 0 is weighted 0.08 by Hamming (window length N/2) and 1 by the
    // rectangle.
    ASSERT_NE(rect[0], 0.0);
    EXPECT_NEAR(hamming[0] / rect[0], 0.08, 1e-3);
    EXPECT_NEAR(hamming[64], rect[64], 1e-6);
}

TEST(FilterEngine, BadInputNeverOverruns)
{
    // Buffers larger than the FIFOs are taken in pieces; a trailing partial
    // frame passes untouched; 8-bit, missing or foreign formats pass data
    // through; no engine, no data or no bytes do nothing.
    Engine e = MakeEngine(2, 11025, 256, 1000);  // FIFOs grow to one block at least
    ASSERT_NE(e, nullptr);
    auto in = RandomSamples(100003, 8000, 11);
    std::vector<std::int16_t> big = in;
    auto* bytes = reinterpret_cast<char*>(big.data());
    FilterBuffer(e.get(), chBoth, bytes, 200006 - 1);  // odd count
    EXPECT_EQ(big.back(), in.back());
    EXPECT_EQ(bytes[200004], reinterpret_cast<char*>(in.data())[200004]);
    FilterBuffer(e.get(), chRight, bytes, 3);
    FilterBuffer(e.get(), 99, bytes, 4096);
    FilterBuffer(e.get(), -5, bytes, 4096);
    FilterBuffer(e.get(), chBoth, bytes, 0);
    FilterBuffer(e.get(), chBoth, bytes, -4);
    FilterBuffer(e.get(), chBoth, nullptr, 4096);
    FilterBuffer(nullptr, chBoth, bytes, 4096);
    SetBandGain(nullptr, 0, 1, 0);
    SetFilterWindow(nullptr, 0);
    ResetFilterEngine(nullptr);
    FreeFilterEngine(nullptr);

    WAVEFORMATEX f8{};
    MakePcmFormat(f8, 8, 1, 11025);
    Engine e8(CreateFilterEngine(&f8, 256, 65536));
    Engine none(CreateFilterEngine(nullptr, 256, 65536));
    WAVEFORMATEX foreign = Pcm16(2, 11025);
    foreign.wFormatTag = 3;
    Engine ef(CreateFilterEngine(&foreign, 256, 65536));
    for (PFFTFilter p : {e8.get(), none.get(), ef.get()}) {
        ASSERT_NE(p, nullptr);
        big = in;
        EXPECT_FALSE(FilterBuffer(p, chBoth, reinterpret_cast<char*>(big.data()), 8192));
        EXPECT_EQ(big, in);
        SetBandGain(p, 0, 500, 100);  // no rate: nothing to set
    }
}

TEST(FilterEngine, ResetsAndCurveChangesFromAnotherThreadAreSerialised)
{
    Engine e = MakeEngine(2, 11025, 256);
    std::atomic<bool> stop{false};
    std::thread editor([&] {
        int i = 0;
        while (!stop.load()) {
            SetBandGain(e.get(), (i % 2) ? 0.0f : -40.0f, 900, 500);
            if (i % 3 == 0)
                ResetFilterEngine(e.get());
            if (i % 5 == 0)
                SetFilterWindow(e.get(), i % 7);
            ++i;
        }
    });
    auto in = RandomSamples(2048, 10000, 5);
    for (int round = 0; round < 200; ++round) {
        auto buf = in;
        FilterBuffer(e.get(), chBoth, reinterpret_cast<char*>(buf.data()), 4096);
        ASSERT_LE(FilterEngineInputFill(e.get()), 1024);
    }
    stop = true;
    editor.join();
}

}  // namespace
}  // namespace zol
