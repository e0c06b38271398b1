// Throughput of the complex FFT and of the FFT filtering engine for
// N = 256, 512 and 1024. When built with FFTW (single precision), the same
// run measures FFTW's transforms and the same fast-convolution block filter
// built on FFTW, and prints our time over theirs (below 1: ours is faster).
#include "bench/figure.h"
#include "chain/fft.h"
#include "chain/fftfilter.h"
#include "platform/clock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#ifdef ZOL_BENCH_WITH_FFTW
#include <fftw3.h>
#endif

using namespace zol;

namespace {

constexpr int kRate = 11025;
constexpr int kBufferBytes = 4096;  // the main window's capture buffer, 16-bit stereo
constexpr int kFrames = kBufferBytes / 4;

// Nanoseconds per call of `work`: the best of several rounds of at least
// 50 ms each after a warm-up. On a shared machine other processes only ever
// make a round slower, so the fastest round is the one to compare.
double NsPerCall(const std::function<void()>& work)
{
    auto& clock = platform::TheClock();
    for (int i = 0; i < 50; ++i)
        work();
    double best = 0;
    for (int round = 0; round < 9; ++round) {
        long long calls = 0;
        const std::int64_t start = clock.NowUs();
        std::int64_t elapsed = 0;
        int batch = 16;
        while (elapsed < 50000) {
            for (int i = 0; i < batch; ++i)
                work();
            calls += batch;
            batch = std::min(batch * 2, 1 << 14);
            elapsed = clock.NowUs() - start;
        }
        const double ns = 1000.0 * static_cast<double>(elapsed) / static_cast<double>(calls);
        if (round == 0 || ns < best)
            best = ns;
    }
    return best;
}

std::vector<std::int16_t> Noise(std::size_t n)
{
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> u(-12000, 12000);
    std::vector<std::int16_t> v(n);
    for (auto& s : v)
        s = static_cast<std::int16_t>(u(rng));
    return v;
}

PFFTFilter MainWindowEngine(int n)
{
    WAVEFORMATEX f{};
    MakePcmFormat(f, 16, 2, kRate);
    PFFTFilter e = CreateFilterEngine(&f, n, 65536);
    SetBandGain(e, -99, 500, 0);
    SetBandGain(e, 0, 750, 550);
    SetBandGain(e, -99, 22050, 800);
    return e;
}

#ifdef ZOL_BENCH_WITH_FFTW
// The engine's block filter on FFTW transforms, for whole buffers of N-frame
// blocks (no FIFO needed): two half-blocks per transform, the same kernel,
// overlap-add, truncation and clipping.
class FftwBlockFilter {
public:
    FftwBlockFilter(int n, const float* kernel) : n_(n), half_(n / 2), tails_(2, std::vector<float>(n / 2))
    {
        work_ = fftwf_alloc_complex(static_cast<std::size_t>(n));
        kernel_ = fftwf_alloc_complex(static_cast<std::size_t>(n));
        std::memcpy(kernel_, kernel, sizeof(float) * 2 * n);
        fwd_ = fftwf_plan_dft_1d(n, work_, work_, FFTW_FORWARD, FFTW_MEASURE);
        inv_ = fftwf_plan_dft_1d(n, work_, work_, FFTW_BACKWARD, FFTW_MEASURE);
    }
    ~FftwBlockFilter()
    {
        fftwf_destroy_plan(fwd_);
        fftwf_destroy_plan(inv_);
        fftwf_free(work_);
        fftwf_free(kernel_);
    }
    void Filter(std::int16_t* data, int frames)
    {
        const float scale = 1.0f / static_cast<float>(n_);
        for (int c = 0; c < 2; ++c) {
            float* tail = tails_[c].data();
            for (int b = 0; b + n_ <= frames; b += n_) {
                std::int16_t* x = data + 2 * b + c;
                for (int m = 0; m < half_; ++m) {
                    work_[m][0] = x[2 * m];
                    work_[m][1] = x[2 * (m + half_)];
                    work_[m + half_][0] = 0;
                    work_[m + half_][1] = 0;
                }
                fftwf_execute(fwd_);
                for (int m = 0; m < n_; ++m) {
                    const float ar = work_[m][0], ai = work_[m][1];
                    const float br = kernel_[m][0], bi = kernel_[m][1];
                    work_[m][0] = (ar * br - ai * bi) * scale;
                    work_[m][1] = (ar * bi + ai * br) * scale;
                }
                fftwf_execute(inv_);
                for (int m = 0; m < half_; ++m) {
                    const float y0 = work_[m][0] + tail[m];
                    const float y1 = work_[m + half_][0] + work_[m][1];
                    tail[m] = work_[m + half_][1];
                    x[2 * m] = Clip(y0);
                    x[2 * (m + half_)] = Clip(y1);
                }
            }
        }
    }

private:
    static std::int16_t Clip(float v)
    {
        if (v >= 32768.0f)
            return 32767;
        if (v <= -32769.0f)
            return -32768;
        return static_cast<std::int16_t>(static_cast<int>(v));
    }
    int n_, half_;
    std::vector<std::vector<float>> tails_;
    fftwf_complex* work_;
    fftwf_complex* kernel_;
    fftwf_plan fwd_, inv_;
};
#endif

void BenchComplexFft()
{
    std::printf("Complex FFT, forward + inverse pair, single precision (ns per pair)\n");
#ifdef ZOL_BENCH_WITH_FFTW
    std::printf("%6s %12s %12s %8s\n", "N", "zol", "FFTW", "ratio");
#else
    std::printf("%6s %12s   (built without FFTW: no reference)\n", "N", "zol");
#endif
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> u(-1, 1);
    for (int k : {8, 9, 10}) {
        const int n = 1 << k;
        std::vector<float> data(2 * n);
        for (float& v : data)
            v = u(rng);
        PComplexFFT plan = CreateComplexFFT(k);
        const double ours = NsPerCall([&] {
            DoComplexFFT(plan, data.data(), 1);
            DoComplexFFT(plan, data.data(), -1);
        });
        FreeComplexFFT(plan);
#ifdef ZOL_BENCH_WITH_FFTW
        fftwf_complex* buf = fftwf_alloc_complex(static_cast<std::size_t>(n));
        fftwf_plan fwd = fftwf_plan_dft_1d(n, buf, buf, FFTW_FORWARD, FFTW_MEASURE);
        fftwf_plan inv = fftwf_plan_dft_1d(n, buf, buf, FFTW_BACKWARD, FFTW_MEASURE);
        for (int i = 0; i < n; ++i) {
            buf[i][0] = u(rng);
            buf[i][1] = u(rng);
        }
        const float scale = 1.0f / static_cast<float>(n);
        const double theirs = NsPerCall([&] {
            fftwf_execute(fwd);
            fftwf_execute(inv);
            for (int i = 0; i < n; ++i) {
                buf[i][0] *= scale;
                buf[i][1] *= scale;
            }
        });
        fftwf_destroy_plan(fwd);
        fftwf_destroy_plan(inv);
        fftwf_free(buf);
        std::printf("%6d %12.0f %12.0f %8.2f\n", n, ours, theirs, ours / theirs);
        char name[64];
        std::snprintf(name, sizeof name, "fft_%d_ns_per_transform", n);
        PrintFigure(name, ours / 2, 1.5 * theirs / 2, "ns");
#else
        std::printf("%6d %12.0f\n", n, ours);
#endif
        std::printf("%6s %12.0f ns per single transform\n", "", ours / 2);
    }
}

void BenchFilterEngine()
{
    std::printf("\nFilter engine, one 4096-byte 16-bit stereo buffer at %d Hz (ns per buffer; "
                "real time = audio time / processing time)\n", kRate);
#ifdef ZOL_BENCH_WITH_FFTW
    std::printf("%6s %12s %12s %12s %8s %10s\n", "N", "zol", "x real time", "FFTW", "ratio", "max diff");
#else
    std::printf("%6s %12s %12s\n", "N", "zol", "x real time");
#endif
    const std::vector<std::int16_t> input = Noise(2 * kFrames);
    const double audioNs = 1e9 * kFrames / kRate;
    for (int n : {256, 512, 1024}) {
        PFFTFilter e = MainWindowEngine(n);
        std::vector<std::int16_t> buf(input.size());
        const double ours = NsPerCall([&] {
            std::memcpy(buf.data(), input.data(), kBufferBytes);
            FilterBuffer(e, chBoth, reinterpret_cast<char*>(buf.data()), kBufferBytes);
        });
#ifdef ZOL_BENCH_WITH_FFTW
        std::vector<float> kernel(2 * n);
        GetFilterKernel(e, kernel.data());
        FftwBlockFilter ref(n, kernel.data());
        std::vector<std::int16_t> other(input.size());
        const double theirs = NsPerCall([&] {
            std::memcpy(other.data(), input.data(), kBufferBytes);
            ref.Filter(other.data(), kFrames);
        });
        // Both filters have seen the same buffers: the last outputs agree to
        // within float rounding at a truncation edge.
        int diff = 0;
        for (std::size_t i = 0; i < buf.size(); ++i)
            diff = std::max(diff, std::abs(buf[i] - other[i]));
        std::printf("%6d %12.0f %12.0f %12.0f %8.2f %10d\n", n, ours, audioNs / ours, theirs, ours / theirs, diff);
        // Per second of stereo audio, against the same filter on FFTW.
        char name[64];
        std::snprintf(name, sizeof name, "filter_%d_us_per_audio_s", n);
        PrintFigure(name, ours / audioNs * 1e6, 1.5 * theirs / audioNs * 1e6, "us");
#else
        std::printf("%6d %12.0f %12.0f\n", n, ours, audioNs / ours);
#endif
        FreeFilterEngine(e);
    }
}

}  // namespace

int main()
{
    BenchComplexFft();
    BenchFilterEngine();
    return 0;
}
