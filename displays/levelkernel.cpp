#include "displays/levelkernel.h"
#include "platform/pcmsample.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace zol {

namespace {

using pcm::Byte;
using pcm::Sample16;

}  // namespace

std::int32_t TLevelKernel::BlockPeak(const char* data, int frames) const
{
    if (data == nullptr)
        return 0;
    const int o0 = -dcOffset_[0];
    const int o1 = -dcOffset_[1];
    std::int32_t m = 0;
    const int n = frames;
    if (bits_ == b16Bit) {
        if (mode_ == mMono) {
            for (int i = 0; i < n; ++i)
                m = std::max(m, std::abs(Sample16(data + 2 * i) + o0));
        } else if (channel_ == chLeft) {
            for (int i = 0; i < n; ++i)
                m = std::max(m, std::abs(Sample16(data + 4 * i) + o0));
        } else if (channel_ == chRight) {
            for (int i = 0; i < n; ++i)
                m = std::max(m, std::abs(Sample16(data + 4 * i + 2) + o1));
        } else {
            for (int i = 0; i < n; ++i) {
                const int l = Sample16(data + 4 * i) + o0;
                const int r = Sample16(data + 4 * i + 2) + o1;
                m = std::max(m, std::abs((l + r) / 2));
            }
        }
    } else {
        if (mode_ == mMono) {
            for (int i = 0; i < n; ++i)
                m = std::max(m, std::abs((Byte(data + i) + o0 - 128) * 256));
        } else if (channel_ == chLeft) {
            for (int i = 0; i < n; ++i)
                m = std::max(m, std::abs((Byte(data + 2 * i) + o0 - 128) * 256));
        } else if (channel_ == chRight) {
            for (int i = 0; i < n; ++i)
                m = std::max(m, std::abs((Byte(data + 2 * i + 1) + o1 - 128) * 256));
        } else {
            for (int i = 0; i < n; ++i) {
                const int avg = (Byte(data + 2 * i) + o0 + Byte(data + 2 * i + 1) + o1) / 2;
                m = std::max(m, std::abs((avg - 128) * 256));
            }
        }
    }
    return m;
}

void TLevelKernel::SetDecayMode(TMMDecayMode value)
{
    if (value == decayMode_)
        return;
    decayMode_ = value;
    ClearDecay();
}

void TLevelKernel::SetDecay(int value)
{
    value = std::clamp(value, 1, 16);
    if (value == decay_)
        return;
    decay_ = value;
    factor_ = DecayFactor(decay_);
    window_ = std::clamp(2 * decay_ - 2, 1, 32);
    if (decayMode_ == dmUniform)
        ClearDecay();
}

void TLevelKernel::ClearDecay()
{
    level_ = 0.0f;
    std::memset(ring_, 0, sizeof ring_);
    ringPos_ = 0;
    ringFill_ = 0;
    ringSum_ = 0;
}

std::int32_t TLevelKernel::Smooth(std::int32_t r)
{
    if (decayMode_ == dmNone)
        return r;
    // Every block advances the ring and its fill count, whatever the mode.
    ringPos_ = (ringPos_ + 1) % window_;
    ringFill_ = std::min(ringFill_ + 1, window_);
    switch (decayMode_) {
    case dmStepUp:
        level_ = static_cast<float>(level_ * factor_);
        if (r >= level_)
            level_ = static_cast<float>(r);
        else
            r = static_cast<std::int32_t>(level_);
        break;
    case dmExponential:
        level_ = static_cast<float>(level_ * factor_ + (1.0 - factor_) * r);
        r = static_cast<std::int32_t>(std::floor(level_));
        break;
    case dmUniform:
        ringSum_ += r - ring_[ringPos_];
        ring_[ringPos_] = r;
        r = static_cast<std::int32_t>(ringSum_ / ringFill_);
        break;
    default:
        break;
    }
    return r;
}

}  // namespace zol
