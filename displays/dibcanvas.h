// The off-screen drawing surface of the analysing displays, and the control
// base of every display that draws through it.
//
// TMMDIBCanvas holds one image (8 bits per pixel: palette indices with a
// 256-entry colour table; 24 bits: blue, green, red bytes) with its logical
// palette and an optional background picture. Displays draw each frame with
// the Plot operations, which write straight into the image's scan lines and
// clip to the image, between BeginDraw and EndDraw; one process-wide lock
// keeps a single canvas at a time in that state. Property and size changes
// only mark the image; it is rebuilt at the next BeginDraw (or when its bits
// are asked for).
//
// Coordinates: x to the right, y downwards, (0, 0) the top-left pixel.
// Pixel values: at 8 bits a palette index, at 24 bits 0xRRGGBB.
//
// TMMDIBGraphicControl owns a canvas and the control's picture as it stands
// on the screen. A display renders a frame into the canvas at once when data
// arrives (PaintDirect), copies the finished parts to the screen picture and
// has only those parts repainted.
#pragma once

#include "controls/mmcontrols.h"

#include <QImage>
#include <QRegion>

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

class QFont;
class QPainter;

namespace zol {

// One entry of a logical palette (flags as below).
struct TPaletteEntry {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t flags = 0;
};
constexpr std::uint8_t PC_RESERVED = 0x01;    // may be animated
constexpr std::uint8_t PC_NOCOLLAPSE = 0x04;  // keep as its own entry

// A logical palette record as callers hand it over.
struct TLogPalette {
    std::uint16_t version = 0x300;
    std::vector<TPaletteEntry> entries;
};

class TMMDIBCanvas {
public:
    TMMDIBCanvas();
    virtual ~TMMDIBCanvas();
    TMMDIBCanvas(const TMMDIBCanvas&) = delete;
    TMMDIBCanvas& operator=(const TMMDIBCanvas&) = delete;

    // The lock every canvas holds between BeginDraw and EndDraw.
    static std::recursive_mutex& DrawLock();

    // --- properties
    // 8 or 24; other values raise "Bitlength not supported yet".
    int BitsPerPixel() const { return bitsPerPixel_; }
    void SetBitsPerPixel(int value);
    // Kept for the displays that publish them; Qt paints without palettes.
    bool PaletteRealize() const { return paletteRealize_; }
    void SetPaletteRealize(bool value);
    bool PaletteMapped() const { return paletteMapped_; }
    void SetPaletteMapped(bool value) { paletteMapped_ = value; }
    // Laid under every frame (DrawBackground); a null image for none.
    const QImage& BackGroundBitmap() const { return backGroundBitmap_; }
    void SetBackGroundBitmap(const QImage& picture);
    bool StretchBackGround() const { return stretchBackGround_; }
    void SetStretchBackGround(bool value);
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetWidth(int value) { Resize(value, height_); }
    void SetHeight(int value) { Resize(width_, value); }
    virtual void Resize(int width, int height);

    // Frees and rebuilds the image now; raises while drawing.
    void RecreateDIB();
    bool RecreatePending() const { return recreatePending_; }
    // False between BeginDraw and EndDraw.
    bool Idle() const { return drawDepth_ == 0; }
    // A copy of `palette` fills entries 10-246 (none, a version below 0x300
    // or more than 256 entries remove the copy). Rebuilds.
    void SetPalette(const TLogPalette* palette);

    // --- colours
    std::uint32_t ColorToPixel(const QColor& color);
    void SelectColor(const QColor& color) { SelectPixel(ColorToPixel(color)); }
    void SelectPixel(std::uint32_t pixel);
    std::uint32_t DrawValue() const { return drawValue_; }
    // The palette entry `index` (0..255) as built at the last rebuild.
    TPaletteEntry PaletteEntry(int index) const { return palette_[index & 255]; }

    // --- drawing
    void BeginDraw();
    void EndDraw();
    // Lays the background picture (or, without one, `color`) over the image.
    void DrawBackground(const QColor& color);
    // Copies a block of the image into `target` (a painter, or an image of
    // any paintable format); nothing without an image or a target. Into an
    // image it returns the bounds of the pixels it changed (for a 32-bit
    // image those whose value differed; else the whole block), empty when
    // none did.
    void CopyToDC(QPainter* target, int dx, int dy, int w, int h, int sx, int sy);
    QRect CopyToDC(QImage* target, int dx, int dy, int w, int h, int sx, int sy);

    // --- direct pixel operations (between BeginDraw and EndDraw; all clip to
    // the image and use the current drawing value unless one is passed)
    void PlotPixel(int x, int y, std::uint32_t value);
    // The pixel value, or -1 outside the image. Works at any time.
    std::int64_t ReadPixel(int x, int y) const;
    void PlotMoveTo(int x, int y);
    void PlotLineTo(int x, int y);
    // Both ends included.
    void PlotLine(int x1, int y1, int x2, int y2);
    // Horizontal runs cover x1 up to but not including x2.
    void PlotHLine(int x1, int x2, int y);
    void PlotHLineDashed(int x1, int x2, int y);
    void PlotHLineDotted(int x1, int x2, int y, int gap);
    // Vertical runs cover both ends, given in either order.
    void PlotVLine(int x, int y1, int y2);
    void PlotVLineDashed(int x, int y1, int y2);
    void PlotVLineDotted(int x, int y1, int y2, int gap);
    void PlotFrame(const QRect& rect);
    void PlotFill(const QRect& rect);
    void PlotClear();
    // Copies a block from `source`, a buffer laid out like this image (same
    // size and depth: its own bits or the background's), in the safe
    // direction when the blocks overlap.
    void PlotCopyBits(const std::uint8_t* source, int sx, int sy, int w, int h, int dx, int dy);
    void PlotFillEllipse(const QPoint& centre, const QSize& radii);
    // Text in the drawing value, its top-left corner at (x, y).
    void PlotText(int x, int y, const QString& text, const QFont& font);

    // --- palette animation
    // 0..236 entries (247 - n .. 246) reserved for animation.
    int AnimatedColors() const { return animatedCount_; }
    void SetAnimatedColors(int count);
    void SetAnimatedColor(int index, const QColor& color);
    int AnimatedIndex(int index) const { return firstAnimated_ + index; }
    void BeginAnimation();
    void EndAnimation();

    // --- the image
    bool HasDIB() const { return !image_.isNull(); }
    // The drawing image, built first when a rebuild is pending and allowed.
    const QImage& Image();
    std::uint8_t* DIBBits();
    // The background picture laid out like the image (none without one).
    const std::uint8_t* BackgroundBits();
    int ScanLineSize() const { return image_.isNull() ? 0 : static_cast<int>(image_.bytesPerLine()); }

    // Called at every EndDraw (the canvas changed).
    std::function<void(TMMDIBCanvas* sender)> OnChange;

private:
    struct Context {
        int bytesPerPixel = 0;
        int width = 0;
        int height = 0;
        int stride = 0;
        std::uint8_t* bits = nullptr;
        QRect clip;
        QPoint pos;
    };

    void MarkForRebuild();
    void CheckIdle() const;
    void EnsureDIB();
    void FreeDIB();
    void BuildDIB();
    void BuildPalette();
    void BuildBackground(int width, int height);
    void AnimateEntries(int first, const std::vector<QRgb>& colours);
    std::uint8_t NearestIndex(QRgb rgb) const;

    void Put(int x, int y, std::uint32_t v);
    void Run(int x, int y, int count, std::uint32_t v);
    void Column(int x, int y, int count, std::uint32_t v);

    int bitsPerPixel_ = 8;
    bool paletteRealize_ = false;
    bool paletteMapped_ = false;
    QImage backGroundBitmap_;
    bool stretchBackGround_ = true;
    int width_ = 1;
    int height_ = 1;
    bool recreatePending_ = true;
    int drawDepth_ = 0;

    QImage image_;
    QImage background_;
    std::array<TPaletteEntry, 256> palette_{};
    bool hasCallerPalette_ = false;
    std::array<TPaletteEntry, 256> callerPalette_{};
    int callerCount_ = 0;

    int firstAnimated_ = 256;
    int animatedCount_ = 0;
    int animationDepth_ = 0;
    std::vector<QRgb> batch_;

    Context ctx_;
    std::uint32_t drawValue_ = 0;
};

// Base of the displays that draw through a TMMDIBCanvas.
class TMMDIBGraphicControl : public TMMGraphicControl {
public:
    explicit TMMDIBGraphicControl(QWidget* parent = nullptr);
    ~TMMDIBGraphicControl() override;

    TMMDIBCanvas& DIBCanvas()
    {
        SyncSize();
        return canvas_;
    }

    const QImage& BackGroundDIB() const { return backGroundDIB_; }
    void SetBackGroundDIB(const QImage& picture);
    bool UseBackGroundDIB() const { return useBackGroundDIB_; }
    void SetUseBackGroundDIB(bool value);
    bool PaletteRealize() const { return canvas_.PaletteRealize(); }
    void SetPaletteRealize(bool value);
    bool PaletteMapped() const { return canvas_.PaletteMapped(); }
    void SetPaletteMapped(bool value) { canvas_.SetPaletteMapped(value); }
    int BitsPerPixel() const { return canvas_.BitsPerPixel(); }
    virtual void SetBitsPerPixel(int value);
    // Start of every frame: the background picture, else the control colour.
    virtual void DrawBackground();

    void Loaded() override;

    // Runs `draw` at once when the control is visible on a parent, then
    // repaints what it copied to the screen picture.
    void PaintDirect(const std::function<void()>& draw);

    // The control as it stands on the screen, brought up to date.
    const QImage& ScreenImage();
    // Marks the control for a full paint (the next paint event renders it).
    void Invalidate();

protected:
    // Renders the whole control into the screen picture. The default paints
    // the bevel and the canvas inside it.
    virtual void PaintControl();
    // The canvas follows the control's size (displays use their plot size).
    virtual void BoundsChanged();
    // Runs BoundsChanged when the size changed since the last time: a hidden
    // widget hears of its new size only when it is shown.
    void SyncSize();
    // The canvas without the size check (for BoundsChanged and drawing).
    TMMDIBCanvas& Canvas() { return canvas_; }
    // The screen picture (the control's size, 32-bit).
    QImage& Screen();
    // Copies a block of the canvas to the screen picture at `dest` (control
    // coordinates, clipped to `clip` when given) and marks it for repainting.
    void CopyToScreen(const QRect& dest, int sx, int sy, const QRect& clip = QRect());
    // Moves the screen picture's pixels inside `area` by dx columns.
    void ScrollScreen(const QRect& area, int dx);
    // Marks a part of the screen picture for repainting.
    void MarkScreen(const QRect& rect) { dirty_ += rect; }

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void BevelChanged() override;

private:
    void BackgroundChanged();
    void FlushScreen();

    TMMDIBCanvas canvas_;
    QImage backGroundDIB_;
    bool useBackGroundDIB_ = false;
    bool loadedUseBackGroundDIB_ = false;
    QImage screen_;
    QSize knownSize_;
    bool fullPaint_ = true;
    bool painting_ = false;
    QRegion dirty_;
    std::recursive_mutex canvasLock_;
};

}  // namespace zol
