// A row of LED digits showing a signed integer.
#pragma once

#include "displays/leddigit.h"
#include "displays/ledmouse.h"

#include <vector>

namespace zol {

class TMMCustomLEDPanel : public TMMCustomPanel, public TMMLEDMouseEvents {
public:
    explicit TMMCustomLEDPanel(QWidget* parent = nullptr);
    ~TMMCustomLEDPanel() override;

    // Clamped to MinValue..MaxValue. Digits beyond the most significant one
    // are dropped (100 on two digits reads 00); a negative value shows a
    // minus in the most significant digit.
    int Value() const { return value_; }
    void SetValue(int value);
    int MinValue() const { return minValue_; }
    void SetMinValue(int value);
    int MaxValue() const { return maxValue_; }
    void SetMaxValue(int value);
    // 1..9; other values are ignored.
    int NumDigits() const { return static_cast<int>(digits_.size()); }
    void SetNumDigits(int value);
    TMMLEDSize DigitSize() const { return digitSize_; }
    void SetDigitSize(TMMLEDSize value);
    // Pixels between two digits, at least 1.
    int LEDSpace() const { return ledSpace_; }
    void SetLEDSpace(int value);
    QColor LEDColor() const { return ledColor_; }
    void SetLEDColor(const QColor& value);
    QColor InactiveColor() const { return inactiveColor_; }
    void SetInactiveColor(const QColor& value);
    bool DrawInactive() const { return drawInactive_; }
    void SetDrawInactive(bool value);
    // Leading zeros go dark.
    bool ZeroBlank() const { return zeroBlank_; }
    void SetZeroBlank(bool value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    // Background of the panel and its digits (default black).
    void SetColor(const QColor& value);
    bool TabStop() const { return focusPolicy() != Qt::NoFocus; }
    void SetTabStop(bool value) { setFocusPolicy(value ? Qt::TabFocus : Qt::NoFocus); }

    // Raised after Value changed (not while loading).
    TNotifyEvent OnChange;

    // Digit `index`: 1 = units (rightmost) .. NumDigits (leftmost).
    TMMLEDDigit* Digit(int index) const;

    void Loaded() override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void BevelChanged() override;

private:
    void CreateDigits(int count);
    void ApplyZeroBlank();
    // Forces the panel's size and places the digits.
    void Layout();
    // Shows the value on the digits: magnitude cascading from digit 1, the
    // sign in the most significant digit.
    void ShowValue();

    int value_ = 0;
    int minValue_ = 0;
    int maxValue_ = 100;
    TMMLEDSize digitSize_ = ls13x21;
    int ledSpace_ = 1;
    QColor ledColor_ = clLime;
    QColor inactiveColor_ = clGreen;
    bool drawInactive_ = true;
    bool zeroBlank_ = false;
    bool enabled_ = true;
    bool layingOut_ = false;
    // digits_[0] is digit 1 (units).
    std::vector<TMMLEDDigit*> digits_;
};

class TMMLEDPanel : public TMMCustomLEDPanel {
public:
    using TMMCustomLEDPanel::TMMCustomLEDPanel;
};

}  // namespace zol
