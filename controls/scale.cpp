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

void TMMCustomScale::DrawScale(const QRect& rect, bool before)
{
    if (canvas_ == nullptr)
        throw EMMScaleError(LoadResString(SCanvasNeeded));
    const int left = rect.left();
    const int top = rect.top();
    const int right = rect.left() + rect.width();  // exclusive edges
    const int bottom = rect.top() + rect.height();
    const bool horizontal = rect.width() > rect.height();
    const int length = horizontal ? rect.width() : rect.height();
    const bool far = (origin_ == soInner && before) || (origin_ == soOuter && !before);
    const int c = (connect_ && style_ != stColor) ? 1 : 0;

    const bool zones = (middleColor_ != color_ || upperColor_ != color_) && 0 <= lowerLimit_ &&
                       lowerLimit_ <= upperLimit_ && upperLimit_ <= tickCount_ && style_ == stColor;
    double z1 = 0, z2 = 0, s = 0;
    if (zones) {
        z1 = double(lowerLimit_) / tickCount_ * length;
        z2 = double(upperLimit_) / tickCount_ * length;
        s = double(length) / tickCount_;
    }

    canvas_->save();
    canvas_->setRenderHint(QPainter::Antialiasing, false);

    if (connect_) {
        int x1, y1, x2, y2;
        if (horizontal) {
            const int y = far ? bottom - c : top - 1;
            x1 = left;
            y1 = y;
            x2 = right + 1;
            y2 = y;
        } else {
            const int x = far ? right - c - 1 : left;
            x1 = x;
            y1 = top + 1;
            x2 = x;
            y2 = bottom + 1;
        }
        if (!zones) {
            StyledLine(x1, y1, x2, y2, color_);
        } else {
            // Three pieces along the line: normal, middle zone, upper zone.
            const int start = horizontal ? x1 : y1;
            const int end = horizontal ? x2 : y2;
            const int a = static_cast<int>(start + z1 + s);
            const int b = static_cast<int>(start + z2 + s);
            auto piece = [&](int from, int to, const TColor& color) {
                from = std::clamp(from, start, end);
                to = std::clamp(to, start, end);
                if (to <= from)
                    return;
                if (horizontal)
                    StyledLine(from, y1, to, y2, color);
                else
                    StyledLine(x1, from, x2, to, color);
            };
            piece(start, a, color_);
            piece(a, b, middleColor_);
            piece(b, end, upperColor_);
        }
    }

    for (int i = 0; i < tickCount_; ++i) {
        const double p = double(length) * i / (tickCount_ - 1);
        const int tick = (i % enlargeEvery_ == 0) ? size_ : size_ / 2;
        TColor color = color_;
        if (zones) {
            if (p > z2)
                color = upperColor_;
            else if (p > z1)
                color = middleColor_;
        }
        if (horizontal) {
            const int x = left + static_cast<int>(p);
            if (far)
                StyledLine(x, bottom - tick, x, bottom, color);
            else
                StyledLine(x, top, x, top + tick, color);
        } else {
            const int y = top + static_cast<int>(std::nearbyint(p));
            if (far)
                StyledLine(right - tick - c, y, right - c, y, color);
            else
                StyledLine(left + c, y, left + c + tick, y, color);
        }
    }
    canvas_->restore();
}

}  // namespace zol
