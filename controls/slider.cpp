#include "controls/slider.h"

#include "controls/mmcursors.h"
#include "platform/window_thread.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace zol {

namespace {

// Groove fill while focused: the classic active caption colour.
const QColor kActiveCaption{0x00, 0x00, 0x80};
constexpr int kBlinkMessage = 1;
constexpr std::int64_t kBlinkPeriodUs = 500000;

// a × b / c rounded half away from zero; 0 divisor gives -1.
int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const long long n = static_cast<long long>(a) * b;
    const long long q = n / c;
    const long long r = n % c;
    long long result = q;
    if (2 * std::llabs(r) >= std::llabs(static_cast<long long>(c)))
        result += ((n < 0) != (c < 0)) ? -1 : 1;
    return static_cast<int>(result);
}

// Round to nearest, halves to the even neighbour.
long long RoundEven(double v)
{
    return static_cast<long long>(std::nearbyint(v));
}

int EnsureRange(long long v, int lo, int hi)
{
    return static_cast<int>(std::clamp<long long>(v, lo, hi));
}

// --- the bitmap cache ----------------------------------------------------
struct CacheEntry {
    QImage* bitmap;
    int count;
};
std::vector<CacheEntry>*& Cache()
{
    static std::vector<CacheEntry>* cache = nullptr;
    return cache;
}

// --- the blink timer shared by all sliders ---------------------------------
struct BlinkTimer {
    platform::TimerId id = 0;
    TMMCustomSlider* owner = nullptr;
};
BlinkTimer& Blinker()
{
    static BlinkTimer timer;
    return timer;
}

}  // namespace

QImage* TBitmapCache::Acquire(int width, int height)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    auto*& cache = Cache();
    if (cache == nullptr)
        cache = new std::vector<CacheEntry>();
    for (auto& e : *cache) {
        if (e.bitmap->width() == width && e.bitmap->height() == height) {
            ++e.count;
            return e.bitmap;
        }
    }
    auto* bitmap = new QImage(width, height, QImage::Format_RGB32);
    cache->push_back({bitmap, 1});
    return bitmap;
}

void TBitmapCache::Release(QImage*& bitmap)
{
    auto*& cache = Cache();
    if (bitmap == nullptr || cache == nullptr)
        return;
    for (auto it = cache->begin(); it != cache->end(); ++it) {
        if (it->bitmap != bitmap)
            continue;
        if (--it->count == 0) {
            delete it->bitmap;
            cache->erase(it);
        }
        break;
    }
    bitmap = nullptr;
    if (cache->empty()) {
        delete cache;
        cache = nullptr;
    }
}

int TBitmapCache::Count()
{
    return Cache() ? static_cast<int>(Cache()->size()) : 0;
}

bool TBitmapCache::Exists()
{
    return Cache() != nullptr;
}

TMMCustomSlider::TMMCustomSlider(QWidget* parent) : TMMCustomControl(parent), focusColor_(kActiveCaption)
{
    Bevel().SetBorderWidth(5);
    groove_.OnChange = [this](TMMObject*) { Redraw(); };
    scale_.SetVisible(false);
    scale_.SetOrigin(soOuter);
    scale_.SetConnect(true);
    scale_.SetOnChange([this](TMMCustomScale*) { Redraw(); });
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    resize(200, 40);
    SizeChanged();
}

TMMCustomSlider::~TMMCustomSlider()
{
    Destroying();
    StopBlink();
    groove_.OnChange = nullptr;
    scale_.SetOnChange(nullptr);
    TBitmapCache::Release(buffer_);
}

void TMMCustomSlider::Redraw()
{
    update();
}

template <typename T>
static bool Store(T& field, const T& value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

void TMMCustomSlider::SetFocusAction(TMMFocusAction v)
{
    if (Store(focusAction_, v))
        Redraw();
}
void TMMCustomSlider::SetFocusColor(const TColor& v)
{
    if (Store(focusColor_, v))
        Redraw();
}
void TMMCustomSlider::SetGrooveColor(const TColor& v)
{
    if (Store(grooveColor_, v))
        Redraw();
}
void TMMCustomSlider::SetThumbColor(const TColor& v)
{
    if (Store(thumbColor_, v))
        Redraw();
}
void TMMCustomSlider::SetThumbBorder(bool v)
{
    if (Store(thumbBorder_, v))
        Redraw();
}
void TMMCustomSlider::SetDisabledColor(const TColor& v)
{
    if (Store(disabledColor_, v))
        Redraw();
}
void TMMCustomSlider::SetGrooveSize(int v)
{
    if (Store(grooveSize_, std::clamp(v, 0, 255)))
        Redraw();
}
void TMMCustomSlider::SetThumbWidth(int v)
{
    if (Store(thumbWidth_, std::clamp(v, 0, 255)))
        Redraw();
}
void TMMCustomSlider::SetThumbHeight(int v)
{
    if (Store(thumbHeight_, std::clamp(v, 0, 255)))
        Redraw();
}
void TMMCustomSlider::SetThumbStyle(TMMThumbStyle v)
{
    if (Store(thumbStyle_, v))
        Redraw();
}
void TMMCustomSlider::SetGrooveStyle(TMMGrooveStyle v)
{
    if (Store(grooveStyle_, v))
        Redraw();
}
void TMMCustomSlider::SetScaleDistance(int v)
{
    if (Store(scaleDistance_, v))
        Redraw();
}
void TMMCustomSlider::SetScalePosition(TMMScalePos v)
{
    if (Store(scalePosition_, v))
        Redraw();
}
void TMMCustomSlider::SetPicLeft(const QImage& v)
{
    picLeft_ = v;
    Redraw();
}
void TMMCustomSlider::SetPicRight(const QImage& v)
{
    picRight_ = v;
    Redraw();
}

void TMMCustomSlider::SetOrientation(TMMOrientation v)
{
    if (orientation_ == v)
        return;
    orientation_ = v;
    if (IsDesigning() && !IsLoading() && !IsReading()) {
        std::swap(thumbWidth_, thumbHeight_);
        const bool wide = width() >= height();
        if (wide != (v == orHorizontal))
            resize(height(), width());
    }
    Redraw();
}

void TMMCustomSlider::SetMinValue(int v)
{
    if (minValue_ == v)
        return;
    minValue_ = v;
    ApplyRange();
}

void TMMCustomSlider::SetMaxValue(int v)
{
    if (maxValue_ == v)
        return;
    maxValue_ = v;
    ApplyRange();
}

void TMMCustomSlider::ApplyRange()
{
    if (!IsLoading())
        maxValue_ = std::max(maxValue_, minValue_ + 1);
    // The inner position stays within the range.
    SetInnerPosition(std::clamp(inner_, minValue_, std::max(minValue_, maxValue_)));
    Redraw();
}

int TMMCustomSlider::Position() const
{
    const int hi = std::max(minValue_, maxValue_);
    float p = static_cast<float>(std::clamp(inner_, minValue_, hi));
    const double range = double(maxValue_) - double(minValue_);
    if (logarithmic_ && p != 0.0f && range != 0) {
        const double s = -double(sensitivity_);
        p = static_cast<float>(std::pow(10.0, (s * p / range - s) / 20.0) * range);
    }
    return EnsureRange(RoundEven(p), minValue_, hi);
}

void TMMCustomSlider::SetPosition(int v)
{
    int inner = v;
    const double range = double(maxValue_) - double(minValue_);
    if (logarithmic_ && v != 0 && range != 0) {
        const double s = -double(sensitivity_);
        const float d = static_cast<float>(20.0 * std::log10(double(v) / range) + s);
        // A negative position has no level: the bottom of the range.
        inner = std::isfinite(d) ? EnsureRange(RoundEven(std::clamp<double>(range * d / s, -1e9, 1e9)), minValue_,
                                               std::max(minValue_, maxValue_))
                                 : minValue_;
    }
    SetInnerPosition(inner);
}

void TMMCustomSlider::SetLogarithmic(bool v)
{
    if (logarithmic_ == v)
        return;
    const int keep = Position();
    logarithmic_ = v;
    SetPosition(keep);
}

void TMMCustomSlider::SetSensitivity(int v)
{
    v = std::clamp(v, -96, -20);
    if (sensitivity_ == v)
        return;
    const int keep = Position();
    sensitivity_ = v;
    SetPosition(keep);
}

bool TMMCustomSlider::SetInnerPosition(int v)
{
    v = std::clamp(v, minValue_, std::max(minValue_, maxValue_));
    if (v == inner_)
        return false;
    inner_ = v;
    if (IsDesigning() || IsLoading()) {
        Redraw();
        return true;
    }
    if (ThumbRect() != paintedThumb_)
        Redraw();
    Change();
    return true;
}

void TMMCustomSlider::Change()
{
    if (IsLoading() || IsReading())
        return;
    if (OnChange)
        OnChange(this);
}

void TMMCustomSlider::Track()
{
    tracking_ = true;
    if (OnTrack)
        OnTrack(this);
}

void TMMCustomSlider::TrackEnd()
{
    if (!tracking_)
        return;
    if (OnTrackEnd)
        OnTrackEnd(this);
    tracking_ = false;
}

void TMMCustomSlider::Loaded()
{
    TMMCustomControl::Loaded();
    maxValue_ = std::max(maxValue_, minValue_ + 1);
    inner_ = std::clamp(inner_, minValue_, maxValue_);
    UpdateBuffer();
}

// --- geometry -----------------------------------------------------------------

QRect TMMCustomSlider::TrackRect() const
{
    SyncSize();
    QRect track = InnerRect();
    if (orientation_ == orHorizontal) {
        if (!picLeft_.isNull())
            track.setLeft(track.left() + picLeft_.width());
        if (!picRight_.isNull())
            track.setRight(track.right() - picRight_.width());
    } else {
        // The low end is at the bottom.
        if (!picLeft_.isNull())
            track.setBottom(track.bottom() - picLeft_.height());
        if (!picRight_.isNull())
            track.setTop(track.top() + picRight_.height());
    }
    return track;
}

QRect TMMCustomSlider::ThumbRect() const
{
    const QRect track = TrackRect();
    const double range = double(maxValue_) - double(minValue_);
    const bool scaleBelow = scale_.Visible() && scalePosition_ == spBelowOrRight;
    const bool scaleAbove = scale_.Visible() && scalePosition_ == spAboveOrLeft;
    const int trackRight = track.left() + track.width();
    const int trackBottom = track.top() + track.height();
    if (orientation_ == orHorizontal) {
        const int l = track.width() - thumbWidth_;
        const double k = range != 0 ? l / range : 0.0;
        const int x = EnsureRange(RoundEven((inner_ - minValue_) * k), 0, std::max(l, 0)) + track.left();
        const int top = scaleBelow   ? track.top()
                        : scaleAbove ? trackBottom - thumbHeight_
                                     : track.top() + track.height() / 2 - thumbHeight_ / 2;
        return QRect(x, top, thumbWidth_, thumbHeight_);
    }
    const int l = track.height() - thumbHeight_;
    const double k = range != 0 ? l / range : 0.0;
    const int y =
        track.top() + EnsureRange(track.height() - RoundEven((inner_ - minValue_) * k) - thumbHeight_, 0,
                                  std::max(l, 0));
    const int left = scaleBelow   ? track.left()
                     : scaleAbove ? trackRight - thumbWidth_
                                  : track.left() + track.width() / 2 - thumbWidth_ / 2;
    return QRect(left, y, thumbWidth_, thumbHeight_);
}

int TMMCustomSlider::ValueAt(const QPoint& point) const
{
    const QRect track = TrackRect();
    const double range = double(maxValue_) - double(minValue_);
    double r = 0;
    if (orientation_ == orHorizontal) {
        const int span = track.width() - thumbWidth_;
        r = span != 0 ? double(point.x() - track.left() - thumbWidth_ / 2) / span : 0.0;
    } else {
        const int span = track.height() - thumbHeight_;
        const int bottom = track.top() + track.height();
        r = span != 0 ? double(bottom - thumbHeight_ + thumbHeight_ / 2 - point.y()) / span : 0.0;
    }
    return EnsureRange(RoundEven(r * range + minValue_), minValue_, std::max(minValue_, maxValue_));
}

QRect TMMCustomSlider::GrooveRect(const QRect& track) const
{
    const int ge = groove_.BevelExtent();
    const int thickness = grooveSize_ + 2 * ge;
    const bool scaleBelow = scale_.Visible() && scalePosition_ == spBelowOrRight;
    const bool scaleAbove = scale_.Visible() && scalePosition_ == spAboveOrLeft;
    if (orientation_ == orVertical) {
        const int c = scaleBelow   ? track.left() + thumbWidth_ / 2
                      : scaleAbove ? track.left() + track.width() - thumbWidth_ / 2 - 1
                                   : track.left() + track.width() / 2;
        return QRect(c - ge - grooveSize_ / 2, track.top(), thickness, track.height());
    }
    const int c = scaleBelow   ? track.top() + thumbHeight_ / 2
                  : scaleAbove ? track.top() + track.height() - thumbHeight_ / 2 - 1
                               : track.top() + track.height() / 2;
    return QRect(track.left(), c - ge - grooveSize_ / 2, track.width(), thickness);
}

// --- painting -------------------------------------------------------------------

void TMMCustomSlider::UpdateBuffer()
{
    TBitmapCache::Release(buffer_);
    buffer_ = TBitmapCache::Acquire(std::max(width(), 0), std::max(height(), 0));
    Redraw();
}

void TMMCustomSlider::resizeEvent(QResizeEvent* event)
{
    TMMCustomControl::resizeEvent(event);
    SizeChanged();
}

void TMMCustomSlider::SyncSize() const
{
    if (knownSize_ != size())
        const_cast<TMMCustomSlider*>(this)->SizeChanged();
}

void TMMCustomSlider::SizeChanged()
{
    knownSize_ = size();
    SetOrientation(width() >= height() ? orHorizontal : orVertical);
    UpdateBuffer();
}

void TMMCustomSlider::paintEvent(QPaintEvent*)
{
    SyncSize();
    if (buffer_ == nullptr)
        return;
    if (buffer_->size() != size())
        UpdateBuffer();
    if (buffer_->isNull())
        return;
    {
        QPainter p(buffer_);
        PaintTo(p);
    }
    QPainter screen(this);
    screen.drawImage(0, 0, *buffer_);
}

// --- mouse and keyboard -----------------------------------------------------------

QCursor TMMCustomSlider::ThumbCursorShape() const
{
    return ScreenCursor(handCursor_ ? crHandPoint : thumbCursor_);
}

void TMMCustomSlider::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    const QPoint pt = event->position().toPoint();
    const bool onThumb = ThumbRect().contains(pt);
    if (onThumb)
        setCursor(ThumbCursorShape());
    if (event->button() != Qt::LeftButton)
        return;
    if (onThumb)
        dragging_ = true;
    dragOrigin_ = Orientation() == orVertical ? pt.y() : pt.x();
    dragStart_ = inner_;
    bool jumped = false;
    if (!dragging_)
        jumped = SetInnerPosition(ValueAt(pt));
    if (dragging_ || !jumped)
        Redraw();
    Track();
}

void TMMCustomSlider::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pt = event->position().toPoint();
    if (!dragging_) {
        if (ThumbRect().contains(pt))
            setCursor(ThumbCursorShape());
        else
            unsetCursor();
        return;
    }
    if (!(event->buttons() & Qt::LeftButton))
        return;
    const QRect track = TrackRect();
    const int range = maxValue_ - minValue_;
    const int delta = orientation_ == orVertical
                          ? MulDiv(dragOrigin_ - pt.y(), range, track.height() - thumbHeight_)
                          : MulDiv(pt.x() - dragOrigin_, range, track.width() - thumbWidth_);
    if (SetInnerPosition(std::min(std::max(dragStart_ + delta, minValue_), maxValue_)))
        Track();
}

void TMMCustomSlider::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    dragging_ = false;
    Redraw();
    TrackEnd();
}

void TMMCustomSlider::keyPressEvent(QKeyEvent* event)
{
    const bool vertical = Orientation() == orVertical;
    int v = inner_;
    switch (event->key()) {
    case Qt::Key_PageUp: v = std::min(inner_ + pageSize_, maxValue_); break;
    case Qt::Key_PageDown: v = std::max(inner_ - pageSize_, minValue_); break;
    case Qt::Key_End: v = vertical ? minValue_ : maxValue_; break;
    case Qt::Key_Home: v = vertical ? maxValue_ : minValue_; break;
    case Qt::Key_Up:
    case Qt::Key_Right:
        if (inner_ < maxValue_)
            v = inner_ + lineSize_;
        break;
    case Qt::Key_Left:
    case Qt::Key_Down:
        if (inner_ > minValue_)
            v = inner_ - lineSize_;
        break;
    default: break;
    }
    if (v != inner_ && SetInnerPosition(v))
        Track();
    TMMCustomControl::keyPressEvent(event);
}

void TMMCustomSlider::keyReleaseEvent(QKeyEvent* event)
{
    TrackEnd();
    TMMCustomControl::keyReleaseEvent(event);
}

// --- focus ----------------------------------------------------------------------

void TMMCustomSlider::focusInEvent(QFocusEvent* event)
{
    TMMCustomControl::focusInEvent(event);
    if (focusAction_ == faFocusThumb || focusAction_ == faAll)
        StartBlink();
    if (focusAction_ != faNone)
        Redraw();
}

void TMMCustomSlider::focusOutEvent(QFocusEvent* event)
{
    TMMCustomControl::focusOutEvent(event);
    StopBlink();
    if (focusAction_ != faNone)
        Redraw();
}

void TMMCustomSlider::changeEvent(QEvent* event)
{
    TMMCustomControl::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        Redraw();
}

void TMMCustomSlider::StartBlink()
{
    BlinkTimer& timer = Blinker();
    if (timer.owner != nullptr && timer.owner != this)
        timer.owner->StopBlink();
    if (timer.owner == this)
        return;
    timer.owner = this;
    // The tick runs on the timer thread: it only posts to the window.
    timer.id = platform::TheClock().StartPeriodic(kBlinkPeriodUs, [this] {
        platform::PostToWindow([this] { BlinkTick(); }, this, kBlinkMessage);
    });
}

void TMMCustomSlider::StopBlink()
{
    BlinkTimer& timer = Blinker();
    if (timer.owner == this) {
        const platform::TimerId id = timer.id;
        timer.id = 0;
        timer.owner = nullptr;
        if (id != 0)
            platform::TheClock().KillTimer(id);
        platform::RemovePostedMessages(this, kBlinkMessage);
    }
    if (blink_) {
        blink_ = false;
        Redraw();
    }
}

void TMMCustomSlider::BlinkTick()
{
    if (Blinker().owner != this)
        return;
    if (dragging_) {
        blink_ = true;
        return;
    }
    blink_ = !blink_;
    Redraw();
}

}  // namespace zol
