#include "platform/mixer_sim.h"

#include "platform/simgain.h"
#include "platform/window_thread.h"

#include <algorithm>

namespace zol::platform {

SimMixerBackend::SimMixerBackend(int cards)
{
    lines_ = {
        {kWaveInLineId, false, MIXERLINE_COMPONENTTYPE_DST_WAVEIN, 2, QStringLiteral("Recording"),
         QStringLiteral("Recording Control")},
        {kMicLineId, true, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, 2, QStringLiteral("Mic"),
         QStringLiteral("Microphone")},
    };
    Card card;
    card.controls = {
        {kWaveInVolumeId, MIXERCONTROL_CONTROLTYPE_VOLUME, 0, 0, 65535, 64, true, QStringLiteral("Volume"),
         QStringLiteral("Recording Volume")},
        {kWaveInMuteId, MIXERCONTROL_CONTROLTYPE_MUTE, MIXERCONTROL_CONTROLF_UNIFORM, 0, 1, 0, true,
         QStringLiteral("Mute"), QStringLiteral("Recording Mute")},
        {kWaveInMeterId, MIXERCONTROL_CONTROLTYPE_PEAKMETER, 0, -32768, 32767, 0, true,
         QStringLiteral("Peak"), QStringLiteral("Recording Peak Meter")},
        {kMicVolumeId, MIXERCONTROL_CONTROLTYPE_VOLUME, 0, 0, 65535, 64, true, QStringLiteral("Volume"),
         QStringLiteral("Microphone Volume")},
        {kMicMuteId, MIXERCONTROL_CONTROLTYPE_MUTE, MIXERCONTROL_CONTROLF_UNIFORM, 0, 1, 0, true,
         QStringLiteral("Mute"), QStringLiteral("Microphone Mute")},
        {kMicMeterId, MIXERCONTROL_CONTROLTYPE_PEAKMETER, 0, -32768, 32767, 0, true,
         QStringLiteral("Peak"), QStringLiteral("Microphone Peak Meter")},
    };
    for (const auto& c : card.controls) {
        const bool volume = c.type == MIXERCONTROL_CONTROLTYPE_VOLUME;
        card.values[c.id] = std::vector<std::int32_t>(2, volume ? c.maximum : 0);
    }
    cards_.assign(std::max(cards, 0), card);
    UpdateGain();
}

SimMixerBackend::~SimMixerBackend()
{
    for (auto& [id, handle] : handles_)
        RemovePostedMessages(&handle);
}

int SimMixerBackend::DeviceCount()
{
    return static_cast<int>(cards_.size());
}

int SimMixerBackend::GetDevCaps(int device, MixerCaps& caps)
{
    if (device < 0 || device >= DeviceCount())
        return MMSYSERR_BADDEVICEID;
    caps = MixerCaps();
    caps.manufacturerId = 1;
    caps.productId = 1;
    caps.driverVersion = 0x0100;
    caps.productName = QStringLiteral("Simulated Mixer %1").arg(device);
    caps.destinations = 1;
    return MMSYSERR_NOERROR;
}

const SimMixerBackend::Line* SimMixerBackend::FindLine(int lineId) const
{
    for (const auto& line : lines_)
        if (line.id == lineId)
            return &line;
    return nullptr;
}

SimMixerBackend::Control* SimMixerBackend::FindControl(int device, int controlId)
{
    if (device < 0 || device >= DeviceCount())
        return nullptr;
    for (auto& c : cards_[device].controls)
        if (c.id == controlId && c.present)
            return &c;
    return nullptr;
}

int SimMixerBackend::LineOfControl(int controlId) const
{
    return controlId <= kWaveInMeterId ? kWaveInLineId : kMicLineId;
}

void SimMixerBackend::Describe(int device, const Line& line, MixerLineDesc& out) const
{
    out = MixerLineDesc();
    out.destination = 0;
    out.source = line.source ? 0 : 0;
    out.lineId = line.id;
    out.flags = MIXERLINE_LINEF_ACTIVE | (line.source ? MIXERLINE_LINEF_SOURCE : 0);
    out.componentType = line.componentType;
    out.channels = line.channels;
    out.connections = line.source ? 0 : 1;
    int controls = 0;
    for (const auto& c : cards_[device].controls)
        if (c.present && LineOfControl(c.id) == line.id)
            ++controls;
    out.controls = controls;
    out.shortName = line.shortName;
    out.name = line.name;
    if (!line.source) {
        out.target.type = MIXERLINE_TARGETTYPE_WAVEIN;
        out.target.deviceId = static_cast<std::uint32_t>(device);
        out.target.manufacturerId = 1;
        out.target.productId = 1;
        out.target.driverVersion = 0x0100;
        out.target.productName = QStringLiteral("Simulated Receiver");
    }
}

void SimMixerBackend::Describe(const Control& c, MixerControlDesc& out) const
{
    out = MixerControlDesc();
    out.controlId = c.id;
    out.controlType = c.type;
    out.flags = c.flags;
    out.shortName = c.shortName;
    out.name = c.name;
    out.minimum = c.minimum;
    out.maximum = c.maximum;
    out.steps = c.steps;
}

bool SimMixerBackend::TakeFailure(const char* call, int& code)
{
    auto it = failures_.find(QString::fromLatin1(call));
    if (it == failures_.end() || it->second == 0)
        return false;
    code = it->second;
    failures_.erase(it);
    return true;
}

int SimMixerBackend::LineByDestination(int device, int destination, MixerLineDesc& line)
{
    int code = 0;
    if (TakeFailure("line", code))
        return code;
    if (device < 0 || device >= DeviceCount())
        return MMSYSERR_BADDEVICEID;
    if (destination != 0)
        return MMSYSERR_INVALPARAM;
    Describe(device, lines_[0], line);
    return MMSYSERR_NOERROR;
}

int SimMixerBackend::LineById(int device, int lineId, MixerLineDesc& line)
{
    int code = 0;
    if (TakeFailure("line", code))
        return code;
    if (device < 0 || device >= DeviceCount())
        return MMSYSERR_BADDEVICEID;
    const Line* found = FindLine(lineId);
    if (found == nullptr)
        return MIXERR_INVALLINE;
    Describe(device, *found, line);
    return MMSYSERR_NOERROR;
}

int SimMixerBackend::LineByType(int device, std::uint32_t componentType, MixerLineDesc& line)
{
    int code = 0;
    if (TakeFailure("line", code))
        return code;
    if (device < 0 || device >= DeviceCount())
        return MMSYSERR_BADDEVICEID;
    for (const auto& l : lines_) {
        if (l.componentType == componentType) {
            Describe(device, l, line);
            return MMSYSERR_NOERROR;
        }
    }
    return MIXERR_INVALLINE;
}

int SimMixerBackend::LineBySource(int device, int destination, int source, MixerLineDesc& line)
{
    int code = 0;
    if (TakeFailure("line", code))
        return code;
    if (device < 0 || device >= DeviceCount())
        return MMSYSERR_BADDEVICEID;
    if (destination != 0 || source != 0)
        return MMSYSERR_INVALPARAM;
    Describe(device, lines_[1], line);
    return MMSYSERR_NOERROR;
}

int SimMixerBackend::LineByTarget(int device, const MixerTarget& target, MixerLineDesc& line)
{
    int code = 0;
    if (TakeFailure("line", code))
        return code;
    if (device < 0 || device >= DeviceCount())
        return MMSYSERR_BADDEVICEID;
    if (target.type != MIXERLINE_TARGETTYPE_WAVEIN)
        return MIXERR_INVALLINE;
    Describe(device, lines_[0], line);
    return MMSYSERR_NOERROR;
}

int SimMixerBackend::ControlById(int device, int controlId, MixerControlDesc& control, int& lineId)
{
    int code = 0;
    if (TakeFailure("control", code))
        return code;
    if (device < 0 || device >= DeviceCount())
        return MMSYSERR_BADDEVICEID;
    const Control* c = FindControl(device, controlId);
    if (c == nullptr)
        return MIXERR_INVALCONTROL;
    Describe(*c, control);
    lineId = LineOfControl(controlId);
    return MMSYSERR_NOERROR;
}

int SimMixerBackend::ControlByType(int device, int lineId, std::uint32_t controlType,
                                   MixerControlDesc& control)
{
    int code = 0;
    if (TakeFailure("control", code))
        return code;
    if (device < 0 || device >= DeviceCount())
        return MMSYSERR_BADDEVICEID;
    if (FindLine(lineId) == nullptr)
        return MIXERR_INVALLINE;
    for (const auto& c : cards_[device].controls) {
        if (c.present && c.type == controlType && LineOfControl(c.id) == lineId) {
            Describe(c, control);
            return MMSYSERR_NOERROR;
        }
    }
    return MIXERR_INVALCONTROL;
}

int SimMixerBackend::ChannelsOf(int, const Control& control) const
{
    if (control.flags & MIXERCONTROL_CONTROLF_UNIFORM)
        return 1;
    return FindLine(LineOfControl(control.id))->channels;
}

int SimMixerBackend::GetValues(int device, int controlId, int channels, int items, std::int32_t* values)
{
    int code = 0;
    if (TakeFailure("get", code))
        return code;
    if (device < 0 || device >= DeviceCount())
        return MMSYSERR_BADDEVICEID;
    const Control* c = FindControl(device, controlId);
    if (c == nullptr)
        return MIXERR_INVALCONTROL;
    const int own = ChannelsOf(device, *c);
    if (items != 0 || (channels != 1 && channels != own) || values == nullptr)
        return MMSYSERR_INVALPARAM;
    const auto& stored = cards_[device].values[controlId];
    const bool meter = c->type == MIXERCONTROL_CONTROLTYPE_PEAKMETER;
    for (int ch = 0; ch < channels; ++ch) {
        if (meter) {
            // The meter shows the line's peak after its volume and mute.
            const int line = LineOfControl(controlId);
            const int volumeId = line == kMicLineId ? kMicVolumeId : kWaveInVolumeId;
            const int muteId = line == kMicLineId ? kMicMuteId : kWaveInMuteId;
            const Control* vol = FindControl(device, volumeId);
            double gain = 1.0;
            if (vol != nullptr && vol->maximum > vol->minimum)
                gain = double(cards_[device].values[volumeId][ch] - vol->minimum) /
                       double(vol->maximum - vol->minimum);
            if (cards_[device].values[muteId][0] != 0)
                gain = 0.0;
            values[ch] = static_cast<std::int32_t>(peak_ * gain);
        } else {
            values[ch] = stored[ch];
        }
    }
    return MMSYSERR_NOERROR;
}

int SimMixerBackend::SetValues(int device, int controlId, int channels, int items,
                               const std::int32_t* values)
{
    int code = 0;
    if (TakeFailure("set", code))
        return code;
    if (device < 0 || device >= DeviceCount())
        return MMSYSERR_BADDEVICEID;
    Control* c = FindControl(device, controlId);
    if (c == nullptr)
        return MIXERR_INVALCONTROL;
    const int own = ChannelsOf(device, *c);
    if (items != 0 || (channels != 1 && channels != own) || values == nullptr)
        return MMSYSERR_INVALPARAM;
    if (c->type == MIXERCONTROL_CONTROLTYPE_PEAKMETER)
        return MMSYSERR_NOTSUPPORTED;
    for (int ch = 0; ch < channels; ++ch)
        if (values[ch] < c->minimum || values[ch] > c->maximum)
            return MIXERR_INVALVALUE;
    auto& stored = cards_[device].values[controlId];
    for (int ch = 0; ch < 2; ++ch)
        stored[ch] = values[channels == 1 ? 0 : std::min(ch, channels - 1)];
    writes_.push_back({device, controlId, std::vector<std::int32_t>(values, values + channels)});
    UpdateGain();
    PostControlChange(device, controlId);
    return MMSYSERR_NOERROR;
}

int SimMixerBackend::GetListTexts(int device, int controlId, int, int, MixerListText*)
{
    if (device < 0 || device >= DeviceCount())
        return MMSYSERR_BADDEVICEID;
    if (FindControl(device, controlId) == nullptr)
        return MIXERR_INVALCONTROL;
    // No control of this card has items.
    return MMSYSERR_INVALPARAM;
}

int SimMixerBackend::Open(int device, MixerNotify notify, int& handle)
{
    if (device < 0 || device >= DeviceCount())
        return MMSYSERR_BADDEVICEID;
    handle = nextHandle_++;
    handles_[handle] = Handle{device, std::move(notify)};
    return MMSYSERR_NOERROR;
}

int SimMixerBackend::Close(int handle)
{
    auto it = handles_.find(handle);
    if (it == handles_.end())
        return MMSYSERR_INVALHANDLE;
    RemovePostedMessages(&it->second);
    handles_.erase(it);
    return MMSYSERR_NOERROR;
}

int SimMixerBackend::DeviceOfHandle(int handle, int& device)
{
    auto it = handles_.find(handle);
    if (it == handles_.end())
        return MMSYSERR_INVALHANDLE;
    device = it->second.device;
    return MMSYSERR_NOERROR;
}

QString SimMixerBackend::ErrorText(int code)
{
    return MixerErrorText(code);
}

void SimMixerBackend::PostControlChange(int device, int controlId)
{
    for (auto& [id, handle] : handles_) {
        if (handle.device != device)
            continue;
        const int key = id;
        Handle* target = &handle;
        PostToWindow(
            [this, key, controlId] {
                auto it = handles_.find(key);
                if (it != handles_.end() && it->second.notify)
                    it->second.notify(MM_MIXM_CONTROL_CHANGE, controlId);
            },
            target, MM_MIXM_CONTROL_CHANGE);
    }
}

void SimMixerBackend::UpdateGain()
{
    if (cards_.empty())
        return;
    const Control* vol = FindControl(0, kMicVolumeId);
    double gain = 1.0;
    if (vol != nullptr && vol->maximum > vol->minimum)
        gain = double(cards_[0].values[kMicVolumeId][0] - vol->minimum) / double(vol->maximum - vol->minimum);
    if (cards_[0].values[kMicMuteId][0] != 0)
        gain = 0.0;
    SetSimulatedCaptureGain(gain);
}

void SimMixerBackend::ConfigureVolume(int lineId, std::int32_t minimum, std::int32_t maximum, int steps,
                                      bool present)
{
    const int id = lineId == kMicLineId ? kMicVolumeId : kWaveInVolumeId;
    for (auto& card : cards_) {
        for (auto& c : card.controls) {
            if (c.id != id)
                continue;
            c.minimum = minimum;
            c.maximum = maximum;
            c.steps = steps;
            c.present = present;
            for (auto& v : card.values[id])
                v = std::clamp(v, minimum, maximum);
        }
    }
    UpdateGain();
}

void SimMixerBackend::SetControlFlags(int controlId, std::uint32_t flags)
{
    for (auto& card : cards_)
        for (auto& c : card.controls)
            if (c.id == controlId)
                c.flags = flags;
}

void SimMixerBackend::SetMicChannels(int channels)
{
    for (auto& line : lines_)
        if (line.id == kMicLineId)
            line.channels = std::clamp(channels, 1, 2);
}

std::int32_t SimMixerBackend::Value(int controlId, int channel, int device) const
{
    if (device < 0 || device >= static_cast<int>(cards_.size()))
        return 0;
    auto it = cards_[device].values.find(controlId);
    if (it == cards_[device].values.end())
        return 0;
    return it->second[std::clamp(channel, 0, 1)];
}

void SimMixerBackend::SetValueFromOutside(int controlId, int channel, std::int32_t value, int device)
{
    if (device < 0 || device >= DeviceCount())
        return;
    auto it = cards_[device].values.find(controlId);
    if (it == cards_[device].values.end())
        return;
    it->second[std::clamp(channel, 0, 1)] = value;
    UpdateGain();
    PostControlChange(device, controlId);
}

void SimMixerBackend::FailNext(const QString& call, int code)
{
    failures_[call] = code;
}

}  // namespace zol::platform
