#include "displays/scope.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

using namespace zol;

namespace {
struct Chart {
    Chart()
    {
        s.resize(652, 180);
        s.SetGridsize(4);
        s.SetColor(QColor(0xFF, 0xD2, 0xD2));
        s.SetGridcolor(QColor(0xFF, 0xB0, 0xB0));
        s.SetLinecolorA(clNavy);
        s.SetLinecolorB(clGreen);
        s.Clear();
    }
    QColor At(int x, int y) const { return s.Picture().pixelColor(x, y); }
    TScope s;
};
}  // namespace

TEST(Scope, DefaultsAndCoordinates)
{
    TScope d;
    EXPECT_EQ(d.width(), 208);
    EXPECT_EQ(d.height(), 120);
    EXPECT_EQ(d.Baseline(), 50);
    EXPECT_EQ(d.Gridsize(), 16);
    EXPECT_FALSE(d.Active());
    EXPECT_EQ(d.Interval(), 50);
    EXPECT_EQ(d.Gridcolor(), clGreen);
    EXPECT_EQ(d.LinecolorA(), clLime);

    Chart c;
    EXPECT_EQ(c.s.BaselineY(), 90);
    EXPECT_EQ(c.s.YOf(100), 0);
    EXPECT_EQ(c.s.YOf(0), 180);
    EXPECT_GT(c.s.YOf(-28), 180);
    EXPECT_EQ(c.s.YOf(25), 135);  // 45 exactly
    c.s.resize(652, 181);
    EXPECT_EQ(c.s.YOf(50), 181 - 90);  // 90.5 rounds to even
    c.s.SetGridsize(5);
    EXPECT_EQ(c.s.Gridsize(), 4);
    c.s.SetGridsize(7);
    EXPECT_EQ(c.s.Gridsize(), 6);
    c.s.SetGridsize(-3);
    EXPECT_EQ(c.s.Gridsize(), 0);
    c.s.Clear();  // no grid, no endless loop
    EXPECT_EQ(c.At(651, 10), c.s.Color());
}

TEST(Scope, ClearDrawsGridAndBaseline)
{
    Chart c;
    const QColor bg = c.s.Color(), grid = c.s.Gridcolor();
    EXPECT_EQ(c.At(651, 1), grid);
    EXPECT_EQ(c.At(647, 1), grid);
    EXPECT_EQ(c.At(650, 1), bg);
    EXPECT_EQ(c.At(649, 1), bg);
    EXPECT_EQ(c.At(3, 1), grid);  // 651 - 4 * 162
    EXPECT_EQ(c.At(10, 90), clRed);
    EXPECT_EQ(c.At(10, 94), grid);
    EXPECT_EQ(c.At(10, 86), grid);
    EXPECT_EQ(c.At(10, 2), grid);
    EXPECT_EQ(c.At(10, 1), bg);
    EXPECT_EQ(c.At(10, 178), grid);
    EXPECT_EQ(c.At(10, 179), bg);
}

TEST(Scope, StepScrollsTwoPixelsWithGridInPhase)
{
    Chart c;
    const QColor bg = c.s.Color(), grid = c.s.Gridcolor();
    int updates = 0;
    c.s.OnUpdate = [&](QObject* sender) {
        EXPECT_EQ(sender, &c.s);
        ++updates;
    };
    // Gridsize 4: a vertical line every second step, 4 pixels apart.
    for (int step = 1; step <= 8; ++step) {
        c.s.Step();
        EXPECT_EQ(c.At(651, 1), step % 2 == 0 ? grid : bg) << step;
        for (int x = 651; x >= 600; --x)
            ASSERT_EQ(c.At(x, 1), ((651 - x - 2 * step) % 4 + 4) % 4 == 0 ? grid : bg) << step << " " << x;
    }
    EXPECT_EQ(updates, 8);

    // Gridsize 16: one line every 8 steps.
    c.s.SetGridsize(16);
    c.s.Clear();
    int lines = 0;
    for (int step = 1; step <= 32; ++step) {
        c.s.Step();
        if (c.At(651, 1) == grid)
            ++lines;
        if (step % 8 == 0)
            EXPECT_EQ(c.At(651, 1), grid) << step;
    }
    EXPECT_EQ(lines, 4);
}

TEST(Scope, TracesFollowThePositions)
{
    Chart c;
    const int w = 652;
    // Setting PositionA twice before a step draws only the second value.
    c.s.SetPositionA(30);
    c.s.SetPositionA(80);
    c.s.SetPositionB(0);
    c.s.Step();
    c.s.Step();
    const int y80 = c.s.YOf(80);  // 36
    EXPECT_EQ(y80, 36);
    EXPECT_EQ(c.At(w - 1, y80), clNavy);
    EXPECT_EQ(c.At(w - 2, y80), clNavy);
    for (int x = w - 8; x < w; ++x)
        EXPECT_NE(c.At(x, c.s.YOf(30)), clNavy) << x;

    // A further step moves the picture by exactly 2 pixels.
    c.s.Plot(20, 50);
    EXPECT_EQ(c.At(w - 3, y80), clNavy);
    EXPECT_EQ(c.At(w - 4, y80), clNavy);
    EXPECT_NE(c.At(w - 5, y80), clNavy);
    // The segment towards the new value runs from (w - 2, 36) down.
    bool falling = false;
    for (int y = y80 + 1; y < c.s.YOf(20); ++y)
        falling = falling || c.At(w - 1, y) == clNavy || c.At(w - 2, y) == clNavy;
    EXPECT_TRUE(falling);
    // Trace B rose from the bottom to 50 %: green on the baseline row.
    c.s.Plot(20, 50);
    EXPECT_EQ(c.At(w - 1, 90), clGreen);
}

TEST(Scope, AGapInATraceDrawsNothingAndTheTraceStartsAgainWithAPoint)
{
    Chart c;
    const int w = 652;
    const int y30 = c.s.YOf(30), y70 = c.s.YOf(70), y60 = c.s.YOf(60);
    c.s.Plot(30, 70);
    c.s.Plot(30, 70);
    // Trace A has no value for three steps; trace B goes on.
    for (int i = 0; i < 3; ++i)
        c.s.Plot(TScope::kGap, 70);
    // Neither a line to the top or bottom edge nor one to the baseline:
    // the gap's columns hold no navy pixel at all.
    for (int x = w - 4; x < w; ++x)
        for (int y = 0; y < 180; ++y)
            ASSERT_NE(c.At(x, y), clNavy) << x << "," << y;
    EXPECT_EQ(c.At(w - 1, y70), clGreen);
    // The trace before the gap is still there, further left.
    EXPECT_EQ(c.At(w - 8, y30), clNavy);
    // After the gap it begins with a point, joined to nothing before it.
    c.s.Plot(60, TScope::kGap);
    EXPECT_EQ(c.At(w - 1, y60), clNavy);
    for (int y = 0; y < 180; ++y) {
        EXPECT_NE(c.At(w - 2, y), clNavy) << y;
        EXPECT_NE(c.At(w - 1, y), clGreen) << y;  // trace B's gap
    }
    c.s.Plot(60, 70);
    EXPECT_EQ(c.At(w - 3, y60), clNavy);
    EXPECT_EQ(c.At(w - 1, y60), clNavy);
    EXPECT_EQ(c.At(w - 1, y70), clGreen);
}

TEST(Scope, TimerStepsEveryInterval)
{
    auto& sim = test::Sim();
    Chart c;
    int updates = 0;
    c.s.OnUpdate = [&](QObject*) { ++updates; };
    c.s.SetInterval(500);
    EXPECT_FALSE(c.s.TimerRunning());
    c.s.SetActive(true);
    EXPECT_TRUE(c.s.TimerRunning());
    sim.AdvanceMs(4999);
    EXPECT_EQ(updates, 0);
    sim.AdvanceMs(1);
    EXPECT_EQ(updates, 1);
    sim.AdvanceMs(10000);
    EXPECT_EQ(updates, 3);
    // A new interval restarts the period.
    c.s.SetInterval(3000);
    sim.AdvanceMs(29999);
    EXPECT_EQ(updates, 3);
    sim.AdvanceMs(1);
    EXPECT_EQ(updates, 4);
    c.s.SetActive(false);
    EXPECT_FALSE(c.s.TimerRunning());
    c.s.SetInterval(100);
    EXPECT_FALSE(c.s.TimerRunning());
    sim.AdvanceMs(60000);
    EXPECT_EQ(updates, 4);
    // Plot on an inactive chart still steps and raises OnUpdate.
    c.s.Plot(10, 20);
    EXPECT_EQ(updates, 5);
    c.s.SetInterval(0);
    EXPECT_EQ(c.s.Interval(), 1);
}

TEST(Scope, BaselineChangeRedrawsOnceReady)
{
    Chart c;
    c.s.SetBaseline(0);
    EXPECT_EQ(c.s.BaselineY(), 180);
    EXPECT_EQ(c.At(10, 92), c.s.Gridcolor());  // 180 - 4 * 22
    EXPECT_EQ(c.At(10, 90), c.s.Color());
    c.s.SetBaseline(100);
    EXPECT_EQ(c.s.BaselineY(), 0);
    EXPECT_EQ(c.At(10, 0), clRed);
    EXPECT_EQ(c.At(10, 4), c.s.Gridcolor());
}

namespace {
// Rows of column x that hold colour c.
std::vector<int> RowsOf(const TScope& s, int x, const QColor& c)
{
    std::vector<int> rows;
    for (int y = 0; y < s.Picture().height(); ++y)
        if (s.Picture().pixelColor(x, y) == c)
            rows.push_back(y);
    return rows;
}
}  // namespace

TEST(Scope, ThirdTraceIsAbsentUntilSetAndDrawnUnderTheSignal)
{
    Chart c;
    const int w = 652;
    const QColor lc = c.s.LinecolorC();
    EXPECT_FALSE(c.s.PositionC().has_value());
    EXPECT_FALSE(c.s.TraceCShown());
    // Without a value nothing of it is drawn, however many steps.
    for (int i = 0; i < 5; ++i)
        c.s.Plot(50, 60);
    for (int x = 0; x < w; ++x)
        ASSERT_TRUE(RowsOf(c.s, x, lc).empty()) << x;

    // The first value is a point at the right edge, not a line up from the
    // baseline as the signal traces begin.
    c.s.SetPositionC(25);
    c.s.Plot(50, 60);
    EXPECT_TRUE(c.s.TraceCShown());
    EXPECT_EQ(RowsOf(c.s, w - 1, lc), std::vector<int>{135});
    EXPECT_TRUE(RowsOf(c.s, w - 3, lc).empty());
    EXPECT_EQ(c.At(w - 1, 90), c.s.LinecolorA());  // the baseline row holds trace A

    // Rising to 75 %: a segment from y 135 to y 45 at the new strip.
    c.s.SetPositionC(75);
    c.s.Plot(50, 60);
    EXPECT_EQ(RowsOf(c.s, w - 3, lc), std::vector<int>{135});
    const std::vector<int> rising = RowsOf(c.s, w - 1, lc);
    ASSERT_FALSE(rising.empty());
    EXPECT_LE(rising.front(), 60);
    // Where it crosses the signal trace A (at 50 %), A lies on top.
    EXPECT_EQ(c.At(w - 1, 90), c.s.LinecolorA());
    EXPECT_EQ(c.At(w - 2, 90), c.s.LinecolorA());

    // It scrolls with the others: the level drawn at the new strip is 2
    // pixels further left a step later.
    c.s.Plot(50, 60);
    EXPECT_EQ(c.At(w - 2, 45), lc);
    c.s.Plot(50, 60);
    EXPECT_EQ(c.At(w - 4, 45), lc);
    EXPECT_EQ(c.At(w - 1, 45), lc);

    // No value any more: the trace ends; the picture keeps what was drawn.
    c.s.SetPositionC(std::nullopt);
    c.s.Plot(50, 60);
    c.s.Plot(50, 60);
    EXPECT_TRUE(RowsOf(c.s, w - 1, lc).empty());
    EXPECT_TRUE(RowsOf(c.s, w - 2, lc).empty());
    EXPECT_EQ(c.At(w - 7, 45), lc);
    EXPECT_TRUE(c.s.TraceCShown());
    // Once it has scrolled out, its scale goes too.
    for (int i = 0; i < w / 2; ++i)
        c.s.Plot(50, 60);
    EXPECT_FALSE(c.s.TraceCShown());
    for (int x = 0; x < w; ++x)
        ASSERT_TRUE(RowsOf(c.s, x, lc).empty()) << x;

    // Clear forgets the trace: the next value starts as a point again.
    c.s.SetPositionC(100);
    c.s.Plot(50, 60);
    c.s.Clear();
    c.s.SetPositionC(10);
    c.s.Plot(50, 60);
    EXPECT_EQ(RowsOf(c.s, w - 1, lc), std::vector<int>{162});
    EXPECT_TRUE(RowsOf(c.s, w - 3, lc).empty());
}

TEST(Scope, ThirdTraceScaleIsPaintedOnlyWhileTheTraceIsInThePicture)
{
    QWidget parent;
    parent.resize(700, 200);
    TScope s(&parent);
    s.setGeometry(0, 0, 652, 180);
    s.SetGridsize(4);
    s.SetColor(QColor(0xFF, 0xD2, 0xD2));
    s.Clear();
    const QRgb mark = s.LinecolorC().darker(130).rgb();
    auto marks = [&] {
        const QImage shown = s.grab().toImage();
        int n = 0;
        for (int y = 0; y < 180; ++y)
            for (int x = 0; x < 5; ++x)
                n += shown.pixel(x, y) == mark;
        return n;
    };
    s.Plot(50, 60);
    EXPECT_EQ(marks(), 0);
    s.SetPositionC(40);
    s.Plot(50, 60);
    // Ticks at 0, 50 and 100 % (y 179, 90 and 0), five pixels each.
    const QImage shown = s.grab().toImage();
    for (int y : {179, 90, 0})
        EXPECT_EQ(shown.pixel(2, y), mark) << y;
    EXPECT_GE(marks(), 15);
    // The picture itself (what the steps scroll) holds no scale.
    for (int y : {179, 90, 0})
        EXPECT_NE(s.Picture().pixel(2, y), mark) << y;
}
