// The capture source against the scripted wave-in device, in simulated time.
#include "chain/wavein.h"
#include "platform/errors.h"
#include "platform/mmsyserr.h"
#include "platform/msgbox.h"
#include "platform/wavein_sources.h"
#include "tests/chain/wavein_test_util.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace zol;
namespace pf = zol::platform;
using test::CountLink;

namespace {

struct Rig {
    pf::SimClock& sim = test::ResetSim();
    std::shared_ptr<pf::WaveInScript> script = std::make_shared<pf::WaveInScript>();
    std::shared_ptr<pf::WaveInBackend> backend = pf::MakeScriptedBackend(script);
    std::unique_ptr<TMMWaveIn> wave;
    std::unique_ptr<CountLink> link = std::make_unique<CountLink>();
    QStringList events;

    explicit Rig(TMMCBMode mode = cmThread)
    {
        wave = std::make_unique<TMMWaveIn>(nullptr, backend);
        wave->SetCallBackMode(mode);
        wave->SetBufferSize(4096);
        wave->SetMode(mStereo);
        wave->SetBitLength(b16Bit);
        wave->SetOutput(link.get());
        wave->OnOpen = [this](QObject*) { events << "open"; };
        wave->OnStart = [this](QObject*) { events << "start"; };
        wave->OnPause = [this](QObject*) { events << "pause"; };
        wave->OnRestart = [this](QObject*) { events << "restart"; };
        wave->OnStop = [this](QObject*) { events << "stop"; };
        wave->OnClose = [this](QObject*) { events << "close"; };
        wave->OnError = [this](QObject*) { events << "error"; };
    }
    ~Rig()
    {
        wave.reset();
        link.reset();
    }
};

QString MessageOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const EMMWaveInError& e) {
        return e.Message();
    }
    return QString();
}

}  // namespace

TEST(WaveIn, PropertyDefaultsClampingAndRefusals)
{
    Rig rig;
    TMMWaveIn fresh(nullptr, rig.backend);
    EXPECT_EQ(fresh.BufferSize(), 2048);
    EXPECT_EQ(fresh.CallBackMode(), cmWindow);
    EXPECT_EQ(fresh.DeviceID(), 0);
    EXPECT_EQ(fresh.NumBuffers(), 10);
    EXPECT_EQ(fresh.Mode(), mMono);
    EXPECT_EQ(fresh.BitLength(), b8Bit);
    EXPECT_EQ(fresh.SampleRate(), 11025);
    EXPECT_EQ(fresh.TimeFormat(), tfByte);
    EXPECT_EQ(fresh.MaxRecordTime(), -1);
    EXPECT_EQ(fresh.ProductName(), "Scripted input 0");
    EXPECT_EQ(fresh.DriverVersion(), 0x0102);
    ASSERT_NE(fresh.WaveFormat(), nullptr);
    EXPECT_EQ(fresh.WaveFormat()->nAvgBytesPerSec, 11025u);

    fresh.SetNumBuffers(1);
    EXPECT_EQ(fresh.NumBuffers(), 10);
    fresh.SetNumBuffers(900);
    EXPECT_EQ(fresh.NumBuffers(), 500);
    fresh.SetBufferSize(10);
    EXPECT_EQ(fresh.BufferSize(), 32);
    fresh.SetSampleRate(200000);
    EXPECT_EQ(fresh.SampleRate(), 100000);
    fresh.SetSampleRate(10);
    EXPECT_EQ(fresh.SampleRate(), 8000);
    fresh.SetMode(2);
    EXPECT_EQ(fresh.Mode(), mMono);
    fresh.SetMode(mStereo);
    fresh.SetBitLength(b16Bit);
    fresh.SetSampleRate(11025);
    // The format follows the three properties.
    EXPECT_EQ(fresh.WaveFormat()->nChannels, 2);
    EXPECT_EQ(fresh.WaveFormat()->wBitsPerSample, 16);
    EXPECT_EQ(fresh.WaveFormat()->nAvgBytesPerSec, 44100u);
    // A format set from outside sets the three properties.
    WAVEFORMATEX f{};
    MakePcmFormat(f, 8, 1, 22050);
    fresh.SetWaveFormat(&f);
    EXPECT_EQ(fresh.SampleRate(), 22050);
    EXPECT_EQ(fresh.Mode(), mMono);
    EXPECT_EQ(fresh.BitLength(), b8Bit);

    // Device numbers: out of range is stored as invalid.
    fresh.SetDeviceID(5);
    EXPECT_EQ(fresh.DeviceID(), -2);
    EXPECT_EQ(fresh.ProductName(), "No wave audio recording device found");
    EXPECT_EQ(fresh.DriverVersion(), 0);
    EXPECT_EQ(MessageOf([&] { fresh.Open(); }), "Invalid DeviceID");
    fresh.SetDeviceID(-1);
    EXPECT_EQ(fresh.ProductName(), "Scripted input -1");

    // cmCallback is refused with a message; the mode stays.
    QString text, caption;
    auto old = pf::SetMessageBoxHandler([&](const QString& t, const QString& c) {
        text = t;
        caption = c;
    });
    fresh.SetCallBackMode(cmCallback);
    pf::SetMessageBoxHandler(old);
    EXPECT_EQ(fresh.CallBackMode(), cmWindow);
    EXPECT_EQ(caption, "TMMWaveIn");
    EXPECT_EQ(text, "\"CallBacks\" are called at interrupt time !\n\rThis is currently only supported under Windows 95");

    // While open, changes are refused (and OnError fires); equal values pass.
    rig.wave->Open();
    ASSERT_TRUE(rig.wave->IsOpen());
    const QString refused = "Change to property while device was open";
    rig.events.clear();
    EXPECT_EQ(MessageOf([&] { rig.wave->SetMode(mMono); }), refused);
    EXPECT_EQ(rig.events, QStringList{"error"});
    EXPECT_EQ(MessageOf([&] { rig.wave->SetMode(mStereo); }), "");
    EXPECT_EQ(MessageOf([&] { rig.wave->SetSampleRate(22050); }), refused);
    EXPECT_EQ(MessageOf([&] { rig.wave->SetBitLength(b8Bit); }), refused);
    EXPECT_EQ(MessageOf([&] { rig.wave->SetNumBuffers(4); }), refused);
    EXPECT_EQ(MessageOf([&] { rig.wave->SetBufferSize(1024); }), refused);
    EXPECT_EQ(MessageOf([&] { rig.wave->SetDeviceID(-1); }), refused);
    EXPECT_EQ(MessageOf([&] { rig.wave->SetCallBackMode(cmWindow); }), refused);
    EXPECT_EQ(MessageOf([&] { rig.wave->SetBufferSize(4096); }), "");
    EXPECT_EQ(rig.wave->SampleRate(), 11025);
    rig.wave->Close();

    // No device at all.
    rig.script->deviceCount = 0;
    TMMWaveIn none(nullptr, rig.backend);
    EXPECT_EQ(none.DeviceID(), -2);
    EXPECT_EQ(MessageOf([&] { none.Open(); }), "No wave audio recording device found");
}

TEST(WaveIn, TimeFormatAndByteLimit)
{
    Rig rig;
    TMMWaveIn& w = *rig.wave;  // 11025 Hz, 16-bit stereo: 44100 bytes per second
    EXPECT_EQ(w.ByteLimit(), -1);
    w.SetTimeFormat(tfMillisecond);
    w.SetMaxRecordTime(1000);
    EXPECT_EQ(w.ByteLimit(), 44100);
    w.SetMaxRecordTime(1);  // 44.1 bytes -> 44, rounded up to whole frames
    EXPECT_EQ(w.ByteLimit(), 44);
    w.SetMaxRecordTime(2);  // 88.2 -> 88
    EXPECT_EQ(w.ByteLimit(), 88);
    w.SetMaxRecordTime(3);  // 132.3 -> 132
    EXPECT_EQ(w.ByteLimit(), 132);
    w.SetMaxRecordTime(5);  // 220.5 -> 221 -> 224 (whole frames, rounded up)
    EXPECT_EQ(w.ByteLimit(), 224);
    w.SetMaxRecordTime(1000);
    // Converting keeps the limit: milliseconds -> bytes -> samples.
    w.SetTimeFormat(tfByte);
    EXPECT_EQ(w.MaxRecordTime(), 44100);
    EXPECT_EQ(w.ByteLimit(), 44100);
    w.SetMaxRecordTime(44103);  // rounded down to whole frames
    EXPECT_EQ(w.ByteLimit(), 44100);
    w.SetTimeFormat(tfSample);
    EXPECT_EQ(w.MaxRecordTime(), 11025);
    EXPECT_EQ(w.ByteLimit(), 44100);
    w.SetTimeFormat(tfMillisecond);
    EXPECT_EQ(w.MaxRecordTime(), 1000);
    // A huge limit is capped; a negative one means none.
    w.SetMaxRecordTime(INT_MAX);
    EXPECT_EQ(w.ByteLimit(), INT_MAX - INT_MAX % 4);
    w.SetMaxRecordTime(-1);
    EXPECT_EQ(w.ByteLimit(), -1);
    w.SetTimeFormat(tfByte);
    EXPECT_EQ(w.MaxRecordTime(), -1);
}

TEST(WaveIn, CapturesOnTheCaptureThreadInOrder)
{
    Rig rig;
    TMMWaveIn& w = *rig.wave;
    const auto dspThreads = TMMDSPThread::Count();
    w.Start();
    ASSERT_TRUE(w.IsStarted());
    EXPECT_EQ(rig.events, (QStringList{"open", "start"}));
    EXPECT_EQ(TMMDSPThread::Count(), dspThreads + 1);
    // The link got the source's buffer size before it opened.
    EXPECT_EQ(rig.link->opens, 1);
    EXPECT_EQ(rig.link->starts, 1);
    EXPECT_EQ(rig.link->BufferSize(), 4096);
    EXPECT_EQ(w.RealBufferSize(), 4096);
    EXPECT_EQ(static_cast<int>(w.Buffers().size()), 10);
    EXPECT_EQ(w.QueuedBuffers(), 10);

    // 1024 frames a buffer at 11025 Hz: one every 92.88 ms.
    rig.sim.AdvanceMs(92);
    EXPECT_EQ(rig.link->buffers, 0);
    rig.sim.AdvanceMs(1);
    EXPECT_EQ(rig.link->buffers, 1);
    rig.sim.AdvanceMs(10000 - 93);
    // 10 s = 107.6 buffers; the deadlines do not drift.
    EXPECT_EQ(rig.link->buffers, 107);
    EXPECT_EQ(rig.link->bytes, 107 * 4096);
    EXPECT_EQ(w.BytesRecorded(), 107 * 4096);
    EXPECT_NE(rig.link->thread, std::this_thread::get_id());
    // In order: each buffer starts where the last one ended.
    for (size_t i = 0; i < rig.link->firstFrames.size(); ++i)
        ASSERT_EQ(rig.link->firstFrames[i], static_cast<int>((i * 1024) & 0x7FFF)) << i;
    EXPECT_EQ(w.QueuedBuffers(), 10);
    EXPECT_EQ(w.NextBuffer(), 107 % 10);

    w.Close();
    EXPECT_FALSE(w.IsOpen());
    EXPECT_EQ(rig.events, (QStringList{"open", "start", "stop", "close"}));
    EXPECT_EQ(rig.link->stops, 1);
    EXPECT_EQ(rig.link->closes, 1);
    EXPECT_FALSE(rig.link->Opened());
    EXPECT_EQ(TMMDSPThread::Count(), dspThreads);
    EXPECT_EQ(rig.script->opens.load(), 1);
    EXPECT_EQ(rig.script->closes.load(), 1);
    // Nothing comes after the close.
    const int seen = rig.link->buffers;
    rig.sim.AdvanceMs(1000);
    EXPECT_EQ(rig.link->buffers, seen);

    // Reopened in window mode: buffers arrive on the window thread.
    w.SetCallBackMode(cmWindow);
    w.Start();
    rig.sim.AdvanceMs(200);
    EXPECT_EQ(rig.link->buffers, seen + 2);
    EXPECT_EQ(rig.link->thread, std::this_thread::get_id());
    EXPECT_EQ(rig.link->firstFrames.back(), 1024);  // a new device starts at frame 0
    w.Close();
}

TEST(WaveIn, StopFromInsideOnBufferReadyCompletesOnTheWindowThread)
{
    for (TMMCBMode mode : {cmThread, cmWindow}) {
        SCOPED_TRACE(mode == cmThread ? "thread" : "window");
        Rig rig(mode);
        TMMWaveIn& w = *rig.wave;
        bool pendingSeen = false;
        std::thread::id stopThread;
        w.OnStop = [&](QObject*) {
            stopThread = std::this_thread::get_id();
            rig.events << "stop";
        };
        int seen = 0;  // OnBufferReady fires before the buffer goes down the chain
        w.OnBufferReady = [&](QObject*, PWaveHdr) {
            if (++seen == 2) {
                w.Stop();
                // The device is stopped and reset at once...
                EXPECT_EQ(rig.script->resets.load(), 1);
                // ...but the state change waits until the handler returned.
                pendingSeen = w.StopPending() && w.IsStarted();
                EXPECT_TRUE(rig.link->Started());
            }
        };
        w.Start();
        rig.sim.AdvanceMs(500);
        EXPECT_TRUE(pendingSeen);
        EXPECT_FALSE(w.IsStarted());
        EXPECT_FALSE(w.StopPending());
        EXPECT_TRUE(w.IsOpen());
        EXPECT_EQ(stopThread, std::this_thread::get_id());
        EXPECT_EQ(rig.events, (QStringList{"open", "start", "stop"}));
        EXPECT_EQ(rig.link->stops, 1);
        EXPECT_FALSE(rig.link->Started());
        EXPECT_EQ(rig.link->buffers, 2);
        EXPECT_EQ(w.QueuedBuffers(), 0);
        // It can start again.
        w.Start();
        rig.sim.AdvanceMs(100);
        EXPECT_EQ(rig.link->buffers, 3);
        w.Close();
    }
}

TEST(WaveIn, CloseDuringAPendingStopFollowsTheStop)
{
    for (TMMCBMode mode : {cmThread, cmWindow}) {
        SCOPED_TRACE(mode == cmThread ? "thread" : "window");
        Rig rig(mode);
        TMMWaveIn& w = *rig.wave;
        bool closeWasPending = false;
        int seen = 0;
        w.OnBufferReady = [&](QObject*, PWaveHdr) {
            if (++seen != 1)
                return;
            w.Stop();
            // Close runs on the window thread while the stop is pending.
            SyncCall([&] {
                w.Close();
                closeWasPending = w.ClosePending() && w.IsOpen();
            });
        };
        w.Start();
        rig.sim.AdvanceMs(300);
        EXPECT_TRUE(closeWasPending);
        EXPECT_FALSE(w.IsOpen());
        EXPECT_EQ(rig.events, (QStringList{"open", "start", "stop", "close"}));
        EXPECT_EQ(rig.link->closes, 1);
        EXPECT_EQ(rig.script->closes.load(), 1);
        EXPECT_EQ(rig.link->buffers, 1);
    }
}

TEST(WaveIn, MaxRecordTimeCutsTheLastBuffer)
{
    Rig rig;
    TMMWaveIn& w = *rig.wave;
    w.SetTimeFormat(tfMillisecond);
    w.SetMaxRecordTime(1000);
    w.Start();
    rig.sim.AdvanceMs(3000);
    EXPECT_FALSE(w.IsStarted());
    EXPECT_TRUE(w.IsOpen());
    EXPECT_EQ(rig.link->bytes, 44100);
    EXPECT_EQ(w.BytesRecorded(), 44100);
    ASSERT_EQ(rig.link->sizes.size(), 11u);
    EXPECT_EQ(rig.link->sizes.back(), 44100u - 10 * 4096);
    EXPECT_EQ(rig.events, (QStringList{"open", "start", "stop"}));
    // Starting again records another second.
    w.Start();
    rig.sim.AdvanceMs(3000);
    EXPECT_EQ(rig.link->bytes, 2 * 44100);
    w.Close();
}

TEST(WaveIn, FailuresInOpenAndStartLeaveTheDeviceClosed)
{
    struct Case {
        const char* call;
        QString message;
        bool onStart;
    };
    const QString text = pf::MMSystemErrorText(pf::MMSYSERR_ALLOCATED);
    const std::vector<Case> cases = {
        // A device that cannot even be asked says which one and why.
        {"QueryFormat", "WaveInOpen:\n\rScripted input 0: " + text, false},
        {"Open", "WaveInOpen:\n\rScripted input 0: " + text, false},
        {"PrepareHeader", "WaveInPrepareHeader:\n\r" + text, false},
        {"AddBuffer", "WaveInAddBuffer:\n\r" + text, true},
        {"Start", "WaveInStart:\n\r" + text, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        Rig rig;
        const int threads = TMMDSPThread::Count();
        rig.script->failures[c.call] = pf::MMSYSERR_ALLOCATED;
        EXPECT_EQ(MessageOf([&] { rig.wave->Start(); }), c.message);
        EXPECT_FALSE(rig.wave->IsOpen());
        EXPECT_FALSE(rig.wave->IsStarted());
        EXPECT_EQ(rig.wave->State(), wisClosed);
        EXPECT_TRUE(rig.events.contains("error"));
        EXPECT_FALSE(rig.link->Opened());
        EXPECT_EQ(rig.script->opens.load(), rig.script->closes.load());
        EXPECT_EQ(TMMDSPThread::Count(), threads);
        EXPECT_TRUE(rig.wave->Buffers().empty());
        // Once the fault is gone it works.
        rig.script->failures.clear();
        rig.wave->Start();
        rig.sim.AdvanceMs(100);
        EXPECT_EQ(rig.link->buffers, 1);
        rig.wave->Close();
    }
    {
        // A refused format is reported as such.
        Rig rig;
        rig.script->failures["QueryFormat"] = pf::WAVERR_BADFORMAT;
        EXPECT_EQ(MessageOf([&] { rig.wave->Open(); }),
                  "WaveInOpen:\n\rThe actual device can't record this format");
    }
    {
        // An unknown error number gets the standard text.
        Rig rig;
        rig.script->failures["Open"] = 777;
        EXPECT_EQ(MessageOf([&] { rig.wave->Open(); }),
                  "WaveInOpen:\n\rScripted input 0: Specified error number is out of range (unknown error)");
    }
    {
        // The capability flags must include the format: 11.025 kHz stereo 16-bit.
        Rig rig;
        rig.script->formats = pf::WAVE_FORMAT_ALL & ~pf::WAVE_FORMAT_1S16;
        EXPECT_EQ(MessageOf([&] { rig.wave->Open(); }),
                  "WaveInOpen:\n\rThe actual device can't record this format");
        rig.script->formats = pf::WAVE_FORMAT_1S16;
        rig.wave->Open();
        EXPECT_TRUE(rig.wave->IsOpen());
        rig.wave->Close();
        // 22050 Hz mono 8-bit uses the 22.05 kHz flag.
        rig.wave->SetSampleRate(22050);
        rig.wave->SetMode(mMono);
        rig.wave->SetBitLength(b8Bit);
        EXPECT_NE(MessageOf([&] { rig.wave->Open(); }), "");
        rig.script->formats = pf::WAVE_FORMAT_2M08;
        rig.wave->Open();
        EXPECT_TRUE(rig.wave->IsOpen());
        rig.wave->Close();
        // Rates beyond 48 kHz are not compared with the flags.
        rig.wave->SetSampleRate(96000);
        rig.wave->Open();
        EXPECT_TRUE(rig.wave->IsOpen());
        rig.wave->Close();
    }
    {
        // A device that never confirms the opening.
        Rig rig;
        rig.script->confirmOpen = false;
        EXPECT_EQ(MessageOf([&] { rig.wave->Open(); }), "WaveInOpen:\n\rUnable to open device");
        EXPECT_FALSE(rig.wave->IsOpen());
        EXPECT_EQ(rig.script->closes.load(), 1);
    }
    {
        // A device that never confirms the closing: reported, yet closed.
        Rig rig;
        rig.script->confirmClose = false;
        rig.wave->Start();
        EXPECT_EQ(MessageOf([&] { rig.wave->Close(); }), "WaveInClose:\n\rUnable to close device");
        EXPECT_FALSE(rig.wave->IsOpen());
        EXPECT_FALSE(rig.link->Opened());
    }
    {
        // A refused close keeps the device open; it can be closed later.
        Rig rig;
        rig.wave->Open();
        rig.script->failures["Close"] = pf::MMSYSERR_ERROR;
        EXPECT_EQ(MessageOf([&] { rig.wave->Close(); }),
                  "WaveInClose:\n\r" + QString(pf::MMSystemErrorText(pf::MMSYSERR_ERROR)));
        EXPECT_TRUE(rig.wave->IsOpen());
        rig.script->failures.clear();
        rig.wave->Close();
        EXPECT_FALSE(rig.wave->IsOpen());
    }
}

TEST(WaveIn, DeviceLostMidStreamStopsAndClosesTheChainAndTellsTheUser)
{
    for (TMMCBMode mode : {cmThread, cmWindow}) {
        SCOPED_TRACE(mode == cmThread ? "thread" : "window");
        Rig rig(mode);
        test::ErrorRecorder errors;
        rig.script->loseAfter = 5;
        rig.script->loseError = 4242;
        rig.wave->Start();
        rig.sim.AdvanceMs(2000);
        EXPECT_EQ(rig.link->buffers, 5);
        EXPECT_FALSE(rig.wave->IsOpen());
        EXPECT_EQ(rig.events, (QStringList{"open", "start", "error", "stop", "close"}));
        EXPECT_EQ(rig.link->stops, 1);
        EXPECT_EQ(rig.link->closes, 1);
        ASSERT_EQ(errors.Messages().size(), 1);
        EXPECT_EQ(errors.Messages()[0],
                  "WaveIn:\n\rThe recording device stopped delivering audio\n\rThe scripted device failed.");
        EXPECT_EQ(rig.script->closes.load(), 1);
    }
}

TEST(WaveIn, ALossHandlerIsToldTheReasonInsteadOfTheUser)
{
    Rig rig;
    test::ErrorRecorder errors;
    QStringList reasons;
    rig.wave->OnDeviceLost = [&](QObject* sender, const QString& reason) {
        EXPECT_EQ(sender, static_cast<QObject*>(rig.wave.get()));
        // Told after the source has closed in order: it can be started again.
        EXPECT_FALSE(rig.wave->IsOpen());
        reasons << reason;
    };
    rig.script->loseAfter = 5;
    rig.script->loseError = 4242;
    rig.wave->Start();
    rig.sim.AdvanceMs(2000);
    EXPECT_EQ(reasons, QStringList{"The scripted device failed."});
    EXPECT_TRUE(errors.Messages().isEmpty());
    EXPECT_EQ(rig.events, (QStringList{"open", "start", "error", "stop", "close"}));
    // Started again, it records again.
    rig.script->loseAfter = -1;
    rig.wave->Start();
    rig.sim.AdvanceMs(500);
    EXPECT_GT(rig.link->buffers, 5);
    rig.wave->Close();
}

TEST(WaveIn, PauseRestartAndAFailingLink)
{
    Rig rig;
    TMMWaveIn& w = *rig.wave;
    // Paused before starting: buffers are queued, the device waits.
    w.Pause();
    EXPECT_TRUE(w.IsOpen());
    EXPECT_TRUE(w.IsPaused());
    w.Start();
    EXPECT_TRUE(w.IsStarted());
    EXPECT_EQ(rig.script->starts.load(), 0);
    rig.sim.AdvanceMs(500);
    EXPECT_EQ(rig.link->buffers, 0);
    w.Restart();
    EXPECT_FALSE(w.IsPaused());
    rig.sim.AdvanceMs(100);
    EXPECT_EQ(rig.link->buffers, 1);
    w.Pause();
    rig.sim.AdvanceMs(500);
    EXPECT_EQ(rig.link->buffers, 1);
    w.Restart();
    rig.sim.AdvanceMs(100);
    EXPECT_EQ(rig.link->buffers, 2);
    EXPECT_EQ(rig.events, (QStringList{"open", "pause", "start", "restart", "pause", "restart"}));

    // A failing restart closes the device.
    w.Pause();
    rig.script->failures["Start"] = pf::MMSYSERR_NOMEM;
    EXPECT_EQ(MessageOf([&] { w.Restart(); }),
              "WaveInRestart:\n\r" + QString(pf::MMSystemErrorText(pf::MMSYSERR_NOMEM)));
    EXPECT_FALSE(w.IsOpen());
    rig.script->failures.clear();

    // A link that throws on the capture thread: the device is closed in
    // order on the window thread and the error reaches the user.
    test::ErrorRecorder errors;
    rig.link->onBuffer = [&](PWaveHdr) {
        if (rig.link->buffers == 3)
            throw EMMError("link failed");
    };
    rig.events.clear();
    const int before = rig.link->buffers;
    w.Start();
    rig.sim.AdvanceMs(1000);
    EXPECT_EQ(rig.link->buffers, before + 1);
    EXPECT_FALSE(w.IsOpen());
    EXPECT_EQ(errors.Messages(), QStringList{"link failed"});
    EXPECT_EQ(rig.events, (QStringList{"open", "start", "error", "stop", "close"}));
    // And it can be started again.
    rig.link->onBuffer = nullptr;
    w.Start();
    rig.sim.AdvanceMs(100);
    EXPECT_EQ(rig.link->buffers, before + 2);
}

TEST(WaveIn, DestroyedWhileRunning)
{
    Rig rig;
    rig.wave->Start();
    rig.sim.AdvanceMs(300);
    rig.wave.reset();  // closes the device, stops the thread
    EXPECT_EQ(rig.script->closes.load(), 1);
    EXPECT_FALSE(rig.link->Opened());
    EXPECT_EQ(rig.link->Input(), nullptr);
    rig.sim.AdvanceMs(300);
}
