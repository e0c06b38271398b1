// Pushes an hour of simulated-receiver audio (11025 Hz, 16-bit stereo,
// ten buffers of 4096 bytes) through the capture source into a counting
// link, in simulated time, and prints how many seconds of audio pass per
// second of CPU time, for the capture thread and for the window mode.
#include "chain/wavein.h"
#include "platform/clock.h"
#include "platform/wavein_sources.h"
#include "platform/window_thread.h"

#include <QCoreApplication>

#include <atomic>
#include <cstdio>
#include <ctime>

using namespace zol;
namespace pf = zol::platform;

namespace {

double CpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

class CountingLink : public TMMDSPComponent {
public:
    std::atomic<std::int64_t> bytes{0};
    std::atomic<std::int64_t> sum{0};
    void BufferReady(PWaveHdr hdr) override
    {
        bytes += hdr->dwBytesRecorded;
        // Touch the data as a real link would.
        const auto* s = reinterpret_cast<const std::int16_t*>(hdr->lpData);
        std::int64_t local = 0;
        for (std::uint32_t i = 0; i < hdr->dwBytesRecorded / 2; ++i)
            local += s[i] < 0 ? -s[i] : s[i];
        sum += local;
        TMMDSPComponent::BufferReady(hdr);
    }
};

void Run(TMMCBMode mode, const char* name)
{
    auto clock = std::make_unique<pf::SimClock>();
    pf::SimClock& sim = *clock;
    pf::InstallClock(std::move(clock));
    CountingLink link;
    {
        TMMWaveIn wave(nullptr, pf::MakeSimReceiverBackend());
        wave.SetCallBackMode(mode);
        wave.SetBufferSize(4096);
        wave.SetMode(mStereo);
        wave.SetBitLength(b16Bit);
        wave.SetOutput(&link);
        const double cpu0 = CpuSeconds();
        wave.Start();
        const int seconds = 3600;
        for (int s = 0; s < seconds; s += 10)
            sim.AdvanceMs(10000);
        wave.Close();
        const double cpu = CpuSeconds() - cpu0;
        const double audio = static_cast<double>(link.bytes.load()) / 44100.0;
        std::printf("%-14s %8.1f s of audio (%lld buffers) in %6.3f s CPU: %9.0f audio seconds per CPU second\n", name,
                    audio, static_cast<long long>(link.bytes.load() / 4096), cpu, audio / cpu);
    }
    pf::InstallClock(nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    pf::InitWindowThread();
    std::printf("capture of one simulated hour, 11025 Hz 16-bit stereo, 4096-byte buffers\n");
    Run(cmThread, "capture thread");
    Run(cmWindow, "window");
    return 0;
}
