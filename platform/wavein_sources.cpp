#include "platform/wavein_sources.h"

#include "platform/clock.h"
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

// ---------------------------------------------------------------------------
// Simulated receiver

class SimReceiverSource : public PacedSource {
public:
    SimReceiverSource(const SimReceiverOptions& o, const WAVEFORMATEX& f) : signal_(o, f) {}

    int Fill(char* data, int bytes) override { return signal_.Fill(data, bytes, SimulatedCaptureGain()); }
    void Skip(int frames) override { signal_.Skip(frames); }

private:
    SimReceiverSignal signal_;
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
        {
            std::lock_guard lock(script_->mutex);
            script_->queries.push_back(TheClock().NowUs());
        }
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
