#include "app/eclipsetrace.h"

#include <algorithm>
#include <cmath>

namespace zol {

using namespace station;

namespace {
// A restore crosses a few dates at most; a live run one or two.
constexpr std::size_t kDaysKept = 4;
constexpr double kDay = 86400;
}  // namespace

TEclipseTrace::TEclipseTrace(GeoPoint receiver, GeoPoint transmitter)
    : receiver_(receiver), transmitter_(transmitter), midpoint_(GreatCircleMidpoint(receiver, transmitter))
{
}

const TEclipseTrace::Day& TEclipseTrace::DayOf(long long number)
{
    const auto found = std::find_if(days_.begin(), days_.end(), [&](const Day& d) { return d.number == number; });
    if (found != days_.end())
        return *found;
    if (days_.size() >= kDaysKept)
        days_.erase(days_.begin());
    LocalEclipse eclipse;
    if (midpoint_)
        eclipse = FindLocalEclipse(*midpoint_, DateOf(static_cast<double>(number) * kDay));
    ++searched_;
    days_.push_back({number, eclipse});
    return days_.back();
}

const LocalEclipse& TEclipseTrace::EclipseOn(Date date)
{
    return DayOf(static_cast<long long>(std::floor(StartOfDay(date) / kDay))).eclipse;
}

std::optional<double> TEclipseTrace::ObscurationPercent(UtcSeconds t)
{
    if (!midpoint_ || !std::isfinite(t))
        return std::nullopt;
    const LocalEclipse& e = DayOf(static_cast<long long>(std::floor(t / kDay))).eclipse;
    if (e.kind == EclipseKind::None)
        return std::nullopt;
    // Before first and after last contact the discs are apart.
    if (t <= e.first.time || t >= e.last.time)
        return 0.0;
    return std::clamp(ObscurationAt(*midpoint_, t), 0.0, 1.0) * 100.0;
}

std::optional<int> ObscurationPosition(const std::optional<double>& percent)
{
    if (!percent)
        return std::nullopt;
    return static_cast<int>(std::nearbyint(std::clamp(*percent, 0.0, 100.0)));
}

}  // namespace zol
