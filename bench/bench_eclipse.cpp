// Cost of the eclipse computations: the obscuration at one instant (called
// for every chart step when a recording starts) and the search of a date's
// local circumstances (with and without an eclipse near), and the charts'
// trace of the path's midpoint.
#include "app/eclipsetrace.h"
#include "bench/figure.h"
#include "platform/clock.h"
#include "station/eclipse.h"

#include <cstdio>

using namespace zol;
using namespace zol::station;

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

int main()
{
    const GeoPoint nashville{36.1627, -86.7816};
    const UtcSeconds start = UtcFromCivil(2017, 8, 21, 16);
    double sum = 0;
    const double instant = MicrosPerCall(200000, [&](int i) { sum += ObscurationAt(nashville, start + i * 0.1); });
    std::printf("obscuration at one instant: %.2f us\n", instant);
    int found = 0;
    const double eclipseDay =
        MicrosPerCall(20, [&](int) { found += FindLocalEclipse(nashville, {2017, 8, 21}).kind != EclipseKind::None; });
    std::printf("local circumstances, eclipse day: %.2f ms\n", eclipseDay / 1000);
    const double newMoon = MicrosPerCall(20, [&](int) { found += HasEclipse(nashville, {2017, 9, 20}); });
    std::printf("no eclipse, new moon (full scan): %.2f ms\n", newMoon / 1000);
    const double otherDay = MicrosPerCall(2000, [&](int) { found += HasEclipse(nashville, {2017, 9, 5}); });
    std::printf("no eclipse, far from new moon: %.2f us\n", otherDay);
    // The charts' trace: a chart step on an eclipse day (the date searched
    // once), a step on a day without one, and a restore of both charts
    // (about 330 + 330 steps over a new date).
    TEclipseTrace path({32.9792, -97.125}, {40.7, -89.6});
    const UtcSeconds april = UtcFromCivil(2024, 4, 8, 17, 30);
    path.ObscurationPercent(april);
    const double step = MicrosPerCall(100000, [&](int i) { sum += path.ObscurationPercent(april + i * 0.05).value_or(0); });
    std::printf("chart step, eclipse day: %.2f us\n", step);
    const UtcSeconds plain = UtcFromCivil(2024, 5, 20, 12);
    path.ObscurationPercent(plain);
    const double none = MicrosPerCall(100000, [&](int i) { sum += path.ObscurationPercent(plain + i * 0.05).value_or(0); });
    std::printf("chart step, no eclipse that day: %.3f us\n", none);
    const double restore = MicrosPerCall(5, [&](int r) {
        TEclipseTrace fresh({32.9792, -97.125}, {40.7, -89.6});
        const UtcSeconds from = UtcFromCivil(2024, 4, 8, 18) + r;
        for (int i = 0; i < 330; ++i)
            sum += fresh.ObscurationPercent(from + i * 5).value_or(0) + fresh.ObscurationPercent(from + i * 30).value_or(0);
    });
    std::printf("restore of both charts on an eclipse day: %.2f ms\n", restore / 1000);
    // A chart step is due every 5 s; the restore is part of a start that
    // takes a fraction of a second.
    PrintFigure("eclipse_chart_step", step, 100, "us");
    PrintFigure("eclipse_restore_both_charts", restore / 1000, 100, "ms");
    std::printf("(checksum %.3f, %d)\n", sum, found);
    return 0;
}
