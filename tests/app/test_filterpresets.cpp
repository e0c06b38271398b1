// The main window's two filter sets: their stored layout, what they load
// into an equalizer, and the bins they pass.
#include "app/filterpresets.h"
#include "chain/equalizer.h"
#include "chain/fftfilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace zol {
namespace {

void Open(TMMEqualizer& eq)
{
    WAVEFORMATEX f{};
    MakePcmFormat(f, 16, 2, 11025);
    eq.SetWaveFormat(&f);
    eq.NotifyOpen();
    eq.NotifyStart();
}

std::vector<float> Response(const TMMEqualizer& eq)
{
    std::vector<float> r(FilterEngineFFTLength(eq.Engine()) / 2 + 1);
    GetFilterResponse(eq.Engine(), r.data());
    return r;
}

float Linear(float db)
{
    return static_cast<float>(std::pow(10.0L, (db + 6.0L) / 20.0L));
}

TEST(Equalizer, MainWindowFilterSetsLoadAndGiveTheirBins)
{
    // The stream layout, field by field.
    const QByteArray s1 = EqualizerStream550To750();
    ASSERT_EQ(s1.size(), 4 + 1 + 4 + 8 + 4 + 2 + 3 * (1 + 11 + 13));
    EXPECT_EQ(s1.left(17), QByteArray("EQU\0\1\x08\0\0\0Untitled", 17));
    EXPECT_EQ(s1.mid(17, 6), QByteArray("\0\1\0\0\3\0", 6));
    EXPECT_EQ(s1.mid(23, 13), QByteArray("\x0bTMMEQFilter\1", 13));

    TMMEqualizer eq1, eq2;
    eq1.SetFFTLength(1024);
    eq1.SetDescription(QStringLiteral("old"));
    eq1.LoadFilterStream(s1);
    eq2.LoadFilterStream(EqualizerStream700To900());
    EXPECT_EQ(eq1.Description(), QStringLiteral("Untitled"));
    EXPECT_EQ(eq1.FFTLength(), 256);
    ASSERT_EQ(eq1.Filters()->Count(), 3);
    ASSERT_EQ(eq2.Filters()->Count(), 3);
    const float want1[3][3] = {{0, 500, -99}, {550, 750, 0}, {800, 22050, -99}};
    const float want2[3][3] = {{0, 650, -90}, {700, 900, 0}, {950, 22000, -90}};
    for (int i = 0; i < 3; ++i) {
        const TMMEQFilter* a = eq1.Filters()->Filter(i);
        const TMMEQFilter* b = eq2.Filters()->Filter(i);
        EXPECT_TRUE(a->Enabled());
        EXPECT_EQ(a->Freq1(), want1[i][0]);
        EXPECT_EQ(a->Freq2(), want1[i][1]);
        EXPECT_EQ(a->Gain(), want1[i][2]);
        EXPECT_TRUE(b->Enabled());
        EXPECT_EQ(b->Freq1(), want2[i][0]);
        EXPECT_EQ(b->Freq2(), want2[i][1]);
        EXPECT_EQ(b->Gain(), want2[i][2]);
    }
    // The writer gives the same bytes back.
    EXPECT_EQ(eq1.SaveFilterStream(), s1);
    EXPECT_EQ(eq2.SaveFilterStream(), EqualizerStream700To900());

    Open(eq1);
    Open(eq2);
    ASSERT_EQ(FilterEngineFFTLength(eq1.Engine()), 256);
    const auto r1 = Response(eq1);
    const auto r2 = Response(eq2);
    for (int m = 0; m <= 128; ++m) {
        const float w1 = m == 128 ? 0.0f : (m >= 12 && m <= 17 ? Linear(0) : Linear(-99));
        const float w2 = m == 128 ? 0.0f : (m >= 16 && m <= 21 ? Linear(0) : Linear(-90));
        EXPECT_FLOAT_EQ(r1[m], w1) << "first, bin " << m;
        EXPECT_FLOAT_EQ(r2[m], w2) << "second, bin " << m;
    }
}

}  // namespace
}  // namespace zol
