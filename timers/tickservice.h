// The tick service: one process-wide 25 ms timer that walks a list of
// registered clients and calls each one when its own interval has elapsed.
// Clients are called on the clock's timer thread (the window thread under
// the simulated clock) with the service lock held, so a client is never
// called after RemoveTickClient has returned. Callbacks must not block on
// the window thread.
#pragma once

#include <functional>

namespace zol {

struct TTickClient;
using TTickHandle = TTickClient*;  // nullptr = none
using TTickCallback = std::function<void(TTickHandle handle, void* owner)>;

constexpr int kTickPeriodMs = 25;

// Registers a client (interval at least 25 ms; it is skipped while its pause
// count is above 0). The first client starts the service. Returns none when
// no timer can be had.
TTickHandle AddTickClient(int intervalMs, int pauseCount, TTickCallback callback, void* owner);
// interval := max(interval, 25); the elapsed time starts again at 0.
void SetTickInterval(TTickHandle handle, int intervalMs);
// Pause count + 1; the elapsed time starts again at 0.
void PauseTickClient(TTickHandle handle);
// Pause count - 1 while above 0.
void ResumeTickClient(TTickHandle handle);
// Unlinks and frees the client; the last one stops the service.
void RemoveTickClient(TTickHandle handle);

// Whether the service's timer runs, and how many clients it has.
bool TickServiceRunning();
int TickClientCount();

}  // namespace zol
