// Temporal smoothing of a display's levels, shared by the meter and the
// spectrum analyser.
#pragma once

#include <cmath>

namespace zol {

enum TMMDecayMode { dmNone, dmStepUp, dmExponential, dmUniform };

// The exponential decay's factor per step for a `Decay` of 1..16: 0.0001
// square-rooted `decay` times (0.01 at 1, close to 1 at 16).
inline double DecayFactor(int decay)
{
    double f = 0.0001;
    for (int i = 0; i < decay; ++i)
        f = std::sqrt(f);
    return f;
}

}  // namespace zol
