#include "mixer_test_util.h"

#include "mixer/mixerblock.h"
#include "mixer/mixerslider.h"
#include "platform/errors.h"
#include "platform/simgain.h"
#include "platform/wavein_sources.h"

#include <QApplication>
#include <QMouseEvent>

#include <atomic>
#include <cmath>
#include <cstring>

using namespace zol;
using namespace zol::test;
using platform::SimMixerBackend;

namespace {

void Mouse(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, p, w->mapToGlobal(p), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// `inputlevel` as the main window has it.
struct InputLevel {
    TMMMixerSlider slider;
    explicit InputLevel(TMMVolumeControl* control)
    {
        slider.resize(322, 18);
        slider.SetChannel(chLeft);
        slider.SetSensitivity(-20);
        slider.SetThumbColor(clRed);
        slider.SetHandCursor(true);
        slider.SetControl(control);
    }
};

// Peak of one buffer from a freshly opened simulated receiver.
int ReceiverPeak()
{
    auto backend = platform::MakeSimReceiverBackend();
    WAVEFORMATEX format{};
    MakePcmFormat(format, 16, 2, 11025);
    std::vector<char> data(4096);
    WAVEHDR hdr{};
    hdr.lpData = data.data();
    hdr.dwBufferLength = 4096;
    std::atomic<bool> filled{false};
    std::unique_ptr<platform::WaveInDevice> device;
    if (backend->Open(0, format, [&](int msg, WAVEHDR*, int) { filled = filled || msg == platform::WIM_DATA; },
                      device) != 0)
        return -1;
    device->PrepareHeader(&hdr);
    device->AddBuffer(&hdr);
    device->Start();
    for (int i = 0; i < 20 && !filled; ++i)
        Sim().AdvanceMs(20);
    device->Close();
    device.reset();
    int peak = 0;
    for (std::uint32_t i = 0; i + 1 < hdr.dwBytesRecorded; i += 2) {
        std::int16_t v;
        std::memcpy(&v, data.data() + i, 2);
        peak = std::max(peak, std::abs(int(v)));
    }
    return filled ? peak : -1;
}

}  // namespace

using MixerBound = SimMixerTest;

TEST_F(MixerBound, InputLevelRangeAndWrite)
{
    MainMixer m;
    InputLevel in(&m.volume);
    EXPECT_TRUE(in.slider.isEnabled());
    EXPECT_EQ(in.slider.MinValue(), 0);
    EXPECT_EQ(in.slider.MaxValue(), 64);
    EXPECT_EQ(static_cast<double>(in.slider.Factor()), 1023.984375);
    EXPECT_EQ(in.slider.Position(), 64);  // the card starts at full volume
    sim->ClearWrites();
    int changes = 0;
    in.slider.OnChange = [&](QObject*) { ++changes; };
    in.slider.SetPosition(10);
    EXPECT_EQ(changes, 1);
    ASSERT_EQ(sim->Writes().size(), 1u);
    EXPECT_EQ(sim->Value(SimMixerBackend::kMicVolumeId, 0), 10240);
    EXPECT_EQ(sim->Value(SimMixerBackend::kMicVolumeId, 1), 65535);  // left channel only
    // ControlInfo.Steps is what the main window gives the recording level.
    EXPECT_EQ(m.volume.ControlInfo().Steps(), 64);
}

TEST_F(MixerBound, StepCountsAndDegenerateBounds)
{
    MainMixer m;
    sim->ConfigureVolume(SimMixerBackend::kMicLineId, 0, 65535, 0);
    m.volume.UpdateControl();
    InputLevel in(&m.volume);
    EXPECT_EQ(in.slider.MaxValue(), 32);
    EXPECT_EQ(static_cast<double>(in.slider.Factor()), 2047.96875);

    sim->ConfigureVolume(SimMixerBackend::kMicLineId, 0, 65535, 63);
    m.volume.UpdateControl();  // re-resolution reaches the slider through its link
    EXPECT_EQ(in.slider.MaxValue(), 63);

    sim->ConfigureVolume(SimMixerBackend::kMicLineId, 100, 100, 10);
    m.volume.UpdateControl();
    EXPECT_EQ(in.slider.MinValue(), 0);
    EXPECT_EQ(in.slider.MaxValue(), 1);
    EXPECT_EQ(static_cast<double>(in.slider.Factor()), 0.0);
}

TEST_F(MixerBound, UnusableControls)
{
    MainMixer m;
    InputLevel in(&m.volume);
    // A control that is not resolved: disabled, thumb at 1 of 0..2.
    sim->ConfigureVolume(SimMixerBackend::kMicLineId, 0, 65535, 64, false);
    m.volume.UpdateControl();
    EXPECT_FALSE(in.slider.isEnabled());
    EXPECT_EQ(in.slider.MaxValue(), 2);
    EXPECT_EQ(in.slider.Position(), 1);

    // Unbinding: disabled, thumb in the middle of the range it had.
    sim->ConfigureVolume(SimMixerBackend::kMicLineId, 0, 65535, 64, true);
    m.volume.UpdateControl();
    EXPECT_EQ(in.slider.MaxValue(), 64);
    in.slider.SetControl(nullptr);
    EXPECT_FALSE(in.slider.isEnabled());
    EXPECT_EQ(in.slider.Position(), 32);

    // Classes a slider does not take.
    TMMMixerControl mute;
    mute.SetAudioLine(&m.mic);
    mute.SetControlType(ctMute);
    try {
        in.slider.SetControl(&mute);
        FAIL();
    } catch (const EMMMixerControlsError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Invalid control class"));
    }
    // The bound control's removal unbinds the slider.
    {
        TMMVolumeControl temporary;
        temporary.SetAudioLine(&m.mic);
        in.slider.SetControl(&temporary);
        EXPECT_TRUE(in.slider.isEnabled());
    }
    EXPECT_EQ(in.slider.Control(), nullptr);
    EXPECT_FALSE(in.slider.isEnabled());
}

TEST_F(MixerBound, NoticeMovesSliderWithoutWriteBack)
{
    MainMixer m;
    m.device.SetActive(true);
    InputLevel in(&m.volume);
    int changes = 0;
    in.slider.OnChange = [&](QObject*) { ++changes; };
    sim->ClearWrites();
    sim->SetValueFromOutside(SimMixerBackend::kMicVolumeId, 0, 20000);  // 19.53 steps
    Sim().Settle();
    EXPECT_EQ(in.slider.Position(), 20);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(sim->Writes().empty());
    EXPECT_EQ(sim->Value(SimMixerBackend::kMicVolumeId, 0), 20000);

    // A write of ours comes back as a notice and changes nothing more.
    in.slider.SetPosition(30);
    Sim().Settle();
    EXPECT_EQ(sim->Writes().size(), 1u);
    EXPECT_EQ(in.slider.Position(), 30);
    EXPECT_EQ(changes, 2);
}

TEST_F(MixerBound, DisabledControlSnapsBack)
{
    MainMixer m;
    InputLevel in(&m.volume);
    sim->SetControlFlags(SimMixerBackend::kMicVolumeId, platform::MIXERCONTROL_CONTROLF_DISABLED);
    m.volume.UpdateControl();
    EXPECT_TRUE(HasControlFlag(m.volume.ControlInfo().Flags(), cfDisabled));
    EXPECT_FALSE(in.slider.isEnabled());
    sim->ClearWrites();
    // The thumb shows the mixer's value; moving it puts it back there.
    EXPECT_EQ(in.slider.MaxValue(), 64);
    EXPECT_EQ(in.slider.Position(), 64);
    int changes = 0;
    in.slider.OnChange = [&](QObject*) { ++changes; };
    in.slider.SetPosition(10);
    EXPECT_EQ(in.slider.Position(), 64);
    EXPECT_GE(changes, 1);
    EXPECT_TRUE(sim->Writes().empty());
    EXPECT_EQ(sim->Value(SimMixerBackend::kMicVolumeId, 0), 65535);
}

TEST_F(MixerBound, CalibrationStepsGainDown)
{
    MainMixer m;
    InputLevel in(&m.volume);
    ASSERT_EQ(in.slider.Position(), 64);
    EXPECT_DOUBLE_EQ(platform::SimulatedCaptureGain(), 1.0);
    sim->ClearWrites();
    double previous = platform::SimulatedCaptureGain();
    for (int p = 63; p >= 0; --p) {
        in.slider.SetPosition(in.slider.Position() - 1);
        const double gain = platform::SimulatedCaptureGain();
        EXPECT_LT(gain, previous) << "position " << p;
        EXPECT_NEAR(gain, p / 64.0, 1e-4);
        previous = gain;
    }
    EXPECT_EQ(sim->Writes().size(), 64u);
    EXPECT_EQ(sim->Value(SimMixerBackend::kMicVolumeId, 0), 0);
    // The peak meter of the line follows the volume too.
    TMMMixerControl meter;
    meter.SetAudioLine(&m.mic);
    meter.SetControlType(ctPeakMeter);
    EXPECT_EQ(meter.GetSignedItem(chLeft, NoItem), 0);
    in.slider.SetPosition(32);
    EXPECT_EQ(meter.GetSignedItem(chLeft, NoItem), static_cast<int>(16384 * (32768.0 / 65535.0)));
}

TEST_F(MixerBound, CalibrationLowersTheReceiverLevel)
{
    MainMixer m;
    InputLevel in(&m.volume);
    int previous = ReceiverPeak();
    ASSERT_GT(previous, 5000);
    for (int p = 63; p >= 48; --p) {
        in.slider.SetPosition(p);
        const int peak = ReceiverPeak();
        EXPECT_LT(peak, previous) << "position " << p;
        previous = peak;
    }
    in.slider.SetPosition(0);
    EXPECT_EQ(ReceiverPeak(), 0);
}

TEST_F(MixerBound, DragWritesOncePerPosition)
{
    MainMixer m;
    InputLevel in(&m.volume);
    in.slider.SetPosition(0);
    sim->ClearWrites();
    const QPoint start = in.slider.ThumbRect().center();
    Mouse(&in.slider, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    ASSERT_TRUE(in.slider.Dragging());
    const int span = in.slider.width() - 2 * in.slider.BevelExtent() - in.slider.ThumbWidth();
    for (int dx = 1; dx <= span; ++dx)
        Mouse(&in.slider, QEvent::MouseMove, start + QPoint(dx, 0), Qt::NoButton, Qt::LeftButton);
    Mouse(&in.slider, QEvent::MouseButtonRelease, start + QPoint(span, 0), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(in.slider.Position(), 64);
    ASSERT_EQ(sim->Writes().size(), 64u);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(sim->Writes()[i].values[0], static_cast<int>(std::nearbyint((i + 1) * 1023.984375))) << i;
        EXPECT_EQ(sim->Writes()[i].values[1], 65535);
    }
}

TEST_F(MixerBound, BlockBindsVolumeSliders)
{
    MainMixer m;
    QWidget form;
    form.resize(300, 300);
    TMMMixerBlock block(&form);
    EXPECT_EQ(block.width(), 100);
    EXPECT_EQ(block.height(), 250);
    auto* name = new TMMCustomBlockLabel(&block, 0);
    EXPECT_EQ(name->text(), QStringLiteral("Not connected"));
    block.SetLine(&m.wavein);
    EXPECT_EQ(name->text(), QStringLiteral("Recording Control"));

    auto* left = new TMMMixerBlockSlider(&block, srLeftVolume);
    EXPECT_EQ(block.LeftSlider(), left);
    EXPECT_EQ(left->Control(), block.VolumeControl());
    EXPECT_EQ(left->Channel(), chBoth);  // alone it drives both channels
    EXPECT_TRUE(left->Logarithmic());
    EXPECT_TRUE(left->Scale().Visible());
    EXPECT_EQ(left->Scale().TickCount(), 7);
    EXPECT_EQ(left->ScalePosition(), spBoth);
    EXPECT_TRUE(left->isEnabled());
    EXPECT_EQ(left->MaxValue(), 64);

    // recordlevel.Position := steps: the destination's volume at full.
    sim->ClearWrites();
    left->SetPosition(m.volume.ControlInfo().Steps());
    EXPECT_EQ(sim->Value(SimMixerBackend::kWaveInVolumeId, 0), 65535);
    left->SetPosition(32);
    ASSERT_FALSE(sim->Writes().empty());
    const int v = sim->Value(SimMixerBackend::kWaveInVolumeId, 0);
    EXPECT_EQ(sim->Value(SimMixerBackend::kWaveInVolumeId, 1), v);  // both channels
    EXPECT_EQ(v, static_cast<int>(std::nearbyint(left->Position() * 1023.984375)));

    auto* right = new TMMMixerBlockSlider(&block, srRightVolume);
    EXPECT_EQ(left->Channel(), chLeft);
    EXPECT_EQ(right->Channel(), chRight);
    auto* mute = new TMMCustomBlockCheck(&block);
    EXPECT_EQ(block.MuteBox(), mute);
    EXPECT_EQ(mute->Control(), block.MuteControl());
    EXPECT_EQ(block.MuteKind(), mkMute);
    EXPECT_TRUE(mute->isEnabled());
    EXPECT_EQ(mute->text(), QStringLiteral("Mute"));
    mute->click();
    EXPECT_EQ(sim->Value(SimMixerBackend::kWaveInMuteId, 0), 1);

    // Arrangement: sliders side by side below the labels, mute at the bottom.
    EXPECT_LT(left->geometry().right(), right->geometry().left());
    EXPECT_GT(mute->geometry().top(), left->geometry().bottom());

    delete right;  // leaving: the left slider drives both again
    EXPECT_EQ(block.RightSlider(), nullptr);
    EXPECT_EQ(left->Channel(), chBoth);

    try {
        QWidget plain;
        TMMMixerBlockSlider stray(&plain);
        FAIL();
    } catch (const EMMBlockError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("This controls can be used only with MixerBlock"));
    }
}

TEST_F(MixerBound, ConnectorReadsThePeakMeter)
{
    MainMixer m;
    TMMMixerControl meter;
    meter.SetAudioLine(&m.mic);
    meter.SetControlType(ctPeakMeter);
    ASSERT_TRUE(meter.IsValid());
    TMMMixerConnector connector;
    EXPECT_THROW(connector.SetInterval(0), EMMLevelConnectorError);
    QWidget host;
    TMMCustomLevel left(&host), right(&host);
    connector.SetLevel1(&left);
    connector.SetLevel2(&right);
    int changes = 0;
    connector.OnChange = [&](QObject*) { ++changes; };
    connector.SetControl(&meter);
    EXPECT_EQ(left.BitLength(), b16Bit);
    EXPECT_TRUE(left.Enabled());
    sim->SetPeak(20000);
    Sim().AdvanceMs(60);
    EXPECT_GE(changes, 1);
    EXPECT_EQ(connector.LastLeft(), 20000);  // factor 32768 / 32768
    EXPECT_EQ(left.RawValue(), 20000);
    EXPECT_EQ(right.RawValue(), 20000);
    const int before = changes;
    Sim().AdvanceMs(100);
    EXPECT_EQ(changes, before);  // unchanged values fire nothing
    sim->SetValueFromOutside(SimMixerBackend::kMicVolumeId, 1, 0);
    Sim().AdvanceMs(30);
    EXPECT_EQ(right.RawValue(), 0);
    EXPECT_EQ(left.RawValue(), 20000);
    // A meter on another connector level slot moves, not duplicates.
    connector.SetLevel2(&left);
    EXPECT_EQ(connector.Level1(), nullptr);
    EXPECT_EQ(connector.Level2(), &left);
}
