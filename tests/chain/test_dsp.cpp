#include "chain/dspcomponent.h"
#include "platform/clock.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

using namespace zol;

namespace {

// A plain link that records what reaches it.
class Probe : public TMMDSPComponent {
public:
    explicit Probe(std::string name, std::vector<std::string>* log = nullptr)
        : name_(std::move(name)), log_(log) {}
    ~Probe() override { Destroying(); }
    void NotifyOpen() override { Log("open"); TMMDSPComponent::NotifyOpen(); }
    void NotifyClose() override { Log("close"); TMMDSPComponent::NotifyClose(); }
    void NotifyStart() override { Log("start"); TMMDSPComponent::NotifyStart(); }
    void NotifyStop() override { Log("stop"); TMMDSPComponent::NotifyStop(); }
    void SetBufferSize(int size) override { Log("size" + std::to_string(size)); TMMDSPComponent::SetBufferSize(size); }
    int formatsReceived = 0;
    void SetWaveFormat(const WAVEFORMATEX* format) override
    {
        ++formatsReceived;
        TMMDSPComponent::SetWaveFormat(format);
    }

private:
    void Log(const std::string& what)
    {
        if (log_ && !IsDestroying())
            log_->push_back(name_ + ":" + what);
    }
    std::string name_;
    std::vector<std::string>* log_;
};

// A sound component (owns its format; no input side), as a capture source is.
class Source : public TMMCustomSoundComponent {
public:
    explicit Source(std::string name = "S", std::vector<std::string>* log = nullptr)
        : name_(std::move(name)), log_(log)
    {
        WAVEFORMATEX f;
        MakePcmFormat(f, 16, 2, 11025);
        SetWaveFormat(&f);
    }
    bool HasLinkProperty(const QString& name) const override { return name == "Output"; }
    void NotifyOpen() override { Log("open"); PropagateOpen(); }
    void NotifyClose() override { Log("close"); PropagateClose(); }
    void NotifyStart() override { Log("start"); PropagateStart(); }
    void NotifyStop() override { Log("stop"); PropagateStop(); }
    void SetBufferSize(int size) override { Log("size" + std::to_string(size)); TMMDSPComponent::SetBufferSize(size); }

private:
    void Log(const std::string& what)
    {
        if (log_)
            log_->push_back(name_ + ":" + what);
    }
    std::string name_;
    std::vector<std::string>* log_;
};

}  // namespace

TEST(Chain, OneOutputFeedsOneInput)
{
    Probe a("A"), b("B"), c("C");
    b.SetInput(&a);
    EXPECT_EQ(a.Output(), &b);
    EXPECT_EQ(b.Input(), &a);
    EXPECT_EQ(b.InputPropName(), "Output");
    EXPECT_EQ(a.OutputPropName(), "Input");

    c.SetInput(&a);
    EXPECT_EQ(a.Output(), &c);
    EXPECT_EQ(b.Input(), nullptr);
    EXPECT_EQ(b.InputPropName(), "");

    // The mirror: taking over an input through Output.
    Probe d("D");
    d.SetOutput(&c);
    EXPECT_EQ(c.Input(), &d);
    EXPECT_EQ(a.Output(), nullptr);
    EXPECT_EQ(d.Output(), &c);

    c.SetInput(nullptr);
    EXPECT_EQ(d.Output(), nullptr);
    EXPECT_EQ(c.Input(), nullptr);
}

TEST(Chain, LoopsAndLinksWithoutTheSideAreRefused)
{
    Probe a("A"), b("B"), c("C");
    b.SetInput(&a);
    c.SetInput(&b);
    a.SetInput(&c);  // c is downstream of a
    EXPECT_EQ(a.Input(), nullptr);
    a.SetInput(&b);
    EXPECT_EQ(a.Input(), nullptr);
    a.SetInput(&a);
    EXPECT_EQ(a.Input(), nullptr);
    c.SetOutput(&a);  // mirror: a is upstream of c
    EXPECT_EQ(c.Output(), nullptr);

    // A source has no input side: nothing can feed it.
    Source s;
    c.SetOutput(&s);
    EXPECT_EQ(c.Output(), nullptr);
    s.SetInput(&c);
    EXPECT_EQ(s.Input(), nullptr);
    a.SetInput(&s);
    EXPECT_EQ(s.Output(), &a);
    EXPECT_EQ(b.Input(), &a);
}

TEST(Chain, BufferSizeIsRoundedToWholeFramesOnOpen)
{
    struct Case {
        int size;
        int expected;
    };
    for (const Case& c : {Case{4096, 4096}, Case{4097, 4096}, Case{2, 4}, Case{7, 4}}) {
        Source s;
        Probe p("P");
        p.SetInput(&s);
        s.SetBufferSize(c.size);
        s.NotifyOpen();
        EXPECT_EQ(s.RealBufferSize(), c.expected) << c.size;
        EXPECT_EQ(s.GetBufferSize(), c.expected);
        EXPECT_EQ(p.RealBufferSize(), c.expected) << "the link gets the source's size";
        s.NotifyClose();
        EXPECT_EQ(s.GetBufferSize(), c.size);
    }
    // Without a format the size is taken as it is.
    Probe lone("L");
    lone.SetBufferSize(4097);
    lone.NotifyOpen();
    EXPECT_EQ(lone.RealBufferSize(), 4097);
}

TEST(Chain, DestroyingAMiddleLinkUnlinksBothNeighbours)
{
    Probe a("A"), c("C");
    auto b = std::make_unique<Probe>("B");
    b->SetInput(&a);
    c.SetInput(b.get());
    b.reset();
    EXPECT_EQ(a.Output(), nullptr);
    EXPECT_EQ(c.Input(), nullptr);
    const auto links = TMMDSPComponent::Links();
    EXPECT_EQ(std::count(links.begin(), links.end(), static_cast<TMMDSPComponent*>(&a)), 1);
    EXPECT_EQ(TMMDSPComponent::LinkCount(), 2);
}

TEST(Chain, FormatsRunDownTheChain)
{
    Source s;
    Probe a("A"), b("B");
    a.SetInput(&s);
    b.SetInput(&a);
    ASSERT_NE(b.GetWaveFormat(), nullptr);
    EXPECT_EQ(b.GetWaveFormat()->nSamplesPerSec, 11025u);
    EXPECT_NE(b.GetWaveFormat(), s.GetWaveFormat());  // each link owns a copy

    WAVEFORMATEX f;
    MakePcmFormat(f, 8, 1, 8000);
    s.SetWaveFormat(&f);
    EXPECT_EQ(b.GetWaveFormat()->wBitsPerSample, 8);
    EXPECT_EQ(b.GetWaveFormat()->nAvgBytesPerSec, 8000u);

    // The same record again: no copy, but still forwarded.
    const WAVEFORMATEX* stored = a.GetWaveFormat();
    const int before = b.formatsReceived;
    a.SetWaveFormat(stored);
    EXPECT_EQ(a.GetWaveFormat(), stored);
    EXPECT_EQ(b.formatsReceived, before + 1);

    // Unlinking clears the lower link's format.
    a.SetInput(nullptr);
    EXPECT_EQ(a.GetWaveFormat(), nullptr);
    EXPECT_EQ(b.GetWaveFormat(), nullptr);

    // While loading nothing is forwarded; Loaded sends it once.
    Probe c("C");
    s.BeginLoading();
    c.BeginLoading();
    a.BeginLoading();
    c.SetInput(&a);
    a.SetInput(&s);
    EXPECT_EQ(c.GetWaveFormat(), nullptr);
    s.Loaded();
    EXPECT_EQ(c.GetWaveFormat(), nullptr);
    a.Loaded();
    c.Loaded();
    ASSERT_NE(c.GetWaveFormat(), nullptr);
    EXPECT_EQ(c.GetWaveFormat()->wBitsPerSample, 8);
}

TEST(Chain, FormatHelpers)
{
    WAVEFORMATEX f;
    MakePcmFormat(f, 16, 2, 11025);
    EXPECT_EQ(f.nBlockAlign, 4);
    EXPECT_EQ(f.nAvgBytesPerSec, 44100u);
    EXPECT_TRUE(IsValidPcmFormat(&f));
    EXPECT_FALSE(IsValidPcmFormat(nullptr));
    f.nSamplesPerSec = 3999;
    EXPECT_FALSE(IsValidPcmFormat(&f));
    f.nSamplesPerSec = 100000;
    EXPECT_TRUE(IsValidPcmFormat(&f));
    f.wBitsPerSample = 24;
    EXPECT_FALSE(IsValidPcmFormat(&f));
    f.wBitsPerSample = 16;
    f.nChannels = 3;
    EXPECT_FALSE(IsValidPcmFormat(&f));

    // PCM copies are 18 bytes whatever cbSize says; others carry their extra bytes.
    f.nChannels = 2;
    f.cbSize = 1000;
    EXPECT_EQ(WaveFormatSize(&f), 18u);
    auto copy = CopyWaveFormat(&f);
    EXPECT_EQ(copy->cbSize, 0);
    struct {
        WAVEFORMATEX f;
        unsigned char extra[4];
    } adpcm{};
    adpcm.f.wFormatTag = 2;
    adpcm.f.cbSize = 4;
    adpcm.extra[3] = 0x5A;
    auto other = CopyWaveFormat(&adpcm.f);
    EXPECT_EQ(WaveFormatSize(other.get()), 22u);
    EXPECT_EQ(reinterpret_cast<unsigned char*>(other.get())[21], 0x5A);
    EXPECT_EQ(CopyWaveFormat(nullptr), nullptr);
}

TEST(Chain, StateNotificationsWalkEachSegment)
{
    std::vector<std::string> log;
    Source s("S", &log);
    Probe a("A", &log), b("B", &log);
    Source t("T", &log);  // a second sound component downstream
    Probe c("C", &log);
    a.SetInput(&s);
    b.SetInput(&a);
    // T has no input side in this test; link it from B's output instead.
    t.BeginLoading();
    b.SetOutput(&t);  // refused: T offers no input side
    EXPECT_EQ(b.Output(), nullptr);

    class Sound2 : public TMMCustomSoundComponent {
    public:
        explicit Sound2(std::vector<std::string>* l) : log_(l) {}
        void NotifyOpen() override { log_->push_back("U:open"); PropagateOpen(); }
        void NotifyStop() override { log_->push_back("U:stop"); PropagateStop(); }
        void SetBufferSize(int size) override { log_->push_back("U:size" + std::to_string(size)); TMMDSPComponent::SetBufferSize(size); }

    private:
        std::vector<std::string>* log_;
    } u(&log);
    u.SetInput(&b);
    c.SetInput(&u);
    log.clear();

    s.SetBufferSize(4096);
    log.clear();
    s.NotifyOpen();
    const std::vector<std::string> open = {"S:open", "A:size4096", "A:open", "B:size4096", "B:open",
                                           "U:size4096", "U:open", "C:size4096", "C:open"};
    EXPECT_EQ(log, open);
    EXPECT_TRUE(s.Opened());
    EXPECT_TRUE(u.Opened());

    s.NotifyStart();
    log.clear();
    s.NotifyStop();
    // The lower segment first, then this one's plain links; U is not told twice.
    const std::vector<std::string> stop = {"S:stop", "U:stop", "C:stop", "A:stop", "B:stop"};
    EXPECT_EQ(log, stop);
    EXPECT_FALSE(a.Started());
}

namespace {

constexpr int kMsgData = 1;

// A capture-like source: a DSP thread receives "buffer filled" messages and
// runs the chain on each.
class ThreadedSource : public TMMCustomSoundComponent {
public:
    class Worker : public TMMDSPThread {
    public:
        explicit Worker(ThreadedSource* owner) : owner_(owner) {}

    protected:
        void Execute() override
        {
            platform::ThreadMessage m;
            while (owner_->queue.Wait(owner_->stop, m)) {
                owner_->Deliver(static_cast<std::uint32_t>(m.wParam));
                owner_->queue.Done();
            }
        }

    private:
        ThreadedSource* owner_;
    };

    ThreadedSource()
    {
        WAVEFORMATEX f;
        MakePcmFormat(f, 16, 2, 11025);
        SetWaveFormat(&f);
        SetBufferSize(4096);
        block_.resize(kWaveHdrArea + 4096);
        header_ = reinterpret_cast<WAVEHDR*>(block_.data());
        header_->lpData = reinterpret_cast<char*>(block_.data() + kWaveHdrArea);
        header_->dwBufferLength = 4096;
    }
    bool HasLinkProperty(const QString& name) const override { return name == "Output"; }

    void Run()
    {
        NotifyOpen();
        NotifyStart();
        worker_ = std::make_unique<Worker>(this);
        worker_->Resume();
        // One buffer every 4096 / 44100 s, at exact deadlines.
        timer_ = platform::TheClock().StartPeriodic(92880, [this] { queue.Post({kMsgData, sequence_++, 0}); });
    }
    void Halt()
    {
        platform::TheClock().KillTimer(timer_);
        stop.Set();
        worker_->WaitFor(5000);
        worker_.reset();
        NotifyStop();
        NotifyClose();
    }
    void Deliver(std::uint32_t seq)
    {
        auto* samples = reinterpret_cast<std::uint32_t*>(header_->lpData);
        samples[0] = seq;
        header_->dwBytesRecorded = 4096;
        BufferReady(header_);
    }

    platform::ThreadQueue queue;
    platform::TEvent stop;

private:
    std::vector<unsigned char> block_;
    WAVEHDR* header_;
    std::unique_ptr<Worker> worker_;
    platform::TimerId timer_ = 0;
    std::intptr_t sequence_ = 0;
};

class Recorder : public TMMDSPComponent {
public:
    void BufferReady(PWaveHdr h) override
    {
        const auto seq = *reinterpret_cast<std::uint32_t*>(h->lpData);
        if (!platform::IsWindowThread() && TMMDSPThread::IsDSPThread(std::this_thread::get_id()))
            ++onCaptureThread;
        if (seq != expected)
            ++outOfOrder;
        expected = seq + 1;
        // Every 100th buffer a window-thread call, as a display would make.
        if (seq % 100 == 0)
            SyncCall([this] {
                if (platform::IsWindowThread())
                    ++syncOnWindow;
            });
        TMMDSPComponent::BufferReady(h);
    }
    std::uint32_t expected = 0;
    int onCaptureThread = 0;
    int outOfOrder = 0;
    int syncOnWindow = 0;
};

}  // namespace

TEST(Chain, ThousandsOfBuffersArriveInOrderOnTheCaptureThread)
{
    platform::SimClock& sim = test::ResetSim();
    ThreadedSource source;
    Probe a("A"), b("B");
    Recorder last;
    a.SetInput(&source);
    b.SetInput(&a);
    last.SetInput(&b);
    int seenByA = 0;
    a.OnBufferReady = [&](QObject* sender, PWaveHdr) {
        if (sender == &a)
            ++seenByA;
    };

    source.Run();
    sim.AdvanceMs(5 * 60 * 1000);  // five minutes of audio
    source.Halt();

    const int expected = static_cast<int>(5 * 60 * 1000000LL / 92880);
    EXPECT_EQ(static_cast<int>(last.expected), expected);
    EXPECT_EQ(seenByA, expected);
    EXPECT_EQ(last.onCaptureThread, expected);
    EXPECT_EQ(last.outOfOrder, 0);
    EXPECT_EQ(last.syncOnWindow, (expected + 99) / 100);
    EXPECT_FALSE(last.Started());
}

TEST(Chain, SyncCallRunsDirectlyOutsideDSPThreads)
{
    bool ran = false;
    SyncCall([&] { ran = true; });
    EXPECT_TRUE(ran);
    // A plain thread that is no DSP thread runs the call itself.
    std::thread plain([&] {
        bool onWindow = true;
        SyncCall([&] { onWindow = platform::IsWindowThread(); });
        EXPECT_FALSE(onWindow);
    });
    plain.join();
}
