// TMMSpectrum: properties, geometry, data flow, the peak tick and the
// read-out. Frame drawing is in spectrumdraw.cpp, scales and texts in
// spectrumscales.cpp.
#include "displays/spectrum.h"

#include "controls/mmcursors.h"
#include "platform/errors.h"
#include "platform/strings.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRandomGenerator>

#include <algorithm>
#include <new>

namespace zol {

TMMCustomSpectrum::TMMCustomSpectrum(QWidget* parent)
try : TMMDIBGraphicControl(parent),
      barColor_{clAqua, clAqua, clRed},
      inactiveColor_{clTeal, clTeal, clMaroon},
      scaleTextColor_(clBlack),
      scaleLineColor_(clBlack),
      gridColor_(clGray),
      unlit_(std::make_unique<TMMDIBCanvas>())
{
    TMMDIBGraphicControl::SetColor(clBlack);
    setCursor(ScreenCursor(-3));
    resize(194, 89);
    Geometry();
    if (!IsDesigning())
        RegisterTickClient();
} catch (const std::bad_alloc&) {
    throw EOutOfMemory(LoadResString(SOutOfMemory));
}

TMMCustomSpectrum::~TMMCustomSpectrum()
{
    Destroying();
    // First: the tick must not reach a half-destroyed analyser.
    if (tick_ != nullptr) {
        RemoveTickClient(tick_);
        tick_ = nullptr;
    }
    if (infoShowing_.load())
        releaseMouse();
}

// ---------------------------------------------------------------------------
// peak tick

void TMMCustomSpectrum::RegisterTickClient()
{
    if (tick_ != nullptr)
        return;
    tick_ = AddTickClient(kTickPeriodMs, 0, [](TTickHandle, void* owner) {
        static_cast<TMMCustomSpectrum*>(owner)->PeakTick();
    }, this);
    tickPaused_ = false;
    UpdateTickPause();
}

void TMMCustomSpectrum::UpdateTickPause()
{
    if (tick_ == nullptr)
        return;
    const bool pause = !enabled_ || numPeaks_ == 0;
    if (pause == tickPaused_)
        return;
    tickPaused_ = pause;
    if (pause)
        PauseTickClient(tick_);
    else
        ResumeTickClient(tick_);
}

// Tick-service thread: only the kernel's peak fields, under their lock.
void TMMCustomSpectrum::PeakTick()
{
    if (numPeaks_ == 0 || infoShowing_.load())
        return;
    kernel_.PeakTick();
}

bool TMMCustomSpectrum::event(QEvent* e)
{
    if (e->type() == QEvent::ParentChange && tick_ == nullptr && !IsDesigning())
        RegisterTickClient();
    return TMMDIBGraphicControl::event(e);
}

// Leaving design state registers the peak tick; entering it drops it.
void TMMCustomSpectrum::DesigningChanged()
{
    if (IsDesigning()) {
        if (tick_ != nullptr)
            RemoveTickClient(tick_);
        tick_ = nullptr;
    } else {
        RegisterTickClient();
    }
    ResetData();
    Invalidate();
}

// ---------------------------------------------------------------------------
// geometry

void TMMCustomSpectrum::Geometry()
{
    const int e = BevelExtent();
    setMinimumSize(2 * e + (drawAmpScale_ ? 69 : 5), 2 * e + (drawFreqScale_ ? 45 : 5));
    QRect r = rect().adjusted(e, e, -e, -e);
    if (drawAmpScale_)
        r.adjust(32, 0, -32, 0);
    if (drawFreqScale_)
        r.adjust(0, 0, 0, -40);
    w_ = std::max(r.width(), 4);
    h_ = std::max(r.height(), 4);
    plotRect_ = QRect(r.left(), r.top(), w_, h_);
    spotHeight_ = std::clamp(spotHeight_, 1, std::max(1, h_ / 3));
    // The tick walks the segment records that the kernel reallocates.
    if (tick_ != nullptr)
        PauseTickClient(tick_);
    kernel_.SetPlotSize(w_, h_);
    if (tick_ != nullptr)
        ResumeTickClient(tick_);
    Canvas().Resize(w_, h_);
    unlit_->Resize(w_, h_);
    Zones();
    unlitDirty_ = true;
    ResetData();
}

// Spots and zone limits for the current kind.
void TMMCustomSpectrum::Zones()
{
    const bool spotKind = kind_ == skBars || kind_ == skPeaks;
    if (spotKind && OnDrawBar) {
        nSpots_ = h_;
        spotOffset_ = 0;
    } else {
        nSpots_ = std::max(1, (h_ + spotSpace_) / (spotHeight_ + spotSpace_));
        spotOffset_ = (spotSpace_ + h_ - (spotHeight_ + spotSpace_) * nSpots_) / 2;
    }
    auto limit = [&](int p) {
        switch (kind_) {
        case skLines:
        case skVLines:
            return static_cast<int>(std::lrint(p * h_ / 100.0));
        case skBars:
        case skPeaks:
            return p * nSpots_ / 100;
        case skDots:
            return h_ - p * h_ / 100;
        case skScroll:
            return p * h_ / 300;
        }
        return 0;
    };
    zone1_ = limit(point1_);
    zone2_ = limit(point2_);
}

void TMMCustomSpectrum::BoundsChanged()
{
    Geometry();
}

// ---------------------------------------------------------------------------
// properties

void TMMCustomSpectrum::LookChanged()
{
    Zones();
    unlitDirty_ = true;
    Invalidate();
}

void TMMCustomSpectrum::SetColor(const QColor& value)
{
    if (value == Color())
        return;
    TMMDIBGraphicControl::SetColor(value);
    LookChanged();
}

void TMMCustomSpectrum::SetKind(TMMSpectrumKind value)
{
    value = std::clamp(value, skDots, skScroll);
    if (value == kind_)
        return;
    kind_ = value;
    // Peaks count pixels or spots depending on the kind.
    ResetData();
    LookChanged();
}

void TMMCustomSpectrum::SetFFTLength(int value)
{
    kernel_.SetFFTLength(value);
    Invalidate();
}

void TMMCustomSpectrum::SetSampleRate(int value)
{
    kernel_.SetSampleRate(value);
    Invalidate();
}

void TMMCustomSpectrum::SetBitLength(TMMBits value)
{
    kernel_.SetBitLength(value);
}

void TMMCustomSpectrum::SetMode(TMMMode value)
{
    kernel_.SetMode(value);
}

void TMMCustomSpectrum::SetChannel(TMMChannel value)
{
    kernel_.SetChannel(value);
}

void TMMCustomSpectrum::SetGain(int value)
{
    // The window's gain slider reaches 5, one step past the steepest
    // pre-emphasis: the top two positions both give 12 dB per octave.
    if (value < sgNone || value > sg12db + 1)
        return;
    kernel_.SetGain(static_cast<TMMSpectrumGain>(std::min<int>(value, sg12db)));
}

void TMMCustomSpectrum::SetRefFreq(int value)
{
    kernel_.SetRefFreq(value);
}

void TMMCustomSpectrum::SetVerticalScale(int value)
{
    if (std::clamp(value, 1, 500) == kernel_.VerticalScale())
        return;
    kernel_.SetVerticalScale(value);
    Invalidate();
}

void TMMCustomSpectrum::SetLogAmp(bool value)
{
    if (value == kernel_.LogAmp())
        return;
    kernel_.SetLogAmp(value);
    ResetData();
    Invalidate();
}

void TMMCustomSpectrum::SetLogFreq(bool value)
{
    kernel_.SetLogFreq(value);
    Invalidate();
}

void TMMCustomSpectrum::SetFrequencyScale(int value)
{
    kernel_.SetFrequencyScale(value);
    Invalidate();
}

void TMMCustomSpectrum::SetNumPeaks(int value)
{
    if (value < 0 || value > 5 || value == numPeaks_)
        return;
    numPeaks_ = value;
    UpdateTickPause();
    Invalidate();
}

void TMMCustomSpectrum::SetDisplayPeak(bool value)
{
    if (value == displayPeak_)
        return;
    displayPeak_ = value;
    Invalidate();
}

void TMMCustomSpectrum::SetPoint1(int value)
{
    if (value >= 1 && value <= 100)
        SetLook(point1_, value);
}

void TMMCustomSpectrum::SetPoint2(int value)
{
    if (value >= 1 && value <= 100)
        SetLook(point2_, value);
}

void TMMCustomSpectrum::SetSpace(int value)
{
    SetLook(space_, std::clamp(value, 0, 5));
}

void TMMCustomSpectrum::SetSpotSpace(int value)
{
    SetLook(spotSpace_, std::clamp(value, 0, 10));
}

void TMMCustomSpectrum::SetSpotHeight(int value)
{
    SetLook(spotHeight_, std::clamp(value, 1, std::max(1, h_ / 3)));
}

void TMMCustomSpectrum::SetDrawFreqScale(bool value)
{
    if (value == drawFreqScale_)
        return;
    drawFreqScale_ = value;
    Geometry();
    Invalidate();
}

void TMMCustomSpectrum::SetDrawAmpScale(bool value)
{
    if (value == drawAmpScale_)
        return;
    drawAmpScale_ = value;
    Geometry();
    Invalidate();
}

void TMMCustomSpectrum::SetEnabled(bool value)
{
    if (value == enabled_)
        return;
    enabled_ = value;
    UpdateTickPause();
    ResetDisplay();
}

void TMMCustomSpectrum::SetOnGetXScale(TGetXScaleEvent handler)
{
    onGetXScale_ = std::move(handler);
    if (onGetXScale_)
        kernel_.SetXScaleHook([this](int* first, int* end) { onGetXScale_(this, first, end); });
    else
        kernel_.SetXScaleHook(nullptr);
    ResetData();
    Invalidate();
}

// ---------------------------------------------------------------------------
// data

void TMMCustomSpectrum::SetWaveFormat(const WAVEFORMATEX* format)
{
    if (!IsValidPcmFormat(format))
        throw EMMSpectrumError(LoadResString(SInvalidWaveFormatCaps));
    SetSampleRate(static_cast<int>(format->nSamplesPerSec));
    SetBitLength(BitsOf(*format));
    SetMode(ModeOf(*format));
}

void TMMCustomSpectrum::ResetData()
{
    kernel_.ResetData();
    peakText_.clear();
    if (enabled_ && OnNeedData) {
        OnNeedData(this);
    } else if (IsDesigning()) {
        // The designer shows bars.
        for (int b = 0; b < kernel_.FFTLength() / 2; ++b)
            kernel_.SetBinValue(b, static_cast<std::int32_t>(QRandomGenerator::global()->bounded(32767)));
    }
}

void TMMCustomSpectrum::ResetDisplay()
{
    EndInfo();
    ResetData();
    Frame(false);
}

void TMMCustomSpectrum::ShowPCMData(const char* data)
{
    if (!enabled_ || !Visible() || infoShowing_.load() || data == nullptr)
        return;
    if (kernel_.Process(data) && OnPcmOverflow)
        OnPcmOverflow(this);
    Frame(true);
}

// Draws a frame into the DIB and puts it on the screen at once: only the
// plot (with the text over it) is copied and repainted.
void TMMCustomSpectrum::Frame(bool newData)
{
    SyncSize();
    bool overflow = false;
    bool drawn = false;
    PaintDirect([&] {
        overflow = DrawFrame(newData);
        PresentPlot();
        drawn = true;
    });
    if (!drawn && newData) {
        // Off the screen (or a full paint ran instead): the data still count
        // for the peaks and the overflow report.
        overflow = kernel_.ComputeSegments();
    }
    if (overflow && OnGainOverflow)
        OnGainOverflow(this);
}

void TMMCustomSpectrum::RenderFrame()
{
    SyncSize();
    DrawFrame(false);
}

void TMMCustomSpectrum::PresentPlot()
{
    CopyToScreen(plotRect_, 0, 0, plotRect_);
    if (peakText_.isEmpty() && !infoShowing_.load())
        return;
    QPainter painter(&Screen());
    PaintTexts(painter);
}

// The whole control: bevel, scales, the current frame and its texts.
void TMMCustomSpectrum::PaintControl()
{
    {
        QPainter painter(&Screen());
        Bevel().PaintBevel(painter, QRect(0, 0, width(), height()), true);
        PaintScales(painter);
    }
    DrawFrame(false);
    PresentPlot();
}

void TMMCustomSpectrum::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !showInfo_ || !enabled_ || IsDesigning() ||
        !plotRect_.contains(event->position().toPoint()))
        return;
    infoShowing_ = true;
    savedToolTip_ = toolTip();
    setToolTip(QString());
    grabMouse();
    infoAt_ = event->position().toPoint();
    PaintDirect([this] { PresentPlot(); });
}

void TMMCustomSpectrum::mouseMoveEvent(QMouseEvent* event)
{
    if (!infoShowing_.load())
        return;
    // The read-out stays on the plot however far the pointer goes.
    const QPoint p = event->position().toPoint();
    const QPoint at(std::clamp(p.x(), plotRect_.left(), plotRect_.right()),
                    std::clamp(p.y(), plotRect_.top(), plotRect_.bottom()));
    if (at == infoAt_)
        return;
    infoAt_ = at;
    PaintDirect([this] { PresentPlot(); });
}

void TMMCustomSpectrum::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        EndInfo();
}

void TMMCustomSpectrum::EndInfo()
{
    if (!infoShowing_.load())
        return;
    infoShowing_ = false;
    releaseMouse();
    setToolTip(savedToolTip_);
    PaintDirect([this] { PresentPlot(); });
}

}  // namespace zol
