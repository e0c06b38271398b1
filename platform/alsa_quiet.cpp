#include "platform/alsa_quiet.h"

#include <alsa/asoundlib.h>

#include <mutex>

namespace zol::platform {

namespace {
void Quiet(const char*, int, const char*, int, const char*, ...) {}
}  // namespace

void SilenceAlsaLibraryMessages()
{
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(Quiet); });
}

}  // namespace zol::platform
