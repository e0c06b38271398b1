// A bar level display fed with raw 16-bit values (0..32768): a row of spots
// in three colour zones split at Point1 and Point2 percent, lit up to the
// level; unlit spots show the inactive colours. Used by the mixer block's
// level parts.
#pragma once

#include "platform/waveformat.h"
#include "controls/mmcontrols.h"

namespace zol {

enum TMMLevelKind { lkHorizontal, lkVertical };

class TMMCustomLevel : public TMMGraphicControl {
public:
    explicit TMMCustomLevel(QWidget* parent = nullptr);

    TMMBits BitLength() const { return bits_; }
    void SetBitLength(TMMBits v);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool v);
    TMMLevelKind Kind() const { return kind_; }
    void SetKind(TMMLevelKind v);
    int SpotWidth() const { return spotWidth_; }
    void SetSpotWidth(int v);
    int Point1() const { return point1_; }
    void SetPoint1(int v);
    int Point2() const { return point2_; }
    void SetPoint2(int v);
    bool LogAmp() const { return logAmp_; }
    void SetLogAmp(bool v);
    bool ShowPeak() const { return showPeak_; }
    void SetShowPeak(bool v);
    void SetBarColors(const QColor& c1, const QColor& c2, const QColor& c3);
    void SetInactiveColors(const QColor& c1, const QColor& c2, const QColor& c3);

    // Shows a raw level (magnitude of a 16-bit sample).
    void SetRawValue(int value);
    int RawValue() const { return raw_; }
    // Lit part of the bar in percent.
    int Percent() const;

protected:
    void Paint(QPainter& painter) override;

private:
    TMMBits bits_ = b8Bit;
    bool enabled_ = true;
    TMMLevelKind kind_ = lkHorizontal;
    int spotWidth_ = 2;
    int point1_ = 60;
    int point2_ = 80;
    bool logAmp_ = true;
    bool showPeak_ = true;
    int peak_ = 0;
    int raw_ = 0;
    QColor bar_[3] = {clGreen, clYellow, clRed};
    QColor inactive_[3] = {clGray, clGray, clGray};
};

}  // namespace zol
