#include "displays/led.h"

#include <QFontMetrics>
#include <QPainter>

namespace zol {

TMMLED::TMMLED(QWidget* parent) : TMMGraphicControl(parent)
{
    SetColor(clGreen);
    setMouseTracking(true);
    resize(16, 8);
}

void TMMLED::SetLEDColor(const QColor& value)
{
    if (value == ledColor_)
        return;
    ledColor_ = value;
    update();
}

void TMMLED::SetEnabled(bool value)
{
    if (value == enabled_)
        return;
    enabled_ = value;
    setEnabled(value);
    // Without a caption only the lamp's area changes.
    if (caption_.isEmpty())
        update(InnerRect());
    else
        update();
}

void TMMLED::SetCaption(const QString& value)
{
    if (value == caption_)
        return;
    caption_ = value;
    update();
}

void TMMLED::SetFont(const QFont& value)
{
    if (value == font())
        return;
    setFont(value);
    update();
}

void TMMLED::SetFontColor(const QColor& value)
{
    if (value == fontColor_)
        return;
    fontColor_ = value;
    update();
}

void TMMLED::Paint(QPainter& painter)
{
    const QRect inner = Bevel().PaintBevel(painter, QRect(0, 0, width(), height()), true);
    painter.fillRect(inner, enabled_ ? ledColor_ : Color());
    if (caption_.isEmpty())
        return;
    // Centred both ways; vertically by the height of a "W".
    painter.setFont(font());
    painter.setPen(fontColor_);
    const QFontMetrics metrics(font());
    const int textHeight = metrics.boundingRect(QStringLiteral("W")).height();
    const int top = inner.top() + (inner.height() - textHeight) / 2;
    painter.drawText(QRect(inner.left(), top, inner.width(), textHeight), Qt::AlignHCenter | Qt::AlignTop,
                     caption_);
}

void TMMLED::mousePressEvent(QMouseEvent* event)
{
    MousePressed(this, event);
}

void TMMLED::mouseReleaseEvent(QMouseEvent* event)
{
    MouseReleased(this, event, rect());
}

void TMMLED::mouseDoubleClickEvent(QMouseEvent* event)
{
    MouseDoubleClicked(this, event);
}

void TMMLED::mouseMoveEvent(QMouseEvent* event)
{
    MouseMoved(this, event);
}

}  // namespace zol
