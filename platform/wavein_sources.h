// The wave-in back ends that make their own audio: the simulated receiver,
// a WAV file, and a scriptable source for tests. All are paced by the clock
// in use (see wavein_paced.h).
#pragma once

#include "platform/simreceiver.h"
#include "platform/wavein_device.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <QDateTime>

#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace zol::platform {

// A receiver tuned to a distant carrier: a tone in the 550-750 Hz band
// with a little noise and a slow fade, scaled by the simulated capture gain
// (the simulated mixer's microphone volume); see simreceiver.h.
std::shared_ptr<WaveInBackend> MakeSimReceiverBackend(const SimReceiverOptions& options = {});

// An audio file played as if recorded: any file libsndfile reads (WAV,
// FLAC, ...) with 1 or 2 channels, converted to whatever format the capture
// asks for. Any other file raises EMMWaveInError with a message that says
// why. At the end of the file the device goes quiet (see WavFileEnded).
std::shared_ptr<WaveInBackend> MakeWavFileBackend(const QString& path);
// When the recording in a file began: for a recording zol made, the UTC time
// in its name (zol-20260812T170002.123Z.flac); else the file's last change
// less the recording's length. In local time; invalid when the file cannot
// be read.
QDateTime WavRecordingStart(const QString& path);
// The UTC time in the name of a recording zol made, or an invalid time.
QDateTime RecordingNameTime(const QString& path);
// Whether the WAV device of `backend` has used up its file.
bool WavFileEnded(const std::shared_ptr<WaveInBackend>& backend);
// While held, the WAV device of `backend` records silence and its file
// waits; released, the file plays from where it stood (the program holds a
// recording until measuring begins, so its first second is measured).
void HoldWavFile(const std::shared_ptr<WaveInBackend>& backend, bool hold);

// What a scripted device does; tests change it while it runs.
struct WaveInScript {
    std::mutex mutex;
    // Calls that fail, by name, with the error number they return:
    // "GetCaps", "QueryFormat", "Open", "PrepareHeader", "UnprepareHeader",
    // "AddBuffer", "Start", "Stop", "Reset", "Close".
    std::map<QString, int> failures;
    // Contents of the first buffers, in order. After them each frame holds
    // its number: 16-bit mono and the left channel the low 15 bits, the
    // right channel the next 15; 8-bit samples the low 8 bits.
    std::deque<QByteArray> data;
    // Frames that passed while no buffer was queued (lost): where each run
    // of them began, and how many.
    std::vector<std::pair<std::int64_t, int>> skipped;
    int deviceCount = 1;
    std::uint32_t formats = WAVE_FORMAT_ALL;  // the capability flags reported
    // Lost after this many delivered buffers (-1: never), with this error.
    int loseAfter = -1;
    int loseError = 1;
    bool confirmOpen = true;   // send WIM_OPEN
    bool confirmClose = true;  // send WIM_CLOSE
    // What happened.
    std::atomic<int> opens{0};
    std::atomic<int> closes{0};
    std::atomic<int> delivered{0};
    std::atomic<int> starts{0};
    std::atomic<int> resets{0};
    // The clock's time (microseconds) of every format query, the first call
    // of each opening: when the capture tried the device.
    std::vector<std::int64_t> queries;

    int FailureOf(const QString& call);
};
std::shared_ptr<WaveInBackend> MakeScriptedBackend(std::shared_ptr<WaveInScript> script);

// Writes interleaved frames as a PCM WAV file (tests, tools).
bool WriteWavFile(const QString& path, int rate, int bits, int channels, const QByteArray& data);

}  // namespace zol::platform
