#include "displays/leddigit.h"

#include <QPainter>

namespace zol {

TMMCustomLEDDigit::TMMCustomLEDDigit(QWidget* parent) : TMMGraphicControl(parent)
{
    // The background follows the parent's colour.
    if (auto* control = dynamic_cast<TMMBevelControl*>(parent))
        TMMGraphicControl::SetColor(control->Color());
    else if (parent != nullptr)
        TMMGraphicControl::SetColor(parent->palette().color(parent->backgroundRole()));
    resize(11, 21);
    RefreshGlyph();
}

TMMCustomLEDDigit::~TMMCustomLEDDigit()
{
    Destroying();
    TDigitCache::ReleaseDigitBitmap(strip_);
}

int TMMCustomLEDDigit::GlyphWidth() const
{
    return strip_ ? strip_->width() / LEDGlyphCount(displayType_) : width();
}

int TMMCustomLEDDigit::GlyphHeight() const
{
    return strip_ ? strip_->height() : height();
}

int TMMCustomLEDDigit::GlyphIndex() const
{
    if (!enabled_)
        return 0;
    if (displayType_ != ltDigit)
        return static_cast<int>(displayType_);
    if (zeroBlank_ && value_ == 0)
        return 0;
    return value_ + 1;
}

void TMMCustomLEDDigit::SetValue(int value)
{
    if (cascadeValues_ && connect_ != nullptr)
        connect_->SetValue(value / 10);
    const int v = value % 10;
    if (v == value_ || v < minValue_ || v > maxValue_)
        return;
    const int old = value_;
    value_ = v;
    RepaintNow();
    if (IsLoading())
        return;
    if (old == 9 && v == 0 && OnRollForward)
        OnRollForward(this);
    else if (old == 0 && v == 9 && OnRollBackward)
        OnRollBackward(this);
}

void TMMCustomLEDDigit::SetMinValue(int value)
{
    if (value == minValue_ || value < 0 || value > 9)
        return;
    minValue_ = value;
}

void TMMCustomLEDDigit::SetMaxValue(int value)
{
    if (value == maxValue_ || value < 0 || value > 9)
        return;
    maxValue_ = value;
}

void TMMCustomLEDDigit::SetDisplayType(TMMLEDType value)
{
    if (value == displayType_ || value < ltDigit || value > ltMinus)
        return;
    displayType_ = value;
    RefreshGlyph();
}

void TMMCustomLEDDigit::SetDigitSize(TMMLEDSize value)
{
    if (value == digitSize_ || value < 0 || value >= kLEDSizeCount)
        return;
    digitSize_ = value;
    RefreshGlyph();
}

void TMMCustomLEDDigit::SetLEDColor(const QColor& value)
{
    if (value == ledColor_)
        return;
    ledColor_ = value;
    RefreshGlyph();
}

void TMMCustomLEDDigit::SetInactiveColor(const QColor& value)
{
    if (value == inactiveColor_)
        return;
    inactiveColor_ = value;
    RefreshGlyph();
}

void TMMCustomLEDDigit::SetDrawInactive(bool value)
{
    if (value == drawInactive_)
        return;
    drawInactive_ = value;
    RefreshGlyph();
}

void TMMCustomLEDDigit::SetZeroBlank(bool value)
{
    if (value == zeroBlank_)
        return;
    zeroBlank_ = value;
    RepaintNow();
}

void TMMCustomLEDDigit::SetCascadeValues(bool value)
{
    cascadeValues_ = value;
}

void TMMCustomLEDDigit::SetConnect(TMMCustomLEDDigit* value)
{
    if (value == connect_)
        return;
    for (TMMCustomLEDDigit* d = value; d != nullptr; d = d->connect_)
        if (d == this)
            return;
    if (connect_ != nullptr)
        RemoveFreeNotification(connect_);
    connect_ = value;
    if (connect_ != nullptr)
        FreeNotification(connect_);
}

void TMMCustomLEDDigit::Notification(QObject* component, TOperation operation)
{
    TMMGraphicControl::Notification(component, operation);
    if (operation == opRemove && component == connect_)
        connect_ = nullptr;
}

void TMMCustomLEDDigit::SetEnabled(bool value)
{
    if (value == enabled_)
        return;
    enabled_ = value;
    setEnabled(value);
    RepaintNow();
}

void TMMCustomLEDDigit::SetColor(const QColor& value)
{
    if (value == Color())
        return;
    TMMGraphicControl::SetColor(value);
    RefreshGlyph();
}

void TMMCustomLEDDigit::Loaded()
{
    TMMGraphicControl::Loaded();
    RefreshGlyph();
}

void TMMCustomLEDDigit::AcquireStrip()
{
    const QImage* old = strip_;
    // Acquire before releasing, so a strip that stays the same is not
    // recoloured again.
    strip_ = TDigitCache::AcquireDigitBitmap(displayType_, digitSize_, Color(), inactiveColor_, ledColor_,
                                             drawInactive_);
    stripBackground_ = Color().rgba();
    TDigitCache::ReleaseDigitBitmap(old);
}

void TMMCustomLEDDigit::RefreshGlyph()
{
    if (IsLoading() || IsDestroying())
        return;
    AcquireStrip();
    resize(GlyphWidth(), GlyphHeight());
    RepaintNow();
}

void TMMCustomLEDDigit::RepaintNow()
{
    if (isVisible())
        repaint();
}

void TMMCustomLEDDigit::Paint(QPainter& painter)
{
    // The background may have been changed through the base class.
    if (strip_ == nullptr || stripBackground_ != Color().rgba())
        AcquireStrip();
    const int w = GlyphWidth();
    painter.drawImage(QPoint(0, 0), *strip_, QRect(GlyphIndex() * w, 0, w, GlyphHeight()));
}

}  // namespace zol
