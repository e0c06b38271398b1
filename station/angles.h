// Angle units of the sky computations, in radians.
#pragma once

#include <numbers>

namespace zol::station {

inline constexpr double kDeg = std::numbers::pi / 180.0;
inline constexpr double kArcsec = kDeg / 3600.0;

}  // namespace zol::station
