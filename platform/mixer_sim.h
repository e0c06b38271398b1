// A simulated sound card mixer in memory: one wave-in destination line
// ("Recording Control") with one source, a microphone line. Each line has a
// stereo volume control (bounds 0..65535, 64 steps unless configured
// otherwise), a mute switch and a stereo peak meter. Writes and outside
// changes post change notices to every open handle. The microphone's left
// volume (the receiver is wired to the left input) sets the simulated
// capture gain, so the simulated receiver's level follows it.
#pragma once

#include "platform/mixerbackend.h"
#include "platform/mmsyserr.h"

#include <map>
#include <vector>

namespace zol::platform {

class SimMixerBackend final : public MixerBackend {
public:
    // Line identifiers and control identifiers of the card.
    static constexpr int kWaveInLineId = 0;
    static constexpr int kMicLineId = 0x10000;
    static constexpr int kWaveInVolumeId = 1;
    static constexpr int kWaveInMuteId = 2;
    static constexpr int kWaveInMeterId = 3;
    static constexpr int kMicVolumeId = 4;
    static constexpr int kMicMuteId = 5;
    static constexpr int kMicMeterId = 6;

    // `cards` mixers with identical lines; 0 simulates a machine without one.
    explicit SimMixerBackend(int cards = 1);
    ~SimMixerBackend() override;

    int DeviceCount() override;
    int GetDevCaps(int device, MixerCaps& caps) override;
    int LineByDestination(int device, int destination, MixerLineDesc& line) override;
    int LineById(int device, int lineId, MixerLineDesc& line) override;
    int LineByType(int device, std::uint32_t componentType, MixerLineDesc& line) override;
    int LineBySource(int device, int destination, int source, MixerLineDesc& line) override;
    int LineByTarget(int device, const MixerTarget& target, MixerLineDesc& line) override;
    int ControlById(int device, int controlId, MixerControlDesc& control, int& lineId) override;
    int ControlByType(int device, int lineId, std::uint32_t controlType, MixerControlDesc& control) override;
    int GetValues(int device, int controlId, int channels, int items, std::int32_t* values) override;
    int SetValues(int device, int controlId, int channels, int items, const std::int32_t* values) override;
    int GetListTexts(int device, int controlId, int channels, int items, MixerListText* texts) override;
    int Open(int device, MixerNotify notify, int& handle) override;
    int Close(int handle) override;
    int DeviceOfHandle(int handle, int& device) override;
    QString ErrorText(int code) override;

    // --- test and simulation access (card 0 unless given) ---------------
    // Bounds and steps of a line's volume control; `present` false removes
    // the control from the line.
    void ConfigureVolume(int lineId, std::int32_t minimum, std::int32_t maximum, int steps,
                         bool present = true);
    // Replaces the flags of a control (e.g. MIXERCONTROL_CONTROLF_DISABLED).
    void SetControlFlags(int controlId, std::uint32_t flags);
    // Gives the microphone line one channel instead of two.
    void SetMicChannels(int channels);
    std::int32_t Value(int controlId, int channel, int device = 0) const;
    // A change made outside the program: stores the value and posts notices.
    void SetValueFromOutside(int controlId, int channel, std::int32_t value, int device = 0);
    // Every SetValues call, as (control, values written).
    struct Write {
        int device;
        int controlId;
        std::vector<std::int32_t> values;
    };
    const std::vector<Write>& Writes() const { return writes_; }
    void ClearWrites() { writes_.clear(); }
    // Makes the next call of the named kind fail with `code` (0 = none):
    // "get", "set", "line", "control".
    void FailNext(const QString& call, int code);
    // Peak the meters report at full gain (0..32767).
    void SetPeak(std::int32_t peak) { peak_ = peak; }
    int OpenHandles() const { return static_cast<int>(handles_.size()); }

private:
    struct Control {
        int id;
        std::uint32_t type;
        std::uint32_t flags;
        std::int32_t minimum, maximum;
        int steps;
        bool present = true;
        QString shortName, name;
    };
    struct Line {
        int id;
        bool source;
        std::uint32_t componentType;
        int channels;
        QString shortName, name;
    };
    struct Card {
        std::vector<Control> controls;
        std::map<int, std::vector<std::int32_t>> values;  // per control, per channel
    };
    struct Handle {
        int device;
        MixerNotify notify;
    };

    const Line* FindLine(int lineId) const;
    Control* FindControl(int device, int controlId);
    int LineOfControl(int controlId) const;
    void Describe(int device, const Line& line, MixerLineDesc& out) const;
    void Describe(const Control& control, MixerControlDesc& out) const;
    int ChannelsOf(int device, const Control& control) const;
    bool TakeFailure(const char* call, int& code);
    void PostControlChange(int device, int controlId);
    void UpdateGain();

    std::vector<Line> lines_;
    std::vector<Card> cards_;
    std::map<int, Handle> handles_;
    int nextHandle_ = 1;
    std::vector<Write> writes_;
    std::map<QString, int> failures_;
    std::int32_t peak_ = 16384;
};

}  // namespace zol::platform
