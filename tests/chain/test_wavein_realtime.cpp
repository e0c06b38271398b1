// The capture source on the real clock: the device's timer thread, the
// capture thread and the window thread really run at once. These tests
// assert order and completeness only; their time bounds are there so that a
// hang fails instead of blocking, not to measure anything.
#include "chain/connector.h"
#include "chain/wavein.h"
#include "platform/wavein_sources.h"
#include "tests/chain/wavein_test_util.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

using namespace zol;
namespace pf = zol::platform;
using test::CountLink;

namespace {

// Runs the window queue until `done`, at most `ms` real milliseconds.
bool Pump(const std::function<bool()>& done, int ms)
{
    const std::int64_t end = pf::TheClock().NowMs() + ms;
    while (!done() && pf::TheClock().NowMs() < end) {
        pf::RunPendingTasks();
        pf::WaitUntil(done, 1);
    }
    pf::RunPendingTasks();
    return done();
}

// 44100 Hz 16-bit stereo in buffers of 64 frames: one every 1.45 ms.
void FastCapture(TMMWaveIn& w, TMMDSPComponent* output, int buffers = 10)
{
    w.SetCallBackMode(cmThread);
    w.SetBufferSize(256);
    w.SetNumBuffers(buffers);
    w.SetMode(mStereo);
    w.SetBitLength(b16Bit);
    w.SetSampleRate(44100);
    w.SetOutput(output);
}

// The number of the first frame of scripted data (30 bits over both channels).
std::int64_t FrameOf(const char* data)
{
    const auto* s = reinterpret_cast<const std::uint16_t*>(data);
    return s[0] | std::int64_t{s[1]} << 15;
}

// Buffers of one run, as (first frame, frames): from the end of one to the
// start of the next, every frame must have been lost at the device while no
// buffer was queued, as it reports in `skipped`. Adds the lost frames up.
testing::AssertionResult WholeRun(const std::vector<std::pair<std::int64_t, std::int64_t>>& ranges, size_t first,
                                  const std::vector<std::pair<std::int64_t, int>>& skipped, std::int64_t& lost)
{
    auto skip = skipped.begin();
    for (size_t i = first + 1; i < ranges.size(); ++i) {
        std::int64_t at = ranges[i - 1].first + ranges[i - 1].second;
        while (skip != skipped.end() && skip->first < at)
            ++skip;
        while (skip != skipped.end() && skip->first == at && at < ranges[i].first) {
            at += skip->second;
            lost += skip->second;
            ++skip;
        }
        if (ranges[i].first != at)
            return testing::AssertionFailure() << "buffer " << i << " starts at frame " << ranges[i].first
                                               << ", expected " << at;
        if (ranges[i].second != 64)
            return testing::AssertionFailure() << "buffer " << i << " holds " << ranges[i].second << " frames";
    }
    return testing::AssertionSuccess();
}

// A display whose painting takes a while; it records the first frame of
// each slice and paints that come while it counts as closed.
class SlowDisplay : public QObject, public IMMDisplay {
public:
    void SetWaveFormat(const WAVEFORMATEX*) override {}
    int NeededBytes() const override { return 256; }
    void ShowPCMData(const char* data) override
    {
        onWindowThread = onWindowThread && pf::IsWindowThread();
        if (closed)
            ++paintedWhileClosed;
        firstFrames.push_back(FrameOf(data));
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    void ResetDisplay() override {}
    QObject* DisplayObject() override { return this; }

    std::vector<std::int64_t> firstFrames;
    bool closed = true;
    int paintedWhileClosed = 0;
    bool onWindowThread = true;
};

}  // namespace

TEST(WaveIn, RealTimeChurnOfStartStopAndClose)
{
    pf::InstallClock(std::make_unique<pf::RealClock>());
    {
        test::ErrorRecorder errors;
        CountLink link;
        TMMWaveIn w(nullptr, pf::MakeSimReceiverBackend());
        FastCapture(w, &link);
        std::atomic<int> seen{0};
        w.OnBufferReady = [&](QObject*, PWaveHdr) { ++seen; };
        for (int round = 0; round < 25; ++round) {
            const int before = seen.load();
            w.Start();
            ASSERT_TRUE(Pump([&] { return seen.load() >= before + 5; }, 5000)) << round;
            if (round % 2 == 0) {
                w.Stop();
                ASSERT_TRUE(Pump([&] { return !w.IsStarted(); }, 5000)) << round;
                EXPECT_TRUE(w.IsOpen());
                w.Start();
                ASSERT_TRUE(Pump([&] { return seen.load() >= before + 10; }, 5000)) << round;
            }
            w.Close();
            ASSERT_TRUE(Pump([&] { return !w.IsOpen(); }, 5000)) << round;
            EXPECT_FALSE(link.Opened());
        }
        EXPECT_EQ(link.opens, 25);
        EXPECT_EQ(link.closes, 25);
        for (auto size : link.sizes)
            ASSERT_EQ(size % 4, 0u);
        EXPECT_TRUE(errors.Messages().isEmpty()) << errors.Messages().join("|").toStdString();
    }
    test::ResetSim();
}

TEST(WaveIn, RealTimeStopWhileTheCaptureThreadHandlesABuffer)
{
    // A slow chain keeps the capture thread busy about half the time, so a
    // Stop from the window thread often meets a buffer being handled. Every
    // stop must complete, and a restart must not find a buffer queued twice.
    // On a busy machine the capture thread may fall behind; the device then
    // loses the frames that pass while no buffer is queued, and says which:
    // within a run every frame reached the chain once, in order, or was lost
    // that way.
    pf::InstallClock(std::make_unique<pf::RealClock>());
    {
        test::ErrorRecorder errors;
        auto script = std::make_shared<pf::WaveInScript>();
        CountLink link;
        TMMWaveIn w(nullptr, pf::MakeScriptedBackend(script));
        FastCapture(w, &link, 4);
        std::atomic<int> seen{0};
        std::atomic<int> maxQueued{0};
        std::mutex mutex;
        std::vector<std::pair<std::int64_t, std::int64_t>> ranges;  // first frame, frames
        link.onBuffer = [&](PWaveHdr hdr) {
            {
                std::lock_guard lock(mutex);
                ranges.emplace_back(FrameOf(hdr->lpData), hdr->dwBytesRecorded / 4);
            }
            const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(700);
            while (std::chrono::steady_clock::now() < until) {
            }
            ++seen;
        };
        std::int64_t lost = 0;
        for (int round = 0; round < 150; ++round) {
            size_t first;
            {
                std::lock_guard lock(mutex);
                first = ranges.size();
            }
            const int before = seen.load();
            w.Start();
            ASSERT_TRUE(w.IsStarted()) << round;
            ASSERT_TRUE(Pump(
                [&] {
                    maxQueued = std::max(maxQueued.load(), w.QueuedBuffers());
                    return seen.load() >= before + 6;
                },
                5000))
                << round;
            w.Stop();
            ASSERT_TRUE(Pump([&] { return !w.IsStarted(); }, 3000)) << "stop never completed in round " << round;
            ASSERT_FALSE(w.StopPending()) << round;
            EXPECT_EQ(w.QueuedBuffers(), 0) << round;
            std::lock_guard lock(mutex);
            std::lock_guard scriptLock(script->mutex);
            ASSERT_TRUE(WholeRun(ranges, first, script->skipped, lost)) << "round " << round;
        }
        EXPECT_LE(maxQueued.load(), 4);
        w.Close();
        EXPECT_TRUE(errors.Messages().isEmpty()) << errors.Messages().join("|").toStdString();
        std::printf("frames lost while no buffer was queued: %lld\n", static_cast<long long>(lost));
    }
    test::ResetSim();
}

TEST(WaveIn, RealTimeStopAndCloseWhilePaintingIsSlow)
{
    // Painting takes longer than a buffer lasts. Fed on arrival, the capture
    // thread waits for every paint on the window thread; fed in real time
    // (the main window's way), the window thread's refresh loop is busy
    // painting. Either way Stop and Close, issued on the window thread while
    // buffers keep coming, complete in order, and nothing is painted once
    // the source is closed.
    pf::InstallClock(std::make_unique<pf::RealClock>());
    for (bool realTime : {false, true}) {
        SCOPED_TRACE(realTime ? "fed in real time" : "fed on arrival");
        test::ErrorRecorder errors;
        TMMWaveIn w(nullptr, pf::MakeScriptedBackend(std::make_shared<pf::WaveInScript>()));
        TMMConnector con;
        con.SetRealTime(realTime);
        con.SetEnterIdle(false);
        FastCapture(w, &con, 4);
        SlowDisplay display;
        con.SetMeter1(&display);
        QStringList events, expected;
        w.OnStart = [&](QObject*) { events << "start"; };
        w.OnStop = [&](QObject*) { events << "stop"; };
        w.OnClose = [&](QObject*) { events << "close"; };
        for (int round = 0; round < 12; ++round) {
            const size_t first = display.firstFrames.size();
            display.closed = false;
            w.Start();
            ASSERT_TRUE(Pump([&] { return display.firstFrames.size() >= first + 5; }, 30000)) << round;
            if (round % 2 == 0) {
                w.Stop();
                ASSERT_TRUE(Pump([&] { return !w.IsStarted(); }, 30000)) << round;
                EXPECT_TRUE(w.IsOpen());
            }
            w.Close();
            ASSERT_TRUE(Pump([&] { return !w.IsOpen(); }, 30000)) << round;
            expected << "start" << "stop" << "close";
            EXPECT_FALSE(con.Opened());
            EXPECT_FALSE(con.Started());
            display.closed = true;
            Pump([] { return false; }, 20);  // late work has a chance to show up
            if (!realTime) {
                // Each buffer is painted as it comes, in order.
                for (size_t i = first + 1; i < display.firstFrames.size(); ++i)
                    ASSERT_GT(display.firstFrames[i], display.firstFrames[i - 1]) << round << " " << i;
            }
        }
        EXPECT_EQ(events, expected);
        EXPECT_EQ(display.paintedWhileClosed, 0);
        EXPECT_TRUE(display.onWindowThread);
        EXPECT_TRUE(errors.Messages().isEmpty()) << errors.Messages().join("|").toStdString();
        w.SetOutput(nullptr);
    }
    test::ResetSim();
}
