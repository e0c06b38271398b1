#include "chain/fft.h"

#include <cmath>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace zol {

namespace {

using Real = long double;
constexpr Real kPi = 3.141592653589793238462643383279502884L;

// Twiddles of the radix-4 stage of span L (q = L / 4 butterflies per
// block): for j = 0 .. q-1 the real parts of W^j, W^2j, W^3j (W = e^(-2 pi i
// / L)), then their imaginary parts, each run of q values contiguous.
constexpr int kStageRuns = 6;

// Spans of the radix-4 stages: N, N/4, ... down to 4 when N is a power of
// 4; otherwise a radix-2 stage of span N comes first (its twiddles W^j,
// j < N/2: N/2 real parts, then N/2 imaginary parts) and the radix-4 stages
// begin at N/2.
bool HasRadix2Stage(std::int64_t n)
{
    int k = 0;
    while ((std::int64_t{1} << k) < n)
        ++k;
    return n >= 2 && (k % 2) == 1;
}

std::int64_t StageTwiddleFloats(std::int64_t n)
{
    std::int64_t total = HasRadix2Stage(n) ? n : 0;
    for (std::int64_t span = HasRadix2Stage(n) ? n / 2 : n; span >= 4; span >>= 2)
        total += kStageRuns * (span / 4);
    return total;
}

void FillStageTwiddles(std::int64_t n, float* t)
{
    if (HasRadix2Stage(n)) {
        const std::int64_t h = n / 2;
        for (std::int64_t j = 0; j < h; ++j) {
            const Real a = 2 * kPi * static_cast<Real>(j) / static_cast<Real>(n);
            t[j] = static_cast<float>(std::cos(a));
            t[h + j] = static_cast<float>(-std::sin(a));
        }
        t += n;
    }
    for (std::int64_t span = HasRadix2Stage(n) ? n / 2 : n; span >= 4; span >>= 2) {
        const std::int64_t q = span / 4;
        for (std::int64_t j = 0; j < q; ++j) {
            for (int m = 1; m <= 3; ++m) {
                const Real a = 2 * kPi * static_cast<Real>(m * j) / static_cast<Real>(span);
                t[(m - 1) * q + j] = static_cast<float>(std::cos(a));
                t[(m + 2) * q + j] = static_cast<float>(-std::sin(a));
            }
        }
        t += kStageRuns * q;
    }
}

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
    const std::int64_t twiddles = StageTwiddleFloats(n);
    if (twiddles > 0)
        plan->twiddle = new (std::nothrow) float[twiddles];
    if (plan->bitReverse == nullptr || (twiddles > 0 && plan->twiddle == nullptr)) {
        FreeComplexFFT(plan);
        return nullptr;
    }

    // Bit-reverse table, built incrementally: rev(i) from rev(i >> 1).
    plan->bitReverse[0] = 0;
    for (std::int64_t i = 1; i < n; ++i) {
        const std::uint32_t half = plan->bitReverse[i >> 1] >> 1;
        plan->bitReverse[i] = half | (static_cast<std::uint32_t>(i & 1) << (k - 1));
    }
    if (twiddles > 0)
        FillStageTwiddles(n, plan->twiddle);
    return plan;
}

// Four floats at a time (the compiler maps them to the machine's vector
// registers where it has them).
// The vector helpers are always inlined: no vector crosses a call, so the
// compiler's note on how a call would pass wide vectors does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"
using V4 = float __attribute__((vector_size(16)));
using V8 = float __attribute__((vector_size(32)));

#define ZOL_FFT_INLINE inline __attribute__((always_inline))

template <typename V>
ZOL_FFT_INLINE V Load(const float* p)
{
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename V>
ZOL_FFT_INLINE void Store(float* p, V v)
{
    std::memcpy(p, &v, sizeof v);
}

// The radix-4 butterfly on four inputs (complex values as real and
// imaginary parts of any arithmetic type: single floats or vectors of them)
// and the twiddles of outputs 1 to 3 (imaginary parts as stored: forward).
template <typename T>
ZOL_FFT_INLINE void Butterfly(T& r0, T& i0, T& r1, T& i1, T& r2, T& i2, T& r3, T& i3, T c1, T s1, T c2, T s2, T c3,
                      T s3)
{
    const T t0r = r0 + r2, t0i = i0 + i2;
    const T t1r = r0 - r2, t1i = i0 - i2;
    const T t2r = r1 + r3, t2i = i1 + i3;
    const T dr = r1 - r3, di = i1 - i3;
    const T t3r = di, t3i = -dr;  // -i d
    const T y2r = t0r - t2r, y2i = t0i - t2i;
    const T y1r = t1r + t3r, y1i = t1i + t3i;
    const T y3r = t1r - t3r, y3i = t1i - t3i;
    r0 = t0r + t2r;
    i0 = t0i + t2i;
    r1 = y2r * c2 - y2i * s2;
    i1 = y2i * c2 + y2r * s2;
    r2 = y1r * c1 - y1i * s1;
    i2 = y1i * c1 + y1r * s1;
    r3 = y3r * c3 - y3i * s3;
    i3 = y3i * c3 + y3r * s3;
}

// The butterflies of one block, V's lanes at a time (q a multiple of them).
template <typename V>
ZOL_FFT_INLINE void Radix4Blocks(float* p0, float* p1, std::int64_t q, const float* tc1, const float* ts1,
                                 const float* tc2, const float* ts2, const float* tc3, const float* ts3)
{
    constexpr int lanes = sizeof(V) / sizeof(float);
    for (std::int64_t j = 0; j < q; j += lanes) {
        V r0 = Load<V>(p0 + j), i0 = Load<V>(p1 + j);
        V r1 = Load<V>(p0 + q + j), i1 = Load<V>(p1 + q + j);
        V r2 = Load<V>(p0 + 2 * q + j), i2 = Load<V>(p1 + 2 * q + j);
        V r3 = Load<V>(p0 + 3 * q + j), i3 = Load<V>(p1 + 3 * q + j);
        Butterfly(r0, i0, r1, i1, r2, i2, r3, i3, Load<V>(tc1 + j), Load<V>(ts1 + j), Load<V>(tc2 + j),
                           Load<V>(ts2 + j), Load<V>(tc3 + j), Load<V>(ts3 + j));
        Store(p0 + j, r0);
        Store(p1 + j, i0);
        Store(p0 + q + j, r1);
        Store(p1 + q + j, i1);
        Store(p0 + 2 * q + j, r2);
        Store(p1 + 2 * q + j, i2);
        Store(p0 + 3 * q + j, r3);
        Store(p1 + 3 * q + j, i3);
    }
}

// One radix-4 decimation-in-frequency stage of span L over all blocks, on
// separate real and imaginary arrays. The quarters receive the outputs
// 4m, 4m+2, 4m+1 and 4m+3 (in that order), which is what two radix-2 stages
// would leave: after the last stage the outputs stand in bit-reversed order.
ZOL_FFT_INLINE void Radix4Stage(float* re, float* im, std::int64_t n, std::int64_t span, const float* t)
{
    const std::int64_t q = span / 4;
    const float* tc1 = t;
    const float* tc2 = t + q;
    const float* tc3 = t + 2 * q;
    const float* ts1 = t + 3 * q;
    const float* ts2 = t + 4 * q;
    const float* ts3 = t + 5 * q;
    for (std::int64_t b = 0; b < n; b += span) {
        float* p0 = re + b;
        float* p1 = im + b;
        if (q % 8 == 0) {
            Radix4Blocks<V8>(p0, p1, q, tc1, ts1, tc2, ts2, tc3, ts3);
            continue;
        }
        if (q % 4 == 0) {
            Radix4Blocks<V4>(p0, p1, q, tc1, ts1, tc2, ts2, tc3, ts3);
            continue;
        }
        for (std::int64_t j = 0; j < q; ++j) {
            float* r = p0 + j;
            float* i = p1 + j;
            Butterfly(r[0], i[0], r[q], i[q], r[2 * q], i[2 * q], r[3 * q], i[3 * q], tc1[j], ts1[j], tc2[j],
                               ts2[j], tc3[j], ts3[j]);
        }
    }
}

// The radix-2 butterfly: the sum stays, the difference is twiddled.
template <typename T>
ZOL_FFT_INLINE void Radix2Butterfly(T& ar, T& ai, T& br, T& bi, T c, T s)
{
    const T dr = ar - br, di = ai - bi;
    ar = ar + br;
    ai = ai + bi;
    br = dr * c - di * s;
    bi = di * c + dr * s;
}

// The radix-2 decimation-in-frequency stage of span N: sums to the first
// half, twiddled differences to the second.
ZOL_FFT_INLINE void Radix2Stage(float* re, float* im, std::int64_t n, const float* t)
{
    const std::int64_t h = n / 2;
    const float* tc = t;
    const float* ts = t + h;
    if (h % 8 == 0) {
        for (std::int64_t j = 0; j < h; j += 8) {
            V8 ar = Load<V8>(re + j), ai = Load<V8>(im + j), br = Load<V8>(re + h + j), bi = Load<V8>(im + h + j);
            Radix2Butterfly(ar, ai, br, bi, Load<V8>(tc + j), Load<V8>(ts + j));
            Store(re + j, ar);
            Store(im + j, ai);
            Store(re + h + j, br);
            Store(im + h + j, bi);
        }
        return;
    }
    for (std::int64_t j = 0; j < h; ++j)
        Radix2Butterfly(re[j], im[j], re[h + j], im[h + j], tc[j], ts[j]);
}

// Scratch arrays of the calling thread, grown to the largest N it has used
// (no allocation per call once grown).
float* Scratch(std::int64_t floats)
{
    thread_local std::vector<float> scratch;
    if (static_cast<std::int64_t>(scratch.size()) < floats)
        scratch.resize(static_cast<std::size_t>(floats));
    return scratch.data();
}

#if defined(__GNUC__) && !defined(__clang__)
#define ZOL_FFT_SHUFFLE 1
using M8 = int __attribute__((vector_size(32)));

// Two four-float runs as one eight-float vector, and back.
ZOL_FFT_INLINE V8 Join(const float* lo, const float* hi)
{
    return __builtin_shufflevector(Load<V4>(lo), Load<V4>(hi), 0, 1, 2, 3, 4, 5, 6, 7);
}

ZOL_FFT_INLINE void Split(float* lo, float* hi, V8 v)
{
    Store(lo, __builtin_shufflevector(v, v, 0, 1, 2, 3));
    Store(hi, __builtin_shufflevector(v, v, 4, 5, 6, 7));
}

// A radix-4 stage of span 16 (q = 4): two blocks per eight-lane vector.
ZOL_FFT_INLINE void Radix4Span16(float* re, float* im, std::int64_t n, const float* t)
{
    const V8 c1 = Join(t, t), c2 = Join(t + 4, t + 4), c3 = Join(t + 8, t + 8);
    const V8 s1 = Join(t + 12, t + 12), s2 = Join(t + 16, t + 16), s3 = Join(t + 20, t + 20);
    for (std::int64_t b = 0; b < n; b += 32) {
        float* p0 = re + b;
        float* p1 = im + b;
        V8 r0 = Join(p0, p0 + 16), i0 = Join(p1, p1 + 16);
        V8 r1 = Join(p0 + 4, p0 + 20), i1 = Join(p1 + 4, p1 + 20);
        V8 r2 = Join(p0 + 8, p0 + 24), i2 = Join(p1 + 8, p1 + 24);
        V8 r3 = Join(p0 + 12, p0 + 28), i3 = Join(p1 + 12, p1 + 28);
        Butterfly(r0, i0, r1, i1, r2, i2, r3, i3, c1, s1, c2, s2, c3, s3);
        Split(p0, p0 + 16, r0);
        Split(p1, p1 + 16, i0);
        Split(p0 + 4, p0 + 20, r1);
        Split(p1 + 4, p1 + 20, i1);
        Split(p0 + 8, p0 + 24, r2);
        Split(p1 + 8, p1 + 24, i2);
        Split(p0 + 12, p0 + 28, r3);
        Split(p1 + 12, p1 + 28, i3);
    }
}

// Value m of each of eight blocks of four: the blocks come as four vectors
// of two blocks each (block j and j + 4), transposed within their halves.
ZOL_FFT_INLINE void Transpose(V8& a, V8& b, V8& c, V8& d)
{
    const V8 t0 = __builtin_shuffle(a, b, M8{0, 8, 1, 9, 4, 12, 5, 13});
    const V8 t1 = __builtin_shuffle(a, b, M8{2, 10, 3, 11, 6, 14, 7, 15});
    const V8 t2 = __builtin_shuffle(c, d, M8{0, 8, 1, 9, 4, 12, 5, 13});
    const V8 t3 = __builtin_shuffle(c, d, M8{2, 10, 3, 11, 6, 14, 7, 15});
    a = __builtin_shuffle(t0, t2, M8{0, 1, 8, 9, 4, 5, 12, 13});
    b = __builtin_shuffle(t0, t2, M8{2, 3, 10, 11, 6, 7, 14, 15});
    c = __builtin_shuffle(t1, t3, M8{0, 1, 8, 9, 4, 5, 12, 13});
    d = __builtin_shuffle(t1, t3, M8{2, 3, 10, 11, 6, 7, 14, 15});
}

// Eight complex values from their real and imaginary parts, scaled, to
// o[0 .. 15].
ZOL_FFT_INLINE void StoreInterleaved(float* o, V8 r, V8 i, float scale)
{
    r *= scale;
    i *= scale;
    const V8 lo = __builtin_shuffle(r, i, M8{0, 8, 1, 9, 4, 12, 5, 13});
    const V8 hi = __builtin_shuffle(r, i, M8{2, 10, 3, 11, 6, 14, 7, 15});
    Store(o, __builtin_shuffle(lo, hi, M8{0, 1, 2, 3, 8, 9, 10, 11}));
    Store(o + 8, __builtin_shuffle(lo, hi, M8{4, 5, 6, 7, 12, 13, 14, 15}));
}

// The last stage (span 4, no twiddles) for N >= 32, eight blocks at a time.
// The block at 4 rev(p) (rev: the plan's k-bit reversal) sends output u of
// its butterfly to X[u N/4 + p], so taking the blocks of p = 8c .. 8c+7
// makes the results of each u eight consecutive bins. `swap` exchanges the
// real and imaginary parts on output.
ZOL_FFT_INLINE void LastStageWide(const float* re, const float* im, float* d, std::int64_t n,
                                  const std::uint32_t* rev, float scale, bool swap)
{
    const std::int64_t quarter = n / 4;
    for (std::int64_t p = 0; p < quarter; p += 8) {
        const std::uint32_t* at = rev + p;
        V8 r0 = Join(re + at[0], re + at[4]), r1 = Join(re + at[1], re + at[5]);
        V8 r2 = Join(re + at[2], re + at[6]), r3 = Join(re + at[3], re + at[7]);
        V8 i0 = Join(im + at[0], im + at[4]), i1 = Join(im + at[1], im + at[5]);
        V8 i2 = Join(im + at[2], im + at[6]), i3 = Join(im + at[3], im + at[7]);
        Transpose(r0, r1, r2, r3);
        Transpose(i0, i1, i2, i3);
        const V8 t0r = r0 + r2, t0i = i0 + i2, t1r = r0 - r2, t1i = i0 - i2;
        const V8 t2r = r1 + r3, t2i = i1 + i3, dr = r1 - r3, di = i1 - i3;
        float* o = d + 2 * p;
        const V8 yr[4] = {t0r + t2r, t1r + di, t0r - t2r, t1r - di};
        const V8 yi[4] = {t0i + t2i, t1i - dr, t0i - t2i, t1i + dr};
        for (int u = 0; u < 4; ++u) {
            if (swap)
                StoreInterleaved(o + 2 * u * quarter, yi[u], yr[u], scale);
            else
                StoreInterleaved(o + 2 * u * quarter, yr[u], yi[u], scale);
        }
    }
}
#endif

// Interleaved data to split arrays; `swap` exchanges the real and imaginary
// parts (the inverse transform is the forward one on swapped parts).
ZOL_FFT_INLINE void Deinterleave(const float* d, float* re, float* im, std::int64_t n, bool swap)
{
    if (swap)
        std::swap(re, im);
    std::int64_t i = 0;
#ifdef ZOL_FFT_SHUFFLE
    for (; i + 8 <= n; i += 8) {
        const V8 a = Load<V8>(d + 2 * i), b = Load<V8>(d + 2 * i + 8);
        const V8 lo = __builtin_shuffle(a, b, M8{0, 2, 8, 10, 4, 6, 12, 14});
        const V8 hi = __builtin_shuffle(a, b, M8{1, 3, 9, 11, 5, 7, 13, 15});
        // lo holds re 0 1 4 5 2 3 6 7: put the middle pairs back in order.
        Store(re + i, __builtin_shuffle(lo, M8{0, 1, 4, 5, 2, 3, 6, 7}));
        Store(im + i, __builtin_shuffle(hi, M8{0, 1, 4, 5, 2, 3, 6, 7}));
    }
#endif
    for (; i < n; ++i) {
        re[i] = d[2 * i];
        im[i] = d[2 * i + 1];
    }
}

// The last stage of span 4 (no twiddles) one block at a time, written to the
// bit-reversed output positions.
ZOL_FFT_INLINE void LastStageSpan4(const float* re, const float* im, float* d, std::int64_t n,
                                   const std::uint32_t* rev, float scale, bool swap)
{
    const int ro = swap ? 1 : 0;
    const int io = 1 - ro;
    for (std::int64_t b = 0; b < n; b += 4) {
        const float r0 = re[b], i0 = im[b], r1 = re[b + 1], i1 = im[b + 1];
        const float r2 = re[b + 2], i2 = im[b + 2], r3 = re[b + 3], i3 = im[b + 3];
        const float t0r = r0 + r2, t0i = i0 + i2, t1r = r0 - r2, t1i = i0 - i2;
        const float t2r = r1 + r3, t2i = i1 + i3, dr = r1 - r3, di = i1 - i3;
        float* o = d + 2 * static_cast<std::int64_t>(rev[b]);
        o[ro] = (t0r + t2r) * scale;
        o[io] = (t0i + t2i) * scale;
        o = d + 2 * static_cast<std::int64_t>(rev[b + 1]);
        o[ro] = (t0r - t2r) * scale;
        o[io] = (t0i - t2i) * scale;
        o = d + 2 * static_cast<std::int64_t>(rev[b + 2]);
        o[ro] = (t1r + di) * scale;
        o[io] = (t1i - dr) * scale;
        o = d + 2 * static_cast<std::int64_t>(rev[b + 3]);
        o[ro] = (t1r - di) * scale;
        o[io] = (t1i + dr) * scale;
    }
}

// Radix-4 stages (and one radix-2 stage when k is odd) in frequency
// decimation on split arrays, then the bit-reversal permutation back into
// the interleaved array, scaled by `scale`. The inverse runs the forward
// stages on exchanged real and imaginary parts and exchanges them back.
template <bool Inverse>
ZOL_FFT_INLINE void Transform(const TComplexFFTPlan& plan, float* d, float scale)
{
    const std::int64_t n = plan.n;
    if (n == 1) {
        d[0] *= scale;
        d[1] *= scale;
        return;
    }
    float* re = Scratch(2 * n);
    float* im = re + n;
    Deinterleave(d, re, im, n, Inverse);
    // The last stage (span 4 without twiddles, or span 2) writes straight
    // into the permuted, scaled output.
    const float* t = plan.twiddle;
    std::int64_t span = n;
    if (HasRadix2Stage(n) && n > 2) {
        Radix2Stage(re, im, n, t);
        t += n;
        span = n / 2;
    }
    for (; span > 4; span >>= 2) {
#ifdef ZOL_FFT_SHUFFLE
        if (span == 16 && n >= 32)
            Radix4Span16(re, im, n, t);
        else
#endif
            Radix4Stage(re, im, n, span, t);
        t += kStageRuns * (span / 4);
    }
    const std::uint32_t* rev = plan.bitReverse;
    if (span == 4) {
#ifdef ZOL_FFT_SHUFFLE
        if (n >= 32) {
            LastStageWide(re, im, d, n, rev, scale, Inverse);
            return;
        }
#endif
        LastStageSpan4(re, im, d, n, rev, scale, Inverse);
        return;
    }
    const int ro = Inverse ? 1 : 0;
    const int io = 1 - ro;
    for (std::int64_t b = 0; b < n; b += 2) {
        float* o = d + 2 * static_cast<std::int64_t>(rev[b]);
        o[ro] = (re[b] + re[b + 1]) * scale;
        o[io] = (im[b] + im[b + 1]) * scale;
        o = d + 2 * static_cast<std::int64_t>(rev[b + 1]);
        o[ro] = (re[b] - re[b + 1]) * scale;
        o[io] = (im[b] - im[b + 1]) * scale;
    }
}

// The transforms, compiled once for the common instruction set and, where
// the compiler can, once more for wider vector units, chosen at load time
// (not in sanitizer builds: the choice runs before their run time is set up).
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__) && \
    !defined(__SANITIZE_THREAD__)
#define ZOL_FFT_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define ZOL_FFT_CLONES
#endif

ZOL_FFT_CLONES void ForwardTransform(const TComplexFFTPlan& plan, float* d, float scale)
{
    Transform<false>(plan, d, scale);
}

ZOL_FFT_CLONES void InverseTransform(const TComplexFFTPlan& plan, float* d, float scale)
{
    Transform<true>(plan, d, scale);
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
    const float scale = direction < 0 ? plan->scale : 1.0f;
    if (direction == -1)
        InverseTransform(*plan, data, scale);
    else
        ForwardTransform(*plan, data, scale);
}

ZOL_FFT_CLONES void ComplexMultiply(float* data, const float* kernel, std::int64_t count)
{
    std::int64_t i = 0;
#ifdef ZOL_FFT_SHUFFLE
    // Four products at a time: (ar br - ai bi, ar bi + ai br) from the real
    // parts times the kernel and the imaginary parts times the kernel with
    // its parts exchanged.
    const V8 sign = {-1, 1, -1, 1, -1, 1, -1, 1};
    for (; i + 4 <= count; i += 4) {
        const V8 a = Load<V8>(data + 2 * i), b = Load<V8>(kernel + 2 * i);
        const V8 ar = __builtin_shuffle(a, M8{0, 0, 2, 2, 4, 4, 6, 6});
        const V8 ai = __builtin_shuffle(a, M8{1, 1, 3, 3, 5, 5, 7, 7});
        const V8 bx = __builtin_shuffle(b, M8{1, 0, 3, 2, 5, 4, 7, 6});
        Store(data + 2 * i, ar * b + (ai * bx) * sign);
    }
#endif
    for (; i < count; ++i) {
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
    ForwardTransform(*plan->half, data, 1.0f);

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
