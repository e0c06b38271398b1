// Audio files through libsndfile: reading any format it supports (WAV,
// FLAC, ...) as samples of -1..1, and writing 16-bit FLAC.
#pragma once

#include <QString>

#include <cstdint>

struct sf_private_tag;

namespace zol::platform {

// Whether an input name is an audio file rather than a device: a path
// (ALSA names hold no "/") or a name with an audio file's suffix.
bool IsAudioFileName(const QString& name);

struct SoundFileInfo {
    int rate = 0;
    int channels = 0;
    std::int64_t frames = 0;
};

class SoundFileReader {
public:
    // Opens the file; raises EMMWaveInError saying why it cannot be used
    // ("WAV file \"x.wav\": cannot be opened (No such file or directory)").
    explicit SoundFileReader(const QString& path);
    ~SoundFileReader();
    SoundFileReader(const SoundFileReader&) = delete;
    SoundFileReader& operator=(const SoundFileReader&) = delete;

    const SoundFileInfo& Info() const { return info_; }
    // Reads up to `frames` frames, interleaved in the file's channels;
    // returns the frames read (0 at the end or after an error).
    std::int64_t Read(double* data, std::int64_t frames);

private:
    sf_private_tag* file_ = nullptr;
    SoundFileInfo info_;
};

// A 16-bit FLAC file being written.
class SoundFileWriter {
public:
    SoundFileWriter() = default;
    ~SoundFileWriter();
    SoundFileWriter(const SoundFileWriter&) = delete;
    SoundFileWriter& operator=(const SoundFileWriter&) = delete;

    // Creates the file (an existing one is replaced); false with Error()
    // saying why.
    bool Create(const QString& path, int rate, int channels);
    bool IsOpen() const { return file_ != nullptr; }
    const QString& Path() const { return path_; }
    // Writes whole interleaved frames; false with Error() when they could
    // not all be written.
    bool Write(const std::int16_t* samples, std::int64_t frames);
    // Makes what was written reach the disk.
    void Sync();
    // Completes the file (its header then holds its length).
    void Close();
    const QString& Error() const { return error_; }

private:
    sf_private_tag* file_ = nullptr;
    int channels_ = 0;
    QString path_;
    QString error_;
};

}  // namespace zol::platform
