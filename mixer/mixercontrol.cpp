#include "mixer/mixercontrol.h"

#include "platform/errors.h"
#include "platform/strings.h"

#include <algorithm>
#include <array>
#include <vector>

namespace zol {

namespace {

using namespace platform;

constexpr std::array<std::uint32_t, 30> kControlTypes = {
    0x00000000u,  // ctCustom
    0x50030002u,  // ctBass
    0x50030004u,  // ctEqualizer
    0x50030000u,  // ctFader
    0x50030003u,  // ctTreble
    0x50030001u,  // ctVolume
    0x71010001u,  // ctMixer
    0x71010000u,  // ctMultipleSelect
    0x70010001u,  // ctMux
    0x70010000u,  // ctSingleSelect
    0x10010000u,  // ctBooleanMeter
    0x10020001u,  // ctPeakMeter
    0x10020000u,  // ctSignerMeter
    0x10030000u,  // ctUnsignedMeter
    0x30040000u,  // ctDecibels
    0x30050000u,  // ctPercent
    0x30020000u,  // ctSigned
    0x30030000u,  // ctUnsigned
    0x40020001u,  // ctPan
    0x40020002u,  // ctQSoundPan
    0x40020000u,  // ctSlider
    0x20010000u,  // ctBoolean
    0x21010000u,  // ctButton
    0x20010004u,  // ctLoudness
    0x20010003u,  // ctMono
    0x20010002u,  // ctMute
    0x20010001u,  // ctOnOff
    0x20010005u,  // ctStereoEnh
    0x60030000u,  // ctMicroTime
    0x61030000u,  // ctMilliTime
};

// Top four bits of a control type -> class.
constexpr std::array<std::pair<std::uint32_t, TMMControlClass>, 8> kClasses = {{
    {0x0, ccCustom}, {0x5, ccFader}, {0x7, ccList}, {0x1, ccMeter},
    {0x3, ccNumber}, {0x4, ccSlider}, {0x2, ccSwitch}, {0x6, ccTime},
}};

[[noreturn]] void Raise(int id)
{
    throw EMMMixerControlError(LoadResString(id));
}

}  // namespace

std::uint32_t ControlTypeToSystem(TMMControlType type)
{
    return kControlTypes[static_cast<std::size_t>(type)];
}

TMMControlType ControlTypeFromSystem(std::uint32_t value)
{
    for (std::size_t i = 0; i < kControlTypes.size(); ++i)
        if (kControlTypes[i] == value)
            return static_cast<TMMControlType>(i);
    return ctCustom;
}

TMMControlClass ControlClassOfSystem(std::uint32_t value)
{
    const std::uint32_t bits = value >> 28;
    for (const auto& [b, c] : kClasses)
        if (b == bits)
            return c;
    throw EMMMixerServiceError(LoadResString(SUndefinedControlClass));
}

TMMControlClass ControlClassOf(TMMControlType type)
{
    return ControlClassOfSystem(ControlTypeToSystem(type));
}

TMMControlFlags ControlFlagsFromSystem(std::uint32_t flags)
{
    TMMControlFlags set = 0;
    if (flags & MIXERCONTROL_CONTROLF_DISABLED)
        set |= 1u << cfDisabled;
    if (flags & MIXERCONTROL_CONTROLF_MULTIPLE)
        set |= 1u << cfMultiple;
    if (flags & MIXERCONTROL_CONTROLF_UNIFORM)
        set |= 1u << cfUniform;
    return set;
}

// ---------------------------------------------------------------------------
// TMMCustomMixerControl

TMMCustomMixerControl::TMMCustomMixerControl(QObject* owner) : TMMNonVisualComponent(owner)
{
    lineObserver_.SetOnNotify([this](TMMObserver*, TMMChange* change) {
        if (auto* cc = dynamic_cast<TMMControlChange*>(change)) {
            if (audioLine_ && cc->LineId == audioLine_->LineId() && cc->ControlId == controlId_)
                Changed();
        } else if (dynamic_cast<TMMLineIdChange*>(change)) {
            UpdateControl();
        }
    });
}

TMMCustomMixerControl::~TMMCustomMixerControl()
{
    Destroying();
    if (audioLine_)
        audioLine_->RemoveObserver(&lineObserver_);
}

bool TMMCustomMixerControl::MixerValid() const
{
    return audioLine_ && audioLine_->Mixer() && audioLine_->Mixer()->IsValid();
}

bool TMMCustomMixerControl::LineValid() const
{
    return MixerValid() && audioLine_->LineId() != badLineId;
}

void TMMCustomMixerControl::SetAudioLine(TMMAudioLine* line)
{
    if (line == audioLine_)
        return;
    if (audioLine_) {
        audioLine_->RemoveObserver(&lineObserver_);
        RemoveFreeNotification(audioLine_);
    }
    audioLine_ = line;
    if (audioLine_) {
        audioLine_->AddObserver(&lineObserver_);
        FreeNotification(audioLine_);
    }
    UpdateControl();
}

void TMMCustomMixerControl::SetControlId(TMMControlId id)
{
    if (id == controlId_ && selector_ == 0)
        return;
    controlId_ = id;
    selector_ = 0;
    UpdateControl();
}

void TMMCustomMixerControl::SetControlTypeValue(TMMControlType type)
{
    if (type == controlType_ && selector_ == 1)
        return;
    controlType_ = type;
    selector_ = 1;
    UpdateControl();
}

void TMMCustomMixerControl::UpdateControl()
{
    if (IsLoading()) {
        controlClass_ = ControlClassOf(controlType_);
        return;
    }
    if (LineValid()) {
        MixerControlDesc desc;
        TMMMixerDevice* mixer = audioLine_->Mixer();
        const bool found = selector_ == 0 ? (controlId_ != badControlId && mixer->GetControlById(controlId_, desc))
                                          : mixer->GetControlByType(audioLine_->LineId(),
                                                                    ControlTypeToSystem(controlType_), desc);
        if (found && AcceptControl(desc)) {
            ControlClassOfSystem(desc.controlType);  // raises for an unknown class
            controlId_ = desc.controlId;
            controlType_ = ControlTypeFromSystem(desc.controlType);
            systemType_ = desc.controlType;
            controlInfo_.flags_ = ControlFlagsFromSystem(desc.flags);
            controlInfo_.multipleItems_ = desc.multipleItems;
            controlInfo_.shortName_ = desc.shortName.left(16);
            controlInfo_.name_ = desc.name.left(64);
            controlInfo_.minValue_ = desc.minimum;
            controlInfo_.maxValue_ = desc.maximum;
            controlInfo_.steps_ = desc.steps;
        } else {
            controlId_ = badControlId;
            controlInfo_.Clear();
        }
    }
    controlClass_ = ControlClassOf(controlType_);
    if (announce_)
        ControlIdChanged();
}

void TMMCustomMixerControl::Changed()
{
    {
        TMMControlChange change(LineValid() ? audioLine_->LineId() : badLineId, controlId_);
        observable_.Notify(&change);
    }
    if (OnChange)
        OnChange(this);
}

void TMMCustomMixerControl::ControlIdChanged()
{
    TMMControlIdChange change;
    observable_.Notify(&change);
}

bool TMMCustomMixerControl::IsValid()
{
    return LineValid() && controlId_ != badControlId;
}

bool TMMCustomMixerControl::AcceptControl(const MixerControlDesc&)
{
    return true;
}

int TMMCustomMixerControl::GetChannels()
{
    if (!MixerValid())
        return 0;
    if (HasControlFlag(controlInfo_.Flags(), cfUniform))
        return 1;
    return audioLine_->LineInfo().Channels();
}

int TMMCustomMixerControl::GetItems()
{
    if (!MixerValid())
        return 0;
    return controlInfo_.MultipleItems();
}

int TMMCustomMixerControl::DetailIndex(TMMChannel channel, TMMItemIndex item)
{
    const int channels = GetChannels();
    const int i = std::max(item, 0);
    if (channels <= 1 || channel == chBoth)
        return i;
    const int left = std::max(channels, 1) * i;
    return channel == chLeft ? left : left + 1;
}

void TMMCustomMixerControl::CheckAccess()
{
    if (!MixerValid())
        throw EMMDeviceError(LoadResString(SMixerRequired));
    if (controlId_ == badControlId)
        throw EMMDeviceError(LoadResString(SControlNotValid));
}

void TMMCustomMixerControl::AccessCounts(TMMChannel channel, TMMItemIndex item, int& channels, int& items)
{
    CheckAccess();
    channels = channel == chBoth ? std::min(GetChannels(), 1) : GetChannels();
    if (item == NoItem) {
        items = 0;
        return;
    }
    const int last = GetItems() - 1;
    const int lo = std::min(0, last);
    const int hi = std::max(0, last);
    if (item < lo || item > hi)
        Raise(SItemIndexOutOfRange);
    items = GetItems();
}

std::int32_t TMMCustomMixerControl::ReadItem(TMMChannel channel, TMMItemIndex item)
{
    int channels = 0, items = 0;
    AccessCounts(channel, item, channels, items);
    std::vector<std::int32_t> values(std::size_t(std::max(channels, 1)) * std::max(items, 1), 0);
    audioLine_->Mixer()->GetControlDetails(controlId_, channels, items, values.data());
    const int index = DetailIndex(channel, item);
    return index < static_cast<int>(values.size()) ? values[index] : 0;
}

void TMMCustomMixerControl::WriteItem(TMMChannel channel, TMMItemIndex item, std::int32_t value, bool singleSelect)
{
    int channels = 0, items = 0;
    AccessCounts(channel, item, channels, items);
    std::vector<std::int32_t> values(std::size_t(std::max(channels, 1)) * std::max(items, 1), 0);
    TMMMixerDevice* mixer = audioLine_->Mixer();
    mixer->GetControlDetails(controlId_, channels, items, values.data());
    if (singleSelect && items > 0) {
        // A single-select list: exactly one item of the channel is set.
        for (int i = 0; i < items; ++i) {
            const int index = DetailIndex(channel, i);
            if (index < static_cast<int>(values.size()))
                values[index] = 0;
        }
    }
    const int index = DetailIndex(channel, item);
    if (index < static_cast<int>(values.size()))
        values[index] = value;
    mixer->SetControlDetails(controlId_, channels, items, values.data());
}

std::int32_t TMMCustomMixerControl::ReadUniform()
{
    CheckAccess();
    std::int32_t value = 0;
    audioLine_->Mixer()->GetControlDetails(controlId_, std::min(GetChannels(), 1), 0, &value);
    return value;
}

void TMMCustomMixerControl::WriteUniform(std::int32_t value)
{
    CheckAccess();
    audioLine_->Mixer()->SetControlDetails(controlId_, std::min(GetChannels(), 1), 0, &value);
}

bool TMMCustomMixerControl::GetBoolValue()
{
    return (ReadUniform() & 0xFF) != 0;
}

void TMMCustomMixerControl::SetBoolValue(bool value)
{
    WriteUniform(value ? 1 : 0);
}

std::uint32_t TMMCustomMixerControl::GetUnsignedValue()
{
    return static_cast<std::uint32_t>(ReadUniform());
}

void TMMCustomMixerControl::SetUnsignedValue(std::uint32_t value)
{
    WriteUniform(static_cast<std::int32_t>(value));
}

std::int32_t TMMCustomMixerControl::GetSignedValue()
{
    return ReadUniform();
}

void TMMCustomMixerControl::SetSignedValue(std::int32_t value)
{
    WriteUniform(value);
}

std::int32_t TMMCustomMixerControl::GetSignedItem(TMMChannel channel, TMMItemIndex item)
{
    return ReadItem(channel, item);
}

void TMMCustomMixerControl::SetSignedItem(TMMChannel channel, TMMItemIndex item, std::int32_t value)
{
    WriteItem(channel, item, value, false);
}

std::uint32_t TMMCustomMixerControl::GetUnsignedItem(TMMChannel channel, TMMItemIndex item)
{
    return static_cast<std::uint32_t>(ReadItem(channel, item));
}

void TMMCustomMixerControl::SetUnsignedItem(TMMChannel channel, TMMItemIndex item, std::uint32_t value)
{
    WriteItem(channel, item, static_cast<std::int32_t>(value), false);
}

bool TMMCustomMixerControl::GetBoolItem(TMMChannel channel, TMMItemIndex item)
{
    return (ReadItem(channel, item) & 0xFF) != 0;
}

void TMMCustomMixerControl::SetBoolItem(TMMChannel channel, TMMItemIndex item, bool value)
{
    const bool singleSelect = (systemType_ & 0x0F000000u) == 0;
    WriteItem(channel, item, value ? 1 : 0, singleSelect && item != NoItem);
}

void TMMCustomMixerControl::GetItemInfo(TMMItemIndex item, TMMItemInfo& info)
{
    CheckAccess();
    if (!HasControlFlag(controlInfo_.Flags(), cfMultiple))
        Raise(SItemInfoNonMultiple);
    const int items = GetItems();
    if (item < 0 || item > items - 1)
        Raise(SItemIndexOutOfRange);
    const int channels = GetChannels();
    std::vector<MixerListText> texts(std::size_t(std::max(channels, 1)) * std::max(items, 1));
    audioLine_->Mixer()->GetListTexts(controlId_, channels, items, texts.data());
    const auto& entry = texts[std::size_t(item) * std::max(channels, 1)];
    info.Param1 = entry.param1;
    info.Param2 = entry.param2;
    info.Name = entry.name.left(64);
}

TMMItemIndex TMMCustomMixerControl::ItemOfLine(TMMAudioLine* line)
{
    if (line == nullptr || line->LineId() == badLineId || !IsValid() ||
        !HasControlFlag(controlInfo_.Flags(), cfMultiple) || (controlType_ != ctMixer && controlType_ != ctMux))
        return NoItem;
    for (int i = 0; i < GetItems(); ++i) {
        TMMItemInfo info;
        GetItemInfo(i, info);
        if (info.Param1 == static_cast<std::uint32_t>(line->LineId()))
            return i;
    }
    return NoItem;
}

void TMMCustomMixerControl::Loaded()
{
    TMMNonVisualComponent::Loaded();
    UpdateControl();
}

void TMMCustomMixerControl::Notification(QObject* component, TOperation operation)
{
    TMMNonVisualComponent::Notification(component, operation);
    if (operation == opRemove && component == audioLine_ && !IsDestroying()) {
        audioLine_ = nullptr;
        UpdateControl();
    }
}

// ---------------------------------------------------------------------------
// TMMVolumeControl

TMMVolumeControl::TMMVolumeControl(QObject* owner) : TMMCustomMixerControl(owner)
{
    SetControlTypeValue(ctVolume);
}

double TMMVolumeControl::PanFactor(TMMChannel channel) const
{
    if (channel == chLeft)
        return panValue_ < 1 ? 1.0 : (32767.0 - panValue_) / 32767.0;
    return panValue_ >= 0 ? 1.0 : (panValue_ + 32768.0) / 32768.0;
}

void TMMVolumeControl::SetPanValue(int value)
{
    value = std::clamp(value, -32768, 32767);
    if (value == panValue_)
        return;
    panValue_ = value;
    if (!IsValid())
        return;
    // The volume the old balance was applied to is the louder channel (its
    // factor was 1); reading only the first channel would lose the volume
    // of a line panned away from it.
    std::int32_t volume = GetSignedItem(chLeft, NoItem);
    if (GetChannels() > 1)
        volume = std::max(volume, GetSignedItem(chRight, NoItem));
    SetSignedValue(volume);
}

void TMMVolumeControl::SetUnsignedValue(std::uint32_t value)
{
    SetUnsignedItem(chLeft, NoItem, static_cast<std::uint32_t>(PanFactor(chLeft) * value));
    SetUnsignedItem(chRight, NoItem, static_cast<std::uint32_t>(PanFactor(chRight) * value));
}

void TMMVolumeControl::SetSignedValue(std::int32_t value)
{
    SetSignedItem(chLeft, NoItem, static_cast<std::int32_t>(PanFactor(chLeft) * value));
    SetSignedItem(chRight, NoItem, static_cast<std::int32_t>(PanFactor(chRight) * value));
}

bool TMMVolumeControl::AcceptControl(const MixerControlDesc& control)
{
    return control.controlType == MIXERCONTROL_CONTROLTYPE_VOLUME;
}

void TMMVolumeControl::SetSignedItem(TMMChannel channel, TMMItemIndex item, std::int32_t value)
{
    if (channel == chBoth) {
        TMMCustomMixerControl::SetSignedItem(chLeft, item, static_cast<std::int32_t>(PanFactor(chLeft) * value));
        TMMCustomMixerControl::SetSignedItem(chRight, item, static_cast<std::int32_t>(PanFactor(chRight) * value));
        return;
    }
    TMMCustomMixerControl::SetSignedItem(channel, item, value);
}

void TMMVolumeControl::SetUnsignedItem(TMMChannel channel, TMMItemIndex item, std::uint32_t value)
{
    if (channel == chBoth) {
        TMMCustomMixerControl::SetUnsignedItem(chLeft, item,
                                               static_cast<std::uint32_t>(PanFactor(chLeft) * value));
        TMMCustomMixerControl::SetUnsignedItem(chRight, item,
                                               static_cast<std::uint32_t>(PanFactor(chRight) * value));
        return;
    }
    TMMCustomMixerControl::SetUnsignedItem(channel, item, value);
}

// ---------------------------------------------------------------------------
// TMMPanControl

TMMPanControl::TMMPanControl(QObject* owner) : TMMCustomMixerControl(owner)
{
    volumeObserver_.SetOnNotify([this](TMMObserver*, TMMChange* change) {
        if (dynamic_cast<TMMControlIdChange*>(change))
            UpdateControl();
        else if (simulated_)
            DerivePan();
    });
    SetControlTypeValue(ctPan);
}

TMMPanControl::~TMMPanControl()
{
    Destroying();
    if (volumeControl_)
        volumeControl_->RemoveObserver(&volumeObserver_);
}

void TMMPanControl::SetVolumeControl(TMMVolumeControl* control)
{
    if (control == volumeControl_)
        return;
    if (volumeControl_) {
        volumeControl_->RemoveObserver(&volumeObserver_);
        RemoveFreeNotification(volumeControl_);
        volumeControl_->SetPanValue(0);
    }
    volumeControl_ = control;
    if (volumeControl_) {
        volumeControl_->AddObserver(&volumeObserver_);
        FreeNotification(volumeControl_);
    }
    UpdateControl();
}

void TMMPanControl::SetSimulate(bool value)
{
    if (value == simulate_)
        return;
    simulate_ = value;
    UpdateControl();
}

void TMMPanControl::UpdateControl()
{
    if (IsLoading()) {
        TMMCustomMixerControl::UpdateControl();
        return;
    }
    const bool was = simulated_;
    // A real pan control first; the simulation stands in when there is none.
    simulated_ = false;
    // Resolve without announcing yet: observers hear once below.
    announce_ = false;
    try {
        TMMCustomMixerControl::UpdateControl();
    } catch (...) {
        announce_ = true;
        throw;
    }
    announce_ = true;
    const bool realValid = TMMCustomMixerControl::IsValid();
    simulated_ = !realValid && simulate_ && volumeControl_ && volumeControl_->IsValid() &&
                 !HasControlFlag(volumeControl_->ControlInfo().Flags(), cfUniform) &&
                 volumeControl_->GetChannels() > 1;
    if (simulated_) {
        controlInfo_.Clear();
        controlInfo_.flags_ = 1u << cfUniform;
        controlInfo_.multipleItems_ = 0;
        controlInfo_.shortName_ = QStringLiteral("Pan");
        controlInfo_.name_ = QStringLiteral("Simulated pan");
        controlInfo_.minValue_ = -32768;
        controlInfo_.maxValue_ = 32767;
        controlInfo_.steps_ = 0;
    }
    ControlIdChanged();
    if (simulated_ && !was)
        DerivePan();
    if (volumeControl_)
        volumeControl_->SetPanValue(simulated_ ? panValue_ : 0);
}

void TMMPanControl::DerivePan()
{
    if (!volumeControl_)
        return;
    const std::int32_t l = volumeControl_->GetSignedItem(chLeft, NoItem);
    const std::int32_t r = volumeControl_->GetSignedItem(chRight, NoItem);
    if (l != 0 && r != 0)
        panValue_ = static_cast<std::int32_t>((double(r) - double(l)) * 32767.0 / double(std::max(r, l)));
    else if (l != 0)
        panValue_ = -32768;
    else if (r != 0)
        panValue_ = 32767;
    volumeControl_->SetPanValueField(panValue_);
    Changed();
}

std::int32_t TMMPanControl::GetSignedValue()
{
    return simulated_ ? panValue_ : TMMCustomMixerControl::GetSignedValue();
}

void TMMPanControl::SetSignedValue(std::int32_t value)
{
    if (!simulated_) {
        TMMCustomMixerControl::SetSignedValue(value);
        return;
    }
    panValue_ = value;
    if (volumeControl_)
        volumeControl_->SetPanValue(value);
}

bool TMMPanControl::IsValid()
{
    return simulated_ || TMMCustomMixerControl::IsValid();
}

bool TMMPanControl::AcceptControl(const MixerControlDesc& control)
{
    return control.controlType == MIXERCONTROL_CONTROLTYPE_PAN;
}

int TMMPanControl::GetChannels()
{
    return 1;
}

int TMMPanControl::GetItems()
{
    return 0;
}

std::int32_t TMMPanControl::GetSignedItem(TMMChannel channel, TMMItemIndex item)
{
    return simulated_ ? panValue_ : TMMCustomMixerControl::GetSignedItem(channel, item);
}

void TMMPanControl::SetSignedItem(TMMChannel channel, TMMItemIndex item, std::int32_t value)
{
    if (simulated_)
        SetSignedValue(value);
    else
        TMMCustomMixerControl::SetSignedItem(channel, item, value);
}

void TMMPanControl::Notification(QObject* component, TOperation operation)
{
    TMMCustomMixerControl::Notification(component, operation);
    if (operation == opRemove && component == volumeControl_ && !IsDestroying()) {
        volumeControl_ = nullptr;
        UpdateControl();
    }
}

}  // namespace zol
