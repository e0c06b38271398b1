#include "mixer/audiodevice.h"

#include "platform/errors.h"
#include "platform/mmsyserr.h"
#include "platform/strings.h"

namespace zol {

// ---------------------------------------------------------------------------
// TMMDeviceCaps

void TMMDeviceCaps::Clear()
{
    manufacturerId_ = 0;
    productId_ = 0;
    verMajor_ = 0;
    verMinor_ = 0;
    productName_.clear();
}

void TMMDeviceCaps::Assign(const platform::DeviceCapsRecord& caps)
{
    manufacturerId_ = caps.manufacturerId;
    productId_ = caps.productId;
    verMajor_ = static_cast<std::uint8_t>(caps.driverVersion >> 8);
    verMinor_ = static_cast<std::uint8_t>(caps.driverVersion & 0xFF);
    productName_ = caps.productName;
}

// ---------------------------------------------------------------------------
// TMMCustomAudioDevice

TMMCustomAudioDevice::TMMCustomAudioDevice(QObject* owner) : TMMNonVisualComponent(owner) {}

TMMCustomAudioDevice::~TMMCustomAudioDevice() = default;

int TMMCustomAudioDevice::QueryDeviceCount() const
{
    auto query = platform::GetDeviceQuery(kind_);
    return query ? query->DeviceCount() : 0;
}

int TMMCustomAudioDevice::QueryDeviceCaps(TMMDeviceId id, platform::DeviceCapsRecord& caps) const
{
    auto query = platform::GetDeviceQuery(kind_);
    return query ? query->GetCaps(id, caps) : platform::MMSYSERR_NODRIVER;
}

bool TMMCustomAudioDevice::QueryErrorText(int code, QString& text) const
{
    auto query = platform::GetDeviceQuery(kind_);
    if (query)
        return query->ErrorText(code, text);
    const char* s = platform::MMSystemErrorText(code);
    if (s == nullptr || *s == 0)
        return false;
    text = QString::fromLatin1(s);
    return true;
}

int TMMCustomAudioDevice::QueryMixerId(TMMDeviceId id, int& mixerId) const
{
    auto query = platform::GetDeviceQuery(kind_);
    if (!query) {
        mixerId = -1;
        return platform::MMSYSERR_NODRIVER;
    }
    return query->GetMixerId(id, mixerId);
}

int TMMCustomAudioDevice::DeviceCount() const
{
    return QueryDeviceCount();
}

QString TMMCustomAudioDevice::ErrorText(int code) const
{
    QString text;
    if (!QueryErrorText(code, text))
        text.clear();
    return text;
}

void TMMCustomAudioDevice::RaiseMCIError(int code) const
{
    throw EMMMCIError::FromCode(code, ErrorText(code));
}

bool TMMCustomAudioDevice::IsValid() const
{
    return DeviceCount() >= 1 && deviceId_ != kInvalidDeviceId;
}

bool TMMCustomAudioDevice::Mapper() const
{
    platform::DeviceCapsRecord caps;
    const int rc = QueryDeviceCaps(kMapperDeviceId, caps);
    if (rc == platform::MMSYSERR_NOERROR)
        return true;
    if (rc == platform::MMSYSERR_BADDEVICEID || rc == platform::MMSYSERR_INVALHANDLE ||
        rc == platform::MMSYSERR_NODRIVER)
        return false;
    RaiseMCIError(rc);
}

int TMMCustomAudioDevice::MixerId() const
{
    int mixerId = -1;
    const int rc = QueryMixerId(deviceId_, mixerId);
    if (rc != platform::MMSYSERR_NOERROR && rc != platform::MMSYSERR_NODRIVER)
        RaiseMCIError(rc);
    if (rc != platform::MMSYSERR_NOERROR || mixerId == -1)
        return kInvalidDeviceId;
    return mixerId;
}

void TMMCustomAudioDevice::SetActive(bool value)
{
    if (IsLoading()) {
        loadedActive_ = value;
        return;
    }
    if (value == active_)
        return;
    CloseDevice();
    if (value)
        OpenDevice();
}

void TMMCustomAudioDevice::Loaded()
{
    TMMNonVisualComponent::Loaded();
    if (loadedActive_ != active_) {
        const bool value = loadedActive_;
        CloseDevice();
        if (value)
            OpenDevice();
    }
}

void TMMCustomAudioDevice::SetDeviceId(TMMDeviceId value)
{
    if (value != 0 && value != kMapperDeviceId && value != kInvalidDeviceId &&
        (value < 0 || value >= DeviceCount()))
        throw EMMDeviceError(LoadResString(SDeviceIdOutOfRange));
    if (value == deviceId_)
        return;
    const bool wasActive = active_;
    CloseDevice();
    deviceId_ = value;
    DeviceChanged();
    if (wasActive)
        OpenDevice();
}

void TMMCustomAudioDevice::SetDeviceKind(TMMDeviceKind kind)
{
    if (kind == kind_)
        return;
    CloseDevice();
    kind_ = kind;
    deviceId_ = 0;
    DeviceChanged();
}

void TMMCustomAudioDevice::OpenDevice()
{
    active_ = true;
}

void TMMCustomAudioDevice::CloseDevice()
{
    active_ = false;
}

void TMMCustomAudioDevice::RefreshCaps()
{
    if (!IsValid()) {
        caps_.Clear();
        return;
    }
    platform::DeviceCapsRecord record;
    const int rc = QueryDeviceCaps(deviceId_, record);
    if (rc != platform::MMSYSERR_NOERROR)
        RaiseMCIError(rc);
    caps_.Assign(record);
}

void TMMCustomAudioDevice::DeviceChanged()
{
    RefreshCaps();
    NotifyDeviceChange();
}

void TMMCustomAudioDevice::NotifyDeviceChange()
{
    {
        TMMDeviceChange change;
        observable_.Notify(&change);
    }
    if (OnChange)
        OnChange(this);
}

}  // namespace zol
