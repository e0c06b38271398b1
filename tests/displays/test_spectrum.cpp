// The spectrum analyser as a control: properties, the frame in its DIB read
// pixel by pixel, the peak tick in simulated time, texts, scales and the
// read-out, and feeding through a display connector.
#include "chain/connector.h"
#include "displays/spectrum.h"
#include "platform/errors.h"
#include "tests/support/test_support.h"
#include "timers/tickservice.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>

#include <cmath>
#include <cstdint>
#include <vector>

using namespace zol;

namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<std::int16_t> Sine16(int n, double hz, double amp, int rate = 11025)
{
    std::vector<std::int16_t> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        v[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(std::lround(amp * std::sin(2 * kPi * hz * i / rate)));
    return v;
}

void Show(TMMSpectrum& s, const std::vector<std::int16_t>& v)
{
    s.ShowPCMData(reinterpret_cast<const char*>(v.data()));
}

// The colour of a pixel of the plot's DIB.
QColor Px(TMMSpectrum& s, int x, int y)
{
    return s.DIBCanvas().Image().pixelColor(x, y);
}

// A borderless 128 x 64 analyser of 16-bit mono data, 64 bins of 128 points
// (two columns per bin), rectangular window, solid one-pixel spots, on a
// window (frames are drawn at once only onto a parent).
struct Plot {
    Plot() : s(*new TMMSpectrum(&window))
    {
        window.resize(200, 100);
        s.Bevel().SetBevelOuter(bvNone);
        s.resize(128, 64);
        s.SetBitLength(b16Bit);
        s.SetMode(mMono);
        s.SetFFTLength(128);
        s.SetWindow(fwRectangular);
        s.SetSpace(0);
        s.SetSpotSpace(0);
        s.SetDrawInactive(false);
        window.show();
    }
    // A tone centred on bin `bin` of 64.
    void Tone(int bin, double amp) { Show(s, Sine16(128, bin * 11025.0 / 128, amp)); }
    void Silence() { Show(s, std::vector<std::int16_t>(128, 0)); }
    // Index of the segment whose bins include `bin`.
    int SegmentOf(int bin) const
    {
        const TSpectrumKernel& k = s.Kernel();
        for (int i = 0; i < k.SegmentCount(); ++i) {
            const int col = k.Segment(i).start;
            const int fb = k.FirstBins()[col];
            const int eb = k.EndBins()[col];
            if (bin == fb || (bin > fb && bin < eb))
                return i;
        }
        return -1;
    }
    QWidget window;
    TMMSpectrum& s;
};

// Steps the simulated clock to just after the next 25 ms tick.
struct TickProbe {
    TickProbe()
    {
        handle = AddTickClient(kTickPeriodMs, 0, [this](TTickHandle, void*) { ++ticks; }, nullptr);
    }
    ~TickProbe() { RemoveTickClient(handle); }
    void Tick()
    {
        const int before = ticks;
        while (ticks == before)
            test::Sim().AdvanceMs(1);
    }
    TTickHandle handle;
    int ticks = 0;
};

}  // namespace

TEST(Spectrum, DefaultsLimitsAndFormat)
{
    TMMSpectrum s;
    EXPECT_EQ(s.width(), 194);
    EXPECT_EQ(s.height(), 89);
    EXPECT_EQ(s.cursor().shape(), Qt::CrossCursor);
    EXPECT_EQ(s.Color(), clBlack);
    EXPECT_EQ(s.Kind(), skBars);
    EXPECT_EQ(s.Window(), fwHamming);
    EXPECT_EQ(s.FFTLength(), 128);
    EXPECT_EQ(s.NeededBytes(), 128);
    EXPECT_EQ(s.Bar3Color(), clRed);
    EXPECT_EQ(s.Inactive3Color(), clMaroon);
    EXPECT_EQ(s.GridColor(), clGray);
    EXPECT_EQ(s.PlotRect(), QRect(1, 1, 192, 87));  // inside the bevel
    EXPECT_TRUE(s.TickClientRegistered());
    EXPECT_FALSE(s.TickClientPaused());

    s.SetFFTLength(1000);
    EXPECT_EQ(s.FFTLength(), 512);
    s.SetFFTLength(5);
    EXPECT_EQ(s.FFTLength(), 8);
    s.SetFFTLength(10000);
    EXPECT_EQ(s.FFTLength(), 4096);
    s.SetNumPeaks(6);
    EXPECT_EQ(s.NumPeaks(), 1);  // ignored
    s.SetNumPeaks(0);
    EXPECT_TRUE(s.TickClientPaused());
    s.SetNumPeaks(3);
    EXPECT_FALSE(s.TickClientPaused());
    s.SetPeakDelay(10);
    s.SetPeakDelay(51);
    EXPECT_EQ(s.PeakDelay(), 10);
    s.SetPoint1(0);
    EXPECT_EQ(s.Point1(), 50);
    // The window's slider reaches 5: the steepest step.
    s.SetGain(5);
    EXPECT_EQ(s.Gain(), sg12db);
    s.SetGain(6);
    EXPECT_EQ(s.Gain(), sg12db);
    s.SetGain(2);
    EXPECT_EQ(s.Gain(), sg6db);

    WAVEFORMATEX f{};
    MakePcmFormat(f, 16, 2, 22050);
    s.SetWaveFormat(&f);
    EXPECT_EQ(s.SampleRate(), 22050);
    EXPECT_EQ(s.BitLength(), b16Bit);
    EXPECT_EQ(s.Mode(), mStereo);
    EXPECT_EQ(s.NeededBytes(), 4 * 4096);
    f.wBitsPerSample = 12;
    try {
        s.SetWaveFormat(&f);
        FAIL() << "no error";
    } catch (const EMMSpectrumError& e) {
        EXPECT_EQ(e.Message(), "Invalid WaveFormat");
    }

    // The scales take their strips off the plot and set the least size.
    s.SetDrawAmpScale(true);
    s.SetDrawFreqScale(true);
    EXPECT_EQ(s.PlotRect(), QRect(33, 1, 128, 47));
    EXPECT_EQ(s.minimumSize(), QSize(71, 47));
    s.SetEnabled(false);
    EXPECT_TRUE(s.TickClientPaused());
}

TEST(Spectrum, LinearAxisFromBinZeroAndTwoColumnsPerBin)
{
    Plot p;
    const QColor bar1 = p.s.Bar1Color();
    p.Tone(10, 16000);
    // Bin 10 covers columns 20 and 21; its neighbours stay dark.
    EXPECT_EQ(Px(p.s, 20, 63), bar1);
    EXPECT_EQ(Px(p.s, 21, 63), bar1);
    EXPECT_EQ(Px(p.s, 19, 63), clBlack);
    EXPECT_EQ(Px(p.s, 22, 63), clBlack);
    // The first column shows bin 0 (DC), the last the top bin below Fs/2.
    Show(p.s, std::vector<std::int16_t>(128, 8000));
    EXPECT_EQ(Px(p.s, 0, 63), bar1);
    EXPECT_EQ(Px(p.s, 2, 63), clBlack);
    p.Tone(63, 16000);
    EXPECT_EQ(Px(p.s, 126, 63), bar1);
    EXPECT_EQ(Px(p.s, 127, 63), bar1);
    EXPECT_EQ(Px(p.s, 125, 63), clBlack);
    EXPECT_DOUBLE_EQ(p.s.Kernel().FrequencyAt(127), 11025 / 2.0);
}

TEST(Spectrum, VerticalScaleTwentyPutsTwentyPercentAtTheTop)
{
    Plot p;
    p.s.SetVerticalScale(20);
    int overflows = 0;
    p.s.OnGainOverflow = [&](QObject*) { ++overflows; };
    p.Tone(10, 0.2 * 32768 * 0.995);
    EXPECT_EQ(Px(p.s, 20, 0), p.s.Bar3Color());  // the top row, upper zone
    EXPECT_EQ(Px(p.s, 20, 63), p.s.Bar1Color());
    EXPECT_EQ(overflows, 0);
    // 10 % reaches half way.
    p.Tone(10, 0.1 * 32768);
    EXPECT_EQ(Px(p.s, 20, 32), p.s.Bar2Color());
    EXPECT_EQ(Px(p.s, 20, 29), clBlack);
    // Above the top: gain overflow.
    p.Tone(10, 0.25 * 32768);
    EXPECT_EQ(overflows, 1);
}

TEST(Spectrum, PeakDelayTenHoldsTwentyOneTicks)
{
    test::ResetSim();
    Plot p;
    p.s.SetKind(skLines);
    p.s.SetPeakDelay(10);
    TickProbe probe;
    probe.Tick();
    p.Tone(10, 16000);
    const int seg = p.SegmentOf(10);
    const int h = p.s.Kernel().Segment(seg).height;
    ASSERT_GT(h, 20);
    p.Silence();
    const int x = 21;  // the segment's centre
    const int y = 64 - h - 1;
    EXPECT_EQ(p.s.Kernel().PeakOf(seg), h);
    EXPECT_EQ(Px(p.s, x, y), p.s.Bar1Color());  // the peak line over a flat trace
    for (int t = 1; t <= 20; ++t) {
        probe.Tick();
        ASSERT_EQ(p.s.Kernel().PeakOf(seg), h) << t;
    }
    probe.Tick();  // the 21st tick, 525 ms after the frame
    EXPECT_EQ(p.s.Kernel().PeakOf(seg), 0);
    p.s.RenderFrame();
    EXPECT_EQ(Px(p.s, x, y), clBlack);
    EXPECT_EQ(Px(p.s, x, 63), p.s.Bar1Color());

    // No peaks at all: the tick is paused and nothing is held.
    p.s.SetNumPeaks(0);
    p.Tone(10, 16000);
    p.Silence();
    EXPECT_EQ(Px(p.s, x, y), clBlack);
}

TEST(Spectrum, StrongestBarOfFivePixelsOrLessPrintsNoFrequency)
{
    Plot p;
    p.s.SetDisplayPeak(true);
    // Heights of about amp * 64 / 32768.
    p.Tone(10, 5 * 512 + 100);
    ASSERT_LE(p.s.Kernel().StrongestHeight(), 5);
    EXPECT_TRUE(p.s.PeakText().isEmpty());
    p.Tone(10, 6 * 512 + 100);
    ASSERT_EQ(p.s.Kernel().StrongestHeight(), 6);
    EXPECT_EQ(p.s.PeakText(), QString::asprintf("%.1f Hz", 10.5 * 11025 / 128));
    // White text on the control, inside the plot, above the bar.
    const QImage shot = p.s.grab().toImage();
    const QRect r = p.s.PeakTextRect();
    ASSERT_FALSE(r.isEmpty());
    EXPECT_TRUE(p.s.PlotRect().contains(r));
    EXPECT_LE(r.bottom(), 64 - 6);
    int white = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            white += shot.pixelColor(x, y) == clWhite;
    EXPECT_GT(white, 10);
}

TEST(Spectrum, KindsDrawTheirShapes)
{
    Plot p;
    const QColor bar1 = p.s.Bar1Color();
    // A bar of about 40 pixels: zones end at 32 and 54 pixels (50 %, 85 %).
    const double amp = 40.5 * 512;

    p.s.SetKind(skDots);
    p.Tone(10, amp);
    const int h = p.s.Kernel().Segment(p.SegmentOf(10)).height;
    ASSERT_EQ(h, 40);
    EXPECT_EQ(Px(p.s, 20, 64 - h - 1), p.s.Bar2Color());
    EXPECT_EQ(Px(p.s, 21, 64 - h - 1), p.s.Bar2Color());
    EXPECT_EQ(Px(p.s, 20, 63 - h + 1), clBlack);
    EXPECT_EQ(Px(p.s, 5, 63), bar1);  // silent bars lie on the bottom row

    // Centred bars, outer part in the middle zone, inner part in the lowest.
    p.s.SetKind(skVLines);
    p.Tone(10, amp);
    const int top = 64 - (64 + h) / 2 - 1;
    const int bottom = (64 + h) / 2 + 1;
    EXPECT_EQ(Px(p.s, 20, top), p.s.Bar2Color());
    EXPECT_EQ(Px(p.s, 20, top - 1), clBlack);
    EXPECT_EQ(Px(p.s, 20, bottom - 1), p.s.Bar2Color());
    EXPECT_EQ(Px(p.s, 20, bottom), clBlack);
    EXPECT_EQ(Px(p.s, 20, 32), bar1);

    // Peaks: only the top spot of a bar.
    p.s.SetKind(skPeaks);
    p.s.SetNumPeaks(0);
    p.Tone(10, amp);
    const int lit = TSpectrumKernel::SpotsLit(h, 64, 64);
    EXPECT_EQ(Px(p.s, 20, 64 - lit), p.s.Bar2Color());
    EXPECT_EQ(Px(p.s, 20, 63), clBlack);

    // Bars over the unlit spots, in the inactive colours by zone.
    p.s.SetKind(skBars);
    p.s.SetDrawInactive(true);
    p.Tone(10, amp);
    EXPECT_EQ(Px(p.s, 20, 63), bar1);
    EXPECT_EQ(Px(p.s, 40, 63), p.s.Inactive1Color());
    EXPECT_EQ(Px(p.s, 40, 0), p.s.Inactive3Color());

    // Spots with gaps, two rows high, and a gap of one column between bars.
    p.s.SetSpotSpace(1);
    p.s.SetSpotHeight(2);
    p.s.SetSpace(1);
    p.Tone(10, amp);
    EXPECT_EQ(p.s.SpotCount(), 21);  // (64 + 1) / 3, centred one row up
    EXPECT_EQ(Px(p.s, 20, 63), clBlack);
    EXPECT_EQ(Px(p.s, 20, 62), bar1);
    EXPECT_EQ(Px(p.s, 20, 61), bar1);
    EXPECT_EQ(Px(p.s, 20, 60), clBlack);  // the gap shows the plot colour
    EXPECT_EQ(Px(p.s, 21, 62), clBlack);  // the bar's right column is the space

    // The scrolling trace: every new block moves the picture down two rows.
    p.s.SetKind(skScroll);
    p.s.SetSpace(0);
    p.Silence();
    const QColor lineColor = Px(p.s, 0, 64 / 3);
    EXPECT_EQ(lineColor, bar1);
    p.Silence();
    EXPECT_EQ(Px(p.s, 0, 64 / 3 + 2), bar1);
}

TEST(Spectrum, LinesAndGrid)
{
    Plot p;
    p.s.SetKind(skLines);
    p.s.SetNumPeaks(0);
    p.s.SetDrawGrid(true);
    p.Silence();
    // Six divisions on 64 rows (64 / 6 >= 10), dotted with a gap of one.
    const QColor grid = p.s.GridColor();
    for (int k = 0; k <= 6; ++k) {
        const int y = 64 - k * 64 * 32760 / (32768 * 6) - 1;
        if (y == 63)
            continue;  // the flat trace lies over the bottom grid line
        EXPECT_EQ(Px(p.s, 4, y), grid) << k;
        EXPECT_EQ(Px(p.s, 5, y), clBlack) << k;
    }
    // Eight vertical divisions on 128 columns.
    EXPECT_EQ(Px(p.s, 127 / 8, 10), grid);
    // The flat trace on the bottom row runs to the right edge.
    EXPECT_EQ(Px(p.s, 127, 63), p.s.Bar1Color());
    // A tone makes the line climb to the bar's row in its zone colour.
    p.Tone(10, 40.5 * 512);
    EXPECT_EQ(Px(p.s, 21, 64 - 40 - 1), p.s.Bar2Color());
    p.s.SetBar2Color(clLime);
    p.Tone(10, 60.5 * 512);
    EXPECT_EQ(Px(p.s, 21, 64 - 60 - 1), p.s.Bar3Color());
    EXPECT_EQ(Px(p.s, 20, 64 - 40 - 1), clLime);  // climbing through the middle zone
    // On a 24-bit surface the whole trace takes Bar1Color.
    p.s.SetBitsPerPixel(24);
    p.Tone(10, 60.5 * 512);
    EXPECT_EQ(p.s.DIBCanvas().BitsPerPixel(), 24);
    EXPECT_EQ(Px(p.s, 21, 64 - 60 - 1), p.s.Bar1Color());
    EXPECT_EQ(Px(p.s, 20, 64 - 40 - 1), p.s.Bar1Color());
}

TEST(Spectrum, EventsResetsAndDisabling)
{
    Plot p;
    int pcm = 0, need = 0, bars = 0, clears = 0;
    p.s.OnPcmOverflow = [&](QObject*) { ++pcm; };
    std::vector<std::int16_t> loud(128, 0);
    loud[5] = 32767;
    Show(p.s, loud);
    EXPECT_EQ(pcm, 1);

    p.s.OnNeedData = [&](QObject*) { ++need; };
    p.Tone(10, 16000);
    p.s.ResetDisplay();
    EXPECT_EQ(need, 1);
    EXPECT_EQ(Px(p.s, 20, 63), clBlack);

    // Custom bars: one call per segment with the lit height and the peak.
    p.s.OnDrawBar = [&](QObject*, TMMDIBCanvas*, const QRect& r, int lit, int peak) {
        ++bars;
        EXPECT_EQ(r.height(), 64);
        EXPECT_GE(peak, lit);
    };
    p.s.OnClearBackground = [&](QObject*, TMMDIBCanvas*, const QRect& r) {
        ++clears;
        EXPECT_EQ(r, QRect(0, 0, 128, 64));
    };
    p.Tone(10, 16000);
    EXPECT_EQ(bars, 64);
    EXPECT_EQ(clears, 1);
    p.s.OnDrawBar = nullptr;
    p.s.OnClearBackground = nullptr;

    // Disabled: data are ignored, the flat trace is drawn in Inactive1Color.
    p.s.SetKind(skLines);
    p.s.SetEnabled(false);
    EXPECT_TRUE(p.s.TickClientPaused());
    p.Tone(10, 16000);
    EXPECT_EQ(Px(p.s, 21, 63), p.s.Inactive1Color());
    EXPECT_EQ(p.s.Kernel().StrongestHeight(), 0);
    p.s.SetEnabled(true);
    EXPECT_FALSE(p.s.TickClientPaused());
    p.Tone(10, 16000);
    EXPECT_GT(p.s.Kernel().StrongestHeight(), 20);
}

TEST(Spectrum, ReadOutWhileTheButtonIsHeld)
{
    Plot p;
    p.s.SetSampleRate(8000);
    EXPECT_EQ(p.s.InfoText(QPoint(0, 63)), "0.000 KHz 0.00 V");
    EXPECT_EQ(p.s.InfoText(QPoint(127, 0)), "4.000 KHz 1.00 V");
    p.s.SetVerticalScale(5);
    EXPECT_EQ(p.s.InfoText(QPoint(127, 0)), "4.000 KHz 0.050 V");
    p.s.SetLogAmp(true);
    EXPECT_EQ(p.s.InfoText(QPoint(0, 0)), "0.000 KHz 0.0 dB");
    EXPECT_EQ(p.s.InfoText(QPoint(0, 63)), "0.000 KHz -60.0 dB");
    p.s.SetKind(skScroll);
    EXPECT_EQ(p.s.InfoText(QPoint(0, 63)), "0.000 KHz");
    p.s.SetKind(skBars);
    p.s.SetLogAmp(false);
    p.s.SetVerticalScale(100);

    QMouseEvent press(QEvent::MouseButtonPress, QPointF(40, 30), QPointF(40, 30), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&p.s, &press);
    EXPECT_TRUE(p.s.InfoShowing());
    // While it shows, blocks are not shown and peaks do not fall.
    p.Tone(10, 16000);
    EXPECT_EQ(Px(p.s, 20, 63), clBlack);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(40, 30), QPointF(40, 30), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&p.s, &release);
    EXPECT_FALSE(p.s.InfoShowing());
    p.Tone(10, 16000);
    EXPECT_EQ(Px(p.s, 20, 63), p.s.Bar1Color());
}

TEST(Spectrum, ScalesAroundThePlot)
{
    QWidget parent;
    parent.resize(300, 200);
    auto* s = new TMMSpectrum(&parent);
    s->Bevel().SetBevelOuter(bvNone);
    s->setGeometry(0, 0, 192, 150);
    s->SetScaleLineColor(clWhite);
    s->SetScaleTextColor(clYellow);
    s->SetDrawAmpScale(true);
    s->SetDrawFreqScale(true);
    parent.show();
    const QRect plot = s->PlotRect();
    ASSERT_EQ(plot, QRect(32, 0, 128, 110));
    const QImage shot = s->grab().toImage();
    // Lines left and right of the plot with a tick at the bottom division.
    EXPECT_EQ(shot.pixelColor(30, 50), clWhite);
    EXPECT_EQ(shot.pixelColor(161, 50), clWhite);
    EXPECT_EQ(shot.pixelColor(28, 109), clWhite);
    // Frequency ticks below the plot at every eighth of its width.
    EXPECT_EQ(shot.pixelColor(32, 111), clWhite);
    EXPECT_EQ(shot.pixelColor(32 + 127 * 4 / 8, 112), clWhite);
    EXPECT_EQ(shot.pixelColor(32 + 127, 112), clWhite);
    // Labels in the strips (the text is smoothed: count yellowish pixels).
    auto yellowish = [&](const QRect& r) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                n += c.red() > 150 && c.green() > 150 && c.blue() < 100;
            }
        return n;
    };
    EXPECT_GT(yellowish(QRect(0, 0, 28, 110)), 30);
    EXPECT_GT(yellowish(QRect(164, 0, 28, 110)), 30);
    EXPECT_GT(yellowish(QRect(32, 114, 128, 36)), 30);
    shot.save(QStringLiteral("/tmp/spectrum_scales.png"));
}

TEST(Spectrum, FedThroughAConnector)
{
    test::ResetSim();
    auto& sim = test::Sim();
    WAVEFORMATEX f{};
    MakePcmFormat(f, 16, 2, 11025);
    class Source : public TMMCustomSoundComponent {
    public:
        bool HasLinkProperty(const QString& name) const override { return name == "Output"; }
    } src;
    TMMConnector con;
    con.SetEnterIdle(false);
    src.SetBufferSize(4096);
    src.SetOutput(&con);
    src.SetWaveFormat(&f);
    QWidget window;
    auto* s = new TMMSpectrum(&window);
    s->SetFFTLength(1024);
    window.show();
    con.SetSpectrum1(s);
    EXPECT_EQ(s->BitLength(), b16Bit);
    EXPECT_EQ(s->Mode(), mStereo);
    EXPECT_EQ(s->NeededBytes(), 4096);  // one block per buffer
    src.NotifyOpen();
    src.NotifyStart();
    sim.AdvanceMs(1);

    std::vector<char> block(kWaveHdrArea + 4096, 0);
    auto* hdr = reinterpret_cast<WAVEHDR*>(block.data());
    hdr->lpData = block.data() + kWaveHdrArea;
    hdr->dwBufferLength = hdr->dwBytesRecorded = 4096;
    auto* samples = reinterpret_cast<std::int16_t*>(hdr->lpData);
    for (int i = 0; i < 1024; ++i)
        samples[2 * i] = samples[2 * i + 1] = static_cast<std::int16_t>(std::lround(8000 * std::sin(2 * kPi * 1000 * i / 11025.0)));
    con.BufferReady(hdr);
    sim.AdvanceMs(5);
    EXPECT_EQ(con.SliceCount(TMMConnector::gSpectra), 1);
    // 1000 Hz on 0 .. 5512.5 Hz over 192 columns.
    EXPECT_NEAR(s->Kernel().StrongestColumn(), 1000 / 5512.5 * 192, 2);
    src.NotifyStop();
    src.NotifyClose();
    delete s;
    EXPECT_EQ(con.Spectrum1(), nullptr);
}
