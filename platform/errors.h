// Exception classes of zol. Every error the components raise derives from
// EMMError; each area has its own class so callers can tell them apart.
#pragma once

#include <QString>
#include <stdexcept>
#include <string>

namespace zol {

class EMMError : public std::runtime_error {
public:
    explicit EMMError(const QString& message)
        : std::runtime_error(message.toStdString()) {}
    explicit EMMError(const std::string& message) : std::runtime_error(message) {}
    explicit EMMError(const char* message) : std::runtime_error(message) {}
    QString Message() const { return QString::fromStdString(what()); }
};

#define ZOL_DECLARE_ERROR(Name, Base)                 \
    class Name : public Base {                        \
    public:                                           \
        using Base::Base;                             \
    }

ZOL_DECLARE_ERROR(EOutOfMemory, EMMError);
ZOL_DECLARE_ERROR(EOutOfResources, EMMError);
ZOL_DECLARE_ERROR(EStreamError, EMMError);
ZOL_DECLARE_ERROR(EReadError, EStreamError);
ZOL_DECLARE_ERROR(EWriteError, EStreamError);
ZOL_DECLARE_ERROR(EClassNotFound, EStreamError);
ZOL_DECLARE_ERROR(EInOutError, EMMError);
ZOL_DECLARE_ERROR(EInvalidPointer, EMMError);
ZOL_DECLARE_ERROR(EMMDeviceError, EMMError);
ZOL_DECLARE_ERROR(EMMWaveInError, EMMError);
ZOL_DECLARE_ERROR(EMMConnectorError, EMMError);
ZOL_DECLARE_ERROR(EMMEqualizerError, EMMError);
ZOL_DECLARE_ERROR(EMMHiTimerError, EMMError);
ZOL_DECLARE_ERROR(EMMDIBError, EMMError);
ZOL_DECLARE_ERROR(EMMMeterError, EMMError);
ZOL_DECLARE_ERROR(EMMOscopeError, EMMError);
ZOL_DECLARE_ERROR(EMMSpectrumError, EMMError);
ZOL_DECLARE_ERROR(EMMScaleError, EMMError);
ZOL_DECLARE_ERROR(EMMVolumeError, EMMError);
ZOL_DECLARE_ERROR(EMMMixerDeviceError, EMMError);
ZOL_DECLARE_ERROR(EMMMixerControlError, EMMError);
ZOL_DECLARE_ERROR(EMMMixerControlsError, EMMError);
ZOL_DECLARE_ERROR(EMMMixerServiceError, EMMError);
ZOL_DECLARE_ERROR(EMMLevelConnectorError, EMMError);
ZOL_DECLARE_ERROR(EMMBlockError, EMMError);
ZOL_DECLARE_ERROR(EMMBitmapListError, EMMError);
ZOL_DECLARE_ERROR(EMMDesignerError, EMMError);

// A failure reported by the sound system (ALSA, or a simulated back end),
// carrying its error number.
class EMMMCIError : public EMMError {
public:
    EMMMCIError(int code, const QString& message) : EMMError(message), code_(code) {}
    // Message from the sound system's text for the code, or
    // "MMSystem error: %d" when it has none.
    static EMMMCIError FromCode(int code, const QString& systemText);
    int Code() const { return code_; }

private:
    int code_;
};

}  // namespace zol
