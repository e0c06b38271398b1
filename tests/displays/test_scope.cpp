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
