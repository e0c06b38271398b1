#include "chain/volume.h"

#include "platform/errors.h"
#include "platform/strings.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace zol {

namespace {

// a * b / c rounded to the nearest integer, halves to the even neighbour.
std::int64_t MulDivRoundHalfEven(std::int64_t a, std::int64_t b, std::int64_t c)
{
    const std::int64_t p = a * b;
    std::int64_t q = p / c;
    std::int64_t r = p % c;
    if (r != 0) {
        const bool negative = (p < 0) != (c < 0);
        const std::int64_t twice = 2 * std::llabs(r);
        const std::int64_t ac = std::llabs(c);
        if (twice > ac || (twice == ac && (q % 2 != 0)))
            q += negative ? -1 : 1;
    }
    return q;
}

// The product is formed in 64 bits so that a large volume cannot overflow;
// within the 32-bit range the result equals an arithmetic shift of it.
inline int Scale(int sample, int gain, int lo, int hi, bool& clipped)
{
    std::int64_t v = (static_cast<std::int64_t>(sample) * gain) >> 14;
    if (v < lo) {
        clipped = true;
        return lo;
    }
    if (v > hi) {
        clipped = true;
        return hi;
    }
    return static_cast<int>(v);
}

}  // namespace

bool PcmVolume8Mono(std::uint8_t* data, int bytes, int gain)
{
    if (data == nullptr || bytes <= 0 || gain == kUnityGain)
        return false;
    bool clipped = false;
    for (int i = 0; i < bytes; ++i)
        data[i] = static_cast<std::uint8_t>(Scale(data[i] - 128, gain, -128, 127, clipped) + 128);
    return clipped;
}

bool PcmVolume8Stereo(std::uint8_t* data, int bytes, int leftGain, int rightGain)
{
    if (data == nullptr || bytes <= 0 || (leftGain == kUnityGain && rightGain == kUnityGain))
        return false;
    bool clipped = false;
    const int pairs = bytes / 2;
    for (int i = 0; i < pairs; ++i) {
        std::uint8_t* p = data + 2 * i;
        p[0] = static_cast<std::uint8_t>(Scale(p[0] - 128, leftGain, -128, 127, clipped) + 128);
        p[1] = static_cast<std::uint8_t>(Scale(p[1] - 128, rightGain, -128, 127, clipped) + 128);
    }
    return clipped;
}

bool PcmVolume16Mono(std::int16_t* data, int bytes, int gain)
{
    if (data == nullptr || bytes <= 0 || gain == kUnityGain)
        return false;
    bool clipped = false;
    const int n = bytes / 2;
    for (int i = 0; i < n; ++i)
        data[i] = static_cast<std::int16_t>(Scale(data[i], gain, -32768, 32767, clipped));
    return clipped;
}

bool PcmVolume16Stereo(std::int16_t* data, int bytes, int leftGain, int rightGain)
{
    if (data == nullptr || bytes <= 0 || (leftGain == kUnityGain && rightGain == kUnityGain))
        return false;
    bool clipped = false;
    const int frames = bytes / 4;
    for (int i = 0; i < frames; ++i) {
        std::int16_t* p = data + 2 * i;
        p[0] = static_cast<std::int16_t>(Scale(p[0], leftGain, -32768, 32767, clipped));
        p[1] = static_cast<std::int16_t>(Scale(p[1], rightGain, -32768, 32767, clipped));
    }
    return clipped;
}

bool PcmVolume(const WAVEFORMATEX* format, char* data, int bytes, int leftGain, int rightGain)
{
    if (!IsValidPcmFormat(format))
        return false;
    if (format->wBitsPerSample == 8) {
        auto* p = reinterpret_cast<std::uint8_t*>(data);
        return format->nChannels == 1 ? PcmVolume8Mono(p, bytes, leftGain)
                                      : PcmVolume8Stereo(p, bytes, leftGain, rightGain);
    }
    auto* p = reinterpret_cast<std::int16_t*>(data);
    return format->nChannels == 1 ? PcmVolume16Mono(p, bytes, leftGain)
                                  : PcmVolume16Stereo(p, bytes, leftGain, rightGain);
}

void PanGains(int volume, int panning, int& leftGain, int& rightGain)
{
    if (panning <= 0) {
        leftGain = volume;
        rightGain = static_cast<int>(MulDivRoundHalfEven(volume, kUnityGain + panning, kUnityGain));
    } else {
        leftGain = static_cast<int>(MulDivRoundHalfEven(volume, kUnityGain - panning, kUnityGain));
        rightGain = volume;
    }
}

namespace {
inline int Sample(const char* data, bool sixteen, int index)
{
    if (sixteen) {
        std::int16_t s;
        std::memcpy(&s, data + 2 * index, 2);
        return s;
    }
    return static_cast<std::uint8_t>(data[index]);
}

inline bool Crosses(int a, int b, int threshold, bool up)
{
    return up ? (a < threshold && threshold <= b) : (a > threshold && threshold >= b);
}
}  // namespace

int FindTrigger(const WAVEFORMATEX* format, const char* data, int bytes, int level,
                TMMTriggerMode mode, int channel)
{
    if (mode == tmNone || data == nullptr || bytes <= 0 || !IsValidPcmFormat(format))
        return -1;
    const bool up = mode == tmUpFlank;
    if (!up)
        level = -level;
    const bool sixteen = format->wBitsPerSample == 16;
    const int threshold = sixteen ? level * 327 : level * 127 / 100 + 128;
    const int channels = format->nChannels;
    const int frameBytes = channels * (sixteen ? 2 : 1);
    const int frames = bytes / frameBytes;
    if (channels == 1) {
        for (int i = 0; i + 1 < frames; ++i)
            if (Crosses(Sample(data, sixteen, i), Sample(data, sixteen, i + 1), threshold, up))
                return (i + 1) * frameBytes;
        return -1;
    }
    // Stereo: the last frame pair stays untested.
    for (int i = 0; i + 2 < frames; ++i) {
        const int l0 = Sample(data, sixteen, 2 * i), l1 = Sample(data, sixteen, 2 * i + 2);
        const int r0 = Sample(data, sixteen, 2 * i + 1), r1 = Sample(data, sixteen, 2 * i + 3);
        if (channel != 2 && Crosses(l0, l1, threshold, up))
            return (i + 1) * frameBytes;
        if (channel != 1 && Crosses(r0, r1, threshold, up))
            return (i + 1) * frameBytes;
    }
    return -1;
}

// ---------------------------------------------------------------------------

TMMVolume::TMMVolume(QObject* owner) : TMMDSPComponent(owner)
{
    PanGains(volume_, panning_, leftGain_, rightGain_);
}

void TMMVolume::SetVolume(int value)
{
    if (value == volume_)
        return;
    volume_ = value;
    PanGains(volume_, panning_, leftGain_, rightGain_);
}

void TMMVolume::SetPanning(int value)
{
    value = std::clamp(value, -kUnityGain, kUnityGain);
    if (value == panning_)
        return;
    panning_ = value;
    PanGains(volume_, panning_, leftGain_, rightGain_);
}

void TMMVolume::SetWaveFormat(const WAVEFORMATEX* format)
{
    if (format != nullptr && !IsDesigning() && !IsValidPcmFormat(format))
        throw EMMVolumeError(LoadResString(SInvalidWaveFormatCaps));
    TMMDSPComponent::SetWaveFormat(format);
}

void TMMVolume::NotifyOpen()
{
    volumeOpened_ = IsValidPcmFormat(GetWaveFormat());
    TMMDSPComponent::NotifyOpen();
}

void TMMVolume::NotifyClose()
{
    volumeOpened_ = false;
    TMMDSPComponent::NotifyClose();
}

void TMMVolume::Process(PWaveHdr lpWaveHdr)
{
    if (!enabled_ || !volumeOpened_ || lpWaveHdr == nullptr || lpWaveHdr->lpData == nullptr)
        return;
    const int bytes = static_cast<int>(std::min(lpWaveHdr->dwBytesRecorded, lpWaveHdr->dwBufferLength));
    PcmVolume(GetWaveFormat(), lpWaveHdr->lpData, bytes, leftGain_, rightGain_);
}

void TMMVolume::BufferReady(PWaveHdr lpWaveHdr)
{
    Process(lpWaveHdr);
    TMMDSPComponent::BufferReady(lpWaveHdr);
}

void TMMVolume::BufferLoad(PWaveHdr lpWaveHdr, bool& moreBuffers)
{
    TMMDSPComponent::BufferLoad(lpWaveHdr, moreBuffers);
    Process(lpWaveHdr);
}

}  // namespace zol
