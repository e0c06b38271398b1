// A rectangular LED lamp with a centred caption.
#pragma once

#include "controls/mmcontrols.h"
#include "displays/ledmouse.h"

namespace zol {

class TMMLED : public TMMGraphicControl, public TMMLEDMouseEvents {
public:
    explicit TMMLED(QWidget* parent = nullptr);

    // Fill of the lamp while enabled (default #00FF00).
    QColor LEDColor() const { return ledColor_; }
    void SetLEDColor(const QColor& value);
    // Color (default #008000) is the fill while disabled.
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    QString Caption() const { return caption_; }
    void SetCaption(const QString& value);
    QFont Font() const { return font(); }
    void SetFont(const QFont& value);
    // Colour of the caption text.
    QColor FontColor() const { return fontColor_; }
    void SetFontColor(const QColor& value);

protected:
    void Paint(QPainter& painter) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QColor ledColor_ = clLime;
    QColor fontColor_ = clWindowText;
    QString caption_;
    bool enabled_ = true;
};

}  // namespace zol
