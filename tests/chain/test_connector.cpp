#include "chain/connector.h"
#include "platform/errors.h"
#include "platform/window_thread.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>
#include <chrono>

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <cstring>
#include <thread>
#include <vector>

using namespace zol;

namespace {

WAVEFORMATEX Pcm(int bits, int channels, int rate)
{
    WAVEFORMATEX f{};
    MakePcmFormat(f, bits, channels, rate);
    return f;
}

// A display that records what it is given.
class FakeDisplay : public QObject, public IMMDisplay {
public:
    explicit FakeDisplay(int needed = 1024) : needed_(needed) {}
    void SetWaveFormat(const WAVEFORMATEX* format) override
    {
        ++formats;
        lastFormat = format != nullptr ? *format : WAVEFORMATEX{};
    }
    int NeededBytes() const override { return needed_; }
    void ShowPCMData(const char* data) override
    {
        onWindowThread = onWindowThread && platform::IsWindowThread();
        std::int16_t first;
        std::memcpy(&first, data, 2);
        firstSamples.push_back(first);
        timesUs.push_back(platform::TheClock().NowUs());
        passes.push_back(TMMConnector::MessagePasses());
    }
    void ResetDisplay() override { ++resets; }
    QObject* DisplayObject() override { return this; }
    bool Scroll() const override { return scroll; }
    bool Accelerate() const override { return accelerate; }
    int FFTLength() const override { return fftLength; }

    int needed_;
    int formats = 0;
    int resets = 0;
    WAVEFORMATEX lastFormat{};
    std::vector<int> firstSamples;
    std::vector<std::int64_t> timesUs;
    std::vector<std::uint64_t> passes;  // the loop's pass count at each slice
    bool onWindowThread = true;
    bool scroll = false;
    bool accelerate = false;
    int fftLength = 512;
};

class Source : public TMMCustomSoundComponent {
public:
    using TMMCustomSoundComponent::TMMCustomSoundComponent;
    bool HasLinkProperty(const QString& name) const override { return name == "Output"; }
};

struct Buffer {
    explicit Buffer(std::size_t bytes) : block(kWaveHdrArea + bytes, 0)
    {
        hdr = reinterpret_cast<WAVEHDR*>(block.data());
        hdr->lpData = block.data() + kWaveHdrArea;
        hdr->dwBufferLength = static_cast<std::uint32_t>(bytes);
        hdr->dwBytesRecorded = static_cast<std::uint32_t>(bytes);
    }
    // 16-bit stereo frames numbered from `base`: frame i holds (base + i, -(base + i)).
    void Number(int base)
    {
        auto* s = reinterpret_cast<std::int16_t*>(hdr->lpData);
        const int frames = static_cast<int>(hdr->dwBufferLength / 4);
        for (int i = 0; i < frames; ++i) {
            s[2 * i] = static_cast<std::int16_t>(base + i);
            s[2 * i + 1] = static_cast<std::int16_t>(-(base + i));
        }
    }
    std::vector<char> block;
    WAVEHDR* hdr;
};

// Source -> connector, 16-bit stereo 11025 Hz (44100 bytes per second),
// 4096-byte buffers.
struct Chain {
    Chain()
    {
        test::ResetSim();
        format = Pcm(16, 2, 11025);
        src.SetBufferSize(4096);
        src.SetOutput(&con);
        src.SetWaveFormat(&format);
    }
    ~Chain()
    {
        src.NotifyStop();
        src.NotifyClose();
        test::Sim().AdvanceMs(2);
    }
    void Start()
    {
        src.NotifyOpen();
        src.NotifyStart();
        test::Sim().AdvanceMs(1);  // the start message
    }
    WAVEFORMATEX format;
    Source src;
    TMMConnector con;
};

// Real clock: handles the window thread's messages until `done` holds (the
// bound only keeps a hang from blocking the run).
bool PumpRealClock(const std::function<bool()>& done)
{
    const std::int64_t end = platform::TheClock().NowMs() + 30000;
    while (!done() && platform::TheClock().NowMs() < end) {
        platform::TheClock().ProcessMessages();
        platform::WaitUntil(done, 1);
    }
    return done();
}

}  // namespace

TEST(Connector, SlotRules)
{
    Chain c;
    FakeDisplay m, n, s;
    c.con.SetMeter2(&m);
    EXPECT_EQ(c.con.Meter2(), &m);
    // The display already in the other slot of the pair is refused.
    c.con.SetMeter1(&m);
    EXPECT_EQ(c.con.Meter1(), nullptr);
    c.con.SetMeter1(&n);
    EXPECT_EQ(c.con.Meter1(), &n);
    // The format reaches every display when one is assigned.
    EXPECT_GE(n.formats, 1);
    EXPECT_EQ(n.lastFormat.nAvgBytesPerSec, 44100u);
    // Spectrum slots only refuse the display already in the same slot.
    c.con.SetSpectrum1(&s);
    c.con.SetSpectrum3(&s);
    EXPECT_EQ(c.con.Spectrum1(), &s);
    EXPECT_EQ(c.con.Spectrum3(), &s);
    c.con.SetOscope1(&s);
    EXPECT_EQ(c.con.Oscope1(), &s);

    // A removed display leaves every slot it was in.
    {
        FakeDisplay gone;
        c.con.SetLevel1(&gone);
        c.con.SetSpectrogram2(&gone);
        EXPECT_EQ(c.con.Level1(), &gone);
    }
    EXPECT_EQ(c.con.Level1(), nullptr);
    EXPECT_EQ(c.con.Spectrogram2(), nullptr);

    // Clearing one of two slots keeps the removal notice for the other.
    c.con.SetSpectrum1(nullptr);
    EXPECT_EQ(c.con.Spectrum3(), &s);
    {
        auto* temp = new FakeDisplay;
        c.con.SetSpectrum2(temp);
        c.con.SetSpectrum4(temp);
        c.con.SetSpectrum2(nullptr);
        delete temp;
    }
    EXPECT_EQ(c.con.Spectrum4(), nullptr);
}

TEST(Connector, SlicesPacedToRealTime)
{
    Chain c;
    FakeDisplay d(1024);
    c.con.SetMeter1(&d);
    c.Start();
    ASSERT_TRUE(c.con.Running());
    ASSERT_TRUE(c.con.Triggering());
    EXPECT_EQ(TMMConnector::LoopCount(), 1);

    Buffer b(4096);
    b.Number(100);
    const std::int64_t arrival = platform::TheClock().NowUs();
    c.con.BufferReady(b.hdr);
    test::Sim().AdvanceMs(120);
    ASSERT_EQ(d.timesUs.size(), 4u);
    // The n-th slice is due n * 1024 / 44100 s after arrival: 0, 23.2, 46.4,
    // 69.7 ms; the loop runs every millisecond.
    const std::int64_t due[4] = {0, 23219, 46439, 69659};
    for (int n = 0; n < 4; ++n) {
        const std::int64_t at = d.timesUs[n] - arrival;
        EXPECT_GE(at, due[n]) << n;
        EXPECT_LE(at, due[n] + 2000) << n;
        EXPECT_EQ(d.firstSamples[n], 100 + n * 256) << n;
    }
    EXPECT_TRUE(d.onWindowThread);
    EXPECT_EQ(c.con.SliceCount(TMMConnector::gMeters), 4);

    // A recorded count beyond the buffer size is cut to the buffer size.
    Buffer big(8192);
    big.Number(0);
    c.con.BufferReady(big.hdr);
    test::Sim().AdvanceMs(200);
    EXPECT_EQ(d.timesUs.size(), 8u);
}

TEST(Connector, DisplayNeedingMoreThanTheBufferGetsNothing)
{
    Chain c;
    FakeDisplay small(1024), huge(5000);
    c.con.SetMeter1(&small);
    c.con.SetSpectrum1(&huge);
    c.Start();
    Buffer b(4096);
    c.con.BufferReady(b.hdr);
    test::Sim().AdvanceMs(150);
    EXPECT_EQ(small.timesUs.size(), 4u);
    EXPECT_TRUE(huge.timesUs.empty());

    // A short buffer: 3000 valid bytes give two slices of 1024.
    b.hdr->dwBytesRecorded = 3000;
    c.con.BufferReady(b.hdr);
    test::Sim().AdvanceMs(150);
    EXPECT_EQ(small.timesUs.size(), 6u);
}

TEST(Connector, DisableClearsDisplaysAndEnableResumes)
{
    Chain c;
    FakeDisplay a(1024), b2(1024);
    c.con.SetMeter1(&a);
    c.con.SetOscope2(&b2);
    c.Start();
    Buffer b(4096);
    c.con.BufferReady(b.hdr);
    test::Sim().AdvanceMs(30);
    ASSERT_EQ(a.timesUs.size(), 2u);

    c.con.SetEnabled(false);
    EXPECT_EQ(a.resets, 1);
    EXPECT_EQ(b2.resets, 1);
    EXPECT_FALSE(c.con.Triggering());
    EXPECT_EQ(TMMConnector::LoopCount(), 0);
    // Buffers arriving while disabled are not copied; the rest of the old
    // buffer is not shown either.
    c.con.BufferReady(b.hdr);
    test::Sim().AdvanceMs(120);
    EXPECT_EQ(a.timesUs.size(), 2u);

    c.con.SetEnabled(true);
    test::Sim().AdvanceMs(1);
    EXPECT_TRUE(c.con.Triggering());
    EXPECT_EQ(TMMConnector::LoopCount(), 1);
    EXPECT_EQ(a.timesUs.size(), 2u);
    c.con.BufferReady(b.hdr);
    test::Sim().AdvanceMs(120);
    EXPECT_EQ(a.timesUs.size(), 6u);
}

TEST(Connector, StopResetsDisplaysAndLeavesTheLoop)
{
    Chain c;
    FakeDisplay a(1024);
    c.con.SetMeter1(&a);
    c.Start();
    EXPECT_EQ(TMMConnector::LoopCount(), 1);
    EXPECT_THROW(c.con.SetRealTime(false), EMMConnectorError);
    c.src.NotifyStop();
    EXPECT_FALSE(c.con.Running());
    EXPECT_EQ(TMMConnector::LoopCount(), 0);
    EXPECT_EQ(a.resets, 1);
    c.con.SetRefreshOnStop(false);
    c.src.NotifyStart();
    test::Sim().AdvanceMs(1);
    c.src.NotifyStop();
    EXPECT_EQ(a.resets, 1);
    c.src.NotifyClose();
    EXPECT_NO_THROW(c.con.SetRealTime(false));
    EXPECT_FALSE(c.con.RealTime());
}

TEST(Connector, SpeedSetsMessagePassesPerCycle)
{
    Chain c;
    FakeDisplay a(1024);
    c.con.SetMeter1(&a);
    c.con.SetSpeed(0);
    EXPECT_EQ(c.con.Speed(), 1);
    EXPECT_EQ(TMMConnector::LargestSpeed(), 1);
    c.Start();
    std::uint64_t before = TMMConnector::MessagePasses();
    test::Sim().AdvanceMs(3);
    std::uint64_t made = TMMConnector::MessagePasses() - before;
    EXPECT_GT(made, 0u);
    EXPECT_EQ(made % 5000, 0u);

    c.con.SetSpeed(9000);
    EXPECT_EQ(c.con.Speed(), 5000);
    before = TMMConnector::MessagePasses();
    test::Sim().AdvanceMs(10);
    made = TMMConnector::MessagePasses() - before;
    EXPECT_GE(made, 9u);
    EXPECT_LE(made, 11u);
}

TEST(Connector, PauseFeedsSilenceEveryBufferTime)
{
    Chain c;
    FakeDisplay a(4096);
    c.con.SetMeter1(&a);
    c.Start();
    Buffer b(4096);
    b.Number(1000);
    c.con.BufferReady(b.hdr);
    test::Sim().AdvanceMs(5);
    ASSERT_EQ(a.firstSamples.size(), 1u);
    EXPECT_EQ(a.firstSamples[0], 1000);

    const int timers = test::Sim().ActiveTimers();
    c.src.NotifyPause();
    EXPECT_TRUE(c.con.Paused());
    EXPECT_EQ(test::Sim().ActiveTimers(), timers + 1);
    // Buffers are not copied while paused.
    c.con.BufferReady(b.hdr);
    // 4096 * 1000 / 44100 = 92.9 -> a silent slice every 93 ms.
    test::Sim().AdvanceMs(92);
    EXPECT_EQ(a.firstSamples.size(), 1u);
    test::Sim().AdvanceMs(2);
    ASSERT_EQ(a.firstSamples.size(), 2u);
    EXPECT_EQ(a.firstSamples[1], 0);
    test::Sim().AdvanceMs(93);
    EXPECT_EQ(a.firstSamples.size(), 3u);

    c.src.NotifyRestart();
    EXPECT_FALSE(c.con.Paused());
    EXPECT_EQ(test::Sim().ActiveTimers(), timers);
    test::Sim().AdvanceMs(200);
    EXPECT_EQ(a.firstSamples.size(), 3u);
    c.con.BufferReady(b.hdr);
    test::Sim().AdvanceMs(2);
    EXPECT_EQ(a.firstSamples.size(), 4u);
}

TEST(Connector, ManualTriggerAndDirectFeeding)
{
    Chain c;
    FakeDisplay a(1024);
    c.con.SetMeter1(&a);
    c.con.SetAutoTrigger(false);
    c.con.SetSynchronize(false);
    int triggers = 0;
    c.con.OnTrigger = [&](QObject* sender) {
        EXPECT_EQ(sender, &c.con);
        ++triggers;
    };
    c.Start();
    EXPECT_TRUE(c.con.Triggering());
    EXPECT_EQ(TMMConnector::LoopCount(), 0);
    Buffer b(4096);
    c.con.BufferReady(b.hdr);
    test::Sim().AdvanceMs(50);
    EXPECT_TRUE(a.timesUs.empty());
    // Without Synchronize each trigger shows the next slice at once.
    c.con.Trigger();
    c.con.Trigger();
    EXPECT_EQ(a.timesUs.size(), 2u);
    EXPECT_EQ(triggers, 2);

    // From another thread a trigger is posted; at most one at a time.
    std::thread t([&] {
        c.con.Trigger();
        c.con.Trigger();
    });
    t.join();
    EXPECT_EQ(a.timesUs.size(), 2u);
    test::Sim().AdvanceMs(1);
    EXPECT_EQ(a.timesUs.size(), 3u);

    // Back to the loop.
    c.con.SetAutoTrigger(true);
    test::Sim().AdvanceMs(5);
    EXPECT_EQ(TMMConnector::LoopCount(), 1);
    EXPECT_EQ(a.timesUs.size(), 4u);
}

TEST(Connector, WithoutRealTimeBuffersAreShownOnArrival)
{
    test::ResetSim();
    WAVEFORMATEX f = Pcm(16, 2, 11025);
    Source src;
    TMMConnector con;
    con.SetRealTime(false);
    con.SetSynchronize(false);
    src.SetBufferSize(4096);
    src.SetOutput(&con);
    src.SetWaveFormat(&f);
    FakeDisplay a(4096);
    con.SetMeter1(&a);
    src.NotifyOpen();
    src.NotifyStart();
    EXPECT_FALSE(con.Triggering());
    Buffer b(4096);
    b.Number(7);
    con.BufferReady(b.hdr);
    ASSERT_EQ(a.firstSamples.size(), 1u);
    EXPECT_EQ(a.firstSamples[0], 7);
    // From a capture thread the feeding still happens on the window thread.
    std::atomic<bool> done{false};
    std::thread t([&] {
        con.BufferReady(b.hdr);
        done = true;
    });
    platform::WaitUntil([&] { return done.load(); }, 5000);
    t.join();
    EXPECT_EQ(a.firstSamples.size(), 2u);
    EXPECT_TRUE(a.onWindowThread);
    src.NotifyStop();
    src.NotifyClose();
}

TEST(Connector, OscilloscopeTriggerAndAcceleratedStep)
{
    Chain c;
    FakeDisplay o(256);
    c.con.SetOscope1(&o);
    c.con.SetTriggerMode(tmUpFlank);
    c.con.SetTriggerLevel(10);  // 3270
    c.con.SetSynchronize(false);
    c.Start();
    Buffer b(4096);
    auto* s = reinterpret_cast<std::int16_t*>(b.hdr->lpData);
    // Left channel crosses 3270 at frame 10 and again at frame 600.
    for (int i = 0; i < 1024; ++i) {
        s[2 * i] = static_cast<std::int16_t>((i >= 10 && i < 500) || i >= 600 ? 5000 : 0);
        s[2 * i + 1] = static_cast<std::int16_t>(i);
    }
    c.con.BufferReady(b.hdr);
    test::Sim().AdvanceMs(1);
    ASSERT_GE(o.firstSamples.size(), 1u);
    EXPECT_EQ(o.firstSamples[0], 5000);
    test::Sim().AdvanceMs(20);
    // Slices start at frame 10, then at 600 (the next crossing after 10 + 64).
    ASSERT_GE(o.firstSamples.size(), 2u);
    EXPECT_EQ(o.timesUs.size(), o.firstSamples.size());

    // Scroll and Accelerate: a step of FFTLength / 4 frames, the fit test by
    // NeededBytes.
    c.con.SetTriggerMode(tmNone);
    o.scroll = o.accelerate = true;
    o.fftLength = 256;  // 64 frames = 256 bytes per step
    o.needed_ = 1024;
    o.firstSamples.clear();
    for (int i = 0; i < 1024; ++i)
        s[2 * i] = static_cast<std::int16_t>(i);
    c.con.BufferReady(b.hdr);
    test::Sim().AdvanceMs(30);
    // Starts at 0, 256, ..., 3072 bytes: 13 slices fit (3072 + 1024 = 4096).
    ASSERT_EQ(o.firstSamples.size(), 13u);
    EXPECT_EQ(o.firstSamples[1], 64);
    EXPECT_EQ(o.firstSamples[12], 768);
}

TEST(Connector, CaptureThreadCopiesWhileWindowFeeds)
{
    Chain c;
    FakeDisplay a(1024);
    c.con.SetMeter1(&a);
    c.con.SetSynchronize(false);
    c.Start();
    std::atomic<bool> stop{false};
    std::atomic<int> copies{0};
    std::thread capture([&] {
        Buffer b(4096);
        int n = 0;
        while (!stop) {
            b.Number(n++ % 1000);
            c.con.BufferReady(b.hdr);
            ++copies;
            std::this_thread::yield();
        }
    });
    // The capture thread runs in real time: wait (in real time, bounded) until
    // both sides have done enough work.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while ((a.timesUs.size() < 50 || copies < 50) && std::chrono::steady_clock::now() < deadline)
        test::Sim().AdvanceMs(1);
    stop = true;
    capture.join();
    EXPECT_GE(a.timesUs.size(), 50u);
    EXPECT_TRUE(a.onWindowThread);
}

namespace {
// A display whose first slice takes long to draw: it waits, in real time,
// until the capture thread has delivered every buffer, and checks that the
// data it was handed stays as it was meanwhile.
class SlowDisplay : public FakeDisplay {
public:
    explicit SlowDisplay(std::atomic<int>& delivered, int all) : FakeDisplay(1024), delivered_(delivered), all_(all) {}
    void ShowPCMData(const char* data) override
    {
        FakeDisplay::ShowPCMData(data);
        if (firstSamples.size() != 1)
            return;
        painting = true;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (delivered_ < all_ && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        sawAllDelivered = delivered_ == all_;
        std::int16_t first;
        std::memcpy(&first, data, 2);
        dataKept = first == firstSamples[0];
    }
    std::atomic<bool> painting{false};
    bool sawAllDelivered = false;
    bool dataKept = false;

private:
    std::atomic<int>& delivered_;
    int all_;
};

class Counter : public TMMDSPComponent {
public:
    void BufferReady(PWaveHdr h) override
    {
        std::int16_t first;
        std::memcpy(&first, h->lpData, 2);
        numbers.push_back(first);
        TMMDSPComponent::BufferReady(h);
    }
    std::vector<int> numbers;
};
}  // namespace

TEST(Connector, SlowPaintDoesNotHoldUpCapture)
{
    Chain c;
    Counter after;
    after.SetInput(&c.con);
    constexpr int kBuffers = 40;
    std::atomic<int> delivered{0};
    SlowDisplay slow(delivered, kBuffers);
    c.con.SetMeter1(&slow);
    c.Start();
    std::atomic<bool> quit{false};
    std::thread capture([&] {
        Buffer b(4096);
        for (int n = 0; n < kBuffers; ++n) {
            b.Number(n * 500);
            c.con.BufferReady(b.hdr);
            ++delivered;
            // The rest arrive while the first slice is being drawn.
            while (n == 0 && !slow.painting && !quit)
                std::this_thread::yield();
        }
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (delivered < kBuffers && std::chrono::steady_clock::now() < deadline)
        test::Sim().AdvanceMs(1);
    quit = true;
    capture.join();
    test::Sim().AdvanceMs(200);

    EXPECT_TRUE(slow.sawAllDelivered);
    EXPECT_TRUE(slow.dataKept);
    ASSERT_EQ(after.numbers.size(), static_cast<std::size_t>(kBuffers));
    for (int n = 0; n < kBuffers; ++n)
        EXPECT_EQ(after.numbers[n], n * 500) << n;
    ASSERT_GE(slow.firstSamples.size(), 2u);
    EXPECT_EQ(slow.firstSamples[0], 0);
    // After the slow slice the displays go on with the newest buffer.
    EXPECT_EQ(slow.firstSamples.back(), (kBuffers - 1) * 500 + 3 * 256);
    EXPECT_TRUE(slow.onWindowThread);
}

TEST(Connector, RealClockLoopRestsUntilABufferComes)
{
    // On the real clock the loop shows every slice of a buffer, in order,
    // and then makes no pass until the next buffer; that buffer wakes it.
    // A buffer for a connector without displays wakes nothing. The time
    // bounds only keep a hang from blocking the run.
    test::ResetSim();
    platform::InstallClock(std::make_unique<platform::RealClock>());
    {
        WAVEFORMATEX format = Pcm(16, 2, 11025);
        Source src;
        TMMConnector con;
        FakeDisplay meter(1024), spectrum(2048);
        src.SetBufferSize(4096);
        src.SetOutput(&con);
        src.SetWaveFormat(&format);
        con.SetMeter1(&meter);
        con.SetSpectrum1(&spectrum);
        Source bareSrc;
        TMMConnector bare;
        bareSrc.SetBufferSize(4096);
        bareSrc.SetOutput(&bare);
        bareSrc.SetWaveFormat(&format);
        src.NotifyOpen();
        src.NotifyStart();
        bareSrc.NotifyOpen();
        bareSrc.NotifyStart();
        const auto pump = PumpRealClock;
        ASSERT_TRUE(pump([&] { return con.Triggering() && bare.Triggering(); }));
        Buffer b(4096);
        for (int round = 0; round < 3; ++round) {
            b.Number(1000 * round);
            con.BufferReady(b.hdr);
            ASSERT_TRUE(pump([&] { return meter.firstSamples.size() == 4u * (round + 1); })) << round;
            ASSERT_TRUE(pump([&] { return spectrum.firstSamples.size() == 2u * (round + 1); })) << round;
            ASSERT_TRUE(pump([] { return TMMConnector::LoopResting(); })) << round;
            const std::uint64_t passes = TMMConnector::MessagePasses();
            const std::int64_t until = platform::TheClock().NowMs() + 60;
            pump([&] { return platform::TheClock().NowMs() >= until; });
            EXPECT_EQ(TMMConnector::MessagePasses(), passes) << round;
            EXPECT_TRUE(TMMConnector::LoopResting()) << round;
        }
        {
            const std::uint64_t passes = TMMConnector::MessagePasses();
            bare.BufferReady(b.hdr);
            const std::int64_t until = platform::TheClock().NowMs() + 60;
            pump([&] { return platform::TheClock().NowMs() >= until; });
            EXPECT_EQ(TMMConnector::MessagePasses(), passes);
            EXPECT_TRUE(TMMConnector::LoopResting());
        }
        bareSrc.NotifyStop();
        bareSrc.NotifyClose();
        for (int n = 0; n < 12; ++n)
            EXPECT_EQ(meter.firstSamples[n], 1000 * (n / 4) + (n % 4) * 256) << n;
        for (int n = 0; n < 6; ++n)
            EXPECT_EQ(spectrum.firstSamples[n], 1000 * (n / 2) + (n % 2) * 512) << n;
        EXPECT_EQ(meter.resets, 0);
        src.NotifyStop();
        EXPECT_FALSE(TMMConnector::LoopResting());
        src.NotifyClose();
        pump([] { return platform::PendingTaskCount() == 0; });
    }
    test::ResetSim();
}

TEST(Connector, RealClockPassShowsEveryDueSliceAndNoneMoreThanAFrameEarly)
{
    // A pass on the real clock shows each display every slice that is due
    // within a display frame (40 ms), in order: a window thread held up past
    // a whole buffer catches up in one pass and loses no slice. No slice is
    // shown more than a frame before its time. Only lower bounds on time are
    // asserted; the upper ones only keep a hang from blocking the run.
    test::ResetSim();
    platform::InstallClock(std::make_unique<platform::RealClock>());
    {
        WAVEFORMATEX format = Pcm(16, 2, 11025);  // 44100 bytes a second
        Source src;
        TMMConnector con;
        FakeDisplay meter(1024);  // 8 slices of 23.2 ms per buffer
        src.SetBufferSize(8192);
        src.SetOutput(&con);
        src.SetWaveFormat(&format);
        con.SetMeter1(&meter);
        src.NotifyOpen();
        src.NotifyStart();
        const auto pump = PumpRealClock;
        ASSERT_TRUE(pump([&] { return con.Triggering(); }));
        Buffer b(8192);

        b.Number(0);
        const std::int64_t before = platform::TheClock().NowUs();
        con.BufferReady(b.hdr);
        ASSERT_TRUE(pump([&] { return meter.firstSamples.size() == 8u; }));
        for (int k = 0; k < 8; ++k) {
            EXPECT_EQ(meter.firstSamples[k], k * 256) << k;
            const std::int64_t dueUs = before + k * 1024 * 1000000LL / 44100;
            EXPECT_GE(meter.timesUs[k], dueUs - 40000) << k;
        }
        ASSERT_TRUE(pump([] { return TMMConnector::LoopResting(); }));

        b.Number(5000);
        con.BufferReady(b.hdr);
        platform::TheClock().Sleep(250);  // every slice of the buffer is due now
        ASSERT_TRUE(pump([&] { return meter.firstSamples.size() == 16u; }));
        for (int k = 8; k < 16; ++k) {
            EXPECT_EQ(meter.firstSamples[k], 5000 + (k - 8) * 256) << k;
            EXPECT_EQ(meter.passes[k], meter.passes[8]) << k;
        }
        EXPECT_EQ(meter.resets, 0);
        src.NotifyStop();
        src.NotifyClose();
        pump([] { return platform::PendingTaskCount() == 0; });
    }
    test::ResetSim();
}
