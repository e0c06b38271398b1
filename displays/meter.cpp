#include "displays/meter.h"

#include "platform/errors.h"
#include "platform/paintbatch.h"
#include "platform/strings.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>

#include <cmath>
#include <cstring>

namespace zol {

namespace {

inline long Nearest(double x)
{
    return std::lrint(x);  // halves to the even neighbour
}

}  // namespace

TMMCustomMeter::TMMCustomMeter(QWidget* parent) : TMMGraphicControl(parent)
{
    SetColor(clBlack);
    QFont f = font();
    f.setBold(true);
    f.setPixelSize(11);
    setFont(f);
    resize(170, 90);
    RecomputeNeededBytes();
    if (!IsDesigning())
        RegisterTickClient();
}

TMMCustomMeter::~TMMCustomMeter()
{
    Destroying();
    if (tick_ != nullptr) {
        RemoveTickClient(tick_);
        tick_ = nullptr;
    }
}

// ---------------------------------------------------------------------------
// tick service

void TMMCustomMeter::RegisterTickClient()
{
    if (tick_ != nullptr)
        return;
    tick_ = AddTickClient(kTickPeriodMs, 0, [](TTickHandle, void* owner) {
        static_cast<TMMCustomMeter*>(owner)->PeakFall();
    }, this);
    tickPaused_ = false;
    UpdateTickPause();
}

void TMMCustomMeter::UpdateTickPause()
{
    if (tick_ == nullptr)
        return;
    const bool pause = !showPeak_ || !enabled_;
    if (pause == tickPaused_)
        return;
    tickPaused_ = pause;
    if (pause)
        PauseTickClient(tick_);
    else
        ResumeTickClient(tick_);
}

void TMMCustomMeter::PeakFall()
{
    // Tick-service thread: only the peak value, its counter and the flag.
    const int peak = peakValue_.load();
    if (peak <= 0)
        return;
    const int hold = peakHold_.load() - 1;
    // At or below 0 (not only at 0): with PeakSpeed 0 the peak then keeps
    // following the needle instead of staying behind at a stale value.
    if (hold > 0) {
        peakHold_ = hold;
        return;
    }
    if (peakSpeed_ == 0) {
        peakValue_ = needleValue_.load();
        peakHold_ = 0;
    } else {
        peakValue_ = std::max(peak - 500, needleValue_.load());
        peakHold_ = peakSpeed_;
    }
    peakChanged_ = true;
}

bool TMMCustomMeter::event(QEvent* e)
{
    if (e->type() == QEvent::ParentChange && tick_ == nullptr && !IsDesigning())
        RegisterTickClient();
    return TMMGraphicControl::event(e);
}

// ---------------------------------------------------------------------------
// properties

void TMMCustomMeter::SetCaption(const QString& value)
{
    SetLook(caption_, value);
}

void TMMCustomMeter::SetFontColor(const QColor& value)
{
    SetLook(fontColor_, value);
}

void TMMCustomMeter::SetMeterFont(const QFont& value)
{
    setFont(value);
    bgDirty_ = true;
    update();
}

void TMMCustomMeter::SetNeedleColor(const QColor& v)
{
    if (v == needleColor_)
        return;
    needleColor_ = v;
    workDirty_ = true;
    update();
}

void TMMCustomMeter::SetPeakColor(const QColor& v)
{
    if (v == peakColor_)
        return;
    peakColor_ = v;
    workDirty_ = true;
    update();
}

void TMMCustomMeter::SetNeedleWidth(int v)
{
    v = std::max(v, 0);
    if (v == needleWidth_)
        return;
    needleWidth_ = v;
    workDirty_ = true;
    update();
}

void TMMCustomMeter::SetBackgroundPicture(const QImage& picture)
{
    picture_ = picture;
    bgDirty_ = true;
    update();
}

void TMMCustomMeter::SetBitLength(TMMBits v)
{
    if (v == kernel_.BitLength())
        return;
    kernel_.SetBitLength(v);
    RecomputeNeededBytes();
}

void TMMCustomMeter::SetMode(TMMMode v)
{
    if (v == kernel_.Mode())
        return;
    kernel_.SetMode(v);
    RecomputeNeededBytes();
}

void TMMCustomMeter::SetSamples(int v)
{
    v = std::max(v, 1);
    if (v == samples_)
        return;
    samples_ = v;
    RecomputeNeededBytes();
}

void TMMCustomMeter::RecomputeNeededBytes()
{
    neededBytes_ = kernel_.BytesOf(samples_);
}

void TMMCustomMeter::SetGain(int v)
{
    if (v < -8 || v > 32 || v == gain_)
        return;
    gain_ = v;
}

void TMMCustomMeter::SetSensitivy(int v)
{
    v = std::clamp(v, -90, -9);
    if (v == sensitivy_)
        return;
    sensitivy_ = v;
    bgDirty_ = true;
    update();
}

void TMMCustomMeter::SetLogAmp(bool v)
{
    if (v == logAmp_)
        return;
    logAmp_ = v;
    bgDirty_ = true;
    update();
}

void TMMCustomMeter::SetShowPeak(bool v)
{
    if (v == showPeak_)
        return;
    showPeak_ = v;
    peakHold_ = 0;
    if (!v)
        peakValue_ = 0;
    UpdateTickPause();
    workDirty_ = true;
    update();
}

void TMMCustomMeter::SetEnabled(bool value)
{
    if (value == enabled_)
        return;
    enabled_ = value;
    setEnabled(value);
    UpdateTickPause();
    ResetDisplay();
}

void TMMCustomMeter::SetWaveFormat(const WAVEFORMATEX* format)
{
    if (!IsValidPcmFormat(format))
        throw EMMMeterError(LoadResString(SInvalidWaveFormatCaps));
    SetBitLength(BitsOf(*format));
    SetMode(ModeOf(*format));
    sampleRate_ = format->nSamplesPerSec;
}

std::int64_t TMMCustomMeter::AudioAnalysedMs() const
{
    const std::uint32_t rate = sampleRate_.load();
    return rate == 0 ? 0 : framesAnalysed_.load() * 1000 / rate;
}

// ---------------------------------------------------------------------------
// levels

void TMMCustomMeter::ShowPCMData(const char* data)
{
    if (!enabled_ || !Visible() || data == nullptr)
        return;
    const std::int32_t m = kernel_.BlockPeak(data, samples_);
    framesAnalysed_ += samples_;
    if (m >= kMeterFullScale && OnPcmOverflow)
        OnPcmOverflow(this);
    LevelStep(m);
}

double TMMCustomMeter::LinearFloor() const
{
    return kMeterFullScale / std::pow(10.0, -sensitivy_ / 20.0);
}

void TMMCustomMeter::LevelStep(std::int32_t r)
{
    r = r < 0 ? -r : r;
    rawLevel_.store(r, std::memory_order_relaxed);
    if (r == 0 && needleValue_ == 0 && !peakChanged_)
        return;

    r = kernel_.Smooth(r);

    const std::int64_t g = static_cast<std::int64_t>(r) * (gain_ + 8) / 8;
    long v;
    if (logAmp_) {
        const double db = 20.0 * std::log10(std::max(static_cast<double>(g) / kMeterFullScale, 0.00001));
        v = Nearest((db - sensitivy_) * kMeterFullScale / -sensitivy_);
    } else {
        const double fl = LinearFloor();
        v = Nearest((static_cast<double>(g) - fl) * kMeterFullScale / (kMeterFullScale - fl));
    }
    v = std::max(v, 0L);
    if (v >= kMeterFullScale) {
        if (OnGainOverflow)
            OnGainOverflow(this);
        v = kMeterFullScale;
    }
    const int value = static_cast<int>(v);
    if (value > peakValue_ && showPeak_) {
        peakValue_ = value;
        peakHold_ = peakDelay_ * 2 + 1;
        peakChanged_ = true;
    }
    if (value == needleValue_ && !peakChanged_)
        return;
    peakChanged_ = false;
    needleValue_ = value;
    if (enabled_ && Visible())
        DrawNeedlesNow();
}

void TMMCustomMeter::ResetDisplay()
{
    rawLevel_ = 0;
    needleValue_ = 0;
    peakValue_ = 0;
    peakHold_ = 0;
    peakChanged_ = false;
    kernel_.ClearDecay();
    DrawNeedlesNow();
}

int TMMCustomMeter::Value() const
{
    if (needleValue_ == 0)
        return 0;
    if (!logAmp_)
        return static_cast<int>(Nearest(needleValue_ * 100.0 / kMeterFullScale));
    if (gain_ + 8 <= 0)
        return 100;
    const double amp = std::pow(10.0, (sensitivy_ - needleValue_ * static_cast<double>(sensitivy_) / kMeterFullScale) / 20.0);
    return static_cast<int>(std::clamp<long>(Nearest(amp * 8.0 / (gain_ + 8) * 100.0), 0, 100));
}

void TMMCustomMeter::SetValue(int percent)
{
    percent = std::clamp(percent, 0, 100);
    LevelStep(static_cast<std::int32_t>(Nearest(percent * 32767.0 / 100.0)));
}

// ---------------------------------------------------------------------------
// drawing

QPoint TMMCustomMeter::NeedlePoint(int v, double r) const
{
    const int w = work_.width();
    const int h = work_.height();
    const double a0 = (180 - scaleAngle_) * M_PI / 360.0;
    const double a = a0 + (M_PI - 2 * a0) * v / kMeterFullScale;
    return QPoint(w / 2 - static_cast<int>(Nearest(std::cos(a) * r)),
                  h + needleOffset_ - static_cast<int>(Nearest(std::sin(a) * r)));
}

void TMMCustomMeter::EnsureImages()
{
    const QSize size = InnerRect().size().expandedTo(QSize(1, 1));
    if (work_.size() != size) {
        work_ = QImage(size, QImage::Format_RGB32);
        background_ = QImage(size, QImage::Format_RGB32);
        bgDirty_ = true;
    }
}

void TMMCustomMeter::RebuildBackground()
{
    EnsureImages();
    const int w = background_.width();
    const int h = background_.height();
    QPainter p(&background_);
    if (!picture_.isNull())
        p.drawImage(QRect(0, 0, w, h), picture_);
    else
        p.fillRect(QRect(0, 0, w, h), Color());

    if (drawScale_ && scaleTicks_ >= 2) {
        const int outer = h + needleOffset_ - topSpace_ - 2;
        const int inner = outer - scaleHeight2_;
        const int shortLen = scaleHeight2_ - scaleHeight1_;
        QFont small(font().family());
        small.setPixelSize(8);
        small.setBold(false);
        p.setFont(small);
        const QFontMetrics fm(small);
        const double fl = LinearFloor();
        for (int i = 0; i < scaleTicks_; ++i) {
            const int value = i * kMeterFullScale / (scaleTicks_ - 1);
            const bool isLong = enlargeEvery_ == 0 || i == scaleTicks_ - 1 || i % enlargeEvery_ == 0;
            int r0, r1;
            if (isLong) {
                r0 = outer;
                r1 = inner;
            } else if (scaleOrigin_ == soOuter) {
                r0 = outer;
                r1 = outer - shortLen;
            } else {
                r0 = inner;
                r1 = inner + shortLen;
            }
            const QColor color = value * 100 <= point1_ * kMeterFullScale   ? scaleColor_[0]
                                 : value * 100 <= point2_ * kMeterFullScale ? scaleColor_[1]
                                                                            : scaleColor_[2];
            p.setPen(QPen(color, 1));
            p.drawLine(NeedlePoint(value, r0), NeedlePoint(value, r1));

            if (textEvery_ > 0 && i % textEvery_ == 0) {
                int db;
                if (logAmp_)
                    db = (scaleTicks_ - i - 1) * sensitivy_ / (scaleTicks_ - 1);
                else
                    db = static_cast<int>(Nearest(
                        20.0 * std::log10((fl + (kMeterFullScale - fl) * i / (scaleTicks_ - 1)) / kMeterFullScale)));
                const QString digits = QString::number(std::abs(db));
                const QPoint at = NeedlePoint(value, outer);
                const int dw = fm.horizontalAdvance(digits);
                const int x = at.x() - dw / 2;
                const int baseline = at.y() - 3 - fm.descent();
                p.setPen(fontColor_);
                p.drawText(x, baseline, digits);
                if (db < 0)
                    p.drawText(x - fm.horizontalAdvance(QLatin1Char('-')), baseline, QStringLiteral("-"));
            }
        }
    }

    if (!caption_.isEmpty()) {
        p.setFont(font());
        p.setPen(fontColor_);
        const QFontMetrics fm(font());
        const int bottom = h - h / 16;
        const int x = (w - fm.horizontalAdvance(caption_)) / 2;
        p.drawText(x, bottom - fm.descent(), caption_);
    }
    bgDirty_ = false;
    workDirty_ = true;
}

QRect TMMCustomMeter::NeedleBounds(int v) const
{
    const QPoint pivot(work_.width() / 2, work_.height() + needleOffset_);
    const double r = work_.height() + needleOffset_ - topSpace_;
    // The pen reaches half its width past the line's ends and sides.
    const int m = std::max(needleWidth_, 1) + 2;
    return QRect(pivot, NeedlePoint(v, r)).normalized().adjusted(-m, -m, m, m).intersected(work_.rect());
}

QRect TMMCustomMeter::RenderNeedles()
{
    EnsureImages();
    if (bgDirty_)
        RebuildBackground();
    QRect now = NeedleBounds(needleValue_);
    if (showPeak_)
        now |= NeedleBounds(peakValue_);
    QRect area;
    if (workDirty_) {
        std::memcpy(work_.bits(), background_.constBits(), static_cast<std::size_t>(background_.sizeInBytes()));
        area = work_.rect();
    } else {
        // Only the old needles' place is laid anew: the rest of the picture
        // is background already.
        area = (drawnNeedles_ | now).intersected(work_.rect());
        const auto bytes = static_cast<std::size_t>(area.width()) * sizeof(QRgb);
        for (int y = area.top(); y <= area.bottom(); ++y)
            std::memcpy(work_.scanLine(y) + area.left() * sizeof(QRgb),
                        background_.constScanLine(y) + area.left() * sizeof(QRgb), bytes);
    }
    {
        QPainter p(&work_);
        const QPoint pivot(work_.width() / 2, work_.height() + needleOffset_);
        const double r = work_.height() + needleOffset_ - topSpace_;
        if (showPeak_) {
            p.setPen(QPen(peakColor_, needleWidth_));
            p.drawLine(pivot, NeedlePoint(peakValue_, r));
        }
        p.setPen(QPen(needleColor_, needleWidth_));
        p.drawLine(pivot, NeedlePoint(needleValue_, r));
    }
    drawnNeedles_ = now;
    workDirty_ = false;
    if (OnPostPaint)
        OnPostPaint(this);
    return area;
}

const QImage& TMMCustomMeter::Picture()
{
    EnsureImages();
    if (bgDirty_ || workDirty_)
        RenderNeedles();
    return work_;
}

void TMMCustomMeter::DrawNeedlesNow()
{
    // A meter that cannot be seen (its window is not shown) renders its
    // needles when it is painted or its picture is asked for.
    if (!isVisible()) {
        workDirty_ = true;
        return;
    }
    const QRect area = RenderNeedles();
    if (!area.isEmpty())
        platform::RepaintNow(this, QRegion(area.translated(InnerRect().topLeft())));
}

void TMMCustomMeter::Paint(QPainter& painter)
{
    const QRect inner = Bevel().PaintBevel(painter, QRect(0, 0, width(), height()), true);
    EnsureImages();
    if (bgDirty_ || workDirty_)
        RenderNeedles();
    painter.drawImage(inner.topLeft(), work_);
}

void TMMCustomMeter::resizeEvent(QResizeEvent*)
{
    EnsureImages();
    ResetDisplay();
}

}  // namespace zol
