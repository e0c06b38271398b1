// The computing half of the level meter, free of the toolkit: a block of
// interleaved PCM in, its largest sample magnitude (the raw level) out, and
// that level smoothed from block to block by the decay mode. No threads, no
// drawing: the meter calls it for every block, then maps the smoothed level
// to its needle and paints.
#pragma once

#include "displays/decaymode.h"
#include "platform/waveformat.h"

#include <cstdint>

namespace zol {

class TLevelKernel {
public:
    // --- the data
    TMMBits BitLength() const { return bits_; }
    void SetBitLength(TMMBits value) { bits_ = value; }
    TMMMode Mode() const { return mode_; }
    void SetMode(TMMMode value) { mode_ = value; }
    TMMChannel Channel() const { return channel_; }
    void SetChannel(TMMChannel value) { channel_ = value; }
    // A DC offset of x is subtracted from every sample of its channel (0 or 1).
    int DCOffset(int channel) const { return dcOffset_[channel & 1]; }
    void SetDCOffset(int channel, int value) { dcOffset_[channel & 1] = value; }
    // Bytes of `frames` frames in the current format.
    int BytesOf(int frames) const { return (bits_ + 1) * (mode_ + 1) * frames; }

    // The largest magnitude over `frames` frames at `data`, on the 16-bit
    // scale (0..32768): |s| of a mono sample or of the chosen channel;
    // |(L + R) div 2| for both channels of stereo data (truncating toward
    // zero). An 8-bit byte b counts as (b - 128) * 256; for both channels the
    // two bytes are averaged first.
    std::int32_t BlockPeak(const char* data, int frames) const;

    // --- smoothing
    TMMDecayMode DecayMode() const { return decayMode_; }
    // Changing the mode clears the smoothing state.
    void SetDecayMode(TMMDecayMode value);
    int Decay() const { return decay_; }
    // 1..16 (clamped). Sets the factor (0.0001 taken `Decay` times to the
    // square root) and the window (2 * Decay - 2, limited to 1..32); in
    // dmUniform the smoothing state is cleared.
    void SetDecay(int value);
    double Factor() const { return factor_; }
    int Window() const { return window_; }
    void ClearDecay();
    // One block's level `r` (>= 0) through the decay mode: dmStepUp rises at
    // once and falls by the factor per block, dmExponential follows by the
    // factor, dmUniform is the mean of the last `Window` blocks (fewer at
    // first); dmNone passes r on.
    std::int32_t Smooth(std::int32_t r);

private:
    TMMBits bits_ = b8Bit;
    TMMMode mode_ = mMono;
    TMMChannel channel_ = chBoth;
    int dcOffset_[2] = {0, 0};

    TMMDecayMode decayMode_ = dmNone;
    int decay_ = 1;
    double factor_ = 0.01;
    int window_ = 1;
    float level_ = 0.0f;
    std::int32_t ring_[32] = {};
    int ringPos_ = 0;
    int ringFill_ = 0;
    std::int64_t ringSum_ = 0;
};

}  // namespace zol
