// TMMBevel, the frame every visual component draws around its content.
#pragma once

#include "controls/colors.h"
#include "core/mmobject.h"

#include <QRect>

#include <functional>

class QPainter;

namespace zol {


enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
enum TBorderStyle { bsNone, bsSingle };

// Draws `width` nested one-pixel frames, top and left edges in `topLeft`,
// bottom and right edges in `bottomRight`; returns the rectangle inside them.
QRect DrawFrameRing(QPainter& painter, QRect rect, const QColor& topLeft,
                    const QColor& bottomRight, int width);

class TMMBevel : public TMMObject {
public:
    TBevelCut BevelInner() const { return bevelInner_; }
    TBevelCut BevelOuter() const { return bevelOuter_; }
    int BevelInnerWidth() const { return bevelInnerWidth_; }
    int BevelOuterWidth() const { return bevelOuterWidth_; }
    TBorderStyle BorderStyle() const { return borderStyle_; }
    int BorderWidth() const { return borderWidth_; }
    int BorderSpace() const { return borderSpace_; }
    QColor BorderColor() const { return borderColor_; }
    QColor BorderSpaceColor() const { return borderSpaceColor_; }
    QColor InnerLightColor() const { return innerLightColor_; }
    QColor InnerShadowColor() const { return innerShadowColor_; }
    QColor OuterLightColor() const { return outerLightColor_; }
    QColor OuterShadowColor() const { return outerShadowColor_; }

    void SetBevelInner(TBevelCut v);
    void SetBevelOuter(TBevelCut v);
    void SetBevelInnerWidth(int v);
    void SetBevelOuterWidth(int v);
    void SetBorderStyle(TBorderStyle v);
    void SetBorderWidth(int v);
    void SetBorderSpace(int v);
    void SetBorderColor(const QColor& v);
    void SetBorderSpaceColor(const QColor& v);
    void SetInnerLightColor(const QColor& v);
    void SetInnerShadowColor(const QColor& v);
    void SetOuterLightColor(const QColor& v);
    void SetOuterShadowColor(const QColor& v);

    // Copies all thirteen values as one change.
    void Assign(const TMMBevel& source);

    // Width of the frame on each side.
    int BevelExtent() const;
    // Paints the frame into `rect` and returns the inner rectangle.
    QRect PaintBevel(QPainter& painter, QRect rect, bool drawBorder) const;

private:
    template <typename T>
    void Set(T& field, const T& value)
    {
        if (field == value)
            return;
        field = value;
        Changed();
    }

    TBevelCut bevelInner_ = bvNone;
    TBevelCut bevelOuter_ = bvLowered;
    int bevelInnerWidth_ = 1;
    int bevelOuterWidth_ = 1;
    TBorderStyle borderStyle_ = bsNone;
    int borderWidth_ = 0;
    int borderSpace_ = 0;
    QColor borderColor_ = clBtnFace;
    QColor borderSpaceColor_ = clBlack;
    QColor innerLightColor_ = clBtnHighlight;
    QColor innerShadowColor_ = clBtnShadow;
    QColor outerLightColor_ = clBtnHighlight;
    QColor outerShadowColor_ = clBtnShadow;
};

}  // namespace zol
