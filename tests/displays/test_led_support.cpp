#include "tests/displays/test_led_support.h"

#include "resources/bitmaps.h"

#include <vector>

namespace zol::test {

namespace {
const QRgb kWhite = qRgb(0xFF, 0xFF, 0xFF);

// Centres of the runs of white pixels along a line.
std::vector<int> RunCentres(const QImage& image, bool vertical, int fixed, int from, int to)
{
    std::vector<int> centres;
    int start = -1;
    for (int i = from; i <= to; ++i) {
        const bool on = i < to && (vertical ? image.pixel(fixed, i) : image.pixel(i, fixed)) == kWhite;
        if (on && start < 0)
            start = i;
        if (!on && start >= 0) {
            centres.push_back((start + i - 1) / 2);
            start = -1;
        }
    }
    return centres;
}
}  // namespace

SegmentPoints FindSegments(TMMLEDSize size)
{
    SegmentPoints s;
    const QImage strip = LoadBitmapResource(LEDStripName(ltDigit, size));
    if (strip.isNull())
        return s;
    s.width = strip.width() / 11;
    s.height = strip.height();
    const int x0 = 9 * s.width;  // glyph of the digit 8
    const int cx = x0 + s.width / 2;
    const auto rows = RunCentres(strip, true, cx, 0, s.height);
    if (rows.size() != 3)
        return SegmentPoints{};
    const auto upper = RunCentres(strip, false, (rows[0] + rows[1]) / 2, x0, x0 + s.width);
    const auto lower = RunCentres(strip, false, (rows[1] + rows[2]) / 2, x0, x0 + s.width);
    if (upper.size() != 2 || lower.size() != 2)
        return SegmentPoints{};
    const int cxRel = s.width / 2;
    s.at[0] = QPoint(cxRel, rows[0]);                             // a
    s.at[1] = QPoint(upper[1] - x0, (rows[0] + rows[1]) / 2);     // b
    s.at[2] = QPoint(lower[1] - x0, (rows[1] + rows[2]) / 2);     // c
    s.at[3] = QPoint(cxRel, rows[2]);                             // d
    s.at[4] = QPoint(lower[0] - x0, (rows[1] + rows[2]) / 2);     // e
    s.at[5] = QPoint(upper[0] - x0, (rows[0] + rows[1]) / 2);     // f
    s.at[6] = QPoint(cxRel, rows[1]);                             // g
    return s;
}

char ReadGlyph(const QImage& image, int x0, int y0, const SegmentPoints& seg, QRgb lit)
{
    // Segment masks of the digits, a = bit 0 .. g = bit 6.
    static const unsigned kMasks[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    unsigned mask = 0;
    for (int i = 0; i < 7; ++i) {
        const QPoint p = seg.at[i] + QPoint(x0, y0);
        if (image.rect().contains(p) && (image.pixel(p) | 0xFF000000u) == (lit | 0xFF000000u))
            mask |= 1u << i;
    }
    if (mask == 0)
        return ' ';
    if (mask == 0x40)
        return '-';
    for (int d = 0; d < 10; ++d)
        if (kMasks[d] == mask)
            return static_cast<char>('0' + d);
    return '?';
}

QString ReadGlyphs(const QImage& image, int x0, int y0, int pitch, int count, const SegmentPoints& seg,
                   QRgb lit)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += QLatin1Char(ReadGlyph(image, x0 + i * pitch, y0, seg, lit));
    return text;
}

}  // namespace zol::test
