#include "platform/waveformat.h"

#include "platform/errors.h"
#include "platform/strings.h"

#include <cstring>

namespace zol {

bool IsValidPcmFormat(const WAVEFORMATEX* format)
{
    return format != nullptr && format->wFormatTag == WAVE_FORMAT_PCM &&
           (format->wBitsPerSample == 8 || format->wBitsPerSample == 16) &&
           (format->nChannels == 1 || format->nChannels == 2) &&
           format->nSamplesPerSec >= 4000 && format->nSamplesPerSec <= 100000;
}

void MakePcmFormat(WAVEFORMATEX& format, int bits, int channels, int rate)
{
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<std::uint16_t>(channels);
    format.nSamplesPerSec = static_cast<std::uint32_t>(rate);
    format.wBitsPerSample = static_cast<std::uint16_t>(bits);
    format.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
    format.cbSize = 0;
}

std::size_t WaveFormatSize(const WAVEFORMATEX* format)
{
    if (format == nullptr)
        return 0;
    if (format->wFormatTag == WAVE_FORMAT_PCM)
        return sizeof(WAVEFORMATEX);
    return sizeof(WAVEFORMATEX) + format->cbSize;
}

WaveFormatPtr CopyWaveFormat(const WAVEFORMATEX* format)
{
    const std::size_t size = WaveFormatSize(format);
    if (size == 0)
        return nullptr;
    auto* copy = static_cast<WAVEFORMATEX*>(std::calloc(1, size));
    if (copy == nullptr)
        throw EOutOfMemory(LoadResString(SOutOfMemory));
    std::memcpy(copy, format, size);
    if (copy->wFormatTag == WAVE_FORMAT_PCM)
        copy->cbSize = 0;
    return WaveFormatPtr(copy);
}

}  // namespace zol
