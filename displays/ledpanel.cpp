#include "displays/ledpanel.h"

#include <QMouseEvent>

#include <cstdint>
#include <cstdlib>

namespace zol {

namespace {
// Digits a panel can hold, and ten to that power: larger magnitudes show
// the same digits as their remainder.
constexpr int kMaxDigits = 9;
constexpr std::int64_t kDigitsModulus = 1000000000;

std::int64_t Magnitude(int value)
{
    return std::llabs(static_cast<std::int64_t>(value));
}
}  // namespace

TMMCustomLEDPanel::TMMCustomLEDPanel(QWidget* parent) : TMMCustomPanel(parent)
{
    TMMCustomPanel::SetColor(clBlack);
    setMouseTracking(true);
    CreateDigits(2);
}

TMMCustomLEDPanel::~TMMCustomLEDPanel()
{
    Destroying();
    for (TMMLEDDigit* d : digits_)
        delete d;
    digits_.clear();
}

TMMLEDDigit* TMMCustomLEDPanel::Digit(int index) const
{
    if (index < 1 || index > NumDigits())
        return nullptr;
    return digits_[index - 1];
}

void TMMCustomLEDPanel::CreateDigits(int count)
{
    for (TMMLEDDigit* d : digits_)
        delete d;
    digits_.clear();
    TMMLEDDigit* previous = nullptr;
    for (int i = 1; i <= count; ++i) {
        auto* d = new TMMLEDDigit(this);
        // One strip acquisition with the final look.
        d->BeginLoading();
        d->SetCascadeValues(true);
        d->SetEnabled(enabled_);
        d->SetDigitSize(digitSize_);
        d->SetInactiveColor(inactiveColor_);
        d->SetLEDColor(ledColor_);
        d->SetDrawInactive(drawInactive_);
        d->SetColor(Color());
        d->Loaded();
        // Clicks and mouse events land on the panel itself.
        d->setAttribute(Qt::WA_TransparentForMouseEvents);
        if (previous != nullptr)
            previous->SetConnect(d);
        digits_.push_back(d);
        previous = d;
        d->show();
    }
    digits_[0]->SetZeroBlank(false);
    ShowValue();
    ApplyZeroBlank();
    Layout();
}

void TMMCustomLEDPanel::ShowValue()
{
    if (digits_.empty())
        return;
    digits_[0]->SetValue(static_cast<int>(Magnitude(value_) % kDigitsModulus));
    digits_.back()->SetDisplayType(value_ < 0 ? ltMinus : ltDigit);
}

void TMMCustomLEDPanel::ApplyZeroBlank()
{
    const int n = NumDigits();
    if (n == 0)
        return;
    digits_[0]->SetZeroBlank(false);
    if (!zeroBlank_) {
        for (TMMLEDDigit* d : digits_)
            d->SetZeroBlank(false);
        return;
    }
    // Digits 2..n-1 stay lit where the magnitude needs them; the most
    // significant digit goes dark whenever it holds 0.
    const std::int64_t magnitude = Magnitude(value_);
    std::int64_t power = 10;
    for (int i = 2; i <= n - 1; ++i, power *= 10)
        digits_[i - 1]->SetZeroBlank(magnitude < power);
    if (n >= 2)
        digits_[n - 1]->SetZeroBlank(true);
}

void TMMCustomLEDPanel::Layout()
{
    if (digits_.empty() || IsLoading() || layingOut_)
        return;
    layingOut_ = true;
    const int b = BevelExtent();
    const int gw = digits_[0]->GlyphWidth();
    const int gh = digits_[0]->GlyphHeight();
    const int n = NumDigits();
    const QSize size(2 * b + (gw + ledSpace_) * n - ledSpace_, 2 * b + gh);
    if (this->size() != size)
        resize(size);
    int x = b;
    for (int i = n; i >= 1; --i) {
        digits_[i - 1]->move(x, b);
        x += gw + ledSpace_;
    }
    layingOut_ = false;
}

void TMMCustomLEDPanel::SetValue(int value)
{
    int v = value;
    if (v < minValue_)
        v = minValue_;
    if (v > maxValue_)
        v = maxValue_;
    if (v == value_)
        return;
    value_ = v;
    ApplyZeroBlank();
    ShowValue();
    if (!IsLoading() && OnChange)
        OnChange(this);
}

void TMMCustomLEDPanel::SetMinValue(int value)
{
    if (value == minValue_)
        return;
    minValue_ = value;
    if (value_ < minValue_)
        SetValue(value_);
}

void TMMCustomLEDPanel::SetMaxValue(int value)
{
    if (value == maxValue_)
        return;
    maxValue_ = value;
    if (value_ > maxValue_)
        SetValue(value_);
}

void TMMCustomLEDPanel::SetNumDigits(int value)
{
    if (value == NumDigits() || value < 1 || value > kMaxDigits)
        return;
    CreateDigits(value);
}

void TMMCustomLEDPanel::SetDigitSize(TMMLEDSize value)
{
    if (value == digitSize_ || value < 0 || value >= kLEDSizeCount)
        return;
    digitSize_ = value;
    for (TMMLEDDigit* d : digits_)
        d->SetDigitSize(value);
    Layout();
}

void TMMCustomLEDPanel::SetLEDSpace(int value)
{
    if (value < 1)
        value = 1;
    if (value == ledSpace_)
        return;
    ledSpace_ = value;
    Layout();
}

void TMMCustomLEDPanel::SetLEDColor(const QColor& value)
{
    if (value == ledColor_)
        return;
    ledColor_ = value;
    for (TMMLEDDigit* d : digits_)
        d->SetLEDColor(value);
}

void TMMCustomLEDPanel::SetInactiveColor(const QColor& value)
{
    if (value == inactiveColor_)
        return;
    inactiveColor_ = value;
    for (TMMLEDDigit* d : digits_)
        d->SetInactiveColor(value);
}

void TMMCustomLEDPanel::SetDrawInactive(bool value)
{
    if (value == drawInactive_)
        return;
    drawInactive_ = value;
    for (TMMLEDDigit* d : digits_)
        d->SetDrawInactive(value);
}

void TMMCustomLEDPanel::SetZeroBlank(bool value)
{
    if (value == zeroBlank_)
        return;
    zeroBlank_ = value;
    ApplyZeroBlank();
}

void TMMCustomLEDPanel::SetEnabled(bool value)
{
    if (value == enabled_)
        return;
    enabled_ = value;
    setEnabled(value);
    for (TMMLEDDigit* d : digits_)
        d->SetEnabled(value);
}

void TMMCustomLEDPanel::SetColor(const QColor& value)
{
    if (value == Color())
        return;
    TMMCustomPanel::SetColor(value);
    for (TMMLEDDigit* d : digits_)
        d->SetColor(value);
}

void TMMCustomLEDPanel::Loaded()
{
    TMMCustomPanel::Loaded();
    Layout();
}

void TMMCustomLEDPanel::resizeEvent(QResizeEvent* event)
{
    TMMCustomPanel::resizeEvent(event);
    Layout();
}

void TMMCustomLEDPanel::BevelChanged()
{
    TMMCustomPanel::BevelChanged();
    Layout();
}

void TMMCustomLEDPanel::mousePressEvent(QMouseEvent* event)
{
    MousePressed(this, event);
}

void TMMCustomLEDPanel::mouseReleaseEvent(QMouseEvent* event)
{
    MouseReleased(this, event, rect());
}

void TMMCustomLEDPanel::mouseDoubleClickEvent(QMouseEvent* event)
{
    MouseDoubleClicked(this, event);
}

void TMMCustomLEDPanel::mouseMoveEvent(QMouseEvent* event)
{
    MouseMoved(this, event);
}

}  // namespace zol
