#include "platform/mmsyserr.h"

namespace zol::platform {

const char* MMSystemErrorText(int code)
{
    switch (code) {
    case MMSYSERR_NOERROR: return "No error.";
    case MMSYSERR_ERROR: return "Unspecified error of the sound device.";
    case MMSYSERR_BADDEVICEID: return "There is no sound device with this number.";
    case MMSYSERR_NOTENABLED: return "The sound device is not enabled.";
    case MMSYSERR_ALLOCATED: return "The sound device is in use by another program.";
    case MMSYSERR_INVALHANDLE: return "The sound device is not open.";
    case MMSYSERR_NODRIVER: return "No sound driver is available.";
    case MMSYSERR_NOMEM: return "Not enough memory for the sound device.";
    case MMSYSERR_NOTSUPPORTED: return "The sound device does not support this operation.";
    case MMSYSERR_BADERRNUM: return "Unknown error number.";
    case MMSYSERR_INVALFLAG: return "Invalid flag for the sound device.";
    case MMSYSERR_INVALPARAM: return "Invalid parameter for the sound device.";
    case WAVERR_BADFORMAT: return "The sound device does not support this format.";
    case WAVERR_STILLPLAYING: return "The sound device is still busy with its buffers.";
    case WAVERR_UNPREPARED: return "The buffer was not prepared for the sound device.";
    default: return "";
    }
}

}  // namespace zol::platform
