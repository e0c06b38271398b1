// One seven-segment LED digit or symbol, drawn from a shared glyph strip.
#pragma once

#include "controls/mmcontrols.h"
#include "displays/ledcache.h"

namespace zol {

class TMMCustomLEDDigit : public TMMGraphicControl {
public:
    explicit TMMCustomLEDDigit(QWidget* parent = nullptr);
    ~TMMCustomLEDDigit() override;

    // The digit shown, within MinValue..MaxValue. With CascadeValues and a
    // Connect digit, the tens of a written value go to Connect first; the
    // digit keeps the value mod 10.
    int Value() const { return value_; }
    void SetValue(int value);
    // 0..9; other values are ignored.
    int MinValue() const { return minValue_; }
    void SetMinValue(int value);
    int MaxValue() const { return maxValue_; }
    void SetMaxValue(int value);

    TMMLEDType DisplayType() const { return displayType_; }
    void SetDisplayType(TMMLEDType value);
    TMMLEDSize DigitSize() const { return digitSize_; }
    void SetDigitSize(TMMLEDSize value);
    QColor LEDColor() const { return ledColor_; }
    void SetLEDColor(const QColor& value);
    QColor InactiveColor() const { return inactiveColor_; }
    void SetInactiveColor(const QColor& value);
    bool DrawInactive() const { return drawInactive_; }
    void SetDrawInactive(bool value);
    // Shows nothing lit while the value is 0.
    bool ZeroBlank() const { return zeroBlank_; }
    void SetZeroBlank(bool value);
    bool CascadeValues() const { return cascadeValues_; }
    void SetCascadeValues(bool value);
    // The next more significant digit; none when it is destroyed. A digit
    // that would close a ring of Connect digits is refused (the cascade would
    // never end).
    TMMCustomLEDDigit* Connect() const { return connect_; }
    void SetConnect(TMMCustomLEDDigit* value);
    // A disabled digit shows all segments unlit.
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    // Background; by default the parent's colour. Changing it recolours the
    // glyphs.
    void SetColor(const QColor& value);

    // Raised when the stored value wraps from 9 to 0 (forward) or from 0 to
    // 9 (backward); not while loading.
    TNotifyEvent OnRollForward;
    TNotifyEvent OnRollBackward;

    // The shared strip in use, the glyph size and the glyph painted now.
    const QImage* Strip() const { return strip_; }
    int GlyphWidth() const;
    int GlyphHeight() const;
    int GlyphIndex() const;

    void Loaded() override;

protected:
    void Paint(QPainter& painter) override;
    void Notification(QObject* component, TOperation operation) override;

private:
    // Takes the strip of the current look, dropping the old one.
    void AcquireStrip();
    // After a change of the look: new strip, size of one glyph, repaint.
    void RefreshGlyph();
    void RepaintNow();

    int value_ = 0;
    int minValue_ = 0;
    int maxValue_ = 9;
    TMMLEDType displayType_ = ltDigit;
    TMMLEDSize digitSize_ = ls13x21;
    QColor ledColor_ = clLime;
    QColor inactiveColor_ = clGreen;
    bool drawInactive_ = true;
    bool zeroBlank_ = false;
    bool cascadeValues_ = false;
    bool enabled_ = true;
    TMMCustomLEDDigit* connect_ = nullptr;
    const QImage* strip_ = nullptr;
    QRgb stripBackground_ = 0;
};

class TMMLEDDigit : public TMMCustomLEDDigit {
public:
    using TMMCustomLEDDigit::TMMCustomLEDDigit;
};

}  // namespace zol
