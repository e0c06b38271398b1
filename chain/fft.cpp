#include "chain/fft.h"

#include <cmath>
#include <new>
#include <utility>

namespace zol {

namespace {

using Real = long double;
constexpr Real kPi = 3.141592653589793238462643383279502884L;

// A plan for N = 2^k with k >= 0 (k = 0 is the one-point identity, which the
// real transform of two samples needs).
PComplexFFT NewComplexPlan(int k)
{
    if (k < 0 || k > 31)
        return nullptr;
    auto* plan = new (std::nothrow) TComplexFFTPlan;
    if (plan == nullptr)
        return nullptr;
    const std::int64_t n = std::int64_t{1} << k;
    plan->k = k;
    plan->n = n;
    plan->scale = static_cast<float>(1.0L / static_cast<Real>(n));
    plan->bitReverse = new (std::nothrow) std::uint32_t[n];
    const std::int64_t quarter = n / 4;
    if (quarter > 0)
        plan->twiddle = new (std::nothrow) float[quarter * 4];
    if (plan->bitReverse == nullptr || (quarter > 0 && plan->twiddle == nullptr)) {
        FreeComplexFFT(plan);
        return nullptr;
    }

    // Bit-reverse table, built incrementally: rev(i) from rev(i >> 1).
    plan->bitReverse[0] = 0;
    for (std::int64_t i = 1; i < n; ++i) {
        const std::uint32_t half = plan->bitReverse[i >> 1] >> 1;
        plan->bitReverse[i] = half | (static_cast<std::uint32_t>(i & 1) << (k - 1));
    }

    // Twiddles W^j and W^3j for j = 0 .. N/4 - 1 by repeated rotation in
    // extended precision.
    if (quarter > 0) {
        const Real c1 = std::cos(2 * kPi / static_cast<Real>(n));
        const Real s1 = std::sin(2 * kPi / static_cast<Real>(n));
        const Real c3 = std::cos(6 * kPi / static_cast<Real>(n));
        const Real s3 = std::sin(6 * kPi / static_cast<Real>(n));
        Real a1 = 1, b1 = 0, a3 = 1, b3 = 0;
        for (std::int64_t j = 0; j < quarter; ++j) {
            float* t = plan->twiddle + j * 4;
            t[0] = static_cast<float>(a1);
            t[1] = static_cast<float>(-b1);
            t[2] = static_cast<float>(a3);
            t[3] = static_cast<float>(-b3);
            const Real na1 = a1 * c1 - b1 * s1;
            b1 = a1 * s1 + b1 * c1;
            a1 = na1;
            const Real na3 = a3 * c3 - b3 * s3;
            b3 = a3 * s3 + b3 * c3;
            a3 = na3;
        }
    }
    return plan;
}

// Split-radix decimation in frequency, in place, followed by the bit-reversal
// permutation. The L-shaped butterfly puts the sums (even outputs) in the
// first half and the two twiddled differences (outputs 4m+1 and 4m+3) in the
// quarters behind it; the start positions of the butterflies of each stage
// follow the classic index recursion.
template <bool Inverse>
void Transform(const TComplexFFTPlan& plan, float* d)
{
    const std::int64_t n = plan.n;
    for (std::int64_t n2 = n; n2 >= 4; n2 >>= 1) {
        const std::int64_t n4 = n2 >> 2;
        const std::int64_t stride = n / n2;
        for (std::int64_t j = 0; j < n4; ++j) {
            const float* t = plan.twiddle + j * stride * 4;
            const float c1 = t[0], c3 = t[2];
            const float s1 = Inverse ? -t[1] : t[1];
            const float s3 = Inverse ? -t[3] : t[3];
            std::int64_t is = j;
            std::int64_t id = 2 * n2;
            while (is < n) {
                for (std::int64_t i0 = is; i0 < n; i0 += id) {
                    float* p0 = d + 2 * i0;
                    float* p1 = p0 + 2 * n4;
                    float* p2 = p1 + 2 * n4;
                    float* p3 = p2 + 2 * n4;
                    const float r1r = p0[0] - p2[0], r1i = p0[1] - p2[1];
                    const float r2r = p1[0] - p3[0], r2i = p1[1] - p3[1];
                    p0[0] += p2[0];
                    p0[1] += p2[1];
                    p1[0] += p3[0];
                    p1[1] += p3[1];
                    // forward: z1 = r1 - i r2, z3 = r1 + i r2; inverse: swapped
                    float z1r, z1i, z3r, z3i;
                    if constexpr (Inverse) {
                        z1r = r1r - r2i; z1i = r1i + r2r;
                        z3r = r1r + r2i; z3i = r1i - r2r;
                    } else {
                        z1r = r1r + r2i; z1i = r1i - r2r;
                        z3r = r1r - r2i; z3i = r1i + r2r;
                    }
                    if (j == 0) {
                        p2[0] = z1r; p2[1] = z1i;
                        p3[0] = z3r; p3[1] = z3i;
                    } else {
                        // (z)(c + i s), with s = -sin forward, +sin inverse
                        p2[0] = z1r * c1 - z1i * s1;
                        p2[1] = z1i * c1 + z1r * s1;
                        p3[0] = z3r * c3 - z3i * s3;
                        p3[1] = z3i * c3 + z3r * s3;
                    }
                }
                is = 2 * id - n2 + j;
                id *= 4;
            }
        }
    }
    // The remaining two-point butterflies.
    std::int64_t is = 0;
    std::int64_t id = 4;
    while (is < n) {
        for (std::int64_t i0 = is; i0 + 1 < n; i0 += id) {
            float* p0 = d + 2 * i0;
            float* p1 = p0 + 2;
            const float ar = p0[0], ai = p0[1];
            p0[0] = ar + p1[0];
            p0[1] = ai + p1[1];
            p1[0] = ar - p1[0];
            p1[1] = ai - p1[1];
        }
        is = 2 * id - 2;
        id *= 4;
    }
    // Bit-reversal permutation.
    const std::uint32_t* rev = plan.bitReverse;
    for (std::int64_t i = 0; i < n; ++i) {
        const std::int64_t r = rev[i];
        if (i < r) {
            std::swap(d[2 * i], d[2 * r]);
            std::swap(d[2 * i + 1], d[2 * r + 1]);
        }
    }
}

void Scale(float* d, std::int64_t count, float scale)
{
    for (std::int64_t i = 0; i < count; ++i)
        d[i] *= scale;
}

}  // namespace

PComplexFFT CreateComplexFFT(int k)
{
    if (k < 1 || k > 31)
        return nullptr;
    return NewComplexPlan(k);
}

void FreeComplexFFT(PComplexFFT plan)
{
    if (plan == nullptr)
        return;
    delete[] plan->bitReverse;
    delete[] plan->twiddle;
    delete plan;
}

void DoComplexFFT(PComplexFFT plan, float* data, int direction)
{
    if (plan == nullptr || data == nullptr || plan->bitReverse == nullptr)
        return;
    if (direction == -1)
        Transform<true>(*plan, data);
    else
        Transform<false>(*plan, data);
    if (direction < 0)
        Scale(data, plan->n * 2, plan->scale);
}

void ComplexMultiply(float* data, const float* kernel, std::int64_t count)
{
    for (std::int64_t i = 0; i < count; ++i) {
        const float ar = data[2 * i], ai = data[2 * i + 1];
        const float br = kernel[2 * i], bi = kernel[2 * i + 1];
        data[2 * i] = ar * br - ai * bi;
        data[2 * i + 1] = ar * bi + ai * br;
    }
}

PRealFFT CreateRealFFT(int k)
{
    if (k < 1 || k > 31)
        return nullptr;
    auto* plan = new (std::nothrow) TRealFFTPlan;
    if (plan == nullptr)
        return nullptr;
    const std::int64_t n = std::int64_t{1} << k;
    plan->k = k;
    plan->n = n;
    plan->scale = static_cast<float>(1.0L / static_cast<Real>(n));
    plan->half = NewComplexPlan(k - 1);
    const std::int64_t quarter = n / 4;
    plan->split = new (std::nothrow) float[(quarter + 1) * 2];
    if (plan->half == nullptr || plan->split == nullptr) {
        FreeRealFFT(plan);
        return nullptr;
    }
    for (std::int64_t j = 0; j <= quarter; ++j) {
        const Real a = 2 * kPi * static_cast<Real>(j) / static_cast<Real>(n);
        plan->split[2 * j] = static_cast<float>(0.5L * std::cos(a));
        plan->split[2 * j + 1] = static_cast<float>(0.5L - 0.5L * std::sin(a));
    }
    return plan;
}

void FreeRealFFT(PRealFFT plan)
{
    if (plan == nullptr)
        return;
    FreeComplexFFT(plan->half);
    delete[] plan->split;
    delete plan;
}

void DoRealFFT(PRealFFT plan, float* data, int direction)
{
    if (plan == nullptr || data == nullptr || plan->half == nullptr)
        return;
    direction = direction < -1 ? -1 : (direction > 1 ? 1 : direction);
    const std::int64_t m = plan->n / 2;  // complex points
    Transform<false>(*plan->half, data);

    // Z[k] holds the transform of x[2n] + i x[2n+1]. Separate the even and
    // odd parts: X[k] = A[k] Z[k] + B[k] conj(Z[M-k]) with
    // A = sr - i sc, B = (1 - sr) + i sc, (sc, sr) from the split table.
    const float z0r = data[0], z0i = data[1];
    data[0] = z0r + z0i;
    data[1] = 0;
    for (std::int64_t k = 1; 2 * k <= m; ++k) {
        const std::int64_t q = m - k;
        const float sc = plan->split[2 * k];
        const float sr = plan->split[2 * k + 1];
        const float ar = data[2 * k], ai = data[2 * k + 1];    // Z[k]
        const float br = data[2 * q], bi = data[2 * q + 1];    // Z[M-k]
        // X[k] = (sr - i sc)(ar + i ai) + ((1 - sr) + i sc)(br - i bi)
        const float xkr = sr * ar + sc * ai + (1 - sr) * br + sc * bi;
        const float xki = sr * ai - sc * ar - (1 - sr) * bi + sc * br;
        if (q == k) {
            data[2 * k] = xkr;
            data[2 * k + 1] = xki;
            continue;
        }
        // X[M-k]: the split entry of M-k is (-sc, sr); roles of Z swapped.
        const float xqr = sr * br - sc * bi + (1 - sr) * ar - sc * ai;
        const float xqi = sr * bi + sc * br - (1 - sr) * ai - sc * ar;
        data[2 * k] = xkr;
        data[2 * k + 1] = xki;
        data[2 * q] = xqr;
        data[2 * q + 1] = xqi;
    }
    if (direction < 0)
        Scale(data, plan->n, plan->scale);
}

float FFTWindowValue(int window, int n, int length)
{
    const Real x = static_cast<Real>(n);
    const Real l = static_cast<Real>(length);
    if (length <= 0)
        return 1.0f;  // no length, no shape
    Real v;
    switch (window) {
    case fwHamming:
        v = 0.54L - 0.46L * std::cos(2 * kPi * x / l);
        break;
    case fwHanning:
        v = 0.5L - 0.5L * std::cos(2 * kPi * x / l);
        break;
    case fwBlackman:
        v = 0.42L - 0.5L * std::cos(2 * kPi * x / l) + 0.08L * std::cos(4 * kPi * x / l);
        break;
    case fwGaussian: {
        const Real t = 2 * x - l;
        v = std::exp(-5 * t * t / (l * l));
        break;
    }
    case fwWelch: {
        const Real dd = (2 * x - l) / (l + 1);
        v = 1 - dd * dd;
        break;
    }
    case fwParzen: {
        const Real dd = (2 * x - l) / (l + 1);
        v = 1 - std::fabs(dd);
        break;
    }
    default:
        v = 1;
        break;
    }
    return static_cast<float>(v);
}

void MakeWindowTable(std::int32_t* table, int window, int k)
{
    if (table == nullptr || k < 0 || k > 30)
        return;
    const int length = 1 << k;
    for (int n = 0; n < length; ++n)
        table[n] = static_cast<std::int32_t>(std::floor(static_cast<Real>(FFTWindowValue(window, n, length)) * 32767 + 0.5L));
}

}  // namespace zol
