// TScope: a two-trace strip-chart recorder. Every Interval * 10 ms it scrolls
// its picture 2 pixels to the left, draws the newest segment of both traces at
// the right edge over the grid and the baseline, and raises OnUpdate so that
// its owner can set the next positions. An optional third trace (a share,
// 0..100 % of the height, such as the Sun's obscuration) is drawn under the
// two, with a scale of its own at the left edge while it is in the picture.
// A trace whose position is kGap has no value at that step: nothing is
// drawn for it there, and the picture shows a gap.
#pragma once

#include "controls/colors.h"
#include "core/mmcomponent.h"
#include "platform/clock.h"

#include <QImage>
#include <QWidget>

#include <climits>
#include <functional>
#include <optional>

namespace zol {

class TScope : public QWidget {
public:
    using TMouseEvent = std::function<void(QObject* sender, QMouseEvent* event)>;

    // The position of a trace that has no value at a step.
    static constexpr int kGap = INT_MIN;

    explicit TScope(QWidget* parent = nullptr);
    ~TScope() override;

    int Baseline() const { return baseline_; }
    void SetBaseline(int value);
    // Stored rounded toward zero to an even number; 0 draws no grid.
    int Gridsize() const { return gridsize_; }
    void SetGridsize(int value);
    bool Active() const { return active_; }
    void SetActive(bool value);
    int PositionA() const { return positionA_; }
    void SetPositionA(int value) { positionA_ = value; }
    int PositionB() const { return positionB_; }
    void SetPositionB(int value) { positionB_ = value; }
    // Hundredths of a second, at least 1.
    int Interval() const { return interval_; }
    void SetInterval(int value);
    QColor Color() const { return color_; }
    void SetColor(const QColor& c) { color_ = c; }
    QColor Gridcolor() const { return gridcolor_; }
    void SetGridcolor(const QColor& c) { gridcolor_ = c; }
    QColor LinecolorA() const { return linecolorA_; }
    void SetLinecolorA(const QColor& c) { linecolorA_ = c; }
    QColor LinecolorB() const { return linecolorB_; }
    void SetLinecolorB(const QColor& c) { linecolorB_ = c; }
    // The third trace's value at the next step, in percent of the height
    // (0 bottom, 100 top); none leaves the trace out from that step on.
    std::optional<int> PositionC() const { return positionC_; }
    void SetPositionC(std::optional<int> value) { positionC_ = value; }
    QColor LinecolorC() const { return linecolorC_; }
    void SetLinecolorC(const QColor& c) { linecolorC_ = c; }
    // Whether the picture still holds a part of the third trace (its scale
    // is shown then).
    bool TraceCShown() const;
    QColor Basecolor() const { return basecolor_; }
    void SetBasecolor(const QColor& c) { basecolor_ = c; }

    TNotifyEvent OnUpdate;
    TMouseEvent OnMouseDown, OnMouseMove, OnMouseUp;

    int Width() const { return width(); }
    int Height() const { return height(); }
    void SetBounds(int left, int top, int w, int h) { setGeometry(left, top, w, h); }

    // Repaints the empty chart into the picture (not onto the screen).
    void Clear();
    // Sets both positions and steps at once.
    void Plot(int a, int b);
    // One step of the recorder.
    void Step();

    // The whole picture, as it is copied to the screen.
    const QImage& Picture() const { return bitmap_; }
    // y of a percentage of the height (0 = bottom edge, 100 = top edge).
    int YOf(int percent) const;
    int BaselineY() const { return baseY_; }
    bool TimerRunning() const { return timer_ != 0; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void UpdateBaseY() { baseY_ = YOf(baseline_); }
    void EnsureBitmapSize();
    void StartTimer();
    void StopTimer();
    void TimerFired();
    void HorizontalGrid(QPainter& p, int x0, int x1);
    void ClearAndShow();
    void DrawTraceC(QPainter& p, int w);
    // Draws one signal trace's newest segment; prev and last follow it.
    void DrawTrace(QPainter& p, int w, int position, int& prev, int& last);
    void DrawScaleC(QPainter& p) const;

    int baseline_ = 50;
    int gridsize_ = 16;
    bool active_ = false;
    int positionA_ = 50;
    int positionB_ = 60;
    int interval_ = 50;
    QColor color_ = clBlack;
    QColor gridcolor_ = clGreen;
    QColor linecolorA_ = clLime;
    QColor linecolorB_ = clWhite;
    QColor basecolor_ = clRed;
    std::optional<int> positionC_;
    QColor linecolorC_ = QColor(0x6C, 0xB4, 0xF0);

    QImage bitmap_;
    platform::TimerId timer_ = 0;
    bool stepPosted_ = false;
    int baseY_ = 0;
    // y of the trace at the last two steps; kGap where it had no value.
    int prevA_ = 0, lastA_ = 0, prevB_ = 0, lastB_ = 0;
    std::optional<int> prevC_, lastC_;
    // Steps since the third trace was last drawn (it leaves the picture
    // after width / 2 of them).
    long long stepsSinceC_ = 1LL << 40;
    int gridPhase_ = 1;
    bool ready_ = false;
};

}  // namespace zol
