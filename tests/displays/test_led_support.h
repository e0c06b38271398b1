// Reading LED glyphs back from pixels, for the LED display tests.
#pragma once

#include "displays/ledcache.h"

#include <QImage>
#include <QPoint>
#include <QString>

#include <array>

namespace zol::test {

// Centre pixels of the seven segments a..g of a glyph of one size, found in
// the "8" of the template strip (so the tests do not repeat the generator's
// geometry).
struct SegmentPoints {
    std::array<QPoint, 7> at;  // a, b, c, d, e, f, g
    int width = 0;
    int height = 0;
};
SegmentPoints FindSegments(TMMLEDSize size);

// The character a glyph at (x0, y0) of `image` shows: '0'..'9', ' ' when no
// segment is lit, '-' when only the middle one is, '?' otherwise. A segment
// is lit when its centre pixel has colour `lit`.
char ReadGlyph(const QImage& image, int x0, int y0, const SegmentPoints& seg, QRgb lit);

// ReadGlyph for `count` glyphs placed `pitch` pixels apart from x0.
QString ReadGlyphs(const QImage& image, int x0, int y0, int pitch, int count, const SegmentPoints& seg,
                   QRgb lit);

}  // namespace zol::test
