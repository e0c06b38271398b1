// Build-time generator of the LED glyph strips.
//
// For each of the thirteen digit sizes it draws two strips in three template
// colours (white = lit segment, black = background, silver #C0C0C0 = unlit
// segment) and writes them as PNG files:
//   LCD_<size>.png   11 glyphs: all unlit, then the digits 0..9
//   LCDS_<size>.png   4 glyphs: all unlit, period, colon, minus
// plus a Qt resource collection file listing them under the prefix
// "/bitmaps". The LED components recolour the template colours at run time.
//
// Usage: zol_ledglyphs <output directory>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>
#include <QTextStream>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

struct GlyphSize {
    const char* name;
    int width;
    int height;
};

// Real glyph sizes; the name gives the nominal size.
const GlyphSize kSizes[] = {
    {"06X07", 4, 7},   {"07X11", 5, 9},   {"08X13", 7, 13},  {"11X19", 9, 19},
    {"13X20", 11, 20}, {"13X21", 11, 21}, {"15X24", 13, 24}, {"15X25", 13, 25},
    {"17X29", 15, 29}, {"18X25", 15, 23}, {"19X33", 17, 33}, {"21X37", 19, 37},
    {"23X41", 21, 41},
};

const QRgb kLit = qRgb(0xFF, 0xFF, 0xFF);
const QRgb kBack = qRgb(0x00, 0x00, 0x00);
const QRgb kUnlit = qRgb(0xC0, 0xC0, 0xC0);

// Segments a..g as bits 0..6: a top, b upper right, c lower right, d bottom,
// e lower left, f upper left, g middle.
enum : unsigned { kA = 1, kB = 2, kC = 4, kD = 8, kE = 16, kF = 32, kG = 64 };
const unsigned kDigitSegments[10] = {
    kA | kB | kC | kD | kE | kF,       // 0
    kB | kC,                           // 1
    kA | kB | kG | kE | kD,            // 2
    kA | kB | kG | kC | kD,            // 3
    kF | kG | kB | kC,                 // 4
    kA | kF | kG | kC | kD,            // 5
    kA | kF | kG | kE | kC | kD,       // 6
    kA | kB | kC,                      // 7
    kA | kB | kC | kD | kE | kF | kG,  // 8
    kA | kB | kC | kD | kF | kG,       // 9
};

// Geometry of one glyph cell. Coordinates are in pixels; pixel (x, y) has its
// centre at (x + 0.5, y + 0.5). Stroke centre lines sit on that grid so that
// every stroke is exactly `t` pixels thick.
struct Geometry {
    int w, h, t;
    double xl, xr;      // centre lines of the left and right strokes
    double yt, ym, yb;  // centre lines of the top, middle and bottom strokes
    double gap;         // distance kept between the mitred ends of two strokes

    Geometry(int width, int height) : w(width), h(height)
    {
        t = std::max(1, (w + 2) / 5);
        xl = t / 2.0;
        xr = w - t / 2.0;
        yt = t / 2.0;
        yb = h - t / 2.0;
        ym = (h - t) / 2 + t / 2.0;
        gap = 1.0;
    }

    bool Across(double d) const { return std::fabs(d) <= (t - 1) / 2.0 + 1e-9; }

    // A horizontal stroke on centre line y between the vertical strokes;
    // its ends are mitred at 45 degrees.
    bool InHorizontal(int px, int py, double y) const
    {
        const double dy = py + 0.5 - y;
        if (!Across(dy))
            return false;
        const double x = px + 0.5;
        const double inset = std::fabs(dy) + gap;
        return x >= xl + inset - 1e-9 && x <= xr - inset + 1e-9;
    }

    bool InVertical(int px, int py, double x, double y0, double y1) const
    {
        const double dx = px + 0.5 - x;
        if (!Across(dx))
            return false;
        const double y = py + 0.5;
        const double inset = std::fabs(dx) + gap;
        return y >= y0 + inset - 1e-9 && y <= y1 - inset + 1e-9;
    }

    // Which segment bit covers the pixel (0 for none).
    unsigned Segment(int px, int py) const
    {
        if (InHorizontal(px, py, yt))
            return kA;
        if (InHorizontal(px, py, ym))
            return kG;
        if (InHorizontal(px, py, yb))
            return kD;
        if (InVertical(px, py, xr, yt, ym))
            return kB;
        if (InVertical(px, py, xr, ym, yb))
            return kC;
        if (InVertical(px, py, xl, ym, yb))
            return kE;
        if (InVertical(px, py, xl, yt, ym))
            return kF;
        return 0;
    }

    // A square dot of t x t pixels centred on (cx, cy).
    bool InDot(int px, int py, double cx, double cy) const
    {
        const int x0 = static_cast<int>(std::floor(cx - t / 2.0 + 0.5));
        const int y0 = static_cast<int>(std::floor(cy - t / 2.0 + 0.5));
        return px >= x0 && px < x0 + t && py >= y0 && py < y0 + t;
    }
};

// Symbol marks of the "LCDS_" strip.
enum : unsigned { kPeriod = 1, kColon = 2, kMinus = 4 };

unsigned SymbolMark(const Geometry& g, int px, int py)
{
    if (g.InHorizontal(px, py, g.ym))
        return kMinus;
    const double cx = g.w / 2.0;
    if (g.InDot(px, py, cx, g.yb))
        return kPeriod;
    if (g.InDot(px, py, cx, (g.yt + g.ym) / 2.0) || g.InDot(px, py, cx, (g.ym + g.yb) / 2.0))
        return kColon;
    return 0;
}

QImage DigitStrip(const GlyphSize& size)
{
    const Geometry g(size.width, size.height);
    QImage image(size.width * 11, size.height, QImage::Format_RGB32);
    image.fill(kBack);
    for (int glyph = 0; glyph < 11; ++glyph) {
        const unsigned lit = glyph == 0 ? 0u : kDigitSegments[glyph - 1];
        for (int y = 0; y < size.height; ++y)
            for (int x = 0; x < size.width; ++x) {
                const unsigned seg = g.Segment(x, y);
                if (seg != 0)
                    image.setPixel(glyph * size.width + x, y, (seg & lit) ? kLit : kUnlit);
            }
    }
    return image;
}

QImage SymbolStrip(const GlyphSize& size)
{
    const Geometry g(size.width, size.height);
    const unsigned litOf[4] = {0, kPeriod, kColon, kMinus};
    QImage image(size.width * 4, size.height, QImage::Format_RGB32);
    image.fill(kBack);
    for (int glyph = 0; glyph < 4; ++glyph)
        for (int y = 0; y < size.height; ++y)
            for (int x = 0; x < size.width; ++x) {
                const unsigned mark = SymbolMark(g, x, y);
                if (mark != 0)
                    image.setPixel(glyph * size.width + x, y, (mark & litOf[glyph]) ? kLit : kUnlit);
            }
    return image;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    QString qrc = QStringLiteral("<RCC>\n  <qresource prefix=\"/bitmaps\">\n");
    for (const GlyphSize& size : kSizes) {
        const QString names[2] = {QStringLiteral("LCD_") + QLatin1String(size.name),
                                  QStringLiteral("LCDS_") + QLatin1String(size.name)};
        const QImage images[2] = {DigitStrip(size), SymbolStrip(size)};
        for (int i = 0; i < 2; ++i) {
            const QString file = names[i] + QStringLiteral(".png");
            if (!images[i].save(out.filePath(file), "PNG")) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(out.filePath(file)));
                return 1;
            }
            qrc += QStringLiteral("    <file alias=\"%1\">%2</file>\n").arg(names[i], file);
        }
    }
    qrc += QStringLiteral("  </qresource>\n</RCC>\n");
    QFile file(out.filePath(QStringLiteral("ledglyphs.qrc")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(qrc.toUtf8()) < 0) {
        std::fprintf(stderr, "cannot write the resource list\n");
        return 1;
    }
    return 0;
}
