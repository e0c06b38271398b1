// The spectrum kernel's plot side: the column-to-bin tables of the linear and
// logarithmic frequency axis, the amplitude tables, the segments with their
// heights and the peak hold.
#include "displays/spectrumkernel.h"

#include <algorithm>
#include <cmath>

namespace zol {

namespace {

constexpr double kPi = 3.14159265358979323846;
// 8192 units per doubling of power, in units per dB.
const double kUnitsPerDb = 819.2 * std::log2(10.0);

}  // namespace

void TSpectrumKernel::SetPlotSize(int width, int height)
{
    width = std::max(width, 4);
    height = std::max(height, 4);
    if (width == w_ && height == h_ && !seg_.empty())
        return;
    w_ = width;
    h_ = height;
    const auto cols = static_cast<std::size_t>(w_ + 10);
    first_.assign(cols, 0);
    end_.assign(cols, 0);
    mult_.assign(cols, 0);
    {
        // The tick walks segCount_ peaks: both change under its lock.
        std::lock_guard guard(peakLock_);
        segCount_ = 0;
        seg_.assign(static_cast<std::size_t>(w_ + 1), TSpectrumSegment{});
        peak_.assign(static_cast<std::size_t>(w_ + 1), 0);
        hold_.assign(static_cast<std::size_t>(w_ + 1), 0);
    }
    RebuildAxis();
    ResetData();
}

// ---------------------------------------------------------------------------
// frequency axis

void TSpectrumKernel::RebuildAxis()
{
    if (first_.empty())
        return;
    std::fill(first_.begin(), first_.end(), 0);
    std::fill(end_.begin(), end_.end(), 0);
    if (xScaleHook_) {
        xScaleHook_(first_.data(), end_.data());
        FinishAxis(false);
    } else {
        if (logFreq_)
            AxisLog();
        else
            AxisLinear();
        FinishAxis(true);
    }
    BuildSegments();
    RebuildAmplitudeTables();
}

// First bins of columns 0..W (column W only ends the last column).
void TSpectrumKernel::AxisLinear()
{
    const double fs = sampleRate_;
    f0_ = std::max(0.0, f0_);
    if (fs / 2 < f0_ + fs / (2.0 * zoom_))
        f0_ = fs / 2 - fs / (2.0 * zoom_);
    for (int i = 0; i <= w_; ++i)
        first_[static_cast<std::size_t>(i)] = static_cast<int>(
            std::floor(static_cast<double>(i) / w_ * (n_ / 2) / zoom_ + f0_ / fs * n_ + 0.01));
}

void TSpectrumKernel::AxisLog()
{
    const double fs = sampleRate_;
    const double lo = fs / n_;
    const double hi = (fs / 2) / std::pow(n_ / 2.0, 1.0 / zoom_);
    f0_ = std::clamp(f0_, lo, std::max(lo, hi));
    const double base = (n_ + 1) / 2.0;
    for (int i = 0; i <= w_; ++i)
        first_[static_cast<std::size_t>(i)] = static_cast<int>(
            std::floor(std::pow(base, (i - 0.45) / (static_cast<double>(w_) * zoom_)) * n_ * f0_ / fs + 0.51)) - 1;
}

// Clamps the first bins, derives the end bins (built-in axis) and marks
// columns that repeat their left neighbour's bin.
void TSpectrumKernel::FinishAxis(bool builtIn)
{
    const int half = n_ / 2;
    int* first = first_.data();
    int* end = end_.data();
    // The column after the last may end at N/2, so the top bin is shown.
    const int lastEnd = std::clamp(first[w_], 0, half);
    for (int i = 0; i < w_; ++i)
        first[i] = std::clamp(first[i], 0, half - 1);
    for (int i = 0; i < w_; ++i) {
        const int next = builtIn ? (i + 1 < w_ ? first[i + 1] : lastEnd) : std::clamp(end[i], 0, half);
        end[i] = next > first[i] + 1 ? next : 0;
    }
    for (int i = w_ - 1; i >= 1; --i) {
        if (first[i] != first[i - 1])
            continue;
        // The merged column keeps the bins the repeated one would have
        // covered, so no bin between two bars goes unshown.
        if (end[i] > end[i - 1])
            end[i - 1] = end[i];
        first[i] = -1;
        end[i] = 0;
    }
    for (int i = w_; i < w_ + 10; ++i) {
        first[i] = 0;
        end[i] = 0;
    }
}

void TSpectrumKernel::BuildSegments()
{
    std::lock_guard guard(peakLock_);
    int count = 0;
    for (int i = 0; i < w_; ++i) {
        if (first_[static_cast<std::size_t>(i)] == -1)
            continue;
        if (count > 0)
            seg_[static_cast<std::size_t>(count - 1)].end = i;
        TSpectrumSegment& s = seg_[static_cast<std::size_t>(count++)];
        s.start = i;
        s.end = w_;
        s.height = 0;
    }
    segCount_ = count;
    ++layoutGeneration_;
    std::fill(peak_.begin(), peak_.end(), 0);
    std::fill(hold_.begin(), hold_.end(), 0);
}

// ---------------------------------------------------------------------------
// amplitude tables

void TSpectrumKernel::RebuildAmplitudeTables()
{
    if (mult_.empty())
        return;
    if (logAmp_)
        DecibelTables();
    else
        LinearTables();
}

void TSpectrumKernel::LinearTables()
{
    const double r = refFreq_;
    const double fs = sampleRate_;
    double e = h_ / (std::sqrt(r) * (verticalScale_ / 100.0) * 32768.0);
    if (PreEmphasisOrder() == 1)
        e *= fs / (2 * kPi * r);
    else if (PreEmphasisOrder() == 2)
        e *= fs * fs / (4 * kPi * kPi * r * r);
    shift_ = 4;  // undoes the factor 16 of the bin values
    if (!OddHalfStep()) {
        double g = std::sqrt(r) * e;
        while (g < 4096) {
            g *= 2;
            ++shift_;
        }
        const auto m = static_cast<std::int64_t>(std::floor(g + 0.5));
        for (int i = 0; i < w_; ++i)
            mult_[static_cast<std::size_t>(i)] = first_[static_cast<std::size_t>(i)] == -1 ? 0 : m;
    } else {
        while (std::sqrt(fs / 2) * e < 4096) {
            e *= 2;
            ++shift_;
        }
        for (int i = 0; i < w_; ++i) {
            const int b = first_[static_cast<std::size_t>(i)];
            mult_[static_cast<std::size_t>(i)] =
                b == -1 ? 0 : std::llrint(e * std::sqrt((b + 1) * fs / n_) + 0.5);
        }
    }
}

void TSpectrumKernel::DecibelTables()
{
    const double a = kUnitsPerDb;
    const double p = h_ / (60.0 * a);
    shift_ = 0;
    while (std::ldexp(p, shift_) < 4096)
        ++shift_;
    const std::int64_t m = std::llrint(std::ldexp(p, shift_));
    for (int i = 0; i < w_; ++i)
        mult_[static_cast<std::size_t>(i)] = first_[static_cast<std::size_t>(i)] == -1 ? 0 : m;

    const double fs = sampleRate_;
    const double r = refFreq_;
    double g = a * (20 * std::log10(32768.0) - 60);
    g -= PreEmphasisOrder() * a * 20 * std::log10(fs / (2 * kPi * r));
    for (int k = 0; k < n_ / 2; ++k)
        offset_[static_cast<std::size_t>(k)] = static_cast<std::int32_t>(
            OddHalfStep() ? std::lrint(g - a * 10 * std::log10((k + 1) * fs / n_ / r)) : std::lrint(g));
}

// ---------------------------------------------------------------------------
// segments

void TSpectrumKernel::ResetStrongest()
{
    bestHeight_ = -1;
    bestBin_ = 0;
    bestColumn_ = 0;
}

// The decayed linear value of the strongest bin, in dB units less the bin's
// offset.
std::int32_t TSpectrumKernel::SegmentValueDb(int firstBin, int endBin, int* strongestBin) const
{
    int k = firstBin;
    for (int b = firstBin + 1; b < endBin; ++b)
        if (value_[static_cast<std::size_t>(b)] > value_[static_cast<std::size_t>(k)])
            k = b;
    *strongestBin = k;
    const std::int64_t v = value_[static_cast<std::size_t>(k)];
    if (v < 1)
        return 0;
    // 2 ln(v / 16) / ln 2 * 8192 = 8192 log2(v^2) - 8 * 8192
    const std::int32_t units = Log2Units(static_cast<std::uint64_t>(v * v)) - 8 * kLog2Units;
    return std::max(0, units - offset_[static_cast<std::size_t>(k)]);
}

bool TSpectrumKernel::ComputeSegments()
{
    ResetStrongest();
    bool overflow = false;
    const bool dbOfDecayed = logAmp_ && decayMode_ != dmNone;
    const std::int32_t* value = value_.data();
    for (int s = 0; s < segCount_; ++s) {
        TSpectrumSegment& seg = seg_[static_cast<std::size_t>(s)];
        const int col = seg.start;
        const int fb = first_[static_cast<std::size_t>(col)];
        const int eb = end_[static_cast<std::size_t>(col)];
        std::int64_t v;
        if (dbOfDecayed) {
            int k;
            v = SegmentValueDb(fb, eb, &k);
        } else {
            std::int32_t m = value[fb];
            for (int b = fb + 1; b < eb; ++b)
                m = std::max(m, value[b]);
            v = m;
        }
        const int h = static_cast<int>(std::min<std::int64_t>((v * mult_[static_cast<std::size_t>(col)]) >> shift_,
                                                              1 << 30));
        seg.height = h;
        if (h > bestHeight_) {
            bestHeight_ = h;
            bestBin_ = fb;
            bestColumn_ = col;
        }
        overflow |= h >= h_;
    }
    return overflow;
}

double TSpectrumKernel::StrongestFrequency() const
{
    const double width = static_cast<double>(sampleRate_) / n_;
    if (!logFreq_)
        return (bestBin_ + 0.5) * width;
    return bestBin_ <= 1 ? (bestBin_ + 0.25) * width : bestBin_ * width;
}

// ---------------------------------------------------------------------------
// peaks

int TSpectrumKernel::SpotsLit(int h, int plotHeight, int nSpots)
{
    if (nSpots < 1 || plotHeight < 1)
        return 0;
    const long lit = std::lrint(h / (static_cast<double>(plotHeight) / nSpots) + 0.5);
    return static_cast<int>(std::clamp<long>(lit, 0, nSpots));
}

void TSpectrumKernel::UpdatePeaks(int nSpots)
{
    std::lock_guard guard(peakLock_);
    const int restart = 2 * peakDelay_ + 1;
    for (int s = 0; s < segCount_; ++s) {
        const int h = seg_[static_cast<std::size_t>(s)].height;
        const int u = nSpots > 0 ? SpotsLit(h, h_, nSpots) : std::min(h, h_);
        int& peak = peak_[static_cast<std::size_t>(s)];
        if (u >= peak && u > 0) {
            peak = u;
            hold_[static_cast<std::size_t>(s)] = restart;
        }
    }
}

void TSpectrumKernel::PeakTick()
{
    std::lock_guard guard(peakLock_);
    const int speed = peakSpeed_;
    for (int s = 0; s < segCount_; ++s) {
        int& peak = peak_[static_cast<std::size_t>(s)];
        if (peak <= 0)
            continue;
        int& hold = hold_[static_cast<std::size_t>(s)];
        if (--hold > 0)
            continue;
        if (speed == 0) {
            peak = 0;
            hold = 0;
        } else {
            --peak;
            hold = speed;
        }
    }
}

void TSpectrumKernel::CopyPeaks(std::vector<int>& out) const
{
    std::lock_guard guard(peakLock_);
    out.assign(peak_.begin(), peak_.begin() + segCount_);
}

int TSpectrumKernel::PeakOf(int segment) const
{
    std::lock_guard guard(peakLock_);
    return segment >= 0 && segment < segCount_ ? peak_[static_cast<std::size_t>(segment)] : 0;
}

int TSpectrumKernel::HoldOf(int segment) const
{
    std::lock_guard guard(peakLock_);
    return segment >= 0 && segment < segCount_ ? hold_[static_cast<std::size_t>(segment)] : 0;
}

// ---------------------------------------------------------------------------
// frequencies of the scales and the read-out

double TSpectrumKernel::ScaleFrequency(int k, int ticks) const
{
    const double fs = sampleRate_;
    const double tz = static_cast<double>(std::max(ticks, 1)) * zoom_;
    if (!logFreq_)
        return f0_ + k * (fs / 2 - f0_) / tz;
    return f0_ * std::exp(k * std::log(n_ / 2.0) / tz);
}

double TSpectrumKernel::FrequencyAt(int x) const
{
    const double fs = sampleRate_;
    const double span = static_cast<double>(std::max(w_ - 1, 1)) * zoom_;
    const double f = logFreq_ ? f0_ * std::exp(x * std::log(n_ / 2.0) / span) : f0_ + x * (fs / 2 - f0_) / span;
    return std::max(0.0, f);
}

}  // namespace zol
