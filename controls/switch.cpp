#include "controls/switch.h"

#include "resources/bitmaps.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace zol {

namespace {

// The glyph with every pixel of its top-left pixel's colour transparent.
QImage KnobsOf(const QImage& glyph)
{
    if (glyph.isNull())
        return QImage();
    QImage knobs = glyph.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = knobs.pixel(0, 0) | 0xFF000000u;
    for (int y = 0; y < knobs.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(knobs.scanLine(y));
        for (int x = 0; x < knobs.width(); ++x) {
            if ((line[x] | 0xFF000000u) == key)
                line[x] = 0;
        }
    }
    return knobs;
}

}  // namespace

TMMCustomSwitch::TMMCustomSwitch(QWidget* parent) : TMMCustomControl(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    resize(1, 1);
    LoadBuiltInGlyph();
    ApplySize();
}

TMMCustomSwitch::~TMMCustomSwitch()
{
    Destroying();
}

void TMMCustomSwitch::LoadBuiltInGlyph()
{
    glyph_ = LoadBitmapResource(kind_ == skVertical ? QStringLiteral("V_SWITCH") : QStringLiteral("H_SWITCH"));
    knobs_ = KnobsOf(glyph_);
    numGlyphs_ = glyph_.isNull() ? 1 : 3;
    builtIn_ = true;
}

int TMMCustomSwitch::ImageWidth() const
{
    return glyph_.width() / numGlyphs_;
}

QSize TMMCustomSwitch::NaturalSize() const
{
    const int e2 = 2 * BevelExtent();
    if (kind_ == skVertical)
        return QSize(ImageWidth() + e2, glyph_.height() * numPositions_ + e2);
    return QSize(glyph_.width() * numPositions_ / numGlyphs_ + e2, glyph_.height() + e2);
}

// Every bounds change outside loading ends at the natural size.
void TMMCustomSwitch::ApplySize()
{
    if (IsLoading()) {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        return;
    }
    setFixedSize(NaturalSize());
    update();
}

void TMMCustomSwitch::Loaded()
{
    TMMCustomControl::Loaded();
    ApplySize();
}

void TMMCustomSwitch::BevelChanged()
{
    ApplySize();
    TMMCustomControl::BevelChanged();
}

void TMMCustomSwitch::SetKind(TMMSwitchKind kind)
{
    if (kind_ == kind)
        return;
    kind_ = kind;
    if (builtIn_)
        LoadBuiltInGlyph();
    ApplySize();
}

void TMMCustomSwitch::SetNumPositions(int count)
{
    if (count < 2 || count == numPositions_)
        return;
    numPositions_ = count;
    SetPosition(std::min(position_, count - 1));
    ApplySize();
}

void TMMCustomSwitch::SetPosition(int position)
{
    position = std::clamp(position, 0, numPositions_ - 1);
    if (position == position_)
        return;
    position_ = position;
    update();
    Change();
    if (!IsDesigning() && isEnabled())
        repaint();  // the knob moves at once
}

void TMMCustomSwitch::SetGlyph(const QImage& glyph)
{
    if (glyph.isNull()) {
        LoadBuiltInGlyph();
    } else {
        glyph_ = glyph.copy();
        knobs_ = KnobsOf(glyph_);
        builtIn_ = false;
    }
    ApplySize();
}

void TMMCustomSwitch::SetNumGlyphs(int count)
{
    count = std::clamp(count, 1, 4);
    if (count == numGlyphs_)
        return;
    numGlyphs_ = count;
    ApplySize();
}

void TMMCustomSwitch::Change()
{
    if (!IsLoading() && !IsReading() && OnChange)
        OnChange(this);
}

QRect TMMCustomSwitch::KnobRect() const
{
    const int e = BevelExtent();
    const int w = ImageWidth();
    const int h = glyph_.height();
    if (kind_ == skVertical)
        return QRect(e, e + position_ * h, w, h);
    return QRect(e + position_ * w, e, w, h);
}

int TMMCustomSwitch::KnobImage() const
{
    if (!isEnabled() && numGlyphs_ > 1)
        return 1;
    if (dragging_ && numGlyphs_ > 2)
        return 2;
    return 0;
}

void TMMCustomSwitch::Paint(QPainter& painter)
{
    TMMCustomControl::Paint(painter);
    if (!knobs_.isNull()) {
        const QRect knob = KnobRect();
        const int w = ImageWidth();
        painter.drawImage(knob.topLeft(), knobs_, QRect(KnobImage() * w, 0, w, knob.height()));
    }
    if (hasFocus()) {
        painter.setPen(clBlack);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(InnerRect().adjusted(0, 0, -1, -1));
    }
}

// Pixels the knob can travel: the inner length less one knob.
int TMMCustomSwitch::Travel() const
{
    const int e2 = 2 * BevelExtent();
    return kind_ == skVertical ? height() - e2 - glyph_.height() : width() - e2 - ImageWidth();
}

void TMMCustomSwitch::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !isEnabled()) {
        TMMCustomControl::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const QPoint p = event->position().toPoint();
    if (KnobRect().contains(p)) {
        dragging_ = true;
        dragPoint_ = p;
        dragPosition_ = position_;
        update();
        return;
    }
    const int e = BevelExtent();
    const int step = kind_ == skVertical ? glyph_.height() : ImageWidth();
    if (step > 0)
        SetPosition(((kind_ == skVertical ? p.y() : p.x()) - e) / step);
}

void TMMCustomSwitch::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_)
        return;
    const int travel = Travel();
    if (travel <= 0)
        return;
    const QPoint p = event->position().toPoint();
    const int moved = kind_ == skVertical ? p.y() - dragPoint_.y() : p.x() - dragPoint_.x();
    SetPosition(dragPosition_ + moved * numPositions_ / travel);
}

void TMMCustomSwitch::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && dragging_) {
        dragging_ = false;
        update();
    }
}

void TMMCustomSwitch::keyPressEvent(QKeyEvent* event)
{
    const bool vertical = kind_ == skVertical;
    switch (event->key()) {
    case Qt::Key_End:
        SetPosition(numPositions_ - 1);
        break;
    case Qt::Key_Home:
        SetPosition(0);
        break;
    case Qt::Key_Up:
    case Qt::Key_Left:
        if ((event->key() == Qt::Key_Up) == vertical)
            SetPosition(position_ - 1);
        break;
    case Qt::Key_Down:
    case Qt::Key_Right:
        if ((event->key() == Qt::Key_Down) == vertical)
            SetPosition(position_ + 1);
        break;
    default:
        TMMCustomControl::keyPressEvent(event);
        return;
    }
}

void TMMCustomSwitch::focusInEvent(QFocusEvent* event)
{
    TMMCustomControl::focusInEvent(event);
    update();
}

void TMMCustomSwitch::focusOutEvent(QFocusEvent* event)
{
    TMMCustomControl::focusOutEvent(event);
    dragging_ = false;
    update();
}

void TMMCustomSwitch::changeEvent(QEvent* event)
{
    TMMCustomControl::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        dragging_ = dragging_ && isEnabled();
        update();
    }
}

}  // namespace zol
