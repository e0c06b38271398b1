// Damaged and hostile streams: many deterministic random mutations and
// truncations of valid "EQU" and "OBJ" streams. Each one must either load
// or raise a stream error, and never read or write out of bounds (run under
// the sanitizer build); what loads must be a consistent filter set that
// filters and stores again.
#include "chain/equalizer.h"
#include "tests/chain/filter_sets.h"
#include "chain/objectlist.h"
#include "tests/support/stream_mutation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace zol {
namespace {

QByteArray MixedObjectStream()
{
    TObjectList list;
    list.Add(new TMMEQFilter(100, 200, -3));
    list.Add(new TMMFIRFilterItem(440, 1));
    list.Add(new TMMEQFilter(300, 400, 6, false));
    return list.SaveToBytes();
}

QByteArray LongEqualizerStream()
{
    TMMEqualizer eq;
    eq.SetDescription(QStringLiteral("A rather long description of a filter set"));
    eq.SetFFTLength(1024);
    for (int i = 0; i < 12; ++i)
        eq.Filters()->AddFilter(100.0f * i, 100.0f * i + 80, -3.0f * i, i % 3 != 0);
    return eq.SaveFilterStream();
}

TEST(EqualizerStreams, RandomMutationsLoadOrRaiseAStreamError)
{
    const std::vector<QByteArray> equBases = {EqualizerStream550To750(), EqualizerStream700To900(),
                                              LongEqualizerStream()};
    const QByteArray objBase = MixedObjectStream();
    std::mt19937 rng(20260812);
    const WAVEFORMATEX format = [] {
        WAVEFORMATEX f{};
        MakePcmFormat(f, 16, 2, 11025);
        return f;
    }();
    std::vector<std::int16_t> samples(2048);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::int16_t>(8000 * std::sin(0.37 * static_cast<double>(i)));

    int loaded = 0, refused = 0;
    TMMEqualizer reused;
    for (int round = 0; round < 6000; ++round) {
        const QByteArray& base = equBases[static_cast<std::size_t>(round) % equBases.size()];
        const QByteArray bytes = test::MutateStream(base, rng);

        // A fresh equalizer and one that already holds filters.
        TMMEqualizer fresh;
        for (TMMEqualizer* eq : {&fresh, &reused}) {
            const int before = eq->Filters()->Count();
            try {
                eq->LoadFilterStream(bytes);
                ++loaded;
            } catch (const EStreamError&) {
                ++refused;
                if (bytes.left(4) != QByteArray("EQU\0", 4)) {
                    ASSERT_EQ(eq->Filters()->Count(), before) << "wrong magic keeps the list";
                }
            } catch (const std::exception& e) {
                FAIL() << "unexpected error " << e.what() << " for " << bytes.toHex().constData();
            }
            ASSERT_EQ(eq->Filters()->UpdateCount(), 0);
            ASSERT_GE(eq->FFTLength(), 8);
            ASSERT_LE(eq->FFTLength(), 4096);
            for (int i = 0; i < eq->Filters()->Count(); ++i)
                ASSERT_NE(dynamic_cast<TMMEQFilter*>(eq->Filters()->Get(i)), nullptr);
        }

        // What loaded stores again and survives a reload.
        const QByteArray again = fresh.SaveFilterStream();
        TMMEqualizer copy;
        copy.LoadFilterStream(again);
        ASSERT_EQ(copy.SaveFilterStream(), again);

        // Now and then run audio through whatever curve the stream gave
        // (NaN, endless or huge band edges and gains included).
        if (round % 25 == 0) {
            fresh.SetWaveFormat(&format);
            fresh.NotifyOpen();
            fresh.NotifyStart();
            std::vector<std::int16_t> buf = samples;
            std::vector<unsigned char> block(kWaveHdrArea + buf.size() * 2);
            auto* hdr = reinterpret_cast<WAVEHDR*>(block.data());
            hdr->lpData = reinterpret_cast<char*>(block.data() + kWaveHdrArea);
            hdr->dwBufferLength = hdr->dwBytesRecorded = static_cast<std::uint32_t>(buf.size() * 2);
            std::memcpy(hdr->lpData, buf.data(), buf.size() * 2);
            fresh.BufferReady(hdr);
            fresh.BufferReady(hdr);
            fresh.NotifyClose();
        }
    }
    // Both outcomes must have been exercised plenty.
    EXPECT_GT(loaded, 500);
    EXPECT_GT(refused, 3000);

    int objLoaded = 0;
    for (int round = 0; round < 3000; ++round) {
        const QByteArray bytes = test::MutateStream(objBase, rng);
        TObjectList list;
        list.Add(new TMMFIRFilterItem(1, 2));
        try {
            list.LoadFromBytes(bytes);
            ++objLoaded;
            TObjectList copy;
            copy.LoadFromBytes(list.SaveToBytes());
            ASSERT_EQ(copy.Count(), list.Count());
        } catch (const EStreamError&) {
            if (bytes.left(4) != QByteArray("OBJ\0", 4)) {
                ASSERT_EQ(list.Count(), 1);
            }
        } catch (const std::exception& e) {
            FAIL() << "unexpected error " << e.what() << " for " << bytes.toHex().constData();
        }
        ASSERT_EQ(list.UpdateCount(), 0);
    }
    EXPECT_GT(objLoaded, 100);
}

}  // namespace
}  // namespace zol
