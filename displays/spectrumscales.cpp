// TMMSpectrum: what is drawn on the control around and over the plot: the
// amplitude and frequency scales, the frequency of the strongest bar and
// the read-out box.
#include "displays/spectrum.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace zol {

namespace {

QFont ScaleFont()
{
    QFont f(QStringLiteral("Sans Serif"));
    f.setPixelSize(10);
    return f;
}

QFont TextFont(bool bold)
{
    QFont f(QStringLiteral("Sans Serif"));
    f.setPointSize(8);
    f.setBold(bold);
    return f;
}

}  // namespace

// The scale strips take the colour of the control's parent.
QColor TMMCustomSpectrum::StripColor() const
{
    if (const auto* owner = dynamic_cast<const TMMBevelControl*>(parentWidget()))
        return owner->Color();
    return parentWidget() != nullptr ? parentWidget()->palette().color(QPalette::Window)
                                     : palette().color(QPalette::Window);
}

void TMMCustomSpectrum::PaintScales(QPainter& painter)
{
    const QRect inner = InnerRect();
    if (!drawAmpScale_ && !drawFreqScale_)
        return;
    painter.save();
    painter.setClipRegion(QRegion(inner) - QRegion(plotRect_));
    painter.fillRect(inner, StripColor());
    painter.setFont(ScaleFont());
    if (drawAmpScale_) {
        PaintAmpScale(painter, true);
        PaintAmpScale(painter, false);
    }
    if (drawFreqScale_)
        PaintFreqScale(painter);
    if (drawAmpScale_ && drawFreqScale_) {
        const QString unit = kernel_.LogAmp() ? QStringLiteral("db") : QStringLiteral("V");
        const int top = plotRect_.bottom() + 1;
        const int half = (inner.bottom() + 1 - top) / 2;
        painter.setPen(scaleTextColor_);
        for (int left : {inner.left(), plotRect_.right() + 1}) {
            painter.drawText(QRect(left, top, 32, half), Qt::AlignCenter, unit);
            painter.drawText(QRect(left, top + half, 32, half), Qt::AlignCenter, QStringLiteral("Hz"));
        }
    }
    painter.restore();
}

// A line with a 3-pixel tick at every division; labels right-aligned on
// the left scale, left-aligned on the right one, centred on their tick.
void TMMCustomSpectrum::PaintAmpScale(QPainter& painter, bool left)
{
    const int d = AmpDivisions();
    const bool db = kernel_.LogAmp();
    const int top = plotRect_.top();
    const int lineX = left ? plotRect_.left() - 2 : plotRect_.right() + 2;
    const int tickX = left ? lineX - 3 : lineX + 3;
    const QFontMetrics fm(painter.font());
    painter.setPen(scaleLineColor_);
    painter.drawLine(lineX, top, lineX, top + h_ - 1);
    for (int k = 0; k <= d; ++k) {
        int y;
        QString label;
        if (db) {
            y = top + k * (h_ - 1) / d;
            const int value = -static_cast<int>(std::lrint(k * 60.0 / d));
            label = left ? QString::number(value) : QString::asprintf("%2d", value);
        } else {
            y = top + h_ - static_cast<int>(static_cast<std::int64_t>(k) * h_ * 32760 / (32768LL * d)) - 1;
            const double value = kernel_.VerticalScale() / 100.0 * k / d;
            label = QString::asprintf(kernel_.VerticalScale() <= 9 ? "%5.3f" : "%4.2f", value);
        }
        painter.setPen(scaleLineColor_);
        painter.drawLine(std::min(lineX, tickX), y, std::max(lineX, tickX), y);
        painter.setPen(scaleTextColor_);
        // Centred on the tick, but kept inside the strip.
        const int th = fm.height();
        const QRect inner = InnerRect();
        const int ty = std::clamp(y - th / 2, inner.top(), std::max(inner.top(), inner.bottom() + 1 - th));
        if (left)
            painter.drawText(QRect(inner.left(), ty, tickX - 1 - inner.left(), th), Qt::AlignRight | Qt::AlignVCenter,
                             label.trimmed());
        else
            painter.drawText(QRect(tickX + 2, ty, inner.right() - tickX - 1, th), Qt::AlignLeft | Qt::AlignVCenter,
                             label.trimmed());
    }
}

// T + 1 ticks below the plot, each with its frequency turned by 90 degrees
// and centred on the tick.
void TMMCustomSpectrum::PaintFreqScale(QPainter& painter)
{
    const int t = FreqTicks();
    const int top = plotRect_.bottom() + 1;
    const QFontMetrics fm(painter.font());
    const int th = fm.height();
    for (int k = 0; k <= t; ++k) {
        const int x = plotRect_.left() + k * (w_ - 1) / t;
        painter.setPen(scaleLineColor_);
        painter.drawLine(x, top, x, top + 2);
        const QString label = QString::number(kernel_.ScaleFrequency(k, t), 'f', 0);
        painter.save();
        painter.translate(x, top + 4);
        painter.rotate(-90);
        painter.setPen(scaleTextColor_);
        // Turned: the text runs upwards and ends just below the ticks.
        painter.drawText(QRect(-(40 - 5), -th / 2, 40 - 5, th), Qt::AlignRight | Qt::AlignVCenter, label);
        painter.restore();
    }
}

// ---------------------------------------------------------------------------
// texts over the plot

QString TMMCustomSpectrum::PeakText() const
{
    return peakText_;
}

// The frequency of the strongest bar, above it, kept inside the plot.
void TMMCustomSpectrum::UpdatePeakText()
{
    peakText_.clear();
    peakTextRect_ = QRect();
    if (!displayPeak_ || IsDesigning() || kernel_.StrongestHeight() <= 5)
        return;
    peakText_ = QString::asprintf("%7.1f Hz", kernel_.StrongestFrequency()).trimmed();
    const QFontMetrics fm(TextFont(true));
    const int tw = fm.horizontalAdvance(peakText_);
    const int th = fm.height();
    int x = plotRect_.left() + kernel_.StrongestColumn();
    x = std::max(plotRect_.left(), std::min(x, plotRect_.right() + 1 - tw));
    const int barTop = plotRect_.top() + h_ - std::min(kernel_.StrongestHeight(), h_);
    const int y = std::max(plotRect_.top(), barTop - 1 - th);
    peakTextRect_ = QRect(x, y, tw, th) & plotRect_;
}

QString TMMCustomSpectrum::InfoText(QPoint at) const
{
    const int x = std::clamp(at.x() - plotRect_.left(), 0, w_ - 1);
    const int y = std::clamp(at.y() - plotRect_.top(), 0, h_ - 1);
    QString text = QString::asprintf("%2.3f KHz", kernel_.FrequencyAt(x) / 1000.0);
    if (kind_ == skScroll)
        return text;
    if (kernel_.LogAmp()) {
        text += QString::asprintf(" %2.1f dB", -10.0 * (6.0 * y / (h_ - 1)) + 0.0);  // + 0.0: no "-0.0"
    } else {
        const double v = static_cast<double>(h_ - y - 1) / (h_ - 1) * kernel_.VerticalScale() / 100.0;
        text += QString::asprintf(kernel_.VerticalScale() < 10 ? " %5.3f V" : " %4.2f V", v);
    }
    return text;
}

// The strongest bar's frequency and the read-out box, over the plot on the
// screen picture.
void TMMCustomSpectrum::PaintTexts(QPainter& painter)
{
    if (!peakText_.isEmpty()) {
        painter.save();
        painter.setClipRect(plotRect_);
        painter.setFont(TextFont(true));
        painter.setPen(clWhite);
        painter.drawText(peakTextRect_, Qt::AlignLeft | Qt::AlignTop, peakText_);
        painter.restore();
    }
    if (infoShowing_.load())
        PaintInfo(painter);
}

// The read-out box: below right of the pointer, moved up or left where it
// would leave the plot.
void TMMCustomSpectrum::PaintInfo(QPainter& painter)
{
    const QString text = InfoText(infoAt_);
    const QFont font = TextFont(false);
    const QFontMetrics fm(font);
    const int bw = fm.horizontalAdvance(text) + 8;
    const int bh = fm.height() + 8;
    int left = infoAt_.x() - plotRect_.left();
    int top = infoAt_.y() - plotRect_.top() + 15;
    if (top + bh > h_)
        top -= 40;
    if (left + bw > w_)
        left = w_ - bw;
    top = std::max(top, 0);
    const QRect box(plotRect_.left() + left, plotRect_.top() + top, bw, bh);
    painter.save();
    painter.setClipRect(plotRect_);
    painter.fillRect(box, clWhite);
    painter.setPen(clBlack);
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.setFont(font);
    painter.setPen(palette().color(QPalette::ToolTipText));
    painter.drawText(box, Qt::AlignCenter, text);
    painter.restore();
}

}  // namespace zol
