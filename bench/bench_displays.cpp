// CPU cost of what the main window draws, per second of audio, as a share of
// one core. First each of the window's own displays (its meters, its
// oscilloscope and its spectrum analyser, with the form's settings) is fed
// the slices a connector hands it for that much audio; then the whole window
// runs on the simulated receiver and the simulated clock for a number of
// seconds (capture, filters, connectors, every display, charts and logs).
// The budget is 2 % of one core for everything at the real rate.
//   bench_displays [seconds]   (default 60)
#include "app/zolu.h"
#include "bench/figure.h"
#include "displays/meter.h"
#include "displays/oscope.h"
#include "displays/spectrum.h"
#include "platform/clock.h"
#include "platform/mixerbackend.h"
#include "platform/wavein_device.h"
#include "platform/wavein_sources.h"
#include "platform/window_thread.h"

#include <QApplication>
#include <QTemporaryDir>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <random>
#include <vector>

using namespace zol;

namespace {

constexpr int kRate = 11025;
constexpr int kBufferBytes = 4096;
constexpr double kBudgetPercent = 2.0;

double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

// `seconds` of 16-bit stereo audio: a fading 650 Hz carrier with noise, as
// after the band-pass filter.
std::vector<std::int16_t> Audio(int seconds)
{
    const std::size_t frames = static_cast<std::size_t>(kRate) * seconds;
    std::vector<std::int16_t> v(frames * 2);
    std::mt19937 rng(1);
    std::normal_distribution<double> noise(0.0, 300.0);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double a = 6000 * (0.6 + 0.4 * std::sin(2 * M_PI * 0.2 * t));
        const auto s = static_cast<std::int16_t>(std::lround(a * std::sin(2 * M_PI * 650 * t) + noise(rng)));
        v[2 * i] = s;
        v[2 * i + 1] = s;
    }
    return v;
}

// Feeds one display the slices a connector gives it for the audio: every
// 4096-byte buffer is cut into whole slices of its NeededBytes. Returns the
// CPU seconds spent and the number of slices.
std::pair<double, int> Feed(IMMDisplay& display, const std::vector<std::int16_t>& audio)
{
    const char* bytes = reinterpret_cast<const char*>(audio.data());
    const std::size_t total = audio.size() * 2;
    const int step = display.NeededBytes();
    int slices = 0;
    const double start = CpuSeconds();
    for (std::size_t buffer = 0; buffer + kBufferBytes <= total; buffer += kBufferBytes) {
        for (int pos = 0; pos + step <= kBufferBytes; pos += step) {
            display.ShowPCMData(bytes + buffer + pos);
            ++slices;
        }
        platform::TheClock().ProcessMessages();
    }
    return {CpuSeconds() - start, slices};
}

// One line of figures; slices < 0 for a total.
void PrintShare(const char* what, double cpu, double audioSeconds, int slices)
{
    const double share = 100.0 * cpu / audioSeconds;
    if (slices >= 0)
        std::printf("%-36s %6d slices", what, slices);
    else
        std::printf("%-36s %13s", what, "");
    std::printf(" %9.3f ms CPU per s %7.3f %% of a core\n", 1000.0 * cpu / audioSeconds, share);
}

}  // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    platform::InitWindowThread();
    platform::InstallClock(std::make_unique<platform::SimClock>());
    platform::InstallMixer(platform::CreateMixerBackend("sim"));
    platform::SetWaveInBackend(platform::MakeSimReceiverBackend());
    const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 60;
    auto* sim = dynamic_cast<platform::SimClock*>(&platform::TheClock());

    std::printf("CPU per second of audio (11025 Hz, 16-bit stereo, 4096-byte buffers), %d s\n\n", seconds);
    double displaysCpu = 0;
    {
        // The window's displays with their form settings; capture not started.
        QTemporaryDir dir;
        TOptions options;
        options.workdir = dir.path();
        TMainForm form(options);
        form.show();
        sim->Settle();
        const std::vector<std::int16_t> audio = Audio(seconds);
        struct Item {
            const char* name;
            const char* figure;
            IMMDisplay* display;
        };
        for (const Item& item : {Item{"input meter (MMMeter2)", "display_input_meter_cpu", form.MMMeter2},
                                 Item{"after-filter meter (Om)", "display_filter_meter_cpu", form.Om},
                                 Item{"oscilloscope (Oscillo)", "display_oscilloscope_cpu", form.Oscillo},
                                 Item{"spectrum analyser (Spectrum)", "display_spectrum_cpu", form.Spectrum}}) {
            const auto [cpu, slices] = Feed(*item.display, audio);
            PrintShare(item.name, cpu, seconds, slices);
            PrintFigure(item.figure, 100.0 * cpu / seconds, kBudgetPercent, "%");
            displaysCpu += cpu;
        }
        PrintShare("the four displays together", displaysCpu, seconds, -1);
        PrintFigure("displays_together_cpu", 100.0 * displaysCpu / seconds, kBudgetPercent, "%");
    }

    double windowCpu = 0;
    {
        // The whole window on the simulated receiver.
        QTemporaryDir dir;
        TOptions options;
        options.workdir = dir.path();
        TMainForm form(options);
        form.show();
        form.FormCreate();
        sim->AdvanceMs(3000);  // past the staged start
        const double start = CpuSeconds();
        sim->AdvanceMs(static_cast<std::int64_t>(seconds) * 1000);
        windowCpu = CpuSeconds() - start;
        form.close();
        sim->Settle();
    }
    std::printf("\n");
    PrintShare("whole window (sim input, sim clock)", windowCpu, seconds, -1);
    const double share = 100.0 * windowCpu / seconds;
    PrintFigure("window_sim_clock_cpu", share, kBudgetPercent, "%");
    std::printf("budget: %.1f %% of one core for everything the window draws: %s (%.2f x the budget)\n",
                kBudgetPercent, share <= kBudgetPercent ? "within" : "OVER", share / kBudgetPercent);
    std::printf("(the whole-window figure includes the simulated receiver, both equalizers' filtering and the\n"
                " simulated clock's own stepping of the connectors' 1 ms refresh loop)\n");
    return 0;
}
