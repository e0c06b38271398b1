// The sound card's mixer: TMMMixerDevice (one mixer), TMMAudioLine (one line
// of it, found by identifier, by component type or by the device it feeds)
// and the change objects that carry mixer notices device -> line ->
// control -> bound control.
#pragma once

#include "mixer/audiodevice.h"
#include "core/mmobserver.h"
#include "platform/mixerbackend.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace zol {

using TMMLineId = int;     // -1 = none ("badLineId")
using TMMControlId = int;  // -1 = none ("badControlId")
constexpr TMMLineId badLineId = -1;
constexpr TMMControlId badControlId = -1;

enum TMMComponentType {
    ctDstDigital, ctDstHeadPhones, ctDstLine, ctDstMonitor, ctDstSpeakers, ctDstTelephone,
    ctDstUndefined, ctDstVoiceIn, ctDstWaveIn, ctSrcAnalog, ctSrcAux, ctSrcCD, ctSrcDigital,
    ctSrcLine, ctSrcMicrophone, ctSrcPCSpeaker, ctSrcSynthesizer, ctSrcTelephone, ctSrcUndefined,
    ctSrcWaveOut
};
// The system value of a component type, and back (raises
// EMMMixerServiceError "Undefined API component type" for an unknown one).
std::uint32_t ComponentTypeToSystem(TMMComponentType type);
TMMComponentType ComponentTypeFromSystem(std::uint32_t value);

// Line flags; a set holds bit (1 << flag).
enum TMMLineFlag { cfActive, cfDisconnected, cfSource };
using TMMLineFlags = std::uint32_t;
TMMLineFlags LineFlagsFromSystem(std::uint32_t flags);
inline bool HasLineFlag(TMMLineFlags set, TMMLineFlag flag) { return set & (1u << flag); }

// Change objects. Each lives only while its Notify runs.
class TMMMixerChange : public TMMChange {};
class TMMLineChange : public TMMMixerChange {
public:
    explicit TMMLineChange(TMMLineId lineId) : LineId(lineId) {}
    TMMLineId LineId;
};
class TMMControlChange : public TMMMixerChange {
public:
    TMMControlChange(TMMLineId lineId, TMMControlId controlId) : LineId(lineId), ControlId(controlId) {}
    TMMLineId LineId;
    TMMControlId ControlId;
};
class TMMLineIdChange : public TMMMixerChange {};
class TMMControlIdChange : public TMMMixerChange {};

using TMMLineChangeEvent = std::function<void(QObject* sender, TMMLineId lineId)>;
using TMMControlChangeEvent = std::function<void(QObject* sender, TMMLineId lineId, TMMControlId ctlId)>;

class TMMMixerDevice : public TMMCustomAudioDevice {
public:
    explicit TMMMixerDevice(QObject* owner = nullptr);
    ~TMMMixerDevice() override;

    // Another audio device whose mixer this one follows (not a mixer).
    TMMCustomAudioDevice* Device() const { return device_; }
    void SetDevice(TMMCustomAudioDevice* device);
    // Destination lines; 0 when the device is not valid.
    int Destinations();

    // The identifier the queries use: the open handle's device, else
    // DeviceId (which follows the handle when they differ).
    int MixerDeviceId();
    bool GetLineInfoById(TMMLineId id, platform::MixerLineDesc& line);
    bool GetLineInfoByType(TMMComponentType type, platform::MixerLineDesc& line);
    bool GetSourceLineInfo(int destIndex, int sourceIndex, platform::MixerLineDesc& line);
    bool GetLineInfoByTarget(TMMCustomAudioDevice* device, platform::MixerLineDesc& line);
    bool GetControlById(TMMControlId id, platform::MixerControlDesc& control);
    bool GetControlByType(TMMLineId lineId, std::uint32_t type, platform::MixerControlDesc& control);
    TMMLineId LineIdOfControl(TMMControlId id);
    // Raise EMMMCIError on any error.
    void GetControlDetails(TMMControlId id, int channels, int items, std::int32_t* values);
    void SetControlDetails(TMMControlId id, int channels, int items, const std::int32_t* values);
    void GetListTexts(TMMControlId id, int channels, int items, platform::MixerListText* texts);

    // The lines' observable (device changes and mixer notices). The audio
    // device's own observers are reached through the base class.
    void AddObserver(TMMObserver* observer) { lines_.AddObserver(observer); }
    void RemoveObserver(TMMObserver* observer) { lines_.RemoveObserver(observer); }

    // The two notices (run on the window thread by the back end).
    void LineChange(TMMLineId lineId);
    void ControlChange(TMMControlId controlId);

    // Filled from the device kind and capabilities of `device`.
    static platform::MixerTarget TargetOf(TMMCustomAudioDevice* device);

    TMMLineChangeEvent OnLineChange;
    TMMControlChangeEvent OnControlChange;

    void Notification(QObject* component, TOperation operation) override;

protected:
    void OpenDevice() override;
    void CloseDevice() override;
    void NotifyDeviceChange() override;
    int QueryDeviceCount() const override;
    int QueryDeviceCaps(TMMDeviceId id, platform::DeviceCapsRecord& caps) const override;
    bool QueryErrorText(int code, QString& text) const override;
    int QueryMixerId(TMMDeviceId id, int& mixerId) const override;

private:
    void DeviceUpdate();
    bool LineResult(int rc);
    bool ControlResult(int rc);

    int handle_ = 0;
    TMMCustomAudioDevice* device_ = nullptr;
    TMMObserver deviceObserver_;
    TMMObservable lines_;
};

class TMMLineInfo {
public:
    TMMLineFlags Flags() const { return flags_; }
    int Channels() const { return channels_; }
    int Connections() const { return connections_; }
    int Controls() const { return controls_; }
    QString ShortName() const { return shortName_; }
    QString Name() const { return name_; }

private:
    friend class TMMAudioLine;
    void Clear() { *this = TMMLineInfo(); }
    TMMLineFlags flags_ = 0;
    int channels_ = 0;
    int connections_ = 0;
    int controls_ = 0;
    QString shortName_;
    QString name_;
};

class TMMAudioLine : public TMMNonVisualComponent {
public:
    explicit TMMAudioLine(QObject* owner = nullptr);
    ~TMMAudioLine() override;

    TMMMixerDevice* Mixer() const { return mixer_; }
    void SetMixer(TMMMixerDevice* mixer);
    TMMLineId LineId() const { return lineId_; }
    void SetLineId(TMMLineId id);
    TMMComponentType ComponentType() const { return componentType_; }
    void SetComponentType(TMMComponentType type);
    TMMCustomAudioDevice* Target() const { return target_; }
    void SetTarget(TMMCustomAudioDevice* target);
    // A destination line among whose sources this line is searched; must
    // be a TMMAudioLine.
    TMMComponent* DestLine() const { return destLine_; }
    void SetDestLine(TMMComponent* line);
    const TMMLineInfo& LineInfo() const { return lineInfo_; }
    int DestIndex() const { return destIndex_; }
    int Selector() const { return selector_; }
    // A valid mixer and a resolved line.
    bool LineValid() const;

    void AddObserver(TMMObserver* observer) { observable_.AddObserver(observer); }
    void RemoveObserver(TMMObserver* observer) { observable_.RemoveObserver(observer); }

    void UpdateLine();
    // Run on a destination line: describes `line` as one of its sources.
    bool FindSource(TMMAudioLine* line, platform::MixerLineDesc& out);

    TNotifyEvent OnChange;
    TMMControlChangeEvent OnControlChange;

    void Loaded() override;
    void Notification(QObject* component, TOperation operation) override;

protected:
    virtual void LineChanged();
    virtual void LineIdChanged();
    virtual void ControlChanged(TMMControlId controlId);

private:
    bool MixerValid() const;
    // Describes this line the way it resolves alone (without DestLine).
    bool DescribeAlone(platform::MixerLineDesc& out);
    void MixerNotice(TMMChange* change);

    TMMLineId lineId_ = badLineId;
    int destIndex_ = -1;
    TMMAudioLine* destLine_ = nullptr;
    TMMObserver destObserver_;
    TMMLineInfo lineInfo_;
    TMMComponentType componentType_ = ctDstDigital;
    TMMMixerDevice* mixer_ = nullptr;
    TMMObserver mixerObserver_;
    int selector_ = 0;
    TMMCustomAudioDevice* target_ = nullptr;
    TMMObserver targetObserver_;
    TMMObservable observable_;
};

}  // namespace zol
