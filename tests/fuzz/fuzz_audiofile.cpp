// An audio file as a replay opens and reads it: the input is written to a
// file and opened through libsndfile as the program does, its start time
// taken, and its frames read in the replay's chunks and turned into
// capture samples.
#include "tests/fuzz/fuzz_targets.h"

#include "platform/errors.h"
#include "platform/pcmsample.h"
#include "platform/soundfile.h"
#include "platform/wavein_sources.h"

#include <memory>
#include <string>
#include <vector>

namespace zol::fuzz {

int AudioFile(const std::uint8_t* data, std::size_t size)
{
    // The suffix only names the kind in messages; the reader goes by content.
    const QString path = QString::fromLocal8Bit(WriteTempFile("input.wav", data, size));
    platform::WavRecordingStart(path);
    std::unique_ptr<platform::SoundFileReader> reader;
    try {
        reader = std::make_unique<platform::SoundFileReader>(path);
    } catch (const EMMWaveInError& e) {
        Check(std::string(e.what()).rfind("WAV file \"input.wav\": ", 0) == 0, "a refusal names the file");
        return 0;
    }
    const platform::SoundFileInfo info = reader->Info();
    Check(info.channels == 1 || info.channels == 2, "only mono and stereo files are opened");
    Check(info.rate >= 1000 && info.rate <= 400000, "only usable rates are opened");
    Check(info.frames > 0, "only files with audio are opened");
    constexpr std::int64_t kChunk = 8192;
    std::vector<double> buffer(static_cast<std::size_t>(kChunk * info.channels));
    char sample[2];
    // A header may claim far more frames than the input holds: stop after
    // what any few kilobytes could decode to.
    std::int64_t total = 0;
    while (total < (std::int64_t{1} << 22)) {
        const std::int64_t n = reader->Read(buffer.data(), kChunk);
        Check(n >= 0 && n <= kChunk, "a read returns at most the frames asked for");
        if (n == 0)
            break;
        for (std::int64_t i = 0; i < n * info.channels; ++i) {
            platform::PutSample(sample, buffer[static_cast<std::size_t>(i)], 16);
            platform::PutSample(sample, buffer[static_cast<std::size_t>(i)], 8);
        }
        total += n;
    }
    Check(reader->Read(buffer.data(), 0) == 0, "nothing is read for no frames");
    return 0;
}

}  // namespace zol::fuzz
