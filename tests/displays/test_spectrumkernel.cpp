// The spectrum analyser's computation without a window: FFT input, bin
// values, the frequency axis, amplitude tables, segments and peak hold.
#include "displays/spectrumkernel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

using namespace zol;

namespace {

constexpr double kPi = 3.14159265358979323846;

// N frames of 16-bit mono: a sine of `hz` and amplitude `amp` plus `dc`.
std::vector<std::int16_t> Sine16(int n, double hz, double amp, int rate = 11025, double dc = 0)
{
    std::vector<std::int16_t> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        v[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(std::lround(dc + amp * std::sin(2 * kPi * hz * i / rate)));
    return v;
}

const char* Bytes(const std::vector<std::int16_t>& v)
{
    return reinterpret_cast<const char*>(v.data());
}

// A kernel for 16-bit mono data on a plot of w x h.
void Prepare(TSpectrumKernel& k, int fftLength, int w, int h)
{
    k.SetBitLength(b16Bit);
    k.SetMode(mMono);
    k.SetFFTLength(fftLength);
    k.SetPlotSize(w, h);
}

// Height of the bar whose bins include `bin`.
int HeightAtBin(const TSpectrumKernel& k, int bin)
{
    for (int s = 0; s < k.SegmentCount(); ++s) {
        const int col = k.Segment(s).start;
        const int fb = k.FirstBins()[col];
        const int eb = k.EndBins()[col];
        if (bin == fb || (bin > fb && bin < eb))
            return k.Segment(s).height;
    }
    return -1;
}

int Frame(TSpectrumKernel& k, const std::vector<std::int16_t>& data)
{
    k.Process(Bytes(data));
    k.ComputeSegments();
    return k.StrongestHeight();
}

// Every bin from the first column's up to the last one shown belongs to
// exactly one bar, and bars follow each other without gaps.
void ExpectContiguousCoverage(const TSpectrumKernel& k, const char* what)
{
    int next = k.FirstBins()[0];
    for (int s = 0; s < k.SegmentCount(); ++s) {
        const int col = k.Segment(s).start;
        const int fb = k.FirstBins()[col];
        const int eb = k.EndBins()[col];
        ASSERT_EQ(fb, next) << what << " segment " << s;
        next = eb > 0 ? eb : fb + 1;
        if (s + 1 < k.SegmentCount()) {
            ASSERT_EQ(k.Segment(s).end, k.Segment(s + 1).start) << what;
        }
    }
    EXPECT_EQ(k.Segment(k.SegmentCount() - 1).end, k.PlotWidth()) << what;
    EXPECT_LE(next, k.FFTLength() / 2) << what;
}

}  // namespace

TEST(SpectrumKernel, LengthsAndZoomAreRoundedDown)
{
    EXPECT_EQ(SpectrumFFTLength(1000), 512);
    EXPECT_EQ(SpectrumFFTLength(5), 8);
    EXPECT_EQ(SpectrumFFTLength(10000), 4096);
    EXPECT_EQ(SpectrumFFTLength(1024), 1024);
    EXPECT_EQ(SpectrumFrequencyScale(3), 2);
    EXPECT_EQ(SpectrumFrequencyScale(0), 1);
    EXPECT_EQ(SpectrumFrequencyScale(40), 16);

    TSpectrumKernel k;
    EXPECT_EQ(k.FFTLength(), 128);
    EXPECT_EQ(k.NeededBytes(), 128);  // 8-bit mono
    k.SetFFTLength(1000);
    k.SetBitLength(b16Bit);
    k.SetMode(mStereo);
    EXPECT_EQ(k.FFTLength(), 512);
    EXPECT_EQ(k.NeededBytes(), 2048);
    k.SetSampleRate(200000);
    EXPECT_EQ(k.SampleRate(), 100000);
    k.SetRefFreq(0);
    EXPECT_EQ(k.RefFreq(), 1);
    k.SetVerticalScale(900);
    EXPECT_EQ(k.VerticalScale(), 500);
    // Peak timing outside 0..50 is ignored.
    k.SetPeakDelay(51);
    EXPECT_EQ(k.PeakDelay(), 20);
    k.SetPeakSpeed(-1);
    EXPECT_EQ(k.PeakSpeed(), 0);
}

TEST(SpectrumKernel, IntegerLogarithmAndRoot)
{
    for (std::uint64_t v : {1ull, 2ull, 3ull, 255ull, 256ull, 1000ull, 65535ull, 65536ull, 123456789ull,
                            2147483648ull, 4294967296ull * 3})
        EXPECT_NEAR(Log2Units(v), std::trunc(8192 * std::log2(static_cast<double>(v))), 1.0) << v;
    EXPECT_EQ(Log2Units(0), 0);
    std::mt19937_64 rng(7);
    for (int i = 0; i < 2000; ++i) {
        const std::uint64_t v = rng() >> (rng() % 40);
        const std::uint32_t r = ISqrt(v);
        EXPECT_LE(static_cast<std::uint64_t>(r) * r, v);
        EXPECT_GT((static_cast<std::uint64_t>(r) + 1) * (r + 1), v);
    }
}

TEST(SpectrumKernel, ChannelChoiceAndOverflowLimits)
{
    TSpectrumKernel k;
    k.SetBitLength(b16Bit);
    k.SetFFTLength(8);
    k.SetWindow(fwRectangular);
    std::vector<std::int16_t> mono(8, 32766);
    EXPECT_FALSE(k.BuildInput(Bytes(mono)));
    mono[3] = 32767;
    EXPECT_TRUE(k.BuildInput(Bytes(mono)));

    // Stereo: left 1000, right -3001; the halved sum truncates toward zero.
    k.SetMode(mStereo);
    std::vector<std::int16_t> st(16);
    for (int i = 0; i < 8; ++i) {
        st[2 * i] = 1000;
        st[2 * i + 1] = -3001;
    }
    const float w = 32767.0f / 32768.0f;
    k.SetChannel(chLeft);
    k.BuildInput(Bytes(st));
    EXPECT_FLOAT_EQ(k.FFTInput()[2], std::trunc(1000 * w));
    k.SetChannel(chRight);
    k.BuildInput(Bytes(st));
    EXPECT_FLOAT_EQ(k.FFTInput()[2], std::trunc(-3001 * w));
    k.SetChannel(chBoth);
    k.BuildInput(Bytes(st));
    EXPECT_FLOAT_EQ(k.FFTInput()[2], std::trunc(-1000 * w));  // (1000 - 3001) / 2 = -1000

    // The averaged pair: 32766 overflows except under sg12db.
    std::fill(st.begin(), st.end(), std::int16_t{32766});
    EXPECT_TRUE(k.BuildInput(Bytes(st)));
    k.SetGain(sg12db);
    EXPECT_FALSE(k.BuildInput(Bytes(st)));

    // 8-bit: above 254 overflows; the bytes are centred on 128.
    k.SetGain(sgNone);
    k.SetBitLength(b8Bit);
    k.SetMode(mMono);
    std::vector<std::uint8_t> b(8, 254);
    EXPECT_FALSE(k.BuildInput(reinterpret_cast<const char*>(b.data())));
    EXPECT_FLOAT_EQ(k.FFTInput()[0], std::trunc(126.0f * 32767 / 128));
    b[7] = 255;
    EXPECT_TRUE(k.BuildInput(reinterpret_cast<const char*>(b.data())));
}

TEST(SpectrumKernel, PreEmphasisDifferencesStartFromTheFirstSample)
{
    TSpectrumKernel k;
    k.SetBitLength(b16Bit);
    k.SetFFTLength(8);
    k.SetWindow(fwRectangular);
    // A parabola 100 + 10 n^2: first differences 10(2n - 1), second 20.
    std::vector<std::int16_t> x(8);
    for (int i = 0; i < 8; ++i)
        x[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(100 + 10 * i * i);
    const double w = 32767.0 / 32768.0;
    k.SetGain(sg6db);
    k.BuildInput(Bytes(x));
    EXPECT_FLOAT_EQ(k.FFTInput()[0], 0.0f);  // x[-1] counts as x[0]
    for (int i = 1; i < 8; ++i)
        EXPECT_FLOAT_EQ(k.FFTInput()[i], std::trunc(10 * (2 * i - 1) * w)) << i;
    k.SetGain(sg12db);
    k.BuildInput(Bytes(x));
    EXPECT_FLOAT_EQ(k.FFTInput()[0], 0.0f);
    EXPECT_FLOAT_EQ(k.FFTInput()[1], std::trunc(10 * w));  // 110 - 200 + 100
    for (int i = 2; i < 8; ++i)
        EXPECT_FLOAT_EQ(k.FFTInput()[i], std::trunc(20 * w)) << i;
    // sg3db has no difference stage, only the half step in the tables.
    k.SetGain(sg3db);
    k.BuildInput(Bytes(x));
    EXPECT_FLOAT_EQ(k.FFTInput()[3], std::trunc(190 * w));
}

TEST(SpectrumKernel, FFTOutputIsScaledAndSaturatesInSixteenBits)
{
    TSpectrumKernel k;
    Prepare(k, 256, 128, 100);
    k.SetWindow(fwRectangular);
    // Bin 16 of 256 at 11025 Hz; amplitude 10000 comes out as 10000.
    const double hz = 16 * 11025.0 / 256;
    k.Process(Bytes(Sine16(256, hz, 10000)));
    const double mag = std::hypot(k.FFTOutput()[32], k.FFTOutput()[33]);
    EXPECT_NEAR(mag, 10000, 3);
    EXPECT_NEAR(k.BinValue(16), 16 * 10000, 16 * 3);  // 16 sqrt(P)
    // Full-scale DC doubles in bin 0: it saturates instead of wrapping.
    std::vector<std::int16_t> dc(256, 30000);
    k.Process(Bytes(dc));
    EXPECT_EQ(k.FFTOutput()[0], 32767);
    EXPECT_EQ(k.FFTOutput()[1], 0);
}

TEST(SpectrumKernel, LinearAxisFromBinZeroToHalfTheRate)
{
    TSpectrumKernel k;
    Prepare(k, 128, 64, 50);  // 64 bins on 64 columns
    ASSERT_EQ(k.SegmentCount(), 64);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(k.FirstBins()[i], i);
        EXPECT_EQ(k.EndBins()[i], 0);  // one bin each
    }
    EXPECT_DOUBLE_EQ(k.StartFrequency(), 0.0);
    EXPECT_DOUBLE_EQ(k.FrequencyAt(0), 0.0);
    EXPECT_DOUBLE_EQ(k.FrequencyAt(63), 11025 / 2.0);
    EXPECT_DOUBLE_EQ(k.ScaleFrequency(8, 8), 11025 / 2.0);
    ExpectContiguousCoverage(k, "64 on 64");

    // Two columns on one bin: 32 segments, each two columns wide.
    k.SetFFTLength(64);
    ASSERT_EQ(k.SegmentCount(), 32);
    for (int s = 0; s < 32; ++s) {
        EXPECT_EQ(k.Segment(s).start, 2 * s);
        EXPECT_EQ(k.Segment(s).end, 2 * s + 2);
        EXPECT_EQ(k.FirstBins()[2 * s], s);
        EXPECT_EQ(k.FirstBins()[2 * s + 1], -1);
        EXPECT_EQ(k.Multiplier(2 * s + 1), 0);
    }

    // More bins than columns: each bar takes the largest of its bins; the
    // last column reaches the top bin.
    k.SetFFTLength(1024);
    k.SetPlotSize(174, 124);
    ExpectContiguousCoverage(k, "512 on 174");
    const int last = k.Segment(k.SegmentCount() - 1).start;
    EXPECT_EQ(k.EndBins()[last], 512);

    // A zoom of 2 shows 0 .. Fs/4.
    k.SetFrequencyScale(2);
    EXPECT_EQ(k.FirstBins()[0], 0);
    EXPECT_NEAR(k.FrequencyAt(173), 11025 / 4.0, 1e-9);
    ExpectContiguousCoverage(k, "zoom 2");
}

TEST(SpectrumKernel, LogarithmicAxisCoversEveryBinOnce)
{
    for (int n : {128, 1024, 4096}) {
        for (int w : {40, 174, 300}) {
            for (int z : {1, 2, 8}) {
                TSpectrumKernel k;
                Prepare(k, n, w, 60);
                k.SetFrequencyScale(z);
                k.SetLogFreq(true);
                const std::string what = "log n=" + std::to_string(n) + " w=" + std::to_string(w) + " z=" + std::to_string(z);
                EXPECT_DOUBLE_EQ(k.StartFrequency(), 11025.0 / n) << what;
                EXPECT_EQ(k.FirstBins()[0], 0) << what;
                ExpectContiguousCoverage(k, what.c_str());
                // Back on the linear axis the start frequency stays.
                k.SetLogFreq(false);
                EXPECT_DOUBLE_EQ(k.StartFrequency(), z == 1 ? 0.0 : 11025.0 / n) << what;
                ExpectContiguousCoverage(k, ("lin" + what.substr(3)).c_str());
            }
        }
    }
    // Low bins spread over several columns; high columns take many bins.
    TSpectrumKernel k;
    Prepare(k, 1024, 174, 60);
    k.SetLogFreq(true);
    EXPECT_EQ(k.FirstBins()[1], -1);
    EXPECT_GT(k.EndBins()[k.Segment(k.SegmentCount() - 1).start], k.FirstBins()[k.Segment(k.SegmentCount() - 1).start] + 10);
    // Read-out and scale grow by the same factor per step.
    EXPECT_NEAR(k.ScaleFrequency(1, 4) / k.ScaleFrequency(0, 4), std::pow(512.0, 0.25), 1e-9);
    EXPECT_NEAR(k.FrequencyAt(173), 11025.0 / 1024 * 512, 1e-6);
}

TEST(SpectrumKernel, ApplicationAxisTablesStillMergeRepeatedBins)
{
    TSpectrumKernel k;
    Prepare(k, 128, 8, 40);
    int calls = 0;
    k.SetXScaleHook([&](int* first, int* end) {
        ++calls;
        const int f[8] = {0, 0, 5, 5, 5, 9, 99, -4};
        const int e[8] = {0, 3, 0, 0, 7, 12, 0, 0};
        for (int i = 0; i < 8; ++i) {
            first[i] = f[i];
            end[i] = e[i];
        }
    });
    EXPECT_GE(calls, 1);
    const int* fb = k.FirstBins();
    EXPECT_EQ(fb[0], 0);
    EXPECT_EQ(fb[1], -1);
    EXPECT_EQ(k.EndBins()[0], 3);  // takes over the bins of the merged column
    EXPECT_EQ(fb[2], 5);
    EXPECT_EQ(fb[3], -1);
    EXPECT_EQ(fb[4], -1);
    EXPECT_EQ(k.EndBins()[2], 7);
    EXPECT_EQ(fb[5], 9);
    EXPECT_EQ(fb[6], 63);  // clamped into the bins
    EXPECT_EQ(fb[7], 0);
    ASSERT_EQ(k.SegmentCount(), 5);
    EXPECT_EQ(k.Segment(1).start, 2);
    EXPECT_EQ(k.Segment(1).end, 5);
}

TEST(SpectrumKernel, VerticalScaleSetsTheTopOfTheLinearPlot)
{
    TSpectrumKernel k;
    Prepare(k, 1024, 512, 200);  // one bin per column
    k.SetWindow(fwRectangular);
    const double hz = 100 * 11025.0 / 1024;  // bin 100
    k.SetVerticalScale(20);
    // 20 % of full scale reaches the top; 10 % half way.
    Frame(k, Sine16(1024, hz, 0.1 * 32768));
    EXPECT_NEAR(HeightAtBin(k, 100), 100, 1);
    EXPECT_FALSE(k.ComputeSegments());
    Frame(k, Sine16(1024, hz, 0.2 * 32768 - 1));
    EXPECT_NEAR(HeightAtBin(k, 100), 200, 1);
    Frame(k, Sine16(1024, hz, 0.21 * 32768));
    EXPECT_TRUE(k.ComputeSegments());  // above the top: gain overflow
    k.SetVerticalScale(100);
    Frame(k, Sine16(1024, hz, 0.2 * 32768));
    EXPECT_NEAR(HeightAtBin(k, 100), 40, 1);
    EXPECT_EQ(k.StrongestColumn(), 100);
    EXPECT_EQ(k.StrongestBin(), 100);
    EXPECT_NEAR(k.StrongestFrequency(), 100.5 * 11025.0 / 1024, 1e-9);
    // The multiplier is pre-scaled to at least 4096 with a shift.
    EXPECT_GE(k.Multiplier(0), 4096);
    EXPECT_LT(k.Multiplier(0), 8192);
}

TEST(SpectrumKernel, DecibelPlotSpansSixtyDecibelsBelowFullScale)
{
    TSpectrumKernel k;
    Prepare(k, 1024, 512, 240);
    k.SetWindow(fwRectangular);
    k.SetLogAmp(true);
    const double hz = 100 * 11025.0 / 1024;
    Frame(k, Sine16(1024, hz, 32000));
    EXPECT_NEAR(HeightAtBin(k, 100), 240 + 240 / 60.0 * 20 * std::log10(32000 / 32768.0), 1.5);
    Frame(k, Sine16(1024, hz, 32768 * std::pow(10, -30 / 20.0)));
    EXPECT_NEAR(HeightAtBin(k, 100), 120, 1.5);
    Frame(k, Sine16(1024, hz, 20));  // about -64 dB: at the bottom
    EXPECT_EQ(HeightAtBin(k, 100), 0);
    EXPECT_EQ(HeightAtBin(k, 300), 0);
    // The decayed path converts the strongest bin per frame: same heights.
    k.SetDecayMode(dmExponential);
    k.SetDecay(2);
    k.ResetData();
    const auto tone = Sine16(1024, hz, 32768 * std::pow(10, -30 / 20.0));
    for (int i = 0; i < 60; ++i)
        Frame(k, tone);
    EXPECT_NEAR(HeightAtBin(k, 100), 120, 1.5);
}

// Heights of tones at RefFreq and one octave above, linear and in dB.
TEST(SpectrumKernel, PreEmphasisPivotsAtTheReferenceFrequency)
{
    const int n = 1024;
    const double width = 11025.0 / n;
    const int bin = 24;  // about 258 Hz, well below Fs/2
    const double ref = bin * width;
    struct Case {
        TMMSpectrumGain gain;
        double db;
    };
    for (bool logAmp : {false, true}) {
        for (Case c : {Case{sg3db, 3}, Case{sg6db, 6}, Case{sg9db, 9}, Case{sg12db, 12}}) {
            auto heights = [&](TMMSpectrumGain g) {
                TSpectrumKernel k;
                Prepare(k, n, n / 2, 600);
                k.SetLogAmp(logAmp);
                k.SetRefFreq(static_cast<int>(std::lround(ref)));
                k.SetGain(g);
                const double amp = 6000;
                Frame(k, Sine16(n, ref, amp));
                const int atRef = HeightAtBin(k, bin);
                Frame(k, Sine16(n, 2 * ref, amp));
                return std::pair<int, int>(atRef, HeightAtBin(k, 2 * bin));
            };
            const auto flat = heights(sgNone);
            const auto tilted = heights(c.gain);
            const std::string what = std::string(logAmp ? "dB" : "linear") + " gain " + std::to_string(c.gain);
            if (logAmp) {
                const double perDb = 600 / 60.0;
                EXPECT_NEAR((tilted.first - flat.first) / perDb, 0, 0.6) << what;
                EXPECT_NEAR((tilted.second - flat.second) / perDb, c.db, 0.6) << what;
            } else {
                ASSERT_GT(flat.first, 20) << what;
                EXPECT_NEAR(20 * std::log10(static_cast<double>(tilted.first) / flat.first), 0, 0.6) << what;
                EXPECT_NEAR(20 * std::log10(static_cast<double>(tilted.second) / flat.second), c.db, 0.6) << what;
            }
        }
    }
}

TEST(SpectrumKernel, DecayModes)
{
    TSpectrumKernel k;
    Prepare(k, 256, 128, 100);
    k.SetWindow(fwRectangular);
    // A new analyser keeps the factor 0.0001 and one frame of averaging.
    EXPECT_FLOAT_EQ(k.DecayFactor(), 0.0001f);
    EXPECT_EQ(k.AveragingCount(), 1);
    k.SetDecay(4);
    EXPECT_NEAR(k.DecayFactor(), 0.562, 0.001);
    EXPECT_EQ(k.AveragingCount(), 6);
    k.SetDecay(1);
    EXPECT_NEAR(k.DecayFactor(), 0.01, 1e-6);
    EXPECT_EQ(k.AveragingCount(), 1);
    k.SetDecay(30);
    EXPECT_EQ(k.Decay(), 16);
    EXPECT_EQ(k.AveragingCount(), 30);

    const auto tone = Sine16(256, 16 * 11025.0 / 256, 10000);
    const std::vector<std::int16_t> silence(256, 0);
    k.Process(Bytes(tone));
    const std::int32_t full = k.BinValue(16);
    ASSERT_GT(full, 150000);

    // Step up: follows a rise at once, falls by the factor per block.
    k.SetDecay(2);  // factor 0.1
    k.SetDecayMode(dmStepUp);
    k.Process(Bytes(tone));
    EXPECT_EQ(k.BinValue(16), full);
    k.Process(Bytes(silence));
    EXPECT_NEAR(k.BinValue(16), full * 0.1, 2);
    k.Process(Bytes(silence));
    EXPECT_NEAR(k.BinValue(16), full * 0.01, 2);

    // Exponential: state f * state + (1 - f) * m.
    k.SetDecayMode(dmExponential);
    k.Process(Bytes(tone));
    EXPECT_NEAR(k.BinValue(16), 0.9 * full, 2);
    k.Process(Bytes(tone));
    EXPECT_NEAR(k.BinValue(16), 0.99 * full, 2);

    // Uniform over 2d - 2 = 4 blocks (Decay 3).
    k.SetDecay(3);
    k.SetDecayMode(dmUniform);
    for (int i = 0; i < 4; ++i) {
        k.Process(Bytes(tone));
        EXPECT_EQ(k.BinValue(16), full) << i;  // the mean of what has come
    }
    for (int i = 1; i <= 4; ++i) {
        k.Process(Bytes(silence));
        EXPECT_EQ(k.BinValue(16), full * (4 - i) / 4) << i;
    }
    // Changing Decay restarts the accumulation.
    k.Process(Bytes(tone));
    k.SetDecay(2);  // 2 blocks
    k.Process(Bytes(silence));
    EXPECT_EQ(k.BinValue(16), 0);
    k.Process(Bytes(tone));
    EXPECT_EQ(k.BinValue(16), full / 2);
}

TEST(SpectrumKernel, PeakHoldAndFall)
{
    TSpectrumKernel k;
    Prepare(k, 128, 64, 100);
    k.SetWindow(fwRectangular);
    k.SetPeakDelay(10);
    const double hz = 20 * 11025.0 / 128;
    Frame(k, Sine16(128, hz, 20000));
    const int h = HeightAtBin(k, 20);
    ASSERT_GT(h, 30);
    k.UpdatePeaks(0);
    EXPECT_EQ(k.PeakOf(20), h);
    EXPECT_EQ(k.HoldOf(20), 21);
    EXPECT_EQ(k.PeakOf(5), 0);  // nothing there
    // A lower frame leaves the held peak; 20 ticks keep it, the 21st drops it.
    Frame(k, Sine16(128, hz, 5000));
    k.UpdatePeaks(0);
    for (int t = 0; t < 20; ++t)
        k.PeakTick();
    EXPECT_EQ(k.PeakOf(20), h);
    k.PeakTick();
    EXPECT_EQ(k.PeakOf(20), 0);
    EXPECT_EQ(k.HoldOf(20), 0);

    // With PeakSpeed 2 it falls one unit every second tick after the hold.
    k.SetPeakSpeed(2);
    k.SetPeakDelay(0);
    Frame(k, Sine16(128, hz, 20000));
    k.UpdatePeaks(0);
    k.PeakTick();
    EXPECT_EQ(k.PeakOf(20), h - 1);
    k.PeakTick();
    EXPECT_EQ(k.PeakOf(20), h - 1);
    k.PeakTick();
    EXPECT_EQ(k.PeakOf(20), h - 2);

    // In spots: a 100-pixel plot of 10 spots; the peak counts spots.
    k.ResetData();
    Frame(k, Sine16(128, hz, 20000));
    k.UpdatePeaks(10);
    EXPECT_EQ(k.PeakOf(20), TSpectrumKernel::SpotsLit(h, 100, 10));
    EXPECT_EQ(TSpectrumKernel::SpotsLit(0, 100, 10), 0);
    EXPECT_EQ(TSpectrumKernel::SpotsLit(25, 100, 10), 3);   // round(3.0)
    EXPECT_EQ(TSpectrumKernel::SpotsLit(400, 100, 10), 10); // clamped
    // Pixel peaks are kept inside the plot.
    Frame(k, Sine16(128, hz, 32000));
    k.SetVerticalScale(10);
    k.ComputeSegments();
    k.UpdatePeaks(0);
    EXPECT_EQ(k.PeakOf(20), 100);
}

TEST(SpectrumKernel, ResizeAndResetClearTheData)
{
    TSpectrumKernel k;
    Prepare(k, 256, 100, 80);
    k.Process(Bytes(Sine16(256, 1000, 20000)));
    k.ComputeSegments();
    k.UpdatePeaks(0);
    EXPECT_GT(k.StrongestHeight(), 0);
    k.SetPlotSize(2, 1);  // at least 4 x 4
    EXPECT_EQ(k.PlotWidth(), 4);
    EXPECT_EQ(k.PlotHeight(), 4);
    for (int b = 0; b < 128; ++b)
        ASSERT_EQ(k.BinValue(b), 0);
    std::vector<int> peaks;
    k.CopyPeaks(peaks);
    EXPECT_EQ(static_cast<int>(peaks.size()), k.SegmentCount());
    for (int p : peaks)
        EXPECT_EQ(p, 0);
    EXPECT_EQ(k.StrongestHeight(), -1);
}
