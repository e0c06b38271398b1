#include "controls/mmcontrols.h"

#include <QFontMetrics>
#include <QPainter>

namespace zol {

TMMBevelControl::TMMBevelControl(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    bevel_.OnChange = [this](TMMObject*) { BevelChanged(); };
}

TMMBevelControl::~TMMBevelControl()
{
    Destroying();
    bevel_.OnChange = nullptr;
}

QRect TMMBevelControl::InnerRect() const
{
    const int e = BevelExtent();
    return QRect(0, 0, width(), height()).adjusted(e, e, -e, -e);
}

void TMMBevelControl::SetColor(const QColor& color)
{
    if (color_ == color)
        return;
    color_ = color;
    update();
}

void TMMBevelControl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    Paint(painter);
}

void TMMBevelControl::Paint(QPainter& painter)
{
    const QRect inner = bevel_.PaintBevel(painter, QRect(0, 0, width(), height()), true);
    painter.fillRect(inner, color_);
}

void TMMBevelControl::BevelChanged()
{
    update();
}

TMMCustomPanel::TMMCustomPanel(QWidget* parent) : TMMBevelControl(parent)
{
    BevelChanged();
}

void TMMCustomPanel::SetCaption(const QString& caption)
{
    if (caption_ == caption)
        return;
    caption_ = caption;
    update();
}

void TMMCustomPanel::SetAlignment(TAlignment alignment)
{
    if (alignment_ == alignment)
        return;
    alignment_ = alignment;
    update();
}

void TMMCustomPanel::SetDrawBorder(bool value)
{
    if (drawBorder_ == value)
        return;
    drawBorder_ = value;
    update();
}

void TMMCustomPanel::SetPaintHook(PaintHook hook)
{
    paintHook_ = std::move(hook);
    update();
}

void TMMCustomPanel::Paint(QPainter& painter)
{
    const QRect inner = Bevel().PaintBevel(painter, QRect(0, 0, width(), height()), drawBorder_);
    if (paintHook_)
        paintHook_(this, painter, inner);
    else
        painter.fillRect(inner, Color());
    if (caption_.isEmpty())
        return;
    // Caption: clear background, aligned horizontally, centred vertically on
    // the height of a "W".
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setFont(font());
    const QFontMetrics metrics(font());
    const int textHeight = metrics.boundingRect(QStringLiteral("W")).height();
    const int top = inner.top() + (inner.height() - textHeight) / 2;
    int flags = Qt::TextExpandTabs | Qt::AlignTop;
    flags |= alignment_ == taLeftJustify ? Qt::AlignLeft
             : alignment_ == taRightJustify ? Qt::AlignRight
                                            : Qt::AlignHCenter;
    painter.drawText(QRect(inner.left(), top, inner.width(), inner.bottom() - top + 1), flags, caption_);
}

void TMMCustomPanel::BevelChanged()
{
    // Children aligned by a layout stay inside the bevel.
    const int e = BevelExtent();
    setContentsMargins(e, e, e, e);
    update();
}

}  // namespace zol
