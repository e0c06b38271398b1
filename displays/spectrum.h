// TMMSpectrum: a spectrum analyser. For each block of PCM the connector hands
// it, the kernel (spectrumkernel.h) computes the bar heights; the control
// draws them at once into its DIB as dots, lines, centred bars, LED-like spot
// bars or peaks, or as a scrolling trace, in three colour zones, with falling
// peak markers, a grid, amplitude and frequency scales and a read-out of the
// frequency and level under the mouse.
#pragma once

#include "chain/mmdisplay.h"
#include "displays/dibcanvas.h"
#include "displays/spectrumkernel.h"
#include "timers/tickservice.h"

#include <QImage>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace zol {

class TMMCustomSpectrum : public TMMDIBGraphicControl, public IMMDisplay {
public:
    using TDrawBarEvent =
        std::function<void(QObject* sender, TMMDIBCanvas* dib, const QRect& rect, int nSpots, int peak)>;
    using TClearBackgroundEvent = std::function<void(QObject* sender, TMMDIBCanvas* dib, const QRect& rect)>;
    using TGetXScaleEvent = std::function<void(QObject* sender, int* pX1, int* pX2)>;

    explicit TMMCustomSpectrum(QWidget* parent = nullptr);
    ~TMMCustomSpectrum() override;

    // --- display operations
    void SetWaveFormat(const WAVEFORMATEX* format) override;
    int NeededBytes() const override { return kernel_.NeededBytes(); }
    void ShowPCMData(const char* data) override;
    void ResetDisplay() override;
    QObject* DisplayObject() override { return this; }

    // --- analysis
    TMMSpectrumKind Kind() const { return kind_; }
    void SetKind(TMMSpectrumKind value);
    TMMFFTWindow Window() const { return kernel_.Window(); }
    void SetWindow(TMMFFTWindow value) { kernel_.SetWindow(value); }
    int FFTLength() const override { return kernel_.FFTLength(); }
    void SetFFTLength(int value);
    int SampleRate() const { return kernel_.SampleRate(); }
    void SetSampleRate(int value);
    TMMBits BitLength() const override { return kernel_.BitLength(); }
    void SetBitLength(TMMBits value);
    TMMMode Mode() const override { return kernel_.Mode(); }
    void SetMode(TMMMode value);
    TMMChannel Channel() const { return kernel_.Channel(); }
    void SetChannel(TMMChannel value);
    TMMSpectrumGain Gain() const { return kernel_.Gain(); }
    // Takes the slider's position 0..5 as well; values outside are ignored.
    void SetGain(int value);
    int RefFreq() const { return kernel_.RefFreq(); }
    void SetRefFreq(int value);
    int VerticalScale() const { return kernel_.VerticalScale(); }
    void SetVerticalScale(int value);
    bool LogAmp() const { return kernel_.LogAmp(); }
    void SetLogAmp(bool value);
    bool LogFreq() const { return kernel_.LogFreq(); }
    void SetLogFreq(bool value);
    int FrequencyScale() const { return kernel_.FrequencyScale(); }
    void SetFrequencyScale(int value);
    TMMDecayMode DecayMode() const { return kernel_.DecayMode(); }
    void SetDecayMode(TMMDecayMode value) { kernel_.SetDecayMode(value); }
    int Decay() const { return kernel_.Decay(); }
    void SetDecay(int value) { kernel_.SetDecay(value); }

    // --- peaks
    int NumPeaks() const { return numPeaks_; }
    void SetNumPeaks(int value);
    int PeakDelay() const { return kernel_.PeakDelay(); }
    void SetPeakDelay(int value) { kernel_.SetPeakDelay(value); }
    int PeakSpeed() const { return kernel_.PeakSpeed(); }
    void SetPeakSpeed(int value) { kernel_.SetPeakSpeed(value); }
    bool DisplayPeak() const { return displayPeak_; }
    void SetDisplayPeak(bool value);

    // --- look
    QColor Bar1Color() const { return barColor_[0]; }
    QColor Bar2Color() const { return barColor_[1]; }
    QColor Bar3Color() const { return barColor_[2]; }
    void SetBar1Color(const QColor& v) { SetLook(barColor_[0], v); }
    void SetBar2Color(const QColor& v) { SetLook(barColor_[1], v); }
    void SetBar3Color(const QColor& v) { SetLook(barColor_[2], v); }
    QColor Inactive1Color() const { return inactiveColor_[0]; }
    QColor Inactive2Color() const { return inactiveColor_[1]; }
    QColor Inactive3Color() const { return inactiveColor_[2]; }
    void SetInactive1Color(const QColor& v) { SetLook(inactiveColor_[0], v); }
    void SetInactive2Color(const QColor& v) { SetLook(inactiveColor_[1], v); }
    void SetInactive3Color(const QColor& v) { SetLook(inactiveColor_[2], v); }
    QColor ScaleTextColor() const { return scaleTextColor_; }
    void SetScaleTextColor(const QColor& v) { SetLook(scaleTextColor_, v); }
    QColor ScaleLineColor() const { return scaleLineColor_; }
    void SetScaleLineColor(const QColor& v) { SetLook(scaleLineColor_, v); }
    QColor GridColor() const { return gridColor_; }
    void SetGridColor(const QColor& v) { SetLook(gridColor_, v); }
    // Plot background (the control's Color).
    void SetColor(const QColor& value);
    int Point1() const { return point1_; }
    void SetPoint1(int value);
    int Point2() const { return point2_; }
    void SetPoint2(int value);
    bool DrawInactive() const { return drawInactive_; }
    void SetDrawInactive(bool v) { SetLook(drawInactive_, v); }
    bool InactiveDoted() const { return inactiveDoted_; }
    void SetInactiveDoted(bool v) { SetLook(inactiveDoted_, v); }
    bool ActiveDoted() const { return activeDoted_; }
    void SetActiveDoted(bool v) { SetLook(activeDoted_, v); }
    int Space() const { return space_; }
    void SetSpace(int value);
    int SpotSpace() const { return spotSpace_; }
    void SetSpotSpace(int value);
    int SpotHeight() const { return spotHeight_; }
    void SetSpotHeight(int value);
    bool DrawFreqScale() const { return drawFreqScale_; }
    void SetDrawFreqScale(bool value);
    bool DrawAmpScale() const { return drawAmpScale_; }
    void SetDrawAmpScale(bool value);
    bool DrawGrid() const { return drawGrid_; }
    void SetDrawGrid(bool v) { SetLook(drawGrid_, v); }
    bool ShowInfo() const { return showInfo_; }
    void SetShowInfo(bool v) { showInfo_ = v; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    bool Visible() const { return !isHidden(); }

    // --- events
    TNotifyEvent OnGainOverflow;
    TNotifyEvent OnPcmOverflow;
    TNotifyEvent OnNeedData;
    TDrawBarEvent OnDrawBar;
    TClearBackgroundEvent OnClearBackground;
    // Assigning rebuilds the axis.
    void SetOnGetXScale(TGetXScaleEvent handler);

    // --- state, for the window and tests
    const TSpectrumKernel& Kernel() const { return kernel_; }
    QRect PlotRect() const { return plotRect_; }
    int SpotCount() const { return nSpots_; }
    bool TickClientRegistered() const { return tick_ != nullptr; }
    bool TickClientPaused() const { return tickPaused_; }
    bool InfoShowing() const { return infoShowing_.load(); }
    // Where the strongest bar's frequency is printed (control coordinates).
    QRect PeakTextRect() const { return peakTextRect_; }
    // The text the read-out shows for a point of the plot (control
    // coordinates).
    QString InfoText(QPoint at) const;
    // The text printed over the strongest bar ("" when none is printed).
    QString PeakText() const;
    // Draws a frame into the DIB without new data (what a repaint shows).
    void RenderFrame();
    // One peak tick, as the tick service calls it.
    void PeakTick();

protected:
    void PaintControl() override;
    void BoundsChanged() override;
    void DesigningChanged() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    template <typename T>
    void SetLook(T& field, const T& value)
    {
        if (field == value)
            return;
        field = value;
        LookChanged();
    }
    void LookChanged();
    void Geometry();
    void Zones();
    void RegisterTickClient();
    void UpdateTickPause();
    void ResetData();
    void EndInfo();
    void Frame(bool newData);
    // Copies the plot to the screen picture with the texts over it.
    void PresentPlot();

    // drawing (spectrumdraw.cpp); DrawFrame returns true on gain overflow
    bool DrawFrame(bool newData);
    void DrawBackgroundFor(bool newData);
    void DrawGridLines();
    void DrawKind();
    void DrawDots();
    void DrawLines(bool scroll);
    void DrawVLines();
    void DrawSpotBars(bool peaksOnly);
    void DrawSpot(TMMDIBCanvas& dib, int left, int right, int spot, std::uint32_t pixel, bool dotted);
    void BuildUnlitPicture();
    void BarColumns(int start, int end, int* left, int* right) const;
    void ZoneLine(int x1, int y1, int x2, int y2, const std::uint32_t* rowPixel);
    std::uint32_t Pixel(int zone);
    void BuildRowPixels(bool scroll);

    // scales and texts (spectrumscales.cpp)
    int AmpDivisions() const;
    int FreqTicks() const;
    QColor StripColor() const;
    void PaintScales(QPainter& painter);
    void PaintAmpScale(QPainter& painter, bool left);
    void PaintFreqScale(QPainter& painter);
    void UpdatePeakText();
    void PaintTexts(QPainter& painter);
    void PaintInfo(QPainter& painter);

    TSpectrumKernel kernel_;
    TMMSpectrumKind kind_ = skBars;
    std::atomic<int> numPeaks_{1};
    bool displayPeak_ = false;
    QColor barColor_[3];
    QColor inactiveColor_[3];
    QColor scaleTextColor_;
    QColor scaleLineColor_;
    QColor gridColor_;
    int point1_ = 50;
    int point2_ = 85;
    bool drawInactive_ = true;
    bool inactiveDoted_ = false;
    bool activeDoted_ = false;
    int space_ = 1;
    int spotSpace_ = 1;
    int spotHeight_ = 1;
    bool drawFreqScale_ = false;
    bool drawAmpScale_ = false;
    bool drawGrid_ = false;
    bool showInfo_ = true;
    bool enabled_ = true;
    TGetXScaleEvent onGetXScale_;

    // geometry
    QRect plotRect_;
    int w_ = 4;
    int h_ = 4;
    int nSpots_ = 1;
    int spotOffset_ = 0;
    int zone1_ = 0;
    int zone2_ = 0;
    std::unique_ptr<TMMDIBCanvas> unlit_;
    bool unlitDirty_ = true;
    int unlitLayout_ = -1;
    std::vector<std::uint32_t> rowPixel_;
    std::vector<int> peaks_;

    // peak tick and read-out
    TTickHandle tick_ = nullptr;
    bool tickPaused_ = false;
    std::atomic<bool> infoShowing_{false};
    QPoint infoAt_;
    QString savedToolTip_;
    QString peakText_;
    QRect peakTextRect_;
};

// Publishes the properties; the behaviour is TMMCustomSpectrum's.
class TMMSpectrum : public TMMCustomSpectrum {
public:
    using TMMCustomSpectrum::TMMCustomSpectrum;
};

}  // namespace zol
