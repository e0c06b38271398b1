// Sample writing: rounding to the nearest step with halves away from zero,
// clipping at full scale, both widths, little-endian order, and values that
// are not numbers.
#include "platform/pcmsample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace zol::platform {
namespace {

int Written16(double v)
{
    char b[2];
    EXPECT_EQ(PutSample(b, v, 16), b + 2);
    return pcm::Sample16(b);
}

int Written8(double v)
{
    char b[1];
    EXPECT_EQ(PutSample(b, v, 8), b + 1);
    return pcm::Byte(b);
}

TEST(PcmSample, RoundsHalvesAwayFromZeroLikeTheLibrary)
{
    // Exact halves, their neighbours one unit in the last place away, and
    // random values over the whole range.
    std::vector<double> xs;
    for (int i = -40; i <= 40; ++i) {
        const double h = i + 0.5;
        xs.insert(xs.end(), {h, std::nextafter(h, -1e9), std::nextafter(h, 1e9), -h, double(i)});
    }
    xs.insert(xs.end(), {0.49999999999999994, -0.49999999999999994, 32766.5, -32767.5, 1e-300, -0.0});
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-40000.0, 40000.0);
    for (int i = 0; i < 20000; ++i)
        xs.push_back(u(rng));
    for (const double x : xs)
        ASSERT_EQ(RoundHalfAway(x), std::lround(x)) << x;
}

TEST(PcmSample, BothWidthsClipAndRound)
{
    EXPECT_EQ(Written16(0.0), 0);
    EXPECT_EQ(Written16(1.0), 32767);
    EXPECT_EQ(Written16(-1.0), -32768);
    EXPECT_EQ(Written16(7.0), 32767);
    EXPECT_EQ(Written16(-7.0), -32768);
    EXPECT_EQ(Written16(100.5 / 32768.0), 101);
    EXPECT_EQ(Written16(-100.5 / 32768.0), -101);
    EXPECT_EQ(Written16(-100.49 / 32768.0), -100);
    EXPECT_EQ(Written8(0.0), 128);
    EXPECT_EQ(Written8(1.0), 255);
    EXPECT_EQ(Written8(-1.0), 0);
    EXPECT_EQ(Written8(10.5 / 128.0), 139);   // 138.5 rounds up
    EXPECT_EQ(Written8(-10.5 / 128.0), 118);  // 117.5 rounds up too (positive)
    char b[2];
    PutSample(b, 0x1234 / 32768.0, 16);
    EXPECT_EQ(static_cast<unsigned char>(b[0]), 0x34);
    EXPECT_EQ(static_cast<unsigned char>(b[1]), 0x12);
}

TEST(PcmSample, NotANumberIsSilence)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(Written16(nan), 0);
    EXPECT_EQ(Written8(nan), 128);
    EXPECT_EQ(Written16(std::numeric_limits<double>::infinity()), 32767);
    EXPECT_EQ(Written8(-std::numeric_limits<double>::infinity()), 0);
}

}  // namespace
}  // namespace zol::platform
