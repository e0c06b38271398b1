// Mixer controls: one control of a mixer line (volume, pan, mute, meter...),
// resolved on its line by identifier or by type, with its description and
// per-channel, per-item values.
#pragma once

#include "platform/waveformat.h"
#include "mixer/mixerdevice.h"

namespace zol {

using TMMItemIndex = int;  // -1 = no item ("NoItem")
constexpr TMMItemIndex NoItem = -1;

enum TMMControlType {
    ctCustom, ctBass, ctEqualizer, ctFader, ctTreble, ctVolume, ctMixer, ctMultipleSelect, ctMux,
    ctSingleSelect, ctBooleanMeter, ctPeakMeter, ctSignerMeter, ctUnsignedMeter, ctDecibels,
    ctPercent, ctSigned, ctUnsigned, ctPan, ctQSoundPan, ctSlider, ctBoolean, ctButton,
    ctLoudness, ctMono, ctMute, ctOnOff, ctStereoEnh, ctMicroTime, ctMilliTime
};
enum TMMControlClass { ccCustom, ccFader, ccList, ccMeter, ccNumber, ccSlider, ccSwitch, ccTime };

std::uint32_t ControlTypeToSystem(TMMControlType type);
// ctCustom for an unknown value.
TMMControlType ControlTypeFromSystem(std::uint32_t value);
// Raises EMMMixerServiceError "Undefined API control class" when the top
// four bits are not a known class.
TMMControlClass ControlClassOfSystem(std::uint32_t value);
TMMControlClass ControlClassOf(TMMControlType type);

// Control flags; a set holds bit (1 << flag).
enum TMMControlFlag { cfDisabled, cfMultiple, cfUniform };
using TMMControlFlags = std::uint32_t;
TMMControlFlags ControlFlagsFromSystem(std::uint32_t flags);
inline bool HasControlFlag(TMMControlFlags set, TMMControlFlag flag) { return set & (1u << flag); }

class TMMControlInfo {
public:
    TMMControlFlags Flags() const { return flags_; }
    TMMItemIndex MultipleItems() const { return multipleItems_; }
    QString ShortName() const { return shortName_; }
    QString Name() const { return name_; }
    int MinValue() const { return minValue_; }
    int MaxValue() const { return maxValue_; }
    int Steps() const { return steps_; }

private:
    friend class TMMCustomMixerControl;
    friend class TMMPanControl;
    void Clear() { *this = TMMControlInfo(); }
    TMMControlFlags flags_ = 0;
    TMMItemIndex multipleItems_ = 0;
    QString shortName_;
    QString name_;
    int minValue_ = 0;
    int maxValue_ = 0;
    int steps_ = 0;
};

struct TMMItemInfo {
    std::uint32_t Param1 = 0;
    std::uint32_t Param2 = 0;
    QString Name;
};

class TMMCustomMixerControl : public TMMNonVisualComponent {
public:
    explicit TMMCustomMixerControl(QObject* owner = nullptr);
    ~TMMCustomMixerControl() override;

    TMMAudioLine* AudioLine() const { return audioLine_; }
    void SetAudioLine(TMMAudioLine* line);
    TMMControlId ControlId() const { return controlId_; }
    void SetControlId(TMMControlId id);
    TMMControlClass ControlClass() const { return controlClass_; }
    const TMMControlInfo& ControlInfo() const { return controlInfo_; }
    TMMControlType ControlType() const { return controlType_; }
    int Selector() const { return selector_; }

    void AddObserver(TMMObserver* observer) { observable_.AddObserver(observer); }
    void RemoveObserver(TMMObserver* observer) { observable_.RemoveObserver(observer); }

    virtual void UpdateControl();
    virtual void Changed();
    virtual void ControlIdChanged();
    virtual bool GetBoolValue();
    virtual void SetBoolValue(bool value);
    virtual std::uint32_t GetUnsignedValue();
    virtual void SetUnsignedValue(std::uint32_t value);
    virtual std::int32_t GetSignedValue();
    virtual void SetSignedValue(std::int32_t value);
    virtual bool IsValid();
    virtual bool AcceptControl(const platform::MixerControlDesc& control);
    virtual int GetChannels();
    virtual int GetItems();
    virtual std::int32_t GetSignedItem(TMMChannel channel, TMMItemIndex item);
    virtual void SetSignedItem(TMMChannel channel, TMMItemIndex item, std::int32_t value);
    virtual std::uint32_t GetUnsignedItem(TMMChannel channel, TMMItemIndex item);
    virtual void SetUnsignedItem(TMMChannel channel, TMMItemIndex item, std::uint32_t value);
    virtual bool GetBoolItem(TMMChannel channel, TMMItemIndex item);
    virtual void SetBoolItem(TMMChannel channel, TMMItemIndex item, bool value);

    void GetItemInfo(TMMItemIndex item, TMMItemInfo& info);
    TMMItemIndex ItemOfLine(TMMAudioLine* line);
    int DetailIndex(TMMChannel channel, TMMItemIndex item);

    TNotifyEvent OnChange;

    void Loaded() override;
    void Notification(QObject* component, TOperation operation) override;

protected:
    void SetControlTypeValue(TMMControlType type);
    bool LineValid() const;
    bool MixerValid() const;
    void CheckAccess();
    // The whole value array of one access.
    void AccessCounts(TMMChannel channel, TMMItemIndex item, int& channels, int& items);
    std::int32_t ReadItem(TMMChannel channel, TMMItemIndex item);
    void WriteItem(TMMChannel channel, TMMItemIndex item, std::int32_t value, bool singleSelect);
    std::int32_t ReadUniform();
    void WriteUniform(std::int32_t value);

    TMMAudioLine* audioLine_ = nullptr;
    TMMControlId controlId_ = badControlId;
    TMMControlType controlType_ = ctCustom;
    TMMControlClass controlClass_ = ccCustom;
    int selector_ = 0;
    TMMObserver lineObserver_;
    TMMObservable observable_;
    TMMControlInfo controlInfo_;
    std::uint32_t systemType_ = 0;
    bool announce_ = true;
};

class TMMMixerControl : public TMMCustomMixerControl {
public:
    using TMMCustomMixerControl::TMMCustomMixerControl;
    void SetControlType(TMMControlType type) { SetControlTypeValue(type); }
};

class TMMVolumeControl : public TMMCustomMixerControl {
public:
    explicit TMMVolumeControl(QObject* owner = nullptr);
    int PanValue() const { return panValue_; }
    void SetPanValue(int value);
    // Sets the field without rewriting the volume (the simulated pan).
    void SetPanValueField(int value) { panValue_ = value; }
    double PanFactor(TMMChannel channel) const;

    void SetUnsignedValue(std::uint32_t value) override;
    void SetSignedValue(std::int32_t value) override;
    bool AcceptControl(const platform::MixerControlDesc& control) override;
    void SetSignedItem(TMMChannel channel, TMMItemIndex item, std::int32_t value) override;
    void SetUnsignedItem(TMMChannel channel, TMMItemIndex item, std::uint32_t value) override;

private:
    int panValue_ = 0;
};

class TMMPanControl : public TMMCustomMixerControl {
public:
    explicit TMMPanControl(QObject* owner = nullptr);
    ~TMMPanControl() override;

    TMMVolumeControl* VolumeControl() const { return volumeControl_; }
    void SetVolumeControl(TMMVolumeControl* control);
    bool Simulate() const { return simulate_; }
    void SetSimulate(bool value);
    bool Simulated() const { return simulated_; }

    void UpdateControl() override;
    std::int32_t GetSignedValue() override;
    void SetSignedValue(std::int32_t value) override;
    bool IsValid() override;
    bool AcceptControl(const platform::MixerControlDesc& control) override;
    int GetChannels() override;
    int GetItems() override;
    std::int32_t GetSignedItem(TMMChannel channel, TMMItemIndex item) override;
    void SetSignedItem(TMMChannel channel, TMMItemIndex item, std::int32_t value) override;

    void Notification(QObject* component, TOperation operation) override;

private:
    void DerivePan();

    TMMVolumeControl* volumeControl_ = nullptr;
    TMMObserver volumeObserver_;
    bool simulate_ = true;
    bool simulated_ = false;
    std::int32_t panValue_ = 0;
};

}  // namespace zol
