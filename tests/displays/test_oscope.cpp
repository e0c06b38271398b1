#include "displays/oscope.h"
#include "platform/errors.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMouseEvent>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace zol;

namespace {

// Palette indices of the colours the tests look for (8-bit surface).
constexpr int kAqua = 254, kRed = 249, kGray = 248, kWhite = 255, kLime = 250;

// An oscilloscope of the main window's size (plot 174 x 128, mid row 64)
// on a shown parent, fed 16-bit data.
struct Scope {
    explicit Scope(TMMMode mode = mMono, QSize size = QSize(176, 130))
    {
        parent.resize(400, 300);
        o = new TMMOscope(&parent);
        o->setGeometry(10, 10, size.width(), size.height());
        o->SetBitLength(b16Bit);
        o->SetMode(mode);
        parent.show();
        o->ScreenImage();
    }
    // A block in which every frame is (l, r) (or l for mono).
    std::vector<std::int16_t> Constant(int l, int r = 0) const
    {
        const int frames = o->NeededBytes() / (o->Mode() == mStereo ? 4 : 2);
        std::vector<std::int16_t> v;
        for (int i = 0; i < frames; ++i) {
            v.push_back(static_cast<std::int16_t>(l));
            if (o->Mode() == mStereo)
                v.push_back(static_cast<std::int16_t>(r));
        }
        return v;
    }
    void Show(const std::vector<std::int16_t>& v) { o->ShowPCMData(reinterpret_cast<const char*>(v.data())); }
    std::int64_t Pixel(int x, int y) { return o->DIBCanvas().ReadPixel(x, y); }
    // Rows of column x that are not background.
    std::vector<int> LitRows(int x)
    {
        std::vector<int> rows;
        for (int y = 0; y < o->PlotHeight(); ++y)
            if (Pixel(x, y) != 0)
                rows.push_back(y);
        return rows;
    }
    QWidget parent;
    TMMOscope* o;
};

// Row of value v at gain g (eighths over 8) on a plot of height h.
int RowOf(int v, int g, int h)
{
    const long scaled = static_cast<long>(v) * (g + 8) / 8;
    return h - static_cast<int>((scaled + 32767) * h / 65535) - 1;
}

// A mouse event with the left button held (pressed, moved) or let go.
void SendMouse(QWidget* w, QEvent::Type type, QPoint at)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, QPointF(at), w->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
}

}  // namespace

TEST(Oscope, DefaultsClampsAndIgnoredValues)
{
    TMMOscope o;
    EXPECT_EQ(o.width(), 194);
    EXPECT_EQ(o.height(), 90);
    EXPECT_EQ(o.Color(), clBlack);
    EXPECT_EQ(o.Kind(), okDots);
    EXPECT_EQ(o.ForegroundColor(), clAqua);
    EXPECT_EQ(o.InactiveColor(), clTeal);
    EXPECT_EQ(o.EffectColor(), clRed);
    EXPECT_EQ(o.DisabledColor(), clGray);
    EXPECT_EQ(o.BarTickColor(), clWhite);
    EXPECT_EQ(o.cursor().shape(), Qt::CrossCursor);
    EXPECT_EQ(o.BitLength(), b8Bit);
    EXPECT_EQ(o.Mode(), mMono);
    EXPECT_EQ(o.FFTLength(), 128);
    EXPECT_TRUE(o.Accelerate());
    EXPECT_FALSE(o.Scroll());
    // Plot 192 x 88 inside the one-pixel bevel: 8 amplitude divisions (10
    // would leave rows under 10 pixels), 16 time divisions.
    EXPECT_EQ(o.PlotWidth(), 192);
    EXPECT_EQ(o.PlotHeight(), 88);
    EXPECT_EQ(o.Divisions(), 8);
    EXPECT_EQ(o.TimeDivisions(), 16);
    EXPECT_EQ(o.NeededBytes(), 192);

    o.SetSteps(20);
    EXPECT_EQ(o.Steps(), 9);
    o.SetSteps(0);
    EXPECT_EQ(o.Steps(), 1);
    o.SetFFTLength(1000);
    EXPECT_EQ(o.FFTLength(), 512);
    o.SetFFTLength(5000);
    EXPECT_EQ(o.FFTLength(), 4096);
    o.SetFFTLength(3);
    EXPECT_EQ(o.FFTLength(), 2);
    o.SetFFTLength(-5);
    EXPECT_EQ(o.FFTLength(), 1);
    o.SetSampleRate(100);
    EXPECT_EQ(o.SampleRate(), 8000);
    o.SetSampleRate(100000);
    EXPECT_EQ(o.SampleRate(), 88200);
    o.SetZoom(0);
    EXPECT_EQ(o.Zoom(), 1);
    o.SetZoom(12);
    EXPECT_EQ(o.Zoom(), 9);
    o.SetZoom(-12);
    EXPECT_EQ(o.Zoom(), -9);
    o.SetGain(20);
    o.SetGain(33);
    EXPECT_EQ(o.Gain(), 20);
    o.SetGain(-9);
    EXPECT_EQ(o.Gain(), 20);
    o.SetGain(-8);
    EXPECT_EQ(o.Gain(), -8);
    o.SetBarWidth(0);
    EXPECT_EQ(o.BarWidth(), 1);
}

TEST(Oscope, NeededBytesFollowFormatZoomScrollAndSize)
{
    Scope s(mStereo);
    TMMOscope& o = *s.o;
    EXPECT_EQ(o.PlotWidth(), 174);
    EXPECT_EQ(o.PlotHeight(), 128);
    EXPECT_EQ(o.NeededBytes(), 4 * 174);
    o.SetZoom(2);
    EXPECT_EQ(o.NeededBytes(), 4 * 174 * 2);
    o.SetZoom(-1);  // (696 / 2 + 5) with the two low bits cleared
    EXPECT_EQ(o.NeededBytes(), 352);
    o.SetZoom(-3);  // (696 / 4 + 5) & ~3
    EXPECT_EQ(o.NeededBytes(), 176);
    o.SetScroll(true);
    EXPECT_EQ(o.NeededBytes(), 4 * 128);
    o.SetFFTLength(512);
    EXPECT_EQ(o.NeededBytes(), 2048);
    o.SetScroll(false);
    o.SetZoom(1);
    o.SetBitLength(b8Bit);
    o.SetMode(mMono);
    EXPECT_EQ(o.NeededBytes(), 174);

    // A plot 2 pixels wide still has 4 points.
    o.setGeometry(10, 10, 4, 40);
    EXPECT_EQ(o.PlotRect().width(), 2);
    EXPECT_EQ(o.PlotWidth(), 4);
    EXPECT_EQ(o.NeededBytes(), 4);
    EXPECT_EQ(o.DIBCanvas().Width(), 4);
    o.resize(1, 1);  // never below the bevel plus 2
    EXPECT_EQ(o.size(), QSize(4, 4));
    o.SetDrawAmpScale(true);
    o.SetDrawTimeScale(true);
    EXPECT_EQ(o.width(), 68);
    EXPECT_EQ(o.height(), 44);

    // Formats.
    WAVEFORMATEX bad{};
    MakePcmFormat(bad, 12, 2, 11025);
    try {
        o.SetWaveFormat(&bad);
        ADD_FAILURE() << "no error";
    } catch (const EMMOscopeError& e) {
        EXPECT_STREQ(e.what(), "Invalid WaveFormat");
    }
    WAVEFORMATEX f{};
    MakePcmFormat(f, 16, 2, 22050);
    o.SetWaveFormat(&f);
    EXPECT_EQ(o.BitLength(), b16Bit);
    EXPECT_EQ(o.Mode(), mStereo);
    EXPECT_EQ(o.SampleRate(), 22050);
    WAVEFORMATEX back{};
    o.GetWaveFormat(back);
    EXPECT_EQ(back.wBitsPerSample, 16);
    EXPECT_EQ(back.nChannels, 2);
    EXPECT_EQ(back.nSamplesPerSec, 22050u);
}

TEST(Oscope, ChannelsAndTheRoundedTowardZeroMean)
{
    Scope s(mStereo);
    TMMOscope& o = *s.o;
    s.Show(s.Constant(1001, -2000));
    EXPECT_EQ(o.Points()[0], -499);  // -999 / 2, toward zero
    EXPECT_EQ(o.Points()[173], -499);
    s.Show(s.Constant(-3, 0));
    EXPECT_EQ(o.Points()[5], -1);
    o.SetChannel(chLeft);
    s.Show(s.Constant(1001, -2000));
    EXPECT_EQ(o.Points()[7], 1001);
    o.SetChannel(chRight);
    s.Show(s.Constant(1001, -2000));
    EXPECT_EQ(o.Points()[7], -2000);

    // 8-bit stereo: the byte sum is halved before the conversion.
    o.SetChannel(chBoth);
    o.SetBitLength(b8Bit);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(o.NeededBytes()));
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        bytes[i] = 255;
        bytes[i + 1] = 0;
    }
    o.ShowPCMData(reinterpret_cast<const char*>(bytes.data()));
    EXPECT_EQ(o.Points()[3], 127 * 256 - 32768);
    o.SetMode(mMono);
    o.ShowPCMData(reinterpret_cast<const char*>(bytes.data()));
    EXPECT_EQ(o.Points()[0], 255 * 256 - 32768);
    EXPECT_EQ(o.Points()[1], -32768);
}

TEST(Oscope, GainScalesRowsAndOverflowEvents)
{
    Scope s;
    TMMOscope& o = *s.o;
    const int h = o.PlotHeight();
    int pcm = 0, gain = 0, posts = 0;
    o.OnPcmOverflow = [&](QObject*) { ++pcm; };
    o.OnGainOverflow = [&](QObject*) { ++gain; };
    o.OnPostPaint = [&](QObject*) { ++posts; };

    // Full scale spans the whole height at gain 0.
    s.Show(s.Constant(32767));
    EXPECT_EQ(s.LitRows(10), std::vector<int>{0});
    EXPECT_EQ(pcm, 1);
    s.Show(s.Constant(-32768));
    EXPECT_EQ(s.LitRows(10), std::vector<int>{127});
    s.Show(s.Constant(16384));
    EXPECT_EQ(s.LitRows(10), std::vector<int>{RowOf(16384, 0, h)});
    EXPECT_EQ(RowOf(16384, 0, h), 32);
    EXPECT_EQ(pcm, 1);
    EXPECT_EQ(gain, 0);
    EXPECT_EQ(posts, 3);

    // Gain 20: 3.5 times.
    o.SetGain(20);
    o.ScreenImage();  // the last points again, now above the top
    EXPECT_EQ(gain, 1);
    gain = 0;
    s.Show(s.Constant(8000));
    EXPECT_EQ(s.LitRows(10), std::vector<int>{9});
    EXPECT_EQ(RowOf(8000, 20, h), 9);
    o.SetGain(33);  // ignored
    s.Show(s.Constant(8000));
    EXPECT_EQ(s.LitRows(10), std::vector<int>{9});
    // Above the top: reported, drawn clipped (nothing visible).
    s.Show(s.Constant(16384));
    EXPECT_EQ(gain, 1);
    EXPECT_TRUE(s.LitRows(10).empty());

    // Gain -8: every point at mid height.
    o.SetGain(-8);
    o.ScreenImage();
    std::vector<std::int16_t> ramp;
    for (int i = 0; i < 174; ++i)
        ramp.push_back(static_cast<std::int16_t>(i * 370 - 32000));
    s.Show(ramp);
    for (int x = 0; x < 174; ++x)
        ASSERT_EQ(s.LitRows(x), std::vector<int>{64}) << x;

    // 8-bit data never reaches 32767.
    o.SetBitLength(b8Bit);
    o.SetGain(0);
    std::vector<std::uint8_t> loud(static_cast<std::size_t>(o.NeededBytes()), 255);
    pcm = 0;
    o.ShowPCMData(reinterpret_cast<const char*>(loud.data()));
    EXPECT_EQ(pcm, 0);
    EXPECT_EQ(s.LitRows(3), std::vector<int>{0});
}

TEST(Oscope, ZoomLowPassAndSteps)
{
    Scope s;
    TMMOscope& o = *s.o;
    std::vector<std::int16_t> ramp;
    for (int i = 0; i < 174 * 2; ++i)
        ramp.push_back(static_cast<std::int16_t>(i * 90));
    o.SetZoom(-1);  // each frame twice
    EXPECT_EQ(o.NeededBytes(), (2 * 174 / 2 + 5) & ~3);
    s.Show(ramp);
    for (int k = 0; k < 87; ++k) {
        ASSERT_EQ(o.Points()[2 * k], k * 90);
        ASSERT_EQ(o.Points()[2 * k + 1], k * 90);
    }
    o.SetZoom(2);  // every second frame
    s.Show(ramp);
    EXPECT_EQ(o.Points()[10], 1800);
    EXPECT_EQ(o.Points()[173], 346 * 90);

    o.SetZoom(1);
    o.SetLowPass(true);
    std::vector<std::int16_t> v = {400, 800, -400};
    v.resize(174, 0);
    s.Show(v);
    EXPECT_EQ(o.Points()[0], 300);   // (0 + 3 * 400) / 4
    EXPECT_EQ(o.Points()[1], 700);   // (400 + 3 * 800) / 4
    EXPECT_EQ(o.Points()[2], -100);  // (800 - 1200) / 4
    EXPECT_EQ(o.Points()[3], -100);  // (-400 + 0) / 4

    o.SetLowPass(false);
    o.SetSteps(3);
    o.ScreenImage();
    s.Show(s.Constant(0));
    for (int x = 0; x < 12; ++x)
        EXPECT_EQ(s.LitRows(x).size(), x % 3 == 0 ? 1u : 0u) << x;
}

TEST(Oscope, TraceStylesAndEffects)
{
    Scope s;
    TMMOscope& o = *s.o;
    // Half the plot at 0 (row 63), the other half at 16384 (row 32).
    std::vector<std::int16_t> step(174, 0);
    for (int i = 87; i < 174; ++i)
        step[static_cast<std::size_t>(i)] = 16384;
    o.SetKind(okConLines);
    o.ScreenImage();
    s.Show(step);
    EXPECT_EQ(s.LitRows(10), std::vector<int>{RowOf(0, 0, 128)});
    EXPECT_EQ(RowOf(0, 0, 128), 64);
    // The jump between columns 86 and 87 is joined: every row between lit.
    std::vector<int> rise = s.LitRows(86);
    for (int y : s.LitRows(87))
        rise.push_back(y);
    std::sort(rise.begin(), rise.end());
    rise.erase(std::unique(rise.begin(), rise.end()), rise.end());
    EXPECT_EQ(rise.size(), 33u);
    EXPECT_EQ(rise.front(), 32);
    EXPECT_EQ(rise.back(), 64);
    EXPECT_EQ(s.LitRows(173), std::vector<int>{32});

    o.SetKind(okVertLines);
    o.ScreenImage();
    s.Show(step);
    EXPECT_EQ(s.LitRows(10), (std::vector<int>{63, 64}));  // the two-pixel base line
    EXPECT_EQ(s.LitRows(100).front(), 32);
    EXPECT_EQ(s.LitRows(100).back(), 64);
    EXPECT_EQ(s.LitRows(100).size(), 33u);

    o.SetKind(okMirLines);
    o.ScreenImage();
    s.Show(step);
    EXPECT_EQ(s.LitRows(100).front(), 32);
    EXPECT_EQ(s.LitRows(100).back(), 127 - 32);

    o.SetKind(okSpikes);  // magnitudes from the bottom
    o.ScreenImage();
    s.Show(s.Constant(-16384));
    const std::vector<int> spike = s.LitRows(20);
    EXPECT_EQ(spike.front(), 128 - 64 - 1);
    EXPECT_EQ(spike.back(), 127);

    // Effects: efPeak marks the outer thirds, efSplit the upper half.
    o.SetKind(okDots);
    o.SetEffect(efPeak);
    o.ScreenImage();
    std::vector<std::int16_t> mix = {30000, 0, -30000, 1000};
    mix.resize(174, 0);
    s.Show(mix);
    EXPECT_EQ(s.Pixel(0, RowOf(30000, 0, 128)), kRed);
    EXPECT_EQ(s.Pixel(1, 64), kAqua);
    EXPECT_EQ(s.Pixel(2, RowOf(-30000, 0, 128)), kRed);
    EXPECT_EQ(s.Pixel(3, RowOf(1000, 0, 128)), kAqua);
    o.SetEffect(efSplit);
    o.ScreenImage();
    s.Show(mix);
    EXPECT_EQ(s.Pixel(0, RowOf(30000, 0, 128)), kRed);
    EXPECT_EQ(s.Pixel(2, RowOf(-30000, 0, 128)), kAqua);
    EXPECT_EQ(s.Pixel(3, RowOf(1000, 0, 128)), kRed);  // h 65 is above the mid row
    EXPECT_EQ(s.Pixel(1, 64), kAqua);

    // okVertLines with efPeak: the run stays in the trace colour with a
    // 5-pixel tip in the effect colour.
    o.SetKind(okVertLines);
    o.SetEffect(efPeak);
    o.ScreenImage();
    s.Show(mix);
    const int top = RowOf(30000, 0, 128);
    for (int y = top; y <= top + 4; ++y)
        EXPECT_EQ(s.Pixel(0, y), kRed) << y;
    EXPECT_EQ(s.Pixel(0, top + 5), kAqua);
    EXPECT_EQ(s.Pixel(0, 60), kAqua);
}

TEST(Oscope, GridMidLineAndDisabled)
{
    Scope s;
    TMMOscope& o = *s.o;
    o.SetDrawGrid(true);
    o.SetDrawMidLine(true);
    o.ScreenImage();
    s.Show(s.Constant(30000));
    ASSERT_EQ(o.Divisions(), 10);
    ASSERT_EQ(o.TimeDivisions(), 16);
    // Horizontal grid rows, dotted with gap 1, in the grid colour.
    EXPECT_EQ(o.DivisionRow(0), 127);
    EXPECT_EQ(o.DivisionRow(10), 0);  // 32760 / 256 = 127
    EXPECT_EQ(o.DivisionRow(5), 64);
    EXPECT_EQ(o.DivisionRow(3), 127 - 3 * 32760 / 10 / 256);
    EXPECT_EQ(s.Pixel(2, o.DivisionRow(3)), kGray);
    EXPECT_EQ(s.Pixel(3, o.DivisionRow(3)), 0);
    // Vertical grid columns at k * 173 / 16.
    EXPECT_EQ(s.Pixel(173 * 5 / 16, 2), kGray);
    EXPECT_EQ(s.Pixel(173 * 5 / 16, 1), 0);
    // Dashed mid line: 4 on, 4 off (odd columns: the grid row there is dotted).
    EXPECT_EQ(s.Pixel(9, 64), kGray);
    EXPECT_EQ(s.Pixel(13, 64), 0);
    EXPECT_EQ(s.Pixel(20, RowOf(30000, 0, 128)), kAqua);

    // Disabled: data ignored, a flat line from 5 to W - 5.
    o.SetEnabled(false);
    o.SetDrawGrid(false);
    o.SetDrawMidLine(false);
    s.Show(s.Constant(-1000));
    EXPECT_EQ(o.Points()[0], 30000);
    o.ScreenImage();
    EXPECT_EQ(s.LitRows(4).size(), 0u);
    EXPECT_EQ(s.LitRows(5), std::vector<int>{64});
    EXPECT_EQ(s.LitRows(168), std::vector<int>{64});
    EXPECT_EQ(s.LitRows(169).size(), 0u);
    EXPECT_EQ(s.Pixel(100, 64), kGray);
    // On the screen, inside the bevel.
    EXPECT_EQ(o.ScreenImage().pixelColor(o.PlotRect().left() + 100, o.PlotRect().top() + 64), clGray);

    // ResetDisplay clears the points.
    o.SetEnabled(true);
    o.ResetDisplay();
    EXPECT_EQ(o.Points()[0], 0);
    EXPECT_EQ(s.LitRows(50), std::vector<int>{64});
}

TEST(Oscope, ScrollStripFillsThenMoves)
{
    Scope s;
    TMMOscope& o = *s.o;
    o.SetScroll(true);
    o.SetAccelerate(false);
    o.ScreenImage();
    EXPECT_EQ(o.NeededBytes(), 256);
    std::vector<std::int16_t> block(128, 0);
    block[5] = -16384;
    block[70] = 16384;
    const int yMin = RowOf(-16384, 0, 128), yMax = RowOf(16384, 0, 128);
    // The column starts BarWidth to the left of the plot.
    EXPECT_EQ(o.ScrollColumn(), -5);
    for (int n = 1; n <= 6; ++n)
        s.Show(block);
    EXPECT_EQ(o.Points()[0], -16384);
    EXPECT_EQ(o.Points()[1], 16384);
    EXPECT_EQ(o.ScrollColumn(), 1);
    EXPECT_EQ(o.ScrollFilled(), 6);
    EXPECT_EQ(s.LitRows(0), (std::vector<int>{yMax, yMin}));
    // The cursor bar right of the newest column, marks at the division rows.
    for (int x = 1; x <= 5; ++x) {
        EXPECT_EQ(s.Pixel(x, 50), kGray) << x;
        EXPECT_EQ(s.Pixel(x, o.DivisionRow(2)), kWhite) << x;
    }
    EXPECT_EQ(s.Pixel(6, 50), 0);
    // The whole surface went to the screen.
    EXPECT_EQ(o.ScreenImage().pixelColor(o.PlotRect().left() + 3, o.PlotRect().top() + 50), clGray);

    // Fill the strip: 174 blocks in all; then it moves one pixel per block.
    for (int n = 7; n <= 174; ++n)
        s.Show(block);
    EXPECT_EQ(o.ScrollFilled(), 174);
    EXPECT_EQ(o.ScrollColumn(), 169);
    std::vector<std::int16_t> quiet(128, 100);
    s.Show(quiet);
    EXPECT_EQ(o.ScrollColumn(), 169);
    // Drawn at 169, then the strip moved left: the quiet column is at 168.
    EXPECT_EQ(s.LitRows(168), std::vector<int>{RowOf(100, 0, 128)});
    EXPECT_EQ(s.LitRows(167), (std::vector<int>{yMax, yMin}));
    // The bar's last columns stay at the right edge.
    EXPECT_EQ(s.Pixel(172, 50), kGray);

    // A full paint of another scroll scope restarts this strip.
    Scope other;
    other.o->SetScroll(true);
    other.o->ScreenImage();
    s.Show(block);
    EXPECT_EQ(o.ScrollColumn(), -4);
    EXPECT_EQ(o.ScrollFilled(), 1);
}

TEST(Oscope, AcceleratedScrollCopiesOneColumnAndScrollsTheScreen)
{
    Scope s;
    TMMOscope& o = *s.o;
    o.SetScroll(true);
    o.SetKind(okVertLines);
    o.ScreenImage();
    std::vector<std::int16_t> block(128, 0);
    block[3] = 16384;
    const QRect plot = o.PlotRect();
    auto screen = [&](int x, int y) { return o.ScreenImage().pixelColor(plot.left() + x, plot.top() + y); };
    for (int n = 1; n <= 10; ++n)
        s.Show(block);
    EXPECT_EQ(o.ScrollColumn(), 5);
    EXPECT_EQ(screen(4, 40), clAqua);  // the newest column
    EXPECT_EQ(screen(5, 40), clGray);  // the one-pixel bar right of it
    EXPECT_EQ(screen(5, o.DivisionRow(4)), clWhite);
    for (int n = 11; n <= 174; ++n)
        s.Show(block);
    EXPECT_EQ(o.ScrollColumn(), 169);
    // Full: a different column arrives and the screen moves left.
    std::vector<std::int16_t> low(128, 0);
    low[9] = -16384;
    s.Show(low);
    EXPECT_EQ(screen(168, 90), clAqua);
    EXPECT_EQ(screen(168, 40), clBlack);
    EXPECT_EQ(screen(167, 40), clAqua);
    EXPECT_EQ(screen(167, 90), clBlack);
}

TEST(Oscope, DrawLineHandlerAndDesignData)
{
    Scope s;
    TMMOscope& o = *s.o;
    QRect seen;
    const std::int16_t* data = nullptr;
    o.OnDrawLine = [&](QObject*, TMMDIBCanvas* dib, const QRect& rect, const std::int16_t* points) {
        seen = rect;
        data = points;
        dib->SelectColor(clLime);
        dib->PlotPixel(7, 7, dib->DrawValue() & 0xFF);
    };
    s.Show(s.Constant(500));
    EXPECT_EQ(seen, QRect(0, 0, 174, 128));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data[0], 500);
    EXPECT_EQ(s.Pixel(7, 7), kLime);
    EXPECT_EQ(o.ScreenImage().pixelColor(o.PlotRect().left() + 7, o.PlotRect().top() + 7), clLime);

    const int count = TMMOscope::OscopeCount();
    o.SetDesigning(true);
    EXPECT_EQ(TMMOscope::OscopeCount(), count - 1);
    EXPECT_EQ(o.Points()[0], 0);
    for (int i : {10, 40, 99}) {
        const double a = 1.0 - i * (1.0 / 174);
        EXPECT_NEAR(o.Points()[i], std::sin(2 * M_PI * i * 8 / 173) * a * 30719, 1.0) << i;
    }
    o.SetDesigning(false);
    EXPECT_EQ(TMMOscope::OscopeCount(), count);
    EXPECT_EQ(o.Points()[40], 0);
}

TEST(Oscope, ReadOutWhileTheButtonIsHeld)
{
    Scope s(mStereo);
    TMMOscope& o = *s.o;
    EXPECT_EQ(o.InfoText(173, 0), QString("15.8 ms 1.00 V"));  // 174 frames at 11025 Hz
    EXPECT_EQ(o.InfoText(0, 64), QString(" 0.1 ms 0.00 V"));
    EXPECT_EQ(o.InfoText(0, 65), QString(" 0.1 ms 0.00 V"));  // one less below the centre
    EXPECT_EQ(o.InfoText(0, 127), QString(" 0.1 ms -0.97 V"));
    s.Show(s.Constant(0, 0));
    const QImage before = o.ScreenImage().copy();
    const QPoint at = o.PlotRect().topLeft() + QPoint(20, 30);
    SendMouse(&o, QEvent::MouseButtonPress, at);
    ASSERT_TRUE(o.InfoShowing());
    // The box: white, framed, below the pointer.
    const QImage& with = o.ScreenImage();
    EXPECT_EQ(with.pixelColor(at + QPoint(3, 15 + 3)), QColor(Qt::white));
    EXPECT_EQ(with.pixelColor(at + QPoint(0, 15)), QColor(Qt::black));
    // Data waits while the read-out shows.
    s.Show(s.Constant(16000, 16000));
    EXPECT_EQ(o.Points()[0], 0);
    SendMouse(&o, QEvent::MouseMove, at + QPoint(30, 0));
    EXPECT_EQ(o.ScreenImage().pixelColor(at + QPoint(3, 18)), before.pixelColor(at + QPoint(3, 18)));
    SendMouse(&o, QEvent::MouseButtonRelease, at + QPoint(30, 0));
    EXPECT_FALSE(o.InfoShowing());
    EXPECT_EQ(o.ScreenImage(), before);
    s.Show(s.Constant(16000, 16000));
    EXPECT_EQ(o.Points()[0], 16000);

    // Not on a disabled scope, nor with ShowInfo off.
    o.SetShowInfo(false);
    SendMouse(&o, QEvent::MouseButtonPress, at);
    EXPECT_FALSE(o.InfoShowing());
    o.SetShowInfo(true);
    o.SetEnabled(false);
    SendMouse(&o, QEvent::MouseButtonPress, at);
    EXPECT_FALSE(o.InfoShowing());
}

TEST(Oscope, ScalesAroundThePlot)
{
    QWidget parent;
    parent.resize(300, 300);
    auto* o = new TMMOscope(&parent);
    o->setGeometry(0, 0, 176, 130);
    o->SetDrawAmpScale(true);
    o->SetDrawTimeScale(true);
    o->SetScaleLineColor(clYellow);
    parent.show();
    const QRect plot = o->PlotRect();
    EXPECT_EQ(plot, QRect(33, 1, 110, 88));
    EXPECT_EQ(o->PlotWidth(), 110);
    const QImage& screen = o->ScreenImage();
    for (int k = 0; k <= o->Divisions(); ++k) {
        const int y = std::max(plot.top() + o->DivisionRow(k), plot.top());
        EXPECT_EQ(screen.pixelColor(plot.left() - 4, y), clYellow) << k;   // left tick
        EXPECT_EQ(screen.pixelColor(plot.right() + 4, y), clYellow) << k;  // right tick
    }
    for (int k = 0; k <= o->TimeDivisions(); ++k) {
        const int x = plot.left() + k * (o->PlotWidth() - 1) / o->TimeDivisions();
        EXPECT_EQ(screen.pixelColor(x, plot.bottom() + 2), clYellow) << k;
    }
    // The plot itself is the surface's black.
    EXPECT_EQ(screen.pixelColor(plot.center()), clBlack);
}
