// A bitmap switch with two or more positions. Its knob images (normal,
// disabled, pressed) sit side by side in Glyph; the switch sizes itself to
// one knob across and NumPositions knobs along its travel, plus its bevel.
#pragma once

#include "controls/mmcontrols.h"

#include <QImage>

namespace zol {

enum TMMSwitchKind { skHorizontal, skVertical };

class TMMCustomSwitch : public TMMCustomControl {
public:
    explicit TMMCustomSwitch(QWidget* parent = nullptr);
    ~TMMCustomSwitch() override;

    TMMSwitchKind Kind() const { return kind_; }
    void SetKind(TMMSwitchKind kind);
    int NumPositions() const { return numPositions_; }
    // Values below 2 are ignored.
    void SetNumPositions(int count);
    int Position() const { return position_; }
    // Clamped to 0..NumPositions - 1; OnChange fires on a real change.
    void SetPosition(int position);
    const QImage& Glyph() const { return glyph_; }
    // A null image brings back the built-in knobs of the current Kind.
    void SetGlyph(const QImage& glyph);
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int count);  // 1..4
    bool BuiltInGlyph() const { return builtIn_; }

    // The size the switch takes: one knob across, NumPositions along.
    QSize NaturalSize() const;
    // Where the knob of the current position is drawn.
    QRect KnobRect() const;
    // The knob image drawn now: 0 normal, 1 disabled, 2 pressed.
    int KnobImage() const;
    bool Dragging() const { return dragging_; }

    void Loaded() override;

    TNotifyEvent OnChange;

protected:
    virtual void Change();
    void Paint(QPainter& painter) override;
    void BevelChanged() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void LoadBuiltInGlyph();
    void ApplySize();
    int ImageWidth() const;
    int Travel() const;

    TMMSwitchKind kind_ = skVertical;
    int numPositions_ = 2;
    int position_ = 0;
    QImage glyph_;
    QImage knobs_;  // the glyph with its transparent colour cleared
    int numGlyphs_ = 1;
    bool builtIn_ = false;
    bool dragging_ = false;
    QPoint dragPoint_;
    int dragPosition_ = 0;
};

class TMMSwitch : public TMMCustomSwitch {
public:
    using TMMCustomSwitch::TMMCustomSwitch;
};

}  // namespace zol
