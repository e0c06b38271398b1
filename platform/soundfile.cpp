#include "platform/soundfile.h"

#include "platform/errors.h"

#include <QFile>
#include <QFileInfo>

#include <sndfile.h>

namespace zol::platform {

namespace {

// "WAV file", "FLAC file" or "Audio file", for the messages.
QString Kind(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("wav"))
        return QStringLiteral("WAV file");
    if (suffix == QLatin1String("flac"))
        return QStringLiteral("FLAC file");
    return QStringLiteral("Audio file");
}

}  // namespace

bool IsAudioFileName(const QString& name)
{
    static const char* const kSuffixes[] = {"wav", "flac", "ogg", "oga", "opus", "aif", "aiff", "aifc", "au",
                                            "snd", "caf", "w64", "rf64", "mp3", "voc"};
    if (name.contains('/'))
        return true;
    const QString suffix = QFileInfo(name).suffix().toLower();
    for (const char* s : kSuffixes)
        if (suffix == QLatin1String(s))
            return true;
    return false;
}

// ---------------------------------------------------------------------------
// Reading

SoundFileReader::SoundFileReader(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    auto fail = [&](const QString& why) {
        return EMMWaveInError(QStringLiteral("%1 \"%2\": %3").arg(Kind(path), name, why));
    };
    // The system's reason for a file that cannot be read at all.
    QFile probe(path);
    if (QFileInfo(path).isDir() || !probe.open(QIODevice::ReadOnly))
        throw fail(QStringLiteral("cannot be opened (%1)")
                       .arg(QFileInfo(path).isDir() ? QStringLiteral("Is a directory") : probe.errorString()));
    probe.close();
    SF_INFO info{};
    file_ = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (file_ == nullptr)
        throw fail(QStringLiteral("is no audio file that can be read (%1)").arg(QString::fromUtf8(sf_strerror(nullptr))));
    info_.rate = info.samplerate;
    info_.channels = info.channels;
    info_.frames = info.frames;
    auto refuse = [&](const QString& why) {
        sf_close(file_);
        file_ = nullptr;
        return fail(why);
    };
    if (info.channels < 1 || info.channels > 2)
        throw refuse(QStringLiteral("only files with 1 or 2 channels can be used (this one: %1 channels)")
                         .arg(info.channels));
    if (info.frames <= 0)
        throw refuse(QStringLiteral("holds no audio"));
    if (info.samplerate < 1000 || info.samplerate > 400000)
        throw refuse(QStringLiteral("has an unusable sample rate of %1 Hz").arg(info.samplerate));
}

SoundFileReader::~SoundFileReader()
{
    if (file_ != nullptr)
        sf_close(file_);
}

std::int64_t SoundFileReader::Read(double* data, std::int64_t frames)
{
    if (file_ == nullptr || frames <= 0)
        return 0;
    const sf_count_t n = sf_readf_double(file_, data, frames);
    return n > 0 ? n : 0;
}

// ---------------------------------------------------------------------------
// Writing

SoundFileWriter::~SoundFileWriter()
{
    Close();
}

bool SoundFileWriter::Create(const QString& path, int rate, int channels)
{
    Close();
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    file_ = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (file_ == nullptr) {
        error_ = QString::fromUtf8(sf_strerror(nullptr));
        return false;
    }
    path_ = path;
    channels_ = channels;
    error_.clear();
    return true;
}

bool SoundFileWriter::Write(const std::int16_t* samples, std::int64_t frames)
{
    if (file_ == nullptr)
        return false;
    const sf_count_t n = sf_writef_short(file_, samples, frames);
    if (n == frames)
        return true;
    error_ = QString::fromUtf8(sf_strerror(file_));
    return false;
}

void SoundFileWriter::Sync()
{
    if (file_ != nullptr)
        sf_write_sync(file_);
}

void SoundFileWriter::Close()
{
    if (file_ == nullptr)
        return;
    sf_write_sync(file_);
    sf_close(file_);
    file_ = nullptr;
}

}  // namespace zol::platform
