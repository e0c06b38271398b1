// A meter fed through a display connector, as the main window wires it.
#include "chain/connector.h"
#include "chain/wavein.h"
#include "platform/wavein_sources.h"
#include "displays/meter.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

using namespace zol;

namespace {
class Source : public TMMCustomSoundComponent {
public:
    using TMMCustomSoundComponent::TMMCustomSoundComponent;
    bool HasLinkProperty(const QString& name) const override { return name == "Output"; }
};
}  // namespace

TEST(MeterThroughConnector, LatestSliceSetsTheRawLevel)
{
    auto& sim = test::Sim();
    WAVEFORMATEX f{};
    MakePcmFormat(f, 16, 2, 11025);
    Source src;
    TMMConnector con;
    con.SetEnterIdle(false);
    src.SetBufferSize(4096);
    src.SetOutput(&con);
    src.SetWaveFormat(&f);

    QWidget window;
    auto* om = new TMMMeter(&window);
    om->setGeometry(159, 30, 149, 99);
    om->SetSamples(100);
    om->SetSensitivy(-70);
    auto* input = new TMMMeter(&window);
    con.SetMeter1(om);
    con.SetMeter2(input);
    // The connector tells the meters the chain's format.
    EXPECT_EQ(om->BitLength(), b16Bit);
    EXPECT_EQ(om->Mode(), mStereo);
    EXPECT_EQ(om->NeededBytes(), 400);
    EXPECT_EQ(input->NeededBytes(), 200);

    src.NotifyOpen();
    src.NotifyStart();
    sim.AdvanceMs(1);
    ASSERT_TRUE(con.Triggering());

    // Ten 400-byte slices per buffer; slice k has its peak k * 1000 in the
    // left channel (chBoth halves it).
    std::vector<char> block(kWaveHdrArea + 4096, 0);
    auto* hdr = reinterpret_cast<WAVEHDR*>(block.data());
    hdr->lpData = block.data() + kWaveHdrArea;
    hdr->dwBufferLength = hdr->dwBytesRecorded = 4096;
    auto* s = reinterpret_cast<std::int16_t*>(hdr->lpData);
    for (int k = 0; k < 10; ++k)
        s[k * 200 + 40] = static_cast<std::int16_t>((k + 1) * 1000);
    con.BufferReady(hdr);
    // Slice k is due k * 400 / 44100 s = k * 9.07 ms after arrival.
    sim.AdvanceMs(1);
    EXPECT_EQ(om->RawLevel(), 500);
    sim.AdvanceMs(7);
    EXPECT_EQ(om->RawLevel(), 500);
    sim.AdvanceMs(3);  // the loop runs once a millisecond
    EXPECT_EQ(om->RawLevel(), 1000);
    sim.AdvanceMs(80);
    EXPECT_EQ(om->RawLevel(), 5000);
    EXPECT_EQ(con.SliceCount(TMMConnector::gMeters), 10);
    EXPECT_GT(om->NeedleValue(), 0);

    // Disabling the connector clears both meters at once.
    con.SetEnabled(false);
    EXPECT_EQ(om->RawLevel(), 0);
    EXPECT_EQ(om->NeedleValue(), 0);
    EXPECT_EQ(input->RawLevel(), 0);

    src.NotifyStop();
    src.NotifyClose();
    // Removing a meter empties its slot.
    delete input;
    EXPECT_EQ(con.Meter2(), nullptr);
    EXPECT_EQ(con.Meter1(), om);
}

TEST(MeterThroughConnector, SimulatedReceiverMovesTheMeter)
{
    auto& sim = test::Sim();
    platform::SimReceiverOptions options;
    options.level = 0.3;
    options.fadeDepth = 0.0;
    TMMWaveIn mvi(nullptr, platform::MakeSimReceiverBackend(options));
    mvi.SetBufferSize(4096);
    mvi.SetCallBackMode(cmThread);
    mvi.SetMode(mStereo);
    mvi.SetBitLength(b16Bit);
    TMMConnector c1;
    c1.SetEnterIdle(false);
    mvi.SetOutput(&c1);
    QWidget window;
    auto* meter = new TMMMeter(&window);
    meter->SetSensitivy(-70);
    meter->SetSamples(100);
    c1.SetMeter1(meter);
    mvi.Start();
    sim.AdvanceMs(1000);
    // About ten buffers of ten 400-byte slices each.
    EXPECT_GE(c1.SliceCount(TMMConnector::gMeters), 90);
    EXPECT_LE(c1.SliceCount(TMMConnector::gMeters), 110);
    // A carrier at 0.3 of full scale: about -10 dB.
    EXPECT_NEAR(meter->RawLevel(), 0.3 * 32767, 0.05 * 32767);
    const double db = 20 * std::log10(meter->RawLevel() / 32767.0);
    EXPECT_NEAR(meter->NeedleValue(), (db + 70) * 32767 / 70, 50);
    mvi.Close();
    sim.AdvanceMs(10);
    EXPECT_FALSE(c1.Running());
    EXPECT_EQ(meter->RawLevel(), 0);  // cleared on stop
}
