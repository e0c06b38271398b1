// Cost of one level-meter block (find the peak of 100 stereo frames, map it,
// redraw the needles over the cached scale) and of one strip-chart step
// (scroll a 652 x 180 picture by 2 pixels and draw the new strip).
#include "displays/meter.h"
#include "displays/scope.h"
#include "platform/clock.h"
#include "platform/window_thread.h"

#include <QApplication>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace zol;

namespace {

template <typename F>
double MicrosPerCall(int calls, F f)
{
    auto& clock = platform::TheClock();
    const std::int64_t start = clock.NowUs();
    for (int i = 0; i < calls; ++i)
        f(i);
    return static_cast<double>(clock.NowUs() - start) / calls;
}

}  // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    platform::InitWindowThread();

    TMMMeter meter;
    meter.resize(149, 99);
    meter.SetBitLength(b16Bit);
    meter.SetMode(mStereo);
    meter.SetSamples(100);
    meter.SetSensitivy(-70);
    meter.SetDecayMode(dmUniform);
    meter.SetDecay(10);
    meter.show();
    (void)meter.Picture();

    // Blocks of alternating loudness so that the needle moves every time.
    std::vector<std::vector<std::int16_t>> blocks(8, std::vector<std::int16_t>(200));
    for (int b = 0; b < 8; ++b)
        for (int i = 0; i < 200; ++i)
            blocks[b][i] = static_cast<std::int16_t>(std::lround(
                (3000 + 3500 * b) * std::sin(2 * M_PI * 650 * (i / 2) / 11025.0)));

    const int meterCalls = 20000;
    const double perBlock = MicrosPerCall(meterCalls, [&](int i) {
        meter.ShowPCMData(reinterpret_cast<const char*>(blocks[i % 8].data()));
    });
    const std::vector<std::int16_t> silence(200, 0);
    meter.ResetDisplay();
    const double perSilent = MicrosPerCall(meterCalls, [&](int) {
        meter.ShowPCMData(reinterpret_cast<const char*>(silence.data()));
    });

    TScope chart;
    chart.resize(652, 180);
    chart.SetGridsize(4);
    chart.Clear();
    chart.show();
    const int stepCalls = 5000;
    const double perStep = MicrosPerCall(stepCalls, [&](int i) {
        chart.SetPositionA(20 + i % 60);
        chart.SetPositionB(10 + i % 30);
        chart.Step();
    });

    std::printf("meter block (100 stereo frames, needle redrawn): %8.2f us\n", perBlock);
    std::printf("meter block of silence on a resting needle:      %8.2f us\n", perSilent);
    std::printf("strip-chart step (652 x 180):                    %8.2f us\n", perStep);
    std::printf("(a 4096-byte buffer feeds the meter 10 blocks; the 5 s chart steps every 5 s)\n");
    return 0;
}
