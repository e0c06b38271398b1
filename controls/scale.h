// A tick scale (a row of tick marks, every n-th one longer, with an
// optional base line joining them) that a control owns and asks to draw
// itself into a rectangle beside its track.
#pragma once

#include "controls/colors.h"

#include <QRect>

#include <functional>

class QPainter;

namespace zol {

enum TMMScaleStyle { stColor, stLowered, stRaised };
enum TMMScaleOrigin { soInner, soOuter };

class TMMCustomScale {
public:
    using ChangeHook = std::function<void(TMMCustomScale* sender)>;
    virtual ~TMMCustomScale() = default;

    bool Visible() const { return visible_; }
    void SetVisible(bool value);
    TColor Color() const { return color_; }
    // Also sets both zone colours.
    void SetColor(const TColor& value);
    TMMScaleStyle Style() const { return style_; }
    void SetStyle(TMMScaleStyle value);
    int TickCount() const { return tickCount_; }
    void SetTickCount(int value);  // at least 2
    int EnlargeEvery() const { return enlargeEvery_; }
    void SetEnlargeEvery(int value);  // at least 1
    int Size() const { return size_; }
    void SetSize(int value);  // at least 1
    TMMScaleOrigin Origin() const { return origin_; }
    void SetOrigin(TMMScaleOrigin value);
    bool Connect() const { return connect_; }
    void SetConnect(bool value);

    // Zones (for owners): colours of the middle and upper zone and their
    // lower limits as tick indices.
    void SetZones(const TColor& middle, const TColor& upper, int lowerLimit, int upperLimit);

    // Copies the eight published values and announces one change.
    void Assign(const TMMCustomScale& source);

    // Space the scale needs across its direction.
    int ScaleExtent() const;

    // The owner attaches its canvas before drawing.
    void SetCanvas(QPainter* canvas) { canvas_ = canvas; }
    QPainter* Canvas() const { return canvas_; }
    // Draws into `rect`; `before` is true when the scale lies left of or
    // above the track. Raises EMMScaleError without an attached canvas.
    void DrawScale(const QRect& rect, bool before);
    // Attaches `canvas` (when not null) and draws.
    void DrawScale(QPainter* canvas, const QRect& rect, bool before);

    // Called after every change of a property.
    void SetOnChange(ChangeHook hook) { onChange_ = std::move(hook); }

protected:
    void Changed();

private:
    template <typename T>
    void Set(T& field, const T& value)
    {
        if (field == value)
            return;
        field = value;
        Changed();
    }
    // Where a scale goes in a rectangle (exclusive right and bottom edges),
    // and its colour zones along its length.
    struct Layout {
        int left, top, right, bottom;
        bool horizontal;
        int length;
        bool far;  // ticks grow from the far edge
        int c;     // room taken by the connecting line
        bool zones;
        double z1, z2, s;
    };
    Layout LayoutFor(const QRect& rect, bool before) const;
    void DrawConnectLine(const Layout& l);
    void DrawTicks(const Layout& l);
    void Line(int x1, int y1, int x2, int y2, const TColor& color);
    void StyledLine(int x1, int y1, int x2, int y2, const TColor& color);

    bool visible_ = true;
    TColor color_ = clBlack;
    TMMScaleStyle style_ = stColor;
    int tickCount_ = 11;
    int enlargeEvery_ = 5;
    int size_ = 7;
    TMMScaleOrigin origin_ = soInner;
    bool connect_ = false;
    TColor middleColor_ = clBlack;
    TColor upperColor_ = clBlack;
    int lowerLimit_ = 0;
    int upperLimit_ = 0;
    QPainter* canvas_ = nullptr;
    ChangeHook onChange_;
};

class TMMScale : public TMMCustomScale {};

}  // namespace zol
