// The bitmap list: owned copies, batched notifications, and its "ListItems"
// stream in plain and compressed form, with damaged streams refused.
#include "controls/bitmaplist.h"
#include "controls/blockcodec.h"
#include "platform/errors.h"

#include <QBuffer>
#include <QImageReader>
#include <cstring>
#include <gtest/gtest.h>

using namespace zol;

namespace {

QImage Pattern(int w, int h, int seed)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x * 13 + seed) & 0xFF, (y * 7 + seed * 3) & 0xFF, ((x ^ y) + seed) & 0xFF));
    return image;
}

bool SamePixels(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return false;
    const QImage ca = a.convertToFormat(QImage::Format_RGB32);
    const QImage cb = b.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (ca.pixel(x, y) != cb.pixel(x, y))
                return false;
    return true;
}

std::int32_t I32At(const QByteArray& b, qsizetype at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<std::uint8_t>(b[at + i]);
    return static_cast<std::int32_t>(v);
}

struct Counts {
    int changing = 0;
    int change = 0;
    int observed = 0;
};

}  // namespace

TEST(BitmapList, OwnsCopiesAndBatchesItsNotices)
{
    TMMBitmapList list;
    Counts n;
    list.OnChanging = [&](QObject*) { ++n.changing; };
    list.OnChange = [&](QObject* sender) {
        ++n.change;
        EXPECT_EQ(sender, &list);
    };
    TMMObserver observer([&](TMMObserver*, TMMChange* change) {
        ++n.observed;
        EXPECT_EQ(change, static_cast<TMMChange*>(&list));
    });
    list.AddObserver(&observer);

    QImage source = Pattern(4, 3, 1);
    EXPECT_EQ(list.Add(source), 0);
    source.setPixel(0, 0, qRgb(1, 2, 3));
    EXPECT_NE(list.Item(0).pixel(0, 0), source.pixel(0, 0));  // the list's own copy
    EXPECT_EQ(list.Add(Pattern(2, 2, 2)), 1);
    list.Insert(0, Pattern(5, 5, 3));
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Item(0).width(), 5);
    EXPECT_EQ(n.change, 3);
    EXPECT_EQ(n.changing, 3);
    EXPECT_EQ(n.observed, 3);

    EXPECT_THROW(list.Item(3), EMMBitmapListError);
    EXPECT_THROW(list.Insert(5, source), EMMBitmapListError);
    EXPECT_THROW(list.Delete(-1), EMMBitmapListError);
    EXPECT_EQ(n.change, 3);

    // A batch is one notice pair.
    n = {};
    list.BeginUpdate();
    list.Delete(1);
    list.Add(source);
    list.SetItem(0, source);
    list.EndUpdate();
    EXPECT_EQ(n.changing, 1);
    EXPECT_EQ(n.change, 1);
    EXPECT_EQ(n.observed, 1);

    // Assign: one pair, copies of the items and Compressed; none clears.
    TMMBitmapList other;
    other.Add(Pattern(9, 9, 9));
    other.SetCompressed(true);
    n = {};
    list.Assign(&other);
    EXPECT_EQ(n.change, 1);
    EXPECT_EQ(n.changing, 1);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_TRUE(list.Compressed());
    EXPECT_TRUE(SamePixels(list.Item(0), other.Item(0)));
    list.Assign(&list);
    EXPECT_EQ(list.Count(), 1);
    n = {};
    list.Assign(nullptr);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(n.change, 1);

    // A locked observer hears nothing; a removed one neither.
    observer.Lock();
    list.Add(source);
    observer.Unlock();
    list.RemoveObserver(&observer);
    list.Clear();
    EXPECT_EQ(n.observed, 1);
    EXPECT_EQ(list.UpdateCount(), 0);
}

TEST(BitmapList, StreamsRoundTripPlainAndCompressed)
{
    TMMBitmapList list;
    EXPECT_TRUE(list.SaveListItems().isEmpty());  // an empty list stores nothing
    list.Add(Pattern(40, 30, 1));
    list.Add(QImage());                  // an empty bitmap
    list.Add(Pattern(150, 100, 2));      // a BMP image of more than one block
    list.Add(QImage(64, 64, QImage::Format_RGB32));
    list.SetItem(3, [] {
        QImage flat(64, 64, QImage::Format_RGB32);
        flat.fill(qRgb(10, 200, 30));
        return flat;
    }());

    qsizetype plainSize = 0;
    for (bool compressed : {false, true}) {
        list.SetCompressed(compressed);
        const QByteArray bytes = list.SaveListItems();
        ASSERT_EQ(bytes.left(4), compressed ? QByteArray("MBMC") : QByteArray("MBML"));
        EXPECT_EQ(I32At(bytes, 4), 4);
        // Walk the items as stored.
        qsizetype at = 8;
        for (int i = 0; i < 4; ++i) {
            const std::int32_t length = I32At(bytes, at);
            at += 4;
            if (compressed) {
                std::int64_t sum = 0;
                qsizetype chunkAt = at;
                while (sum < length) {
                    const std::int32_t chunk = I32At(bytes, chunkAt);
                    EXPECT_LE(chunk, kBlockMaxInput + 1);
                    sum += chunk + 4;
                    chunkAt += chunk + 4;
                }
                EXPECT_EQ(sum, length);
                if (i == 3) {
                    EXPECT_LT(length, 64 * 64 * 3 / 6);  // the flat bitmap shrinks
                }
            } else if (i != 1) {
                EXPECT_EQ(bytes.mid(at, 2), QByteArray("BM"));
            }
            EXPECT_EQ(length == 0, i == 1);
            at += length;
        }
        EXPECT_EQ(at, bytes.size());
        if (compressed) {
            EXPECT_LT(bytes.size(), plainSize);
        }
        plainSize = bytes.size();

        TMMBitmapList copy;
        copy.LoadListItems(bytes);
        ASSERT_EQ(copy.Count(), 4);
        for (int i = 0; i < 4; ++i)
            EXPECT_TRUE(SamePixels(copy.Item(i), list.Item(i))) << i;
        EXPECT_TRUE(copy.Item(1).isNull());
    }
}

TEST(BitmapList, DamagedStreamsLeaveTheListAsItWas)
{
    TMMBitmapList good;
    good.Add(Pattern(20, 10, 5));
    good.Add(Pattern(7, 3, 6));
    good.SetCompressed(true);
    const QByteArray compressed = good.SaveListItems();
    good.SetCompressed(false);
    const QByteArray plain = good.SaveListItems();

    auto withI32 = [](QByteArray b, qsizetype at, std::int32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF);
        return b;
    };
    struct Case {
        const char* what;
        QByteArray bytes;
        const char* message;
    };
    const Case cases[] = {
        {"wrong magic", QByteArray("MBMX") + plain.mid(4), "Invalid BitmapList stream"},
        {"no magic", QByteArray("MB"), "Stream read error"},
        {"negative count", withI32(plain, 4, -1), "Invalid BitmapList stream"},
        {"count beyond the stream", withI32(plain, 4, 0x7FFFFFFF), "Invalid BitmapList stream"},
        {"one item too many", withI32(plain, 4, 3), "Stream read error"},
        {"item length beyond the stream", withI32(plain, 8, 1 << 30), "Stream read error"},
        {"cut in an item", plain.left(plain.size() - 5), "Stream read error"},
        {"first item empty, second missing", withI32(plain, 8, 0).left(12), "Invalid BitmapList stream"},
        {"second item missing", plain.left(8 + 4 + I32At(plain, 8) + 2), "Stream read error"},
        {"chunk longer than its total", withI32(compressed, 12, I32At(compressed, 8)), "Invalid BitmapList stream"},
        {"compressed cut short", compressed.left(compressed.size() - 3), "Stream read error"},
        {"damaged block", [&] {
             QByteArray b = compressed;
             b[16] = 0x11;  // the first block's mode byte
             return b;
         }(),
         "Invalid BitmapList stream"},
    };
    for (const Case& c : cases) {
        TMMBitmapList list;
        list.Add(Pattern(3, 3, 9));
        int changes = 0;
        list.OnChange = [&](QObject*) { ++changes; };
        try {
            list.LoadListItems(c.bytes);
            ADD_FAILURE() << c.what << ": loaded";
        } catch (const EStreamError& e) {
            EXPECT_EQ(e.Message(), QString::fromLatin1(c.message)) << c.what;
        }
        EXPECT_EQ(changes, 0) << c.what;
        ASSERT_EQ(list.Count(), 1) << c.what;
        EXPECT_TRUE(SamePixels(list.Item(0), Pattern(3, 3, 9))) << c.what;
        EXPECT_EQ(list.UpdateCount(), 0);
    }
    // Garbage where a BMP image should be.
    QByteArray garbage("MBML");
    garbage += QByteArray::fromHex("01000000") + QByteArray::fromHex("06000000") + QByteArray("BMxxxx");
    TMMBitmapList list;
    EXPECT_THROW(list.LoadListItems(garbage), EStreamError);
    EXPECT_EQ(list.Count(), 0);
}

TEST(BitmapList, LargeBitmapsRoundTripCompressed)
{
    // Bitmaps whose BMP images take thousands of blocks: one whose BMP image
    // (24 bits a pixel) is larger than 64 MiB, one that compresses well, and
    // a noisy one that does not compress at all.
    TMMBitmapList list;
    QImage big(5000, 4600, QImage::Format_RGB32);
    for (int y = 0; y < big.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(big.scanLine(y));
        for (int x = 0; x < big.width(); ++x)
            line[x] = qRgb((x * 7 + y) & 0xFF, (x ^ (y * 3)) & 0xFF, (x * y) & 0xFF);
    }
    list.Add(big);
    QImage flat(2000, 1500, QImage::Format_RGB32);
    flat.fill(qRgb(1, 2, 3));
    list.Add(flat);
    QImage noise(700, 500, QImage::Format_RGB32);
    std::uint32_t seed = 12345;
    for (int y = 0; y < noise.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(noise.scanLine(y));
        for (int x = 0; x < noise.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            line[x] = 0xFF000000u | (seed >> 8);
        }
    }
    list.Add(noise);
    list.SetCompressed(true);
    const QByteArray bytes = list.SaveListItems();
    ASSERT_EQ(bytes.left(4), QByteArray("MBMC"));

    TMMBitmapList copy;
    ASSERT_NO_THROW(copy.LoadListItems(bytes));
    ASSERT_EQ(copy.Count(), 3);
    for (int i = 0; i < 3; ++i) {
        const QImage a = list.Item(i).convertToFormat(QImage::Format_RGB32);
        const QImage b = copy.Item(i).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(a.size(), b.size()) << i;
        for (int y = 0; y < a.height(); ++y)
            ASSERT_EQ(std::memcmp(a.constScanLine(y), b.constScanLine(y), static_cast<std::size_t>(a.width()) * 4), 0)
                << i << " row " << y;
    }
}

TEST(BitmapList, ImagesBeyondTheBitmapReadersLimitAreRefusedInBothForms)
{
    // A flat grey bitmap compresses to runs; its stream rebuilds an image of
    // 3 MB. Under a reader limit of 1 MB neither form loads, so a damaged
    // stream cannot make the list claim more than any bitmap may take.
    TMMBitmapList list;
    QImage flat(1000, 1000, QImage::Format_RGB32);
    flat.fill(qRgb(7, 7, 7));
    list.Add(flat);
    list.SetCompressed(true);
    const QByteArray compressed = list.SaveListItems();
    list.SetCompressed(false);
    const QByteArray plain = list.SaveListItems();
    ASSERT_LT(compressed.size(), 100000);

    const int limit = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(1);
    for (const QByteArray* bytes : {&compressed, &plain}) {
        TMMBitmapList copy;
        copy.Add(Pattern(3, 3, 1));
        EXPECT_THROW(copy.LoadListItems(*bytes), EStreamError);
        EXPECT_EQ(copy.Count(), 1);
    }
    QImageReader::setAllocationLimit(limit);
    for (const QByteArray* bytes : {&compressed, &plain}) {
        TMMBitmapList copy;
        copy.LoadListItems(*bytes);
        ASSERT_EQ(copy.Count(), 1);
        EXPECT_TRUE(SamePixels(copy.Item(0), flat));
    }
}
