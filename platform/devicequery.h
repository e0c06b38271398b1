// Device counts and capabilities of the sound system, per device kind.
// A back end (the wave-in back ends, a mixer back end) registers one query
// object for its kind; the audio-device components ask it. A kind without a
// registered query has no devices.
#pragma once

#include <QString>

#include <cstdint>
#include <memory>

namespace zol::platform {

// Device kinds, numbered as the components store them.
enum DeviceKind : int { dkMidiIn = 0, dkMidiOut = 1, dkWaveIn = 2, dkWaveOut = 3, dkAux = 4, dkMixer = 5 };
constexpr int kDeviceKinds = 6;

// Capabilities of one device.
struct DeviceCapsRecord {
    std::uint16_t manufacturerId = 0;
    std::uint16_t productId = 0;
    std::uint16_t driverVersion = 0;  // major in the high byte, minor in the low byte
    QString productName;
    std::uint32_t formats = 0;        // wave devices: the WAVE_FORMAT_* flags below
    std::uint16_t channels = 0;
};

// Format flags of a wave device: rate band x mono/stereo x 8/16 bits.
constexpr std::uint32_t WAVE_FORMAT_1M08 = 0x0001;
constexpr std::uint32_t WAVE_FORMAT_1S08 = 0x0002;
constexpr std::uint32_t WAVE_FORMAT_1M16 = 0x0004;
constexpr std::uint32_t WAVE_FORMAT_1S16 = 0x0008;
constexpr std::uint32_t WAVE_FORMAT_2M08 = 0x0010;
constexpr std::uint32_t WAVE_FORMAT_2S08 = 0x0020;
constexpr std::uint32_t WAVE_FORMAT_2M16 = 0x0040;
constexpr std::uint32_t WAVE_FORMAT_2S16 = 0x0080;
constexpr std::uint32_t WAVE_FORMAT_4M08 = 0x0100;
constexpr std::uint32_t WAVE_FORMAT_4S08 = 0x0200;
constexpr std::uint32_t WAVE_FORMAT_4M16 = 0x0400;
constexpr std::uint32_t WAVE_FORMAT_4S16 = 0x0800;
constexpr std::uint32_t WAVE_FORMAT_ALL = 0x0FFF;

class DeviceQuery {
public:
    virtual ~DeviceQuery() = default;
    virtual int DeviceCount() = 0;
    // Fills `caps` for device `id` (-1 = the kind's mapper). Returns 0 or an
    // error number.
    virtual int GetCaps(int id, DeviceCapsRecord& caps) = 0;
    // Text of an error number; false when the number is unknown.
    virtual bool ErrorText(int code, QString& text);
    // The mixer that belongs to device `id`; 0 or an error number.
    virtual int GetMixerId(int id, int& mixerId);
};

// Registers the query of a kind (none removes it) and returns the previous one.
std::shared_ptr<DeviceQuery> SetDeviceQuery(int kind, std::shared_ptr<DeviceQuery> query);
std::shared_ptr<DeviceQuery> GetDeviceQuery(int kind);

}  // namespace zol::platform
