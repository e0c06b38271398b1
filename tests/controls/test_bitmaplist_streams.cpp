// Damaged and hostile "ListItems" streams: many deterministic random
// mutations of valid plain and compressed streams, and of single compressed
// blocks. Each one loads or raises a stream error that leaves the list as it
// was; none reads or writes out of bounds (run under the sanitizer build).
#include "controls/bitmaplist.h"
#include "controls/blockcodec.h"
#include "platform/errors.h"
#include "tests/support/stream_mutation.h"

#include <gtest/gtest.h>

#include <random>

using namespace zol;

namespace {

QImage Pattern(int w, int h, int seed)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x * seed) & 0xFF, (y * 5) & 0xFF, (x / 4 + y / 4) * 20 & 0xFF));
    return image;
}

QByteArray Stream(bool compressed)
{
    TMMBitmapList list;
    list.Add(Pattern(12, 9, 3));
    list.Add(QImage());
    list.Add(Pattern(110, 100, 7));  // two blocks when compressed
    list.SetCompressed(compressed);
    return list.SaveListItems();
}

}  // namespace

TEST(BitmapListStreams, RandomMutationsLoadOrRaiseAStreamError)
{
    const QByteArray bases[] = {Stream(false), Stream(true)};
    std::mt19937 rng(20260907);
    const QImage kept = Pattern(5, 4, 11);
    int loaded = 0, refused = 0;
    for (int round = 0; round < 3000; ++round) {
        const QByteArray bytes = test::MutateStream(bases[round % 2], rng);
        TMMBitmapList list;
        list.Add(kept);
        try {
            list.LoadListItems(bytes);
            ++loaded;
            // What loaded stores and loads again, in both forms.
            for (bool compressed : {false, true}) {
                list.SetCompressed(compressed);
                TMMBitmapList copy;
                copy.LoadListItems(list.SaveListItems());
                ASSERT_EQ(copy.Count(), list.Count());
            }
        } catch (const EStreamError&) {
            ++refused;
            ASSERT_EQ(list.Count(), 1);
            ASSERT_EQ(list.Item(0).pixel(4, 3), kept.pixel(4, 3));
        } catch (const std::exception& e) {
            FAIL() << "unexpected error " << e.what() << " for " << bytes.left(64).toHex().constData();
        }
        ASSERT_EQ(list.UpdateCount(), 0);
    }
    EXPECT_GT(loaded, 100);
    EXPECT_GT(refused, 1000);
}

TEST(BitmapListStreams, RandomMutationsOfBlocks)
{
    std::mt19937 rng(77);
    QByteArray text;
    for (int i = 0; i < 6000; ++i)
        text.append("abcabd  eeeeeeeeeeeeeeeeeeeeee xyz"[(i * 7 + i / 100) % 34]);
    const QByteArray block =
        CompressBlock(reinterpret_cast<const std::uint8_t*>(text.constData()), static_cast<int>(text.size()));
    ASSERT_EQ(block.at(0), 0x40);
    int decoded = 0;
    for (int round = 0; round < 20000; ++round) {
        const QByteArray damaged = test::MutateStream(block, rng);
        QByteArray out("x");
        try {
            DecompressBlock(reinterpret_cast<const std::uint8_t*>(damaged.constData()),
                            static_cast<int>(damaged.size()), out);
            ++decoded;
            ASSERT_LE(out.size(), 1 + kBlockMaxInput);
        } catch (const EStreamError&) {
            ASSERT_EQ(out, QByteArray("x"));
        }
    }
    EXPECT_GT(decoded, 1000);
}
