#include "mixer_test_util.h"

#include "platform/errors.h"
#include "platform/mmsyserr.h"

#include <vector>

using namespace zol;
using namespace zol::test;
using platform::SimMixerBackend;

namespace {

// The simulated card plus a four-item multiplexer on the wave-in line
// (control 7), whose items name the card's lines.
class ItemsBackend final : public platform::MixerBackend {
public:
    static constexpr int kMuxId = 7;
    static constexpr int kItems = 4;
    SimMixerBackend inner;
    std::vector<std::int32_t> mux = {0, 1, 0, 0};
    std::uint32_t muxType = 0x70010001u;  // multiplexer: single select
    int DeviceCount() override { return inner.DeviceCount(); }
    int GetDevCaps(int d, platform::MixerCaps& c) override { return inner.GetDevCaps(d, c); }
    int LineByDestination(int d, int i, platform::MixerLineDesc& l) override { return inner.LineByDestination(d, i, l); }
    int LineById(int d, int id, platform::MixerLineDesc& l) override { return inner.LineById(d, id, l); }
    int LineByType(int d, std::uint32_t t, platform::MixerLineDesc& l) override { return inner.LineByType(d, t, l); }
    int LineBySource(int d, int a, int b, platform::MixerLineDesc& l) override
    {
        return inner.LineBySource(d, a, b, l);
    }
    int LineByTarget(int d, const platform::MixerTarget& t, platform::MixerLineDesc& l) override
    {
        return inner.LineByTarget(d, t, l);
    }
    void DescribeMux(platform::MixerControlDesc& c)
    {
        c = platform::MixerControlDesc();
        c.controlId = kMuxId;
        c.controlType = muxType;
        c.flags = platform::MIXERCONTROL_CONTROLF_MULTIPLE | platform::MIXERCONTROL_CONTROLF_UNIFORM;
        c.multipleItems = kItems;
        c.shortName = QStringLiteral("Source");
        c.name = QStringLiteral("Recording Source");
        c.maximum = 1;
    }
    int ControlById(int d, int id, platform::MixerControlDesc& c, int& line) override
    {
        if (id != kMuxId)
            return inner.ControlById(d, id, c, line);
        DescribeMux(c);
        line = SimMixerBackend::kWaveInLineId;
        return 0;
    }
    int ControlByType(int d, int line, std::uint32_t type, platform::MixerControlDesc& c) override
    {
        if (line == SimMixerBackend::kWaveInLineId && type == muxType) {
            DescribeMux(c);
            return 0;
        }
        return inner.ControlByType(d, line, type, c);
    }
    int GetValues(int d, int id, int ch, int items, std::int32_t* v) override
    {
        if (id != kMuxId)
            return inner.GetValues(d, id, ch, items, v);
        if (ch != 1 || (items != 0 && items != kItems))
            return platform::MMSYSERR_INVALPARAM;
        for (int i = 0; i < std::max(items, 1); ++i)
            v[i] = mux[i];
        return 0;
    }
    int SetValues(int d, int id, int ch, int items, const std::int32_t* v) override
    {
        if (id != kMuxId)
            return inner.SetValues(d, id, ch, items, v);
        if (ch != 1 || items != kItems)
            return platform::MMSYSERR_INVALPARAM;
        mux.assign(v, v + kItems);
        return 0;
    }
    int GetListTexts(int d, int id, int ch, int items, platform::MixerListText* t) override
    {
        if (id != kMuxId)
            return inner.GetListTexts(d, id, ch, items, t);
        const int lines[kItems] = {0x30000, SimMixerBackend::kMicLineId, 0x40000, 0x50000};
        const char* names[kItems] = {"Line In", "Microphone", "CD", "Stereo Mix"};
        for (int i = 0; i < kItems; ++i) {
            t[i].param1 = static_cast<std::uint32_t>(lines[i]);
            t[i].param2 = 0;
            t[i].name = QString::fromLatin1(names[i]);
        }
        return 0;
    }
    int Open(int d, platform::MixerNotify n, int& h) override { return inner.Open(d, std::move(n), h); }
    int Close(int h) override { return inner.Close(h); }
    int DeviceOfHandle(int h, int& d) override { return inner.DeviceOfHandle(h, d); }
    QString ErrorText(int code) override { return inner.ErrorText(code); }
};

template <typename E>
QString Raised(const std::function<void()>& f)
{
    try {
        f();
    } catch (const E& e) {
        return e.Message();
    }
    return QStringLiteral("<none>");
}

}  // namespace

using MixerControls = SimMixerTest;

TEST_F(MixerControls, VolumeResolvesFromTheDriver)
{
    MainMixer m;
    EXPECT_EQ(m.volume.ControlType(), ctVolume);
    EXPECT_EQ(m.volume.Selector(), 1);
    EXPECT_EQ(m.volume.ControlId(), SimMixerBackend::kMicVolumeId);
    EXPECT_EQ(m.volume.ControlClass(), ccFader);
    EXPECT_EQ(m.volume.ControlInfo().Steps(), 64);
    EXPECT_EQ(m.volume.ControlInfo().MinValue(), 0);
    EXPECT_EQ(m.volume.ControlInfo().MaxValue(), 65535);
    EXPECT_EQ(m.volume.ControlInfo().Name(), QStringLiteral("Microphone Volume"));
    EXPECT_EQ(m.volume.GetChannels(), 2);
    EXPECT_EQ(m.volume.GetItems(), 0);
    EXPECT_TRUE(m.volume.IsValid());

    // A line without a volume control: not found, nothing raised.
    sim->ConfigureVolume(SimMixerBackend::kMicLineId, 0, 65535, 64, false);
    m.volume.UpdateControl();
    EXPECT_EQ(m.volume.ControlId(), -1);
    EXPECT_EQ(m.volume.ControlInfo().Steps(), 0);
    EXPECT_EQ(m.volume.ControlInfo().Name(), QString());
    EXPECT_EQ(Raised<EMMDeviceError>([&] { m.volume.GetSignedValue(); }), QStringLiteral("Control not valid"));

    TMMVolumeControl loose;  // no line
    EXPECT_EQ(Raised<EMMDeviceError>([&] { loose.GetSignedItem(chLeft, NoItem); }),
              QStringLiteral("Mixer required for this operation"));
    EXPECT_EQ(loose.GetChannels(), 0);

    EXPECT_EQ(Raised<EMMMixerServiceError>([] { ControlClassOfSystem(0x80000000u); }),
              QStringLiteral("Undefined API control class"));
    EXPECT_EQ(ControlTypeFromSystem(0x12345678u), ctCustom);
    EXPECT_EQ(ControlTypeToSystem(ctPan), 0x40020001u);
    EXPECT_EQ(ControlTypeToSystem(ctVolume), 0x50030001u);
}

TEST_F(MixerControls, ChannelAddressing)
{
    MainMixer m;
    sim->SetValueFromOutside(SimMixerBackend::kMicVolumeId, 0, 100);
    sim->SetValueFromOutside(SimMixerBackend::kMicVolumeId, 1, 200);
    EXPECT_EQ(m.volume.GetSignedItem(chLeft, NoItem), 100);
    EXPECT_EQ(m.volume.GetSignedItem(chRight, NoItem), 200);
    EXPECT_EQ(m.volume.GetSignedItem(chBoth, NoItem), 100);
    EXPECT_EQ(m.volume.GetSignedItem(chLeft, 0), 100);  // item 0 without items: the single value
    EXPECT_EQ(Raised<EMMMixerControlError>([&] { m.volume.GetSignedItem(chLeft, 1); }),
              QStringLiteral("Item index out of range"));
    EXPECT_EQ(m.volume.DetailIndex(chRight, NoItem), 1);

    // Writing one channel leaves the other as it was.
    m.volume.SetSignedItem(chLeft, NoItem, 300);
    EXPECT_EQ(sim->Value(SimMixerBackend::kMicVolumeId, 0), 300);
    EXPECT_EQ(sim->Value(SimMixerBackend::kMicVolumeId, 1), 200);
    ASSERT_FALSE(sim->Writes().empty());
    EXPECT_EQ(sim->Writes().back().values, (std::vector<std::int32_t>{300, 200}));

    // On a mono line both channels address the first value.
    sim->SetMicChannels(1);
    m.mic.UpdateLine();
    EXPECT_EQ(m.volume.GetChannels(), 1);
    EXPECT_EQ(m.volume.GetSignedItem(chLeft, NoItem), 300);
    EXPECT_EQ(m.volume.GetSignedItem(chRight, NoItem), 300);

    // A system error raises with the system's number.
    sim->FailNext(QStringLiteral("get"), platform::MMSYSERR_ERROR);
    try {
        m.volume.GetSignedValue();
        FAIL();
    } catch (const EMMMCIError& e) {
        EXPECT_EQ(e.Code(), platform::MMSYSERR_ERROR);
    }
}

TEST_F(MixerControls, PanFactorScalesWrites)
{
    MainMixer m;
    EXPECT_DOUBLE_EQ(m.volume.PanFactor(chLeft), 1.0);
    EXPECT_DOUBLE_EQ(m.volume.PanFactor(chRight), 1.0);
    m.volume.SetPanValue(16384);
    EXPECT_DOUBLE_EQ(m.volume.PanFactor(chLeft), 16383.0 / 32767.0);
    EXPECT_DOUBLE_EQ(m.volume.PanFactor(chRight), 1.0);
    sim->ClearWrites();
    m.volume.SetSignedItem(chBoth, NoItem, 60000);
    EXPECT_EQ(sim->Value(SimMixerBackend::kMicVolumeId, 0), static_cast<int>(60000.0 * 16383 / 32767));
    EXPECT_EQ(sim->Value(SimMixerBackend::kMicVolumeId, 1), 60000);
    // chLeft and chRight write unscaled.
    m.volume.SetSignedItem(chLeft, NoItem, 60000);
    EXPECT_EQ(sim->Value(SimMixerBackend::kMicVolumeId, 0), 60000);

    m.volume.SetPanValue(-16384);
    EXPECT_DOUBLE_EQ(m.volume.PanFactor(chLeft), 1.0);
    EXPECT_DOUBLE_EQ(m.volume.PanFactor(chRight), 0.5);
    // The new balance was applied to the volume at once.
    EXPECT_EQ(sim->Value(SimMixerBackend::kMicVolumeId, 0), 60000);
    EXPECT_EQ(sim->Value(SimMixerBackend::kMicVolumeId, 1), 30000);
    m.volume.SetUnsignedValue(40000);
    EXPECT_EQ(sim->Value(SimMixerBackend::kMicVolumeId, 0), 40000);
    EXPECT_EQ(sim->Value(SimMixerBackend::kMicVolumeId, 1), 20000);
    m.volume.SetPanValue(32767);
    EXPECT_DOUBLE_EQ(m.volume.PanFactor(chLeft), 0.0);
    m.volume.SetPanValue(99999);
    EXPECT_EQ(m.volume.PanValue(), 32767);
}

TEST_F(MixerControls, SimulatedPan)
{
    MainMixer m;
    TMMPanControl pan;
    pan.SetAudioLine(&m.mic);
    EXPECT_FALSE(pan.Simulated());  // no volume control yet
    EXPECT_FALSE(pan.IsValid());
    sim->SetValueFromOutside(SimMixerBackend::kMicVolumeId, 0, 100);
    sim->SetValueFromOutside(SimMixerBackend::kMicVolumeId, 1, 50);
    int changes = 0;
    pan.OnChange = [&](QObject*) { ++changes; };
    pan.SetVolumeControl(&m.volume);
    EXPECT_TRUE(pan.Simulated());
    EXPECT_TRUE(pan.IsValid());
    EXPECT_EQ(pan.ControlInfo().Name(), QStringLiteral("Simulated pan"));
    EXPECT_EQ(pan.ControlInfo().ShortName(), QStringLiteral("Pan"));
    EXPECT_EQ(pan.ControlInfo().MinValue(), -32768);
    EXPECT_EQ(pan.ControlInfo().MaxValue(), 32767);
    EXPECT_TRUE(HasControlFlag(pan.ControlInfo().Flags(), cfUniform));
    EXPECT_EQ(pan.GetSignedValue(), static_cast<int>(-50.0 * 32767 / 100));
    EXPECT_EQ(m.volume.PanValue(), pan.GetSignedValue());
    EXPECT_GE(changes, 1);
    // The volume was not rewritten by the derivation.
    EXPECT_EQ(sim->Value(SimMixerBackend::kMicVolumeId, 0), 100);
    EXPECT_EQ(pan.GetChannels(), 1);
    EXPECT_EQ(pan.GetItems(), 0);

    // Writing the pan sets the balance of the volume.
    pan.SetSignedValue(0);
    EXPECT_EQ(m.volume.PanValue(), 0);

    // Only left: full left; only right: full right.
    pan.SetSimulate(false);
    EXPECT_FALSE(pan.Simulated());
    EXPECT_EQ(m.volume.PanValue(), 0);
    sim->SetValueFromOutside(SimMixerBackend::kMicVolumeId, 0, 100);
    sim->SetValueFromOutside(SimMixerBackend::kMicVolumeId, 1, 0);
    pan.SetSimulate(true);
    EXPECT_EQ(pan.GetSignedValue(), -32768);
    // Leaving the simulation resets the balance without losing the volume.
    pan.SetSimulate(false);
    EXPECT_EQ(sim->Value(SimMixerBackend::kMicVolumeId, 0), 100);
    EXPECT_EQ(sim->Value(SimMixerBackend::kMicVolumeId, 1), 100);
    sim->SetValueFromOutside(SimMixerBackend::kMicVolumeId, 0, 0);
    sim->SetValueFromOutside(SimMixerBackend::kMicVolumeId, 1, 10);
    pan.SetSimulate(true);
    EXPECT_EQ(pan.GetSignedValue(), 32767);
    // Back to centre from full right keeps the right channel's volume.
    pan.SetSignedValue(0);
    EXPECT_EQ(sim->Value(SimMixerBackend::kMicVolumeId, 0), 10);
    EXPECT_EQ(sim->Value(SimMixerBackend::kMicVolumeId, 1), 10);

    // A mono volume control cannot carry a simulated pan.
    sim->SetMicChannels(1);
    m.mic.UpdateLine();
    EXPECT_FALSE(pan.Simulated());
    EXPECT_FALSE(pan.IsValid());
}

TEST(MixerControlItems, ItemsInfoAndSingleSelect)
{
    auto backend = std::make_unique<ItemsBackend>();
    ItemsBackend* items = backend.get();
    platform::InstallMixer(std::move(backend));
    {
        MainMixer m;
        TMMMixerControl mux;
        mux.SetAudioLine(&m.wavein);
        mux.SetControlType(ctMux);
        ASSERT_TRUE(mux.IsValid());
        EXPECT_EQ(mux.ControlClass(), ccList);
        EXPECT_EQ(mux.GetItems(), 4);
        EXPECT_TRUE(mux.GetBoolItem(chBoth, 1));
        EXPECT_FALSE(mux.GetBoolItem(chBoth, 0));
        EXPECT_EQ(Raised<EMMMixerControlError>([&] { mux.GetBoolItem(chBoth, 4); }),
                  QStringLiteral("Item index out of range"));
        EXPECT_EQ(Raised<EMMMixerControlError>([&] { mux.GetBoolItem(chBoth, -2); }),
                  QStringLiteral("Item index out of range"));
        // Item -1 addresses no item: the uniform value.
        EXPECT_EQ(mux.GetSignedItem(chBoth, NoItem), 0);

        TMMItemInfo info;
        mux.GetItemInfo(1, info);
        EXPECT_EQ(info.Name, QStringLiteral("Microphone"));
        EXPECT_EQ(info.Param1, static_cast<std::uint32_t>(SimMixerBackend::kMicLineId));
        EXPECT_EQ(Raised<EMMMixerControlError>([&] { mux.GetItemInfo(4, info); }),
                  QStringLiteral("Item index out of range"));
        EXPECT_EQ(mux.ItemOfLine(&m.mic), 1);
        EXPECT_EQ(mux.ItemOfLine(&m.wavein), -1);
        EXPECT_EQ(Raised<EMMMixerControlError>([&] { m.volume.GetItemInfo(0, info); }),
                  QStringLiteral("Item info requested from non-multiple control"));

        // Selecting item 2 of the single-select list clears the others.
        items->mux = {1, 1, 0, 1};
        mux.SetBoolItem(chBoth, 2, true);
        EXPECT_EQ(items->mux, (std::vector<std::int32_t>{0, 0, 1, 0}));
    }
    platform::InstallMixer(nullptr);
}
