// The slider: a bevelled track with a groove, a thumb, an optional tick
// scale on one or both sides, optional pictures at both ends, mouse and
// keyboard control, focus feedback and an optional logarithmic mapping of
// its outward position. Sliders of equal size share one paint buffer.
#pragma once

#include "controls/mmcontrols.h"
#include "controls/scale.h"
#include "platform/clock.h"

#include <QImage>

#include <functional>

namespace zol {

enum TMMFocusAction { faNone, faFocusThumb, faFocusRect, faFocusColor, faAll };
enum TMMOrientation { orVertical, orHorizontal };
enum TMMThumbStyle { tsRect, tsOwnerDraw };
enum TMMGrooveStyle { gsRect, gsOwnerDraw };
enum TMMScalePos { spAboveOrLeft, spBelowOrRight, spBoth };

// Paint buffers shared by size: a bitmap of exactly the asked size is
// handed out with a reference count; the cache lives while it holds one.
class TBitmapCache {
public:
    static QImage* Acquire(int width, int height);
    // Drops one reference and clears `bitmap`.
    static void Release(QImage*& bitmap);
    // Number of distinct bitmaps held (0 when the cache does not exist).
    static int Count();
    static bool Exists();
};

class TMMCustomSlider : public TMMCustomControl {
public:
    using NotifyEvent = std::function<void(QObject* sender)>;
    using ThumbDrawEvent = std::function<void(QObject* sender, QPainter& aCanvas, const QRect& aRect,
                                              bool Dragged, bool Focused)>;
    using GrooveDrawEvent = std::function<void(QObject* sender, QPainter& aCanvas, const QRect& aRect)>;

    explicit TMMCustomSlider(QWidget* parent = nullptr);
    ~TMMCustomSlider() override;

    TMMBevel& Groove() { return groove_; }
    TMMFocusAction FocusAction() const { return focusAction_; }
    void SetFocusAction(TMMFocusAction v);
    TColor FocusColor() const { return focusColor_; }
    void SetFocusColor(const TColor& v);
    TColor GrooveColor() const { return grooveColor_; }
    void SetGrooveColor(const TColor& v);
    TColor ThumbColor() const { return thumbColor_; }
    void SetThumbColor(const TColor& v);
    bool ThumbBorder() const { return thumbBorder_; }
    void SetThumbBorder(bool v);
    TColor DisabledColor() const { return disabledColor_; }
    void SetDisabledColor(const TColor& v);
    bool HandCursor() const { return handCursor_; }
    void SetHandCursor(bool v) { handCursor_ = v; }
    int ThumbCursor() const { return thumbCursor_; }
    void SetThumbCursor(int v) { thumbCursor_ = v; }
    int MinValue() const { return minValue_; }
    void SetMinValue(int v);
    int MaxValue() const { return maxValue_; }
    void SetMaxValue(int v);
    int LineSize() const { return lineSize_; }
    void SetLineSize(int v) { lineSize_ = v; }
    int PageSize() const { return pageSize_; }
    void SetPageSize(int v) { pageSize_ = v; }
    TMMOrientation Orientation() const
    {
        SyncSize();
        return orientation_;
    }
    void SetOrientation(TMMOrientation v);
    // The outward position (through the logarithmic mapping when on).
    int Position() const;
    void SetPosition(int v);
    int GrooveSize() const { return grooveSize_; }
    void SetGrooveSize(int v);
    int ThumbWidth() const { return thumbWidth_; }
    void SetThumbWidth(int v);
    int ThumbHeight() const { return thumbHeight_; }
    void SetThumbHeight(int v);
    TMMThumbStyle ThumbStyle() const { return thumbStyle_; }
    void SetThumbStyle(TMMThumbStyle v);
    TMMGrooveStyle GrooveStyle() const { return grooveStyle_; }
    void SetGrooveStyle(TMMGrooveStyle v);
    int ScaleDistance() const { return scaleDistance_; }
    void SetScaleDistance(int v);
    TMMScalePos ScalePosition() const { return scalePosition_; }
    void SetScalePosition(TMMScalePos v);
    TMMScale& Scale() { return scale_; }
    const QImage& PicLeft() const { return picLeft_; }
    void SetPicLeft(const QImage& v);
    const QImage& PicRight() const { return picRight_; }
    void SetPicRight(const QImage& v);
    bool Logarithmic() const { return logarithmic_; }
    void SetLogarithmic(bool v);
    int Sensitivity() const { return sensitivity_; }
    void SetSensitivity(int v);  // kept within -96..-20

    // The inner position, always within MinValue..MaxValue.
    int InnerPosition() const { return inner_; }
    // Stores a new inner position and runs Change; false when unchanged.
    bool SetInnerPosition(int v);
    // The thumb's rectangle for the current position and size.
    QRect ThumbRect() const;
    // Value of a point off the thumb (a click in the groove).
    int ValueAt(const QPoint& point) const;
    bool Dragging() const { return dragging_; }
    bool Blink() const { return blink_; }
    const QImage* PaintBuffer() const
    {
        SyncSize();
        return buffer_;
    }

    void Loaded() override;

    NotifyEvent OnChange;
    NotifyEvent OnTrack;
    NotifyEvent OnTrackEnd;
    ThumbDrawEvent OnDrawThumb;
    GrooveDrawEvent OnDrawGroove;

protected:
    virtual void Change();
    virtual void Track();
    virtual void TrackEnd();
    virtual void DrawThumb(QPainter& canvas, const QRect& rect, bool dragged, bool focused);
    virtual void DrawGroove(QPainter& canvas, const QRect& rect);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // A hidden widget hears of a new size only when shown: size changes are
    // also picked up here, before anything depends on them.
    void SyncSize() const;
    void SizeChanged();
    QRect TrackRect() const;
    QRect GrooveRect(const QRect& track) const;
    void ApplyRange();
    void UpdateBuffer();
    void Redraw();
    void PaintTo(QPainter& p);
    void PaintEndPictures(QPainter& p, const QRect& track, const QRect& thumb);
    void PaintScales(QPainter& p, const QRect& groove);
    void PaintThumb(QPainter& p, const QRect& rect);
    void StartBlink();
    void StopBlink();
    void BlinkTick();
    QCursor ThumbCursorShape() const;

    TMMBevel groove_;
    TMMFocusAction focusAction_ = faFocusRect;
    TColor focusColor_;
    TColor grooveColor_ = clBtnFace;
    TColor thumbColor_ = clBtnFace;
    bool thumbBorder_ = true;
    TColor disabledColor_ = clWhite;
    bool handCursor_ = false;
    int thumbCursor_ = 0;
    int minValue_ = 0;
    int maxValue_ = 10;
    int lineSize_ = 1;
    int pageSize_ = 5;
    TMMOrientation orientation_ = orHorizontal;
    int grooveSize_ = 3;
    int thumbWidth_ = 11;
    int thumbHeight_ = 23;
    TMMThumbStyle thumbStyle_ = tsRect;
    TMMGrooveStyle grooveStyle_ = gsRect;
    int scaleDistance_ = 10;
    TMMScalePos scalePosition_ = spBelowOrRight;
    TMMScale scale_;
    QImage picLeft_;
    QImage picRight_;
    bool logarithmic_ = false;
    int sensitivity_ = -24;

    int inner_ = 0;
    QRect paintedThumb_;
    bool dragging_ = false;
    int dragOrigin_ = 0;
    int dragStart_ = 0;
    bool blink_ = false;
    bool tracking_ = false;
    QImage* buffer_ = nullptr;
    QSize knownSize_;
};

class TMMSlider : public TMMCustomSlider {
public:
    using TMMCustomSlider::TMMCustomSlider;
};

}  // namespace zol
