#include "platform/mixerbackend.h"

#include "platform/mixer_alsa.h"
#include "platform/mixer_sim.h"
#include "platform/mmsyserr.h"

#include <mutex>

namespace zol::platform {

namespace {
std::unique_ptr<MixerBackend>& Installed()
{
    static std::unique_ptr<MixerBackend> backend;
    return backend;
}
}  // namespace

MixerBackend& TheMixer()
{
    auto& backend = Installed();
    if (!backend)
        backend = CreateMixerBackend(QStringLiteral("default"));
    return *backend;
}

void InstallMixer(std::unique_ptr<MixerBackend> backend)
{
    Installed() = std::move(backend);
}

std::unique_ptr<MixerBackend> CreateMixerBackend(const QString& mixerName)
{
    const QString name = mixerName.trimmed();
    if (name.compare(QStringLiteral("sim"), Qt::CaseInsensitive) == 0)
        return std::make_unique<SimMixerBackend>();
    return std::make_unique<AlsaMixerBackend>(name.isEmpty() ? QStringLiteral("default") : name);
}

QString MixerErrorText(int code)
{
    switch (code) {
    case MIXERR_INVALLINE: return QStringLiteral("The mixer has no such line.");
    case MIXERR_INVALCONTROL: return QStringLiteral("The mixer has no such control.");
    case MIXERR_INVALVALUE: return QStringLiteral("The value is out of the control's range.");
    default: return QString::fromUtf8(MMSystemErrorText(code));
    }
}

int MixerStepsForRange(long minimum, long maximum)
{
    const long span = maximum - minimum;
    return span >= 1 && span <= 256 ? static_cast<int>(span) : 64;
}

}  // namespace zol::platform
