// The two records that travel along the sound chain: the wave format
// (laid out as WAVEFORMATEX) and the buffer header (laid out as WAVEHDR),
// and the sample-width, channel-count and channel-selection types.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace zol {

enum TMMBits { b8Bit, b16Bit };
enum TMMMode { mMono, mStereo };
enum TMMChannel { chBoth, chLeft, chRight };

constexpr std::uint16_t WAVE_FORMAT_PCM = 1;

#pragma pack(push, 1)
struct WAVEFORMATEX {
    std::uint16_t wFormatTag;
    std::uint16_t nChannels;
    std::uint32_t nSamplesPerSec;
    std::uint32_t nAvgBytesPerSec;
    std::uint16_t nBlockAlign;
    std::uint16_t wBitsPerSample;
    std::uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX is 18 bytes");
using PWaveFormatEx = WAVEFORMATEX*;

// Buffer header flags.
constexpr std::uint32_t WHDR_DONE = 0x01;
constexpr std::uint32_t WHDR_PREPARED = 0x02;
constexpr std::uint32_t WHDR_BEGINLOOP = 0x04;
constexpr std::uint32_t WHDR_ENDLOOP = 0x08;
constexpr std::uint32_t WHDR_INQUEUE = 0x10;

struct WAVEHDR {
    char* lpData;                 // the samples, right behind the header area
    std::uint32_t dwBufferLength; // capacity in bytes
    std::uint32_t dwBytesRecorded;// valid bytes: what every link processes
    std::uintptr_t dwUser;
    std::uint32_t dwFlags;
    std::uint32_t dwLoops;
    WAVEHDR* lpNext;
    std::uintptr_t reserved;
};
using PWaveHdr = WAVEHDR*;

// A capture buffer is one zero-filled block: this header area, then the data.
constexpr std::size_t kWaveHdrArea = 60;
static_assert(sizeof(WAVEHDR) <= kWaveHdrArea, "header fits its area");

// Owned copy of a wave format record (freed with std::free).
struct WaveFormatDeleter {
    void operator()(WAVEFORMATEX* p) const { std::free(p); }
};
using WaveFormatPtr = std::unique_ptr<WAVEFORMATEX, WaveFormatDeleter>;

// PCM, 8 or 16 bits, 1 or 2 channels, 4000..100000 samples per second.
bool IsValidPcmFormat(const WAVEFORMATEX* format);
// Fills `format` as PCM with the derived block alignment and byte rate.
void MakePcmFormat(WAVEFORMATEX& format, int bits, int channels, int rate);
// 18 for PCM whatever cbSize says, 18 + cbSize otherwise, 0 for none.
std::size_t WaveFormatSize(const WAVEFORMATEX* format);
// A zero-filled copy (cbSize forced to 0 for PCM); none for none. Raises
// EOutOfMemory when the block cannot be had.
WaveFormatPtr CopyWaveFormat(const WAVEFORMATEX* format);

// Sample width and channel count of a format, as TMMBits/TMMMode values.
inline TMMBits BitsOf(const WAVEFORMATEX& f) { return static_cast<TMMBits>(f.wBitsPerSample / 8 - 1); }
inline TMMMode ModeOf(const WAVEFORMATEX& f) { return static_cast<TMMMode>(f.nChannels - 1); }

}  // namespace zol
