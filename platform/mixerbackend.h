// The sound card's mixer as the mixer components see it: devices with
// destination lines, source lines under them, and controls on each line
// with bounds, step counts, flags and per-channel values, plus change
// notices. Two back ends answer it: the ALSA simple mixer and a simulated
// card in memory. Every call returns 0 on success or an error number
// (MMSYSERR_*, MIXERR_*, or a back end's own number above kMMBackendBase);
// ErrorText gives the text of a number.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace zol::platform {

// Error numbers of mixer queries.
constexpr int MIXERR_INVALLINE = 1024;
constexpr int MIXERR_INVALCONTROL = 1025;
constexpr int MIXERR_INVALVALUE = 1026;

// Notices delivered to an open mixer's callback (message, identifier).
constexpr int MM_MIXM_LINE_CHANGE = 0x3D0;     // identifier: line
constexpr int MM_MIXM_CONTROL_CHANGE = 0x3D1;  // identifier: control

// Line flags.
constexpr std::uint32_t MIXERLINE_LINEF_ACTIVE = 0x1;
constexpr std::uint32_t MIXERLINE_LINEF_DISCONNECTED = 0x8000;
constexpr std::uint32_t MIXERLINE_LINEF_SOURCE = 0x80000000u;

// Component types (the system values the lines report).
constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_UNDEFINED = 0;
constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_DIGITAL = 1;
constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_LINE = 2;
constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_MONITOR = 3;
constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_SPEAKERS = 4;
constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_HEADPHONES = 5;
constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_TELEPHONE = 6;
constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_WAVEIN = 7;
constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_DST_VOICEIN = 8;
constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_UNDEFINED = 0x1000;
constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_DIGITAL = 0x1001;
constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_LINE = 0x1002;
constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE = 0x1003;
constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER = 0x1004;
constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC = 0x1005;
constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_TELEPHONE = 0x1006;
constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_PCSPEAKER = 0x1007;
constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT = 0x1008;
constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_AUXILIARY = 0x1009;
constexpr std::uint32_t MIXERLINE_COMPONENTTYPE_SRC_ANALOG = 0x100A;

// Target types of a line (the device kind it feeds).
constexpr int MIXERLINE_TARGETTYPE_UNDEFINED = 0;
constexpr int MIXERLINE_TARGETTYPE_WAVEOUT = 1;
constexpr int MIXERLINE_TARGETTYPE_WAVEIN = 2;
constexpr int MIXERLINE_TARGETTYPE_MIDIOUT = 3;
constexpr int MIXERLINE_TARGETTYPE_MIDIIN = 4;
constexpr int MIXERLINE_TARGETTYPE_AUX = 5;

// Control types used by the back ends.
constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_VOLUME = 0x50030001u;
constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_PAN = 0x40020001u;
constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_MUTE = 0x20010002u;
constexpr std::uint32_t MIXERCONTROL_CONTROLTYPE_PEAKMETER = 0x10020001u;
// Control flags.
constexpr std::uint32_t MIXERCONTROL_CONTROLF_UNIFORM = 0x1;
constexpr std::uint32_t MIXERCONTROL_CONTROLF_MULTIPLE = 0x2;
constexpr std::uint32_t MIXERCONTROL_CONTROLF_DISABLED = 0x80000000u;

struct MixerCaps {
    std::uint16_t manufacturerId = 0;
    std::uint16_t productId = 0;
    std::uint32_t driverVersion = 0;  // major in the high byte, minor in the low byte
    QString productName;              // up to 31 characters
    int destinations = 0;
};

// The device a line feeds.
struct MixerTarget {
    int type = MIXERLINE_TARGETTYPE_UNDEFINED;
    std::uint32_t deviceId = 0xFFFFFFFFu;
    std::uint16_t manufacturerId = 0;
    std::uint16_t productId = 0;
    std::uint32_t driverVersion = 0;
    QString productName;
};

struct MixerLineDesc {
    int destination = 0;  // destination index (of the line or of its destination)
    int source = 0;       // source index within the destination (sources only)
    int lineId = -1;
    std::uint32_t flags = 0;
    std::uint32_t componentType = 0;
    int channels = 0;
    int connections = 0;  // sources of a destination line
    int controls = 0;
    QString shortName;  // up to 15 characters
    QString name;       // up to 63 characters
    MixerTarget target;
};

struct MixerControlDesc {
    int controlId = -1;
    std::uint32_t controlType = 0;
    std::uint32_t flags = 0;
    int multipleItems = 0;
    QString shortName;
    QString name;
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    int steps = 0;
};

struct MixerListText {
    std::uint32_t param1 = 0;
    std::uint32_t param2 = 0;
    QString name;
};

// Receives the notices of an open mixer on the window thread.
using MixerNotify = std::function<void(int message, int identifier)>;

class MixerBackend {
public:
    virtual ~MixerBackend() = default;

    virtual int DeviceCount() = 0;
    virtual int GetDevCaps(int device, MixerCaps& caps) = 0;

    virtual int LineByDestination(int device, int destination, MixerLineDesc& line) = 0;
    virtual int LineById(int device, int lineId, MixerLineDesc& line) = 0;
    // The first line of that component type.
    virtual int LineByType(int device, std::uint32_t componentType, MixerLineDesc& line) = 0;
    virtual int LineBySource(int device, int destination, int source, MixerLineDesc& line) = 0;
    virtual int LineByTarget(int device, const MixerTarget& target, MixerLineDesc& line) = 0;

    // `lineId` receives the line the control belongs to.
    virtual int ControlById(int device, int controlId, MixerControlDesc& control, int& lineId) = 0;
    virtual int ControlByType(int device, int lineId, std::uint32_t controlType,
                              MixerControlDesc& control) = 0;

    // Values of a control: `channels` is 1 (all channels as one, a write sets
    // every channel) or the line's channel count; `items` is 0 or the
    // control's item count. Values lie item after item, each with its
    // channels. Boolean values are 0 or 1.
    virtual int GetValues(int device, int controlId, int channels, int items, std::int32_t* values) = 0;
    virtual int SetValues(int device, int controlId, int channels, int items,
                          const std::int32_t* values) = 0;
    virtual int GetListTexts(int device, int controlId, int channels, int items, MixerListText* texts) = 0;

    // Opens a device for change notices; `notify` runs on the window thread.
    virtual int Open(int device, MixerNotify notify, int& handle) = 0;
    virtual int Close(int handle) = 0;
    virtual int DeviceOfHandle(int handle, int& device) = 0;

    virtual QString ErrorText(int code) = 0;
};

// The mixer back end the components use. Unless one was installed, the
// first use creates the ALSA back end on "default".
MixerBackend& TheMixer();
// Installs a back end (the program at start, tests); the previous one is
// destroyed. Only while no mixer device of it is open.
void InstallMixer(std::unique_ptr<MixerBackend> backend);

// Creates a back end from the program's `--mixer` text: "sim" gives the
// simulated card; anything else names an ALSA control device ("default",
// "hw:0", ...), optionally followed by ":ELEMENT" to name the element that
// serves as the microphone line (used when the whole text is not itself a
// control device that can be opened).
std::unique_ptr<MixerBackend> CreateMixerBackend(const QString& mixerName);

// Text of the mixer's own error numbers and of the general ones; empty for
// a number it does not know.
QString MixerErrorText(int code);

// Step count a control reports for a raw range: max - min when that is
// 1..256, else 64.
int MixerStepsForRange(long minimum, long maximum);

}  // namespace zol::platform
