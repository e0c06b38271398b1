// Temporal smoothing of a display's levels, shared by the meter and the
// spectrum analyser.
#pragma once

namespace zol {

enum TMMDecayMode { dmNone, dmStepUp, dmExponential, dmUniform };

}  // namespace zol
