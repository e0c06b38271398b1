// The audio-device base: device numbers, capabilities, Active, observers.
#include "mixer/audiodevice.h"
#include "platform/errors.h"
#include "platform/mmsyserr.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

using namespace zol;
namespace pf = zol::platform;

namespace {

class FakeQuery : public pf::DeviceQuery {
public:
    int count = 2;
    int capsError = 0;
    int mapperError = 0;
    int mixerError = 0;
    int mixerId = 3;
    int DeviceCount() override { return count; }
    int GetCaps(int id, pf::DeviceCapsRecord& caps) override
    {
        if (id == -1 && mapperError)
            return mapperError;
        if (capsError)
            return capsError;
        caps.manufacturerId = 7;
        caps.productId = static_cast<std::uint16_t>(100 + id);
        caps.driverVersion = 0x0305;
        caps.productName = QStringLiteral("Card %1").arg(id);
        return 0;
    }
    int GetMixerId(int, int& out) override
    {
        out = mixerId;
        return mixerError;
    }
};

// A device of the wave-in kind that counts opens and closes.
class TestDevice : public TMMCustomAudioDevice {
public:
    TestDevice() { SetDeviceKind(pf::dkWaveIn); }
    int opens = 0, closes = 0;
    void OpenDevice() override { ++opens; TMMCustomAudioDevice::OpenDevice(); }
    void CloseDevice() override { ++closes; TMMCustomAudioDevice::CloseDevice(); }
};

struct QueryGuard {
    std::shared_ptr<FakeQuery> query = std::make_shared<FakeQuery>();
    std::shared_ptr<pf::DeviceQuery> old;
    QueryGuard() { old = pf::SetDeviceQuery(pf::dkWaveIn, query); }
    ~QueryGuard() { pf::SetDeviceQuery(pf::dkWaveIn, old); }
};

}  // namespace

TEST(AudioDevice, DeviceIdRangeCapsAndNotifications)
{
    QueryGuard guard;
    TestDevice dev;
    EXPECT_EQ(dev.DeviceKind(), pf::dkWaveIn);
    EXPECT_EQ(dev.DeviceCount(), 2);
    EXPECT_TRUE(dev.IsValid());
    EXPECT_EQ(dev.DeviceCaps().ProductName(), "Card 0");
    EXPECT_EQ(dev.DeviceCaps().VerMajor(), 3);
    EXPECT_EQ(dev.DeviceCaps().VerMinor(), 5);

    int changes = 0, observed = 0;
    dev.OnChange = [&](QObject* sender) {
        EXPECT_EQ(sender, &dev);
        ++changes;
    };
    TMMObserver observer([&](TMMObserver*, TMMChange* change) {
        EXPECT_NE(dynamic_cast<TMMDeviceChange*>(change), nullptr);
        // Observers are told before OnChange fires.
        EXPECT_EQ(changes, observed);
        ++observed;
    });
    dev.AddObserver(&observer);

    dev.SetDeviceId(1);
    EXPECT_EQ(dev.DeviceId(), 1);
    EXPECT_EQ(dev.DeviceCaps().ProductId(), 101);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(observed, 1);
    dev.SetDeviceId(1);  // unchanged: nothing
    EXPECT_EQ(changes, 1);

    try {
        dev.SetDeviceId(2);
        FAIL() << "out of range accepted";
    } catch (const EMMDeviceError& e) {
        EXPECT_EQ(e.Message(), "Device id is out of range");
    }
    EXPECT_THROW(dev.SetDeviceId(-3), EMMDeviceError);
    EXPECT_EQ(dev.DeviceId(), 1);

    // -2 is always accepted and clears the capabilities.
    dev.SetDeviceId(kInvalidDeviceId);
    EXPECT_FALSE(dev.IsValid());
    EXPECT_EQ(dev.DeviceCaps().ProductName(), "");
    EXPECT_EQ(dev.DeviceCaps().ProductId(), 0);
    dev.SetDeviceId(kMapperDeviceId);
    EXPECT_EQ(dev.DeviceCaps().ProductName(), "Card -1");
    dev.RemoveObserver(&observer);
    dev.SetDeviceId(0);
    EXPECT_EQ(observed, 3);
    EXPECT_EQ(changes, 4);

    // 0 is accepted even without devices.
    guard.query->count = 0;
    dev.SetDeviceId(kMapperDeviceId);
    dev.SetDeviceId(0);
    EXPECT_FALSE(dev.IsValid());
    EXPECT_EQ(dev.DeviceCaps().ProductName(), "");
}

TEST(AudioDevice, ActiveReopensOnDeviceChangeAndWaitsForLoading)
{
    QueryGuard guard;
    TestDevice dev;
    dev.closes = 0;
    dev.SetActive(true);
    EXPECT_TRUE(dev.Active());
    EXPECT_EQ(dev.opens, 1);
    dev.SetActive(true);
    EXPECT_EQ(dev.opens, 1);
    dev.SetDeviceId(1);  // active: closed, changed, opened again
    EXPECT_EQ(dev.closes, 2);  // one before the first open, one for the change
    EXPECT_EQ(dev.opens, 2);
    EXPECT_TRUE(dev.Active());
    dev.SetActive(false);
    EXPECT_FALSE(dev.Active());
    dev.SetDeviceId(0);
    EXPECT_EQ(dev.opens, 2);

    TestDevice loading;
    loading.BeginLoading();
    loading.SetActive(true);
    EXPECT_FALSE(loading.Active());
    EXPECT_EQ(loading.opens, 0);
    loading.Loaded();
    EXPECT_TRUE(loading.Active());
    EXPECT_EQ(loading.opens, 1);
}

TEST(AudioDevice, CapabilityFailuresMapperAndMixerId)
{
    QueryGuard guard;
    TestDevice dev;
    EXPECT_TRUE(dev.Mapper());
    guard.query->mapperError = pf::MMSYSERR_BADDEVICEID;
    EXPECT_FALSE(dev.Mapper());
    guard.query->mapperError = pf::MMSYSERR_INVALHANDLE;
    EXPECT_FALSE(dev.Mapper());
    guard.query->mapperError = pf::MMSYSERR_NOMEM;
    try {
        dev.Mapper();
        FAIL();
    } catch (const EMMMCIError& e) {
        EXPECT_EQ(e.Code(), pf::MMSYSERR_NOMEM);
        EXPECT_EQ(e.Message(), pf::MMSystemErrorText(pf::MMSYSERR_NOMEM));
    }
    // A number without a text.
    guard.query->mapperError = 4711;
    try {
        dev.Mapper();
        FAIL();
    } catch (const EMMMCIError& e) {
        EXPECT_EQ(e.Message(), "MMSystem error: 4711");
    }

    EXPECT_EQ(dev.MixerId(), 3);
    guard.query->mixerId = -1;
    EXPECT_EQ(dev.MixerId(), kInvalidDeviceId);
    guard.query->mixerError = pf::MMSYSERR_NODRIVER;
    EXPECT_EQ(dev.MixerId(), kInvalidDeviceId);
    guard.query->mixerError = pf::MMSYSERR_ERROR;
    EXPECT_THROW(dev.MixerId(), EMMMCIError);

    guard.query->capsError = pf::MMSYSERR_NODRIVER;
    EXPECT_THROW(dev.SetDeviceId(1), EMMMCIError);
}
