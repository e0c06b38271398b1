// Error numbers of the sound-device layer. Back ends report failures with
// these numbers (or with their own positive numbers above kMMBackendBase);
// each back end supplies the text for a number.
#pragma once

namespace zol::platform {

constexpr int MMSYSERR_NOERROR = 0;
constexpr int MMSYSERR_ERROR = 1;
constexpr int MMSYSERR_BADDEVICEID = 2;
constexpr int MMSYSERR_NOTENABLED = 3;
constexpr int MMSYSERR_ALLOCATED = 4;
constexpr int MMSYSERR_INVALHANDLE = 5;
constexpr int MMSYSERR_NODRIVER = 6;
constexpr int MMSYSERR_NOMEM = 7;
constexpr int MMSYSERR_NOTSUPPORTED = 8;
constexpr int MMSYSERR_BADERRNUM = 9;
constexpr int MMSYSERR_INVALFLAG = 10;
constexpr int MMSYSERR_INVALPARAM = 11;
constexpr int WAVERR_BADFORMAT = 32;
constexpr int WAVERR_STILLPLAYING = 33;
constexpr int WAVERR_UNPREPARED = 34;
// Back ends with error numbers of their own (ALSA: 1000 + errno) add them
// to this base so they never collide with the numbers above.
constexpr int kMMBackendBase = 1000;

// Text of one of the numbers above; empty for a number it does not know.
const char* MMSystemErrorText(int code);

}  // namespace zol::platform
