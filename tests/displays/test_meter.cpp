#include "displays/meter.h"
#include "platform/errors.h"
#include "tests/support/paint_counter.h"
#include "tests/support/test_support.h"
#include "timers/tickservice.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QPaintEvent>

#include <cmath>
#include <vector>

using namespace zol;

namespace {

// 16-bit mono block of `n` samples, all of magnitude `amp`.
std::vector<std::int16_t> Block16(int n, int amp)
{
    std::vector<std::int16_t> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        v[i] = static_cast<std::int16_t>(i % 2 ? -amp : amp);
    return v;
}

void Show(TMMMeter& m, const std::vector<std::int16_t>& v)
{
    m.ShowPCMData(reinterpret_cast<const char*>(v.data()));
}

// A meter fed 16-bit mono blocks of 10 samples.
struct MonoMeter {
    MonoMeter()
    {
        m.SetBitLength(b16Bit);
        m.SetMode(mMono);
        m.SetSamples(10);
        m.show();
    }
    void Feed(int amp) { Show(m, Block16(10, amp)); }
    TMMMeter m;
};

bool NearColor(const QImage& img, QPoint at, const QColor& c, int radius = 1)
{
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx) {
            const QPoint p = at + QPoint(dx, dy);
            if (img.rect().contains(p) && img.pixelColor(p) == c)
                return true;
        }
    return false;
}

}  // namespace

TEST(Meter, DefaultsAndNeededBytes)
{
    TMMMeter m;
    EXPECT_EQ(m.width(), 170);
    EXPECT_EQ(m.height(), 90);
    EXPECT_EQ(m.Caption(), QString("dB"));
    EXPECT_EQ(m.Color(), clBlack);
    EXPECT_EQ(m.FontColor(), clSilver);
    EXPECT_TRUE(m.font().bold());
    EXPECT_EQ(m.Sensitivy(), -50);
    EXPECT_EQ(m.BitLength(), b8Bit);
    EXPECT_EQ(m.NeededBytes(), 50);
    m.SetSamples(100);
    m.SetBitLength(b16Bit);
    m.SetMode(mStereo);
    EXPECT_EQ(m.NeededBytes(), 400);
    m.SetSamples(0);
    EXPECT_EQ(m.Samples(), 1);
    EXPECT_EQ(m.NeededBytes(), 4);

    // Range limits: clamped, except Gain which ignores bad values.
    m.SetSensitivy(-100);
    EXPECT_EQ(m.Sensitivy(), -90);
    m.SetSensitivy(0);
    EXPECT_EQ(m.Sensitivy(), -9);
    m.SetScaleAngle(10);
    EXPECT_EQ(m.ScaleAngle(), 45);
    m.SetScaleAngle(200);
    EXPECT_EQ(m.ScaleAngle(), 180);
    m.SetPoint1(0);
    EXPECT_EQ(m.Point1(), 1);
    m.SetDecay(17);
    EXPECT_EQ(m.Decay(), 16);
    m.SetPeakDelay(60);
    EXPECT_EQ(m.PeakDelay(), 50);
    m.SetGain(12);
    m.SetGain(33);
    EXPECT_EQ(m.Gain(), 12);
    m.SetGain(-9);
    EXPECT_EQ(m.Gain(), 12);

    // The chain's format sets width and channels.
    WAVEFORMATEX f{};
    MakePcmFormat(f, 8, 1, 11025);
    m.SetWaveFormat(&f);
    EXPECT_EQ(m.BitLength(), b8Bit);
    EXPECT_EQ(m.Mode(), mMono);
    EXPECT_EQ(m.NeededBytes(), 1);
    f.wFormatTag = 3;
    try {
        m.SetWaveFormat(&f);
        FAIL();
    } catch (const EMMMeterError& e) {
        EXPECT_EQ(e.Message(), QString("Invalid WaveFormat"));
    }
    EXPECT_THROW(m.SetWaveFormat(nullptr), EMMMeterError);
}

TEST(Meter, RawLevelOfChannels)
{
    TMMMeter m;
    m.show();
    m.SetBitLength(b16Bit);
    m.SetMode(mStereo);
    m.SetSamples(2);
    int pcmOverflows = 0;
    m.OnPcmOverflow = [&](QObject* s) {
        EXPECT_EQ(s, &m);
        ++pcmOverflows;
    };
    const std::int16_t frames[4] = {1000, -3000, -32768, -32768};
    m.ShowPCMData(reinterpret_cast<const char*>(frames));
    EXPECT_EQ(m.RawLevel(), 32768);
    EXPECT_EQ(pcmOverflows, 1);

    // chBoth averages with truncation toward zero: (1000 - 3001) div 2 = -1000.
    const std::int16_t mean[4] = {1000, -3001, 10, 10};
    m.ShowPCMData(reinterpret_cast<const char*>(mean));
    EXPECT_EQ(m.RawLevel(), 1000);
    EXPECT_EQ(pcmOverflows, 1);
    m.SetChannel(chLeft);
    m.ShowPCMData(reinterpret_cast<const char*>(mean));
    EXPECT_EQ(m.RawLevel(), 1000);
    m.SetChannel(chRight);
    m.ShowPCMData(reinterpret_cast<const char*>(mean));
    EXPECT_EQ(m.RawLevel(), 3001);
    // A DC offset of x subtracts x from the samples of its channel.
    m.SetDCOffset(1, -1);
    m.ShowPCMData(reinterpret_cast<const char*>(mean));
    EXPECT_EQ(m.RawLevel(), 3000);
    m.SetDCOffset(1, 0);

    // 8-bit: ((b + o) - 128) * 256; chBoth averages the bytes first.
    m.SetBitLength(b8Bit);
    m.SetChannel(chBoth);
    const std::uint8_t bytes[4] = {128, 130, 0, 255};
    m.ShowPCMData(reinterpret_cast<const char*>(bytes));
    EXPECT_EQ(m.RawLevel(), 256);  // (128+130) div 2 = 129; (0+255) div 2 = 127
    m.SetChannel(chRight);
    m.ShowPCMData(reinterpret_cast<const char*>(bytes));
    EXPECT_EQ(m.RawLevel(), 127 * 256);
    m.SetChannel(chLeft);
    m.ShowPCMData(reinterpret_cast<const char*>(bytes));
    EXPECT_EQ(m.RawLevel(), 32768);
    EXPECT_EQ(pcmOverflows, 2);
    m.SetMode(mMono);
    m.SetDCOffset(0, 2);
    const std::uint8_t mono[2] = {130, 131};
    m.ShowPCMData(reinterpret_cast<const char*>(mono));
    EXPECT_EQ(m.RawLevel(), 256);

    // A hidden meter ignores blocks and keeps its last level; so does a
    // disabled one, which is cleared when the state changes.
    m.hide();
    const std::uint8_t loud[2] = {255, 255};
    m.ShowPCMData(reinterpret_cast<const char*>(loud));
    EXPECT_EQ(m.RawLevel(), 256);
    m.show();
    m.SetEnabled(false);
    EXPECT_EQ(m.RawLevel(), 0);
    m.ShowPCMData(reinterpret_cast<const char*>(loud));
    EXPECT_EQ(m.RawLevel(), 0);
    m.SetEnabled(true);
    m.ShowPCMData(reinterpret_cast<const char*>(loud));
    EXPECT_GT(m.RawLevel(), 0);
}

TEST(Meter, LogarithmicAndLinearMapping)
{
    MonoMeter mm;
    TMMMeter& m = mm.m;
    m.SetSensitivy(-70);
    int overflows = 0;
    m.OnGainOverflow = [&](QObject*) { ++overflows; };
    mm.Feed(32767);
    EXPECT_EQ(m.NeedleValue(), 32767);
    EXPECT_EQ(overflows, 1);
    EXPECT_EQ(m.Value(), 100);
    // -35 dB: about half the scale.
    mm.Feed(static_cast<int>(std::lround(32767 * std::pow(10.0, -35.0 / 20))));
    EXPECT_NEAR(m.NeedleValue(), 16384, 20);
    EXPECT_EQ(overflows, 1);
    // -80 dB: below the left end.
    mm.Feed(3);
    EXPECT_EQ(m.NeedleValue(), 0);
    EXPECT_EQ(m.Value(), 0);

    // Exact values: -20 dB with Sensitivy -70 -> (50 * 32767 / 70).
    mm.Feed(3277);
    const double db = 20 * std::log10(3277.0 / 32767);
    EXPECT_EQ(m.NeedleValue(), std::lrint((db + 70) * 32767 / 70));
    EXPECT_EQ(m.Value(), 10);  // 10 % of full amplitude

    // Gain (Gain + 8) / 8: Gain 8 doubles the level (+6 dB).
    m.SetGain(8);
    mm.Feed(3277);
    const double db2 = 20 * std::log10(6554.0 / 32767);
    EXPECT_EQ(m.NeedleValue(), std::lrint((db2 + 70) * 32767 / 70));
    EXPECT_EQ(m.Value(), 10);  // Value undoes the gain
    m.SetGain(-8);
    mm.Feed(30000);
    EXPECT_EQ(m.NeedleValue(), 0);
    m.SetGain(0);

    // Amplitude-linear: floor = 32767 / 10^(70/20) = 10.36.
    m.SetLogAmp(false);
    mm.Feed(16000);
    const double fl = 32767 / std::pow(10.0, 3.5);
    EXPECT_EQ(m.NeedleValue(), std::lrint((16000 - fl) * 32767 / (32767 - fl)));
    EXPECT_EQ(m.Value(), std::lrint(m.NeedleValue() * 100.0 / 32767));
    mm.Feed(5);
    EXPECT_EQ(m.NeedleValue(), 0);

    // Value written goes through the same path.
    m.SetValue(50);
    EXPECT_EQ(m.RawLevel(), 16384);
    EXPECT_EQ(m.Value(), 50);
    m.SetValue(150);
    EXPECT_EQ(m.RawLevel(), 32767);
    m.SetLogAmp(true);
    m.SetValue(25);
    EXPECT_EQ(m.Value(), 25);
    m.SetValue(-3);
    EXPECT_EQ(m.RawLevel(), 0);
    EXPECT_EQ(m.NeedleValue(), 0);
}

TEST(Meter, DecayModes)
{
    // The needle of a level r without smoothing, for comparison.
    MonoMeter ref;
    ref.m.SetSensitivy(-70);
    ref.m.SetShowPeak(false);
    auto needleOf = [&](int r) {
        ref.m.ResetDisplay();
        ref.m.LevelStep(r);
        return ref.m.NeedleValue();
    };

    MonoMeter mm;
    TMMMeter& m = mm.m;
    m.SetSensitivy(-70);
    m.SetShowPeak(false);
    m.SetDecayMode(dmUniform);
    m.SetDecay(10);  // a window of 18 blocks
    long sum = 0;
    for (int k = 1; k <= 25; ++k) {
        mm.Feed(1000 * k);
        sum += 1000 * k;
        if (k > 18)
            sum -= 1000 * (k - 18);
        const int n = std::min(k, 18);
        EXPECT_EQ(m.NeedleValue(), needleOf(static_cast<int>(sum / n))) << k;
        EXPECT_EQ(m.RawLevel(), 1000 * k);
    }
    // Decay 1: a window of one block, no smoothing.
    m.SetDecay(1);
    mm.Feed(5000);
    EXPECT_EQ(m.NeedleValue(), needleOf(5000));
    mm.Feed(200);
    EXPECT_EQ(m.NeedleValue(), needleOf(200));

    // Step-up: rises at once, falls by the factor (Decay 1: 0.01 per block).
    m.SetDecayMode(dmStepUp);
    m.SetDecay(2);  // factor 0.1
    mm.Feed(20000);
    EXPECT_EQ(m.NeedleValue(), needleOf(20000));
    mm.Feed(100);
    EXPECT_EQ(m.NeedleValue(), needleOf(2000));
    mm.Feed(100);
    EXPECT_EQ(m.NeedleValue(), needleOf(200));
    mm.Feed(100);
    EXPECT_EQ(m.NeedleValue(), needleOf(100));

    // Exponential: level = level * f + (1 - f) * r.
    m.SetDecayMode(dmExponential);
    mm.Feed(10000);
    EXPECT_EQ(m.NeedleValue(), needleOf(9000));  // 0.9 * 10000
    mm.Feed(10000);
    EXPECT_EQ(m.NeedleValue(), needleOf(9900));  // 0.1 * 9000 + 9000
    mm.Feed(0);
    EXPECT_EQ(m.NeedleValue(), needleOf(990));
}

TEST(Meter, PeakHoldsThenFalls)
{
    ASSERT_EQ(TickClientCount(), 0);
    MonoMeter mm;
    TMMMeter& m = mm.m;
    ASSERT_TRUE(m.TickClientRegistered());
    ASSERT_EQ(TickClientCount(), 1);
    m.SetSensitivy(-70);
    m.SetPeakDelay(10);
    m.SetPeakSpeed(1);
    auto& sim = test::Sim();
    sim.AdvanceMs(kTickPeriodMs);  // now on a tick
    mm.Feed(32767);
    mm.Feed(330);  // -40 dB
    const int needle = m.NeedleValue();
    EXPECT_EQ(m.PeakValue(), 32767);
    EXPECT_EQ(m.PeakHold(), 21);
    sim.AdvanceMs(500);
    EXPECT_EQ(m.PeakValue(), 32767);
    sim.AdvanceMs(25);  // 525 ms
    EXPECT_EQ(m.PeakValue(), 32267);
    int expected = 32267;
    while (expected - 500 > needle) {
        sim.AdvanceMs(25);
        expected -= 500;
        ASSERT_EQ(m.PeakValue(), expected);
    }
    sim.AdvanceMs(25);
    EXPECT_EQ(m.PeakValue(), needle);
    // The peak then follows the needle.
    mm.Feed(100);
    const int from = m.PeakValue();
    sim.AdvanceMs(25);
    EXPECT_EQ(m.PeakValue(), std::max(from - 500, m.NeedleValue()));
    sim.AdvanceMs(25 * ((from - m.NeedleValue()) / 500 + 1));
    EXPECT_EQ(m.PeakValue(), m.NeedleValue());

    // PeakSpeed 0 jumps back at once after the hold.
    m.SetPeakSpeed(0);
    mm.Feed(20000);
    mm.Feed(1000);
    sim.AdvanceMs(25 * 21);
    EXPECT_EQ(m.PeakValue(), m.NeedleValue());
    mm.Feed(300);
    sim.AdvanceMs(25);
    EXPECT_EQ(m.PeakValue(), m.NeedleValue());

    // Without ShowPeak or while disabled the tick client is paused.
    m.SetShowPeak(false);
    EXPECT_TRUE(m.TickClientPaused());
    mm.Feed(30000);
    EXPECT_EQ(m.PeakValue(), 0);
    m.SetShowPeak(true);
    EXPECT_FALSE(m.TickClientPaused());
    m.SetEnabled(false);
    EXPECT_TRUE(m.TickClientPaused());
    m.SetShowPeak(false);
    m.SetShowPeak(true);
    EXPECT_TRUE(m.TickClientPaused());
    m.SetEnabled(true);
    EXPECT_FALSE(m.TickClientPaused());
}

TEST(Meter, TickClientRemovedWithTheMeter)
{
    const int before = TickClientCount();
    {
        TMMMeter a, b;
        EXPECT_EQ(TickClientCount(), before + 2);
    }
    EXPECT_EQ(TickClientCount(), before);
}

TEST(Meter, DrawsScaleNeedlesAndCaption)
{
    TMMMeter m;
    m.resize(170, 90);
    m.SetColor(clNavy);
    m.SetSensitivy(-70);
    m.SetBitLength(b16Bit);
    m.SetMode(mMono);
    m.SetSamples(4);
    m.show();
    int postPaints = 0;
    m.OnPostPaint = [&](QObject*) { ++postPaints; };
    const std::int16_t loud[4] = {32767, 0, 0, 0};
    const std::int16_t mid[4] = {583, 0, 0, 0};  // -35 dB
    m.ShowPCMData(reinterpret_cast<const char*>(loud));
    m.ShowPCMData(reinterpret_cast<const char*>(mid));
    EXPECT_EQ(postPaints, 2);
    const QImage img = m.Picture();
    const int e = m.BevelExtent();
    EXPECT_EQ(img.size(), QSize(170 - 2 * e, 90 - 2 * e));
    const int h = img.height();
    const double needleR = h + m.NeedleOffset() - m.TopSpace();
    const int outer = h + m.NeedleOffset() - m.TopSpace() - 2;
    const int inner = outer - m.ScaleHeight2();

    // Background in the corner.
    EXPECT_EQ(img.pixelColor(1, h - 1), clNavy);
    // Needle at mid scale, peak at the right end.
    const int v = m.NeedleValue();
    EXPECT_NEAR(v, 16384, 20);
    EXPECT_TRUE(NearColor(img, m.NeedlePoint(v, needleR * 0.5), clWhite, 0));
    EXPECT_TRUE(NearColor(img, m.NeedlePoint(32767, needleR * 0.6), clRed, 0));
    // The left end's tick is long and green; the last one red; at 70 % yellow.
    EXPECT_TRUE(NearColor(img, m.NeedlePoint(0, outer - 1), clGreen));
    EXPECT_TRUE(NearColor(img, m.NeedlePoint(0, inner + 1), clGreen));
    EXPECT_TRUE(NearColor(img, m.NeedlePoint(32767, outer - 1), clRed, 0) ||
                NearColor(img, m.NeedlePoint(32767, outer - 1), clRed));
    // 41 ticks: tick 29 is at 72.5 % (yellow zone), short, grown from the
    // inner radius outward; tick 28 is long.
    const int t29 = 29 * 32767 / 40;
    const int t28 = 28 * 32767 / 40;
    EXPECT_TRUE(NearColor(img, m.NeedlePoint(t29, inner + 1), clYellow));
    EXPECT_FALSE(NearColor(img, m.NeedlePoint(t29, outer - 1), clYellow));
    EXPECT_TRUE(NearColor(img, m.NeedlePoint(t28, outer - 1), clYellow));
    // With soOuter the short ticks hang from the outer radius.
    m.SetScaleOrigin(soOuter);
    EXPECT_TRUE(NearColor(m.Picture(), m.NeedlePoint(t29, outer - 1), clYellow));
    EXPECT_FALSE(NearColor(m.Picture(), m.NeedlePoint(t29, inner + 1), clYellow));
    // Caption: silver pixels in the lower middle.
    bool caption = false;
    for (int y = h / 2; y < h && !caption; ++y)
        for (int x = img.width() / 2 - 12; x < img.width() / 2 + 12; ++x)
            caption = caption || img.pixelColor(x, y) == clSilver;
    EXPECT_TRUE(caption);

    // The widget shows the same picture inside its bevel.
    const QImage shot = m.grab().toImage();
    const QPoint p = m.NeedlePoint(v, needleR * 0.5);
    EXPECT_EQ(shot.pixelColor(p + QPoint(e, e)), clWhite);

    // Reset clears levels and needles.
    m.ResetDisplay();
    EXPECT_EQ(m.RawLevel(), 0);
    EXPECT_EQ(m.NeedleValue(), 0);
    EXPECT_EQ(m.PeakValue(), 0);
    EXPECT_NE(m.Picture().pixelColor(p), clWhite);

    // Silence on a resting needle draws nothing.
    const int painted = postPaints;
    const std::int16_t quiet[4] = {0, 0, 0, 0};
    m.ShowPCMData(reinterpret_cast<const char*>(quiet));
    EXPECT_EQ(postPaints, painted);

    // Without DrawScale the tick area keeps the background.
    m.SetDrawScale(false);
    const int t4 = 4 * 32767 / 40;
    EXPECT_TRUE(NearColor(img, m.NeedlePoint(t4, outer - 1), clGreen));
    m.SetDrawScale(true);
    EXPECT_TRUE(NearColor(m.Picture(), m.NeedlePoint(t4, outer - 1), clGreen));
    m.SetDrawScale(false);
    EXPECT_FALSE(NearColor(m.Picture(), m.NeedlePoint(t4, outer - 1), clGreen));

    // A size change resizes the picture and resets the levels.
    m.ShowPCMData(reinterpret_cast<const char*>(loud));
    m.resize(149, 99);
    QCoreApplication::processEvents();
    EXPECT_EQ(m.Picture().size(), QSize(149 - 2 * e, 99 - 2 * e));
    EXPECT_EQ(m.NeedleValue(), 0);
}

TEST(Meter, AMeterNoOneSeesMeasuresButDrawsWhenAsked)
{
    QWidget window;
    window.resize(200, 120);
    auto* m = new TMMMeter(&window);
    m->setGeometry(10, 10, 170, 90);
    m->SetSensitivy(-70);
    m->SetBitLength(b16Bit);
    m->SetMode(mMono);
    m->SetSamples(4);
    int postPaints = 0;
    m->OnPostPaint = [&](QObject*) { ++postPaints; };
    // The window is not shown: the levels follow the data, nothing is drawn.
    const std::int16_t mid[4] = {583, 0, 0, 0};  // -35 dB
    m->ShowPCMData(reinterpret_cast<const char*>(mid));
    EXPECT_EQ(m->RawLevel(), 583);
    const int v = m->NeedleValue();
    EXPECT_NEAR(v, 16384, 20);
    EXPECT_EQ(postPaints, 0);
    // Asked for, the picture shows the needle where the data put it.
    const QImage img = m->Picture();
    EXPECT_EQ(postPaints, 1);
    const double needleR = img.height() + m->NeedleOffset() - m->TopSpace();
    EXPECT_TRUE(NearColor(img, m->NeedlePoint(v, needleR * 0.5), clWhite, 0));
    // Shown, it draws at once again.
    window.show();
    const std::int16_t loud[4] = {32767, 0, 0, 0};
    m->ShowPCMData(reinterpret_cast<const char*>(loud));
    EXPECT_EQ(postPaints, 2);
    EXPECT_TRUE(NearColor(m->Picture(), m->NeedlePoint(m->NeedleValue(), needleR * 0.5), clWhite, 0));
}

TEST(Meter, AnUnchangedLevelRepaintsNothingAndAChangeOnlyTheNeedlesPlace)
{
    test::PaintCounter counter;
    TMMMeter m;
    m.resize(170, 90);
    m.SetSensitivy(-70);
    m.SetBitLength(b16Bit);
    m.SetMode(mMono);
    m.SetSamples(4);
    m.SetShowPeak(false);
    m.SetDecayMode(dmNone);
    m.show();
    QCoreApplication::processEvents();
    m.installEventFilter(&counter);
    const std::int16_t mid[4] = {583, 0, 0, 0};     // -35 dB: the needle upright
    const std::int16_t loud[4] = {8000, 0, 0, 0};
    for (int i = 0; i < 20; ++i)  // the smoothing settles
        m.ShowPCMData(reinterpret_cast<const char*>(mid));
    const int settled = counter.paints;
    m.ShowPCMData(reinterpret_cast<const char*>(mid));
    m.ShowPCMData(reinterpret_cast<const char*>(mid));
    EXPECT_EQ(counter.paints, settled);
    m.ShowPCMData(reinterpret_cast<const char*>(loud));
    EXPECT_EQ(counter.paints, settled + 1);
    // The repainted part is the old and the new needle's place, not the
    // whole dial: an upright needle and one to the right of it.
    const QRect painted = counter.last.boundingRect();
    const QRect inner = m.InnerRect();
    EXPECT_TRUE(inner.contains(painted));
    EXPECT_LT(painted.width(), inner.width() * 3 / 4);
    EXPECT_GT(painted.left(), inner.left() + inner.width() / 3);
    // What it drew is the picture a full rendering gives.
    const QImage drawn = m.Picture().copy();
    m.SetNeedleColor(clLime);
    m.SetNeedleColor(clWhite);
    EXPECT_EQ(m.Picture(), drawn);
    m.removeEventFilter(&counter);
}
