// TMMOscope: an oscilloscope. In waveform mode it shows the last block of PCM
// a display connector handed to it, one point per plot column; in scroll mode
// each block adds one column with the block's minimum and maximum to a strip
// that fills from the left and then scrolls. Every block is drawn at once into
// the display's drawing surface and only the plot is repainted.
#pragma once

#include "chain/mmdisplay.h"
#include "platform/waveformat.h"
#include "displays/dibcanvas.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace zol {

enum TMMOscopeKind { okDots, okConLines, okVertLines, okMirLines, okSpikes };
enum TMMOscopeEffect { efNone, efPeak, efSplit };

class TMMOscope : public TMMDIBGraphicControl, public IMMDisplay {
public:
    // Replaces the built-in trace: the surface (drawing), the plot rectangle
    // (0, 0, W, H) and the W points.
    using TDrawLineEvent = std::function<void(QObject* sender, TMMDIBCanvas* dib, const QRect& rect,
                                              const std::int16_t* data)>;

    explicit TMMOscope(QWidget* parent = nullptr);
    ~TMMOscope() override;

    // --- display operations
    void SetWaveFormat(const WAVEFORMATEX* format) override;
    void GetWaveFormat(WAVEFORMATEX& format) const;
    int NeededBytes() const override;
    void ShowPCMData(const char* data) override;
    void ResetDisplay() override;
    QObject* DisplayObject() override { return this; }

    // --- data
    TMMBits BitLength() const override { return bitLength_; }
    void SetBitLength(TMMBits value);
    TMMMode Mode() const override { return mode_; }
    void SetMode(TMMMode value);
    TMMChannel Channel() const { return channel_; }
    void SetChannel(TMMChannel value);
    // 8000..88200.
    int SampleRate() const { return sampleRate_; }
    void SetSampleRate(int value);
    // Every Steps-th point is drawn; 1..9.
    int Steps() const { return steps_; }
    void SetSteps(int value);
    // -9..9; 0 is ignored. Negative values repeat each frame |Zoom| + 1 times.
    int Zoom() const { return zoom_; }
    void SetZoom(int value);
    // Eighths over 8: -8..32; other values are ignored.
    int Gain() const { return gain_; }
    void SetGain(int value);
    // Frames per scroll column: 1..4096, rounded down to a power of two.
    int FFTLength() const override { return fftLength_; }
    void SetFFTLength(int value);
    bool Scroll() const override { return scroll_; }
    void SetScroll(bool value);
    bool Accelerate() const override { return accelerate_; }
    void SetAccelerate(bool value);
    bool LowPass() const { return lowPass_; }
    void SetLowPass(bool value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);

    // --- look
    TMMOscopeKind Kind() const { return kind_; }
    void SetKind(TMMOscopeKind value);
    TMMOscopeEffect Effect() const { return effect_; }
    void SetEffect(TMMOscopeEffect value);
    QColor ForegroundColor() const { return foregroundColor_; }
    void SetForegroundColor(const QColor& v) { SetLook(foregroundColor_, v); }
    QColor InactiveColor() const { return inactiveColor_; }
    void SetInactiveColor(const QColor& v) { SetLook(inactiveColor_, v); }
    QColor EffectColor() const { return effectColor_; }
    void SetEffectColor(const QColor& v) { SetLook(effectColor_, v); }
    QColor DisabledColor() const { return disabledColor_; }
    void SetDisabledColor(const QColor& v) { SetLook(disabledColor_, v); }
    QColor ScaleTextColor() const { return scaleTextColor_; }
    void SetScaleTextColor(const QColor& v) { SetLook(scaleTextColor_, v); }
    QColor ScaleLineColor() const { return scaleLineColor_; }
    void SetScaleLineColor(const QColor& v) { SetLook(scaleLineColor_, v); }
    QColor GridColor() const { return gridColor_; }
    void SetGridColor(const QColor& v) { SetLook(gridColor_, v); }
    QColor BarColor() const { return barColor_; }
    void SetBarColor(const QColor& v) { SetLook(barColor_, v); }
    QColor BarTickColor() const { return barTickColor_; }
    void SetBarTickColor(const QColor& v) { SetLook(barTickColor_, v); }
    int BarWidth() const { return barWidth_; }
    void SetBarWidth(int value);
    bool DrawAmpScale() const { return drawAmpScale_; }
    void SetDrawAmpScale(bool value);
    bool DrawTimeScale() const { return drawTimeScale_; }
    void SetDrawTimeScale(bool value);
    bool DrawGrid() const { return drawGrid_; }
    void SetDrawGrid(bool v) { SetLook(drawGrid_, v); }
    bool DrawMidLine() const { return drawMidLine_; }
    void SetDrawMidLine(bool v) { SetLook(drawMidLine_, v); }
    bool ShowInfo() const { return showInfo_; }
    void SetShowInfo(bool v) { showInfo_ = v; }

    TNotifyEvent OnGainOverflow;
    TNotifyEvent OnPcmOverflow;
    TDrawLineEvent OnDrawLine;
    TNotifyEvent OnPostPaint;

    // --- run-time state, for the program and its tests
    // The plot in control coordinates, and its size in points (at least 4).
    QRect PlotRect();
    int PlotWidth();
    int PlotHeight();
    // The points of the last block (two in scroll mode: minimum, maximum).
    const std::vector<std::int16_t>& Points() const { return points_; }
    // Amplitude divisions of the grid and scales; time divisions.
    int Divisions();
    int TimeDivisions();
    // Row of division k (0 at the bottom .. Divisions() at the top).
    int DivisionRow(int k);
    // Scroll mode: the column the next block goes to, and columns filled.
    int ScrollColumn() const { return column_; }
    int ScrollFilled() const { return filled_; }
    bool InfoShowing() const { return infoShowing_; }
    // The read-out text for a point of the plot (plot coordinates).
    QString InfoText(int x, int y);
    // Milliseconds of audio in one block of NeededBytes.
    double BlockMs() const;
    // Oscilloscopes alive outside design state.
    static int OscopeCount();

protected:
    void PaintControl() override;
    void BoundsChanged() override;
    void BevelChanged() override;
    void DesigningChanged() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    template <typename T>
    void SetLook(T& field, const T& value)
    {
        if (field == value)
            return;
        field = value;
        Invalidate();
    }
    void ApplySizeLimits();
    void Layout();
    void RecomputeNeededBytes();
    void ResetPoints();
    void ResetScroll();
    // Starts the strip again at the next block.
    void RestartStrip() { restart_ = true; }
    static void RestartOthers(TMMOscope* self);
    void BlockToPoints(const char* data);
    void BlockToMinMax(const char* data);

    // Drawing (oscope_draw.cpp).
    void DrawFrame(bool fullRepaint, bool block);
    int Row(int v, int& h);
    int DivRow(int k) const;
    bool InBand(int h) const { return effect_ != efNone && (h < bandLow_ || h > bandHigh_); }
    void DrawTrace();
    void DrawVerticalRun(int x, int y, int h);
    void DrawSpike(int x, int v);
    void DrawGridLines();
    void DrawScrollColumn(bool wholeCopy);
    void DrawColumnValues(int x);
    void DrawCursorBar(int x);
    void DrawScreenBar(int x);
    void CopyPlot();
    void DrawScales(QPainter& p, const QRect& inner);
    void DrawAmpScaleTexts(QPainter& p);
    void DrawTimeScaleTexts(QPainter& p);
    QColor ParentColor() const;

    // Read-out (oscope_draw.cpp).
    void ShowInfoBox(const QPoint& at);
    void HideInfoBox();
    void EndInfo();

    TMMOscopeKind kind_ = okDots;
    TMMOscopeEffect effect_ = efNone;
    QColor foregroundColor_ = clAqua;
    QColor inactiveColor_ = clTeal;
    QColor effectColor_ = clRed;
    QColor disabledColor_ = clGray;
    QColor scaleTextColor_ = clBlack;
    QColor scaleLineColor_ = clBlack;
    QColor gridColor_ = clGray;
    QColor barColor_ = clGray;
    QColor barTickColor_ = clWhite;
    int barWidth_ = 5;
    TMMBits bitLength_ = b8Bit;
    TMMChannel channel_ = chBoth;
    int sampleRate_ = 11025;
    TMMMode mode_ = mMono;
    int steps_ = 1;
    int zoom_ = 1;
    int gain_ = 0;
    bool drawAmpScale_ = false;
    bool drawTimeScale_ = false;
    bool drawGrid_ = false;
    bool drawMidLine_ = false;
    int fftLength_ = 128;
    bool accelerate_ = true;
    bool scroll_ = false;
    bool lowPass_ = false;
    bool showInfo_ = true;
    bool enabled_ = true;

    // Layout, recomputed with every size change.
    QRect plot_;
    int w_ = 4;
    int h_ = 4;
    int m_ = 2;
    int divisions_ = 10;
    int timeDivisions_ = 2;
    int bandLow_ = 0;
    int bandHigh_ = 0;
    int offset_ = 32767;
    int range_ = 65535;
    int neededBytes_ = 0;
    std::vector<std::int16_t> points_;

    // Scroll mode.
    int column_ = 0;
    int filled_ = 0;
    bool restart_ = false;
    QPoint lastPoint_;

    // Overflow seen while drawing the current frame.
    bool pcmOverflow_ = false;
    bool gainOverflow_ = false;

    // Read-out.
    bool infoShowing_ = false;
    QPoint infoAt_;
    QRect patchRect_;
    QImage patch_;
    QString savedToolTip_;
};

}  // namespace zol
