// ALSA's library prints its own diagnostics to standard error; zol reports
// every failure itself (with ALSA's text), so those are turned off.
#pragma once

namespace zol::platform {

// Idempotent; called by the ALSA back ends before they first use ALSA.
void SilenceAlsaLibraryMessages();

}  // namespace zol::platform
