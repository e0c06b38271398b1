// Cost of the eclipse computations: the obscuration at one instant (called
// for every chart step when a recording starts) and the search of a date's
// local circumstances (with and without an eclipse near).
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
    std::printf("(checksum %.3f, %d)\n", sum, found);
    return 0;
}
