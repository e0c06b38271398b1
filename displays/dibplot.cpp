// The direct pixel operations of TMMDIBCanvas: they write into the image's
// scan lines through the drawing context loaded by BeginDraw and clip to its
// clip rectangle. Outside BeginDraw/EndDraw the context is empty and they
// draw nothing.
#include "displays/dibcanvas.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace zol {

namespace {

enum : int { kLeft = 1, kRight = 2, kTop = 4, kBottom = 8 };

int Outcode(int x, int y, const QRect& c)
{
    int code = 0;
    if (x < c.left())
        code |= kLeft;
    else if (x > c.right())
        code |= kRight;
    if (y < c.top())
        code |= kTop;
    else if (y > c.bottom())
        code |= kBottom;
    return code;
}

// Clips the segment to `c` (both ends included); false when nothing is left.
bool ClipLine(int& x1, int& y1, int& x2, int& y2, const QRect& c)
{
    int code1 = Outcode(x1, y1, c);
    int code2 = Outcode(x2, y2, c);
    for (;;) {
        if ((code1 | code2) == 0)
            return true;
        if (code1 & code2)
            return false;
        const int out = code1 != 0 ? code1 : code2;
        const std::int64_t dx = x2 - x1, dy = y2 - y1;
        std::int64_t x = 0, y = 0;
        if (out & kTop) {
            y = c.top();
            x = x1 + dx * (y - y1) / dy;
        } else if (out & kBottom) {
            y = c.bottom();
            x = x1 + dx * (y - y1) / dy;
        } else if (out & kLeft) {
            x = c.left();
            y = y1 + dy * (x - x1) / dx;
        } else {
            x = c.right();
            y = y1 + dy * (x - x1) / dx;
        }
        if (out == code1) {
            x1 = static_cast<int>(x);
            y1 = static_cast<int>(y);
            code1 = Outcode(x1, y1, c);
        } else {
            x2 = static_cast<int>(x);
            y2 = static_cast<int>(y);
            code2 = Outcode(x2, y2, c);
        }
    }
}

// Clips the half-open run [a, b) to [lo, hi); false when empty.
bool ClipRun(int& a, int& b, int lo, int hi)
{
    a = std::max(a, lo);
    b = std::min(b, hi);
    return a < b;
}

}  // namespace

inline void TMMDIBCanvas::Put(int x, int y, std::uint32_t v)
{
    std::uint8_t* p = ctx_.bits + static_cast<std::ptrdiff_t>(y) * ctx_.stride;
    if (ctx_.bytesPerPixel == 1) {
        p[x] = static_cast<std::uint8_t>(v);
    } else {
        p += 3 * x;
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(v >> 8);
        p[2] = static_cast<std::uint8_t>(v >> 16);
    }
}

// `count` pixels from (x, y) to the right; the run lies inside the clip.
inline void TMMDIBCanvas::Run(int x, int y, int count, std::uint32_t v)
{
    std::uint8_t* p = ctx_.bits + static_cast<std::ptrdiff_t>(y) * ctx_.stride;
    if (ctx_.bytesPerPixel == 1) {
        std::memset(p + x, static_cast<int>(v & 0xFF), static_cast<std::size_t>(count));
        return;
    }
    p += 3 * x;
    const std::uint8_t b = static_cast<std::uint8_t>(v), g = static_cast<std::uint8_t>(v >> 8),
                       r = static_cast<std::uint8_t>(v >> 16);
    for (int i = 0; i < count; ++i, p += 3) {
        p[0] = b;
        p[1] = g;
        p[2] = r;
    }
}

// `count` pixels from (x, y) downwards; the run lies inside the clip.
inline void TMMDIBCanvas::Column(int x, int y, int count, std::uint32_t v)
{
    for (int i = 0; i < count; ++i)
        Put(x, y + i, v);
}

void TMMDIBCanvas::PlotPixel(int x, int y, std::uint32_t value)
{
    if (ctx_.bits != nullptr && ctx_.clip.contains(x, y))
        Put(x, y, value);
}

std::int64_t TMMDIBCanvas::ReadPixel(int x, int y) const
{
    // While drawing, the clip loaded by BeginDraw; otherwise the image as far
    // as the current size covers it.
    const QRect clip = ctx_.bits != nullptr ? ctx_.clip : QRect(0, 0, width_, height_).intersected(image_.rect());
    if (image_.isNull() || !clip.contains(x, y))
        return -1;
    const std::uint8_t* p = ctx_.bits != nullptr ? ctx_.bits + static_cast<std::ptrdiff_t>(y) * ctx_.stride
                                                 : image_.constScanLine(y);
    if (image_.format() == QImage::Format_Indexed8)
        return p[x];
    p += 3 * x;
    return (std::int64_t{p[2]} << 16) | (std::int64_t{p[1]} << 8) | p[0];
}

void TMMDIBCanvas::PlotMoveTo(int x, int y)
{
    ctx_.pos = QPoint(x, y);
}

void TMMDIBCanvas::PlotLineTo(int x, int y)
{
    PlotLine(ctx_.pos.x(), ctx_.pos.y(), x, y);
    ctx_.pos = QPoint(x, y);
}

void TMMDIBCanvas::PlotLine(int x1, int y1, int x2, int y2)
{
    if (ctx_.bits == nullptr || !ClipLine(x1, y1, x2, y2, ctx_.clip))
        return;
    const std::uint32_t v = drawValue_;
    int dx = x2 - x1, dy = y2 - y1;
    const int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    dx = dx < 0 ? -dx : dx;
    dy = dy < 0 ? -dy : dy;
    // Integer error term; the longer axis steps every pixel.
    if (dx >= dy) {
        int err = dx / 2;
        for (int i = 0; i <= dx; ++i) {
            Put(x1, y1, v);
            x1 += sx;
            err -= dy;
            if (err < 0) {
                y1 += sy;
                err += dx;
            }
        }
    } else {
        int err = dy / 2;
        for (int i = 0; i <= dy; ++i) {
            Put(x1, y1, v);
            y1 += sy;
            err -= dx;
            if (err < 0) {
                x1 += sx;
                err += dy;
            }
        }
    }
}

void TMMDIBCanvas::PlotHLine(int x1, int x2, int y)
{
    if (x1 > x2)
        std::swap(x1, x2);
    if (ctx_.bits == nullptr || y < ctx_.clip.top() || y > ctx_.clip.bottom()
        || !ClipRun(x1, x2, ctx_.clip.left(), ctx_.clip.right() + 1))
        return;
    Run(x1, y, x2 - x1, drawValue_);
}

void TMMDIBCanvas::PlotHLineDashed(int x1, int x2, int y)
{
    if (x1 > x2)
        std::swap(x1, x2);
    if (ctx_.bits == nullptr || y < ctx_.clip.top() || y > ctx_.clip.bottom()
        || !ClipRun(x1, x2, ctx_.clip.left(), ctx_.clip.right() + 1))
        return;
    const int n = x2 - x1;
    if (n < 4)
        return;
    for (int i = 0; i < n; i += 8)
        Run(x1 + i, y, std::min(4, n - i), drawValue_);
}

void TMMDIBCanvas::PlotHLineDotted(int x1, int x2, int y, int gap)
{
    if (x1 > x2)
        std::swap(x1, x2);
    if (ctx_.bits == nullptr || y < ctx_.clip.top() || y > ctx_.clip.bottom()
        || !ClipRun(x1, x2, ctx_.clip.left(), ctx_.clip.right() + 1))
        return;
    const int step = std::max(gap, 1) + 1;
    for (int x = x1; x < x2; x += step)
        Put(x, y, drawValue_);
}

void TMMDIBCanvas::PlotVLine(int x, int y1, int y2)
{
    if (y1 > y2)
        std::swap(y1, y2);
    ++y2;
    if (ctx_.bits == nullptr || x < ctx_.clip.left() || x > ctx_.clip.right()
        || !ClipRun(y1, y2, ctx_.clip.top(), ctx_.clip.bottom() + 1))
        return;
    Column(x, y1, y2 - y1, drawValue_);
}

void TMMDIBCanvas::PlotVLineDashed(int x, int y1, int y2)
{
    if (y1 > y2)
        std::swap(y1, y2);
    ++y2;
    if (ctx_.bits == nullptr || x < ctx_.clip.left() || x > ctx_.clip.right()
        || !ClipRun(y1, y2, ctx_.clip.top(), ctx_.clip.bottom() + 1))
        return;
    const int n = y2 - y1;
    for (int i = 0; i < n; i += 8)
        Column(x, y1 + i, std::min(4, n - i), drawValue_);
}

void TMMDIBCanvas::PlotVLineDotted(int x, int y1, int y2, int gap)
{
    if (y1 > y2)
        std::swap(y1, y2);
    ++y2;
    if (ctx_.bits == nullptr || x < ctx_.clip.left() || x > ctx_.clip.right()
        || !ClipRun(y1, y2, ctx_.clip.top(), ctx_.clip.bottom() + 1))
        return;
    const int step = std::max(gap, 1) + 1;
    for (int y = y1; y < y2; y += step)
        Put(x, y, drawValue_);
}

void TMMDIBCanvas::PlotFrame(const QRect& rect)
{
    const QRect r = rect.normalized();
    if (r.isEmpty())
        return;
    PlotHLine(r.left(), r.right() + 1, r.top());
    PlotHLine(r.left(), r.right() + 1, r.bottom());
    PlotVLine(r.left(), r.top(), r.bottom());
    PlotVLine(r.right(), r.top(), r.bottom());
}

void TMMDIBCanvas::PlotFill(const QRect& rect)
{
    if (ctx_.bits == nullptr)
        return;
    const QRect r = rect.normalized().intersected(ctx_.clip);
    for (int y = r.top(); y <= r.bottom(); ++y)
        Run(r.left(), y, r.width(), drawValue_);
}

void TMMDIBCanvas::PlotClear()
{
    if (ctx_.bits == nullptr)
        return;
    if (ctx_.bytesPerPixel == 1) {
        std::memset(ctx_.bits, static_cast<int>(drawValue_ & 0xFF),
                    static_cast<std::size_t>(ctx_.stride) * static_cast<std::size_t>(ctx_.height));
        return;
    }
    Run(0, 0, ctx_.width, drawValue_);
    for (int y = 1; y < ctx_.height; ++y)
        std::memcpy(ctx_.bits + static_cast<std::ptrdiff_t>(y) * ctx_.stride, ctx_.bits,
                    static_cast<std::size_t>(ctx_.width) * 3);
}

void TMMDIBCanvas::PlotCopyBits(const std::uint8_t* source, int sx, int sy, int w, int h, int dx, int dy)
{
    if (ctx_.bits == nullptr || source == nullptr || w <= 0 || h <= 0)
        return;
    // Clip the source block to the buffer, then the target block to the clip.
    QRect src(sx, sy, w, h);
    src = src.intersected(QRect(0, 0, ctx_.width, ctx_.height));
    QRect dst = src.translated(dx - sx, dy - sy).intersected(ctx_.clip);
    if (dst.isEmpty())
        return;
    src = dst.translated(sx - dx, sy - dy);
    const int bpp = ctx_.bytesPerPixel;
    const std::size_t rowBytes = static_cast<std::size_t>(dst.width()) * bpp;
    auto copyRow = [&](int row) {
        const std::uint8_t* s = source + static_cast<std::ptrdiff_t>(src.y() + row) * ctx_.stride + src.x() * bpp;
        std::uint8_t* d = ctx_.bits + static_cast<std::ptrdiff_t>(dst.y() + row) * ctx_.stride + dst.x() * bpp;
        std::memmove(d, s, rowBytes);  // overlap within a row is safe
    };
    // Overlapping rows: copy away from the direction of the move.
    if (source == ctx_.bits && dst.y() > src.y()) {
        for (int row = dst.height() - 1; row >= 0; --row)
            copyRow(row);
    } else {
        for (int row = 0; row < dst.height(); ++row)
            copyRow(row);
    }
}

void TMMDIBCanvas::PlotFillEllipse(const QPoint& centre, const QSize& radii)
{
    const int rx = radii.width(), ry = radii.height();
    const int cx = centre.x(), cy = centre.y();
    if (ctx_.bits == nullptr || rx < 0 || ry < 0)
        return;
    if (ry == 0) {
        PlotHLine(cx - rx, cx + rx + 1, cy);
        return;
    }
    if (rx == 0) {
        PlotVLine(cx, cy - ry, cy + ry);
        return;
    }
    // Midpoint stepping over the first quadrant; every row keeps the widest
    // x it reached. Decision terms are scaled by 4 to stay integer.
    std::vector<int> half(static_cast<std::size_t>(ry) + 1, 0);
    const std::int64_t a2 = std::int64_t{rx} * rx, b2 = std::int64_t{ry} * ry;
    std::int64_t x = 0, y = ry;
    std::int64_t ddx = 0, ddy = 2 * a2 * y;
    std::int64_t d = 4 * b2 - 4 * a2 * ry + a2;
    while (ddx < ddy) {
        half[static_cast<std::size_t>(y)] = static_cast<int>(x);
        ++x;
        ddx += 2 * b2;
        if (d < 0) {
            d += 4 * (ddx + b2);
        } else {
            --y;
            ddy -= 2 * a2;
            d += 4 * (ddx - ddy + b2);
        }
    }
    d = b2 * (2 * x + 1) * (2 * x + 1) + 4 * a2 * (y - 1) * (y - 1) - 4 * a2 * b2;
    while (y >= 0) {
        half[static_cast<std::size_t>(y)] = std::max(half[static_cast<std::size_t>(y)], static_cast<int>(x));
        --y;
        ddy -= 2 * a2;
        if (d > 0) {
            d += 4 * (a2 - ddy);
        } else {
            ++x;
            ddx += 2 * b2;
            d += 4 * (ddx - ddy + a2);
        }
    }
    for (int row = 0; row <= ry; ++row) {
        const int hw = half[static_cast<std::size_t>(row)];
        PlotHLine(cx - hw, cx + hw + 1, cy + row);
        if (row > 0)
            PlotHLine(cx - hw, cx + hw + 1, cy - row);
    }
}

void TMMDIBCanvas::PlotText(int x, int y, const QString& text, const QFont& font)
{
    if (ctx_.bits == nullptr || text.isEmpty())
        return;
    const QFontMetrics fm(font);
    const int w = fm.horizontalAdvance(text) + 2;
    const int h = fm.height();
    if (!ctx_.clip.intersects(QRect(x, y, w, h)))
        return;
    QImage mask(w, h, QImage::Format_ARGB32_Premultiplied);
    mask.fill(Qt::transparent);
    {
        QPainter p(&mask);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(0, fm.ascent(), text);
    }
    // Only well-covered pixels: palette images cannot blend.
    for (int row = 0; row < h; ++row) {
        const QRgb* m = reinterpret_cast<const QRgb*>(mask.constScanLine(row));
        for (int col = 0; col < w; ++col)
            if (qAlpha(m[col]) >= 128)
                PlotPixel(x + col, y + row, drawValue_);
    }
}

}  // namespace zol
