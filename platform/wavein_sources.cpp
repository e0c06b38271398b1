#include "platform/wavein_sources.h"

#include "platform/errors.h"
#include "platform/mmsyserr.h"
#include "platform/simgain.h"
#include "platform/wavein_paced.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace zol::platform {

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;

// Writes one sample (-1..1) in the format's width, little-endian.
inline char* PutSample(char* p, double v, int bits)
{
    v = std::clamp(v, -1.0, 1.0);
    if (bits == 16) {
        const auto s = static_cast<std::int16_t>(std::lround(std::clamp(v * 32768.0, -32768.0, 32767.0)));
        const auto u = static_cast<std::uint16_t>(s);
        p[0] = static_cast<char>(u & 0xFF);
        p[1] = static_cast<char>(u >> 8);
        return p + 2;
    }
    const long s = std::lround(std::clamp(v * 128.0 + 128.0, 0.0, 255.0));
    p[0] = static_cast<char>(static_cast<std::uint8_t>(s));
    return p + 1;
}

// ---------------------------------------------------------------------------
// Simulated receiver

class SimReceiverSource : public PacedSource {
public:
    SimReceiverSource(const SimReceiverOptions& o, const WAVEFORMATEX& f)
        : o_(o), format_(f), rng_(o.seed ? o.seed : 1u)
    {
        o_.carrierHz = std::clamp(o_.carrierHz, 550.0, 750.0);
        step_ = kTwoPi * o_.carrierHz / f.nSamplesPerSec;
    }

    int Fill(char* data, int bytes) override
    {
        const int frames = bytes / format_.nBlockAlign;
        const double gain = SimulatedCaptureGain();
        char* p = data;
        for (int i = 0; i < frames; ++i) {
            const double c = Carrier();
            for (int ch = 0; ch < format_.nChannels; ++ch)
                p = PutSample(p, (c + o_.noise * Noise()) * gain, format_.wBitsPerSample);
            Advance();
        }
        return frames * format_.nBlockAlign;
    }

    void Skip(int frames) override
    {
        for (int i = 0; i < frames; ++i)
            Advance();
    }

private:
    double Carrier() const
    {
        const double t = static_cast<double>(frame_) / format_.nSamplesPerSec;
        const double fade = 1.0 - o_.fadeDepth * 0.5 * (1.0 - std::cos(kTwoPi * t / o_.fadePeriodS));
        return o_.level * fade * std::sin(phase_);
    }
    void Advance()
    {
        phase_ += step_;
        if (phase_ >= kTwoPi)
            phase_ -= kTwoPi;
        ++frame_;
    }
    // Roughly normal noise of unit spread: the sum of four uniform values.
    double Noise()
    {
        double sum = 0;
        for (int i = 0; i < 4; ++i) {
            rng_ ^= rng_ << 13;
            rng_ ^= rng_ >> 17;
            rng_ ^= rng_ << 5;
            sum += rng_ / 4294967296.0 - 0.5;
        }
        return sum * 1.7320508;  // 4 uniforms: variance 1/3 -> spread 1
    }

    SimReceiverOptions o_;
    WAVEFORMATEX format_;
    std::uint32_t rng_;
    double phase_ = 0;
    double step_ = 0;
    std::int64_t frame_ = 0;
};

// ---------------------------------------------------------------------------
// WAV file

struct WavInfo {
    int rate = 0;
    int bits = 0;
    int channels = 0;
    qint64 dataOffset = 0;
    qint64 dataBytes = 0;
};

quint32 Le32(const char* p)
{
    return static_cast<quint8>(p[0]) | static_cast<quint8>(p[1]) << 8 | static_cast<quint8>(p[2]) << 16 |
           static_cast<quint32>(static_cast<quint8>(p[3])) << 24;
}
quint16 Le16(const char* p)
{
    return static_cast<quint16>(static_cast<quint8>(p[0]) | static_cast<quint8>(p[1]) << 8);
}

// Reads the header of a WAV file; raises EMMWaveInError saying what is wrong.
WavInfo ReadWavInfo(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    auto fail = [&](const QString& why) -> EMMWaveInError {
        return EMMWaveInError(QStringLiteral("WAV file \"%1\": %2").arg(name, why));
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw fail(QStringLiteral("cannot be opened (%1)").arg(file.errorString()));
    char head[12];
    if (file.read(head, 12) != 12 || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
        throw fail(QStringLiteral("is not a RIFF WAVE file"));
    WavInfo info;
    bool haveFmt = false;
    int tag = 0;
    for (;;) {
        char chunk[8];
        if (file.read(chunk, 8) != 8)
            break;
        const qint64 size = Le32(chunk + 4);
        const qint64 body = file.pos();
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16)
                throw fail(QStringLiteral("has a damaged format chunk"));
            QByteArray fmt = file.read(std::min<qint64>(size, 40));
            if (fmt.size() < 16)
                throw fail(QStringLiteral("has a damaged format chunk"));
            tag = Le16(fmt.constData());
            info.channels = Le16(fmt.constData() + 2);
            info.rate = static_cast<int>(Le32(fmt.constData() + 4));
            info.bits = Le16(fmt.constData() + 14);
            // The extensible layout is plain PCM when its sub-format says so.
            if (tag == 0xFFFE && fmt.size() >= 26)
                tag = Le16(fmt.constData() + 24);
            haveFmt = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFmt)
                throw fail(QStringLiteral("has its data before its format"));
            info.dataOffset = body;
            // A header written before the end of the recording may claim
            // more than there is.
            info.dataBytes = std::min<qint64>(size, file.size() - body);
            break;
        }
        if (!file.seek(body + size + (size & 1)))
            break;
    }
    if (!haveFmt)
        throw fail(QStringLiteral("has no format chunk"));
    if (info.dataOffset == 0)
        throw fail(QStringLiteral("has no data chunk"));
    if (tag != 1 || (info.bits != 8 && info.bits != 16) || (info.channels != 1 && info.channels != 2))
        throw fail(QStringLiteral("only PCM files with 8 or 16 bits and 1 or 2 channels can be used "
                                  "(this one: format %1, %2 bits, %3 channels)")
                       .arg(tag)
                       .arg(info.bits)
                       .arg(info.channels));
    if (info.dataBytes < info.channels * info.bits / 8)
        throw fail(QStringLiteral("holds no audio"));
    if (info.rate < 1000 || info.rate > 400000)
        throw fail(QStringLiteral("has an unusable sample rate of %1 Hz").arg(info.rate));
    return info;
}

}  // namespace

QDateTime WavRecordingStart(const QString& path)
{
    try {
        const WavInfo info = ReadWavInfo(path);
        const qint64 bytesPerSecond = static_cast<qint64>(info.rate) * info.channels * info.bits / 8;
        const QDateTime written = QFileInfo(path).lastModified();
        if (bytesPerSecond <= 0 || !written.isValid())
            return QDateTime();
        return written.addMSecs(-info.dataBytes * 1000 / bytesPerSecond);
    } catch (const EMMWaveInError&) {
        return QDateTime();
    }
}

namespace {

// Reads the file's frames and converts them (channels, width, rate by linear
// interpolation) to the capture format.
// The flags a WAV back end shares with the sources it makes.
struct WavState {
    std::atomic<bool> ended{false};
    std::atomic<bool> held{false};
};

class WavFileSource : public PacedSource {
public:
    WavFileSource(const QString& path, const WavInfo& info, const WAVEFORMATEX& f, std::shared_ptr<WavState> state)
        : file_(path), info_(info), format_(f), state_(std::move(state))
    {
        step_ = static_cast<double>(info.rate) / f.nSamplesPerSec;
        srcBlock_ = info.channels * info.bits / 8;
        remaining_ = info.dataBytes / srcBlock_;
        ok_ = file_.open(QIODevice::ReadOnly) && file_.seek(info.dataOffset);
        ok_ = ok_ && ReadFrame(cur_);
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
        int made = 0;
        for (; made < frames; ++made) {
            if (!ok_)
                break;
            double l, r;
            Interpolated(l, r);
            if (format_.nChannels == 1) {
                p = PutSample(p, 0.5 * (l + r), format_.wBitsPerSample);
            } else {
                p = PutSample(p, l, format_.wBitsPerSample);
                p = PutSample(p, r, format_.wBitsPerSample);
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
        if (remaining_ <= 0)
            return false;
        if (pos_ >= buf_.size()) {
            const qint64 want = std::min<qint64>(remaining_ * srcBlock_, 65536 - 65536 % srcBlock_);
            buf_ = file_.read(want);
            pos_ = 0;
            buf_.truncate(buf_.size() - buf_.size() % srcBlock_);
            if (buf_.isEmpty()) {
                remaining_ = 0;
                return false;
            }
        }
        const char* p = buf_.constData() + pos_;
        auto sample = [&](int ch) {
            if (info_.bits == 16)
                return static_cast<std::int16_t>(Le16(p + 2 * ch)) / 32768.0;
            return (static_cast<quint8>(p[ch]) - 128) / 128.0;
        };
        out.l = sample(0);
        out.r = info_.channels == 2 ? sample(1) : out.l;
        pos_ += srcBlock_;
        --remaining_;
        return true;
    }

    QFile file_;
    WavInfo info_;
    WAVEFORMATEX format_;
    std::shared_ptr<WavState> state_;
    double step_ = 1;
    double frac_ = 0;
    int srcBlock_ = 1;
    qint64 remaining_ = 0;
    QByteArray buf_;
    qsizetype pos_ = 0;
    Frame cur_, next_;
    bool haveNext_ = false;
    bool ok_ = false;
};

class WavFileBackend : public PacedWaveInBackend {
public:
    WavFileBackend(const QString& path, const WavInfo& info, std::shared_ptr<WavState> state)
        : PacedWaveInBackend(QFileInfo(path).fileName(), QStringLiteral("WAV file %1").arg(path),
                             [path, info, state](const WAVEFORMATEX& f) -> std::unique_ptr<PacedSource> {
                                 state->ended = false;
                                 auto source = std::make_unique<WavFileSource>(path, info, f, state);
                                 if (!source->Ok())
                                     return nullptr;
                                 return source;
                             }),
          state_(std::move(state))
    {
    }
    std::shared_ptr<WavState> state_;
};

// ---------------------------------------------------------------------------
// Scripted source

class ScriptedSource : public PacedSource {
public:
    ScriptedSource(std::shared_ptr<WaveInScript> script, const WAVEFORMATEX& f) : script_(std::move(script)), format_(f) {}

    int Fill(char* data, int bytes) override
    {
        QByteArray chosen;
        {
            std::lock_guard lock(script_->mutex);
            if (!script_->data.empty()) {
                chosen = script_->data.front();
                script_->data.pop_front();
            }
        }
        int made;
        if (!chosen.isNull()) {
            made = std::min<int>(bytes, static_cast<int>(chosen.size()));
            made -= made % format_.nBlockAlign;
            std::memcpy(data, chosen.constData(), static_cast<size_t>(made));
            frame_ += made / format_.nBlockAlign;
        } else {
            const int frames = bytes / format_.nBlockAlign;
            char* p = data;
            for (int i = 0; i < frames; ++i, ++frame_) {
                for (int ch = 0; ch < format_.nChannels; ++ch) {
                    if (format_.wBitsPerSample == 16) {
                        const auto v = static_cast<std::uint16_t>((frame_ >> (15 * ch)) & 0x7FFF);
                        *p++ = static_cast<char>(v & 0xFF);
                        *p++ = static_cast<char>(v >> 8);
                    } else {
                        *p++ = static_cast<char>(frame_ & 0xFF);
                    }
                }
            }
            made = frames * format_.nBlockAlign;
        }
        ++script_->delivered;
        return made;
    }

    void Skip(int frames) override
    {
        {
            std::lock_guard lock(script_->mutex);
            script_->skipped.emplace_back(frame_, frames);
        }
        frame_ += frames;
    }

    int Failure() override
    {
        std::lock_guard lock(script_->mutex);
        if (script_->loseAfter >= 0 && script_->delivered.load() >= script_->loseAfter)
            return script_->loseError;
        return 0;
    }

private:
    std::shared_ptr<WaveInScript> script_;
    WAVEFORMATEX format_;
    std::int64_t frame_ = 0;
};

// A paced device whose calls can be made to fail.
class ScriptedDevice : public WaveInDevice {
public:
    ScriptedDevice(std::shared_ptr<WaveInScript> script, std::unique_ptr<PacedWaveInDevice> inner,
                   WaveInCallback callback)
        : script_(std::move(script)), inner_(std::move(inner)), callback_(std::move(callback))
    {
    }
    int PrepareHeader(WAVEHDR* hdr) override
    {
        if (int rc = script_->FailureOf(QStringLiteral("PrepareHeader")))
            return rc;
        return inner_->PrepareHeader(hdr);
    }
    int UnprepareHeader(WAVEHDR* hdr) override
    {
        if (int rc = script_->FailureOf(QStringLiteral("UnprepareHeader")))
            return rc;
        return inner_->UnprepareHeader(hdr);
    }
    int AddBuffer(WAVEHDR* hdr) override
    {
        if (int rc = script_->FailureOf(QStringLiteral("AddBuffer")))
            return rc;
        return inner_->AddBuffer(hdr);
    }
    int Start() override
    {
        if (int rc = script_->FailureOf(QStringLiteral("Start")))
            return rc;
        ++script_->starts;
        return inner_->Start();
    }
    int Stop() override
    {
        if (int rc = script_->FailureOf(QStringLiteral("Stop")))
            return rc;
        return inner_->Stop();
    }
    int Reset() override
    {
        if (int rc = script_->FailureOf(QStringLiteral("Reset")))
            return rc;
        ++script_->resets;
        return inner_->Reset();
    }
    int Close() override
    {
        if (int rc = script_->FailureOf(QStringLiteral("Close")))
            return rc;
        ++script_->closes;
        return inner_->Close();
    }

private:
    std::shared_ptr<WaveInScript> script_;
    std::unique_ptr<PacedWaveInDevice> inner_;
    WaveInCallback callback_;
};

class ScriptedBackend : public WaveInBackend {
public:
    explicit ScriptedBackend(std::shared_ptr<WaveInScript> script) : script_(std::move(script)) {}

    int DeviceCount() override
    {
        std::lock_guard lock(script_->mutex);
        return script_->deviceCount;
    }
    int GetCaps(int id, DeviceCapsRecord& caps) override
    {
        if (int rc = script_->FailureOf(QStringLiteral("GetCaps")))
            return rc;
        if (id < -1 || id >= DeviceCount())
            return MMSYSERR_BADDEVICEID;
        caps = DeviceCapsRecord{};
        caps.manufacturerId = 1;
        caps.productId = static_cast<std::uint16_t>(id + 1);
        caps.driverVersion = 0x0102;
        caps.productName = QStringLiteral("Scripted input %1").arg(id);
        {
            std::lock_guard lock(script_->mutex);
            caps.formats = script_->formats;
        }
        caps.channels = 2;
        return MMSYSERR_NOERROR;
    }
    bool ErrorText(int code, QString& text) override
    {
        if (code == 4242) {
            text = QStringLiteral("The scripted device failed.");
            return true;
        }
        return WaveInBackend::ErrorText(code, text);
    }
    int QueryFormat(int id, const WAVEFORMATEX& format) override
    {
        if (int rc = script_->FailureOf(QStringLiteral("QueryFormat")))
            return rc;
        if (id < -1 || id >= DeviceCount())
            return MMSYSERR_BADDEVICEID;
        return PacedFormatOk(format) ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
    }
    int Open(int id, const WAVEFORMATEX& format, WaveInCallback callback,
             std::unique_ptr<WaveInDevice>& device) override
    {
        if (int rc = script_->FailureOf(QStringLiteral("Open")))
            return rc;
        if (id < -1 || id >= DeviceCount())
            return MMSYSERR_BADDEVICEID;
        if (!PacedFormatOk(format))
            return WAVERR_BADFORMAT;
        auto script = script_;
        // Confirmations may be held back to test waiting for them.
        WaveInCallback filtered = [script, callback](int msg, WAVEHDR* hdr, int error) {
            if (msg == WIM_CLOSE && !script->confirmClose)
                return;
            callback(msg, hdr, error);
        };
        auto inner = std::make_unique<PacedWaveInDevice>(format, filtered,
                                                         std::make_unique<ScriptedSource>(script_, format));
        device = std::make_unique<ScriptedDevice>(script_, std::move(inner), filtered);
        ++script_->opens;
        if (script_->confirmOpen)
            callback(WIM_OPEN, nullptr, 0);
        return MMSYSERR_NOERROR;
    }
    QString Description() const override { return QStringLiteral("scripted input"); }

private:
    std::shared_ptr<WaveInScript> script_;
};

}  // namespace

int WaveInScript::FailureOf(const QString& call)
{
    std::lock_guard lock(mutex);
    auto it = failures.find(call);
    return it == failures.end() ? 0 : it->second;
}

std::shared_ptr<WaveInBackend> MakeSimReceiverBackend(const SimReceiverOptions& options)
{
    return std::make_shared<PacedWaveInBackend>(
        QStringLiteral("Simulated receiver"), QStringLiteral("simulated receiver"),
        [options](const WAVEFORMATEX& f) { return std::make_unique<SimReceiverSource>(options, f); });
}

std::shared_ptr<WaveInBackend> MakeWavFileBackend(const QString& path)
{
    const WavInfo info = ReadWavInfo(path);
    return std::make_shared<WavFileBackend>(path, info, std::make_shared<WavState>());
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

std::shared_ptr<WaveInBackend> MakeScriptedBackend(std::shared_ptr<WaveInScript> script)
{
    return std::make_shared<ScriptedBackend>(std::move(script));
}

bool WriteWavFile(const QString& path, int rate, int bits, int channels, const QByteArray& data)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    auto le32 = [](quint32 v) {
        char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 24)};
        return QByteArray(b, 4);
    };
    auto le16 = [](quint16 v) {
        char b[2] = {static_cast<char>(v), static_cast<char>(v >> 8)};
        return QByteArray(b, 2);
    };
    const int block = channels * bits / 8;
    QByteArray out;
    out += "RIFF";
    out += le32(static_cast<quint32>(36 + data.size()));
    out += "WAVEfmt ";
    out += le32(16);
    out += le16(1);
    out += le16(static_cast<quint16>(channels));
    out += le32(static_cast<quint32>(rate));
    out += le32(static_cast<quint32>(rate * block));
    out += le16(static_cast<quint16>(block));
    out += le16(static_cast<quint16>(bits));
    out += "data";
    out += le32(static_cast<quint32>(data.size()));
    out += data;
    return file.write(out) == out.size() && file.flush();
}

}  // namespace zol::platform
