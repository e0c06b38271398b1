#include "chain/fftfilter.h"

#include "chain/fft.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace zol {

namespace {
constexpr int kMaxHalf = kMaxFilterFFTLength / 2;
// The FIFOs hold at least one block of the largest transform in stereo.
constexpr int kMinBufferBytes = kMaxFilterFFTLength * 4;
// Gains above this are clamped so the kernel stays finite.
constexpr float kMaxGainDb = 200.0f;
}  // namespace

struct TFFTFilterEngine {
    int formatCode = -1;  // -1: no usable PCM; bit 0 = 16-bit, bit 1 = stereo
    int sampleRate = 0;
    int channels = 1;
    int n = 0;
    int half = 0;
    int k = 0;
    PComplexFFT plan = nullptr;
    int window = fwHamming;
    int maxBytes = 0;     // largest chunk handled in one pass
    int fifoBytes = 0;    // capacity of each FIFO
    int inFill = 0;
    int outFill = 0;

    // One zero-filled block holds everything below.
    void* block = nullptr;
    float* response = nullptr;  // kMaxHalf + 1 linear gains
    float* kernel = nullptr;    // active kernel spectrum, N complex
    float* work = nullptr;      // N complex
    float* tails[2] = {nullptr, nullptr};  // N/2 each
    char* inFifo = nullptr;
    char* outFifo = nullptr;

    // The engine's lock: its own, or one its owner shares with it.
    std::mutex ownLock;
    std::mutex* lock = &ownLock;
};

namespace {

bool Is16Bit(const TFFTFilterEngine& e)
{
    return e.formatCode >= 0 && (e.formatCode & 1) != 0;
}

// Frequency sampling with a window; linear phase centred at N/4. Caller
// holds the lock.
void RebuildKernel(TFFTFilterEngine& e)
{
    const int n = e.n;
    const int half = e.half;
    float* c = e.work;
    std::memset(c, 0, sizeof(float) * 2 * n);
    // C[m] = A[m] e^(i m pi / 2); e^(i m pi / 2) cycles 1, i, -1, -i.
    for (int m = 0; m <= half; ++m) {
        float a = e.response[m];
        if (m == 0 || m == half)
            a *= 0.5f;
        switch (m & 3) {
        case 0: c[2 * m] = a; break;
        case 1: c[2 * m + 1] = a; break;
        case 2: c[2 * m] = -a; break;
        default: c[2 * m + 1] = -a; break;
        }
    }
    DoComplexFFT(e.plan, c, 1);
    // h[n] = w(n) Re C[n] for n = 0 .. N/2 (window length N/2), zero above.
    for (int i = 0; i < n; ++i) {
        const float h = i <= half ? FFTWindowValue(e.window, i, half) * c[2 * i] : 0.0f;
        c[2 * i] = h;
        c[2 * i + 1] = 0;
    }
    DoComplexFFT(e.plan, c, -2);
    std::memcpy(e.kernel, c, sizeof(float) * 2 * n);
}

inline std::int16_t LoadSample(const char* p)
{
    const auto lo = static_cast<unsigned char>(p[0]);
    const auto hi = static_cast<unsigned char>(p[1]);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(lo | (hi << 8)));
}

inline void StoreSample(char* p, std::int16_t v)
{
    const auto u = static_cast<std::uint16_t>(v);
    p[0] = static_cast<char>(u & 0xFF);
    p[1] = static_cast<char>(u >> 8);
}

// trunc(v) clipped to the 16-bit range; a clipped (or undefined) value sets
// `clipped`.
inline std::int16_t ToSample(float v, bool& clipped)
{
    if (v >= 32768.0f) {
        clipped = true;
        return 32767;
    }
    if (v <= -32769.0f) {
        clipped = true;
        return -32768;
    }
    if (v != v) {
        clipped = true;
        return 0;
    }
    return static_cast<std::int16_t>(static_cast<int>(v));
}

// Filters block j (N frames) of channel c from the input FIFO into the
// output FIFO behind its current fill. Caller holds the lock.
bool FilterBlock(TFFTFilterEngine& e, int c, int j)
{
    const int n = e.n;
    const int half = e.half;
    const int frameBytes = e.channels * 2;
    const char* in = e.inFifo + static_cast<std::size_t>(j) * n * frameBytes + c * 2;
    char* out = e.outFifo + e.outFill + static_cast<std::size_t>(j) * n * frameBytes + c * 2;
    float* z = e.work;
    // Two half-blocks in one transform: the first in the real part, the
    // second in the imaginary part, zero-padded to N.
    for (int m = 0; m < half; ++m) {
        z[2 * m] = LoadSample(in + static_cast<std::size_t>(m) * frameBytes);
        z[2 * m + 1] = LoadSample(in + static_cast<std::size_t>(m + half) * frameBytes);
    }
    std::memset(z + n, 0, sizeof(float) * n);
    DoComplexFFT(e.plan, z, 1);
    ComplexMultiply(z, e.kernel, n);
    DoComplexFFT(e.plan, z, -1);

    bool clipped = false;
    float* tail = e.tails[c];
    for (int m = 0; m < half; ++m) {
        const float y0 = z[2 * m] + tail[m];
        const float y1 = z[2 * (m + half)] + z[2 * m + 1];
        tail[m] = z[2 * (m + half) + 1];
        StoreSample(out + static_cast<std::size_t>(m) * frameBytes, ToSample(y0, clipped));
        StoreSample(out + static_cast<std::size_t>(m + half) * frameBytes, ToSample(y1, clipped));
    }
    return clipped;
}

// Filters one chunk (whole frames, at most maxBytes). Caller holds the lock.
bool FilterChunk(TFFTFilterEngine& e, int channel, char* data, int bytes)
{
    const int frameBytes = e.channels * 2;
    const int blockBytes = e.n * frameBytes;
    if (e.inFill + bytes > e.fifoBytes || e.outFill + e.inFill + bytes > e.fifoBytes) {
        // Cannot happen with chunks of at most maxBytes; never overrun.
        e.inFill = 0;
        e.outFill = 0;
    }
    std::memcpy(e.inFifo + e.inFill, data, static_cast<std::size_t>(bytes));
    e.inFill += bytes;

    const int blocks = e.inFill / blockBytes;
    const bool stereo = e.channels == 2;
    int first = 0;
    int last = e.channels - 1;
    if (channel == chLeft) {
        last = 0;
    } else if (channel == chRight && stereo) {
        first = 1;
    }
    const bool single = stereo && first == last;

    bool clipped = false;
    for (int c = first; c <= last; ++c)
        for (int j = 0; j < blocks; ++j)
            clipped |= FilterBlock(e, c, j);

    const int done = blocks * blockBytes;
    e.outFill += done;
    e.inFill -= done;
    if (done > 0 && e.inFill > 0)
        std::memmove(e.inFifo, e.inFifo + done, static_cast<std::size_t>(e.inFill));

    const int d = std::min(bytes, e.outFill);
    const int head = bytes - d;
    if (!single) {
        std::memset(data, 0, static_cast<std::size_t>(head));
        std::memcpy(data + head, e.outFifo, static_cast<std::size_t>(d));
    } else {
        // Only the filtered channel changes; the other keeps its input.
        for (int p = first * 2; p < head; p += frameBytes)
            StoreSample(data + p, 0);
        for (int p = first * 2; p < d; p += frameBytes) {
            data[head + p] = e.outFifo[p];
            data[head + p + 1] = e.outFifo[p + 1];
        }
    }
    e.outFill -= d;
    if (d > 0 && e.outFill > 0)
        std::memmove(e.outFifo, e.outFifo + d, static_cast<std::size_t>(e.outFill));
    return clipped;
}

}  // namespace

PFFTFilter CreateFilterEngine(const WAVEFORMATEX* format, int fftLength, int maxBufferBytes, std::mutex* lock)
{
    auto* e = new (std::nothrow) TFFTFilterEngine;
    if (e == nullptr)
        return nullptr;
    if (lock != nullptr)
        e->lock = lock;
    if (IsValidPcmFormat(format)) {
        e->formatCode = (format->wBitsPerSample == 16 ? 1 : 0) | (format->nChannels == 2 ? 2 : 0);
        e->sampleRate = static_cast<int>(format->nSamplesPerSec);
        e->channels = format->nChannels;
    }
    int n = 2;
    const int request = std::min(fftLength, kMaxFilterFFTLength);
    while (n * 2 <= request)
        n *= 2;
    e->n = n;
    e->half = n / 2;
    while ((1 << e->k) < n)
        ++e->k;
    e->plan = CreateComplexFFT(e->k);

    const int frameBytes = e->channels * 2;
    int maxBytes = std::max(maxBufferBytes, kMinBufferBytes);
    maxBytes = std::min(maxBytes, 0x3FFFFFFF / 2);
    maxBytes -= maxBytes % frameBytes;
    e->maxBytes = maxBytes;
    e->fifoBytes = maxBytes * 2;

    const std::size_t floats = (kMaxHalf + 1) + 2 * kMaxFilterFFTLength * 2 + 2 * kMaxHalf;
    const std::size_t total = floats * sizeof(float) + 2 * static_cast<std::size_t>(e->fifoBytes);
    e->block = std::calloc(1, total);
    if (e->plan == nullptr || e->block == nullptr) {
        FreeFilterEngine(e);
        return nullptr;
    }
    auto* f = static_cast<float*>(e->block);
    e->response = f;
    f += kMaxHalf + 1;
    e->kernel = f;
    f += 2 * kMaxFilterFFTLength;
    e->work = f;
    f += 2 * kMaxFilterFFTLength;
    e->tails[0] = f;
    f += kMaxHalf;
    e->tails[1] = f;
    f += kMaxHalf;
    e->inFifo = reinterpret_cast<char*>(f);
    e->outFifo = e->inFifo + e->fifoBytes;

    ResetFilterEngine(e);
    SetBandGain(e, 0.0f, static_cast<float>(e->sampleRate / 2), 0.0f);
    return e;
}

void FreeFilterEngine(PFFTFilter engine)
{
    if (engine == nullptr)
        return;
    FreeComplexFFT(engine->plan);
    std::free(engine->block);
    delete engine;
}

void SetBandGain(PFFTFilter engine, float gainDb, float f2, float f1)
{
    if (engine == nullptr || engine->sampleRate < 2)
        return;
    if (std::isnan(gainDb) || std::isnan(f1) || std::isnan(f2))
        return;
    TFFTFilterEngine& e = *engine;
    const int h = e.sampleRate / 2;
    if (!(f1 < static_cast<float>(h)))
        f1 = static_cast<float>(h - 1);
    if (f2 > static_cast<float>(h))
        f2 = static_cast<float>(h);
    if (f1 > f2)
        std::swap(f1, f2);
    const float b = static_cast<float>(e.sampleRate) / static_cast<float>(e.n);
    // Quotients are clamped to the bins before conversion (edges below 0 Hz
    // land on bin 0).
    auto bin = [&](float q) {
        if (!(q > 0.0f))
            return 0;
        if (q >= static_cast<float>(e.half))
            return e.half;
        return static_cast<int>(q);
    };
    const int first = bin(f1 / b);
    const int last = f2 == f1 ? bin((f2 + 1.0f) / b) : bin(f2 / b);
    gainDb = std::min(gainDb, kMaxGainDb);
    const float gain = static_cast<float>(std::pow(10.0L, (static_cast<long double>(gainDb) + 6.0L) / 20.0L));

    std::lock_guard guard(*e.lock);
    for (int m = first; m <= last; ++m)
        e.response[m] = gain;
    RebuildKernel(e);
}

void SetFilterWindow(PFFTFilter engine, int window)
{
    if (engine == nullptr)
        return;
    std::lock_guard guard(*engine->lock);
    engine->window = window;
    RebuildKernel(*engine);
}

void ResetFilterEngine(PFFTFilter engine)
{
    if (engine == nullptr)
        return;
    std::lock_guard guard(*engine->lock);
    engine->inFill = 0;
    engine->outFill = 0;
    std::memset(engine->tails[0], 0, sizeof(float) * kMaxHalf);
    std::memset(engine->tails[1], 0, sizeof(float) * kMaxHalf);
}

bool FilterBuffer(PFFTFilter engine, int channel, char* data, int bytes)
{
    if (engine == nullptr)
        return false;
    std::lock_guard guard(*engine->lock);
    return FilterBufferLocked(engine, channel, data, bytes);
}

bool FilterBufferLocked(PFFTFilter engine, int channel, char* data, int bytes)
{
    if (engine == nullptr || data == nullptr || bytes <= 0 || !Is16Bit(*engine))
        return false;
    TFFTFilterEngine& e = *engine;
    const int frameBytes = e.channels * 2;
    // Whole frames only; a trailing partial frame passes untouched.
    int remaining = bytes - bytes % frameBytes;
    bool clipped = false;
    while (remaining > 0) {
        const int chunk = std::min(remaining, e.maxBytes);
        clipped |= FilterChunk(e, channel, data, chunk);
        data += chunk;
        remaining -= chunk;
    }
    return clipped;
}

int FilterEngineFFTLength(PFFTFilter engine)
{
    return engine == nullptr ? 0 : engine->n;
}

int FilterEngineWindow(PFFTFilter engine)
{
    if (engine == nullptr)
        return -1;
    std::lock_guard guard(*engine->lock);
    return engine->window;
}

void GetFilterResponse(PFFTFilter engine, float* gains)
{
    if (engine == nullptr || gains == nullptr)
        return;
    std::lock_guard guard(*engine->lock);
    std::memcpy(gains, engine->response, sizeof(float) * (engine->half + 1));
}

void GetFilterKernel(PFFTFilter engine, float* kernel)
{
    if (engine == nullptr || kernel == nullptr)
        return;
    std::lock_guard guard(*engine->lock);
    std::memcpy(kernel, engine->kernel, sizeof(float) * 2 * engine->n);
}

int FilterEngineInputFill(PFFTFilter engine)
{
    if (engine == nullptr)
        return 0;
    std::lock_guard guard(*engine->lock);
    return engine->inFill;
}

int FilterEngineOutputFill(PFFTFilter engine)
{
    if (engine == nullptr)
        return 0;
    std::lock_guard guard(*engine->lock);
    return engine->outFill;
}

}  // namespace zol
