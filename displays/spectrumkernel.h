// The computing half of the spectrum analyser, free of the toolkit: one block
// of PCM in, bin values and bar heights per segment out. It selects the
// channel, applies the pre-emphasis and the integer window, runs the real
// FFT, turns the bins into linear or dB values (smoothed by the decay mode),
// maps plot columns to bins on a linear or logarithmic axis and holds the
// peaks. Everything after the FFT is integer arithmetic on tables that are
// rebuilt only when a setting or the plot size changes.
//
// Threads: the owner calls everything on one thread, except PeakTick, which
// the tick service calls on its own thread; the peak fields are guarded by a
// lock of their own.
#pragma once

#include "chain/fft.h"
#include "platform/waveformat.h"
#include "displays/decaymode.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace zol {

enum TMMSpectrumKind { skDots, skLines, skVLines, skBars, skPeaks, skScroll };
enum TMMSpectrumGain { sgNone, sg3db, sg6db, sg9db, sg12db };

constexpr int kSpectrumMaxFFTLength = 4096;
constexpr int kSpectrumHistoryArrays = 32;
// Units of the logarithmic values: 8192 per doubling of power.
constexpr int kLog2Units = 8192;

// FFTLength clamped to 8..4096 and rounded down to a power of two.
int SpectrumFFTLength(int requested);
// FrequencyScale clamped to 1..16 and rounded down to a power of two.
int SpectrumFrequencyScale(int requested);
// 8192 * log2(v), truncated to within one unit, for v >= 1 (0 for v < 1).
std::int32_t Log2Units(std::uint64_t v);
// floor(sqrt(v)).
std::uint32_t ISqrt(std::uint64_t v);

// One bar: the plot columns it covers and its height in pixels (not clipped
// to the plot).
struct TSpectrumSegment {
    int start = 0;   // first column
    int end = 0;     // the column after the last
    int height = 0;
};

class TSpectrumKernel {
public:
    // Fills the first-bin and end-bin tables (W + 10 entries each) in place
    // of the built-in axis.
    using XScaleHook = std::function<void(int* firstBins, int* endBins)>;

    TSpectrumKernel();
    ~TSpectrumKernel();
    TSpectrumKernel(const TSpectrumKernel&) = delete;
    TSpectrumKernel& operator=(const TSpectrumKernel&) = delete;

    // --- settings (each setter stores the clamped value and rebuilds what
    // depends on it; an unchanged value does nothing)
    int FFTLength() const { return n_; }
    void SetFFTLength(int value);
    TMMFFTWindow Window() const { return window_; }
    void SetWindow(TMMFFTWindow value);
    int SampleRate() const { return sampleRate_; }
    void SetSampleRate(int value);
    TMMBits BitLength() const { return bits_; }
    void SetBitLength(TMMBits value) { bits_ = value; }
    TMMMode Mode() const { return mode_; }
    void SetMode(TMMMode value) { mode_ = value; }
    TMMChannel Channel() const { return channel_; }
    void SetChannel(TMMChannel value) { channel_ = value; }
    TMMSpectrumGain Gain() const { return gain_; }
    void SetGain(TMMSpectrumGain value);
    int RefFreq() const { return refFreq_; }
    void SetRefFreq(int value);
    int VerticalScale() const { return verticalScale_; }
    void SetVerticalScale(int value);
    bool LogAmp() const { return logAmp_; }
    void SetLogAmp(bool value);
    bool LogFreq() const { return logFreq_; }
    void SetLogFreq(bool value);
    int FrequencyScale() const { return zoom_; }
    void SetFrequencyScale(int value);
    TMMDecayMode DecayMode() const { return decayMode_; }
    void SetDecayMode(TMMDecayMode value);
    int Decay() const { return decay_; }
    void SetDecay(int value);
    int PeakDelay() const { return peakDelay_; }
    void SetPeakDelay(int value);
    int PeakSpeed() const { return peakSpeed_; }
    void SetPeakSpeed(int value);
    void SetXScaleHook(XScaleHook hook);

    // Bytes of one block: (BitLength + 1) * (Mode + 1) * FFTLength.
    int NeededBytes() const { return (bits_ + 1) * (mode_ + 1) * n_; }

    // --- geometry: reallocates the column tables and segments, rebuilds the
    // axis and the amplitude tables and clears the data.
    void SetPlotSize(int width, int height);
    int PlotWidth() const { return w_; }
    int PlotHeight() const { return h_; }
    // Rebuilds the frequency axis (and then the amplitude tables).
    void RebuildAxis();
    void RebuildAmplitudeTables();

    // --- data
    // Clears bin values, decay states, sums, history, the FFT copy, segment
    // heights and peaks.
    void ResetData();
    // Sets every bin value (the designer's preview fills random values).
    void SetBinValue(int bin, std::int32_t value);
    // One block of N frames: FFT input, transform and bin values. Returns
    // true when a sample was above the overflow limit.
    bool Process(const char* data);
    bool BuildInput(const char* data);
    void TransformAndMeasure();

    // --- per frame
    // Heights of all segments and the strongest bar. Returns true when a
    // height reaches the plot height (gain overflow).
    bool ComputeSegments();
    int SegmentCount() const { return segCount_; }
    // Changes whenever the segments are laid out anew.
    int LayoutGeneration() const { return layoutGeneration_; }
    const TSpectrumSegment& Segment(int i) const { return seg_[static_cast<std::size_t>(i)]; }
    int StrongestHeight() const { return bestHeight_; }
    int StrongestBin() const { return bestBin_; }
    int StrongestColumn() const { return bestColumn_; }
    void ResetStrongest();
    // Frequency shown for the strongest bar.
    double StrongestFrequency() const;

    // --- peaks. Units are spots when nSpots > 0, else pixels (clipped to
    // the plot height).
    void UpdatePeaks(int nSpots);
    // One 25 ms tick: hold counters down, peaks fall (tick thread).
    void PeakTick();
    // Copies the peak heights of the segments (SegmentCount entries).
    void CopyPeaks(std::vector<int>& out) const;
    int PeakOf(int segment) const;
    int HoldOf(int segment) const;
    // Lit spots of a bar of height h on a plot of height H with nSpots spots.
    static int SpotsLit(int h, int plotHeight, int nSpots);

    // --- frequencies for the scales and the read-out
    double StartFrequency() const { return f0_; }
    // Label k of T of the frequency scale.
    double ScaleFrequency(int k, int ticks) const;
    // Frequency at plot column x (x from the plot's left edge), never below 0.
    double FrequencyAt(int x) const;

    // --- tables, for the drawing and for tests
    const int* FirstBins() const { return first_.data(); }
    const int* EndBins() const { return end_.data(); }
    std::int64_t Multiplier(int column) const { return mult_[static_cast<std::size_t>(column)]; }
    int Shift() const { return shift_; }
    std::int32_t Offset(int bin) const { return offset_[static_cast<std::size_t>(bin)]; }
    std::int32_t BinValue(int bin) const { return value_[static_cast<std::size_t>(bin)]; }
    const std::int16_t* FFTOutput() const { return fftOut_.data(); }
    const float* FFTInput() const { return fftIn_.data(); }
    float DecayFactor() const { return factor_; }
    int AveragingCount() const { return avgCount_; }
    int HistoryArrays() const { return static_cast<int>(history_.size()); }

private:
    int PreEmphasisOrder() const { return gain_ / 2; }
    bool OddHalfStep() const { return gain_ % 2 != 0; }
    void NewPlan();
    void RebuildWindow();
    void ClearDecay();
    void AxisLinear();
    void AxisLog();
    void FinishAxis(bool builtIn);
    void BuildSegments();
    void LinearTables();
    void DecibelTables();
    void MeasureBins();
    std::int32_t SegmentValueDb(int firstBin, int endBin, int* strongestBin) const;

    // settings
    int n_ = 128;
    TMMFFTWindow window_ = fwHamming;
    int sampleRate_ = 11025;
    TMMBits bits_ = b8Bit;
    TMMMode mode_ = mMono;
    TMMChannel channel_ = chBoth;
    TMMSpectrumGain gain_ = sgNone;
    int refFreq_ = 1000;
    int verticalScale_ = 100;
    bool logAmp_ = false;
    bool logFreq_ = false;
    int zoom_ = 1;
    TMMDecayMode decayMode_ = dmNone;
    int decay_ = 1;
    int peakDelay_ = 20;
    int peakSpeed_ = 0;
    XScaleHook xScaleHook_;

    // transform
    PRealFFT plan_ = nullptr;
    std::vector<std::int32_t> windowTable_;
    std::vector<std::int32_t> x_;       // the chosen channel of the block
    std::vector<float> fftIn_;          // windowed input, then the transform
    std::vector<std::int16_t> fftOut_;  // transform / (N/2), 16-bit
    // per bin
    std::vector<std::int32_t> value_;
    std::vector<float> state_;
    std::vector<std::int32_t> sum_;
    std::vector<std::int32_t> offset_;
    std::vector<std::unique_ptr<std::int32_t[]>> history_;
    float factor_ = 0.0001f;
    int avgCount_ = 1;
    int frames_ = 0;
    int historyIndex_ = 0;

    // plot and axis
    int w_ = 4;
    int h_ = 4;
    double f0_ = 1.0;
    std::vector<int> first_;
    std::vector<int> end_;
    std::vector<std::int64_t> mult_;
    int shift_ = 4;

    // segments
    std::vector<TSpectrumSegment> seg_;
    int segCount_ = 0;
    int layoutGeneration_ = 0;
    int bestHeight_ = -1;
    int bestBin_ = 0;
    int bestColumn_ = 0;

    // peaks, shared with the tick thread
    mutable std::mutex peakLock_;
    std::vector<int> peak_;
    std::vector<int> hold_;
};

}  // namespace zol
