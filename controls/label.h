// A windowless label that draws its caption with highlight and shadow copies
// (raised, sunken, shadowed, extruded), optionally turned by an angle,
// textured by a bitmap, or behaving like a push button.
#pragma once

#include "controls/mmcontrols.h"

#include <QImage>

namespace zol {

enum TMMLabelDirection { ldNone, ldUp, ldUpRight, ldRight, ldDownRight, ldDown, ldDownLeft, ldLeft, ldUpLeft };
enum TMMLabelOption { loNormal, loExtrude };
enum TMMLabelStyle { lsNone, lsCustom, lsRaised, lsSunken, lsShadow, lsFlying };

// Offset of one step in a direction.
QPoint DirectionStep(TMMLabelDirection direction);

class TMMCustomLabel : public TMMGraphicControl {
public:
    explicit TMMCustomLabel(QWidget* parent = nullptr);

    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment alignment);
    TColor FontColor() const { return fontColor_; }
    void SetFontColor(const TColor& colour);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool value);
    const QImage& Bitmap() const { return bitmap_; }
    void SetBitmap(const QImage& bitmap);
    int DepthHighlight() const { return depthHighlight_; }
    void SetDepthHighlight(int depth);
    int DepthShadow() const { return depthShadow_; }
    void SetDepthShadow(int depth);
    TMMLabelDirection DirectionHighlight() const { return directionHighlight_; }
    void SetDirectionHighlight(TMMLabelDirection direction);
    TMMLabelDirection DirectionShadow() const { return directionShadow_; }
    void SetDirectionShadow(TMMLabelDirection direction);
    TColor ColourHighlight() const { return colourHighlight_; }
    void SetColourHighlight(const TColor& colour);
    TColor ColourShadow() const { return colourShadow_; }
    void SetColourShadow(const TColor& colour);
    TMMLabelOption StyleHighlight() const { return styleHighlight_; }
    void SetStyleHighlight(TMMLabelOption style);
    TMMLabelOption StyleShadow() const { return styleShadow_; }
    void SetStyleShadow(TMMLabelOption style);
    TMMLabelStyle EffectStyle() const { return effectStyle_; }
    // A preset of the depths and directions (and the highlight colour).
    void SetEffectStyle(TMMLabelStyle style);
    bool AsButton() const { return asButton_; }
    void SetAsButton(bool value);
    int Angle() const { return angle_; }
    // Degrees; a turned text is always left-justified.
    void SetAngle(int degrees);

    // The room kept on every side for the copies.
    int Margin() const;
    // Where the face's text starts (its top-left corner, unturned).
    QPoint TextOrigin() const;
    // The label as drawn, over `background` (what lies under it).
    QImage Compose(const QImage& background) const;
    // How often the shown picture was composed (the others were copies).
    int Compositions() const { return compositions_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void BevelChanged() override;

private:
    void SetEffect(TMMLabelDirection highlight, TMMLabelDirection shadow, int depthHighlight, int depthShadow);
    void CustomChanged();
    // A property changed: the picture is composed again at the next paint.
    void Invalidate();
    void DrawText(QPainter& p, QPoint offset, const QColor& colour) const;
    void DrawCopies(QPainter& p, TMMLabelDirection direction, int depth, TMMLabelOption style,
                    const QColor& colour) const;
    void DrawFace(QImage& composition) const;
    QPolygon TextArea() const;

    QString caption_;
    TAlignment alignment_ = taLeftJustify;
    TColor fontColor_ = clBlack;
    bool transparent_ = true;
    QImage bitmap_;
    int depthHighlight_ = 1;
    int depthShadow_ = 1;
    TMMLabelDirection directionHighlight_ = ldUpLeft;
    TMMLabelDirection directionShadow_ = ldDownRight;
    TColor colourHighlight_ = clWhite;
    TColor colourShadow_ = clGray;
    TMMLabelOption styleHighlight_ = loNormal;
    TMMLabelOption styleShadow_ = loNormal;
    TMMLabelStyle effectStyle_ = lsRaised;
    bool asButton_ = false;
    int angle_ = 0;
    bool pressed_ = false;
    QImage shown_;
    QColor shownColor_;
    int compositions_ = 0;
};

class TMMLabel : public TMMCustomLabel {
public:
    using TMMCustomLabel::TMMCustomLabel;
};

}  // namespace zol
