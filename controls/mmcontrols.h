// Controls with a bevel: the bases of every visible component, and the panel.
#pragma once

#include "core/mmcomponent.h"
#include "controls/bevel.h"

#include <QWidget>

#include <functional>

namespace zol {

// A widget that draws a TMMBevel around its content and fills the inside with
// its Color. Base of TMMCustomControl and TMMGraphicControl.
class TMMBevelControl : public QWidget, public TMMComponentState {
public:
    explicit TMMBevelControl(QWidget* parent = nullptr);
    ~TMMBevelControl() override;

    TMMBevel& Bevel() { return bevel_; }
    const TMMBevel& Bevel() const { return bevel_; }
    // Assigning copies the values.
    void SetBevel(const TMMBevel& bevel) { bevel_.Assign(bevel); }
    int BevelExtent() const { return bevel_.BevelExtent(); }
    // The client rectangle inset by the bevel extent.
    QRect InnerRect() const;

    QColor Color() const { return color_; }
    void SetColor(const QColor& color);

    // Width/Height and bounds in the classic sense.
    int Width() const { return width(); }
    int Height() const { return height(); }
    void SetBounds(int left, int top, int width, int height) { setGeometry(left, top, width, height); }

protected:
    QObject* Self() override { return this; }
    void paintEvent(QPaintEvent* event) override;
    // Paints the control into `painter` (bevel and fill); descendants draw
    // their content on top of it.
    virtual void Paint(QPainter& painter);
    // A change of the bevel repaints.
    virtual void BevelChanged();

private:
    TMMBevel bevel_;
    QColor color_ = clBtnFace;
};

class TMMCustomControl : public TMMBevelControl {
public:
    using TMMBevelControl::TMMBevelControl;
};

class TMMGraphicControl : public TMMBevelControl {
public:
    using TMMBevelControl::TMMBevelControl;
};

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

class TMMCustomPanel : public TMMBevelControl {
public:
    using PaintHook = std::function<void(TMMCustomPanel* panel, QPainter& canvas, const QRect& inner)>;
    explicit TMMCustomPanel(QWidget* parent = nullptr);

    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment alignment);
    bool DrawBorder() const { return drawBorder_; }
    void SetDrawBorder(bool value);
    // Replaces the interior fill (descendants paint their own background).
    void SetPaintHook(PaintHook hook);

    // The rectangle offered to aligned children.
    QRect AlignRect() const { return InnerRect(); }

protected:
    void Paint(QPainter& painter) override;
    void BevelChanged() override;

private:
    QString caption_;
    TAlignment alignment_ = taCenter;
    bool drawBorder_ = true;
    PaintHook paintHook_;
};

class TMMPanel : public TMMCustomPanel {
public:
    using TMMCustomPanel::TMMCustomPanel;
};

}  // namespace zol
