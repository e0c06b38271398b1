// The volume link (scales each buffer in place by a left and a right gain
// derived from a volume and a pan value) and the PCM helpers it shares with
// the display connector: the in-place gain routines and the trigger search.
#pragma once

#include "chain/dspcomponent.h"

#include <cstdint>

namespace zol {

// Gains are in units of 1/16384 (16384 = unity).
constexpr int kUnityGain = 16384;

// In-place gain routines; each returns true when a sample was clipped. The
// data is left untouched when every gain it uses is unity.
bool PcmVolume8Mono(std::uint8_t* data, int bytes, int gain);
bool PcmVolume8Stereo(std::uint8_t* data, int bytes, int leftGain, int rightGain);
bool PcmVolume16Mono(std::int16_t* data, int bytes, int gain);
bool PcmVolume16Stereo(std::int16_t* data, int bytes, int leftGain, int rightGain);
// Picks the routine for a PCM format (false, nothing done, for other formats).
bool PcmVolume(const WAVEFORMATEX* format, char* data, int bytes, int leftGain, int rightGain);

// Left and right gain of a volume and a pan value (-16384 left only ..
// +16384 right only).
void PanGains(int volume, int panning, int& leftGain, int& rightGain);

enum TMMTriggerMode { tmNone, tmUpFlank, tmDownFlank };

// Finds the first crossing of `level` (percent of full scale) in the
// direction of `mode`. `channel`: 0 tests both channels of stereo data, 1
// only the left, 2 only the right. Returns the byte offset of the frame
// behind the crossing, or -1.
int FindTrigger(const WAVEFORMATEX* format, const char* data, int bytes, int level,
                TMMTriggerMode mode, int channel);

class TMMVolume : public TMMDSPComponent {
public:
    explicit TMMVolume(QObject* owner = nullptr);

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value) { enabled_ = value; }
    int Volume() const { return volume_; }
    void SetVolume(int value);
    // Bounded to -16384..16384: beyond that one channel's gain would turn
    // negative and invert its samples.
    int Panning() const { return panning_; }
    void SetPanning(int value);

    int LeftGain() const { return leftGain_; }
    int RightGain() const { return rightGain_; }

    void SetWaveFormat(const WAVEFORMATEX* format) override;
    void NotifyOpen() override;
    void NotifyClose() override;
    void BufferReady(PWaveHdr lpWaveHdr) override;
    void BufferLoad(PWaveHdr lpWaveHdr, bool& moreBuffers) override;

private:
    void Process(PWaveHdr lpWaveHdr);

    bool enabled_ = true;
    int volume_ = kUnityGain;
    int panning_ = 0;
    bool volumeOpened_ = false;
    int leftGain_ = kUnityGain;
    int rightGain_ = kUnityGain;
};

}  // namespace zol
