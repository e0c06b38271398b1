// The complex and real FFTs against a direct DFT in double precision, and
// the window functions and integer window tables.
#include "chain/fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace zol {
namespace {

using cd = std::complex<double>;

// Direct DFT: sign -1 forward, +1 inverse (unscaled).
std::vector<cd> Dft(const std::vector<cd>& x, int sign)
{
    const std::size_t n = x.size();
    std::vector<double> c(n), s(n);
    for (std::size_t i = 0; i < n; ++i) {
        c[i] = std::cos(2 * M_PI * static_cast<double>(i) / static_cast<double>(n));
        s[i] = std::sin(2 * M_PI * static_cast<double>(i) / static_cast<double>(n));
    }
    std::vector<cd> out(n);
    for (std::size_t m = 0; m < n; ++m) {
        cd acc = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t idx = (m * i) % n;
            acc += x[i] * cd(c[idx], sign * s[idx]);
        }
        out[m] = acc;
    }
    return out;
}

// Largest error relative to the root-mean-square bin magnitude of the
// reference. Single-precision split-radix arithmetic measures 0.4e-7 to
// 4e-7 here for N = 4 .. 4096; the tolerance 4e-7 * (log2 N + 1) leaves a
// factor of about ten.
double RelativeError(const std::vector<cd>& ref, const float* got, std::size_t count)
{
    double energy = 0;
    double worst = 0;
    for (std::size_t i = 0; i < count; ++i) {
        energy += std::norm(ref[i]);
        worst = std::max(worst, std::abs(ref[i] - cd(got[2 * i], got[2 * i + 1])));
    }
    const double rms = std::sqrt(energy / static_cast<double>(count));
    return rms > 0 ? worst / rms : worst;
}

double Tolerance(int k)
{
    return 4e-7 * (k + 1);
}

TEST(ComplexFFT, MatchesDirectDftForEverySizeAndDirection)
{
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (int k = 1; k <= 12; ++k) {
        const int n = 1 << k;
        PComplexFFT plan = CreateComplexFFT(k);
        ASSERT_NE(plan, nullptr) << k;
        EXPECT_EQ(plan->n, n);
        EXPECT_FLOAT_EQ(plan->scale, 1.0f / static_cast<float>(n));
        for (int i = 0; i < n; ++i) {
            std::uint32_t r = 0;
            for (int b = 0; b < k; ++b)
                if (i & (1 << b))
                    r |= 1u << (k - 1 - b);
            ASSERT_EQ(plan->bitReverse[i], r) << n << " " << i;
        }

        std::vector<float> data(2 * n);
        std::vector<cd> x(n);
        for (int i = 0; i < n; ++i) {
            data[2 * i] = u(rng);
            data[2 * i + 1] = u(rng);
            x[i] = cd(data[2 * i], data[2 * i + 1]);
        }
        const std::vector<cd> fwd = Dft(x, -1);
        const std::vector<cd> inv = Dft(x, +1);

        std::vector<float> d = data;
        DoComplexFFT(plan, d.data(), 1);
        EXPECT_LT(RelativeError(fwd, d.data(), n), Tolerance(k)) << "forward N=" << n;

        d = data;
        DoComplexFFT(plan, d.data(), -2);
        std::vector<cd> scaled(n);
        for (int i = 0; i < n; ++i)
            scaled[i] = fwd[i] / static_cast<double>(n);
        EXPECT_LT(RelativeError(scaled, d.data(), n), Tolerance(k)) << "scaled forward N=" << n;

        d = data;
        DoComplexFFT(plan, d.data(), -1);
        for (int i = 0; i < n; ++i)
            scaled[i] = inv[i] / static_cast<double>(n);
        EXPECT_LT(RelativeError(scaled, d.data(), n), Tolerance(k)) << "inverse N=" << n;

        // Round trip: forward then inverse gives the input back.
        d = data;
        DoComplexFFT(plan, d.data(), 1);
        DoComplexFFT(plan, d.data(), -1);
        EXPECT_LT(RelativeError(x, d.data(), n), Tolerance(k)) << "round trip N=" << n;
        FreeComplexFFT(plan);
    }
}

TEST(ComplexFFT, InvalidPlansAndMissingDataDoNothing)
{
    EXPECT_EQ(CreateComplexFFT(0), nullptr);
    EXPECT_EQ(CreateComplexFFT(32), nullptr);
    EXPECT_EQ(CreateComplexFFT(-1), nullptr);
    EXPECT_EQ(CreateRealFFT(0), nullptr);
    EXPECT_EQ(CreateRealFFT(32), nullptr);
    float data[4] = {1, 2, 3, 4};
    DoComplexFFT(nullptr, data, 1);
    DoRealFFT(nullptr, data, 1);
    EXPECT_EQ(data[0], 1);
    EXPECT_EQ(data[3], 4);
    PComplexFFT plan = CreateComplexFFT(1);
    DoComplexFFT(plan, nullptr, 1);
    FreeComplexFFT(plan);
    FreeComplexFFT(nullptr);
    FreeRealFFT(nullptr);
}

TEST(ComplexFFT, MultiplyIsNotConjugated)
{
    float a[4] = {1, 2, 3, -1};
    const float b[4] = {0, 1, 2, 2};
    ComplexMultiply(a, b, 2);
    // (1+2i)(i) = -2 + i; (3-i)(2+2i) = 8 + 4i
    EXPECT_FLOAT_EQ(a[0], -2);
    EXPECT_FLOAT_EQ(a[1], 1);
    EXPECT_FLOAT_EQ(a[2], 8);
    EXPECT_FLOAT_EQ(a[3], 4);
}

TEST(RealFFT, MatchesDirectDftOfRealSignal)
{
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (int k = 1; k <= 12; ++k) {
        const int n = 1 << k;
        PRealFFT plan = CreateRealFFT(k);
        ASSERT_NE(plan, nullptr) << k;
        std::vector<float> data(n);
        std::vector<cd> x(n);
        for (int i = 0; i < n; ++i) {
            data[i] = u(rng);
            x[i] = data[i];
        }
        const std::vector<cd> ref = Dft(x, -1);  // bins 0 .. N/2-1 are kept
        std::vector<float> d = data;
        DoRealFFT(plan, d.data(), 1);
        EXPECT_LT(RelativeError(ref, d.data(), n / 2), Tolerance(k)) << "N=" << n;
        double sum = 0;
        for (float v : data)
            sum += v;
        EXPECT_NEAR(d[0], sum, 1e-4 * n);
        EXPECT_EQ(d[1], 0.0f);

        // Negative directions (clamped to -1) scale by 1/N; 0 and large
        // positive ones do not.
        d = data;
        DoRealFFT(plan, d.data(), -7);
        std::vector<cd> scaled(n / 2);
        for (int i = 0; i < n / 2; ++i)
            scaled[i] = ref[i] / static_cast<double>(n);
        EXPECT_LT(RelativeError(scaled, d.data(), n / 2), Tolerance(k)) << "scaled N=" << n;
        d = data;
        DoRealFFT(plan, d.data(), 5);
        EXPECT_LT(RelativeError(ref, d.data(), n / 2), Tolerance(k)) << "clamped N=" << n;
        FreeRealFFT(plan);
    }
}

TEST(RealFFT, SplitTable)
{
    PRealFFT plan = CreateRealFFT(4);
    ASSERT_NE(plan, nullptr);
    for (int j = 1; j <= 4; ++j) {
        EXPECT_NEAR(plan->split[2 * j], 0.5 * std::cos(2 * M_PI * j / 16), 1e-7);
        EXPECT_NEAR(plan->split[2 * j + 1], 0.5 - 0.5 * std::sin(2 * M_PI * j / 16), 1e-7);
    }
    FreeRealFFT(plan);
}

TEST(FFTWindow, ValuesAndIntegerTables)
{
    const int L = 64;
    for (int n = 0; n < L; ++n) {
        const double c = std::cos(2 * M_PI * n / L);
        const double c2 = std::cos(4 * M_PI * n / L);
        const double d = (2.0 * n - L) / (L + 1);
        EXPECT_FLOAT_EQ(FFTWindowValue(fwRectangular, n, L), 1.0f);
        EXPECT_NEAR(FFTWindowValue(fwHamming, n, L), 0.54 - 0.46 * c, 1e-7);
        EXPECT_NEAR(FFTWindowValue(fwHanning, n, L), 0.5 - 0.5 * c, 1e-7);
        EXPECT_NEAR(FFTWindowValue(fwBlackman, n, L), 0.42 - 0.5 * c + 0.08 * c2, 1e-7);
        EXPECT_NEAR(FFTWindowValue(fwGaussian, n, L), std::exp(-5.0 * (2.0 * n - L) * (2.0 * n - L) / (L * L)), 1e-7);
        EXPECT_NEAR(FFTWindowValue(fwWelch, n, L), 1 - d * d, 1e-7);
        EXPECT_NEAR(FFTWindowValue(fwParzen, n, L), 1 - std::fabs(d), 1e-7);
        EXPECT_FLOAT_EQ(FFTWindowValue(7, n, L), 1.0f);
        EXPECT_FLOAT_EQ(FFTWindowValue(-1, n, L), 1.0f);
    }
    EXPECT_FLOAT_EQ(FFTWindowValue(fwHamming, 3, 0), 1.0f);

    std::vector<std::int32_t> table(L, -5);
    for (int w = fwRectangular; w <= fwParzen; ++w) {
        MakeWindowTable(table.data(), w, 6);
        for (int n = 0; n < L; ++n)
            EXPECT_EQ(table[n], static_cast<std::int32_t>(std::floor(FFTWindowValue(w, n, L) * 32767.0 + 0.5)))
                << w << " " << n;
    }
    MakeWindowTable(table.data(), fwHanning, 6);
    EXPECT_EQ(table[0], 0);
    EXPECT_EQ(table[32], 32767);
    MakeWindowTable(table.data(), fwRectangular, 6);
    EXPECT_EQ(table[17], 32767);
    MakeWindowTable(nullptr, fwHamming, 6);  // no table: nothing happens
}

}  // namespace
}  // namespace zol
