// TMMDIBCanvas: the image, its palette and background, the drawing state and
// palette animation. The pixel operations are in dibplot.cpp.
#include "displays/dibcanvas.h"

#include "platform/errors.h"
#include "platform/strings.h"

#include <QHash>
#include <QPainter>

#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <utility>

namespace zol {

namespace {

// The 20 static colours of a palette screen: entries 0-9 and 246-255.
constexpr std::uint8_t kStaticLow[10][3] = {
    {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},   {0, 0, 128},
    {128, 0, 128},   {0, 128, 128}, {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
};
constexpr std::uint8_t kStaticHigh[10][3] = {
    {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},   {0, 255, 0},
    {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255}, {255, 255, 255},
};
constexpr int kMaxAnimated = 236;

inline QRgb EntryRgb(const TPaletteEntry& e)
{
    return qRgb(e.red, e.green, e.blue);
}

inline std::uint32_t Packed(const TPaletteEntry& e)
{
    return (std::uint32_t{e.red} << 16) | (std::uint32_t{e.green} << 8) | e.blue;
}

inline TPaletteEntry EntryOf(QRgb rgb, std::uint8_t flags)
{
    return TPaletteEntry{static_cast<std::uint8_t>(qRed(rgb)), static_cast<std::uint8_t>(qGreen(rgb)),
                         static_cast<std::uint8_t>(qBlue(rgb)), flags};
}

[[noreturn]] void Fail(int id)
{
    throw EMMDIBError(LoadResString(id));
}

}  // namespace

std::recursive_mutex& TMMDIBCanvas::DrawLock()
{
    static std::recursive_mutex lock;
    return lock;
}

TMMDIBCanvas::TMMDIBCanvas() = default;

TMMDIBCanvas::~TMMDIBCanvas()
{
    // A canvas destroyed while drawing gives the lock back.
    while (drawDepth_ > 0) {
        --drawDepth_;
        DrawLock().unlock();
    }
}

// ---------------------------------------------------------------------------
// properties

void TMMDIBCanvas::CheckIdle() const
{
    if (!Idle())
        Fail(SDIBWhileDrawing);
}

void TMMDIBCanvas::MarkForRebuild()
{
    recreatePending_ = true;
}

void TMMDIBCanvas::SetBitsPerPixel(int value)
{
    if (value != 8 && value != 24)
        Fail(SBitlengthNotSupported);
    if (value == bitsPerPixel_)
        return;
    CheckIdle();
    bitsPerPixel_ = value;
    MarkForRebuild();
}

void TMMDIBCanvas::SetPaletteRealize(bool value)
{
    if (value == paletteRealize_)
        return;
    CheckIdle();
    paletteRealize_ = value;
    MarkForRebuild();
}

void TMMDIBCanvas::SetBackGroundBitmap(const QImage& picture)
{
    CheckIdle();
    backGroundBitmap_ = picture;
    MarkForRebuild();
}

void TMMDIBCanvas::SetStretchBackGround(bool value)
{
    if (value == stretchBackGround_)
        return;
    CheckIdle();
    stretchBackGround_ = value;
    if (!backGroundBitmap_.isNull())
        MarkForRebuild();
}

void TMMDIBCanvas::Resize(int width, int height)
{
    if (width == width_ && height == height_)
        return;
    // The drawing context keeps the size it was loaded with until EndDraw;
    // the image follows at the next rebuild.
    width_ = width;
    height_ = height;
    MarkForRebuild();
}

void TMMDIBCanvas::SetPalette(const TLogPalette* palette)
{
    CheckIdle();
    hasCallerPalette_ = palette != nullptr && palette->version >= 0x300 && palette->entries.size() <= 256;
    callerPalette_.fill(TPaletteEntry{});
    callerCount_ = 0;
    if (hasCallerPalette_) {
        callerCount_ = static_cast<int>(palette->entries.size());
        std::copy(palette->entries.begin(), palette->entries.end(), callerPalette_.begin());
    }
    MarkForRebuild();
}

void TMMDIBCanvas::SetAnimatedColors(int count)
{
    if (count < 0 || count > kMaxAnimated)
        Fail(SInvalidAnimatedCount);
    if (count == animatedCount_)
        return;
    CheckIdle();
    animatedCount_ = count;
    MarkForRebuild();
}

// ---------------------------------------------------------------------------
// building

void TMMDIBCanvas::RecreateDIB()
{
    CheckIdle();
    BuildDIB();
}

void TMMDIBCanvas::EnsureDIB()
{
    if (recreatePending_ && Idle())
        BuildDIB();
}

const QImage& TMMDIBCanvas::Image()
{
    EnsureDIB();
    return image_;
}

std::uint8_t* TMMDIBCanvas::DIBBits()
{
    EnsureDIB();
    if (image_.isNull())
        return nullptr;
    if (ctx_.bits != nullptr)
        return ctx_.bits;
    return image_.bits();
}

const std::uint8_t* TMMDIBCanvas::BackgroundBits()
{
    EnsureDIB();
    return background_.isNull() ? nullptr : background_.constBits();
}

void TMMDIBCanvas::FreeDIB()
{
    image_ = QImage();
    background_ = QImage();
}

void TMMDIBCanvas::BuildPalette()
{
    palette_.fill(TPaletteEntry{});
    for (int i = 0; i < 10; ++i) {
        palette_[i] = TPaletteEntry{kStaticLow[i][0], kStaticLow[i][1], kStaticLow[i][2], 0};
        palette_[246 + i] = TPaletteEntry{kStaticHigh[i][0], kStaticHigh[i][1], kStaticHigh[i][2], 0};
    }
    if (!backGroundBitmap_.isNull()) {
        // The picture's own colours: entries 10-244 of its colour table. A
        // picture without one brings the colours of its 8-bit conversion.
        if (backGroundBitmap_.format() == QImage::Format_Indexed8) {
            const QList<QRgb> table = backGroundBitmap_.colorTable();
            for (int i = 10; i <= 244 && i < table.size(); ++i)
                palette_[i] = EntryOf(table[i], 0);
        } else {
            const QList<QRgb> table = backGroundBitmap_.convertToFormat(QImage::Format_Indexed8).colorTable();
            for (int i = 0; i < table.size() && 10 + i <= 244; ++i)
                palette_[10 + i] = EntryOf(table[i], 0);
        }
    } else if (hasCallerPalette_) {
        for (int i = 10; i <= 246 && i < callerCount_; ++i) {
            palette_[i] = callerPalette_[i];
            palette_[i].flags = PC_NOCOLLAPSE;
        }
    }
    firstAnimated_ = 256;
    if (animatedCount_ > 0) {
        firstAnimated_ = 247 - animatedCount_;
        std::unordered_set<std::uint32_t> used;
        for (int i = 0; i < 256; ++i)
            if (i < firstAnimated_ || i > 246)
                used.insert(Packed(palette_[i]));
        std::uint32_t candidate = 0;
        for (int i = firstAnimated_; i <= 246; ++i) {
            while (used.count(candidate))
                ++candidate;
            used.insert(candidate);
            palette_[i] = TPaletteEntry{static_cast<std::uint8_t>(candidate >> 16),
                                        static_cast<std::uint8_t>(candidate >> 8),
                                        static_cast<std::uint8_t>(candidate), PC_RESERVED};
        }
    }
}

std::uint8_t TMMDIBCanvas::NearestIndex(QRgb rgb) const
{
    const int r = qRed(rgb), g = qGreen(rgb), b = qBlue(rgb);
    int best = 0;
    int bestDistance = 1 << 30;
    for (int i = 0; i < 256; ++i) {
        const int dr = palette_[i].red - r, dg = palette_[i].green - g, db = palette_[i].blue - b;
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
            if (d == 0)
                break;
        }
    }
    return static_cast<std::uint8_t>(best);
}

void TMMDIBCanvas::BuildBackground(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    if (picture.isNull())
        Fail(SDIBNoDeviceContext);
    picture.fill(Qt::black);
    {
        // Colour on colour: no smoothing, no blending.
        QPainter p(&picture);
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        if (stretchBackGround_) {
            p.drawImage(QRect(0, 0, width, height), backGroundBitmap_);
        } else {
            const int pw = std::max(backGroundBitmap_.width(), 1);
            const int ph = std::max(backGroundBitmap_.height(), 1);
            for (int y = 0; y < height; y += ph)
                for (int x = 0; x < width; x += pw)
                    p.drawImage(x, y, backGroundBitmap_);
        }
    }
    if (bitsPerPixel_ == 24) {
        background_ = picture.convertToFormat(QImage::Format_BGR888);
    } else {
        background_ = QImage(width, height, QImage::Format_Indexed8);
        if (background_.isNull())
            Fail(SDIBNoDeviceContext);
        background_.setColorTable(image_.colorTable());
        QHash<QRgb, std::uint8_t> nearest;
        for (int y = 0; y < height; ++y) {
            const QRgb* src = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
            std::uint8_t* dst = background_.scanLine(y);
            for (int x = 0; x < width; ++x) {
                const QRgb c = src[x] | 0xFF000000u;
                auto it = nearest.find(c);
                if (it == nearest.end())
                    it = nearest.insert(c, NearestIndex(c));
                dst[x] = it.value();
            }
        }
    }
    if (background_.isNull())
        Fail(SDIBNoDeviceContext);
}

void TMMDIBCanvas::BuildDIB()
{
    FreeDIB();
    batch_.clear();  // colours collected for the old palette
    const int w = std::max(width_, 1);
    const int h = std::max(height_, 1);
    BuildPalette();
    if (bitsPerPixel_ == 8) {
        image_ = QImage(w, h, QImage::Format_Indexed8);
        if (image_.isNull())
            Fail(SDIBNoDeviceContext);
        QList<QRgb> table(256);
        for (int i = 0; i < 256; ++i)
            table[i] = EntryRgb(palette_[i]);
        image_.setColorTable(table);
    } else {
        image_ = QImage(w, h, QImage::Format_BGR888);
        if (image_.isNull())
            Fail(SDIBNoDeviceContext);
    }
    if (!backGroundBitmap_.isNull())
        BuildBackground(w, h);
    std::memset(image_.bits(), 0, static_cast<std::size_t>(image_.sizeInBytes()));
    recreatePending_ = false;
}

// ---------------------------------------------------------------------------
// colours

std::uint32_t TMMDIBCanvas::ColorToPixel(const QColor& color)
{
    const QRgb rgb = color.rgb();
    if (bitsPerPixel_ == 24)
        return rgb & 0xFFFFFFu;
    EnsureDIB();
    return NearestIndex(rgb);
}

void TMMDIBCanvas::SelectPixel(std::uint32_t pixel)
{
    drawValue_ = bitsPerPixel_ == 8 ? (pixel & 0xFFu) * 0x01010101u : pixel & 0xFFFFFFu;
}

// ---------------------------------------------------------------------------
// drawing state

void TMMDIBCanvas::BeginDraw()
{
    DrawLock().lock();
    if (drawDepth_ == 0) {
        try {
            if (recreatePending_ || image_.isNull())
                BuildDIB();
        } catch (...) {
            DrawLock().unlock();
            throw;
        }
        ctx_.bytesPerPixel = bitsPerPixel_ / 8;
        ctx_.width = image_.width();
        ctx_.height = image_.height();
        ctx_.stride = static_cast<int>(image_.bytesPerLine());
        ctx_.bits = image_.bits();
        ctx_.clip = QRect(0, 0, width_, height_).intersected(image_.rect());
        ctx_.pos = QPoint(0, 0);
    }
    ++drawDepth_;
}

void TMMDIBCanvas::EndDraw()
{
    if (drawDepth_ == 0)
        return;
    struct Unlock {
        ~Unlock() { DrawLock().unlock(); }
    } unlock;
    if (--drawDepth_ > 0)
        return;
    ctx_ = Context{};
    if (OnChange)
        OnChange(this);
}

void TMMDIBCanvas::DrawBackground(const QColor& color)
{
    if (ctx_.bits != nullptr && !background_.isNull() && background_.size() == image_.size()
        && background_.format() == image_.format()) {
        std::memcpy(ctx_.bits, background_.constBits(), static_cast<std::size_t>(image_.sizeInBytes()));
        return;
    }
    SelectColor(color);
    PlotClear();
}

void TMMDIBCanvas::CopyToDC(QPainter* target, int dx, int dy, int w, int h, int sx, int sy)
{
    if (target == nullptr || image_.isNull() || w <= 0 || h <= 0)
        return;
    target->drawImage(QRect(dx, dy, w, h), image_, QRect(sx, sy, w, h));
}

namespace {

// Converts one row into `d` (w pixels), writing only from the first to the
// last pixel that differs from what `d` holds; returns that span's first
// pixel and its length (0 when the row holds the same already).
template <typename Convert>
std::pair<int, int> ConvertRowChanges(QRgb* d, int w, Convert convert)
{
    int first = 0;
    while (first < w && d[first] == convert(first))
        ++first;
    if (first == w)
        return {0, 0};
    int last = w - 1;
    while (last > first && d[last] == convert(last))
        --last;
    for (int x = first; x <= last; ++x)
        d[x] = convert(x);
    return {first, last - first + 1};
}

}  // namespace

QRect TMMDIBCanvas::CopyToDC(QImage* target, int dx, int dy, int w, int h, int sx, int sy)
{
    if (target == nullptr || target->isNull() || image_.isNull() || w <= 0 || h <= 0)
        return {};
    const QImage::Format f = target->format();
    // Clip the block to both images.
    QRect src(sx, sy, w, h);
    const QRect inSource = src.intersected(image_.rect());
    QRect dst = inSource.translated(dx - sx, dy - sy).intersected(target->rect());
    if (dst.isEmpty())
        return {};
    if (f != QImage::Format_RGB32 && f != QImage::Format_ARGB32) {
        QPainter p(target);
        CopyToDC(&p, dx, dy, w, h, sx, sy);
        return dst;
    }
    src = dst.translated(sx - dx, sy - dy);
    QRgb lut[256];
    if (image_.format() == QImage::Format_Indexed8) {
        const QList<QRgb> table = image_.colorTable();
        for (int i = 0; i < 256; ++i)
            lut[i] = i < table.size() ? (table[i] | 0xFF000000u) : 0xFF000000u;
    }
    // Only the pixels that change are written, and their bounds returned:
    // a frame that redraws what the target shows already sends nothing on.
    int left = dst.right() + 1, right = dst.left() - 1, top = -1, bottom = -1;
    for (int row = 0; row < dst.height(); ++row) {
        QRgb* d = reinterpret_cast<QRgb*>(target->scanLine(dst.y() + row)) + dst.x();
        std::pair<int, int> span;
        if (image_.format() == QImage::Format_Indexed8) {
            const std::uint8_t* s = image_.constScanLine(src.y() + row) + src.x();
            span = ConvertRowChanges(d, dst.width(), [&](int x) { return lut[s[x]]; });
        } else {
            const std::uint8_t* s = image_.constScanLine(src.y() + row) + 3 * src.x();
            span = ConvertRowChanges(d, dst.width(), [&](int x) {
                return qRgb(s[3 * x + 2], s[3 * x + 1], s[3 * x]);
            });
        }
        if (span.second == 0)
            continue;
        if (top < 0)
            top = row;
        bottom = row;
        left = std::min(left, dst.x() + span.first);
        right = std::max(right, dst.x() + span.first + span.second - 1);
    }
    if (top < 0)
        return {};
    return QRect(QPoint(left, dst.y() + top), QPoint(right, dst.y() + bottom));
}

// ---------------------------------------------------------------------------
// palette animation

void TMMDIBCanvas::AnimateEntries(int first, const std::vector<QRgb>& colours)
{
    if (bitsPerPixel_ != 8 || image_.isNull() || image_.colorCount() < 256)
        Fail(SGetPaletteEntries);
    for (std::size_t i = 0; i < colours.size(); ++i) {
        const int index = first + static_cast<int>(i);
        if (index > 255 || !(palette_[index].flags & PC_RESERVED))
            Fail(SAnimatePalette);
    }
    for (std::size_t i = 0; i < colours.size(); ++i) {
        const int index = first + static_cast<int>(i);
        image_.setColor(index, colours[i] | 0xFF000000u);
        palette_[index] = EntryOf(colours[i], PC_RESERVED);
    }
    if (image_.colorCount() < 256)
        Fail(SSetPaletteEntries);
    // A colour-table change may have given the image its own bits.
    if (ctx_.bits != nullptr)
        ctx_.bits = image_.bits();
    if (!background_.isNull() && background_.format() == QImage::Format_Indexed8)
        background_.setColorTable(image_.colorTable());
}

void TMMDIBCanvas::SetAnimatedColor(int index, const QColor& color)
{
    if (index < 0 || index >= animatedCount_)
        Fail(SInvalidAnimatedIndex);
    EnsureDIB();
    if (animationDepth_ > 0 && !batch_.empty()) {
        batch_[static_cast<std::size_t>(index)] = color.rgb();
        return;
    }
    AnimateEntries(firstAnimated_ + index, {color.rgb()});
    if (OnChange)
        OnChange(this);
}

void TMMDIBCanvas::BeginAnimation()
{
    if (animationDepth_++ > 0 || animatedCount_ == 0)
        return;
    EnsureDIB();
    if (bitsPerPixel_ != 8 || image_.isNull() || image_.colorCount() < 256) {
        --animationDepth_;
        Fail(SGetPaletteEntries);
    }
    batch_.clear();
    for (int i = 0; i < animatedCount_; ++i)
        batch_.push_back(image_.color(firstAnimated_ + i));
}

void TMMDIBCanvas::EndAnimation()
{
    if (animationDepth_ == 0 || --animationDepth_ > 0)
        return;
    if (batch_.empty())
        return;
    std::vector<QRgb> colours;
    colours.swap(batch_);
    AnimateEntries(firstAnimated_, colours);
    if (OnChange)
        OnChange(this);
}

}  // namespace zol
