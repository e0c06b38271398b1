#include "platform/wavein_device.h"

#include "platform/errors.h"
#include "platform/wavein_alsa.h"
#include "platform/soundfile.h"
#include "platform/wavein_sources.h"

#include <QFileInfo>

#include <mutex>

namespace zol::platform {

namespace {
std::mutex& BackendMutex()
{
    static std::mutex mutex;
    return mutex;
}
std::shared_ptr<WaveInBackend>& Backend()
{
    static std::shared_ptr<WaveInBackend> backend;
    return backend;
}
}  // namespace

QString WaveInBackend::DeviceName(int id)
{
    DeviceCapsRecord caps;
    if (GetCaps(id, caps) == MMSYSERR_NOERROR && !caps.productName.isEmpty())
        return caps.productName;
    return QStringLiteral("device %1").arg(id);
}

void SetWaveInBackend(std::shared_ptr<WaveInBackend> backend)
{
    {
        std::lock_guard lock(BackendMutex());
        Backend() = backend;
    }
    SetDeviceQuery(dkWaveIn, std::move(backend));
}

std::shared_ptr<WaveInBackend> CurrentWaveInBackend()
{
    std::shared_ptr<WaveInBackend> made;
    {
        std::lock_guard lock(BackendMutex());
        if (Backend())
            return Backend();
        made = std::make_shared<AlsaWaveInBackend>();
        Backend() = made;
    }
    SetDeviceQuery(dkWaveIn, made);
    return made;
}

std::shared_ptr<WaveInBackend> MakeWaveInBackend(const QString& input)
{
    const QString in = input.trimmed();
    if (in.isEmpty() || in == QLatin1String("default"))
        return std::make_shared<AlsaWaveInBackend>(QStringLiteral("default"));
    if (in == QLatin1String("sim"))
        return MakeSimReceiverBackend();
    if (in.startsWith(QLatin1String("sim:"))) {
        // "sim:700": the simulated receiver on another carrier frequency.
        bool ok = false;
        const double hz = in.mid(4).toDouble(&ok);
        if (!ok || hz < 550 || hz > 750)
            throw EMMWaveInError(QStringLiteral("The simulated receiver's carrier must lie in 550..750 Hz, not \"%1\"")
                                     .arg(in.mid(4)));
        SimReceiverOptions options;
        options.carrierHz = hz;
        return MakeSimReceiverBackend(options);
    }
    if (IsAudioFileName(in))
        return MakeWavFileBackend(in);
    return std::make_shared<AlsaWaveInBackend>(in);
}

}  // namespace zol::platform
