// The ALSA mixer back end against the private PulseAudio server of the test
// script (its "default" control device has one element, "Capture").
#include "mixer_test_util.h"

#include "mixer/mixerslider.h"
#include "platform/mixer_alsa.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>

#include <cstdlib>
#include <cstring>

using namespace zol;
using namespace zol::test;

namespace {

bool PulseWanted()
{
    return std::getenv("ZOL_PULSE") != nullptr || std::getenv("CI") != nullptr;
}

QString RunTool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(10000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// The raw value amixer reports for "Capture".
int AmixerCapture()
{
    const QString out = RunTool(QStringLiteral("amixer"), {QStringLiteral("-D"), QStringLiteral("default"),
                                                      QStringLiteral("sget"), QStringLiteral("Capture")});
    const auto m = QRegularExpression(QStringLiteral("Capture (\\d+) \\[")).match(out);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

void AmixerSet(const QString& value)
{
    RunTool(QStringLiteral("amixer"),
        {QStringLiteral("-q"), QStringLiteral("-D"), QStringLiteral("default"), QStringLiteral("sset"),
         QStringLiteral("Capture"), value});
}

// Peak of one second captured from "default" (after the first 0.2 s).
int CapturePeak()
{
    QProcess p;
    p.start(QStringLiteral("arecord"),
            {QStringLiteral("-q"), QStringLiteral("-D"), QStringLiteral("default"), QStringLiteral("-f"),
             QStringLiteral("S16_LE"), QStringLiteral("-r"), QStringLiteral("11025"), QStringLiteral("-c"),
             QStringLiteral("1"), QStringLiteral("-d"), QStringLiteral("1"), QStringLiteral("-t"),
             QStringLiteral("raw")});
    p.waitForFinished(10000);
    const QByteArray raw = p.readAllStandardOutput();
    int peak = 0;
    for (int i = 2 * 2205; i + 1 < raw.size(); i += 2) {
        std::int16_t s;
        std::memcpy(&s, raw.constData() + i, 2);
        peak = std::max(peak, std::abs(int(s)));
    }
    return raw.size() > 2 * 4410 ? peak : -1;
}

bool WaitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

class AlsaMixer : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!PulseWanted())
            GTEST_SKIP() << "needs the private PulseAudio server (ZOL_PULSE=1)";
        AmixerSet(QStringLiteral("100%"));
    }
    void TearDown() override
    {
        platform::InstallMixer(nullptr);
        if (PulseWanted())
            AmixerSet(QStringLiteral("100%"));
    }
    platform::AlsaMixerBackend* Install(const QString& mixerName)
    {
        auto backend = std::make_unique<platform::AlsaMixerBackend>(mixerName);
        auto* raw = backend.get();
        platform::InstallMixer(std::move(backend));
        return raw;
    }
};

}  // namespace

TEST_F(AlsaMixer, CaptureElementServesBothLines)
{
    auto* alsa = Install(QStringLiteral("default"));
    ASSERT_GE(alsa->DeviceCount(), 1);
    EXPECT_EQ(alsa->DeviceNames().value(0), QStringLiteral("default"));
    EXPECT_EQ(alsa->CaptureElement(0), QStringLiteral("Capture"));
    EXPECT_EQ(alsa->MicElement(0), QStringLiteral("Capture"));  // no microphone element: Capture stands in

    MainMixer m;
    EXPECT_EQ(m.wavein.LineId(), 0);
    EXPECT_EQ(m.wavein.DestIndex(), 0);
    EXPECT_EQ(m.wavein.LineInfo().Name(), QStringLiteral("Capture"));
    EXPECT_EQ(m.mic.LineId(), 0x10000);
    EXPECT_EQ(m.mic.DestIndex(), -1);
    EXPECT_EQ(m.mic.LineInfo().Channels(), 1);
    ASSERT_TRUE(m.volume.IsValid());
    // Raw range 0..65536 is wider than 256: 64 steps.
    EXPECT_EQ(m.volume.ControlInfo().MinValue(), 0);
    EXPECT_EQ(m.volume.ControlInfo().MaxValue(), 65536);
    EXPECT_EQ(m.volume.ControlInfo().Steps(), 64);
    EXPECT_TRUE(HasControlFlag(m.volume.ControlInfo().Flags(), cfUniform));
    EXPECT_EQ(m.volume.GetSignedValue(), 65536);
    TMMVolumeControl destVolume;
    destVolume.SetAudioLine(&m.wavein);
    EXPECT_EQ(destVolume.ControlInfo().Steps(), 64);
    TMMMixerControl mute;
    mute.SetAudioLine(&m.wavein);
    mute.SetControlType(ctMute);
    ASSERT_TRUE(mute.IsValid());
    EXPECT_FALSE(mute.GetBoolValue());
}

TEST_F(AlsaMixer, InputLevelSetsTheSourceVolumeAndLevel)
{
    Install(QStringLiteral("default"));
    MainMixer m;
    TMMMixerSlider inputlevel;
    inputlevel.resize(322, 18);
    inputlevel.SetChannel(chLeft);
    inputlevel.SetSensitivity(-20);
    inputlevel.SetControl(&m.volume);
    EXPECT_EQ(inputlevel.MaxValue(), 64);
    EXPECT_EQ(static_cast<double>(inputlevel.Factor()), 1024.0);
    EXPECT_EQ(inputlevel.Position(), 64);
    const int full = CapturePeak();
    ASSERT_GT(full, 1000);

    inputlevel.SetPosition(32);
    EXPECT_EQ(AmixerCapture(), 32768);
    const QString pactl = RunTool(QStringLiteral("pactl"), {QStringLiteral("get-source-volume"),
                                                      QStringLiteral("@DEFAULT_SOURCE@")});
    EXPECT_TRUE(pactl.contains(QStringLiteral("32768"))) << pactl.toStdString();
    const int half = CapturePeak();
    EXPECT_LT(half, full / 4);  // the server's cubic curve: about 1/8
    EXPECT_GT(half, 0);

    // Calibration's steps: each one lowers the card's value.
    int previous = AmixerCapture();
    for (int i = 0; i < 4; ++i) {
        inputlevel.SetPosition(inputlevel.Position() - 1);
        const int now = AmixerCapture();
        EXPECT_LT(now, previous);
        previous = now;
    }
    EXPECT_EQ(previous, 28 * 1024);
}

TEST_F(AlsaMixer, OutsideChangeMovesSliderWithoutWriteBack)
{
    Install(QStringLiteral("default"));
    MainMixer m;
    m.device.SetActive(true);
    ASSERT_TRUE(m.device.Active());
    TMMMixerSlider inputlevel;
    inputlevel.SetChannel(chLeft);
    inputlevel.SetControl(&m.volume);
    ASSERT_EQ(inputlevel.Position(), 64);
    int changes = 0;
    inputlevel.OnChange = [&](QObject*) { ++changes; };
    // 16000 is 15.6 steps: a write-back would store 16 x 1024 = 16384.
    AmixerSet(QStringLiteral("16000"));
    EXPECT_TRUE(WaitFor([&] { return inputlevel.Position() == 16; }, 5000));
    EXPECT_GE(changes, 1);
    WaitFor([] { return false; }, 300);  // let any echo arrive
    EXPECT_EQ(AmixerCapture(), 16000);
    m.device.SetActive(false);
}

TEST_F(AlsaMixer, UnknownElementOrDeviceIsNotFound)
{
    Install(QStringLiteral("default:No Such Element"));
    {
        MainMixer m;
        EXPECT_TRUE(m.device.IsValid());
        EXPECT_EQ(m.mic.LineId(), -1);
        EXPECT_EQ(m.volume.ControlId(), -1);
        EXPECT_EQ(m.wavein.LineId(), 0);
    }
    Install(QStringLiteral("default:Capture"));
    {
        MainMixer m;
        EXPECT_EQ(m.mic.LineId(), 0x10000);
    }
    Install(QStringLiteral("zol_no_such_ctl"));
    {
        MainMixer m;
        EXPECT_FALSE(m.device.IsValid());
        EXPECT_EQ(m.mic.LineId(), -1);
        EXPECT_EQ(m.volume.ControlId(), -1);
    }
}
