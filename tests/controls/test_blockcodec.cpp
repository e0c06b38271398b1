// The bitmap list's block compressor: the exact bytes of known blocks, round
// trips of data of every shape, and damaged blocks refused.
#include "controls/blockcodec.h"
#include "platform/errors.h"

#include <gtest/gtest.h>

#include <random>

using namespace zol;

namespace {

QByteArray Compress(const QByteArray& in)
{
    return CompressBlock(reinterpret_cast<const std::uint8_t*>(in.constData()), static_cast<int>(in.size()));
}

QByteArray Decompress(const QByteArray& block)
{
    QByteArray out;
    DecompressBlock(reinterpret_cast<const std::uint8_t*>(block.constData()), static_cast<int>(block.size()), out);
    return out;
}

QByteArray Bytes(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(static_cast<char>(v));
    return b;
}

}  // namespace

TEST(BlockCodec, KnownBlocks)
{
    // 100 equal bytes: one run item of 0x54 + 16.
    EXPECT_EQ(Compress(QByteArray(100, 'Z')), Bytes({0x40, 0x80, 0x00, 0x00, 0x00, 0x54, 'Z'}));
    // 20 distinct bytes do not get smaller: stored.
    QByteArray distinct;
    for (int i = 0; i < 20; ++i)
        distinct.append(static_cast<char>(i * 7 + 1));
    EXPECT_EQ(Compress(distinct), QByteArray(1, static_cast<char>(0x80)) + distinct);
    // Three literals and a copy of offset 3, length 6.
    EXPECT_EQ(Compress("abcabcabc"), Bytes({0x40, 0x10, 0x00, 'a', 'b', 'c', 0x00, 0x33}));
    // Nothing at all, and one or two bytes (too short to hash).
    EXPECT_EQ(Compress(QByteArray()), Bytes({0x80}));
    EXPECT_EQ(Compress("x"), Bytes({0x80, 'x'}));
    EXPECT_EQ(Decompress(Compress("xy")), QByteArray("xy"));
    // A run of 15 is not a run item; 16 is; 4095 is the longest.
    EXPECT_EQ(Compress(QByteArray(16, 'q')), Bytes({0x40, 0x80, 0x00, 0x00, 0x00, 0x00, 'q'}));
    EXPECT_EQ(Compress(QByteArray(4095, 'q')), Bytes({0x40, 0x80, 0x00, 0x00, 0x0F, 0xEF, 'q'}));
    EXPECT_EQ(Compress(QByteArray(4096, 'q')), Bytes({0x40, 0x80, 0x00, 0x00, 0x0F, 0xEF, 'q'}) + 'q');
    const QByteArray fifteen = Compress(QByteArray(15, 'q'));
    EXPECT_NE(fifteen.at(3), 0x00);  // a literal first, then a copy
    EXPECT_EQ(Decompress(fifteen), QByteArray(15, 'q'));
}

TEST(BlockCodec, RoundTripsOfEveryShape)
{
    std::mt19937 rng(7);
    std::vector<QByteArray> inputs;
    for (int n : {0, 1, 2, 3, 4, 17, 18, 19, 33, 255, 4096, 4097, 20000, kBlockMaxInput}) {
        QByteArray random(n, 0), text(n, 0), runs(n, 0), far(n, 0);
        for (int i = 0; i < n; ++i) {
            random[i] = static_cast<char>(rng());
            text[i] = "the quick brown fox "[(i * 3 + i / 50) % 20];
            runs[i] = static_cast<char>((i / (1 + (i % 37))) & 3);
            far[i] = static_cast<char>(i < 4095 ? rng() : far[i - 4095]);  // copies from 4095 back
        }
        inputs.insert(inputs.end(), {random, text, runs, far});
    }
    for (const QByteArray& in : inputs) {
        const QByteArray block = Compress(in);
        ASSERT_LE(block.size(), in.size() + 1);
        ASSERT_EQ(Decompress(block), in) << "size " << in.size();
    }
    // Output is appended to what is there.
    QByteArray out("head");
    const QByteArray block = Compress("abcabcabc");
    DecompressBlock(reinterpret_cast<const std::uint8_t*>(block.constData()), static_cast<int>(block.size()), out);
    EXPECT_EQ(out, QByteArray("headabcabcabc"));
    // A block larger than one block's input is refused.
    const QByteArray big(kBlockMaxInput + 1, 'a');
    EXPECT_THROW(Compress(big), EStreamError);
}

TEST(BlockCodec, DamagedBlocksAreRefusedAndLeaveTheOutput)
{
    const QByteArray cases[] = {
        QByteArray(),                                  // no mode byte
        Bytes({0x00, 0x00, 0x00}),                     // unknown mode
        Bytes({0x40, 0x00}),                           // control word cut short
        Bytes({0x40, 0x80, 0x00, 0x00, 0x10}),         // copy from before the output
        Bytes({0x40, 0x40, 0x00, 'a', 0x00, 0x20}),    // copy of offset 2 after one byte
        Bytes({0x40, 0x80, 0x00, 0x00}),               // copy cut short
        Bytes({0x40, 0x80, 0x00, 0x00, 0x00, 0x54}),   // run cut short
        Bytes({0x40, 0x00, 0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p',
               0x00}),                                 // next control word cut short
        QByteArray(1, static_cast<char>(0x80)) + QByteArray(kBlockMaxInput + 1, 'x'),  // stored, too long
    };
    for (const QByteArray& block : cases) {
        QByteArray out("kept");
        EXPECT_THROW(DecompressBlock(reinterpret_cast<const std::uint8_t*>(block.constData()),
                                     static_cast<int>(block.size()), out),
                     EStreamError)
            << block.left(24).toHex().constData();
        EXPECT_EQ(out, QByteArray("kept"));
    }
    // Nine runs of 4095 bytes are more than a block can hold.
    QByteArray runs = Bytes({0x40, 0xFF, 0x80});
    for (int i = 0; i < 9; ++i)
        runs += Bytes({0x00, 0x0F, 0xEF, 'r'});
    QByteArray out;
    EXPECT_THROW(DecompressBlock(reinterpret_cast<const std::uint8_t*>(runs.constData()),
                                 static_cast<int>(runs.size()), out),
                 EStreamError);
    EXPECT_TRUE(out.isEmpty());
    // Eight of them fit.
    runs.chop(4);
    runs[2] = 0x00;
    EXPECT_EQ(Decompress(runs), QByteArray(8 * 4095, 'r'));
    // A control word with no item after it ends the block.
    QByteArray tail = Bytes({0x40, 0x00, 0x00});
    for (int i = 0; i < 16; ++i)
        tail.append(static_cast<char>('a' + i));
    tail += Bytes({0x00, 0x00});
    EXPECT_EQ(Decompress(tail), QByteArray("abcdefghijklmnop"));
}
