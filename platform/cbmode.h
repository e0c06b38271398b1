// How a component hands its work (timer ticks, filled capture buffers) to
// user code: as window messages, directly on the delivering thread, or
// through a worker thread of its own.
#pragma once

namespace zol {

enum TMMCBMode { cmWindow, cmCallback, cmThread };

}  // namespace zol
