#include "displays/scope.h"

#include "platform/window_thread.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zol {

namespace {
constexpr int kStepMsg = 1;
}

TScope::TScope(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(208, 120);
    EnsureBitmapSize();
    UpdateBaseY();
    Clear();
    ready_ = true;
}

TScope::~TScope()
{
    StopTimer();
    platform::RemovePostedMessages(this);
}

int TScope::YOf(int percent) const
{
    const double h = height();
    return height() - static_cast<int>(std::nearbyint(h / 100.0 * percent));
}

void TScope::ClearAndShow()
{
    if (!ready_)
        return;
    Clear();
    if (parentWidget() != nullptr && isVisible())
        repaint();
}

void TScope::SetBaseline(int value)
{
    if (value == baseline_)
        return;
    baseline_ = value;
    UpdateBaseY();
    ClearAndShow();
}

void TScope::SetGridsize(int value)
{
    value = std::max(value, 0);
    value -= value % 2;
    if (value == gridsize_)
        return;
    gridsize_ = value;
    UpdateBaseY();
    ClearAndShow();
}

void TScope::SetActive(bool value)
{
    if (value == active_)
        return;
    active_ = value;
    UpdateBaseY();
    if (active_)
        StartTimer();
    else
        StopTimer();
}

void TScope::SetInterval(int value)
{
    value = std::max(value, 1);
    if (value == interval_)
        return;
    StopTimer();
    UpdateBaseY();
    interval_ = value;
    if (active_)
        StartTimer();
}

void TScope::StartTimer()
{
    StopTimer();
    const std::int64_t periodUs = static_cast<std::int64_t>(interval_) * 10 * 1000;
    timer_ = platform::TheClock().StartPeriodic(periodUs, [this] { TimerFired(); });
}

void TScope::StopTimer()
{
    if (timer_ != 0) {
        platform::TheClock().KillTimer(timer_);
        timer_ = 0;
    }
}

void TScope::TimerFired()
{
    // Interval-timer ticks are window messages; like them, they do not pile
    // up while a step is still waiting.
    if (stepPosted_)
        return;
    stepPosted_ = true;
    platform::PostToWindow(
        [this] {
            stepPosted_ = false;
            if (active_)
                Step();
        },
        this, kStepMsg);
}

void TScope::EnsureBitmapSize()
{
    const QSize size(std::max(width(), 1), std::max(height(), 1));
    if (bitmap_.size() == size)
        return;
    QImage next(size, QImage::Format_RGB32);
    next.fill(color_);
    if (!bitmap_.isNull()) {
        QPainter p(&next);
        p.drawImage(0, 0, bitmap_);
    }
    bitmap_ = std::move(next);
}

void TScope::HorizontalGrid(QPainter& p, int x0, int x1)
{
    if (gridsize_ <= 0)
        return;
    const int h = height();
    for (int y = baseY_ + gridsize_;; y += gridsize_) {
        p.drawLine(x0, y, x1, y);
        if (y >= h)
            break;
    }
    for (int y = baseY_ - gridsize_;; y -= gridsize_) {
        p.drawLine(x0, y, x1, y);
        if (y <= 0)
            break;
    }
}

void TScope::Clear()
{
    UpdateBaseY();
    EnsureBitmapSize();
    const int w = width(), h = height();
    bitmap_.fill(color_);
    QPainter p(&bitmap_);
    p.setPen(QPen(gridcolor_, 1));
    if (gridsize_ > 0)
        for (int x = w - 1; x >= 0; x -= gridsize_)
            p.drawLine(x, 0, x, h);
    HorizontalGrid(p, 0, w);
    p.setPen(QPen(basecolor_, 1));
    p.drawLine(0, baseY_, w, baseY_);
    prevA_ = lastA_ = prevB_ = lastB_ = baseY_;
    prevC_.reset();
    lastC_.reset();
    stepsSinceC_ = 1LL << 40;
    gridPhase_ = 1;
}

void TScope::Plot(int a, int b)
{
    positionA_ = a;
    positionB_ = b;
    Step();
}

void TScope::Step()
{
    EnsureBitmapSize();
    const int w = bitmap_.width(), h = bitmap_.height();
    // Scroll the picture 2 pixels to the left.
    if (w > 2) {
        for (int y = 0; y < h; ++y) {
            auto* line = reinterpret_cast<std::uint32_t*>(bitmap_.scanLine(y));
            std::memmove(line, line + 2, static_cast<std::size_t>(w - 2) * sizeof(std::uint32_t));
        }
    }
    {
        QPainter p(&bitmap_);
        // The new 2-pixel strip.
        p.fillRect(QRect(w - 2, 0, 2, h), color_);
        p.setPen(QPen(gridcolor_, 1));
        if (gridPhase_ == gridsize_ / 2) {
            p.drawLine(w - 1, 0, w - 1, h);
            gridPhase_ = 0;
        }
        ++gridPhase_;
        HorizontalGrid(p, w - 2, w);
        p.setPen(QPen(basecolor_, 1));
        p.drawLine(w - 2, baseY_, w, baseY_);

        // Under the signal traces.
        DrawTraceC(p, w);
        p.setPen(QPen(linecolorA_, 1));
        DrawTrace(p, w, positionA_, prevA_, lastA_);
        p.setPen(QPen(linecolorB_, 1));
        DrawTrace(p, w, positionB_, prevB_, lastB_);
    }
    if (isVisible())
        repaint();
    if (OnUpdate)
        OnUpdate(this);
}

// The segment that ended at the last step is drawn again one step further
// left, then the one to the new position; a side without a value draws
// nothing, and a value after a gap starts with a point.
void TScope::DrawTrace(QPainter& p, int w, int position, int& prev, int& last)
{
    if (prev != kGap && last != kGap)
        p.drawLine(w - 4, prev, w - 2, last);
    const int y = position == kGap ? kGap : YOf(position);
    if (y != kGap) {
        if (last != kGap)
            p.drawLine(w - 2, last, w, y);
        else
            p.drawLine(w - 1, y, w, y);
    }
    prev = last;
    last = y;
}

// The third trace has no baseline to start from: it begins with a point
// and ends with its last segment, so a gap in it (no value) stays a gap.
void TScope::DrawTraceC(QPainter& p, int w)
{
    p.setPen(QPen(linecolorC_, 1));
    if (prevC_ && lastC_)
        p.drawLine(w - 4, *prevC_, w - 2, *lastC_);
    std::optional<int> yc;
    if (positionC_) {
        yc = YOf(*positionC_);
        if (lastC_)
            p.drawLine(w - 2, *lastC_, w, *yc);
        else
            p.drawLine(w - 1, *yc, w, *yc);
    }
    prevC_ = lastC_;
    lastC_ = yc;
    if (yc || prevC_)
        stepsSinceC_ = 0;
    else
        ++stepsSinceC_;
}

bool TScope::TraceCShown() const
{
    // The last segment drawn lies at x w - 4 .. w - 2 and moves 2 pixels a step.
    return stepsSinceC_ <= (bitmap_.width() - 2) / 2;
}

// Percent marks at the left edge, in the trace's colour: the third trace
// reads on its own scale, not on the chart's.
void TScope::DrawScaleC(QPainter& p) const
{
    const int h = height();
    QFont font = p.font();
    font.setPixelSize(10);
    p.setFont(font);
    p.setPen(QPen(linecolorC_.darker(130), 1));
    for (int percent : {0, 50, 100}) {
        const int y = std::clamp(YOf(percent), 0, h - 1);
        p.drawLine(0, y, 4, y);
        const int top = std::clamp(y - 6, 0, h - 12);
        p.drawText(QRect(6, top, 120, 12), Qt::AlignLeft | Qt::AlignVCenter,
                   percent == 100 ? QStringLiteral("obscuration 100 %") : QStringLiteral("%1 %").arg(percent));
    }
}

void TScope::paintEvent(QPaintEvent*)
{
    EnsureBitmapSize();
    QPainter p(this);
    p.drawImage(0, 0, bitmap_);
    if (TraceCShown())
        DrawScaleC(p);
    ready_ = true;
}

void TScope::resizeEvent(QResizeEvent*)
{
    EnsureBitmapSize();
}

void TScope::mousePressEvent(QMouseEvent* event)
{
    if (OnMouseDown)
        OnMouseDown(this, event);
}

void TScope::mouseMoveEvent(QMouseEvent* event)
{
    if (OnMouseMove)
        OnMouseMove(this, event);
}

void TScope::mouseReleaseEvent(QMouseEvent* event)
{
    if (OnMouseUp)
        OnMouseUp(this, event);
}

}  // namespace zol
