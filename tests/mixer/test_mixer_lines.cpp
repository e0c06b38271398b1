#include "mixer_test_util.h"

#include "platform/errors.h"
#include "platform/mmsyserr.h"

using namespace zol;
using namespace zol::test;
using platform::SimMixerBackend;

namespace {

// A wave-in device as a line target.
class FakeWaveIn : public TMMCustomAudioDevice {
public:
    FakeWaveIn() { SetDeviceKind(platform::dkWaveIn); }
};

}  // namespace

using MixerLines = SimMixerTest;

TEST_F(MixerLines, ResolveByTypeIdAndTarget)
{
    MainMixer m;
    EXPECT_TRUE(m.device.IsValid());
    EXPECT_EQ(m.device.Destinations(), 1);
    EXPECT_EQ(m.device.DeviceCaps().ProductName(), QStringLiteral("Simulated Mixer 0"));

    EXPECT_EQ(m.mic.Selector(), 1);
    EXPECT_EQ(m.mic.LineId(), SimMixerBackend::kMicLineId);
    EXPECT_EQ(m.mic.DestIndex(), -1);
    EXPECT_TRUE(HasLineFlag(m.mic.LineInfo().Flags(), cfSource));
    EXPECT_TRUE(HasLineFlag(m.mic.LineInfo().Flags(), cfActive));
    EXPECT_EQ(m.mic.LineInfo().Channels(), 2);
    EXPECT_EQ(m.mic.LineInfo().Controls(), 3);
    EXPECT_EQ(m.mic.LineInfo().Name(), QStringLiteral("Microphone"));
    EXPECT_EQ(m.mic.LineInfo().ShortName(), QStringLiteral("Mic"));

    EXPECT_EQ(m.wavein.LineId(), SimMixerBackend::kWaveInLineId);
    EXPECT_EQ(m.wavein.DestIndex(), 0);
    EXPECT_FALSE(HasLineFlag(m.wavein.LineInfo().Flags(), cfSource));
    EXPECT_EQ(m.wavein.LineInfo().Connections(), 1);

    // By identifier: selector 0 and the type follows the line.
    TMMAudioLine byId;
    byId.SetMixer(&m.device);
    byId.SetLineId(SimMixerBackend::kMicLineId);
    EXPECT_EQ(byId.Selector(), 0);
    EXPECT_EQ(byId.ComponentType(), ctSrcMicrophone);
    byId.SetLineId(0x777);
    EXPECT_EQ(byId.LineId(), -1);
    EXPECT_EQ(byId.LineInfo().Name(), QString());

    // By target: the wave-in device's line.
    FakeWaveIn wavein;
    TMMAudioLine byTarget;
    byTarget.SetMixer(&m.device);
    byTarget.SetTarget(&wavein);
    EXPECT_EQ(byTarget.Selector(), 2);
    EXPECT_EQ(byTarget.LineId(), SimMixerBackend::kWaveInLineId);
    EXPECT_EQ(byTarget.ComponentType(), ctDstWaveIn);
    byTarget.SetTarget(nullptr);  // none: not found
    EXPECT_EQ(byTarget.LineId(), -1);
}

TEST_F(MixerLines, SourceFoundThroughDestination)
{
    MainMixer m;
    TMMAudioLine source;
    source.SetMixer(&m.device);
    source.SetComponentType(ctSrcMicrophone);
    source.SetDestLine(&m.wavein);
    EXPECT_EQ(source.LineId(), SimMixerBackend::kMicLineId);
    platform::MixerLineDesc desc;
    EXPECT_TRUE(m.wavein.FindSource(&source, desc));
    EXPECT_EQ(desc.lineId, SimMixerBackend::kMicLineId);
    // A source line cannot serve as a destination.
    EXPECT_FALSE(m.mic.FindSource(&source, desc));
    // A type the destination has no source of.
    source.SetComponentType(ctSrcCD);
    EXPECT_EQ(source.LineId(), -1);
    // Removing the destination line sets DestLine to none.
    {
        TMMAudioLine dest;
        dest.SetMixer(&m.device);
        dest.SetComponentType(ctDstWaveIn);
        source.SetDestLine(&dest);
    }
    EXPECT_EQ(source.DestLine(), nullptr);
}

TEST_F(MixerLines, NoMixerInTheSystemLeavesNotFound)
{
    Install(0);
    MainMixer m;
    EXPECT_FALSE(m.device.IsValid());
    EXPECT_EQ(m.device.Destinations(), 0);
    EXPECT_EQ(m.mic.LineId(), -1);
    EXPECT_EQ(m.mic.LineInfo().Channels(), 0);
    EXPECT_EQ(m.volume.ControlId(), -1);
    EXPECT_EQ(m.volume.ControlInfo().Steps(), 0);
    EXPECT_FALSE(m.volume.IsValid());
    try {
        m.device.SetActive(true);
        FAIL() << "opened an invalid device";
    } catch (const EMMMixerDeviceError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Device not valid"));
    }
    EXPECT_FALSE(m.device.Active());
}

TEST_F(MixerLines, FailureTable)
{
    MainMixer m;
    TMMMixerDevice other;
    try {
        m.device.SetDevice(&other);
        FAIL();
    } catch (const EMMMixerDeviceError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Mixer can't reference mixer"));
    }
    EXPECT_EQ(m.device.Device(), nullptr);
    try {
        m.mic.SetTarget(&other);
        FAIL();
    } catch (const EMMMixerDeviceError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Can't target to mixer"));
    }
    try {
        m.mic.SetDestLine(&m.volume);
        FAIL();
    } catch (const EMMMixerDeviceError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("DestLine should be TMMAudioLine"));
    }
    try {
        ComponentTypeFromSystem(0x4242);
        FAIL();
    } catch (const EMMMixerServiceError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Undefined API component type"));
    }
    EXPECT_EQ(ComponentTypeToSystem(ctSrcMicrophone), 0x1003u);
    EXPECT_EQ(ComponentTypeToSystem(ctDstWaveIn), 7u);
    // A system error other than "no such line" raises with its text.
    sim->FailNext(QStringLiteral("line"), platform::MMSYSERR_NOMEM);
    try {
        m.mic.UpdateLine();
        FAIL();
    } catch (const EMMMCIError& e) {
        EXPECT_EQ(e.Code(), platform::MMSYSERR_NOMEM);
        EXPECT_FALSE(e.Message().isEmpty());
    }
    // "No driver" counts as not found.
    sim->FailNext(QStringLiteral("line"), platform::MMSYSERR_NODRIVER);
    m.mic.UpdateLine();
    EXPECT_EQ(m.mic.LineId(), -1);
    m.mic.UpdateLine();
    EXPECT_EQ(m.mic.LineId(), SimMixerBackend::kMicLineId);
}

TEST_F(MixerLines, FollowingAnotherDevice)
{
    MainMixer m;
    FakeWaveIn wavein;  // no wave-in query registered: it has no mixer
    int lineUpdates = 0;
    TMMObserver watch([&](TMMObserver*, TMMChange* c) {
        if (dynamic_cast<TMMLineIdChange*>(c))
            ++lineUpdates;
    });
    m.mic.AddObserver(&watch);
    m.device.SetDevice(&wavein);
    EXPECT_EQ(m.device.Device(), &wavein);
    EXPECT_EQ(m.device.DeviceId(), kInvalidDeviceId);
    EXPECT_FALSE(m.device.IsValid());
    EXPECT_GE(lineUpdates, 1);
    m.device.SetDevice(nullptr);
    m.device.SetDeviceId(0);
    EXPECT_TRUE(m.device.IsValid());
    EXPECT_EQ(m.mic.LineId(), SimMixerBackend::kMicLineId);
    m.mic.RemoveObserver(&watch);
}

TEST_F(MixerLines, NoticesTravelDeviceLineControl)
{
    MainMixer m;
    m.device.SetActive(true);
    ASSERT_TRUE(m.device.Active());
    EXPECT_EQ(sim->OpenHandles(), 1);
    int deviceNotices = 0, lineNotices = 0, controlNotices = 0;
    m.device.OnControlChange = [&](QObject*, TMMLineId line, TMMControlId ctl) {
        EXPECT_EQ(line, SimMixerBackend::kMicLineId);
        EXPECT_EQ(ctl, SimMixerBackend::kMicVolumeId);
        ++deviceNotices;
    };
    m.mic.OnControlChange = [&](QObject*, TMMLineId, TMMControlId) { ++lineNotices; };
    m.volume.OnChange = [&](QObject*) { ++controlNotices; };
    bool wavein = false;
    m.wavein.OnControlChange = [&](QObject*, TMMLineId, TMMControlId) { wavein = true; };
    sim->SetValueFromOutside(SimMixerBackend::kMicVolumeId, 0, 1000);
    EXPECT_EQ(deviceNotices, 0);  // a posted notice
    Sim().Settle();
    EXPECT_EQ(deviceNotices, 1);
    EXPECT_EQ(lineNotices, 1);
    EXPECT_EQ(controlNotices, 1);
    EXPECT_FALSE(wavein);
    // Closing withdraws pending notices.
    sim->SetValueFromOutside(SimMixerBackend::kMicVolumeId, 0, 2000);
    m.device.SetActive(false);
    Sim().Settle();
    EXPECT_EQ(deviceNotices, 1);
    EXPECT_EQ(sim->OpenHandles(), 0);
}

TEST(MixerBackendChoice, FactoryAndStepRule)
{
    auto sim = platform::CreateMixerBackend(QStringLiteral("SIM"));
    ASSERT_NE(dynamic_cast<platform::SimMixerBackend*>(sim.get()), nullptr);
    EXPECT_EQ(sim->DeviceCount(), 1);
    auto alsa = platform::CreateMixerBackend(QStringLiteral("hw:99"));
    EXPECT_EQ(dynamic_cast<platform::SimMixerBackend*>(alsa.get()), nullptr);
    EXPECT_EQ(alsa->DeviceCount(), 0);  // no such card: no device, no exception
    platform::MixerLineDesc line;
    EXPECT_EQ(alsa->LineByType(0, platform::MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, line),
              platform::MMSYSERR_BADDEVICEID);

    EXPECT_EQ(platform::MixerStepsForRange(0, 3), 3);
    EXPECT_EQ(platform::MixerStepsForRange(0, 256), 256);
    EXPECT_EQ(platform::MixerStepsForRange(-10, 10), 20);
    EXPECT_EQ(platform::MixerStepsForRange(0, 257), 64);
    EXPECT_EQ(platform::MixerStepsForRange(0, 65536), 64);
    EXPECT_EQ(platform::MixerStepsForRange(5, 5), 64);
    EXPECT_FALSE(platform::MixerErrorText(platform::MIXERR_INVALLINE).isEmpty());
}

TEST_F(MixerLines, LoadingAndDestroyingWhileOpen)
{
    {
        TMMMixerDevice device;
        TMMAudioLine line;
        device.BeginLoading();
        line.BeginLoading();
        device.SetActive(true);  // remembered until loaded
        line.SetMixer(&device);
        line.SetComponentType(ctDstWaveIn);
        EXPECT_FALSE(device.Active());
        EXPECT_EQ(line.LineId(), -1);  // nothing resolves while loading
        device.Loaded();
        line.Loaded();
        EXPECT_TRUE(device.Active());
        EXPECT_EQ(sim->OpenHandles(), 1);
        EXPECT_EQ(line.LineId(), SimMixerBackend::kWaveInLineId);
        sim->SetValueFromOutside(SimMixerBackend::kWaveInVolumeId, 0, 5);
    }
    // Destroyed while open: the handle is closed and its notice withdrawn.
    EXPECT_EQ(sim->OpenHandles(), 0);
    Sim().Settle();
}
