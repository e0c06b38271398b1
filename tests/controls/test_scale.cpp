#include "controls/scale.h"
#include "platform/errors.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

using namespace zol;

namespace {

QImage Blank(int w = 140, int h = 140)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

bool Black(const QImage& image, int x, int y)
{
    return image.pixel(x, y) == qRgb(0, 0, 0);
}

// Length of the black run starting at (x, y) going down or right.
int RunDown(const QImage& image, int x, int y)
{
    int n = 0;
    while (y + n < image.height() && Black(image, x, y + n))
        ++n;
    return n;
}
int RunRight(const QImage& image, int x, int y)
{
    int n = 0;
    while (x + n < image.width() && Black(image, x + n, y))
        ++n;
    return n;
}

}  // namespace

TEST(Scale, DefaultsAndLimits)
{
    TMMScale s;
    EXPECT_TRUE(s.Visible());
    EXPECT_EQ(s.Color(), clBlack);
    EXPECT_EQ(s.Style(), stColor);
    EXPECT_EQ(s.TickCount(), 11);
    EXPECT_EQ(s.EnlargeEvery(), 5);
    EXPECT_EQ(s.Size(), 7);
    EXPECT_EQ(s.Origin(), soInner);
    EXPECT_FALSE(s.Connect());
    int changes = 0;
    s.SetOnChange([&](TMMCustomScale*) { ++changes; });
    s.SetTickCount(1);
    EXPECT_EQ(s.TickCount(), 2);
    s.SetEnlargeEvery(0);
    EXPECT_EQ(s.EnlargeEvery(), 1);
    s.SetSize(-3);
    EXPECT_EQ(s.Size(), 1);
    EXPECT_EQ(changes, 3);
    s.SetSize(1);  // unchanged: no notice
    EXPECT_EQ(changes, 3);

    // Extent across the scale.
    TMMScale e;
    EXPECT_EQ(e.ScaleExtent(), 7);
    e.SetConnect(true);
    EXPECT_EQ(e.ScaleExtent(), 8);
    e.SetStyle(stLowered);
    EXPECT_EQ(e.ScaleExtent(), 9);

    TMMScale copy;
    int copied = 0;
    copy.SetOnChange([&](TMMCustomScale*) { ++copied; });
    copy.Assign(e);
    EXPECT_EQ(copied, 1);
    EXPECT_TRUE(copy.Connect());
    EXPECT_EQ(copy.Style(), stLowered);
}

TEST(Scale, NeedsCanvas)
{
    TMMScale s;
    try {
        s.DrawScale(QRect(0, 0, 100, 7), true);
        FAIL() << "no exception";
    } catch (const EMMScaleError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Canvas needed for this operation"));
    }
}

TEST(Scale, HorizontalTickLengthsFromFarEdge)
{
    QImage image = Blank();
    QPainter p(&image);
    TMMScale s;  // 11 ticks, every 5th long, size 7, inner origin
    s.DrawScale(&p, QRect(10, 10, 100, 7), true);  // before the track: far edge (bottom)
    p.end();
    // Ticks at x = 10 + 10 i, growing up from the bottom edge (y 17, not set).
    for (int i = 0; i <= 10; ++i) {
        const int x = 10 + 10 * i;
        const int len = (i % 5 == 0) ? 7 : 3;
        EXPECT_EQ(RunDown(image, x, 17 - len), len) << "tick " << i;
        EXPECT_FALSE(Black(image, x, 17 - len - 1)) << "tick " << i;
        EXPECT_FALSE(Black(image, x, 17)) << "tick " << i;
    }
    EXPECT_FALSE(Black(image, 15, 16));  // between ticks
}

TEST(Scale, HorizontalNearEdgeAndBaseLine)
{
    QImage image = Blank();
    QPainter p(&image);
    TMMScale s;
    s.SetConnect(true);
    s.DrawScale(&p, QRect(10, 20, 100, 8), false);  // inner origin after the track: near edge (top)
    p.end();
    // Base line one row above the rectangle from Left to Right + 1 (end not set).
    EXPECT_EQ(RunRight(image, 10, 19), 101);
    // Long tick from the top down, 7 pixels; short one 3.
    EXPECT_EQ(RunDown(image, 10, 20), 7);
    EXPECT_EQ(RunDown(image, 20, 20), 3);
}

TEST(Scale, VerticalTicksRoundAndSquareIsVertical)
{
    QImage image = Blank();
    QPainter p(&image);
    TMMScale s;
    s.SetTickCount(4);
    s.SetEnlargeEvery(3);
    // 10 x 10 is square: vertical. Positions 10 i / 3 rounded: 0, 3, 7, 10.
    s.DrawScale(&p, QRect(30, 30, 10, 10), true);
    p.end();
    const int ys[4] = {30, 33, 37, 40};
    for (int i = 0; i < 4; ++i) {
        const int len = (i % 3 == 0) ? 7 : 3;
        // Far edge: from Right - len to Right (40, not set).
        EXPECT_EQ(RunRight(image, 40 - len, ys[i]), len) << i;
        EXPECT_FALSE(Black(image, 40 - len - 1, ys[i])) << i;
    }
}

TEST(Scale, SizeOneAndTwoTicks)
{
    QImage image = Blank();
    QPainter p(&image);
    TMMScale s;
    s.SetSize(1);
    s.SetTickCount(1);  // becomes 2: both ends only
    s.SetEnlargeEvery(1);
    s.DrawScale(&p, QRect(10, 10, 100, 5), true);
    p.end();
    EXPECT_EQ(RunDown(image, 10, 14), 1);
    EXPECT_EQ(RunDown(image, 110, 14), 1);
    int black = 0;
    for (int x = 11; x < 110; ++x)
        for (int y = 0; y < 30; ++y)
            black += Black(image, x, y);
    EXPECT_EQ(black, 0);

    // Size 1 with many ticks: the short ones have length 0 and leave no mark.
    QImage second = Blank();
    QPainter q(&second);
    TMMScale t;
    t.SetSize(1);
    t.DrawScale(&q, QRect(10, 10, 100, 5), true);
    q.end();
    EXPECT_TRUE(Black(second, 10, 14));
    EXPECT_FALSE(Black(second, 20, 14));
    EXPECT_TRUE(Black(second, 60, 14));
}

TEST(Scale, LoweredBaseLineIsBlackThenWhite)
{
    QImage image = Blank();
    image.fill(QColor(0xC0, 0xC0, 0xC0));
    QPainter p(&image);
    TMMScale s;
    s.SetConnect(true);
    s.SetStyle(stLowered);
    s.DrawScale(&p, QRect(10, 10, 100, 9), true);  // far edge, c = 1: line at y = 19 - 1
    p.end();
    EXPECT_EQ(image.pixel(50, 18), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(50, 19), qRgb(255, 255, 255));
    // Ticks end one pixel before the base line, then shift right in white.
    EXPECT_EQ(image.pixel(10, 17), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(11, 17), qRgb(255, 255, 255));
}

TEST(Scale, ZonesColourTicks)
{
    QImage image = Blank();
    QPainter p(&image);
    TMMScale s;
    s.SetZones(Qt::green, Qt::red, 4, 8);  // z1 = 36.4 px, z2 = 72.7 px of 100
    s.DrawScale(&p, QRect(10, 10, 100, 7), true);
    p.end();
    EXPECT_EQ(image.pixel(10 + 30, 16), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(10 + 50, 16), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(10 + 90, 16), qRgb(255, 0, 0));
}
