// The numeric core of the sound chain: a radix-4 complex FFT (in place for
// the caller; it works in a scratch area of the calling thread),
// a real FFT built on it, the analysis window functions and the integer
// window tables of the spectrum displays.
//
// Data are single-precision floats; complex arrays are interleaved
// (re, im, re, im, ...). Tables are computed in extended precision and
// stored as singles.
#pragma once

#include <cstdint>

namespace zol {

// Window functions, in this order (the index is what streams and properties
// store).
enum TMMFFTWindow {
    fwRectangular,
    fwHamming,
    fwHanning,
    fwBlackman,
    fwGaussian,
    fwWelch,
    fwParzen,
};

// Plan of an N-point complex transform, N = 2^k.
struct TComplexFFTPlan {
    int k = 0;
    std::int64_t n = 0;
    float scale = 0;               // 1 / N
    std::uint32_t* bitReverse = nullptr;  // N entries: i with its k low bits reversed
    // Per radix-4 stage of span L = N, N/4, ... >= 4, with q = L/4: the real
    // parts of W^j, W^2j, W^3j (W = e^(-2 pi i / L), j < q), then their
    // imaginary parts, each a run of q floats.
    float* twiddle = nullptr;
};
using PComplexFFT = TComplexFFTPlan*;

// Plan of an N-point real transform (done as an N/2-point complex one).
struct TRealFFTPlan {
    int k = 0;
    std::int64_t n = 0;
    float scale = 0;               // 1 / N
    PComplexFFT half = nullptr;    // the N/2-point complex plan
    float* split = nullptr;        // N/4 + 1 entries (0.5 cos(2 pi j / N), 0.5 - 0.5 sin(2 pi j / N))
};
using PRealFFT = TRealFFTPlan*;

// A plan for N = 2^k, 1 <= k <= 31; none for any other k or when memory is
// short.
PComplexFFT CreateComplexFFT(int k);
void FreeComplexFFT(PComplexFFT plan);

// Transforms N interleaved complex values in place.
//   direction 1:  X[m] = sum x[n] e^(-2 pi i m n / N)             (forward, unscaled)
//   direction -1: x[n] = (1/N) sum X[m] e^(+2 pi i m n / N)        (inverse)
//   direction -2: forward, scaled by 1/N
// Any other positive direction is an unscaled forward transform, any other
// negative one a scaled forward transform. Nothing happens without a plan or
// data.
void DoComplexFFT(PComplexFFT plan, float* data, int direction);

// Element-by-element product data[i] *= kernel[i] of `count` complex values
// (the kernel is not conjugated).
void ComplexMultiply(float* data, const float* kernel, std::int64_t count);

// Real plan for N = 2^k real samples, 1 <= k <= 31.
PRealFFT CreateRealFFT(int k);
void FreeRealFFT(PRealFFT plan);

// Forward real transform of N reals in place: the array ends as N/2 complex
// bins X[0 .. N/2-1] of the real DFT (bin 0 = (sum of the samples, 0), the
// Nyquist bin is not kept). The direction is clamped to -1..1; a negative
// one scales the result by 1/N. Nothing happens without a plan or data.
void DoRealFFT(PRealFFT plan, float* data, int direction);

// Value of a window of length L at sample n (any unknown window gives 1).
float FFTWindowValue(int window, int n, int length);

// Fills table[0 .. 2^k - 1] with floor(w(n) * 32767 + 0.5) for a window of
// length 2^k (k in 0..30; nothing happens otherwise or without a table).
void MakeWindowTable(std::int32_t* table, int window, int k);

}  // namespace zol
