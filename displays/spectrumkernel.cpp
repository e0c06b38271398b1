// Settings, the FFT input and the bin values of the spectrum kernel. The
// axis, amplitude tables, segments and peaks are in spectrumaxis.cpp.
#include "displays/spectrumkernel.h"
#include "platform/pcmsample.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>

namespace zol {

namespace {

constexpr int kMaxBins = kSpectrumMaxFFTLength / 2;

using pcm::Byte;
using pcm::Sample16;

int RoundDownPow2(int v)
{
    int p = 1;
    while (p * 2 <= v)
        p *= 2;
    return p;
}

int Log2Of(int pow2)
{
    int k = 0;
    while ((1 << k) < pow2)
        ++k;
    return k;
}

// 256 * 8192 * log2(1 + i/256) for i = 0..256: the fraction of a logarithm,
// interpolated between entries.
const std::array<std::int32_t, 257>& Log2Table()
{
    static const std::array<std::int32_t, 257> table = [] {
        std::array<std::int32_t, 257> t{};
        for (int i = 0; i <= 256; ++i)
            t[static_cast<std::size_t>(i)] =
                static_cast<std::int32_t>(std::lround(256.0 * kLog2Units * std::log2(1.0 + i / 256.0)));
        return t;
    }();
    return table;
}

}  // namespace

int SpectrumFFTLength(int requested)
{
    return RoundDownPow2(std::clamp(requested, 8, kSpectrumMaxFFTLength));
}

int SpectrumFrequencyScale(int requested)
{
    return RoundDownPow2(std::clamp(requested, 1, 16));
}

std::int32_t Log2Units(std::uint64_t v)
{
    if (v < 1)
        return 0;
    const int msb = 63 - __builtin_clzll(v);
    // The 16 bits below the leading one, as a fraction of 1.
    const std::uint32_t f = msb >= 16 ? static_cast<std::uint32_t>((v >> (msb - 16)) & 0xFFFF)
                                      : static_cast<std::uint32_t>((v << (16 - msb)) & 0xFFFF);
    const auto& t = Log2Table();
    const std::uint32_t i = f >> 8;
    const std::int32_t r = static_cast<std::int32_t>(f & 0xFF);
    const std::int32_t frac = t[i] + (((t[i + 1] - t[i]) * r) >> 8);
    return msb * kLog2Units + (frac >> 8);
}

std::uint32_t ISqrt(std::uint64_t v)
{
    std::uint64_t r = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(v)));
    // The double estimate can be one off either way for large v.
    while (r * r > v)
        --r;
    while ((r + 1) * (r + 1) <= v)
        ++r;
    return static_cast<std::uint32_t>(r);
}

TSpectrumKernel::TSpectrumKernel()
    : windowTable_(kSpectrumMaxFFTLength),
      x_(kSpectrumMaxFFTLength),
      fftIn_(kSpectrumMaxFFTLength),
      fftOut_(kSpectrumMaxFFTLength),
      value_(kMaxBins),
      state_(kMaxBins),
      sum_(kMaxBins),
      offset_(kMaxBins)
{
    // As many history arrays as can be had, up to 32; at least one.
    for (int i = 0; i < kSpectrumHistoryArrays; ++i) {
        std::unique_ptr<std::int32_t[]> a(new (std::nothrow) std::int32_t[kMaxBins]());
        if (!a)
            break;
        history_.push_back(std::move(a));
    }
    if (history_.empty())
        throw std::bad_alloc();
    NewPlan();
    SetPlotSize(4, 4);
}

TSpectrumKernel::~TSpectrumKernel()
{
    FreeRealFFT(plan_);
}

// ---------------------------------------------------------------------------
// settings

void TSpectrumKernel::NewPlan()
{
    FreeRealFFT(plan_);
    plan_ = CreateRealFFT(Log2Of(n_));
    RebuildWindow();
}

void TSpectrumKernel::RebuildWindow()
{
    MakeWindowTable(windowTable_.data(), window_, Log2Of(n_));
}

void TSpectrumKernel::SetFFTLength(int value)
{
    value = SpectrumFFTLength(value);
    if (value == n_)
        return;
    n_ = value;
    NewPlan();
    RebuildAxis();
    ResetData();
}

void TSpectrumKernel::SetWindow(TMMFFTWindow value)
{
    if (value == window_)
        return;
    window_ = value;
    RebuildWindow();
}

void TSpectrumKernel::SetSampleRate(int value)
{
    value = std::clamp(value, 8000, 100000);
    if (value == sampleRate_)
        return;
    sampleRate_ = value;
    RebuildAxis();
}

void TSpectrumKernel::SetGain(TMMSpectrumGain value)
{
    value = std::clamp(value, sgNone, sg12db);
    if (value == gain_)
        return;
    gain_ = value;
    RebuildAmplitudeTables();
}

void TSpectrumKernel::SetRefFreq(int value)
{
    value = std::clamp(value, 1, 44100);
    if (value == refFreq_)
        return;
    refFreq_ = value;
    RebuildAmplitudeTables();
}

void TSpectrumKernel::SetVerticalScale(int value)
{
    value = std::clamp(value, 1, 500);
    if (value == verticalScale_)
        return;
    verticalScale_ = value;
    RebuildAmplitudeTables();
}

void TSpectrumKernel::SetLogAmp(bool value)
{
    if (value == logAmp_)
        return;
    logAmp_ = value;
    RebuildAmplitudeTables();
}

void TSpectrumKernel::SetLogFreq(bool value)
{
    if (value == logFreq_)
        return;
    logFreq_ = value;
    RebuildAxis();
}

void TSpectrumKernel::SetFrequencyScale(int value)
{
    value = SpectrumFrequencyScale(value);
    if (value == zoom_)
        return;
    zoom_ = value;
    RebuildAxis();
}

void TSpectrumKernel::SetDecayMode(TMMDecayMode value)
{
    value = std::clamp(value, dmNone, dmUniform);
    if (value == decayMode_)
        return;
    decayMode_ = value;
    // The state of one mode means nothing to another.
    ClearDecay();
}

void TSpectrumKernel::SetDecay(int value)
{
    value = std::clamp(value, 1, 16);
    if (value == decay_)
        return;
    decay_ = value;
    factor_ = static_cast<float>(zol::DecayFactor(value));
    avgCount_ = std::min(std::clamp(2 * value - 2, 1, kSpectrumHistoryArrays), HistoryArrays());
    if (decayMode_ == dmUniform)
        ClearDecay();
}

// Both are read by the tick: changed under its lock.
void TSpectrumKernel::SetPeakDelay(int value)
{
    std::lock_guard guard(peakLock_);
    if (value >= 0 && value <= 50)
        peakDelay_ = value;
}

void TSpectrumKernel::SetPeakSpeed(int value)
{
    std::lock_guard guard(peakLock_);
    if (value >= 0 && value <= 50)
        peakSpeed_ = value;
}

void TSpectrumKernel::SetXScaleHook(XScaleHook hook)
{
    xScaleHook_ = std::move(hook);
    RebuildAxis();
}

// ---------------------------------------------------------------------------
// data

void TSpectrumKernel::ClearDecay()
{
    std::fill(state_.begin(), state_.end(), 0.0f);
    std::fill(sum_.begin(), sum_.end(), 0);
    for (auto& h : history_)
        std::fill(h.get(), h.get() + kMaxBins, 0);
    frames_ = 0;
    historyIndex_ = 0;
}

void TSpectrumKernel::ResetData()
{
    std::fill(value_.begin(), value_.end(), 0);
    std::fill(fftOut_.begin(), fftOut_.end(), std::int16_t{0});
    ClearDecay();
    for (auto& s : seg_)
        s.height = 0;
    {
        std::lock_guard guard(peakLock_);
        std::fill(peak_.begin(), peak_.end(), 0);
        std::fill(hold_.begin(), hold_.end(), 0);
    }
    ResetStrongest();
}

void TSpectrumKernel::SetBinValue(int bin, std::int32_t value)
{
    if (bin >= 0 && bin < n_ / 2)
        value_[static_cast<std::size_t>(bin)] = value;
}

bool TSpectrumKernel::Process(const char* data)
{
    const bool overflow = BuildInput(data);
    TransformAndMeasure();
    return overflow;
}

// The chosen channel (or the halved sum of both) of N frames into x_, the
// overflow test, the pre-emphasis and the window into fftIn_.
bool TSpectrumKernel::BuildInput(const char* data)
{
    const int n = n_;
    std::int32_t* x = x_.data();
    const bool stereo = mode_ == mStereo;
    const bool both = stereo && channel_ == chBoth;
    int limit;
    if (bits_ == b16Bit) {
        if (!stereo) {
            for (int i = 0; i < n; ++i)
                x[i] = Sample16(data + 2 * i);
        } else if (!both) {
            const int off = channel_ == chRight ? 2 : 0;
            for (int i = 0; i < n; ++i)
                x[i] = Sample16(data + 4 * i + off);
        } else {
            for (int i = 0; i < n; ++i)
                x[i] = (Sample16(data + 4 * i) + Sample16(data + 4 * i + 2)) / 2;
        }
        limit = both && gain_ != sg12db ? 32765 : 32766;
    } else {
        if (!stereo) {
            for (int i = 0; i < n; ++i)
                x[i] = Byte(data + i);
        } else if (!both) {
            const int off = channel_ == chRight ? 1 : 0;
            for (int i = 0; i < n; ++i)
                x[i] = Byte(data + 2 * i + off);
        } else {
            for (int i = 0; i < n; ++i)
                x[i] = (Byte(data + 2 * i) + Byte(data + 2 * i + 1)) / 2;
        }
        limit = 254;
    }
    bool overflow = false;
    for (int i = 0; i < n; ++i)
        overflow |= x[i] > limit;

    // Pre-emphasis (values before the block count as x[0]) and window, with
    // a 64-bit product truncated toward zero.
    const std::int64_t divisor = bits_ == b16Bit ? 32768 : 128;
    const std::int32_t* w = windowTable_.data();
    float* v = fftIn_.data();
    const int order = PreEmphasisOrder();
    std::int32_t p1 = x[0];
    std::int32_t p2 = x[0];
    for (int i = 0; i < n; ++i) {
        std::int64_t s;
        if (order == 0)
            s = bits_ == b16Bit ? x[i] : x[i] - 128;
        else if (order == 1)
            s = x[i] - p1;
        else
            s = static_cast<std::int64_t>(x[i]) - 2 * p1 + p2;
        p2 = p1;
        p1 = x[i];
        v[i] = static_cast<float>(s * w[i] / divisor);
    }
    return overflow;
}

void TSpectrumKernel::TransformAndMeasure()
{
    float* v = fftIn_.data();
    DoRealFFT(plan_, v, 1);
    // Scaled by 1/(N/2), truncated, kept in 16 bits: a value beyond the
    // range (strong high tones under the steeper pre-emphasis, or DC in
    // bin 0) saturates instead of wrapping to the other sign.
    const float half = static_cast<float>(n_ / 2);
    std::int16_t* out = fftOut_.data();
    for (int i = 0; i < n_; ++i) {
        const float q = std::trunc(v[i] / half);
        out[i] = static_cast<std::int16_t>(std::clamp(q, -32768.0f, 32767.0f));
    }
    MeasureBins();
}

// Power per bin, then the linear or dB value and the decay mode.
void TSpectrumKernel::MeasureBins()
{
    const int bins = n_ / 2;
    const std::int16_t* out = fftOut_.data();
    std::int32_t* value = value_.data();
    auto power = [out](int k) {
        const std::int64_t re = out[2 * k];
        const std::int64_t im = out[2 * k + 1];
        return static_cast<std::uint64_t>(re * re + im * im);
    };

    if (logAmp_ && decayMode_ == dmNone) {
        const std::int32_t* offset = offset_.data();
        for (int k = 0; k < bins; ++k) {
            const std::uint64_t p = power(k);
            value[k] = p < 1 ? 0 : std::max(0, Log2Units(p) - offset[k]);
        }
        return;
    }
    switch (decayMode_) {
    case dmNone:
        for (int k = 0; k < bins; ++k)
            value[k] = static_cast<std::int32_t>(ISqrt(256 * power(k)));  // 16 * sqrt(P)
        break;
    case dmStepUp: {
        const float f = factor_;
        float* state = state_.data();
        for (int k = 0; k < bins; ++k) {
            std::int32_t m = static_cast<std::int32_t>(ISqrt(256 * power(k)));
            state[k] *= f;
            if (static_cast<float>(m) >= state[k])
                state[k] = static_cast<float>(m);
            else
                m = static_cast<std::int32_t>(state[k]);
            value[k] = m;
        }
        break;
    }
    case dmExponential: {
        const float f = factor_;
        const float g = 1.0f - f;
        float* state = state_.data();
        for (int k = 0; k < bins; ++k) {
            const auto m = static_cast<float>(ISqrt(256 * power(k)));
            state[k] = state[k] * f + g * m;
            value[k] = static_cast<std::int32_t>(std::floor(state[k]));
        }
        break;
    }
    case dmUniform: {
        frames_ = std::min(frames_ + 1, avgCount_);
        std::int32_t* hist = history_[static_cast<std::size_t>(historyIndex_)].get();
        std::int32_t* sum = sum_.data();
        for (int k = 0; k < bins; ++k) {
            const auto m = static_cast<std::int32_t>(ISqrt(256 * power(k)));
            sum[k] += m - hist[k];
            hist[k] = m;
            value[k] = sum[k] / frames_;
        }
        historyIndex_ = (historyIndex_ + 1) % avgCount_;
        break;
    }
    }
}

}  // namespace zol
