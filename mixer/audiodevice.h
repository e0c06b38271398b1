// Base of the sound-device components: a device kind and number, the
// device's capabilities, an Active switch that opens and closes it, and
// observers told when the device changes. Subclasses open and close the real
// device in OpenDevice/CloseDevice. Device counts and capabilities come from
// the platform query registered for the kind; a subclass may answer them
// itself by overriding the Query... operations.
#pragma once

#include "core/mmcomponent.h"
#include "core/mmobserver.h"
#include "platform/devicequery.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace zol {

using TMMDeviceId = int;
constexpr TMMDeviceId kMapperDeviceId = -1;   // the kind's mapper (system default)
constexpr TMMDeviceId kInvalidDeviceId = -2;  // no valid device

using TMMDeviceKind = platform::DeviceKind;

// Capabilities of the selected device (read-only for users).
class TMMDeviceCaps {
public:
    std::uint16_t ManufacturerId() const { return manufacturerId_; }
    std::uint16_t ProductId() const { return productId_; }
    std::uint8_t VerMajor() const { return verMajor_; }
    std::uint8_t VerMinor() const { return verMinor_; }
    QString ProductName() const { return productName_; }

    void Clear();
    void Assign(const platform::DeviceCapsRecord& caps);

private:
    std::uint16_t manufacturerId_ = 0;
    std::uint16_t productId_ = 0;
    std::uint8_t verMajor_ = 0;
    std::uint8_t verMinor_ = 0;
    QString productName_;
};

// The change an audio device tells its observers about: carries nothing.
class TMMDeviceChange : public TMMChange {};

class TMMCustomAudioDevice : public TMMNonVisualComponent {
public:
    explicit TMMCustomAudioDevice(QObject* owner = nullptr);
    ~TMMCustomAudioDevice() override;

    int DeviceCount() const;
    const TMMDeviceCaps& DeviceCaps() const { return caps_; }
    bool Mapper() const;
    bool Active() const { return active_; }
    void SetActive(bool value);
    TMMDeviceId DeviceId() const { return deviceId_; }
    void SetDeviceId(TMMDeviceId value);
    TMMDeviceKind DeviceKind() const { return kind_; }
    // Valid when the kind has at least one device and DeviceId is not -2.
    bool IsValid() const;
    // The mixer that belongs to the device; -2 when there is none.
    int MixerId() const;

    void AddObserver(TMMObserver* observer) { observable_.AddObserver(observer); }
    void RemoveObserver(TMMObserver* observer) { observable_.RemoveObserver(observer); }
    TMMObservable& Observable() { return observable_; }

    TNotifyEvent OnChange;

    void Loaded() override;

    // Raises EMMMCIError for `code` with the kind's text for it.
    [[noreturn]] void RaiseMCIError(int code) const;
    // The kind's text for an error number; empty when it has none.
    QString ErrorText(int code) const;

protected:
    virtual void OpenDevice();   // base: active := true
    virtual void CloseDevice();  // base: active := false
    virtual void DeviceChanged();
    virtual void NotifyDeviceChange();

    // Changes the kind: closes the device, selects device 0 of the new kind.
    void SetDeviceKind(TMMDeviceKind kind);

    // Answers of the system for this device's kind. The defaults ask the
    // platform query registered for the kind.
    virtual int QueryDeviceCount() const;
    virtual int QueryDeviceCaps(TMMDeviceId id, platform::DeviceCapsRecord& caps) const;
    virtual bool QueryErrorText(int code, QString& text) const;
    virtual int QueryMixerId(TMMDeviceId id, int& mixerId) const;

    bool active_ = false;

private:
    void RefreshCaps();

    TMMDeviceKind kind_ = platform::dkWaveOut;
    TMMDeviceId deviceId_ = 0;
    TMMDeviceCaps caps_;
    TMMObservable observable_;
    bool loadedActive_ = false;
};

}  // namespace zol
