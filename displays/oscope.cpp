// TMMOscope: properties, layout, and turning blocks of PCM into points. The
// drawing is in oscope_draw.cpp.
#include "displays/oscope.h"

#include "controls/mmcursors.h"
#include "platform/errors.h"
#include "platform/strings.h"
#include "platform/pcmsample.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zol {

namespace {

std::vector<TMMOscope*>& Oscopes()
{
    static std::vector<TMMOscope*> list;
    return list;
}

void Join(TMMOscope* o)
{
    auto& list = Oscopes();
    if (std::find(list.begin(), list.end(), o) == list.end())
        list.push_back(o);
}

void Leave(TMMOscope* o)
{
    auto& list = Oscopes();
    list.erase(std::remove(list.begin(), list.end(), o), list.end());
}

using pcm::Byte;
using pcm::Sample16;

}  // namespace

TMMOscope::TMMOscope(QWidget* parent) : TMMDIBGraphicControl(parent)
{
    SetColor(clBlack);
    setCursor(ScreenCursor(-3));
    resize(194, 90);
    ApplySizeLimits();
    Layout();
    if (!IsDesigning())
        Join(this);
}

TMMOscope::~TMMOscope()
{
    Destroying();
    Leave(this);
    if (infoShowing_)
        releaseMouse();
}

int TMMOscope::OscopeCount()
{
    return static_cast<int>(Oscopes().size());
}

void TMMOscope::DesigningChanged()
{
    if (IsDesigning()) {
        Leave(this);
    } else {
        Join(this);
    }
    ResetPoints();
    Invalidate();
}

// ---------------------------------------------------------------------------
// layout

void TMMOscope::ApplySizeLimits()
{
    const int e = BevelExtent();
    int minW = 2 * e + 2, minH = 2 * e + 2;
    if (drawAmpScale_)
        minW = std::max(minW, 2 * e + 66);
    if (drawTimeScale_)
        minH = std::max(minH, 2 * e + 42);
    setMinimumSize(minW, minH);
}

void TMMOscope::BoundsChanged()
{
    Layout();
}

void TMMOscope::BevelChanged()
{
    ApplySizeLimits();
    TMMDIBGraphicControl::BevelChanged();
}

void TMMOscope::Layout()
{
    QRect plot = InnerRect();
    if (drawAmpScale_)
        plot.adjust(32, 0, -32, 0);
    if (drawTimeScale_)
        plot.adjust(0, 0, 0, -40);
    plot_ = plot;
    w_ = std::max(plot.width(), 4);
    h_ = std::max(plot.height(), 4);
    m_ = h_ / 2;
    points_.assign(static_cast<std::size_t>(w_) + 40, 0);
    ResetPoints();
    Canvas().Resize(w_, h_);
    if (effect_ == efPeak) {
        bandLow_ = h_ / 3;
        bandHigh_ = h_ - h_ / 3;
    } else {
        bandLow_ = 0;
        bandHigh_ = m_;
    }
    RecomputeNeededBytes();
    divisions_ = 10;
    while (h_ / divisions_ < 10 && divisions_ > 2)
        divisions_ -= 2;
    timeDivisions_ = 32;
    while (w_ / timeDivisions_ < 10 && timeDivisions_ > 2)
        timeDivisions_ /= 2;
    ResetScroll();
}

QRect TMMOscope::PlotRect()
{
    SyncSize();
    return plot_;
}

int TMMOscope::PlotWidth()
{
    SyncSize();
    return w_;
}

int TMMOscope::PlotHeight()
{
    SyncSize();
    return h_;
}

int TMMOscope::Divisions()
{
    SyncSize();
    return divisions_;
}

int TMMOscope::TimeDivisions()
{
    SyncSize();
    return timeDivisions_;
}

int TMMOscope::DivisionRow(int k)
{
    SyncSize();
    return DivRow(k);
}

void TMMOscope::RecomputeNeededBytes()
{
    const int frame = (bitLength_ + 1) * (mode_ + 1);
    if (scroll_)
        neededBytes_ = frame * fftLength_;
    else if (zoom_ > 0)
        neededBytes_ = frame * w_ * zoom_;
    else
        neededBytes_ = (frame * w_ / (-zoom_ + 1) + 5) & ~3;
}

int TMMOscope::NeededBytes() const
{
    const_cast<TMMOscope*>(this)->SyncSize();
    return neededBytes_;
}

double TMMOscope::BlockMs() const
{
    const int frame = (bitLength_ + 1) * (mode_ + 1);
    return neededBytes_ * 1000.0 / (static_cast<double>(sampleRate_) * frame);
}

void TMMOscope::ResetPoints()
{
    std::fill(points_.begin(), points_.end(), std::int16_t{0});
    if (!IsDesigning() || w_ < 2)
        return;
    // A damped sine to show the look while designing.
    double a = 1.0;
    for (int i = 0; i < w_; ++i) {
        points_[static_cast<std::size_t>(i)] =
            static_cast<std::int16_t>(std::lrint(std::sin(2 * M_PI * i * 8 / (w_ - 1)) * a * 30719));
        a -= 1.0 / w_;
    }
}

void TMMOscope::ResetScroll()
{
    column_ = -std::min(barWidth_, w_);
    filled_ = 0;
    restart_ = false;
    lastPoint_ = QPoint(0, m_);
}

void TMMOscope::RestartOthers(TMMOscope* self)
{
    for (TMMOscope* o : Oscopes())
        if (o != self)
            o->RestartStrip();
}

// ---------------------------------------------------------------------------
// properties

void TMMOscope::SetBitLength(TMMBits value)
{
    if (value == bitLength_)
        return;
    bitLength_ = value;
    RecomputeNeededBytes();
    Invalidate();
}

void TMMOscope::SetMode(TMMMode value)
{
    if (value == mode_)
        return;
    mode_ = value;
    RecomputeNeededBytes();
    Invalidate();
}

void TMMOscope::SetChannel(TMMChannel value)
{
    if (value == channel_)
        return;
    channel_ = value;
    RecomputeNeededBytes();
    Invalidate();
}

void TMMOscope::SetSampleRate(int value)
{
    value = std::clamp(value, 8000, 88200);
    if (value == sampleRate_)
        return;
    sampleRate_ = value;
    Invalidate();
}

void TMMOscope::SetSteps(int value)
{
    value = std::clamp(value, 1, 9);
    if (value == steps_)
        return;
    steps_ = value;
    Invalidate();
}

void TMMOscope::SetZoom(int value)
{
    if (value == 0)
        return;
    value = std::clamp(value, -9, 9);
    if (value == zoom_)
        return;
    zoom_ = value;
    RecomputeNeededBytes();
    Invalidate();
}

void TMMOscope::SetGain(int value)
{
    if (value < -8 || value > 32 || value == gain_)
        return;
    gain_ = value;
    Invalidate();
}

void TMMOscope::SetFFTLength(int value)
{
    value = std::clamp(value, 1, 4096);
    int power = 1;
    while (power * 2 <= value)
        power *= 2;
    if (power == fftLength_)
        return;
    fftLength_ = power;
    RecomputeNeededBytes();
    Invalidate();
}

void TMMOscope::SetScroll(bool value)
{
    if (value == scroll_)
        return;
    scroll_ = value;
    RecomputeNeededBytes();
    ResetPoints();
    ResetScroll();
    Invalidate();
}

void TMMOscope::SetAccelerate(bool value)
{
    if (value == accelerate_)
        return;
    accelerate_ = value;
    Invalidate();
}

void TMMOscope::SetLowPass(bool value)
{
    if (value == lowPass_)
        return;
    lowPass_ = value;
    Invalidate();
}

void TMMOscope::SetEnabled(bool value)
{
    if (value == enabled_)
        return;
    enabled_ = value;
    if (!value && infoShowing_)
        EndInfo();
    Invalidate();
}

void TMMOscope::SetKind(TMMOscopeKind value)
{
    if (value == kind_)
        return;
    kind_ = value;
    // Spikes show magnitudes over the whole height.
    offset_ = kind_ == okSpikes ? 0 : 32767;
    range_ = kind_ == okSpikes ? 32767 : 65535;
    Invalidate();
}

void TMMOscope::SetEffect(TMMOscopeEffect value)
{
    if (value == effect_)
        return;
    effect_ = value;
    Layout();
    Invalidate();
}

void TMMOscope::SetBarWidth(int value)
{
    value = std::max(value, 1);
    if (value == barWidth_)
        return;
    barWidth_ = value;
    ResetScroll();
    Invalidate();
}

void TMMOscope::SetDrawAmpScale(bool value)
{
    if (value == drawAmpScale_)
        return;
    drawAmpScale_ = value;
    ApplySizeLimits();
    Layout();
    Invalidate();
}

void TMMOscope::SetDrawTimeScale(bool value)
{
    if (value == drawTimeScale_)
        return;
    drawTimeScale_ = value;
    ApplySizeLimits();
    Layout();
    Invalidate();
}

// ---------------------------------------------------------------------------
// display operations

void TMMOscope::SetWaveFormat(const WAVEFORMATEX* format)
{
    if (!IsValidPcmFormat(format))
        throw EMMOscopeError(LoadResString(SInvalidWaveFormatCaps));
    SetSampleRate(static_cast<int>(format->nSamplesPerSec));
    SetBitLength(BitsOf(*format));
    SetMode(ModeOf(*format));
}

void TMMOscope::GetWaveFormat(WAVEFORMATEX& format) const
{
    MakePcmFormat(format, (bitLength_ + 1) * 8, mode_ + 1, sampleRate_);
}

void TMMOscope::BlockToPoints(const char* data)
{
    const int frame = (bitLength_ + 1) * (mode_ + 1);
    // Never read past the block, whatever the zoom.
    const int frames = std::max(neededBytes_ / frame, 1);
    const int repeat = zoom_ < 0 ? -zoom_ + 1 : 1;
    const int stride = zoom_ > 0 ? zoom_ : 1;
    for (int i = 0; i < w_; ++i) {
        const int f = std::min(zoom_ > 0 ? i * stride : i / repeat, frames - 1);
        const char* p = data + static_cast<std::ptrdiff_t>(f) * frame;
        int v;
        if (bitLength_ == b16Bit) {
            if (mode_ == mMono)
                v = Sample16(p);
            else if (channel_ == chLeft)
                v = Sample16(p);
            else if (channel_ == chRight)
                v = Sample16(p + 2);
            else
                v = (Sample16(p) + Sample16(p + 2)) / 2;
        } else {
            int b;
            if (mode_ == mMono || channel_ == chLeft)
                b = Byte(p);
            else if (channel_ == chRight)
                b = Byte(p + 1);
            else
                b = (Byte(p) + Byte(p + 1)) / 2;
            v = b * 256 - 32768;
        }
        points_[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(v);
    }
    if (lowPass_) {
        int previous = 0;
        for (int i = 0; i < w_; ++i) {
            const int v = points_[static_cast<std::size_t>(i)];
            points_[static_cast<std::size_t>(i)] = static_cast<std::int16_t>((previous + 3 * v) / 4);
            previous = v;
        }
    }
}

void TMMOscope::BlockToMinMax(const char* data)
{
    const int frame = (bitLength_ + 1) * (mode_ + 1);
    const bool both = mode_ == mStereo && channel_ == chBoth;
    const int offset = mode_ == mStereo && channel_ == chRight ? bitLength_ + 1 : 0;
    int lo[2] = {1 << 20, 1 << 20}, hi[2] = {-(1 << 20), -(1 << 20)};
    for (int i = 0; i < fftLength_; ++i) {
        const char* p = data + static_cast<std::ptrdiff_t>(i) * frame;
        for (int c = 0; c < (both ? 2 : 1); ++c) {
            const char* s = p + (both ? c * (bitLength_ + 1) : offset);
            const int v = bitLength_ == b16Bit ? Sample16(s) : Byte(s);
            lo[c] = std::min(lo[c], v);
            hi[c] = std::max(hi[c], v);
        }
    }
    int mn = both ? (lo[0] + lo[1]) / 2 : lo[0];
    int mx = both ? (hi[0] + hi[1]) / 2 : hi[0];
    if (bitLength_ == b8Bit) {
        mn = mn * 256 - 32768;
        mx = mx * 256 - 32768;
    }
    points_[0] = static_cast<std::int16_t>(mn);
    points_[1] = static_cast<std::int16_t>(mx);
}

void TMMOscope::ShowPCMData(const char* data)
{
    if (data == nullptr || !enabled_ || isHidden() || infoShowing_)
        return;
    SyncSize();
    if (scroll_)
        BlockToMinMax(data);
    else
        BlockToPoints(data);
    PaintDirect([this] { DrawFrame(false, true); });
}

void TMMOscope::ResetDisplay()
{
    if (infoShowing_)
        EndInfo();
    ResetPoints();
    ResetScroll();
    Invalidate();
    if (isVisible())
        repaint();
}

}  // namespace zol
