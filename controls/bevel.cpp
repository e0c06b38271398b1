#include "controls/bevel.h"

#include <QPainter>

namespace zol {

QRect DrawFrameRing(QPainter& painter, QRect rect, const QColor& topLeft,
                    const QColor& bottomRight, int width)
{
    for (int i = 0; i < width && rect.width() > 0 && rect.height() > 0; ++i) {
        const int l = rect.left(), t = rect.top(), r = rect.right(), b = rect.bottom();
        // Top row and left column (without the far corners) in the light
        // colour; right column and bottom row, corners included, in the dark.
        painter.fillRect(QRect(l, t, r - l, 1), topLeft);
        painter.fillRect(QRect(l, t, 1, b - t), topLeft);
        painter.fillRect(QRect(r, t, 1, b - t + 1), bottomRight);
        painter.fillRect(QRect(l, b, r - l + 1, 1), bottomRight);
        rect.adjust(1, 1, -1, -1);
    }
    return rect;
}

void TMMBevel::SetBevelInner(TBevelCut v) { Set(bevelInner_, v); }
void TMMBevel::SetBevelOuter(TBevelCut v) { Set(bevelOuter_, v); }
void TMMBevel::SetBevelInnerWidth(int v) { Set(bevelInnerWidth_, std::max(v, 0)); }
void TMMBevel::SetBevelOuterWidth(int v) { Set(bevelOuterWidth_, std::max(v, 0)); }
void TMMBevel::SetBorderStyle(TBorderStyle v) { Set(borderStyle_, v); }
void TMMBevel::SetBorderWidth(int v) { Set(borderWidth_, std::max(v, 0)); }
void TMMBevel::SetBorderSpace(int v) { Set(borderSpace_, std::max(v, 0)); }
void TMMBevel::SetBorderColor(const QColor& v) { Set(borderColor_, v); }
void TMMBevel::SetBorderSpaceColor(const QColor& v) { Set(borderSpaceColor_, v); }
void TMMBevel::SetInnerLightColor(const QColor& v) { Set(innerLightColor_, v); }
void TMMBevel::SetInnerShadowColor(const QColor& v) { Set(innerShadowColor_, v); }
void TMMBevel::SetOuterLightColor(const QColor& v) { Set(outerLightColor_, v); }
void TMMBevel::SetOuterShadowColor(const QColor& v) { Set(outerShadowColor_, v); }

void TMMBevel::Assign(const TMMBevel& source)
{
    if (&source == this)
        return;
    BeginUpdate();
    SetBevelInner(source.bevelInner_);
    SetBevelOuter(source.bevelOuter_);
    SetBevelInnerWidth(source.bevelInnerWidth_);
    SetBevelOuterWidth(source.bevelOuterWidth_);
    SetBorderStyle(source.borderStyle_);
    SetBorderWidth(source.borderWidth_);
    SetBorderSpace(source.borderSpace_);
    SetBorderColor(source.borderColor_);
    SetBorderSpaceColor(source.borderSpaceColor_);
    SetInnerLightColor(source.innerLightColor_);
    SetInnerShadowColor(source.innerShadowColor_);
    SetOuterLightColor(source.outerLightColor_);
    SetOuterShadowColor(source.outerShadowColor_);
    EndUpdate();
}

int TMMBevel::BevelExtent() const
{
    int extent = borderWidth_ + borderSpace_;
    if (bevelOuter_ != bvNone)
        extent += bevelOuterWidth_;
    if (bevelInner_ != bvNone)
        extent += bevelInnerWidth_;
    if (borderStyle_ == bsSingle)
        extent += 1;
    return extent;
}

// A bvSpace cut counts in the extent but is neither drawn nor taken off the
// rectangle here: the interior fill covers it.
QRect TMMBevel::PaintBevel(QPainter& painter, QRect rect, bool drawBorder) const
{
    if (borderStyle_ == bsSingle)
        rect = DrawFrameRing(painter, rect, clWindowFrame, clWindowFrame, 1);
    if (bevelOuter_ == bvLowered)
        rect = DrawFrameRing(painter, rect, outerShadowColor_, outerLightColor_, bevelOuterWidth_);
    else if (bevelOuter_ == bvRaised)
        rect = DrawFrameRing(painter, rect, outerLightColor_, outerShadowColor_, bevelOuterWidth_);
    if (drawBorder)
        rect = DrawFrameRing(painter, rect, borderColor_, borderColor_, borderWidth_);
    else
        rect.adjust(borderWidth_, borderWidth_, -borderWidth_, -borderWidth_);
    if (bevelInner_ == bvLowered)
        rect = DrawFrameRing(painter, rect, innerShadowColor_, innerLightColor_, bevelInnerWidth_);
    else if (bevelInner_ == bvRaised)
        rect = DrawFrameRing(painter, rect, innerLightColor_, innerShadowColor_, bevelInnerWidth_);
    if (borderSpace_ > 0)
        rect = DrawFrameRing(painter, rect, borderSpaceColor_, borderSpaceColor_, borderSpace_);
    return rect;
}

}  // namespace zol
