// TScope: a two-trace strip-chart recorder. Every Interval * 10 ms it scrolls
// its picture 2 pixels to the left, draws the newest segment of both traces at
// the right edge over the grid and the baseline, and raises OnUpdate so that
// its owner can set the next positions.
#pragma once

#include "controls/colors.h"
#include "core/mmcomponent.h"
#include "platform/clock.h"

#include <QImage>
#include <QWidget>

#include <functional>

namespace zol {

class TScope : public QWidget {
public:
    using TMouseEvent = std::function<void(QObject* sender, QMouseEvent* event)>;

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

    QImage bitmap_;
    platform::TimerId timer_ = 0;
    bool stepPosted_ = false;
    int baseY_ = 0;
    int prevA_ = 0, lastA_ = 0, prevB_ = 0, lastB_ = 0;
    int gridPhase_ = 1;
    bool ready_ = false;
};

}  // namespace zol
