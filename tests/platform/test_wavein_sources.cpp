// The wave-in back ends that make their own audio: the simulated receiver
// and WAV files, paced by the simulated clock; and choosing a back end.
#include "platform/errors.h"
#include "platform/mmsyserr.h"
#include "platform/simgain.h"
#include "platform/wavein_alsa.h"
#include "platform/soundfile.h"
#include "platform/wavein_sources.h"
#include "tests/support/test_support.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

using namespace zol;
using namespace zol::platform;

namespace {

// The PCM format record (the platform layer has no chain helpers).
void Pcm(WAVEFORMATEX& f, int bits, int channels, int rate)
{
    f = WAVEFORMATEX{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = static_cast<std::uint16_t>(channels);
    f.nSamplesPerSec = static_cast<std::uint32_t>(rate);
    f.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;
    f.wBitsPerSample = static_cast<std::uint16_t>(bits);
}

// Opens device 0 of a back end and queues `count` buffers of `bytes`; the
// filled ones are collected (and queued again) as they come.
struct Recorder {
    std::vector<std::vector<char>> blocks;
    std::vector<WAVEHDR> headers;
    std::vector<std::int16_t> left;   // 16-bit formats: the first channel
    std::vector<std::int16_t> right;  // and the second of a stereo format
    std::vector<std::uint32_t> sizes;
    std::unique_ptr<WaveInDevice> device;
    int opens = 0, closes = 0, lost = 0;
    WAVEFORMATEX format{};

    int Open(WaveInBackend& backend, int rate, int bits, int channels, int count, int bytes)
    {
        Pcm(format, bits, channels, rate);
        const int rc = backend.Open(0, format, [this](int msg, WAVEHDR* hdr, int) { Message(msg, hdr); }, device);
        if (rc != 0)
            return rc;
        blocks.assign(static_cast<size_t>(count), std::vector<char>(static_cast<size_t>(bytes)));
        headers.assign(static_cast<size_t>(count), WAVEHDR{});
        for (int i = 0; i < count; ++i) {
            headers[i].lpData = blocks[i].data();
            headers[i].dwBufferLength = static_cast<std::uint32_t>(bytes);
            EXPECT_EQ(device->PrepareHeader(&headers[i]), 0);
            EXPECT_EQ(device->AddBuffer(&headers[i]), 0);
        }
        return device->Start();
    }
    void Message(int msg, WAVEHDR* hdr)
    {
        if (msg == WIM_OPEN)
            ++opens;
        else if (msg == WIM_CLOSE)
            ++closes;
        else if (msg == WIM_LOST)
            ++lost;
        else if (msg == WIM_DATA) {
            sizes.push_back(hdr->dwBytesRecorded);
            if (format.wBitsPerSample == 16) {
                const auto* s = reinterpret_cast<const std::int16_t*>(hdr->lpData);
                for (std::uint32_t i = 0; i < hdr->dwBytesRecorded / 2; i += format.nChannels) {
                    left.push_back(s[i]);
                    if (format.nChannels == 2)
                        right.push_back(s[i + 1]);
                }
            }
            if (hdr->dwBytesRecorded > 0 && device)
                device->AddBuffer(hdr);
        }
    }
};

// Frequency from zero crossings, and the peak.
void Measure(const std::vector<std::int16_t>& s, int rate, double& hz, int& peak)
{
    int crossings = 0;
    peak = 0;
    for (size_t i = 1; i < s.size(); ++i) {
        if ((s[i - 1] < 0) != (s[i] < 0))
            ++crossings;
        peak = std::max(peak, std::abs(static_cast<int>(s[i])));
    }
    hz = crossings / 2.0 / (static_cast<double>(s.size()) / rate);
}

}  // namespace

TEST(WaveInSources, SimulatedReceiverIsACarrierPacedByTheClockAndScaledByTheGain)
{
    auto& sim = test::ResetSim();
    auto backend = MakeSimReceiverBackend();
    EXPECT_EQ(backend->DeviceCount(), 1);
    DeviceCapsRecord caps;
    EXPECT_EQ(backend->GetCaps(0, caps), 0);
    EXPECT_EQ(caps.productName, "Simulated receiver");
    EXPECT_EQ(backend->GetCaps(1, caps), MMSYSERR_BADDEVICEID);
    WAVEFORMATEX bad{};
    Pcm(bad, 24, 2, 11025);
    EXPECT_EQ(backend->QueryFormat(0, bad), WAVERR_BADFORMAT);

    Recorder r;
    ASSERT_EQ(r.Open(*backend, 11025, 16, 2, 10, 4096), 0);
    EXPECT_EQ(r.opens, 1);
    sim.AdvanceMs(60000);
    // 60 s at 1024 frames a buffer: 645.99 buffers; no drift.
    EXPECT_EQ(r.sizes.size(), 645u);
    for (auto size : r.sizes)
        ASSERT_EQ(size, 4096u);
    double hz;
    int peak;
    Measure(r.left, 11025, hz, peak);
    EXPECT_NEAR(hz, 650.0, 3.0);
    // Carrier at 0.3 of full scale, slowly fading, plus a little noise.
    EXPECT_GT(peak, 0.25 * 32768);
    EXPECT_LT(peak, 0.36 * 32768);

    // Half the capture gain: half the level.
    SetSimulatedCaptureGain(0.5);
    r.left.clear();
    sim.AdvanceMs(5000);
    int halfPeak;
    Measure(r.left, 11025, hz, halfPeak);
    SetSimulatedCaptureGain(1.0);
    EXPECT_NEAR(halfPeak, peak / 2.0, peak * 0.12);

    EXPECT_EQ(r.device->Reset(), 0);
    const size_t before = r.sizes.size();
    EXPECT_EQ(r.device->Close(), 0);
    EXPECT_EQ(r.closes, 1);
    sim.AdvanceMs(1000);
    EXPECT_GE(r.sizes.size(), before);
    EXPECT_EQ(r.device->AddBuffer(&r.headers[0]), MMSYSERR_INVALHANDLE);

    // Another carrier, 8-bit mono.
    SimReceiverOptions o;
    o.carrierHz = 560;
    auto other = MakeSimReceiverBackend(o);
    Recorder r8;
    ASSERT_EQ(r8.Open(*other, 8000, 8, 1, 4, 800), 0);
    sim.AdvanceMs(1000);
    EXPECT_EQ(r8.sizes.size(), 10u);
    int crossings = 0;
    for (size_t i = 1; i < 800; ++i)
        crossings += ((static_cast<std::uint8_t>(r8.blocks[0][i - 1]) < 128) !=
                      (static_cast<std::uint8_t>(r8.blocks[0][i]) < 128));
    EXPECT_NEAR(crossings / 2.0 / 0.1, 560.0, 30.0);
    r8.device->Close();
}

TEST(WaveInSources, WavFilesAreConvertedAndEndQuietly)
{
    auto& sim = test::ResetSim();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // One second of an 8-bit mono 440 Hz tone at 22050 Hz.
    QByteArray data;
    for (int i = 0; i < 22050; ++i)
        data.append(static_cast<char>(128 + std::lround(100 * std::sin(6.283185307 * 440 * i / 22050))));
    const QString path = dir.path() + "/tone.wav";
    ASSERT_TRUE(WriteWavFile(path, 22050, 8, 1, data));

    auto backend = MakeWaveInBackend(path);
    EXPECT_EQ(backend->Description(), "WAV file " + path);
    DeviceCapsRecord caps;
    EXPECT_EQ(backend->GetCaps(0, caps), 0);
    EXPECT_EQ(caps.productName, "tone.wav");
    Recorder r;
    ASSERT_EQ(r.Open(*backend, 11025, 16, 2, 10, 4096), 0);
    sim.AdvanceMs(3000);
    EXPECT_TRUE(WavFileEnded(backend));
    // 11025 frames = 10 full buffers and a last one of 785 frames.
    ASSERT_EQ(r.sizes.size(), 11u);
    EXPECT_EQ(r.sizes.back(), (11025u - 10 * 1024) * 4);
    double hz;
    int peak;
    Measure(r.left, 11025, hz, peak);
    EXPECT_NEAR(hz, 440.0, 3.0);
    EXPECT_NEAR(peak, 100 * 256, 600);
    r.device->Close();

    // Files that cannot be used say why.
    auto messageOf = [](const QString& p) {
        try {
            MakeWaveInBackend(p);
        } catch (const EMMWaveInError& e) {
            return e.Message();
        }
        return QString();
    };
    // 24-bit files are read (the reader takes every width); more than two
    // channels are not.
    ASSERT_TRUE(WriteWavFile(dir.path() + "/deep.wav", 44100, 24, 2, QByteArray(600, 0)));
    EXPECT_EQ(messageOf(dir.path() + "/deep.wav"), "");
    ASSERT_TRUE(WriteWavFile(dir.path() + "/wide.wav", 11025, 16, 3, QByteArray(600, 0)));
    EXPECT_EQ(messageOf(dir.path() + "/wide.wav"),
              "WAV file \"wide.wav\": only files with 1 or 2 channels can be used (this one: 3 channels)");
    QFile junk(dir.path() + "/junk.wav");
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("this is no wave file at all");
    junk.close();
    EXPECT_TRUE(messageOf(junk.fileName()).startsWith("WAV file \"junk.wav\": is no audio file that can be read ("))
        << messageOf(junk.fileName()).toStdString();
    EXPECT_TRUE(messageOf(dir.path()).contains("Is a directory"));
    EXPECT_TRUE(messageOf(dir.path() + "/missing.wav").startsWith("WAV file \"missing.wav\": cannot be opened"));
    ASSERT_TRUE(WriteWavFile(dir.path() + "/empty.wav", 11025, 16, 2, QByteArray()));
    EXPECT_EQ(messageOf(dir.path() + "/empty.wav"), "WAV file \"empty.wav\": holds no audio");
    // A header that claims more data than the file holds is cut to the file.
    QByteArray cut = data.left(2000);
    ASSERT_TRUE(WriteWavFile(dir.path() + "/cut.wav", 22050, 8, 1, data));
    QFile f(dir.path() + "/cut.wav");
    ASSERT_TRUE(f.resize(44 + 2000));
    auto shortOne = MakeWaveInBackend(dir.path() + "/cut.wav");
    Recorder rc;
    ASSERT_EQ(rc.Open(*shortOne, 22050, 8, 1, 4, 1024), 0);
    sim.AdvanceMs(1000);
    std::uint32_t total = 0;
    for (auto s : rc.sizes)
        total += s;
    EXPECT_EQ(total, 2000u);
    rc.device->Close();
}

TEST(WaveInSources, InputNamesChooseTheBackEnd)
{
    EXPECT_EQ(MakeWaveInBackend("sim")->Description(), "simulated receiver");
    EXPECT_EQ(MakeWaveInBackend("sim:700")->Description(), "simulated receiver");
    EXPECT_THROW(MakeWaveInBackend("sim:900"), EMMWaveInError);
    EXPECT_THROW(MakeWaveInBackend("sim:abc"), EMMWaveInError);
    auto alsa = std::dynamic_pointer_cast<AlsaWaveInBackend>(MakeWaveInBackend("default"));
    ASSERT_NE(alsa, nullptr);
    EXPECT_EQ(alsa->Description(), "ALSA default");
    auto named = std::dynamic_pointer_cast<AlsaWaveInBackend>(MakeWaveInBackend("plughw:CARD=X,DEV=0"));
    ASSERT_NE(named, nullptr);
    EXPECT_EQ(named->PcmName(0), "plughw:CARD=X,DEV=0");
    EXPECT_EQ(named->PcmName(-1), "default");
    EXPECT_EQ(named->PcmName(-5), "");
    // ALSA's error numbers get ALSA's texts.
    QString text;
    EXPECT_TRUE(alsa->ErrorText(AlsaErrorNumber(-5), text));
    EXPECT_EQ(text, "Input/output error");
    EXPECT_TRUE(alsa->ErrorText(MMSYSERR_NOMEM, text));
    EXPECT_EQ(text, MMSystemErrorText(MMSYSERR_NOMEM));
    // A PCM that does not exist cannot be opened; the number says why.
    auto none = MakeWaveInBackend("zol_no_such_pcm");
    WAVEFORMATEX f{};
    Pcm(f, 16, 2, 11025);
    std::unique_ptr<WaveInDevice> device;
    const int rc = none->Open(0, f, [](int, WAVEHDR*, int) {}, device);
    EXPECT_GE(rc, kMMBackendBase);
    EXPECT_EQ(device, nullptr);
    EXPECT_TRUE(none->ErrorText(rc, text));
    EXPECT_FALSE(text.isEmpty());

    // Installing a back end makes it the wave-in kind's device query.
    auto sim = MakeWaveInBackend("sim");
    auto previous = CurrentWaveInBackend();
    SetWaveInBackend(sim);
    EXPECT_EQ(CurrentWaveInBackend(), sim);
    EXPECT_EQ(GetDeviceQuery(dkWaveIn), sim);
    SetWaveInBackend(previous);
}

TEST(WaveInSources, ARecordingBeganItsLengthBeforeTheFileWasWritten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("rec.wav");
    // Ten seconds of 11025 Hz 16-bit stereo.
    ASSERT_TRUE(WriteWavFile(path, 11025, 16, 2, QByteArray(11025 * 4 * 10, 0)));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const QDateTime written(QDate(2026, 8, 12), QTime(10, 30, 10));
    ASSERT_TRUE(file.setFileTime(written, QFileDevice::FileModificationTime));
    file.close();
    EXPECT_EQ(WavRecordingStart(path), QDateTime(QDate(2026, 8, 12), QTime(10, 30, 0)));
    EXPECT_FALSE(WavRecordingStart(dir.filePath("missing.wav")).isValid());
}

TEST(WaveInSources, AHeldWavFileRecordsSilenceAndThenPlaysFromItsStart)
{
    auto& sim = test::ResetSim();
    QTemporaryDir dir;
    // 2048 frames of 16-bit mono: each sample holds 1000 + its frame number.
    QByteArray data;
    for (int i = 0; i < 2048; ++i) {
        const auto v = static_cast<std::uint16_t>(1000 + i);
        data.append(static_cast<char>(v & 0xFF));
        data.append(static_cast<char>(v >> 8));
    }
    const QString path = dir.path() + "/count.wav";
    ASSERT_TRUE(WriteWavFile(path, 11025, 16, 1, data));
    auto backend = MakeWaveInBackend(path);
    HoldWavFile(backend, true);
    Recorder r;
    ASSERT_EQ(r.Open(*backend, 11025, 16, 1, 4, 2048), 0);
    sim.AdvanceMs(1000);  // about ten buffers of silence
    EXPECT_FALSE(WavFileEnded(backend));
    ASSERT_GE(r.left.size(), 8u * 1024);
    for (std::int16_t s : r.left)
        ASSERT_EQ(s, 0);
    const size_t held = r.left.size();
    HoldWavFile(backend, false);
    sim.AdvanceMs(1000);
    EXPECT_TRUE(WavFileEnded(backend));
    ASSERT_EQ(r.left.size(), held + 2048);  // all of the file, from its first frame
    for (int i = 0; i < 2048; ++i)
        ASSERT_EQ(r.left[held + i], 1000 + i) << i;
    r.device->Close();
}

TEST(WaveInSources, FlacRecordingsPlayBackSampleForSample)
{
    auto& sim = test::ResetSim();
    QTemporaryDir dir;
    // Two seconds of 16-bit stereo: a different ramp in each channel.
    std::vector<std::int16_t> samples;
    for (int i = 0; i < 22050; ++i) {
        samples.push_back(static_cast<std::int16_t>((i * 7) % 60000 - 30000));
        samples.push_back(static_cast<std::int16_t>(-(i % 20000)));
    }
    const QString path = dir.filePath("zol-20260812T170002.250Z.flac");
    {
        SoundFileWriter writer;
        ASSERT_TRUE(writer.Create(path, 11025, 2)) << writer.Error().toStdString();
        ASSERT_TRUE(writer.Write(samples.data(), 22050));
        writer.Close();
    }
    auto backend = MakeWaveInBackend(path);
    EXPECT_EQ(backend->Description(), "FLAC file " + path);
    Recorder r;
    ASSERT_EQ(r.Open(*backend, 11025, 16, 2, 10, 4096), 0);
    sim.AdvanceMs(3000);
    EXPECT_TRUE(WavFileEnded(backend));
    ASSERT_EQ(r.left.size(), 22050u);
    for (size_t i = 0; i < 22050; ++i) {
        ASSERT_EQ(r.left[i], samples[2 * i]) << i;
        ASSERT_EQ(r.right[i], samples[2 * i + 1]) << i;
    }
    r.device->Close();

    // A recording zol made starts at the UTC time in its name.
    EXPECT_EQ(RecordingNameTime(path), QDateTime(QDate(2026, 8, 12), QTime(17, 0, 2, 250), Qt::UTC));
    EXPECT_EQ(WavRecordingStart(path).toUTC(), QDateTime(QDate(2026, 8, 12), QTime(17, 0, 2, 250), Qt::UTC));
    EXPECT_EQ(RecordingNameTime(dir.filePath("zol-20260812T170002Z.flac")),
              QDateTime(QDate(2026, 8, 12), QTime(17, 0, 2), Qt::UTC));
    for (const char* other : {"rec.flac", "zol-20261312T170002Z.flac", "zol-20260812T1700Z.flac", "xzol-20260812T170002Z.flac"})
        EXPECT_FALSE(RecordingNameTime(dir.filePath(other)).isValid()) << other;

    // Names that are files, not devices.
    for (const char* file : {"a.wav", "B.FLAC", "x.ogg", "dir/take", "./rec", "/abs/path"})
        EXPECT_TRUE(IsAudioFileName(file)) << file;
    for (const char* device : {"default", "hw:1,0", "plughw:CARD=X,DEV=0", "sim", "pulse"})
        EXPECT_FALSE(IsAudioFileName(device)) << device;
}
