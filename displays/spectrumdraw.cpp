// TMMSpectrum: drawing one frame into the DIB: background, grid and the bars
// of the chosen kind, all written straight into the bitmap.
#include "displays/spectrum.h"

#include <algorithm>

namespace zol {

namespace {

// Zone of a value against the two limits: below the lower one, between
// them, above the upper one.
inline int ZoneOf(int v, int lower, int upper)
{
    return v < lower ? 0 : (v > upper ? 2 : 1);
}

}  // namespace

std::uint32_t TMMCustomSpectrum::Pixel(int zone)
{
    return Canvas().ColorToPixel(enabled_ ? barColor_[zone] : inactiveColor_[0]);
}

// The pixel value of every row of a line: the zone colour of the height the
// row stands for (the scrolling trace stands on a base at a third).
void TMMCustomSpectrum::BuildRowPixels(bool scroll)
{
    rowPixel_.resize(static_cast<std::size_t>(h_));
    const std::uint32_t pix[3] = {Pixel(0), Pixel(1), Pixel(2)};
    for (int y = 0; y < h_; ++y) {
        const int height = scroll ? h_ / 3 - y : h_ - 1 - y;
        rowPixel_[static_cast<std::size_t>(y)] = pix[ZoneOf(height, zone1_, zone2_)];
    }
}

// A bar's columns: the segment less Space, half on each side, when the
// segment is wider than Space; at least one column.
void TMMCustomSpectrum::BarColumns(int start, int end, int* left, int* right) const
{
    *left = start;
    *right = end;
    if (space_ < end - start) {
        *left += space_ / 2;
        *right -= space_ - space_ / 2;
    }
    if (*right <= *left)
        *right = *left + 1;
}

bool TMMCustomSpectrum::DrawFrame(bool newData)
{
    Zones();
    const bool spotKind = kind_ == skBars || kind_ == skPeaks;
    if (spotKind && drawInactive_ && !OnDrawBar && (unlitDirty_ || unlitLayout_ != kernel_.LayoutGeneration()))
        BuildUnlitPicture();

    TMMDIBCanvas& dib = Canvas();
    dib.BeginDraw();
    DrawBackgroundFor(newData);
    const bool overflow = kernel_.ComputeSegments();
    if (kind_ == skLines)
        kernel_.UpdatePeaks(0);
    else if (spotKind)
        kernel_.UpdatePeaks(nSpots_);
    kernel_.CopyPeaks(peaks_);
    if (drawGrid_ && kind_ != skScroll)
        DrawGridLines();
    DrawKind();
    dib.EndDraw();
    UpdatePeakText();
    return overflow;
}

void TMMCustomSpectrum::DrawBackgroundFor(bool newData)
{
    TMMDIBCanvas& dib = Canvas();
    const bool spotKind = kind_ == skBars || kind_ == skPeaks;
    const QRect all(0, 0, w_, h_);
    auto clear = [&] {
        if (OnClearBackground) {
            OnClearBackground(this, &dib, all);
        } else {
            dib.SelectColor(Color());
            dib.PlotClear();
        }
    };
    if (kind_ == skScroll && newData && !IsDesigning()) {
        // The older traces move down by two rows.
        dib.PlotCopyBits(dib.DIBBits(), 0, 0, w_, h_ - 2, 0, 2);
        dib.SelectColor(Color());
        dib.PlotFill(QRect(0, 0, w_, 2));
    } else if (OnDrawBar || kind_ == skScroll) {
        clear();
    } else if (spotKind && drawInactive_) {
        dib.PlotCopyBits(unlit_->DIBBits(), 0, 0, w_, h_, 0, 0);
    } else if (OnClearBackground) {
        OnClearBackground(this, &dib, all);
    } else {
        DrawBackground();
    }
}

int TMMCustomSpectrum::AmpDivisions() const
{
    int d = kernel_.LogAmp() ? 6 : 10;
    while (h_ / d < 10 && d > 1)
        --d;
    return d;
}

int TMMCustomSpectrum::FreqTicks() const
{
    int t = 32;
    while (w_ / t < 10 && t > 1)
        t /= 2;
    return t;
}

void TMMCustomSpectrum::DrawGridLines()
{
    TMMDIBCanvas& dib = Canvas();
    dib.SelectColor(gridColor_);
    const int d = AmpDivisions();
    for (int k = 0; k <= d; ++k) {
        int y;
        if (kernel_.LogAmp())
            y = k * (h_ - 1) / d;
        else
            y = h_ - static_cast<int>(static_cast<std::int64_t>(k) * h_ * 32760 / (32768LL * d)) - 1;
        dib.PlotHLineDotted(0, w_, y, 1);
    }
    const int t = FreqTicks();
    for (int k = 0; k <= t; ++k)
        dib.PlotVLineDotted(k * (w_ - 1) / t, 0, h_ - 1, 1);
}

void TMMCustomSpectrum::DrawKind()
{
    switch (kind_) {
    case skDots:
        DrawDots();
        break;
    case skLines:
        DrawLines(false);
        break;
    case skVLines:
        DrawVLines();
        break;
    case skBars:
        DrawSpotBars(false);
        break;
    case skPeaks:
        DrawSpotBars(true);
        break;
    case skScroll:
        DrawLines(true);
        break;
    }
}

void TMMCustomSpectrum::DrawDots()
{
    TMMDIBCanvas& dib = Canvas();
    const std::uint32_t pix[3] = {Pixel(0), Pixel(1), Pixel(2)};
    for (int s = 0; s < kernel_.SegmentCount(); ++s) {
        const TSpectrumSegment& seg = kernel_.Segment(s);
        const int y = std::clamp(h_ - seg.height - 1, 0, h_ - 1);
        // Rows: below the lower limit's row is the lowest zone.
        const int zone = y >= zone1_ ? 0 : (y >= zone2_ ? 1 : 2);
        dib.SelectPixel(pix[zone]);
        dib.PlotHLine(seg.start, seg.end, y);
    }
}

// A line whose every pixel takes the colour of its row; both ends drawn.
void TMMCustomSpectrum::ZoneLine(int x1, int y1, int x2, int y2, const std::uint32_t* rowPixel)
{
    TMMDIBCanvas& dib = Canvas();
    const int dx = std::abs(x2 - x1);
    const int dy = -std::abs(y2 - y1);
    const int sx = x1 < x2 ? 1 : -1;
    const int sy = y1 < y2 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        if (y1 >= 0 && y1 < h_)
            dib.PlotPixel(x1, y1, rowPixel[y1]);
        if (x1 == x2 && y1 == y2)
            break;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x1 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y1 += sy;
        }
    }
}

void TMMCustomSpectrum::DrawLines(bool scroll)
{
    const int count = kernel_.SegmentCount();
    if (count == 0)
        return;
    TMMDIBCanvas& dib = Canvas();
    const bool eightBit = dib.BitsPerPixel() == 8;
    BuildRowPixels(scroll);
    const std::uint32_t bar1 = Pixel(0);
    // On a 24-bit surface the trace is drawn in one colour.
    std::vector<std::uint32_t> flat;
    const std::uint32_t* rows = rowPixel_.data();
    if (!eightBit) {
        flat.assign(static_cast<std::size_t>(h_), bar1);
        rows = flat.data();
    }
    auto rowOf = [&](int height) {
        const int y = scroll ? h_ - height - (h_ - h_ / 3) : h_ - height - 1;
        return std::clamp(y, 0, h_ - 1);
    };
    auto centre = [&](int s) {
        const TSpectrumSegment& seg = kernel_.Segment(s);
        return seg.start + (seg.end - seg.start) / 2;
    };

    int x = 0;
    int y = rowOf(kernel_.Segment(0).height);
    for (int s = 0; s < count; ++s) {
        const int nx = centre(s);
        const int ny = rowOf(kernel_.Segment(s).height);
        ZoneLine(x, y, nx, ny, rows);
        x = nx;
        y = ny;
    }
    if (eightBit) {
        dib.SelectPixel(bar1);
        dib.PlotHLine(x, w_, y);
    }
    if (scroll || numPeaks_ < 1)
        return;

    // The peaks: a second line in zone colours.
    x = 0;
    y = rowOf(peaks_[0]);
    for (int s = 0; s < count; ++s) {
        const int nx = centre(s);
        const int ny = rowOf(peaks_[static_cast<std::size_t>(s)]);
        ZoneLine(x, y, nx, ny, rowPixel_.data());
        x = nx;
        y = ny;
    }
    dib.SelectPixel(bar1);
    dib.PlotHLine(x, w_, y);
}

// Bars centred on the middle row, filled from the outer zone inwards.
void TMMCustomSpectrum::DrawVLines()
{
    TMMDIBCanvas& dib = Canvas();
    const std::uint32_t pix[3] = {Pixel(0), Pixel(1), Pixel(2)};
    auto fill = [&](int left, int right, int h, std::uint32_t pixel) {
        const int top = h_ - (h_ + h) / 2 - 1;
        const int bottom = (h_ + h) / 2 + 1;
        dib.SelectPixel(pixel);
        dib.PlotFill(QRect(left, top, right - left, bottom - top));
    };
    for (int s = 0; s < kernel_.SegmentCount(); ++s) {
        const TSpectrumSegment& seg = kernel_.Segment(s);
        const int h = std::clamp(seg.height, 0, h_ - 1);
        int left, right;
        BarColumns(seg.start, seg.end, &left, &right);
        const int zone = ZoneOf(h, zone1_, zone2_);
        fill(left, right, h, pix[zone]);
        if (zone == 2)
            fill(left, right, std::min(h, zone2_), pix[1]);
        if (zone >= 1)
            fill(left, right, std::min(h, zone1_), pix[0]);
    }
}

// Spot j (1 = bottom) of a bar; the dotted pattern sets every second pixel
// of every second row.
void TMMCustomSpectrum::DrawSpot(TMMDIBCanvas& dib, int left, int right, int spot, std::uint32_t pixel,
                                 bool dotted)
{
    const int bottom = h_ - 1 - spotOffset_ - (spot - 1) * (spotHeight_ + spotSpace_);
    const int top = bottom - spotHeight_ + 1;
    dib.SelectPixel(pixel);
    if (!dotted) {
        dib.PlotFill(QRect(left, top, right - left, bottom - top + 1));
        return;
    }
    for (int y = top; y <= bottom; ++y)
        if (y % 2 == 0)
            dib.PlotHLineDotted(left + (left & 1), right, y, 1);
}

void TMMCustomSpectrum::DrawSpotBars(bool peaksOnly)
{
    TMMDIBCanvas& dib = Canvas();
    const std::uint32_t pix[3] = {Pixel(0), Pixel(1), Pixel(2)};
    auto spotPixel = [&](int j) { return pix[ZoneOf(j, zone1_, zone2_)]; };
    for (int s = 0; s < kernel_.SegmentCount(); ++s) {
        const TSpectrumSegment& seg = kernel_.Segment(s);
        const int lit = TSpectrumKernel::SpotsLit(seg.height, h_, nSpots_);
        const int peak = peaks_[static_cast<std::size_t>(s)];
        if (OnDrawBar) {
            OnDrawBar(this, &dib, QRect(seg.start, 0, seg.end - seg.start, h_), lit, peak);
            continue;
        }
        int left, right;
        BarColumns(seg.start, seg.end, &left, &right);
        if (!peaksOnly) {
            for (int j = 1; j <= lit; ++j)
                DrawSpot(dib, left, right, j, spotPixel(j), activeDoted_);
        } else if (lit >= 1) {
            DrawSpot(dib, left, right, lit, spotPixel(lit), activeDoted_);
        }
        if (numPeaks_ >= 1 && lit < peak) {
            const int lowest = peak - std::min(numPeaks_.load(), peak) + 1;
            for (int j = peak; j >= lowest; --j)
                DrawSpot(dib, left, right, j, spotPixel(j), activeDoted_);
        }
    }
}

// The unlit spots of every bar over the plot colour, in the second DIB.
void TMMCustomSpectrum::BuildUnlitPicture()
{
    TMMDIBCanvas& dib = *unlit_;
    dib.BeginDraw();
    dib.SelectColor(Color());
    dib.PlotClear();
    const std::uint32_t pix[3] = {dib.ColorToPixel(inactiveColor_[0]), dib.ColorToPixel(inactiveColor_[1]),
                                  dib.ColorToPixel(inactiveColor_[2])};
    for (int s = 0; s < kernel_.SegmentCount(); ++s) {
        const TSpectrumSegment& seg = kernel_.Segment(s);
        int left, right;
        BarColumns(seg.start, seg.end, &left, &right);
        for (int j = 1; j <= nSpots_; ++j)
            DrawSpot(dib, left, right, j, pix[ZoneOf(j, zone1_, zone2_)], inactiveDoted_);
    }
    dib.EndDraw();
    unlitDirty_ = false;
    unlitLayout_ = kernel_.LayoutGeneration();
}

}  // namespace zol
