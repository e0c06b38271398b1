// TMMEqualizer, its filters, filter list and "EQU" stream.
#include "chain/equalizer.h"
#include "tests/chain/filter_sets.h"
#include "chain/fftfilter.h"

#include "platform/strings.h"
#include "platform/window_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

namespace zol {
namespace {

WAVEFORMATEX Pcm(int bits, int channels, int rate)
{
    WAVEFORMATEX f{};
    MakePcmFormat(f, bits, channels, rate);
    return f;
}

std::vector<float> Response(const TMMEqualizer& eq)
{
    std::vector<float> r(FilterEngineFFTLength(eq.Engine()) / 2 + 1);
    GetFilterResponse(eq.Engine(), r.data());
    return r;
}

float Linear(float db)
{
    return static_cast<float>(std::pow(10.0L, (db + 6.0L) / 20.0L));
}

// Opens an equalizer on 16-bit stereo at `rate` without a chain.
void Open(TMMEqualizer& eq, int rate = 11025)
{
    const WAVEFORMATEX f = Pcm(16, 2, rate);
    eq.SetWaveFormat(&f);
    eq.NotifyOpen();
    eq.NotifyStart();
}

// A buffer header with its data behind it, as a capture source makes them.
struct Buffer {
    explicit Buffer(const std::vector<std::int16_t>& samples)
        : block(kWaveHdrArea + samples.size() * 2)
    {
        hdr = reinterpret_cast<WAVEHDR*>(block.data());
        hdr->lpData = reinterpret_cast<char*>(block.data() + kWaveHdrArea);
        hdr->dwBufferLength = static_cast<std::uint32_t>(samples.size() * 2);
        hdr->dwBytesRecorded = hdr->dwBufferLength;
        std::memcpy(hdr->lpData, samples.data(), samples.size() * 2);
    }
    std::vector<std::int16_t> Samples() const
    {
        std::vector<std::int16_t> s(hdr->dwBufferLength / 2);
        std::memcpy(s.data(), hdr->lpData, s.size() * 2);
        return s;
    }
    std::vector<unsigned char> block;
    WAVEHDR* hdr;
};

std::vector<std::int16_t> Noise(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> u(-12000, 12000);
    std::vector<std::int16_t> v(n);
    for (auto& s : v)
        s = static_cast<std::int16_t>(u(rng));
    return v;
}

TEST(Equalizer, DefaultsAndPropertyRules)
{
    TMMEqualizer eq;
    EXPECT_TRUE(eq.Enabled());
    EXPECT_EQ(eq.SampleRate(), 4000);
    EXPECT_EQ(eq.FFTLength(), 256);
    EXPECT_EQ(eq.Description(), QStringLiteral("Untitled"));
    EXPECT_EQ(eq.Filters()->Count(), 0);
    EXPECT_EQ(eq.Channel(), chBoth);
    EXPECT_EQ(eq.Window(), fwHamming);
    EXPECT_EQ(eq.Engine(), nullptr);

    eq.SetFFTLength(300);
    EXPECT_EQ(eq.FFTLength(), 256);
    eq.SetFFTLength(5);
    EXPECT_EQ(eq.FFTLength(), 8);
    eq.SetFFTLength(100000);
    EXPECT_EQ(eq.FFTLength(), 4096);
    eq.SetSampleRate(100);
    EXPECT_EQ(eq.SampleRate(), 4000);
    eq.SetSampleRate(200000);
    EXPECT_EQ(eq.SampleRate(), 100000);

    // Open: the engine uses at most 1024; the format sets SampleRate.
    Open(eq);
    EXPECT_EQ(eq.SampleRate(), 11025);
    ASSERT_NE(eq.Engine(), nullptr);
    EXPECT_EQ(FilterEngineFFTLength(eq.Engine()), 1024);
    // A new length while open replaces the engine.
    eq.SetFFTLength(256);
    ASSERT_NE(eq.Engine(), nullptr);
    EXPECT_EQ(FilterEngineFFTLength(eq.Engine()), 256);
    eq.SetWindow(fwBlackman);
    EXPECT_EQ(FilterEngineWindow(eq.Engine()), fwBlackman);
    eq.NotifyClose();
    EXPECT_EQ(eq.Engine(), nullptr);
    EXPECT_FALSE(eq.EngineOpen());
}

TEST(Equalizer, InvalidWaveFormat)
{
    TMMEqualizer eq;
    const WAVEFORMATEX f8 = Pcm(8, 2, 11025);
    try {
        eq.SetWaveFormat(&f8);
        FAIL() << "8-bit accepted";
    } catch (const EMMEqualizerError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Invalid WaveFormat"));
    }
    WAVEFORMATEX other = Pcm(16, 2, 11025);
    other.wFormatTag = 2;
    EXPECT_THROW(eq.SetWaveFormat(&other), EMMEqualizerError);
    WAVEFORMATEX fast = Pcm(16, 2, 200000);
    EXPECT_THROW(eq.SetWaveFormat(&fast), EMMEqualizerError);
    EXPECT_EQ(eq.WaveFormat(), nullptr);
    eq.SetWaveFormat(nullptr);  // none is accepted
    eq.NotifyOpen();            // no format: no engine
    EXPECT_EQ(eq.Engine(), nullptr);
}

TEST(Equalizer, DisabledFilterOwnChangeVersusReapplyingTheList)
{
    TMMEqualizer eq;
    eq.Filters()->AddFilter(0, 5512, -20);   // A: every bin at -20 dB
    eq.Filters()->AddFilter(550, 750, -40);  // B: bins 12-17 at -40 dB
    Open(eq);
    int changes = 0;
    eq.OnChange = [&](QObject* sender) {
        EXPECT_EQ(sender, &eq);
        ++changes;
    };
    auto r = Response(eq);
    EXPECT_FLOAT_EQ(r[11], Linear(-20));
    EXPECT_FLOAT_EQ(r[14], Linear(-40));

    // B's own change (disabled): its band is set to 0 dB.
    TMMEQFilter* b = eq.Filters()->Filter(1);
    b->SetEnabled(false);
    EXPECT_EQ(changes, 1);
    r = Response(eq);
    for (int m = 12; m <= 17; ++m)
        EXPECT_FLOAT_EQ(r[m], Linear(0)) << m;
    EXPECT_FLOAT_EQ(r[11], Linear(-20));
    // Moving the disabled band sets 0 dB over its new range as well.
    b->SetValues(550, 1000, -40);
    EXPECT_EQ(changes, 2);
    EXPECT_FLOAT_EQ(Response(eq)[23], Linear(0));
    b->SetValues(550, 1000, -40);  // unchanged: nothing
    b->SetEnabled(false);
    EXPECT_EQ(changes, 2);

    // Re-applying the whole list (any list change, or a start) skips B: its
    // bins fall back to A's -20 dB.
    eq.NotifyStart();
    r = Response(eq);
    for (int m = 0; m <= 127; ++m)
        EXPECT_FLOAT_EQ(r[m], Linear(-20)) << m;
    b->SetEnabled(true);
    EXPECT_FLOAT_EQ(Response(eq)[14], Linear(-40));
    eq.Filters()->Filter(1)->SetEnabled(false);
    eq.Filters()->AddFilter(4000, 5000, -10, false);  // a disabled filter added: re-apply
    EXPECT_EQ(changes, 5);
    r = Response(eq);
    EXPECT_FLOAT_EQ(r[14], Linear(-20));
    EXPECT_FLOAT_EQ(r[100], Linear(-20));

    // Changes while the list is in an update are not applied one by one.
    eq.Filters()->BeginUpdate();
    eq.Filters()->Filter(0)->SetGain(-30);
    EXPECT_FLOAT_EQ(Response(eq)[5], Linear(-20));
    eq.Filters()->EndUpdate();
    EXPECT_FLOAT_EQ(Response(eq)[5], Linear(-30));
}

TEST(Equalizer, WrongMagicLeavesTheListAsItWas)
{
    TMMEqualizer eq;
    eq.LoadFilterStream(EqualizerStream700To900());
    eq.SetDescription(QStringLiteral("mine"));
    eq.SetFFTLength(512);
    QByteArray bad = EqualizerStream550To750();
    bad[3] = 'X';
    for (const QByteArray& b : {bad, QByteArray("OBJ\0\1\0\0", 7), QByteArray("EQ")}) {
        try {
            eq.LoadFilterStream(b);
            FAIL() << "accepted";
        } catch (const EStreamError& e) {
            if (b.size() > 2) {
                EXPECT_EQ(e.Message(), QStringLiteral("Invalid Object stream"));
            }
        }
        ASSERT_EQ(eq.Filters()->Count(), 3);
        EXPECT_EQ(eq.Filters()->Filter(1)->Freq1(), 700.0f);
        EXPECT_EQ(eq.Description(), QStringLiteral("mine"));
        EXPECT_EQ(eq.FFTLength(), 512);
        EXPECT_EQ(eq.Filters()->UpdateCount(), 0);
    }

    // An EQU stream must hold filters only: another registered class is
    // refused and nothing of it is kept.
    TMemoryStream s;
    s.WriteBuffer("EQU", 4);
    s.WriteU8(1);
    s.WriteI32(0);
    s.WriteI32(256);
    s.WriteI16(1);
    s.WriteU8(16);
    s.WriteChars(QStringLiteral("TMMFIRFilterItem"));
    s.WriteSingle(1);
    s.WriteSingle(2);
    EXPECT_THROW(eq.LoadFilterStream(s.Data()), EStreamError);
    EXPECT_EQ(eq.Filters()->Count(), 0);
    TMMFIRFilterItem fir;
    EXPECT_THROW(eq.Filters()->Add(&fir), EMMEqualizerError);
    EXPECT_EQ(eq.Filters()->Count(), 0);
}

TEST(Equalizer, FilteringEnablingAndOverflow)
{
    TMMEqualizer eq;
    eq.LoadFilterStream(EqualizerStream550To750());
    Open(eq);
    const auto in = Noise(2048, 1);

    // Enabled: filtered in place (band-limited noise is much weaker).
    Buffer a(in);
    eq.BufferReady(a.hdr);
    const auto out = a.Samples();
    EXPECT_NE(out, in);
    long long eIn = 0, eOut = 0;
    for (std::size_t i = 0; i < in.size(); ++i) {
        eIn += static_cast<long long>(in[i]) * in[i];
        eOut += static_cast<long long>(out[i]) * out[i];
    }
    EXPECT_LT(eOut * 5, eIn);

    // Disabled: passed on untouched, the next link sees the same buffer.
    eq.SetEnabled(false);
    TMMDSPComponent next;
    eq.SetOutput(&next);
    int seen = 0;
    next.OnBufferReady = [&](QObject*, PWaveHdr h) {
        ++seen;
        std::vector<std::int16_t> got(h->dwBytesRecorded / 2);
        std::memcpy(got.data(), h->lpData, h->dwBytesRecorded);
        EXPECT_EQ(got, in);
    };
    Buffer b(in);
    eq.BufferReady(b.hdr);
    EXPECT_EQ(seen, 1);
    eq.SetOutput(nullptr);

    // Re-enabled after a reset: the same as a fresh start.
    eq.SetEnabled(true);
    Buffer c(in);
    eq.BufferReady(c.hdr);
    EXPECT_EQ(c.Samples(), out);

    // Channel selection reaches the engine: chLeft leaves the right channel.
    eq.SetChannel(chLeft);
    eq.NotifyReset();
    Buffer d(in);
    eq.BufferReady(d.hdr);
    const auto left = d.Samples();
    for (std::size_t i = 0; i < in.size(); i += 2) {
        ASSERT_EQ(left[i], out[i]);
        ASSERT_EQ(left[i + 1], in[i + 1]);
    }

    // Clipping fires OnPcmOverflow (here on the window thread directly).
    TMMEqualizer loud;
    loud.Filters()->AddFilter(0, 5512, 20);
    Open(loud);
    int overflows = 0;
    loud.OnPcmOverflow = [&](QObject* sender) {
        EXPECT_EQ(sender, &loud);
        ++overflows;
    };
    std::vector<std::int16_t> square(2048);
    for (std::size_t i = 0; i < square.size(); ++i)
        square[i] = (i / 40) % 2 ? 30000 : -30000;
    Buffer e(square);
    loud.BufferReady(e.hdr);
    EXPECT_EQ(overflows, 1);

    // A header whose recorded count exceeds its length is held to the length.
    Buffer f(in);
    f.hdr->dwBytesRecorded = 1u << 30;
    eq.BufferReady(f.hdr);
    eq.BufferReady(nullptr);
}

TEST(Equalizer, CopyingFilterListsAndAssign)
{
    TMMEqualizer a, b;
    a.LoadFilterStream(EqualizerStream550To750());
    a.Filters()->Filter(0)->SetUserValue(42);
    a.Filters()->Filter(2)->SetEnabled(false);
    a.SetChannel(chRight);
    a.SetEnabled(false);
    a.SetDescription(QStringLiteral("band"));
    a.SetWindow(fwWelch);
    a.SetSampleRate(8000);
    Open(b);
    int changes = 0;
    b.OnChange = [&](QObject*) { ++changes; };
    b.Assign(a);
    EXPECT_EQ(changes, 1) << "the list copy is one change";
    EXPECT_EQ(b.Channel(), chRight);
    EXPECT_FALSE(b.Enabled());
    EXPECT_EQ(b.Description(), QStringLiteral("band"));
    EXPECT_EQ(b.FFTLength(), 256);
    EXPECT_EQ(b.Window(), fwWelch);
    EXPECT_EQ(b.SampleRate(), 8000);
    ASSERT_EQ(b.Filters()->Count(), 3);
    for (int i = 0; i < 3; ++i) {
        const TMMEQFilter* x = a.Filters()->Filter(i);
        const TMMEQFilter* y = b.Filters()->Filter(i);
        EXPECT_NE(x, y) << "copies, not shared";
        EXPECT_EQ(x->Freq1(), y->Freq1());
        EXPECT_EQ(x->Freq2(), y->Freq2());
        EXPECT_EQ(x->Gain(), y->Gain());
        EXPECT_EQ(x->Enabled(), y->Enabled());
        EXPECT_EQ(x->UserValue(), y->UserValue());
    }
    // A copied filter is hooked to its new equalizer.
    changes = 0;
    b.Filters()->Filter(1)->SetGain(-3);
    EXPECT_EQ(changes, 1);
    EXPECT_FLOAT_EQ(Response(b)[14], Linear(-3));

    b.SetFilters(nullptr);
    EXPECT_EQ(b.Filters()->Count(), 0);
    TObjectList plain;
    EXPECT_THROW(b.SetFilters(&plain), EMMError);
}

TEST(Equalizer, EditsOnTheWindowThreadWhileAnotherThreadFilters)
{
    // The capture thread filters while the window thread toggles Enabled,
    // replaces the engine (FFTLength), changes the window and edits bands:
    // the engine is never used after it was freed, nor half rebuilt.
    TMMEqualizer eq;
    eq.LoadFilterStream(EqualizerStream550To750());
    Open(eq);
    std::atomic<bool> stop{false};
    std::atomic<int> filtered{0};
    const auto in = Noise(2048, 9);
    std::thread capture([&] {
        while (!stop.load()) {
            Buffer b(in);
            eq.BufferReady(b.hdr);
            filtered.fetch_add(1);
        }
    });
    for (int i = 0; i < 60; ++i) {
        eq.SetEnabled(i % 3 != 0);
        eq.SetFFTLength(i % 2 ? 512 : 256);
        eq.SetWindow(static_cast<TMMFFTWindow>(i % 7));
        eq.Filters()->Filter(1)->SetGain(static_cast<float>(-(i % 10)));
        eq.NotifyReset();
        const int seen = filtered.load();
        while (filtered.load() == seen)
            std::this_thread::yield();
    }
    stop = true;
    capture.join();
    eq.NotifyClose();
    EXPECT_GE(filtered.load(), 60);
}

// A capture-style thread that runs one buffer through a link.
class TBufferThread : public TMMDSPThread {
public:
    TBufferThread(TMMDSPComponent& link, PWaveHdr hdr) : link_(link), hdr_(hdr) {}
    std::atomic<bool> done{false};

protected:
    void Execute() override
    {
        link_.BufferReady(hdr_);
        done = true;
        platform::WakeWaiters();
    }

private:
    TMMDSPComponent& link_;
    PWaveHdr hdr_;
};

TEST(Equalizer, OverflowFromTheCaptureThreadIsReportedOnTheWindowThread)
{
    TMMEqualizer loud;
    loud.Filters()->AddFilter(0, 5512, 20);
    Open(loud);
    int overflows = 0;
    bool onWindowThread = false;
    loud.OnPcmOverflow = [&](QObject*) {
        ++overflows;
        onWindowThread = platform::IsWindowThread();
    };
    std::vector<std::int16_t> square(2048);
    for (std::size_t i = 0; i < square.size(); ++i)
        square[i] = (i / 40) % 2 ? 30000 : -30000;
    Buffer b(square);
    TBufferThread thread(loud, b.hdr);
    thread.Resume();
    ASSERT_TRUE(platform::WaitUntil([&] { return thread.done.load(); }, 10000));
    thread.WaitFor();
    EXPECT_EQ(overflows, 1);
    EXPECT_TRUE(onWindowThread);
}

}  // namespace
}  // namespace zol
