#include "mixer/mixerlevel.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace zol {

TMMCustomLevel::TMMCustomLevel(QWidget* parent) : TMMGraphicControl(parent)
{
    resize(200, 16);
}

template <typename T>
static bool StoreValue(T& field, const T& value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

void TMMCustomLevel::SetBitLength(TMMBits v)
{
    if (StoreValue(bits_, v))
        update();
}
void TMMCustomLevel::SetEnabled(bool v)
{
    if (StoreValue(enabled_, v)) {
        if (!enabled_)
            raw_ = peak_ = 0;
        update();
    }
}
void TMMCustomLevel::SetKind(TMMLevelKind v)
{
    if (StoreValue(kind_, v))
        update();
}
void TMMCustomLevel::SetSpotWidth(int v)
{
    if (StoreValue(spotWidth_, std::max(v, 1)))
        update();
}
void TMMCustomLevel::SetPoint1(int v)
{
    if (StoreValue(point1_, std::clamp(v, 1, 100)))
        update();
}
void TMMCustomLevel::SetPoint2(int v)
{
    if (StoreValue(point2_, std::clamp(v, 1, 100)))
        update();
}
void TMMCustomLevel::SetLogAmp(bool v)
{
    if (StoreValue(logAmp_, v))
        update();
}
void TMMCustomLevel::SetShowPeak(bool v)
{
    if (StoreValue(showPeak_, v))
        update();
}

void TMMCustomLevel::SetBarColors(const QColor& c1, const QColor& c2, const QColor& c3)
{
    bar_[0] = c1;
    bar_[1] = c2;
    bar_[2] = c3;
    update();
}

void TMMCustomLevel::SetInactiveColors(const QColor& c1, const QColor& c2, const QColor& c3)
{
    inactive_[0] = c1;
    inactive_[1] = c2;
    inactive_[2] = c3;
    update();
}

void TMMCustomLevel::SetRawValue(int value)
{
    if (!enabled_)
        return;
    value = std::clamp(value, 0, bits_ == b8Bit ? 128 : 32768);
    raw_ = value;
    peak_ = std::max(peak_, Percent());
    update();
}

int TMMCustomLevel::Percent() const
{
    const double full = bits_ == b8Bit ? 128.0 : 32768.0;
    if (raw_ <= 0)
        return 0;
    if (!logAmp_)
        return static_cast<int>(raw_ * 100.0 / full);
    // 60 dB shown over the bar.
    const double db = 20.0 * std::log10(raw_ / full);
    return std::clamp(static_cast<int>((db + 60.0) * 100.0 / 60.0), 0, 100);
}

void TMMCustomLevel::Paint(QPainter& painter)
{
    const QRect inner = Bevel().PaintBevel(painter, QRect(0, 0, width(), height()), true);
    painter.fillRect(inner, Color());
    const bool vertical = kind_ == lkVertical;
    const int length = vertical ? inner.height() : inner.width();
    const int pitch = spotWidth_ + 1;
    const int spots = std::max(length / pitch, 1);
    const int lit = Percent() * spots / 100;
    for (int i = 0; i < spots; ++i) {
        const int pct = (i + 1) * 100 / spots;
        const int zone = pct > point2_ ? 2 : pct > point1_ ? 1 : 0;
        const QColor color = i < lit ? bar_[zone] : inactive_[zone];
        QRect spot;
        if (vertical)
            spot = QRect(inner.left(), inner.bottom() + 1 - (i + 1) * pitch, inner.width(), spotWidth_);
        else
            spot = QRect(inner.left() + i * pitch, inner.top(), spotWidth_, inner.height());
        painter.fillRect(spot, color);
    }
}

}  // namespace zol
