// The ALSA simple mixer as a mixer back end.
//
// Devices: the named control device ("default", "hw:0", ...) and, for
// "default", every sound card's "hw:N" after it; a device counts only when
// its mixer can be opened.
//
// Lines of a device, taken from the card's capture elements:
// - destination 0, the wave-in line (component type wave-in, line 0): its
//   volume is the element named "Capture" (the card's capture level), its
//   mute the inverse of that element's capture switch;
// - its only source, the microphone line (component type microphone, line
//   0x10000): the first of "Mic", "Internal Mic", "Front Mic", "Rear Mic",
//   "Mic Boost" that has a capture (or common) volume, i.e. that sets the
//   capture gain; where the card has none, "Capture" serves as the
//   microphone line too. An element named after the device
//   ("default:Front Mic") replaces that choice: when the whole text cannot
//   be opened as a control device, the part after the last colon is taken
//   as the element (never a card number or an argument list like "hw:1").
// A control's bounds are the element's raw range; its step count is
// max - min when that is 1..256, else 64. Values written are clamped into
// the range first (the library ignores values outside it silently).
// Errors are ALSA's negative numbers, reported as kMMBackendBase + errno
// with ALSA's text. Notices of an open device come from its own mixer's
// poll descriptors, watched on the window thread.
#pragma once

#include "platform/mixerbackend.h"

#include <QStringList>

#include <map>
#include <memory>
#include <vector>

namespace zol::platform {

class AlsaMixerBackend final : public MixerBackend {
public:
    // `mixerName`: a control device name, optionally followed by ":ELEMENT".
    explicit AlsaMixerBackend(const QString& mixerName);
    ~AlsaMixerBackend() override;

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

    // The control device names that were found usable, in device order.
    QStringList DeviceNames();
    // The element names serving the two lines of a device (empty: none).
    QString CaptureElement(int device);
    QString MicElement(int device);

    struct Device;
    struct Watch;

private:
    void Probe();
    Device* Dev(int device);

    QString mixerName_;
    QString element_;
    bool probed_ = false;
    std::vector<std::unique_ptr<Device>> devices_;
    std::map<int, std::unique_ptr<Watch>> watches_;
    std::vector<std::unique_ptr<Watch>> zombies_;
    int nextHandle_ = 1;
};

}  // namespace zol::platform
