// TMMOscope: drawing a frame (trace, grid, scroll strip), the scales and the
// read-out box.
#include "displays/oscope.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cstdlib>

namespace zol {

namespace {

QFont ScaleFont()
{
    QFont f(QStringLiteral("Sans Serif"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(10);
    return f;
}

QFont InfoFont()
{
    QFont f(QStringLiteral("Sans Serif"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSize(8);
    return f;
}

}  // namespace

// ---------------------------------------------------------------------------
// one frame

int TMMOscope::Row(int v, int& h)
{
    const std::int64_t scaled = static_cast<std::int64_t>(v) * (gain_ + 8) / 8;
    h = static_cast<int>((scaled + offset_) * h_ / range_);
    if (h > h_)
        gainOverflow_ = true;
    return h_ - h - 1;
}

void TMMOscope::DrawFrame(bool fullRepaint, bool block)
{
    TMMDIBCanvas& dib = Canvas();
    pcmOverflow_ = false;
    gainOverflow_ = false;
    dib.BeginDraw();
    try {
        if (OnDrawLine) {
            OnDrawLine(this, &dib, QRect(0, 0, w_, h_), points_.data());
            CopyPlot();
        } else {
            const bool reset = !scroll_ || fullRepaint || restart_;
            if (reset) {
                DrawBackground();
                const bool restarted = restart_;
                ResetScroll();
                if (scroll_ && !restarted)
                    RestartOthers(this);
            }
            if (!enabled_) {
                dib.SelectColor(disabledColor_);
                dib.PlotHLine(5, w_ - 5, m_);
            } else if (!scroll_) {
                if (drawMidLine_) {
                    dib.SelectColor(disabledColor_);
                    dib.PlotHLineDashed(0, w_, m_);
                }
                if (drawGrid_)
                    DrawGridLines();
                DrawTrace();
            }
            if (scroll_ && enabled_ && block)
                DrawScrollColumn(reset);
            else
                CopyPlot();
        }
    } catch (...) {
        dib.EndDraw();
        throw;
    }
    dib.EndDraw();
    if (pcmOverflow_ && OnPcmOverflow)
        OnPcmOverflow(this);
    if (gainOverflow_ && OnGainOverflow)
        OnGainOverflow(this);
    if (OnPostPaint)
        OnPostPaint(this);
}

void TMMOscope::CopyPlot()
{
    CopyToScreen(QRect(plot_.topLeft(), QSize(w_, h_)), 0, 0, plot_);
}

int TMMOscope::DivRow(int k) const
{
    const int perRow = std::max(32768 / h_, 1);
    return h_ - k * 32760 / divisions_ / perRow - 1;
}

void TMMOscope::DrawGridLines()
{
    TMMDIBCanvas& dib = Canvas();
    dib.SelectColor(gridColor_);
    for (int k = 0; k <= divisions_; ++k)
        dib.PlotHLineDotted(0, w_, DivRow(k), 1);
    for (int k = 0; k <= timeDivisions_; ++k)
        dib.PlotVLineDotted(k * (w_ - 1) / timeDivisions_, 0, h_ - 1, 1);
}

void TMMOscope::DrawTrace()
{
    TMMDIBCanvas& dib = Canvas();
    const std::uint32_t fg = dib.ColorToPixel(foregroundColor_);
    const std::uint32_t ef = dib.ColorToPixel(effectColor_);
    const int s = steps_;
    int h = 0;
    switch (kind_) {
    case okDots:
        for (int i = 0; i < w_; i += s) {
            const int v = points_[static_cast<std::size_t>(i)];
            pcmOverflow_ |= v > 32766;
            const int y = Row(v, h);
            dib.PlotPixel(i, y, InBand(h) ? ef : fg);
        }
        break;
    case okConLines: {
        int v = points_[0];
        pcmOverflow_ |= v > 32766;
        int y = Row(v, h);
        dib.SelectPixel(InBand(h) ? ef : fg);
        dib.PlotMoveTo(0, y);
        int last = 0;
        for (int i = s; i < w_; i += s) {
            v = points_[static_cast<std::size_t>(i)];
            pcmOverflow_ |= v > 32766;
            y = Row(v, h);
            dib.SelectPixel(InBand(h) ? ef : fg);  // a segment takes its end point's colour
            dib.PlotLineTo(i, y);
            last = i;
        }
        // The last row carries on to the next step position.
        dib.PlotLineTo(last + s, y);
        break;
    }
    case okVertLines:
        dib.SelectPixel(fg);
        dib.PlotHLine(0, w_, m_);
        dib.PlotHLine(0, w_, m_ - 1);
        for (int i = 0; i < w_; i += s) {
            const int v = points_[static_cast<std::size_t>(i)];
            pcmOverflow_ |= v > 32766;
            const int y = Row(v, h);
            DrawVerticalRun(i, y, h);
        }
        break;
    case okMirLines:
        dib.SelectPixel(fg);
        dib.PlotHLine(0, w_, m_);
        dib.PlotHLine(0, w_, m_ - 1);
        for (int i = 0; i < w_; i += s) {
            const int v = points_[static_cast<std::size_t>(i)];
            pcmOverflow_ |= v > 32766;
            const int y = Row(v, h);
            dib.SelectPixel(InBand(h) ? ef : fg);
            dib.PlotVLine(i, y, h_ - 1 - y);
        }
        break;
    case okSpikes:
        for (int i = 0; i < w_; i += s)
            DrawSpike(i, points_[static_cast<std::size_t>(i)]);
        break;
    }
}

// A run from the mid row to row y (scaled height h), with its effect.
void TMMOscope::DrawVerticalRun(int x, int y, int h)
{
    TMMDIBCanvas& dib = Canvas();
    dib.SelectColor(foregroundColor_);
    dib.PlotVLine(x, m_, y);
    if (effect_ == efPeak && InBand(h)) {
        // A 5-pixel tip pointing toward the centre.
        dib.SelectColor(effectColor_);
        if (y < m_)
            dib.PlotVLine(x, y, std::min(y + 4, m_));
        else
            dib.PlotVLine(x, std::max(y - 4, m_), y);
    } else if (effect_ == efSplit && y < m_) {
        dib.SelectColor(effectColor_);
        dib.PlotVLine(x, y, m_ - 1);
    }
}

// A run from the bottom up to the magnitude of v.
void TMMOscope::DrawSpike(int x, int v)
{
    TMMDIBCanvas& dib = Canvas();
    pcmOverflow_ |= v > 32766;
    int h = 0;
    const int y = Row(std::abs(v), h);
    dib.SelectColor(foregroundColor_);
    dib.PlotVLine(x, h_, y);
    if (effect_ == efPeak && h > h_ / 3) {
        dib.SelectColor(effectColor_);
        dib.PlotVLine(x, y, y + 4);
    } else if (effect_ == efSplit && y < m_) {
        dib.SelectColor(effectColor_);
        dib.PlotVLine(x, y, m_ - 1);
    }
}

// ---------------------------------------------------------------------------
// scroll mode

// The block's minimum and maximum at column x, in the style of Kind.
void TMMOscope::DrawColumnValues(int x)
{
    TMMDIBCanvas& dib = Canvas();
    const int vmin = points_[0], vmax = points_[1];
    pcmOverflow_ |= vmax > 32766 || vmin > 32766;
    const int larger = std::abs(vmax) >= std::abs(vmin) ? vmax : vmin;
    const std::uint32_t fg = dib.ColorToPixel(foregroundColor_);
    const std::uint32_t ef = dib.ColorToPixel(effectColor_);
    int h = 0, h2 = 0;
    switch (kind_) {
    case okDots: {
        const int y1 = Row(vmin, h);
        dib.PlotPixel(x, y1, InBand(h) ? ef : fg);
        const int y2 = Row(vmax, h);
        dib.PlotPixel(x, y2, InBand(h) ? ef : fg);
        break;
    }
    case okConLines: {
        // From the last point to the nearer end of this column, then on.
        int ya = Row(vmin, h), yb = Row(vmax, h2);
        if (std::abs(ya - lastPoint_.y()) > std::abs(yb - lastPoint_.y())) {
            std::swap(ya, yb);
            std::swap(h, h2);
        }
        dib.PlotMoveTo(lastPoint_.x(), lastPoint_.y());
        dib.SelectPixel(InBand(h) ? ef : fg);
        dib.PlotLineTo(x, ya);
        dib.SelectPixel(InBand(h2) ? ef : fg);
        dib.PlotLineTo(x, yb);
        lastPoint_ = QPoint(x, yb);
        break;
    }
    case okVertLines: {
        dib.PlotPixel(x, m_, fg);
        dib.PlotPixel(x, m_ - 1, fg);
        const int y = Row(larger, h);
        DrawVerticalRun(x, y, h);
        break;
    }
    case okMirLines: {
        const int y = Row(larger, h);
        dib.SelectPixel(InBand(h) ? ef : fg);
        dib.PlotVLine(x, y, h_ - 1 - y);
        break;
    }
    case okSpikes:
        DrawSpike(x, larger);
        break;
    }
}

void TMMOscope::DrawScrollColumn(bool wholeCopy)
{
    TMMDIBCanvas& dib = Canvas();
    const int x = column_;
    const int bw = std::min(barWidth_, w_);
    dib.SelectColor(Color());
    dib.PlotVLine(x, 0, h_ - 1);
    DrawColumnValues(x);

    const bool full = filled_ >= w_;
    if (!accelerate_ || wholeCopy) {
        if (!full)
            DrawCursorBar(x);
        CopyPlot();
    } else {
        CopyToScreen(QRect(plot_.left() + x, plot_.top(), 1, h_), x, 0, plot_);
        if (!full)
            DrawScreenBar(x + 1);
    }
    if (!full) {
        ++column_;
        ++filled_;
        return;
    }
    // Full: the strip moves one pixel to the left, the bar's last columns
    // on the right stay where they are.
    const int width = std::min(w_, plot_.width()) - (bw - 1);
    if (accelerate_)
        ScrollScreen(QRect(plot_.left(), plot_.top(), width, std::min(h_, plot_.height())), -1);
    else
        dib.PlotCopyBits(dib.DIBBits(), 1, 0, w_ - bw, h_, 0, 0);
    lastPoint_.rx() -= 1;
}

// The cursor bar right of column x, with marks at the division rows.
void TMMOscope::DrawCursorBar(int x)
{
    TMMDIBCanvas& dib = Canvas();
    const int bw = std::min(barWidth_, w_);
    dib.SelectColor(barColor_);
    dib.PlotFill(QRect(x + 1, 0, bw, h_));
    dib.SelectColor(barTickColor_);
    for (int k = 0; k <= divisions_; ++k)
        dib.PlotHLine(x + 1, x + 1 + bw, DivRow(k));
}

// A one-pixel bar straight on the screen picture at plot column x.
void TMMOscope::DrawScreenBar(int x)
{
    if (x < 0 || x >= std::min(w_, plot_.width()))
        return;
    QImage& screen = Screen();
    const int sx = plot_.left() + x;
    const int rows = std::min(h_, plot_.height());
    if (sx < 0 || sx >= screen.width())
        return;
    const QRgb bar = barColor_.rgb(), tick = barTickColor_.rgb();
    for (int y = 0; y < rows; ++y) {
        const int sy = plot_.top() + y;
        if (sy >= 0 && sy < screen.height())
            reinterpret_cast<QRgb*>(screen.scanLine(sy))[sx] = bar;
    }
    for (int k = 0; k <= divisions_; ++k) {
        const int y = DivRow(k);
        const int sy = plot_.top() + y;
        if (y >= 0 && y < rows && sy < screen.height())
            reinterpret_cast<QRgb*>(screen.scanLine(sy))[sx] = tick;
    }
    MarkScreen(QRect(sx, plot_.top(), 1, rows));
}

// ---------------------------------------------------------------------------
// full paint and scales

QColor TMMOscope::ParentColor() const
{
    if (const auto* control = dynamic_cast<const TMMBevelControl*>(parentWidget()))
        return control->Color();
    if (parentWidget() != nullptr)
        return parentWidget()->palette().color(QPalette::Window);
    return clBtnFace;
}

void TMMOscope::PaintControl()
{
    QImage& screen = Screen();
    {
        QPainter p(&screen);
        const QRect inner = Bevel().PaintBevel(p, QRect(0, 0, width(), height()), true);
        if (drawAmpScale_ || drawTimeScale_)
            DrawScales(p, inner);
    }
    patch_ = QImage();  // what it covered is drawn anew
    DrawFrame(true, false);
    if (infoShowing_)
        ShowInfoBox(infoAt_);
}

void TMMOscope::DrawScales(QPainter& p, const QRect& inner)
{
    p.fillRect(inner, ParentColor());
    const QFont font = ScaleFont();
    p.setFont(font);
    if (drawAmpScale_)
        DrawAmpScaleTexts(p);
    if (drawTimeScale_)
        DrawTimeScaleTexts(p);
    if (drawAmpScale_ && drawTimeScale_) {
        const int y0 = plot_.top() + std::min(h_, plot_.height());
        const int right = plot_.left() + std::min(w_, plot_.width());
        p.setPen(scaleTextColor_);
        p.drawText(QRect(inner.left(), y0, plot_.left() - inner.left(), 14), Qt::AlignCenter, QStringLiteral("V"));
        p.drawText(QRect(right, y0, inner.right() + 1 - right, 14), Qt::AlignCenter, QStringLiteral("V"));
        p.drawText(QRect(right, y0 + 14, inner.right() + 1 - right, 14), Qt::AlignCenter, QStringLiteral("mS"));
    }
}

void TMMOscope::DrawAmpScaleTexts(QPainter& p)
{
    const QFontMetrics fm(p.font());
    const int top = plot_.top();
    const int bottom = plot_.top() + std::min(h_, plot_.height()) - 1;
    const int lx = plot_.left() - 2;
    const int rx = plot_.left() + std::min(w_, plot_.width()) + 1;
    const int th = fm.height();
    p.setPen(scaleLineColor_);
    p.drawLine(lx, top, lx, bottom);
    p.drawLine(rx, top, rx, bottom);
    const int centre = divisions_ / 2;
    for (int k = 0; k <= divisions_; ++k) {
        const int y = std::clamp(top + DivRow(k), top, bottom);
        p.setPen(scaleLineColor_);
        p.drawLine(lx - 3, y, lx, y);
        p.drawLine(rx, y, rx + 3, y);
        QString text;
        if (kind_ == okSpikes) {
            text = QString::asprintf("%4.2f", static_cast<double>(k) / divisions_);
        } else {
            // Counted from the centre outwards: + above, - below.
            const int j = k - centre;
            text = QString::asprintf("%4.2f", 2.0 * std::abs(j) / divisions_).trimmed();
            if (j > 0)
                text.prepend(QLatin1Char('+'));
            else if (j < 0)
                text.prepend(QLatin1Char('-'));
        }
        p.setPen(scaleTextColor_);
        p.drawText(QRect(lx - 4 - 40, y - th / 2, 40, th), Qt::AlignRight | Qt::AlignVCenter, text.trimmed());
        p.drawText(QRect(rx + 5, y - th / 2, 40, th), Qt::AlignLeft | Qt::AlignVCenter, text.trimmed());
    }
}

void TMMOscope::DrawTimeScaleTexts(QPainter& p)
{
    const QFontMetrics fm(p.font());
    const int y0 = plot_.top() + std::min(h_, plot_.height());
    const double ms = BlockMs();
    for (int k = 0; k <= timeDivisions_; ++k) {
        const int x = plot_.left() + k * (w_ - 1) / timeDivisions_;
        p.setPen(scaleLineColor_);
        p.drawLine(x, y0, x, y0 + 3);
        const QString text = QString::asprintf("%4.1f", k * ms / timeDivisions_).trimmed();
        // Turned 90 degrees, centred on the tick.
        p.save();
        p.translate(x, y0 + 5);
        p.rotate(90);
        p.setPen(scaleTextColor_);
        p.drawText(QRect(0, -fm.height() / 2, 34, fm.height()), Qt::AlignLeft | Qt::AlignVCenter, text);
        p.restore();
    }
}

// ---------------------------------------------------------------------------
// read-out

QString TMMOscope::InfoText(int x, int y)
{
    SyncSize();
    const double time = BlockMs() * (x + 1) / w_;
    double level;
    if (kind_ == okSpikes)
        level = static_cast<double>(h_ - y - 1) / (h_ - 1);
    else if (y > h_ / 2)
        level = 2.0 * (h_ / 2 - y + 1) / h_;  // one less below the centre
    else
        level = 2.0 * (h_ / 2 - y) / h_;
    return QString::asprintf("%4.1f ms", time) + QString::asprintf(" %4.2f V", level);
}

void TMMOscope::ShowInfoBox(const QPoint& at)
{
    QImage& screen = Screen();
    const QRect visible = plot_.intersected(QRect(plot_.topLeft(), QSize(w_, h_)));
    const int x = at.x() - plot_.left(), y = at.y() - plot_.top();
    const QString text = InfoText(x, y);
    const QFont font = InfoFont();
    const QFontMetrics fm(font);
    const QSize size(fm.horizontalAdvance(text) + 8, fm.height() + 8);
    int left = x, top = y + 15;
    if (top + size.height() > visible.height())
        top -= 40;
    if (left + size.width() > visible.width())
        left = visible.width() - size.width();
    top = std::max(top, 0);
    left = std::max(left, 0);
    const QRect box = QRect(QPoint(plot_.left() + left, plot_.top() + top), size).intersected(visible);
    if (box.isEmpty())
        return;
    patchRect_ = box;
    patch_ = screen.copy(box);
    QPainter p(&screen);
    p.setClipRect(visible);
    p.fillRect(box, Qt::white);
    p.setPen(Qt::black);
    p.drawRect(box.adjusted(0, 0, -1, -1));
    p.setFont(font);
    p.setPen(clWindowText);
    p.drawText(box, Qt::AlignCenter, text);
    MarkScreen(box);
}

void TMMOscope::HideInfoBox()
{
    if (patch_.isNull())
        return;
    QPainter p(&Screen());
    p.drawImage(patchRect_.topLeft(), patch_);
    MarkScreen(patchRect_);
    patch_ = QImage();
}

void TMMOscope::EndInfo()
{
    PaintDirect([this] { HideInfoBox(); });
    patch_ = QImage();
    infoShowing_ = false;
    releaseMouse();
    setToolTip(savedToolTip_);
}

void TMMOscope::mousePressEvent(QMouseEvent* event)
{
    SyncSize();
    const QRect visible = plot_.intersected(QRect(plot_.topLeft(), QSize(w_, h_)));
    if (event->button() == Qt::LeftButton && showInfo_ && enabled_ && !IsDesigning() && !infoShowing_
        && visible.contains(event->position().toPoint())) {
        infoShowing_ = true;
        savedToolTip_ = toolTip();
        setToolTip(QString());
        grabMouse();
        infoAt_ = event->position().toPoint();
        PaintDirect([this] { ShowInfoBox(infoAt_); });
    }
    TMMDIBGraphicControl::mousePressEvent(event);
}

void TMMOscope::mouseMoveEvent(QMouseEvent* event)
{
    if (infoShowing_) {
        // The pointer is held inside the plot.
        const QRect visible = plot_.intersected(QRect(plot_.topLeft(), QSize(w_, h_)));
        const QPoint pos = event->position().toPoint();
        const QPoint at(std::clamp(pos.x(), visible.left(), visible.right()),
                        std::clamp(pos.y(), visible.top(), visible.bottom()));
        if (at != infoAt_) {
            PaintDirect([this, at] {
                HideInfoBox();
                infoAt_ = at;
                ShowInfoBox(at);
            });
        }
    }
    TMMDIBGraphicControl::mouseMoveEvent(event);
}

void TMMOscope::mouseReleaseEvent(QMouseEvent* event)
{
    if (infoShowing_ && event->button() == Qt::LeftButton)
        EndInfo();
    TMMDIBGraphicControl::mouseReleaseEvent(event);
}

}  // namespace zol
