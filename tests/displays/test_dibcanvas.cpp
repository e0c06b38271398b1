#include "displays/dibcanvas.h"
#include "platform/errors.h"
#include "platform/strings.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <QPainter>

#include <cmath>
#include <limits>
#include <set>
#include <thread>
#include <vector>

using namespace zol;

namespace {

// A canvas of the given size, built and drawing until destroyed.
struct Drawing {
    explicit Drawing(int w, int h, int bits = 8)
    {
        c.SetBitsPerPixel(bits);
        c.Resize(w, h);
        c.BeginDraw();
        c.SelectPixel(0);
        c.PlotClear();
        c.SelectPixel(bits == 8 ? 250 : 0x00FF00);
    }
    ~Drawing() { c.EndDraw(); }
    // The set pixels as "x,y" pairs, row by row.
    std::vector<QPoint> Set() const
    {
        std::vector<QPoint> out;
        for (int y = 0; y < c.Height(); ++y)
            for (int x = 0; x < c.Width(); ++x)
                if (c.ReadPixel(x, y) != 0)
                    out.emplace_back(x, y);
        return out;
    }
    int Count() const { return static_cast<int>(Set().size()); }
    bool On(int x, int y) const { return c.ReadPixel(x, y) > 0; }
    // The set pixels of row y as a string of '#' and '.'.
    std::string Row(int y) const
    {
        std::string s;
        for (int x = 0; x < c.Width(); ++x)
            s += On(x, y) ? '#' : '.';
        return s;
    }
    std::string Col(int x) const
    {
        std::string s;
        for (int y = 0; y < c.Height(); ++y)
            s += On(x, y) ? '#' : '.';
        return s;
    }
    TMMDIBCanvas c;
};

std::string Message(const std::function<void()>& f)
{
    try {
        f();
    } catch (const EMMDIBError& e) {
        return e.what();
    }
    return "no error";
}

}  // namespace

TEST(DIBCanvas, DepthsAndTheirLayouts)
{
    TMMDIBCanvas c;
    EXPECT_EQ(c.BitsPerPixel(), 8);
    EXPECT_EQ(c.Width(), 1);
    EXPECT_EQ(c.Height(), 1);
    EXPECT_TRUE(c.RecreatePending());
    EXPECT_FALSE(c.PaletteRealize());
    EXPECT_TRUE(c.StretchBackGround());

    EXPECT_EQ(Message([&] { c.SetBitsPerPixel(16); }), "Bitlength not supported yet");
    EXPECT_EQ(c.BitsPerPixel(), 8);
    c.Resize(5, 3);
    const QImage& eight = c.Image();
    ASSERT_EQ(eight.format(), QImage::Format_Indexed8);
    EXPECT_EQ(eight.size(), QSize(5, 3));
    EXPECT_EQ(eight.bytesPerLine() % 4, 0);
    ASSERT_EQ(eight.colorCount(), 256);
    // The static colours at both ends of the table; the rest starts black.
    EXPECT_EQ(eight.color(0), qRgb(0, 0, 0));
    EXPECT_EQ(eight.color(9), qRgb(166, 202, 240));
    EXPECT_EQ(eight.color(100), qRgb(0, 0, 0));
    EXPECT_EQ(eight.color(249), qRgb(255, 0, 0));
    EXPECT_EQ(eight.color(255), qRgb(255, 255, 255));
    EXPECT_EQ(c.ColorToPixel(clRed), 249u);
    EXPECT_EQ(c.ColorToPixel(QColor(250, 6, 3)), 249u);  // nearest entry
    EXPECT_EQ(c.ColorToPixel(clBlack), 0u);
    EXPECT_EQ(c.ColorToPixel(clAqua), 254u);

    c.SetBitsPerPixel(24);
    EXPECT_TRUE(c.RecreatePending());
    EXPECT_EQ(c.Image().format(), QImage::Format_BGR888);
    EXPECT_EQ(c.ColorToPixel(QColor(0x12, 0x34, 0x56)), 0x123456u);
    c.BeginDraw();
    c.SelectColor(QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(c.DrawValue(), 0x123456u);
    c.PlotPixel(2, 1, c.DrawValue());
    c.EndDraw();
    EXPECT_EQ(c.ReadPixel(2, 1), 0x123456);
    // Blue, green, red in memory; row 1 is the second line from the top.
    const std::uint8_t* p = c.Image().constScanLine(1) + 6;
    EXPECT_EQ(p[0], 0x56);
    EXPECT_EQ(p[1], 0x34);
    EXPECT_EQ(p[2], 0x12);
    EXPECT_EQ(c.Image().pixelColor(2, 1), QColor(0x12, 0x34, 0x56));

    // At 8 bits the drawing value is the index in all four bytes.
    c.SetBitsPerPixel(8);
    c.SelectColor(clLime);
    EXPECT_EQ(c.DrawValue(), 0xFAFAFAFAu);
}

TEST(DIBCanvas, ZeroSizeBuildsOnePixelAndRebuildWhileDrawingRaises)
{
    TMMDIBCanvas c;
    c.Resize(0, 0);
    c.BeginDraw();
    EXPECT_EQ(c.Image().size(), QSize(1, 1));
    c.SelectPixel(7);
    c.PlotPixel(0, 0, 7);  // outside the (empty) clip rectangle
    EXPECT_EQ(c.ReadPixel(0, 0), -1);
    c.EndDraw();

    c.Resize(4, 4);
    c.BeginDraw();
    EXPECT_FALSE(c.Idle());
    const std::string text = "Attempt to create new DIB while initialized for drawing";
    EXPECT_EQ(Message([&] { c.SetBitsPerPixel(24); }), text);
    EXPECT_EQ(c.BitsPerPixel(), 8);
    EXPECT_EQ(Message([&] { c.RecreateDIB(); }), text);
    EXPECT_EQ(Message([&] { c.SetAnimatedColors(4); }), text);
    EXPECT_EQ(Message([&] { c.SetPalette(nullptr); }), text);
    // A size change while drawing waits for the next BeginDraw: drawing
    // goes on inside the image it started with.
    c.Resize(400, 2);
    c.PlotHLine(0, 400, 3);
    EXPECT_EQ(c.Image().size(), QSize(4, 4));
    EXPECT_EQ(c.ReadPixel(3, 3), 7);
    c.EndDraw();
    EXPECT_TRUE(c.Idle());
    c.SetBitsPerPixel(24);
    c.BeginDraw();
    EXPECT_EQ(c.Image().size(), QSize(400, 2));
    EXPECT_EQ(c.Image().format(), QImage::Format_BGR888);
    c.EndDraw();
    EXPECT_EQ(Message([&] { c.SetAnimatedColors(237); }), "Invalid count of animated colors");
    EXPECT_EQ(Message([&] { c.SetAnimatedColors(-1); }), "Invalid count of animated colors");
}

TEST(DIBCanvas, PixelsClipAtEveryEdgeAndReadMinusOneOutside)
{
    Drawing d(10, 8);
    for (QPoint p : {QPoint(-1, 0), QPoint(10, 0), QPoint(0, -1), QPoint(0, 8), QPoint(-5, -5), QPoint(10, 8)})
        d.c.PlotPixel(p.x(), p.y(), 250);
    EXPECT_EQ(d.Count(), 0);
    for (QPoint p : {QPoint(0, 0), QPoint(9, 0), QPoint(0, 7), QPoint(9, 7)})
        d.c.PlotPixel(p.x(), p.y(), 250);
    EXPECT_EQ(d.Count(), 4);
    EXPECT_EQ(d.c.ReadPixel(9, 7), 250);
    for (QPoint p : {QPoint(-1, 0), QPoint(10, 0), QPoint(0, -1), QPoint(0, 8)})
        EXPECT_EQ(d.c.ReadPixel(p.x(), p.y()), -1) << p.x() << "," << p.y();
}

TEST(DIBCanvas, LinesIncludeBothEndsAndClipAgainstEveryEdge)
{
    {
        Drawing d(10, 8);
        d.c.PlotLine(2, 1, 7, 3);  // shallow: one pixel per column
        const auto set = d.Set();
        ASSERT_EQ(set.size(), 6u);
        EXPECT_TRUE(d.On(2, 1));
        EXPECT_TRUE(d.On(7, 3));
        std::set<int> columns;
        for (QPoint p : set)
            columns.insert(p.x());
        EXPECT_EQ(columns.size(), 6u);
    }
    {
        Drawing d(10, 8);
        d.c.PlotLine(4, 0, 6, 7);  // steep: one pixel per row
        EXPECT_EQ(d.Count(), 8);
        for (int y = 0; y < 8; ++y) {
            const std::string row = d.Row(y);
            EXPECT_EQ(std::count(row.begin(), row.end(), '#'), 1) << y;
        }
    }
    {
        Drawing d(10, 8);
        d.c.PlotLine(-5, 3, 14, 3);    // through left and right
        d.c.PlotLine(6, -20, 6, 30);   // through top and bottom
        EXPECT_EQ(d.Row(3), "##########");
        EXPECT_EQ(d.Col(6), "########");
        EXPECT_EQ(d.Count(), 17);
    }
    {
        Drawing d(10, 8);
        d.c.PlotLine(-3, -3, 12, 12);  // in at the top-left corner, out at the bottom
        const auto set = d.Set();
        ASSERT_EQ(set.size(), 8u);
        for (QPoint p : set)
            EXPECT_EQ(p.x(), p.y());
    }
    {
        Drawing d(10, 8);
        d.c.PlotLine(-4, -1, -1, 20);  // wholly outside
        d.c.PlotLine(11, 0, 30, 7);
        d.c.PlotLine(0, 8, 9, 12);
        d.c.PlotLine(0, -1, 9, -9);
        EXPECT_EQ(d.Count(), 0);
        d.c.PlotMoveTo(1, 1);
        d.c.PlotLineTo(3, 1);
        d.c.PlotLineTo(3, 4);
        EXPECT_EQ(d.Row(1), ".###......");
        EXPECT_EQ(d.Col(3), ".####...");
    }
}

TEST(DIBCanvas, RunsSolidDashedAndDottedClip)
{
    Drawing d(12, 12);
    d.c.PlotHLine(2, 6, 0);    // x2 excluded
    d.c.PlotHLine(6, 2, 1);    // either order
    d.c.PlotHLine(-3, 3, 2);   // clipped left
    d.c.PlotHLine(9, 40, 3);   // clipped right
    d.c.PlotHLine(0, 12, -1);  // rows outside
    d.c.PlotHLine(0, 12, 12);
    EXPECT_EQ(d.Row(0), "..####......");
    EXPECT_EQ(d.Row(1), "..####......");
    EXPECT_EQ(d.Row(2), "###.........");
    EXPECT_EQ(d.Row(3), ".........###");
    d.c.PlotHLineDashed(0, 12, 4);    // a shorter last dash is drawn
    d.c.PlotHLineDashed(-9, 3, 5);    // 3 pixels left after clipping: none
    d.c.PlotHLineDashed(8, 12, 6);    // exactly 4
    d.c.PlotHLineDotted(0, 12, 7, 2);
    d.c.PlotHLineDotted(0, 12, 8, 0);  // a gap below 1 counts as 1
    d.c.PlotHLineDotted(-6, 4, 9, 1);
    EXPECT_EQ(d.Row(4), "####....####");
    EXPECT_EQ(d.Row(5), "............");
    EXPECT_EQ(d.Row(6), "........####");
    EXPECT_EQ(d.Row(7), "#..#..#..#..");
    EXPECT_EQ(d.Row(8), "#.#.#.#.#.#.");
    EXPECT_EQ(d.Row(9), "#.#.........");
    EXPECT_EQ(d.Count(), 4 + 4 + 3 + 3 + 8 + 4 + 4 + 6 + 2);

    Drawing v(5, 12);
    v.c.PlotVLine(0, 9, 2);        // both ends included, either order
    v.c.PlotVLine(1, -4, 1);
    v.c.PlotVLine(2, 10, 30);
    v.c.PlotVLine(5, 0, 11);       // column outside
    v.c.PlotVLineDashed(3, 0, 11);
    v.c.PlotVLineDotted(4, 11, 0, 3);
    EXPECT_EQ(v.Col(0), "..########..");
    EXPECT_EQ(v.Col(1), "##..........");
    EXPECT_EQ(v.Col(2), "..........##");
    EXPECT_EQ(v.Col(3), "####....####");
    EXPECT_EQ(v.Col(4), "#...#...#...");
}

TEST(DIBCanvas, FramesFillsClearAndEllipses)
{
    Drawing d(8, 6);
    d.c.PlotFrame(QRect(-2, 1, 6, 4));  // left side outside
    EXPECT_EQ(d.Row(1), "####....");
    EXPECT_EQ(d.Row(2), "...#....");
    EXPECT_EQ(d.Row(4), "####....");
    d.c.SelectPixel(251);
    d.c.PlotFill(QRect(6, 4, 10, 10));
    EXPECT_EQ(d.c.ReadPixel(7, 5), 251);
    EXPECT_EQ(d.c.ReadPixel(5, 5), 0);
    EXPECT_EQ(d.c.ReadPixel(6, 3), 0);
    d.c.SelectPixel(3);
    d.c.PlotClear();
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(d.c.ReadPixel(x, y), 3);

    Drawing e(25, 25);
    e.c.PlotFillEllipse(QPoint(12, 12), QSize(8, 4));
    EXPECT_EQ(e.Row(12), "....#################....");  // 12 - 8 .. 12 + 8
    EXPECT_EQ(e.Col(12), "........#########........");  // 12 - 4 .. 12 + 4
    for (int y = 0; y < 25; ++y)
        for (int x = 0; x < 25; ++x) {
            const double q = std::pow((x - 12) / 8.0, 2) + std::pow((y - 12) / 4.0, 2);
            if (q <= 0.75) {
                EXPECT_TRUE(e.On(x, y)) << x << "," << y;
            }
            if (q >= 1.3) {
                EXPECT_FALSE(e.On(x, y)) << x << "," << y;
            }
            EXPECT_EQ(e.On(x, y), e.On(24 - x, y));
            EXPECT_EQ(e.On(x, y), e.On(x, 24 - y));
        }
    // Clipped at the corner: only the visible quarter.
    Drawing q(10, 10);
    q.c.PlotFillEllipse(QPoint(0, 0), QSize(5, 5));
    EXPECT_EQ(q.Row(0), "######....");
    EXPECT_EQ(q.Col(0), "######....");
}

TEST(DIBCanvas, CopyBitsTakesTheSafeDirectionWhenBlocksOverlap)
{
    for (int bits : {8, 24}) {
        for (QPoint shift : {QPoint(2, 1), QPoint(-2, -1), QPoint(3, -2), QPoint(-1, 2)}) {
            Drawing d(9, 7, bits);
            // A pattern in which every pixel differs.
            for (int y = 0; y < 7; ++y)
                for (int x = 0; x < 9; ++x)
                    d.c.PlotPixel(x, y, static_cast<std::uint32_t>(1 + x + 9 * y));
            std::vector<std::int64_t> before;
            for (int y = 0; y < 7; ++y)
                for (int x = 0; x < 9; ++x)
                    before.push_back(d.c.ReadPixel(x, y));
            // The block (1,1)-(6,5) moved by `shift` inside the same image.
            d.c.PlotCopyBits(d.c.DIBBits(), 1, 1, 6, 5, 1 + shift.x(), 1 + shift.y());
            for (int y = 0; y < 7; ++y)
                for (int x = 0; x < 9; ++x) {
                    const int sx = x - shift.x(), sy = y - shift.y();
                    const bool moved = sx >= 1 && sx < 7 && sy >= 1 && sy < 6;
                    const std::int64_t want = moved ? before[sy * 9 + sx] : before[y * 9 + x];
                    ASSERT_EQ(d.c.ReadPixel(x, y), want) << bits << " shift " << shift.x() << "," << shift.y()
                                                         << " at " << x << "," << y;
                }
        }
    }
    // A block reaching past the edges copies only what lies inside both.
    Drawing d(6, 4);
    std::vector<std::uint8_t> source(static_cast<std::size_t>(d.c.ScanLineSize()) * 4, 9);
    d.c.PlotCopyBits(source.data(), -3, -3, 20, 20, -1, -1);  // (0, 0) lands at (2, 2)
    EXPECT_EQ(d.Row(1), "......");
    EXPECT_EQ(d.Row(2), "..####");
    EXPECT_EQ(d.Row(3), "..####");
}

TEST(DIBCanvas, PaletteFromCallerAndPicture)
{
    TMMDIBCanvas c;
    c.Resize(4, 4);
    TLogPalette pal;
    pal.entries.resize(256);
    for (int i = 0; i < 256; ++i)
        pal.entries[i] = TPaletteEntry{static_cast<std::uint8_t>(i), 7, 9, 0};
    c.SetPalette(&pal);
    EXPECT_EQ(c.Image().color(9), qRgb(166, 202, 240));  // static
    EXPECT_EQ(c.Image().color(10), qRgb(10, 7, 9));
    EXPECT_EQ(c.Image().color(246), qRgb(246, 7, 9));
    EXPECT_EQ(c.Image().color(247), qRgb(160, 160, 164));  // static again
    EXPECT_EQ(c.PaletteEntry(100).flags, PC_NOCOLLAPSE);
    EXPECT_EQ(c.ColorToPixel(QColor(100, 7, 9)), 100u);

    TLogPalette old = pal;
    old.version = 0x200;  // too old: the copy goes
    c.SetPalette(&old);
    EXPECT_EQ(c.Image().color(100), qRgb(0, 0, 0));
    c.SetPalette(&pal);
    pal.entries.resize(257);  // too many
    c.SetPalette(&pal);
    EXPECT_EQ(c.Image().color(100), qRgb(0, 0, 0));

    // A picture's own colour table fills 10..244 and wins over a caller's.
    pal.entries.resize(256);
    c.SetPalette(&pal);
    QImage picture(2, 2, QImage::Format_Indexed8);
    QList<QRgb> table(256, qRgb(1, 2, 3));
    table[50] = qRgb(50, 60, 70);
    table[245] = qRgb(9, 9, 9);
    picture.setColorTable(table);
    picture.fill(50);
    c.SetBackGroundBitmap(picture);
    EXPECT_EQ(c.Image().color(50), qRgb(50, 60, 70));
    EXPECT_EQ(c.Image().color(244), qRgb(1, 2, 3));
    EXPECT_EQ(c.Image().color(245), qRgb(0, 0, 0));
    EXPECT_EQ(c.Image().color(246), qRgb(255, 251, 240));
    c.BeginDraw();
    c.DrawBackground(clWhite);
    EXPECT_EQ(c.ReadPixel(3, 3), 50);
    c.EndDraw();
}

TEST(DIBCanvas, SmallPictureTilesOrStretches)
{
    QImage picture(2, 2, QImage::Format_RGB32);
    picture.setPixel(0, 0, qRgb(255, 0, 0));
    picture.setPixel(1, 0, qRgb(0, 255, 0));
    picture.setPixel(0, 1, qRgb(0, 0, 255));
    picture.setPixel(1, 1, qRgb(255, 255, 255));
    const std::int64_t want[2][2] = {{0xFF0000, 0x00FF00}, {0x0000FF, 0xFFFFFF}};
    for (int bits : {24, 8}) {
        TMMDIBCanvas c;
        c.SetBitsPerPixel(bits);
        c.Resize(5, 3);
        c.SetStretchBackGround(false);
        c.SetBackGroundBitmap(picture);
        ASSERT_NE(c.BackgroundBits(), nullptr);
        c.BeginDraw();
        c.DrawBackground(clBlack);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) {
                const QColor seen = c.Image().pixelColor(x, y);
                const std::int64_t rgb = (seen.red() << 16) | (seen.green() << 8) | seen.blue();
                EXPECT_EQ(rgb, want[y % 2][x % 2]) << bits << " at " << x << "," << y;
            }
        c.EndDraw();

        c.SetStretchBackGround(true);
        c.Resize(4, 4);
        c.BeginDraw();
        c.DrawBackground(clBlack);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                const QColor seen = c.Image().pixelColor(x, y);
                const std::int64_t rgb = (seen.red() << 16) | (seen.green() << 8) | seen.blue();
                EXPECT_EQ(rgb, want[y / 2][x / 2]) << bits << " stretched at " << x << "," << y;
            }
        c.EndDraw();
    }
    // Without a picture the frame is cleared in the given colour.
    TMMDIBCanvas plain;
    plain.Resize(3, 3);
    plain.BeginDraw();
    plain.DrawBackground(clRed);
    EXPECT_EQ(plain.ReadPixel(2, 2), 249);
    plain.EndDraw();
}

TEST(DIBCanvas, AnimatedColours)
{
    TMMDIBCanvas c;
    c.Resize(2, 2);
    EXPECT_EQ(c.AnimatedIndex(0), 256);  // none
    c.SetAnimatedColors(10);
    const QImage& img = c.Image();
    EXPECT_EQ(c.AnimatedIndex(0), 237);
    EXPECT_EQ(c.AnimatedIndex(9), 246);
    // Provisional colours: the lowest values no other entry holds.
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(img.color(237 + i), qRgb(0, 0, 1 + i));
        EXPECT_EQ(c.PaletteEntry(237 + i).flags, PC_RESERVED);
    }
    EXPECT_EQ(c.ColorToPixel(QColor(0, 0, 3)), 239u);

    EXPECT_EQ(Message([&] { c.SetAnimatedColor(10, clRed); }), "Invalidate animated color index");
    EXPECT_EQ(Message([&] { c.SetAnimatedColor(-1, clRed); }), "Invalidate animated color index");
    int changes = 0;
    c.OnChange = [&](TMMDIBCanvas*) { ++changes; };
    c.SetAnimatedColor(2, QColor(1, 2, 3));
    EXPECT_EQ(c.Image().color(239), qRgb(1, 2, 3));
    EXPECT_EQ(c.PaletteEntry(239).red, 1);
    EXPECT_EQ(changes, 1);

    // Nested batch: applied when the outermost EndAnimation runs.
    c.BeginAnimation();
    c.BeginAnimation();
    c.SetAnimatedColor(0, clLime);
    c.SetAnimatedColor(9, clNavy);
    c.EndAnimation();
    EXPECT_EQ(c.Image().color(237), qRgb(0, 0, 1));
    c.EndAnimation();
    EXPECT_EQ(c.Image().color(237), qRgb(0, 255, 0));
    EXPECT_EQ(c.Image().color(246), qRgb(0, 0, 128));
    EXPECT_EQ(c.Image().color(239), qRgb(1, 2, 3));  // kept
    EXPECT_EQ(changes, 2);
    c.EndAnimation();  // unbalanced: nothing
    EXPECT_EQ(changes, 2);

    // A 24-bit image has no colour table to animate.
    c.SetBitsPerPixel(24);
    EXPECT_EQ(Message([&] { c.SetAnimatedColor(0, clRed); }), "Get palette entries failed");
    EXPECT_EQ(Message([&] { c.BeginAnimation(); }), "Get palette entries failed");
}

TEST(DIBCanvas, OneProcessWideDrawingLock)
{
    TMMDIBCanvas a, b;
    auto otherThreadCanEnter = [] {
        bool entered = false;
        std::thread t([&] {
            entered = TMMDIBCanvas::DrawLock().try_lock();
            if (entered)
                TMMDIBCanvas::DrawLock().unlock();
        });
        t.join();
        return entered;
    };
    EXPECT_TRUE(otherThreadCanEnter());
    a.BeginDraw();
    EXPECT_FALSE(otherThreadCanEnter());
    b.BeginDraw();  // the same thread may draw another canvas inside
    b.EndDraw();
    EXPECT_FALSE(otherThreadCanEnter());
    a.EndDraw();
    EXPECT_TRUE(otherThreadCanEnter());
    a.EndDraw();  // unbalanced: ignored, the lock stays free
    EXPECT_TRUE(otherThreadCanEnter());

    // A failed build gives the lock back.
    TMMDIBCanvas huge;
    huge.Resize(std::numeric_limits<int>::max(), 2);
    EXPECT_EQ(Message([&] { huge.BeginDraw(); }), "Unable to access DIB device context");
    EXPECT_TRUE(huge.Idle());
    EXPECT_TRUE(otherThreadCanEnter());

    // Outside BeginDraw/EndDraw the Plot operations draw nothing.
    a.Resize(3, 3);
    a.RecreateDIB();
    a.SelectPixel(5);
    a.PlotClear();
    a.PlotPixel(1, 1, 5);
    EXPECT_EQ(a.ReadPixel(1, 1), 0);
}

TEST(DIBCanvas, CopyToScreenTargets)
{
    TMMDIBCanvas c;
    c.Resize(4, 3);
    c.BeginDraw();
    c.SelectColor(clBlue);
    c.PlotClear();
    c.PlotPixel(3, 2, c.ColorToPixel(clYellow));
    c.EndDraw();
    QImage target(6, 6, QImage::Format_RGB32);
    target.fill(Qt::gray);
    c.CopyToDC(&target, 1, 2, 10, 10, 0, 0);  // clipped to both images
    EXPECT_EQ(target.pixelColor(0, 2), QColor(Qt::gray));
    EXPECT_EQ(target.pixelColor(1, 2), clBlue);
    EXPECT_EQ(target.pixelColor(4, 4), clYellow);
    EXPECT_EQ(target.pixelColor(5, 4), QColor(Qt::gray));
    EXPECT_EQ(target.pixelColor(1, 5), QColor(Qt::gray));

    QImage painted(4, 3, QImage::Format_ARGB32_Premultiplied);
    painted.fill(Qt::black);
    {
        QPainter p(&painted);
        c.CopyToDC(&p, 0, 0, 4, 3, 0, 0);
        c.CopyToDC(static_cast<QPainter*>(nullptr), 0, 0, 4, 3, 0, 0);
    }
    EXPECT_EQ(painted.pixelColor(3, 2), clYellow);
    EXPECT_EQ(painted.pixelColor(0, 0), clBlue);
}

TEST(DIBCanvas, CopyToAnImageWritesAndReportsOnlyThePixelsThatChange)
{
    TMMDIBCanvas c;
    c.Resize(8, 6);
    c.BeginDraw();
    c.SelectColor(clBlue);
    c.PlotClear();
    c.EndDraw();
    QImage target(10, 10, QImage::Format_RGB32);
    target.fill(Qt::gray);
    EXPECT_EQ(c.CopyToDC(&target, 1, 1, 8, 6, 0, 0), QRect(1, 1, 8, 6));
    // The same frame again changes nothing and reports nothing.
    const QImage before = target.copy();
    EXPECT_TRUE(c.CopyToDC(&target, 1, 1, 8, 6, 0, 0).isEmpty());
    EXPECT_EQ(target, before);
    // Two pixels change: their bounds come back, the rest stays.
    c.BeginDraw();
    c.PlotPixel(2, 1, c.ColorToPixel(clYellow));
    c.PlotPixel(5, 3, c.ColorToPixel(clRed));
    c.EndDraw();
    EXPECT_EQ(c.CopyToDC(&target, 1, 1, 8, 6, 0, 0), QRect(QPoint(3, 2), QPoint(6, 4)));
    EXPECT_EQ(target.pixelColor(3, 2), clYellow);
    EXPECT_EQ(target.pixelColor(6, 4), clRed);
    EXPECT_EQ(target.pixelColor(4, 3), clBlue);
    EXPECT_EQ(target.pixelColor(0, 0), QColor(Qt::gray));
    // The same at 24 bits.
    TMMDIBCanvas deep;
    deep.SetBitsPerPixel(24);
    deep.Resize(4, 4);
    deep.BeginDraw();
    deep.SelectColor(clNavy);
    deep.PlotClear();
    deep.EndDraw();
    QImage t2(4, 4, QImage::Format_RGB32);
    t2.fill(Qt::black);
    EXPECT_EQ(deep.CopyToDC(&t2, 0, 0, 4, 4, 0, 0), QRect(0, 0, 4, 4));
    EXPECT_TRUE(deep.CopyToDC(&t2, 0, 0, 4, 4, 0, 0).isEmpty());
    deep.BeginDraw();
    deep.PlotPixel(1, 2, deep.ColorToPixel(clLime));
    deep.EndDraw();
    EXPECT_EQ(deep.CopyToDC(&t2, 0, 0, 4, 4, 0, 0), QRect(1, 2, 1, 1));
    EXPECT_EQ(t2.pixelColor(1, 2), clLime);
}
