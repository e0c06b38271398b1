// The wave-in device interface: what the capture component needs from a
// recording device, whatever delivers the audio (ALSA, a WAV file, the
// simulated receiver, a scripted test source).
//
// A back end lists its devices (counts, capabilities, error texts: the
// DeviceQuery part), answers format queries and opens devices. An open
// device takes buffers (WAVEHDR with its data behind it), fills them with
// whole frames in the order they were queued, and hands each filled buffer
// back through the callback. Open and close are confirmed through the
// callback (WIM_OPEN before Open returns, WIM_CLOSE before Close returns).
// Data callbacks come from the back end's own thread (or the clock's timer
// callbacks); the callback must only record or post, never block on the
// window thread. No callback runs after Close has returned.
#pragma once

#include "platform/waveformat.h"
#include "platform/devicequery.h"
#include "platform/mmsyserr.h"

#include <QString>

#include <functional>
#include <memory>

namespace zol::platform {

// Device messages.
constexpr int WIM_OPEN = 0x3BE;
constexpr int WIM_CLOSE = 0x3BF;
constexpr int WIM_DATA = 0x3C0;
// The device stopped working (the error number comes with it); it delivers
// nothing more and waits to be closed.
constexpr int WIM_LOST = 0x3C1;

using WaveInCallback = std::function<void(int msg, WAVEHDR* hdr, int error)>;

class WaveInDevice {
public:
    virtual ~WaveInDevice() = default;
    // Each returns 0 or an error number.
    virtual int PrepareHeader(WAVEHDR* hdr);
    virtual int UnprepareHeader(WAVEHDR* hdr);
    virtual int AddBuffer(WAVEHDR* hdr) = 0;
    virtual int Start() = 0;
    // Stops filling; queued buffers stay queued (a partly filled one is
    // handed back with what it holds).
    virtual int Stop() = 0;
    // Stops and hands back every queued buffer (marked done).
    virtual int Reset() = 0;
    // Stops, hands back what is queued, confirms with WIM_CLOSE. The device
    // object may be destroyed afterwards.
    virtual int Close() = 0;
};

class WaveInBackend : public DeviceQuery {
public:
    // 0 when device `id` can record `format`, else an error number.
    virtual int QueryFormat(int id, const WAVEFORMATEX& format) = 0;
    // Opens device `id` (-1: the system default) for recording.
    virtual int Open(int id, const WAVEFORMATEX& format, WaveInCallback callback,
                     std::unique_ptr<WaveInDevice>& device) = 0;
    // A short description for messages ("ALSA default", "simulated receiver").
    virtual QString Description() const = 0;
    // The name of device `id` as the user gave or knows it ("default",
    // "plughw:1,0"), for messages about that device. By default the product
    // name of its capabilities.
    virtual QString DeviceName(int id);
};

// Queue helpers shared by the back ends: mark a header as handed back.
inline void MarkDone(WAVEHDR* hdr)
{
    hdr->dwFlags = (hdr->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
}

// Whether a header offered to AddBuffer can be queued: 0 or the error number.
inline int CheckBufferToQueue(const WAVEHDR* hdr, int blockAlign)
{
    if (hdr == nullptr || hdr->lpData == nullptr || hdr->dwBufferLength < static_cast<std::uint32_t>(blockAlign))
        return MMSYSERR_INVALPARAM;
    if (!(hdr->dwFlags & WHDR_PREPARED))
        return WAVERR_UNPREPARED;
    return MMSYSERR_NOERROR;
}

// Marks a header as queued and empty.
inline void MarkQueued(WAVEHDR* hdr)
{
    hdr->dwFlags = (hdr->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    hdr->dwBytesRecorded = 0;
}

// The back end wave-in components bind to. Installing one also registers it
// as the device query of the wave-in kind. Without an installed one, the
// ALSA back end is created on first use.
void SetWaveInBackend(std::shared_ptr<WaveInBackend> backend);
std::shared_ptr<WaveInBackend> CurrentWaveInBackend();

// Makes the back end an --input value names: "default" (ALSA's default
// capture device), "sim" (the simulated receiver), a path ending in ".wav"
// (a WAV file), or any other ALSA PCM name (used as device 0). Raises
// EMMWaveInError with a clear message when the source cannot be used.
std::shared_ptr<WaveInBackend> MakeWaveInBackend(const QString& input);

}  // namespace zol::platform
