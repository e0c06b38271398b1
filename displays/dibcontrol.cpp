// TMMDIBGraphicControl: a control that draws through its own TMMDIBCanvas.
//
// The control keeps its picture as it stands on the screen (the screen
// picture). A full paint renders the whole control into it; drawing at once
// (PaintDirect) renders a frame into the canvas, copies the finished parts
// into the screen picture and repaints only those parts. Paint events copy
// the screen picture to the window.
#include "displays/dibcanvas.h"

#include "platform/paintbatch.h"
#include "platform/window_thread.h"

#include <QPaintEvent>
#include <QPainter>

#include <cstdlib>
#include <cstring>

namespace zol {

TMMDIBGraphicControl::TMMDIBGraphicControl(QWidget* parent) : TMMGraphicControl(parent)
{
    knownSize_ = size();
    canvas_.Resize(width(), height());
}

TMMDIBGraphicControl::~TMMDIBGraphicControl()
{
    Destroying();
    platform::RemovePostedMessages(this);
}

// ---------------------------------------------------------------------------
// background picture and palette

void TMMDIBGraphicControl::SetBackGroundDIB(const QImage& picture)
{
    backGroundDIB_ = picture;
    BackgroundChanged();
}

void TMMDIBGraphicControl::BackgroundChanged()
{
    if (IsLoading())
        return;
    if (IsDesigning()) {
        const bool has = !backGroundDIB_.isNull();
        canvas_.SetPaletteRealize(has);
        if (!has)
            canvas_.SetPaletteMapped(false);
        useBackGroundDIB_ = has;
    }
    canvas_.SetBackGroundBitmap(useBackGroundDIB_ ? backGroundDIB_ : QImage());
    Invalidate();
}

void TMMDIBGraphicControl::SetUseBackGroundDIB(bool value)
{
    if (IsLoading()) {
        loadedUseBackGroundDIB_ = value;
        return;
    }
    if (value && backGroundDIB_.isNull())
        value = false;
    if (value == useBackGroundDIB_)
        return;
    useBackGroundDIB_ = value;
    canvas_.SetPaletteRealize(value);
    canvas_.SetBackGroundBitmap(value ? backGroundDIB_ : QImage());
    Invalidate();
}

void TMMDIBGraphicControl::SetPaletteRealize(bool value)
{
    canvas_.SetPaletteRealize(value);
}

void TMMDIBGraphicControl::SetBitsPerPixel(int value)
{
    canvas_.SetBitsPerPixel(value);
    Invalidate();
}

void TMMDIBGraphicControl::Loaded()
{
    TMMGraphicControl::Loaded();
    SetUseBackGroundDIB(loadedUseBackGroundDIB_);
}

void TMMDIBGraphicControl::DrawBackground()
{
    canvas_.DrawBackground(Color());
}

// ---------------------------------------------------------------------------
// the screen picture

QImage& TMMDIBGraphicControl::Screen()
{
    const QSize size = this->size().expandedTo(QSize(1, 1));
    if (screen_.size() != size) {
        screen_ = QImage(size, QImage::Format_RGB32);
        screen_.fill(Color());
        fullPaint_ = true;
    }
    return screen_;
}

const QImage& TMMDIBGraphicControl::ScreenImage()
{
    SyncSize();
    Screen();
    if (fullPaint_) {
        fullPaint_ = false;
        PaintControl();
        dirty_ = QRegion();
    }
    return screen_;
}

void TMMDIBGraphicControl::Invalidate()
{
    fullPaint_ = true;
    update();
}

void TMMDIBGraphicControl::CopyToScreen(const QRect& dest, int sx, int sy, const QRect& clip)
{
    QImage& screen = Screen();
    QRect d = dest.intersected(screen.rect());
    if (clip.isValid())
        d = d.intersected(clip);
    if (d.isEmpty())
        return;
    // Only what changed is repainted.
    const QRect changed =
        canvas_.CopyToDC(&screen, d.x(), d.y(), d.width(), d.height(), sx + d.x() - dest.x(), sy + d.y() - dest.y());
    if (!changed.isEmpty())
        dirty_ += changed;
}

void TMMDIBGraphicControl::ScrollScreen(const QRect& area, int dx)
{
    QImage& screen = Screen();
    const QRect a = area.intersected(screen.rect());
    if (a.isEmpty() || dx == 0 || std::abs(dx) >= a.width())
        return;
    const int n = a.width() - std::abs(dx);
    for (int y = a.top(); y <= a.bottom(); ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(screen.scanLine(y)) + a.left();
        if (dx < 0)
            std::memmove(row, row - dx, static_cast<std::size_t>(n) * sizeof(QRgb));
        else
            std::memmove(row + dx, row, static_cast<std::size_t>(n) * sizeof(QRgb));
    }
    dirty_ += a;
}

void TMMDIBGraphicControl::PaintControl()
{
    QImage& screen = Screen();
    QRect inner;
    {
        QPainter p(&screen);
        inner = Bevel().PaintBevel(p, QRect(0, 0, width(), height()), true);
    }
    canvas_.BeginDraw();
    try {
        DrawBackground();
        CopyToScreen(inner, 0, 0);
    } catch (...) {
        canvas_.EndDraw();
        throw;
    }
    canvas_.EndDraw();
}

void TMMDIBGraphicControl::PaintDirect(const std::function<void()>& draw)
{
    if (!isVisible() || parentWidget() == nullptr || painting_)
        return;
    SyncSize();
    Screen();
    if (fullPaint_) {
        // The screen picture is out of date: render the whole control, which
        // draws the current frame too.
        fullPaint_ = false;
        PaintControl();
        dirty_ = QRegion(rect());
    } else {
        std::lock_guard<std::recursive_mutex> lock(canvasLock_);
        draw();
    }
    FlushScreen();
}

void TMMDIBGraphicControl::FlushScreen()
{
    if (dirty_.isEmpty())
        return;
    const QRegion region = dirty_;
    dirty_ = QRegion();
    if (platform::IsWindowThread()) {
        platform::RepaintNow(this, region);
        return;
    }
    platform::PostToWindow([this, region] { update(region); }, this);
}

void TMMDIBGraphicControl::paintEvent(QPaintEvent* event)
{
    painting_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{painting_};
    SyncSize();
    Screen();
    if (fullPaint_) {
        fullPaint_ = false;
        PaintControl();
        dirty_ = QRegion();
        if (event->rect() != rect())
            update();
    }
    // Each part is clipped to its own rectangle: a rectangular clip lets
    // the picture be copied line by line, where a clip to the whole region
    // blends it span by span (spread over helper threads for tall parts).
    QPainter p(this);
    for (const QRect& r : event->region()) {
        p.setClipRect(r);
        p.drawImage(r.topLeft(), screen_, r);
    }
}

void TMMDIBGraphicControl::resizeEvent(QResizeEvent*)
{
    SyncSize();
}

void TMMDIBGraphicControl::SyncSize()
{
    if (knownSize_ == size())
        return;
    knownSize_ = size();
    BoundsChanged();
    Invalidate();
}

void TMMDIBGraphicControl::BoundsChanged()
{
    canvas_.Resize(width(), height());
}

void TMMDIBGraphicControl::BevelChanged()
{
    BoundsChanged();
    Invalidate();
}

}  // namespace zol
