// The wave-in back end that plays an audio file as if it were recorded:
// any file libsndfile reads, converted to the capture format.
#include "platform/errors.h"
#include "platform/pcmsample.h"
#include "platform/soundfile.h"
#include "platform/wavein_paced.h"
#include "platform/wavein_sources.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTimeZone>

#include <vector>

namespace zol::platform {

namespace {

// The flags a file back end shares with the sources it makes.
struct WavState {
    std::atomic<bool> ended{false};
    std::atomic<bool> held{false};
};

// Reads the file's frames and converts them (channels, width, rate by
// linear interpolation) to the capture format.
class WavFileSource : public PacedSource {
public:
    WavFileSource(const QString& path, const WAVEFORMATEX& f, std::shared_ptr<WavState> state)
        : format_(f), state_(std::move(state))
    {
        try {
            reader_ = std::make_unique<SoundFileReader>(path);
        } catch (const EMMWaveInError&) {
            return;  // gone since the back end was made: the device cannot open
        }
        channels_ = reader_->Info().channels;
        step_ = static_cast<double>(reader_->Info().rate) / f.nSamplesPerSec;
        ok_ = ReadFrame(cur_);
        if (ok_)
            haveNext_ = ReadFrame(next_);
    }

    bool Ok() const { return ok_; }

    int Fill(char* data, int bytes) override
    {
        const int frames = bytes / format_.nBlockAlign;
        char* p = data;
        if (state_->held) {
            // Held back: silence, and the recording waits.
            for (int i = 0; i < frames * format_.nChannels; ++i)
                p = PutSample(p, 0.0, format_.wBitsPerSample);
            return frames * format_.nBlockAlign;
        }
        // The format in locals: the bytes written could alias it.
        const int bits = format_.wBitsPerSample;
        const bool mono = format_.nChannels == 1;
        int made = 0;
        for (; made < frames && ok_; ++made) {
            double l, r;
            Interpolated(l, r);
            if (mono) {
                p = PutSample(p, 0.5 * (l + r), bits);
            } else {
                p = PutSample(p, l, bits);
                p = PutSample(p, r, bits);
            }
            Step();
        }
        if (!ok_ || made < frames)
            state_->ended = true;
        return made * format_.nBlockAlign;
    }

    void Skip(int frames) override
    {
        if (state_->held)
            return;
        for (int i = 0; i < frames && ok_; ++i)
            Step();
        if (!ok_)
            state_->ended = true;
    }

private:
    struct Frame {
        double l = 0, r = 0;
    };
    void Interpolated(double& l, double& r) const
    {
        const Frame& b = haveNext_ ? next_ : cur_;
        l = cur_.l + (b.l - cur_.l) * frac_;
        r = cur_.r + (b.r - cur_.r) * frac_;
    }
    void Step()
    {
        frac_ += step_;
        while (frac_ >= 1.0) {
            frac_ -= 1.0;
            if (!haveNext_) {
                ok_ = false;  // the last frame has been used
                return;
            }
            cur_ = next_;
            haveNext_ = ReadFrame(next_);
        }
    }
    bool ReadFrame(Frame& out)
    {
        if (pos_ >= filled_) {
            constexpr std::int64_t kChunk = 8192;
            buffer_.resize(static_cast<size_t>(kChunk * channels_));
            filled_ = reader_ ? reader_->Read(buffer_.data(), kChunk) : 0;
            pos_ = 0;
            if (filled_ <= 0)
                return false;
        }
        const double* p = buffer_.data() + pos_ * channels_;
        out.l = p[0];
        out.r = channels_ == 2 ? p[1] : p[0];
        ++pos_;
        return true;
    }

    WAVEFORMATEX format_;
    std::shared_ptr<WavState> state_;
    std::unique_ptr<SoundFileReader> reader_;
    int channels_ = 1;
    double step_ = 1;
    double frac_ = 0;
    std::vector<double> buffer_;
    std::int64_t filled_ = 0;
    std::int64_t pos_ = 0;
    Frame cur_, next_;
    bool haveNext_ = false;
    bool ok_ = false;
};

class WavFileBackend : public PacedWaveInBackend {
public:
    WavFileBackend(const QString& path, std::shared_ptr<WavState> state)
        : PacedWaveInBackend(QFileInfo(path).fileName(), QStringLiteral("%1 %2").arg(FileKind(path), path),
                             [path, state](const WAVEFORMATEX& f) -> std::unique_ptr<PacedSource> {
                                 state->ended = false;
                                 auto source = std::make_unique<WavFileSource>(path, f, state);
                                 if (!source->Ok())
                                     return nullptr;
                                 return source;
                             }),
          state_(std::move(state))
    {
    }
    static QString FileKind(const QString& path)
    {
        const QString suffix = QFileInfo(path).suffix().toLower();
        return suffix == QLatin1String("wav")    ? QStringLiteral("WAV file")
               : suffix == QLatin1String("flac") ? QStringLiteral("FLAC file")
                                                 : QStringLiteral("audio file");
    }
    std::shared_ptr<WavState> state_;
};

}  // namespace

QDateTime RecordingNameTime(const QString& path)
{
    static const QRegularExpression name(QStringLiteral("^zol-(\\d{8}T\\d{6})(?:\\.(\\d{3}))?Z\\.[A-Za-z0-9]+$"));
    const QRegularExpressionMatch m = name.match(QFileInfo(path).fileName());
    if (!m.hasMatch())
        return QDateTime();
    QDateTime t = QDateTime::fromString(m.captured(1), QStringLiteral("yyyyMMddTHHmmss"));
    if (!t.isValid())
        return QDateTime();
    t.setTimeZone(QTimeZone::utc());
    return t.addMSecs(m.captured(2).toInt());
}

QDateTime WavRecordingStart(const QString& path)
{
    // A recording zol made carries its start in its name.
    const QDateTime named = RecordingNameTime(path);
    if (named.isValid())
        return named.toLocalTime();
    try {
        const SoundFileReader reader(path);
        const SoundFileInfo& info = reader.Info();
        const QDateTime written = QFileInfo(path).lastModified();
        // A file cut short (a recording that was killed) has no length.
        if (info.rate <= 0 || !written.isValid() || info.frames > (std::int64_t{1} << 40))
            return QDateTime();
        return written.addMSecs(-info.frames * 1000 / info.rate);
    } catch (const EMMWaveInError&) {
        return QDateTime();
    }
}

std::shared_ptr<WaveInBackend> MakeWavFileBackend(const QString& path)
{
    // Refused here, with the reason, when it cannot be used.
    { const SoundFileReader check(path); }
    return std::make_shared<WavFileBackend>(path, std::make_shared<WavState>());
}

bool WavFileEnded(const std::shared_ptr<WaveInBackend>& backend)
{
    auto* wav = dynamic_cast<WavFileBackend*>(backend.get());
    return wav != nullptr && wav->state_->ended.load();
}

void HoldWavFile(const std::shared_ptr<WaveInBackend>& backend, bool hold)
{
    if (auto* wav = dynamic_cast<WavFileBackend*>(backend.get()))
        wav->state_->held = hold;
}

}  // namespace zol::platform
