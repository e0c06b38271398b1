// The main window's oscilloscope fed through the real chain, in simulated time.
#include "app/zolu.h"
#include "chain/connector.h"
#include "controls/slider.h"
#include "displays/meter.h"
#include "displays/oscope.h"
#include "platform/mixerbackend.h"
#include "platform/simgain.h"
#include "platform/wavein_device.h"
#include "platform/wavein_sources.h"
#include "tests/support/file_support.h"
#include "tests/support/test_support.h"
#include "tests/support/window_test.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>

using namespace zol;

namespace {

using test::Tone;

// Row of value v at gain g on a plot of height h.
int RowOf(int v, int g, int h)
{
    const long scaled = static_cast<long>(v) * (g + 8) / 8;
    return h - static_cast<int>((scaled + 32767) * h / 65535) - 1;
}

class MainFormOscope : public test::WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        UseWav(Tone(650, 8000, 20));
        OpenForm();
    }
};

}  // namespace

TEST_F(MainFormOscope, ShowsTheFilteredToneAtItsAmplitude)
{
    TMainForm& f = *form;
    TMMOscope& o = *f.Oscillo;
    EXPECT_EQ(o.geometry(), QRect(328, 1, 176, 130));
    EXPECT_EQ(o.Kind(), okConLines);
    EXPECT_EQ(o.Gain(), 20);
    EXPECT_TRUE(o.DrawGrid());
    EXPECT_FALSE(o.Accelerate());
    EXPECT_EQ(o.FFTLength(), 512);
    EXPECT_EQ(f.scopegain->Position(), 32);
    EXPECT_EQ(f.scopegain->MaxValue(), 32);
    EXPECT_EQ(f.scopegain->Orientation(), orVertical);
    EXPECT_EQ(f.c2->Oscope1(), &o);
    EXPECT_EQ(f.c1->Oscope1(), nullptr);
    ASSERT_EQ(o.PlotWidth(), 174);
    ASSERT_EQ(o.PlotHeight(), 128);
    EXPECT_EQ(o.NeededBytes(), 4 * 174);  // 16-bit stereo from the chain

    test::Sim().AdvanceMs(4000);
    ASSERT_GT(f.c2->SliceCount(TMMConnector::gOscopes), 100);
    // The after-filter amplitude, as the after-filter meter measures it.
    const int amplitude = f.Om->RawLevel();
    ASSERT_GT(amplitude, 7000);
    ASSERT_LT(amplitude, 9000);

    // A sine, not noise: about 10 periods of 650 Hz in 174 points.
    const std::vector<std::int16_t>& p = o.Points();
    int crossings = 0, largest = 0;
    for (int i = 1; i < 174; ++i) {
        crossings += (p[i - 1] < 0) != (p[i] < 0);
        largest = std::max(largest, std::abs(static_cast<int>(p[i])));
    }
    EXPECT_GE(crossings, 19);
    EXPECT_LE(crossings, 22);
    EXPECT_NEAR(largest, amplitude, amplitude / 50);

    // The trace's rows span the amplitude magnified 3.5 times.
    TMMDIBCanvas& dib = o.DIBCanvas();
    const std::int64_t lime = dib.ColorToPixel(clLime);
    int top = 128, bottom = -1, columns = 0;
    for (int x = 0; x < 174; ++x) {
        bool lit = false;
        for (int y = 0; y < 128; ++y)
            if (dib.ReadPixel(x, y) == lime) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
                lit = true;
            }
        columns += lit;
    }
    EXPECT_EQ(columns, 174);
    EXPECT_NEAR(top, RowOf(amplitude, 20, 128), 1);
    EXPECT_NEAR(bottom, RowOf(-amplitude, 20, 128), 1);
    // 8000 x 3.5 = 28000 of 32767 would be row 9; the filter takes a little.
    EXPECT_GE(top, 9);
    EXPECT_LE(top, 13);
    std::printf("after-filter amplitude %d, trace rows %d..%d\n", amplitude, top, bottom);
    // The screen shows the frame inside the bevel.
    const QImage& screen = o.ScreenImage();
    const QRect plot = o.PlotRect();
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 174; ++x)
            ASSERT_EQ(screen.pixelColor(plot.left() + x, plot.top() + y), dib.Image().pixelColor(x, y)) << x << "," << y;
    EXPECT_EQ(dib.Image().pixelColor(0, o.DivisionRow(3)), clGray);  // the grid

    // The gain slider sets the gain.
    f.scopegain->SetPosition(8);
    EXPECT_EQ(o.Gain(), 8);
    test::Sim().AdvanceMs(500);
    top = 128;
    for (int x = 0; x < 174; ++x)
        for (int y = 0; y < 128; ++y)
            if (dib.ReadPixel(x, y) == lime)
                top = std::min(top, y);
    EXPECT_NEAR(top, RowOf(f.Om->RawLevel(), 8, 128), 1);
    EXPECT_TRUE(errors.Messages().isEmpty()) << errors.Messages().join("; ").toStdString();
}
