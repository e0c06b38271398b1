#include "mixer/mixerdevice.h"

#include "platform/errors.h"
#include "platform/mmsyserr.h"
#include "platform/strings.h"
#include "platform/window_thread.h"

#include <array>

namespace zol {

namespace {

using namespace platform;

constexpr std::array<std::uint32_t, 20> kComponentTypes = {
    MIXERLINE_COMPONENTTYPE_DST_DIGITAL,    MIXERLINE_COMPONENTTYPE_DST_HEADPHONES,
    MIXERLINE_COMPONENTTYPE_DST_LINE,       MIXERLINE_COMPONENTTYPE_DST_MONITOR,
    MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,   MIXERLINE_COMPONENTTYPE_DST_TELEPHONE,
    MIXERLINE_COMPONENTTYPE_DST_UNDEFINED,  MIXERLINE_COMPONENTTYPE_DST_VOICEIN,
    MIXERLINE_COMPONENTTYPE_DST_WAVEIN,     MIXERLINE_COMPONENTTYPE_SRC_ANALOG,
    MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY,  MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC,
    MIXERLINE_COMPONENTTYPE_SRC_DIGITAL,    MIXERLINE_COMPONENTTYPE_SRC_LINE,
    MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, MIXERLINE_COMPONENTTYPE_SRC_PCSPEAKER,
    MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER, MIXERLINE_COMPONENTTYPE_SRC_TELEPHONE,
    MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED,  MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT,
};

int TargetTypeOfKind(TMMDeviceKind kind)
{
    switch (kind) {
    case dkMidiIn: return MIXERLINE_TARGETTYPE_MIDIIN;
    case dkMidiOut: return MIXERLINE_TARGETTYPE_MIDIOUT;
    case dkWaveIn: return MIXERLINE_TARGETTYPE_WAVEIN;
    case dkWaveOut: return MIXERLINE_TARGETTYPE_WAVEOUT;
    case dkAux: return MIXERLINE_TARGETTYPE_AUX;
    default: return MIXERLINE_TARGETTYPE_UNDEFINED;
    }
}

bool SameTarget(const MixerTarget& a, const MixerTarget& b)
{
    return a.type == b.type && a.manufacturerId == b.manufacturerId && a.productId == b.productId &&
           a.driverVersion == b.driverVersion && a.productName == b.productName;
}

}  // namespace

std::uint32_t ComponentTypeToSystem(TMMComponentType type)
{
    return kComponentTypes[static_cast<std::size_t>(type)];
}

TMMComponentType ComponentTypeFromSystem(std::uint32_t value)
{
    for (std::size_t i = 0; i < kComponentTypes.size(); ++i)
        if (kComponentTypes[i] == value)
            return static_cast<TMMComponentType>(i);
    throw EMMMixerServiceError(LoadResString(SUndefinedComponentType));
}

TMMLineFlags LineFlagsFromSystem(std::uint32_t flags)
{
    TMMLineFlags set = 0;
    if (flags & MIXERLINE_LINEF_ACTIVE)
        set |= 1u << cfActive;
    if (flags & MIXERLINE_LINEF_DISCONNECTED)
        set |= 1u << cfDisconnected;
    if (flags & MIXERLINE_LINEF_SOURCE)
        set |= 1u << cfSource;
    return set;
}

// ---------------------------------------------------------------------------
// TMMMixerDevice

TMMMixerDevice::TMMMixerDevice(QObject* owner) : TMMCustomAudioDevice(owner)
{
    deviceObserver_.SetOnNotify([this](TMMObserver*, TMMChange* change) {
        if (dynamic_cast<TMMDeviceChange*>(change))
            DeviceUpdate();
    });
    SetDeviceKind(dkMixer);
}

TMMMixerDevice::~TMMMixerDevice()
{
    Destroying();
    if (device_) {
        device_->RemoveObserver(&deviceObserver_);
        device_ = nullptr;
    }
    try {
        CloseDevice();
    } catch (...) {
        HandleCurrentException();
    }
}

int TMMMixerDevice::QueryDeviceCount() const
{
    return TheMixer().DeviceCount();
}

int TMMMixerDevice::QueryDeviceCaps(TMMDeviceId id, DeviceCapsRecord& caps) const
{
    MixerCaps mc;
    const int rc = TheMixer().GetDevCaps(id, mc);
    if (rc != MMSYSERR_NOERROR)
        return rc;
    caps = DeviceCapsRecord();
    caps.manufacturerId = mc.manufacturerId;
    caps.productId = mc.productId;
    caps.driverVersion = static_cast<std::uint16_t>(mc.driverVersion);
    caps.productName = mc.productName;
    return MMSYSERR_NOERROR;
}

bool TMMMixerDevice::QueryErrorText(int code, QString& text) const
{
    text = TheMixer().ErrorText(code);
    return !text.isEmpty();
}

int TMMMixerDevice::QueryMixerId(TMMDeviceId id, int& mixerId) const
{
    mixerId = (id >= 0 && id < TheMixer().DeviceCount()) ? id : -1;
    return MMSYSERR_NOERROR;
}

int TMMMixerDevice::MixerDeviceId()
{
    if (handle_ == 0)
        return DeviceId();
    int device = DeviceId();
    const int rc = TheMixer().DeviceOfHandle(handle_, device);
    if (rc != MMSYSERR_NOERROR)
        RaiseMCIError(rc);
    if (device != DeviceId()) {
        // Follow the handle without reopening.
        const int keep = handle_;
        handle_ = 0;
        const bool wasActive = active_;
        active_ = false;
        SetDeviceId(device);
        handle_ = keep;
        active_ = wasActive;
    }
    return device;
}

int TMMMixerDevice::Destinations()
{
    if (!IsValid())
        return 0;
    MixerCaps caps;
    const int rc = TheMixer().GetDevCaps(DeviceId(), caps);
    if (rc != MMSYSERR_NOERROR)
        RaiseMCIError(rc);
    return caps.destinations;
}

bool TMMMixerDevice::LineResult(int rc)
{
    if (rc == MMSYSERR_NOERROR)
        return true;
    if (rc == MIXERR_INVALLINE || rc == MMSYSERR_NODRIVER)
        return false;
    RaiseMCIError(rc);
}

bool TMMMixerDevice::ControlResult(int rc)
{
    if (rc == MMSYSERR_NOERROR)
        return true;
    if (rc == MIXERR_INVALCONTROL || rc == MIXERR_INVALLINE || rc == MMSYSERR_NODRIVER)
        return false;
    RaiseMCIError(rc);
}

bool TMMMixerDevice::GetLineInfoById(TMMLineId id, MixerLineDesc& line)
{
    return LineResult(TheMixer().LineById(MixerDeviceId(), id, line));
}

bool TMMMixerDevice::GetLineInfoByType(TMMComponentType type, MixerLineDesc& line)
{
    return LineResult(TheMixer().LineByType(MixerDeviceId(), ComponentTypeToSystem(type), line));
}

bool TMMMixerDevice::GetSourceLineInfo(int destIndex, int sourceIndex, MixerLineDesc& line)
{
    return LineResult(TheMixer().LineBySource(MixerDeviceId(), destIndex, sourceIndex, line));
}

MixerTarget TMMMixerDevice::TargetOf(TMMCustomAudioDevice* device)
{
    MixerTarget target;
    if (device == nullptr)
        return target;
    target.type = TargetTypeOfKind(device->DeviceKind());
    target.deviceId = static_cast<std::uint32_t>(device->DeviceId());
    const TMMDeviceCaps& caps = device->DeviceCaps();
    target.manufacturerId = caps.ManufacturerId();
    target.productId = caps.ProductId();
    target.driverVersion = (std::uint32_t(caps.VerMajor()) << 8) | caps.VerMinor();
    target.productName = caps.ProductName().left(31);
    return target;
}

bool TMMMixerDevice::GetLineInfoByTarget(TMMCustomAudioDevice* device, MixerLineDesc& line)
{
    return LineResult(TheMixer().LineByTarget(MixerDeviceId(), TargetOf(device), line));
}

bool TMMMixerDevice::GetControlById(TMMControlId id, MixerControlDesc& control)
{
    int lineId = -1;
    return ControlResult(TheMixer().ControlById(MixerDeviceId(), id, control, lineId));
}

bool TMMMixerDevice::GetControlByType(TMMLineId lineId, std::uint32_t type, MixerControlDesc& control)
{
    return ControlResult(TheMixer().ControlByType(MixerDeviceId(), lineId, type, control));
}

TMMLineId TMMMixerDevice::LineIdOfControl(TMMControlId id)
{
    MixerControlDesc control;
    int lineId = badLineId;
    const int rc = TheMixer().ControlById(MixerDeviceId(), id, control, lineId);
    if (rc != MMSYSERR_NOERROR)
        RaiseMCIError(rc);
    return lineId;
}

void TMMMixerDevice::GetControlDetails(TMMControlId id, int channels, int items, std::int32_t* values)
{
    const int rc = TheMixer().GetValues(MixerDeviceId(), id, channels, items, values);
    if (rc != MMSYSERR_NOERROR)
        RaiseMCIError(rc);
}

void TMMMixerDevice::SetControlDetails(TMMControlId id, int channels, int items, const std::int32_t* values)
{
    const int rc = TheMixer().SetValues(MixerDeviceId(), id, channels, items, values);
    if (rc != MMSYSERR_NOERROR)
        RaiseMCIError(rc);
}

void TMMMixerDevice::GetListTexts(TMMControlId id, int channels, int items, MixerListText* texts)
{
    const int rc = TheMixer().GetListTexts(MixerDeviceId(), id, channels, items, texts);
    if (rc != MMSYSERR_NOERROR)
        RaiseMCIError(rc);
}

void TMMMixerDevice::OpenDevice()
{
    if (!IsValid())
        throw EMMMixerDeviceError(LoadResString(SDeviceNotValid));
    int handle = 0;
    const int rc = TheMixer().Open(
        DeviceId(),
        [this](int message, int id) {
            // Notices reach the device on the window thread; an error goes
            // to the general handler.
            Guarded([&] {
                if (handle_ == 0)
                    return;
                if (message == MM_MIXM_LINE_CHANGE)
                    LineChange(id);
                else if (message == MM_MIXM_CONTROL_CHANGE)
                    ControlChange(id);
            });
        },
        handle);
    if (rc != MMSYSERR_NOERROR)
        RaiseMCIError(rc);
    handle_ = handle;
    TMMCustomAudioDevice::OpenDevice();
}

void TMMMixerDevice::CloseDevice()
{
    if (handle_ != 0) {
        const int handle = handle_;
        handle_ = 0;
        active_ = false;
        const int rc = TheMixer().Close(handle);
        if (rc != MMSYSERR_NOERROR)
            RaiseMCIError(rc);
    }
    TMMCustomAudioDevice::CloseDevice();
}

void TMMMixerDevice::LineChange(TMMLineId lineId)
{
    {
        TMMLineChange change(lineId);
        lines_.Notify(&change);
    }
    if (OnLineChange)
        OnLineChange(this, lineId);
}

void TMMMixerDevice::ControlChange(TMMControlId controlId)
{
    const TMMLineId lineId = LineIdOfControl(controlId);
    {
        TMMControlChange change(lineId, controlId);
        lines_.Notify(&change);
    }
    if (OnControlChange)
        OnControlChange(this, lineId, controlId);
}

void TMMMixerDevice::NotifyDeviceChange()
{
    {
        TMMDeviceChange change;
        lines_.Notify(&change);
    }
    TMMCustomAudioDevice::NotifyDeviceChange();
}

void TMMMixerDevice::SetDevice(TMMCustomAudioDevice* device)
{
    if (device && device->DeviceKind() == dkMixer)
        throw EMMMixerDeviceError(LoadResString(SMixerCantReferenceMixer));
    if (device == device_)
        return;
    const bool wasActive = Active();
    CloseDevice();
    if (device_) {
        device_->RemoveObserver(&deviceObserver_);
        RemoveFreeNotification(device_);
    }
    device_ = device;
    if (device_) {
        device_->AddObserver(&deviceObserver_);
        FreeNotification(device_);
    }
    DeviceUpdate();
    if (wasActive)
        OpenDevice();
}

void TMMMixerDevice::DeviceUpdate()
{
    if (device_) {
        const int id = device_->MixerId();
        if (id != DeviceId()) {
            // DeviceId without the range check: the followed device says
            // which mixer belongs to it.
            const bool wasActive = Active();
            CloseDevice();
            SetDeviceId(id < 0 || id >= DeviceCount() ? kInvalidDeviceId : id);
            if (wasActive && IsValid())
                OpenDevice();
            return;
        }
    }
    DeviceChanged();
}

void TMMMixerDevice::Notification(QObject* component, TOperation operation)
{
    TMMCustomAudioDevice::Notification(component, operation);
    if (operation == opRemove && component == device_) {
        device_ = nullptr;
        if (!IsDestroying())
            DeviceUpdate();
    }
}

// ---------------------------------------------------------------------------
// TMMAudioLine

TMMAudioLine::TMMAudioLine(QObject* owner) : TMMNonVisualComponent(owner)
{
    mixerObserver_.SetOnNotify([this](TMMObserver*, TMMChange* change) { MixerNotice(change); });
    targetObserver_.SetOnNotify([this](TMMObserver*, TMMChange*) { UpdateLine(); });
    destObserver_.SetOnNotify([this](TMMObserver*, TMMChange* change) {
        if (dynamic_cast<TMMLineIdChange*>(change))
            UpdateLine();
    });
}

TMMAudioLine::~TMMAudioLine()
{
    Destroying();
    if (mixer_)
        mixer_->RemoveObserver(&mixerObserver_);
    if (target_)
        target_->RemoveObserver(&targetObserver_);
    if (destLine_)
        destLine_->RemoveObserver(&destObserver_);
}

bool TMMAudioLine::MixerValid() const
{
    return mixer_ != nullptr && mixer_->IsValid();
}

bool TMMAudioLine::LineValid() const
{
    return MixerValid() && lineId_ != badLineId;
}

void TMMAudioLine::SetMixer(TMMMixerDevice* mixer)
{
    if (mixer == mixer_)
        return;
    if (mixer_) {
        mixer_->RemoveObserver(&mixerObserver_);
        RemoveFreeNotification(mixer_);
    }
    mixer_ = mixer;
    if (mixer_) {
        mixer_->AddObserver(&mixerObserver_);
        FreeNotification(mixer_);
    }
    UpdateLine();
}

void TMMAudioLine::SetLineId(TMMLineId id)
{
    if (id == lineId_ && selector_ == 0)
        return;
    lineId_ = id;
    selector_ = 0;
    UpdateLine();
}

void TMMAudioLine::SetComponentType(TMMComponentType type)
{
    if (type == componentType_ && selector_ == 1)
        return;
    componentType_ = type;
    selector_ = 1;
    UpdateLine();
}

void TMMAudioLine::SetTarget(TMMCustomAudioDevice* target)
{
    if (target && target->DeviceKind() == dkMixer)
        throw EMMMixerDeviceError(LoadResString(SCantTargetMixer));
    if (target == target_ && selector_ == 2)
        return;
    if (target != target_) {
        if (target_) {
            target_->RemoveObserver(&targetObserver_);
            RemoveFreeNotification(target_);
        }
        target_ = target;
        if (target_) {
            target_->AddObserver(&targetObserver_);
            FreeNotification(target_);
        }
    }
    selector_ = 2;
    UpdateLine();
}

void TMMAudioLine::SetDestLine(TMMComponent* line)
{
    auto* dest = dynamic_cast<TMMAudioLine*>(line);
    if (line != nullptr && dest == nullptr)
        throw EMMMixerDeviceError(LoadResString(SDestLineNotAudioLine));
    if (dest == destLine_)
        return;
    if (destLine_) {
        destLine_->RemoveObserver(&destObserver_);
        RemoveFreeNotification(destLine_);
    }
    destLine_ = dest;
    if (destLine_) {
        destLine_->AddObserver(&destObserver_);
        FreeNotification(destLine_);
    }
    UpdateLine();
}

bool TMMAudioLine::DescribeAlone(MixerLineDesc& out)
{
    switch (selector_) {
    case 0: return lineId_ != badLineId && mixer_->GetLineInfoById(lineId_, out);
    case 1: return mixer_->GetLineInfoByType(componentType_, out);
    default: return target_ != nullptr && mixer_->GetLineInfoByTarget(target_, out);
    }
}

void TMMAudioLine::UpdateLine()
{
    if (IsLoading())
        return;
    destIndex_ = -1;
    if (MixerValid()) {
        MixerLineDesc desc;
        bool found = false;
        if (destLine_)
            found = destLine_->Mixer() == mixer_ && destLine_->FindSource(this, desc);
        else
            found = DescribeAlone(desc);
        if (found) {
            lineId_ = desc.lineId;
            componentType_ = ComponentTypeFromSystem(desc.componentType);
            lineInfo_.flags_ = LineFlagsFromSystem(desc.flags);
            lineInfo_.channels_ = desc.channels;
            lineInfo_.connections_ = desc.connections;
            lineInfo_.controls_ = desc.controls;
            destIndex_ = HasLineFlag(lineInfo_.flags_, cfSource) ? -1 : desc.destination;
            lineInfo_.shortName_ = desc.shortName.left(16);
            lineInfo_.name_ = desc.name.left(64);
        } else {
            lineId_ = badLineId;
            lineInfo_.Clear();
        }
    }
    LineIdChanged();
}

bool TMMAudioLine::FindSource(TMMAudioLine* line, MixerLineDesc& out)
{
    if (line == nullptr || IsLoading() || !MixerValid() || lineId_ == badLineId ||
        HasLineFlag(lineInfo_.flags_, cfSource))
        return false;
    // The source as it would resolve alone, on this line's mixer.
    TMMMixerDevice* saved = line->mixer_;
    line->mixer_ = mixer_;
    MixerLineDesc desc;
    bool described = false;
    try {
        described = line->DescribeAlone(desc);
    } catch (...) {
        line->mixer_ = saved;
        throw;
    }
    line->mixer_ = saved;
    if (!described)
        return false;
    if (lineId_ >= 0 && lineId_ == desc.destination) {
        out = desc;
        return true;
    }
    if (line->selector_ == 0)
        return false;
    for (int i = 0; i < lineInfo_.connections_; ++i) {
        MixerLineDesc source;
        if (!mixer_->GetSourceLineInfo(destIndex_, i, source))
            continue;
        const bool match = line->selector_ == 1
                               ? source.componentType == ComponentTypeToSystem(line->componentType_)
                               : SameTarget(source.target, TMMMixerDevice::TargetOf(line->target_));
        if (match) {
            out = source;
            return true;
        }
    }
    return false;
}

void TMMAudioLine::MixerNotice(TMMChange* change)
{
    if (auto* lc = dynamic_cast<TMMLineChange*>(change)) {
        if (lc->LineId == lineId_)
            LineChanged();
    } else if (auto* cc = dynamic_cast<TMMControlChange*>(change)) {
        if (cc->LineId == lineId_)
            ControlChanged(cc->ControlId);
    } else if (dynamic_cast<TMMDeviceChange*>(change)) {
        UpdateLine();
    }
}

void TMMAudioLine::LineChanged()
{
    {
        TMMLineChange change(lineId_);
        observable_.Notify(&change);
    }
    if (OnChange)
        OnChange(this);
}

void TMMAudioLine::LineIdChanged()
{
    TMMLineIdChange change;
    observable_.Notify(&change);
}

void TMMAudioLine::ControlChanged(TMMControlId controlId)
{
    {
        TMMControlChange change(lineId_, controlId);
        observable_.Notify(&change);
    }
    if (OnControlChange)
        OnControlChange(this, lineId_, controlId);
}

void TMMAudioLine::Loaded()
{
    TMMNonVisualComponent::Loaded();
    UpdateLine();
}

void TMMAudioLine::Notification(QObject* component, TOperation operation)
{
    TMMNonVisualComponent::Notification(component, operation);
    if (operation != opRemove || IsDestroying())
        return;
    if (component == mixer_) {
        mixer_ = nullptr;
        UpdateLine();
    } else if (component == target_) {
        target_ = nullptr;
        UpdateLine();
    } else if (component == destLine_) {
        destLine_ = nullptr;
        UpdateLine();
    }
}

}  // namespace zol
