#include "controls/label.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace zol {

namespace {
constexpr int kMaxDepth = 100;
}

QPoint DirectionStep(TMMLabelDirection direction)
{
    static const QPoint steps[] = {{0, 0}, {0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}};
    return steps[std::clamp(static_cast<int>(direction), 0, 8)];
}

TMMCustomLabel::TMMCustomLabel(QWidget* parent) : TMMGraphicControl(parent)
{
    // Not opaque: what lies under the label shows around the text.
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    QFont f(QStringLiteral("Times New Roman"));
    f.setPointSize(20);
    setFont(f);
    resize(142, 33);
}

void TMMCustomLabel::SetCaption(const QString& caption)
{
    if (caption_ == caption)
        return;
    caption_ = caption;
    Invalidate();
}

void TMMCustomLabel::SetAlignment(TAlignment alignment)
{
    if (alignment_ == alignment)
        return;
    alignment_ = alignment;
    Invalidate();
}

void TMMCustomLabel::SetFontColor(const TColor& colour)
{
    if (fontColor_ == colour)
        return;
    fontColor_ = colour;
    Invalidate();
}

void TMMCustomLabel::SetTransparent(bool value)
{
    if (transparent_ == value)
        return;
    transparent_ = value;
    Invalidate();
}

void TMMCustomLabel::SetBitmap(const QImage& bitmap)
{
    bitmap_ = bitmap.copy();
    Invalidate();
}

void TMMCustomLabel::CustomChanged()
{
    effectStyle_ = lsCustom;
    Invalidate();
}

void TMMCustomLabel::SetDepthHighlight(int depth)
{
    depth = std::clamp(depth, 0, kMaxDepth);
    if (depthHighlight_ == depth)
        return;
    depthHighlight_ = depth;
    CustomChanged();
}

void TMMCustomLabel::SetDepthShadow(int depth)
{
    depth = std::clamp(depth, 0, kMaxDepth);
    if (depthShadow_ == depth)
        return;
    depthShadow_ = depth;
    CustomChanged();
}

void TMMCustomLabel::SetDirectionHighlight(TMMLabelDirection direction)
{
    if (directionHighlight_ == direction)
        return;
    directionHighlight_ = direction;
    CustomChanged();
}

void TMMCustomLabel::SetDirectionShadow(TMMLabelDirection direction)
{
    if (directionShadow_ == direction)
        return;
    directionShadow_ = direction;
    CustomChanged();
}

void TMMCustomLabel::SetColourHighlight(const TColor& colour)
{
    if (colourHighlight_ == colour)
        return;
    colourHighlight_ = colour;
    Invalidate();
}

void TMMCustomLabel::SetColourShadow(const TColor& colour)
{
    if (colourShadow_ == colour)
        return;
    colourShadow_ = colour;
    Invalidate();
}

void TMMCustomLabel::SetStyleHighlight(TMMLabelOption style)
{
    if (styleHighlight_ == style)
        return;
    styleHighlight_ = style;
    Invalidate();
}

void TMMCustomLabel::SetStyleShadow(TMMLabelOption style)
{
    if (styleShadow_ == style)
        return;
    styleShadow_ = style;
    Invalidate();
}

void TMMCustomLabel::SetEffect(TMMLabelDirection highlight, TMMLabelDirection shadow, int depthHighlight,
                               int depthShadow)
{
    directionHighlight_ = highlight;
    directionShadow_ = shadow;
    depthHighlight_ = depthHighlight;
    depthShadow_ = depthShadow;
}

void TMMCustomLabel::SetEffectStyle(TMMLabelStyle style)
{
    if (effectStyle_ == style)
        return;
    colourHighlight_ = clWhite;
    switch (style) {
    case lsNone:
        SetEffect(ldNone, ldNone, 0, 0);
        asButton_ = false;
        break;
    case lsCustom:
        asButton_ = false;
        break;
    case lsRaised:
        SetEffect(ldUpLeft, ldDownRight, 1, 1);
        break;
    case lsSunken:
        SetEffect(ldDownRight, ldUpLeft, 1, 1);
        break;
    case lsShadow:
        SetEffect(ldNone, ldDownRight, 0, 2);
        asButton_ = false;
        break;
    case lsFlying:
        SetEffect(ldDownRight, ldDownRight, 1, 5);
        colourHighlight_ = clGray;
        asButton_ = false;
        break;
    }
    effectStyle_ = style;
    Invalidate();
}

void TMMCustomLabel::SetAsButton(bool value)
{
    if (asButton_ == value)
        return;
    asButton_ = value;
    if (value)
        SetEffectStyle(lsRaised);
}

void TMMCustomLabel::SetAngle(int degrees)
{
    degrees %= 360;
    if (degrees < 0)
        degrees += 360;
    if (angle_ == degrees)
        return;
    angle_ = degrees;
    if (angle_ != 0)
        alignment_ = taLeftJustify;
    Invalidate();
}

int TMMCustomLabel::Margin() const
{
    const int highlight = directionHighlight_ != ldNone ? depthHighlight_ : 0;
    const int shadow = directionShadow_ != ldNone ? depthShadow_ : 0;
    return std::max(highlight, shadow);
}

QPoint TMMCustomLabel::TextOrigin() const
{
    const QFontMetrics metrics(font());
    const int w = metrics.horizontalAdvance(caption_);
    const int h = metrics.height();
    const int m = Margin();
    if (angle_ == 0) {
        int x = m;
        if (alignment_ == taRightJustify)
            x = width() - m - w;
        else if (alignment_ == taCenter)
            x = m + (width() - 2 * m - w) / 2;
        return QPoint(x, m);
    }
    // The turned text box's corners relative to its origin; the origin is
    // placed so that the box starts `m` in from the left and the top.
    const double a = angle_ * M_PI / 180.0;
    const double c = std::cos(a), s = std::sin(a);
    const double xs[] = {0.0, w * c, h * s, w * c + h * s};
    const double ys[] = {0.0, -w * s, h * c, -w * s + h * c};
    const double minX = *std::min_element(std::begin(xs), std::end(xs));
    const double minY = *std::min_element(std::begin(ys), std::end(ys));
    return QPoint(m - static_cast<int>(std::floor(minX + 0.5)), m - static_cast<int>(std::floor(minY + 0.5)));
}

QPolygon TMMCustomLabel::TextArea() const
{
    if (angle_ == 0)
        return QPolygon(rect());
    const QFontMetrics metrics(font());
    QTransform t;
    t.translate(TextOrigin().x(), TextOrigin().y());
    t.rotate(-angle_);
    return t.mapToPolygon(QRect(0, 0, metrics.horizontalAdvance(caption_), metrics.height()));
}

void TMMCustomLabel::DrawText(QPainter& p, QPoint offset, const QColor& colour) const
{
    p.save();
    p.setFont(font());
    p.setPen(colour);
    p.setBrush(Qt::NoBrush);
    const QPoint origin = TextOrigin() + offset;
    p.translate(origin);
    if (angle_ != 0)
        p.rotate(-angle_);
    p.drawText(QPoint(0, QFontMetrics(font()).ascent()), caption_);
    p.restore();
}

// One copy at the full depth, or one per step from the full depth down to 1.
void TMMCustomLabel::DrawCopies(QPainter& p, TMMLabelDirection direction, int depth, TMMLabelOption style,
                                const QColor& colour) const
{
    if (direction == ldNone || depth <= 0)
        return;
    const QPoint step = DirectionStep(direction);
    const int last = style == loExtrude ? 1 : depth;
    for (int k = depth; k >= last; --k)
        DrawText(p, step * k, colour);
}

// The face in the font colour, or the bitmap seen through the text.
void TMMCustomLabel::DrawFace(QImage& composition) const
{
    QPainter p(&composition);
    if (bitmap_.isNull()) {
        DrawText(p, QPoint(), fontColor_);
        return;
    }
    QImage face(composition.size(), QImage::Format_ARGB32_Premultiplied);
    face.fill(Qt::transparent);
    {
        QPainter f(&face);
        DrawText(f, QPoint(), clBlack);
        f.setCompositionMode(QPainter::CompositionMode_SourceIn);
        f.fillRect(face.rect(), QBrush(bitmap_));
    }
    p.drawImage(0, 0, face);
}

QImage TMMCustomLabel::Compose(const QImage& background) const
{
    QImage composition = background.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (composition.size() != size()) {
        composition = QImage(size(), QImage::Format_ARGB32_Premultiplied);
        composition.fill(Qt::transparent);
    }
    {
        QPainter p(&composition);
        if (!transparent_) {
            p.setPen(Qt::NoPen);
            p.setBrush(Color());
            p.drawPolygon(TextArea());
        }
        if (!caption_.isEmpty()) {
            DrawCopies(p, directionShadow_, depthShadow_, styleShadow_, colourShadow_);
            DrawCopies(p, directionHighlight_, depthHighlight_, styleHighlight_, colourHighlight_);
        }
    }
    if (!caption_.isEmpty())
        DrawFace(composition);
    QPainter p(&composition);
    Bevel().PaintBevel(p, rect(), true);
    return composition;
}

void TMMCustomLabel::Invalidate()
{
    shown_ = QImage();
    update();
}

void TMMCustomLabel::BevelChanged()
{
    Invalidate();
}

void TMMCustomLabel::paintEvent(QPaintEvent*)
{
    // The label is drawn over a clear background, so its picture depends on
    // its own properties only: it is composed again only when one of them
    // changed, and a repaint for a neighbour's sake copies it.
    if (shown_.isNull() || shown_.size() != size() || shownColor_ != Color()) {
        QImage background(size(), QImage::Format_ARGB32_Premultiplied);
        background.fill(Qt::transparent);
        shown_ = Compose(background);
        shownColor_ = Color();
        ++compositions_;
    }
    QPainter p(this);
    p.drawImage(0, 0, shown_);
}

void TMMCustomLabel::mousePressEvent(QMouseEvent* event)
{
    if (asButton_ && isEnabled() && event->button() == Qt::LeftButton) {
        pressed_ = true;
        SetEffectStyle(lsSunken);
    }
    TMMGraphicControl::mousePressEvent(event);
}

void TMMCustomLabel::mouseMoveEvent(QMouseEvent* event)
{
    if (pressed_ && asButton_ && (event->buttons() & Qt::LeftButton))
        SetEffectStyle(rect().contains(event->position().toPoint()) ? lsSunken : lsRaised);
    TMMGraphicControl::mouseMoveEvent(event);
}

void TMMCustomLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (pressed_ && event->button() == Qt::LeftButton) {
        pressed_ = false;
        if (asButton_ && rect().contains(event->position().toPoint()))
            SetEffectStyle(lsRaised);
    }
    TMMGraphicControl::mouseReleaseEvent(event);
}

void TMMCustomLabel::changeEvent(QEvent* event)
{
    TMMGraphicControl::changeEvent(event);
    switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::EnabledChange:
    case QEvent::PaletteChange:
    case QEvent::StyleChange:
        Invalidate();
        break;
    default:
        break;
    }
}

}  // namespace zol
