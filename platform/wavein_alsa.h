// Wave-in back end on ALSA. Device 0 is the capture PCM chosen for the
// program ("default" unless --input names another), devices 1.. are the
// further capture PCMs ALSA lists (raw hw: devices are offered as plughw:,
// which converts rates they lack), -1 is the system default ("default").
// Each open device has a reader thread that waits in poll() on the PCM's
// descriptors and an eventfd that Stop and Close signal; it never blocks in
// a read. Overruns and suspends are recovered (an overrun is reported once
// on standard error); any other error, a repeated one, or a device that
// stays silent while running means the device is lost (WIM_LOST).
#pragma once

#include "platform/wavein_device.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>

namespace zol::platform {

class AlsaWaveInBackend : public WaveInBackend {
public:
    explicit AlsaWaveInBackend(QString device0 = QStringLiteral("default"));

    int DeviceCount() override;
    int GetCaps(int id, DeviceCapsRecord& caps) override;
    bool ErrorText(int code, QString& text) override;
    int QueryFormat(int id, const WAVEFORMATEX& format) override;
    int Open(int id, const WAVEFORMATEX& format, WaveInCallback callback,
             std::unique_ptr<WaveInDevice>& device) override;
    QString Description() const override;
    QString DeviceName(int id) override { return PcmName(id); }

    // The PCM name of a device number; empty when there is none.
    QString PcmName(int id);
    // Re-reads the list of capture PCMs.
    void Refresh();

    // Milliseconds of silence while running after which the device counts
    // as lost.
    static constexpr int kStallMs = 5000;

private:
    void EnsureListLocked();

    QString device0_;
    std::mutex mutex_;
    bool listed_ = false;
    QStringList names_;         // device 0 first
    QStringList descriptions_;
};

// Error number of an ALSA error code (negative errno).
int AlsaErrorNumber(int alsaError);

}  // namespace zol::platform
