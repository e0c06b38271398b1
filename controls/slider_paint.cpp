// The slider's painting: bevel, end pictures, scale, groove, focus mark
// and thumb, drawn into its paint buffer.
#include "controls/slider.h"

#include <QPainter>

namespace zol {

namespace {

void DrawTransparent(QPainter& p, int x, int y, const QImage& image)
{
    if (image.isNull())
        return;
    // The bottom-left pixel names the transparent colour.
    QImage copy = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = copy.pixel(0, copy.height() - 1);
    for (int row = 0; row < copy.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(copy.scanLine(row));
        for (int col = 0; col < copy.width(); ++col)
            if ((line[col] & 0xFFFFFF) == (key & 0xFFFFFF))
                line[col] = 0;
    }
    p.drawImage(x, y, copy);
}

}  // namespace

void TMMCustomSlider::PaintTo(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing, false);
    const QRect client(0, 0, width(), height());
    const QRect inner = Bevel().PaintBevel(p, client, true);
    p.fillRect(inner, Color());

    const QRect track = TrackRect();
    const QRect thumb = ThumbRect();
    PaintEndPictures(p, track, thumb);

    const QRect groove = GrooveRect(track);
    const bool focused = hasFocus();
    if (scale_.Visible())
        PaintScales(p, groove);

    QRect grooveInner;
    if (grooveStyle_ == gsOwnerDraw) {
        const int ge = groove_.BevelExtent();
        grooveInner = groove.adjusted(0, ge, 0, -ge);
        DrawGroove(p, grooveInner);
    } else {
        grooveInner = groove_.PaintBevel(p, groove, true);
        const bool colour = focused && (focusAction_ == faFocusColor || focusAction_ == faAll);
        p.fillRect(grooveInner, colour ? focusColor_ : grooveColor_);
    }
    if (focused && (focusAction_ == faFocusRect || focusAction_ == faAll)) {
        QRect r = InnerRect();
        const bool larger =
            (Bevel().BorderWidth() > 0 && Bevel().BevelInner() == bvNone) || Bevel().BorderSpace() > 0;
        if (larger)
            r.adjust(-1, -1, 1, 1);
        QPen pen(clBlack, 0, Qt::DotLine);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(0, 0, -1, -1));
    }

    if (thumbStyle_ == tsOwnerDraw)
        DrawThumb(p, thumb, dragging_, blink_);
    else
        PaintThumb(p, thumb);
    paintedThumb_ = thumb;
}

// Pictures at both ends, across the track centred or on the thumb's centre
// line when a scale stands on one side.
void TMMCustomSlider::PaintEndPictures(QPainter& p, const QRect& track, const QRect& thumb)
{
    const bool horizontal = orientation_ == orHorizontal;
    const bool scaleVisible = scale_.Visible() && scalePosition_ != spBoth;
    auto picCross = [&](const QImage& pic) {
        if (horizontal) {
            const int centre = scaleVisible ? thumb.top() + thumb.height() / 2 : track.top() + track.height() / 2;
            return centre - pic.height() / 2;
        }
        const int centre = scaleVisible ? thumb.left() + thumb.width() / 2 : track.left() + track.width() / 2;
        return centre - pic.width() / 2;
    };
    if (!picLeft_.isNull()) {
        if (horizontal)
            DrawTransparent(p, track.left() - picLeft_.width(), picCross(picLeft_), picLeft_);
        else
            DrawTransparent(p, picCross(picLeft_), track.top() + track.height(), picLeft_);
    }
    if (!picRight_.isNull()) {
        if (horizontal)
            DrawTransparent(p, track.left() + track.width(), picCross(picRight_), picRight_);
        else
            DrawTransparent(p, picCross(picRight_), track.top() - picRight_.height(), picRight_);
    }
}

// The scale beside the groove, on one side or both.
void TMMCustomSlider::PaintScales(QPainter& p, const QRect& groove)
{
    const int extent = scale_.ScaleExtent();
    const bool first = scalePosition_ == spAboveOrLeft || scalePosition_ == spBoth;
    const bool second = scalePosition_ == spBelowOrRight || scalePosition_ == spBoth;
    scale_.SetCanvas(&p);
    if (orientation_ != orHorizontal) {
        const int top = groove.top() + thumbHeight_ / 2;
        const int len = groove.height() - 2 * (thumbHeight_ / 2);
        if (first)
            scale_.DrawScale(QRect(groove.left() - extent - scaleDistance_, top, extent, len), true);
        if (second)
            scale_.DrawScale(QRect(groove.left() + groove.width() + scaleDistance_, top, extent, len), false);
    } else {
        const int left = groove.left() + thumbWidth_ / 2;
        const int len = groove.width() - 2 * (thumbWidth_ / 2);
        if (first)
            scale_.DrawScale(QRect(left, groove.top() - scaleDistance_ - 1 - extent, len, extent), true);
        if (second)
            scale_.DrawScale(QRect(left, groove.top() + groove.height() + scaleDistance_ + 1, len, extent), false);
    }
    scale_.SetCanvas(nullptr);
}

void TMMCustomSlider::PaintThumb(QPainter& p, const QRect& rect)
{
    if (rect.width() <= 0 || rect.height() <= 0)
        return;
    QRect r = rect;
    p.setPen(QPen(clWindowFrame, 0));
    p.setBrush(Qt::NoBrush);
    if (thumbBorder_) {
        p.drawRect(r.adjusted(0, 0, -1, -1));
        r.adjust(1, 1, -1, -1);
    } else {
        p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
        p.drawLine(r.right(), r.top(), r.right(), r.bottom());
        r.adjust(0, 0, -1, -1);
    }
    if (r.width() <= 0 || r.height() <= 0)
        return;
    // Raised ring: highlight top-left, shadow bottom-right.
    r = DrawFrameRing(p, r, clBtnHighlight, clBtnShadow, 1);
    p.setPen(QPen(clBtnHighlight, 0));
    const QRect ring = r.adjusted(-1, -1, 1, 1);
    p.drawPoint(ring.right(), ring.top());
    p.drawPoint(ring.left(), ring.bottom());
    p.fillRect(r, thumbColor_);
    const bool disabled = !isEnabled();
    if (disabled || blink_) {
        p.setPen(QPen(disabled ? disabledColor_ : clBlack, 0));
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            for (int x = rect.left(); x <= rect.right(); ++x)
                if ((x & 1) == (y & 1))
                    p.drawPoint(x, y);
    }
}

void TMMCustomSlider::DrawThumb(QPainter& canvas, const QRect& rect, bool dragged, bool focused)
{
    if (OnDrawThumb)
        OnDrawThumb(this, canvas, rect, dragged, focused);
}

void TMMCustomSlider::DrawGroove(QPainter& canvas, const QRect& rect)
{
    if (OnDrawGroove)
        OnDrawGroove(this, canvas, rect);
}

}  // namespace zol
