#include "controls/scale.h"

#include "platform/errors.h"
#include "platform/strings.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace zol {

void TMMCustomScale::Changed()
{
    if (onChange_)
        onChange_(this);
}

void TMMCustomScale::SetVisible(bool value)
{
    Set(visible_, value);
}

void TMMCustomScale::SetColor(const TColor& value)
{
    if (color_ == value)
        return;
    color_ = value;
    middleColor_ = value;
    upperColor_ = value;
    Changed();
}

void TMMCustomScale::SetStyle(TMMScaleStyle value)
{
    Set(style_, value);
}

void TMMCustomScale::SetTickCount(int value)
{
    Set(tickCount_, std::max(value, 2));
}

void TMMCustomScale::SetEnlargeEvery(int value)
{
    Set(enlargeEvery_, std::max(value, 1));
}

void TMMCustomScale::SetSize(int value)
{
    Set(size_, std::max(value, 1));
}

void TMMCustomScale::SetOrigin(TMMScaleOrigin value)
{
    Set(origin_, value);
}

void TMMCustomScale::SetConnect(bool value)
{
    Set(connect_, value);
}

void TMMCustomScale::SetZones(const TColor& middle, const TColor& upper, int lowerLimit, int upperLimit)
{
    middleColor_ = middle;
    upperColor_ = upper;
    lowerLimit_ = lowerLimit;
    upperLimit_ = upperLimit;
    Changed();
}

void TMMCustomScale::Assign(const TMMCustomScale& source)
{
    if (&source == this)
        return;
    visible_ = source.visible_;
    color_ = source.color_;
    middleColor_ = source.color_;
    upperColor_ = source.color_;
    style_ = source.style_;
    tickCount_ = source.tickCount_;
    enlargeEvery_ = source.enlargeEvery_;
    size_ = source.size_;
    origin_ = source.origin_;
    connect_ = source.connect_;
    Changed();
}

int TMMCustomScale::ScaleExtent() const
{
    int extent = size_;
    if (connect_) {
        ++extent;
        if (style_ != stColor)
            ++extent;
    }
    return extent;
}

// A line from (x1, y1) towards (x2, y2), the end point not set.
void TMMCustomScale::Line(int x1, int y1, int x2, int y2, const TColor& color)
{
    if (x1 == x2 && y1 == y2)
        return;
    const int dx = x2 - x1;
    const int dy = y2 - y1;
    const int steps = std::max(std::abs(dx), std::abs(dy));
    // The last pixel before the end point, along the line.
    const int ex = x1 + static_cast<int>(std::lround(double(dx) * (steps - 1) / steps));
    const int ey = y1 + static_cast<int>(std::lround(double(dy) * (steps - 1) / steps));
    canvas_->setPen(QPen(color, 0));
    if (ex == x1 && ey == y1)
        canvas_->drawPoint(x1, y1);
    else
        canvas_->drawLine(x1, y1, ex, ey);
}

void TMMCustomScale::StyledLine(int x1, int y1, int x2, int y2, const TColor& color)
{
    if (style_ == stColor) {
        Line(x1, y1, x2, y2, color);
        return;
    }
    const TColor first = style_ == stLowered ? clBlack : clWhite;
    const TColor second = style_ == stLowered ? clWhite : clBlack;
    Line(x1, y1, x2, y2, first);
    const int dx = x2 - x1;
    const int dy = y2 - y1;
    int sx = 0;
    int sy = 0;
    if (std::abs(dx) > std::abs(dy)) {
        sy = 1;
    } else if (dx == 0) {
        sx = 1;
    } else {
        // Slope in screen terms: positive when both deltas have one sign.
        sx = (double(dy) / double(dx)) >= 0 ? 1 : -1;
    }
    Line(x1 + sx, y1 + sy, x2 + sx, y2 + sy, second);
}

void TMMCustomScale::DrawScale(QPainter* canvas, const QRect& rect, bool before)
{
    if (canvas != nullptr)
        canvas_ = canvas;
    DrawScale(rect, before);
}

TMMCustomScale::Layout TMMCustomScale::LayoutFor(const QRect& rect, bool before) const
{
    Layout l{};
    l.left = rect.left();
    l.top = rect.top();
    l.right = rect.left() + rect.width();
    l.bottom = rect.top() + rect.height();
    l.horizontal = rect.width() > rect.height();
    l.length = l.horizontal ? rect.width() : rect.height();
    l.far = (origin_ == soInner && before) || (origin_ == soOuter && !before);
    l.c = (connect_ && style_ != stColor) ? 1 : 0;
    l.zones = (middleColor_ != color_ || upperColor_ != color_) && 0 <= lowerLimit_ && lowerLimit_ <= upperLimit_ &&
              upperLimit_ <= tickCount_ && style_ == stColor;
    if (l.zones) {
        l.z1 = double(lowerLimit_) / tickCount_ * l.length;
        l.z2 = double(upperLimit_) / tickCount_ * l.length;
        l.s = double(l.length) / tickCount_;
    }
    return l;
}

void TMMCustomScale::DrawScale(const QRect& rect, bool before)
{
    if (canvas_ == nullptr)
        throw EMMScaleError(LoadResString(SCanvasNeeded));
    const Layout l = LayoutFor(rect, before);
    canvas_->save();
    canvas_->setRenderHint(QPainter::Antialiasing, false);
    if (connect_)
        DrawConnectLine(l);
    DrawTicks(l);
    canvas_->restore();
}

void TMMCustomScale::DrawConnectLine(const Layout& l)
{
    int x1, y1, x2, y2;
    if (l.horizontal) {
        const int y = l.far ? l.bottom - l.c : l.top - 1;
        x1 = l.left;
        y1 = y;
        x2 = l.right + 1;
        y2 = y;
    } else {
        const int x = l.far ? l.right - l.c - 1 : l.left;
        x1 = x;
        y1 = l.top + 1;
        x2 = x;
        y2 = l.bottom + 1;
    }
    if (!l.zones) {
        StyledLine(x1, y1, x2, y2, color_);
        return;
    }
    // Three pieces along the line: normal, middle zone, upper zone.
    const int start = l.horizontal ? x1 : y1;
    const int end = l.horizontal ? x2 : y2;
    const int a = static_cast<int>(start + l.z1 + l.s);
    const int b = static_cast<int>(start + l.z2 + l.s);
    auto piece = [&](int from, int to, const TColor& color) {
        from = std::clamp(from, start, end);
        to = std::clamp(to, start, end);
        if (to <= from)
            return;
        if (l.horizontal)
            StyledLine(from, y1, to, y2, color);
        else
            StyledLine(x1, from, x2, to, color);
    };
    piece(start, a, color_);
    piece(a, b, middleColor_);
    piece(b, end, upperColor_);
}

void TMMCustomScale::DrawTicks(const Layout& l)
{
    for (int i = 0; i < tickCount_; ++i) {
        const double p = double(l.length) * i / (tickCount_ - 1);
        const int tick = (i % enlargeEvery_ == 0) ? size_ : size_ / 2;
        TColor color = color_;
        if (l.zones) {
            if (p > l.z2)
                color = upperColor_;
            else if (p > l.z1)
                color = middleColor_;
        }
        if (l.horizontal) {
            const int x = l.left + static_cast<int>(p);
            if (l.far)
                StyledLine(x, l.bottom - tick, x, l.bottom, color);
            else
                StyledLine(x, l.top, x, l.top + tick, color);
        } else {
            const int y = l.top + static_cast<int>(std::nearbyint(p));
            if (l.far)
                StyledLine(l.right - tick - l.c, y, l.right - l.c, y, color);
            else
                StyledLine(l.left + l.c, y, l.left + l.c + tick, y, color);
        }
    }
}

}  // namespace zol
