#include "chain/volume.h"
#include "platform/errors.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace zol;

namespace {

WAVEFORMATEX Pcm(int bits, int channels, int rate = 11025)
{
    WAVEFORMATEX f{};
    MakePcmFormat(f, bits, channels, rate);
    return f;
}

struct Buffer {
    explicit Buffer(std::size_t bytes) : block(kWaveHdrArea + bytes, 0)
    {
        hdr = reinterpret_cast<WAVEHDR*>(block.data());
        hdr->lpData = block.data() + kWaveHdrArea;
        hdr->dwBufferLength = static_cast<std::uint32_t>(bytes);
        hdr->dwBytesRecorded = static_cast<std::uint32_t>(bytes);
    }
    std::int16_t* Samples16() { return reinterpret_cast<std::int16_t*>(hdr->lpData); }
    std::vector<char> block;
    WAVEHDR* hdr;
};

// A source that owns its format and hands buffers down.
class Source : public TMMCustomSoundComponent {
public:
    using TMMCustomSoundComponent::TMMCustomSoundComponent;
    bool HasLinkProperty(const QString& name) const override { return name == "Output"; }
};

}  // namespace

TEST(VolumePanLaw, GainsFromVolumeAndPanning)
{
    int l = 0, r = 0;
    PanGains(32768, 8000, l, r);
    EXPECT_EQ(l, 16768);
    EXPECT_EQ(r, 32768);
    PanGains(16384, -16384, l, r);
    EXPECT_EQ(l, 16384);
    EXPECT_EQ(r, 0);
    PanGains(16384, 16384, l, r);
    EXPECT_EQ(l, 0);
    EXPECT_EQ(r, 16384);
    // Rounded to nearest: 3 * 16383 / 16384 = 2.9998 -> 3; 1 * 8192 / 16384 =
    // 0.5 -> 0 (half to even); 3 * 8192 / 16384 = 1.5 -> 2.
    PanGains(3, -1, l, r);
    EXPECT_EQ(r, 3);
    PanGains(1, -8192, l, r);
    EXPECT_EQ(r, 0);
    PanGains(3, -8192, l, r);
    EXPECT_EQ(r, 2);

    TMMVolume v;
    EXPECT_EQ(v.Volume(), 16384);
    EXPECT_EQ(v.Panning(), 0);
    EXPECT_EQ(v.LeftGain(), 16384);
    EXPECT_EQ(v.RightGain(), 16384);
    v.SetVolume(32768);
    v.SetPanning(8000);
    EXPECT_EQ(v.LeftGain(), 16768);
    EXPECT_EQ(v.RightGain(), 32768);
    // Beyond full pan the value is bounded instead of inverting a channel.
    v.SetPanning(-40000);
    EXPECT_EQ(v.Panning(), -16384);
    EXPECT_EQ(v.LeftGain(), 32768);
    EXPECT_EQ(v.RightGain(), 0);
}

TEST(VolumeRoutines, SixteenBitClipsAndReports)
{
    std::int16_t mono[4] = {20000, -20000, 100, -1};
    EXPECT_TRUE(PcmVolume16Mono(mono, sizeof mono, 32768));
    EXPECT_EQ(mono[0], 32767);
    EXPECT_EQ(mono[1], -32768);
    EXPECT_EQ(mono[2], 200);
    EXPECT_EQ(mono[3], -2);

    std::int16_t quiet[2] = {1000, -1000};
    EXPECT_FALSE(PcmVolume16Mono(quiet, sizeof quiet, 8192));
    EXPECT_EQ(quiet[0], 500);
    EXPECT_EQ(quiet[1], -500);
    // -3 * 8192 >> 14 is an arithmetic shift: -1.5 -> -2.
    std::int16_t odd[1] = {-3};
    PcmVolume16Mono(odd, 2, 8192);
    EXPECT_EQ(odd[0], -2);

    std::int16_t stereo[4] = {10000, 10000, -10000, -10000};
    EXPECT_FALSE(PcmVolume16Stereo(stereo, sizeof stereo, 16384, 0));
    EXPECT_EQ(stereo[0], 10000);
    EXPECT_EQ(stereo[1], 0);
    EXPECT_EQ(stereo[2], -10000);
    EXPECT_EQ(stereo[3], 0);

    // Very large gains do not overflow the product.
    std::int16_t big[1] = {30000};
    EXPECT_TRUE(PcmVolume16Mono(big, 2, 1 << 24));
    EXPECT_EQ(big[0], 32767);
}

TEST(VolumeRoutines, EightBitAroundTheMidpoint)
{
    std::uint8_t mono[4] = {128, 228, 28, 0};
    EXPECT_TRUE(PcmVolume8Mono(mono, 4, 32768));
    EXPECT_EQ(mono[0], 128);
    EXPECT_EQ(mono[1], 255);  // 100 * 2 = 200 -> clipped to 127
    EXPECT_EQ(mono[2], 0);    // -100 * 2 -> -128
    EXPECT_EQ(mono[3], 0);

    std::uint8_t stereo[4] = {178, 178, 78, 78};
    EXPECT_FALSE(PcmVolume8Stereo(stereo, 4, 8192, 16384));
    EXPECT_EQ(stereo[0], 153);  // 50 / 2 + 128
    EXPECT_EQ(stereo[1], 178);
    EXPECT_EQ(stereo[2], 103);  // -50 / 2 + 128
    EXPECT_EQ(stereo[3], 78);

    // Unity gains leave even odd byte counts alone.
    std::uint8_t same[3] = {1, 2, 3};
    EXPECT_FALSE(PcmVolume8Stereo(same, 3, 16384, 16384));
    EXPECT_EQ(same[2], 3);
}

TEST(VolumeLink, ScalesOnlyWhenEnabledAndOpened)
{
    Source src;
    TMMVolume vol;
    src.SetOutput(&vol);
    WAVEFORMATEX f = Pcm(16, 2);
    src.SetWaveFormat(&f);
    ASSERT_NE(vol.WaveFormat(), nullptr);

    Buffer b(16);
    const std::int16_t data[8] = {20000, -20000, 5, -5, 32767, -32768, 0, 1};
    std::memcpy(b.hdr->lpData, data, sizeof data);

    // Not opened yet: untouched.
    vol.SetVolume(32768);
    vol.BufferReady(b.hdr);
    EXPECT_EQ(std::memcmp(b.hdr->lpData, data, sizeof data), 0);

    src.NotifyOpen();
    ASSERT_TRUE(vol.Opened());

    // Unity volume: bit-identical.
    vol.SetVolume(16384);
    vol.BufferReady(b.hdr);
    EXPECT_EQ(std::memcmp(b.hdr->lpData, data, sizeof data), 0);

    // Disabled: untouched.
    vol.SetVolume(32768);
    vol.SetEnabled(false);
    vol.BufferReady(b.hdr);
    EXPECT_EQ(std::memcmp(b.hdr->lpData, data, sizeof data), 0);

    // Enabled: doubled and clipped; only the recorded bytes are processed.
    vol.SetEnabled(true);
    b.hdr->dwBytesRecorded = 8;
    int seen = 0;
    vol.OnBufferReady = [&](QObject*, PWaveHdr h) { seen = h->dwBytesRecorded; };
    vol.BufferReady(b.hdr);
    EXPECT_EQ(seen, 8);
    const std::int16_t* s = b.Samples16();
    EXPECT_EQ(s[0], 32767);
    EXPECT_EQ(s[1], -32768);
    EXPECT_EQ(s[2], 10);
    EXPECT_EQ(s[3], -10);
    EXPECT_EQ(s[4], 32767);  // beyond the recorded bytes
    EXPECT_EQ(s[5], -32768);

    src.NotifyClose();
    EXPECT_FALSE(vol.Opened());
    std::memcpy(b.hdr->lpData, data, sizeof data);
    vol.BufferReady(b.hdr);
    EXPECT_EQ(std::memcmp(b.hdr->lpData, data, sizeof data), 0);
}

TEST(VolumeLink, RejectsNonPcmFormats)
{
    TMMVolume vol;
    WAVEFORMATEX f = Pcm(16, 2);
    f.wFormatTag = 2;
    try {
        vol.SetWaveFormat(&f);
        FAIL() << "no error";
    } catch (const EMMVolumeError& e) {
        EXPECT_EQ(e.Message(), QString("Invalid WaveFormat"));
    }
    EXPECT_EQ(vol.WaveFormat(), nullptr);
    vol.SetWaveFormat(nullptr);  // none is accepted
    WAVEFORMATEX ok = Pcm(8, 1);
    vol.SetWaveFormat(&ok);
    ASSERT_NE(vol.WaveFormat(), nullptr);
    EXPECT_EQ(vol.WaveFormat()->wBitsPerSample, 8);
}

TEST(FindTrigger, FlanksLevelsAndChannels)
{
    WAVEFORMATEX m16 = Pcm(16, 1);
    // Threshold for level 50: 50 * 327 = 16350.
    const std::int16_t up[6] = {0, 10000, 16349, 16350, 20000, 0};
    const char* d = reinterpret_cast<const char*>(up);
    EXPECT_EQ(FindTrigger(&m16, d, sizeof up, 50, tmUpFlank, 0), 3 * 2);
    EXPECT_EQ(FindTrigger(&m16, d, sizeof up, 50, tmNone, 0), -1);
    EXPECT_EQ(FindTrigger(&m16, nullptr, sizeof up, 50, tmUpFlank, 0), -1);
    EXPECT_EQ(FindTrigger(&m16, d, 0, 50, tmUpFlank, 0), -1);
    // Down flank at -50 %: threshold -16350, sample(i) > t >= sample(i+1).
    const std::int16_t down[5] = {0, -16349, -16350, -20000, 0};
    EXPECT_EQ(FindTrigger(&m16, reinterpret_cast<const char*>(down), sizeof down, 50, tmDownFlank, 0), 2 * 2);
    // A level of 0 with a down flank crosses from positive to zero or below.
    const std::int16_t zero[4] = {5, 3, 0, -4};
    EXPECT_EQ(FindTrigger(&m16, reinterpret_cast<const char*>(zero), sizeof zero, 0, tmDownFlank, 0), 2 * 2);
    // No crossing.
    const std::int16_t flat[4] = {100, 100, 100, 100};
    EXPECT_EQ(FindTrigger(&m16, reinterpret_cast<const char*>(flat), sizeof flat, 0, tmUpFlank, 0), -1);

    // 8-bit: threshold trunc(50 * 127 / 100) + 128 = 63 + 128 = 191.
    WAVEFORMATEX m8 = Pcm(8, 1);
    const std::uint8_t b8[5] = {128, 190, 191, 200, 128};
    EXPECT_EQ(FindTrigger(&m8, reinterpret_cast<const char*>(b8), 5, 50, tmUpFlank, 0), 2);
    // Down flank at -50: trunc(-6350 / 100) + 128 = -63 + 128 = 65.
    const std::uint8_t d8[4] = {128, 66, 65, 60};
    EXPECT_EQ(FindTrigger(&m8, reinterpret_cast<const char*>(d8), 4, 50, tmDownFlank, 0), 2);

    // Stereo: the right channel crosses between frames 1 and 2; the left one
    // between frames 2 and 3.
    WAVEFORMATEX s16 = Pcm(16, 2);
    const std::int16_t st[12] = {0, 0, 0, 0, 0, 20000, 20000, 20000, 20000, 20000, 20000, 20000};
    const char* sd = reinterpret_cast<const char*>(st);
    EXPECT_EQ(FindTrigger(&s16, sd, sizeof st, 50, tmUpFlank, 0), 2 * 4);
    EXPECT_EQ(FindTrigger(&s16, sd, sizeof st, 50, tmUpFlank, 2), 2 * 4);
    EXPECT_EQ(FindTrigger(&s16, sd, sizeof st, 50, tmUpFlank, 1), 3 * 4);
    // The last frame pair of stereo data is not tested.
    const std::int16_t late[8] = {0, 0, 0, 0, 0, 0, 20000, 20000};
    EXPECT_EQ(FindTrigger(&s16, reinterpret_cast<const char*>(late), sizeof late, 50, tmUpFlank, 0), -1);
    // Mono tests up to the last pair.
    const std::int16_t lateMono[3] = {0, 0, 20000};
    EXPECT_EQ(FindTrigger(&m16, reinterpret_cast<const char*>(lateMono), sizeof lateMono, 50, tmUpFlank, 0), 4);
}
