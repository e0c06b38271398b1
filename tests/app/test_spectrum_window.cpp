// The main window's spectrum analyser, driven with a recorded tone in
// simulated time: its settings, the gain slider, the marker line over it
// and where the tone shows.
#include "app/zolu.h"
#include "chain/connector.h"
#include "controls/mmcontrols.h"
#include "controls/slider.h"
#include "displays/spectrum.h"
#include "platform/mixerbackend.h"
#include "platform/wavein_device.h"
#include "platform/wavein_sources.h"
#include "tests/support/file_support.h"
#include "tests/support/test_support.h"
#include "tests/support/window_test.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace zol;

namespace {

using test::Tone;

class SpectrumWindowTest : public test::WindowTest {
protected:
    TMainForm& Open(const QByteArray& frames)
    {
        UseWav(frames);
        return OpenForm();
    }
};

}  // namespace

TEST_F(SpectrumWindowTest, SettingsSliderAndMarker)
{
    TMainForm& f = Open(Tone(650, 8000, 5));
    TMMSpectrum& s = *f.Spectrum;
    EXPECT_EQ(s.geometry(), QRect(527, 3, 176, 126));
    EXPECT_EQ(s.Kind(), skLines);
    EXPECT_EQ(s.Window(), fwGaussian);
    EXPECT_EQ(s.FFTLength(), 1024);
    EXPECT_EQ(s.Gain(), sg12db);
    EXPECT_EQ(s.RefFreq(), 50);
    EXPECT_EQ(s.VerticalScale(), 20);
    EXPECT_EQ(s.PeakDelay(), 10);
    EXPECT_EQ(s.Point2(), 75);
    EXPECT_EQ(s.SpotSpace(), 0);
    EXPECT_TRUE(s.DrawGrid());
    EXPECT_EQ(s.Inactive1Color(), clBlack);
    EXPECT_EQ(s.ScaleLineColor(), clWhite);
    EXPECT_EQ(f.c2->Spectrum1(), &s);
    EXPECT_EQ(f.c1->Spectrum1(), nullptr);

    // The slider sets the gain step; the marker line stands over the plot.
    EXPECT_EQ(f.spectrgain->Orientation(), orVertical);
    EXPECT_EQ(f.spectrgain->MaxValue(), 5);
    EXPECT_EQ(f.spectrgain->Position(), 5);
    f.spectrgain->SetPosition(2);
    EXPECT_EQ(s.Gain(), sg6db);
    f.spectrgain->SetPosition(0);
    EXPECT_EQ(s.Gain(), sgNone);
    EXPECT_EQ(f.Panel1->childAt(549, 60), f.Panel2);
}

TEST_F(SpectrumWindowTest, ToneShowsItsStrongestBarAtItsColumn)
{
    // A weak carrier: the 12 dB per octave from 50 Hz lift 650 Hz by 44 dB.
    TMainForm& f = Open(Tone(650, 120, 10));
    TMMSpectrum& s = *f.Spectrum;
    test::Sim().AdvanceMs(3000);
    ASSERT_GT(f.c2->SliceCount(TMMConnector::gSpectra), 20);
    const TSpectrumKernel& k = s.Kernel();
    const int w = k.PlotWidth();
    // The column of 650 Hz on 0 .. 5512.5 Hz, and the bar of bin 60
    // (650 / 10.77 Hz).
    const int column = static_cast<int>(650 / 5512.5 * w);
    EXPECT_NEAR(k.StrongestColumn(), column, 1);
    const int fb = k.FirstBins()[k.StrongestColumn()];
    const int eb = k.EndBins()[k.StrongestColumn()];
    EXPECT_TRUE(fb == 60 || (fb < 60 && 60 < eb)) << fb << " " << eb;
    EXPECT_GT(k.StrongestHeight(), k.PlotHeight() / 2);
    // On screen: the trace is highest at that column.
    const QImage& img = s.DIBCanvas().Image();
    auto topRow = [&](int x) {
        for (int y = 0; y < img.height(); ++y) {
            const QColor c = img.pixelColor(x, y);
            if (c == s.Bar1Color() || c == s.Bar3Color())
                return y;
        }
        return img.height();
    };
    const int centre = k.StrongestColumn() + (k.Segment(0).end - k.Segment(0).start) / 2;
    EXPECT_LT(topRow(centre), topRow(centre + 30));
    EXPECT_LT(topRow(centre), k.PlotHeight() / 2);
    EXPECT_TRUE(errors.Messages().isEmpty()) << errors.Messages().join("; ").toStdString();
}
