#include "controls/blockcodec.h"

#include "platform/errors.h"
#include "platform/strings.h"

#include <algorithm>
#include <new>
#include <vector>

namespace zol {

namespace {

constexpr std::uint8_t kModeStored = 0x80;
constexpr std::uint8_t kModeCompressed = 0x40;
constexpr int kHashSize = 4096;
constexpr std::uint16_t kNoPosition = 0xFFFF;
constexpr int kMaxOffset = 4095;
constexpr int kMinCopy = 3;
constexpr int kMaxCopy = 18;
constexpr int kMinRun = 16;
constexpr int kMaxRun = 4095;

[[noreturn]] void Damaged()
{
    throw EStreamError(LoadResString(SInvalidBitmapListStream));
}

void StoreWord(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t bits)
{
    out[at] = static_cast<std::uint8_t>((bits >> 8) & 0xFF);
    out[at + 1] = static_cast<std::uint8_t>(bits & 0xFF);
}

std::uint32_t Hash(const std::uint8_t* p)
{
    const std::uint32_t h = ((((std::uint32_t{p[0]} << 4) ^ p[1]) << 4) ^ p[2]);
    return ((h * 40543u) >> 4) & 0x0FFF;
}

// Length of the run of bytes equal to data[p], at most kMaxRun.
int RunLength(const std::uint8_t* data, int count, int p)
{
    int j = 1;
    while (p + j < count && j < kMaxRun && data[p + j] == data[p])
        ++j;
    return j;
}

}  // namespace

QByteArray CompressBlock(const std::uint8_t* data, int count)
{
    if (count < 0 || count > kBlockMaxInput)
        throw EStreamError(LoadResString(SCompressionError));
    std::vector<std::uint16_t> table;
    try {
        table.assign(kHashSize, kNoPosition);
    } catch (const std::bad_alloc&) {
        throw EInvalidPointer(LoadResString(SCompressionError));
    }
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(count) + 8);
    out.push_back(kModeCompressed);
    std::size_t control = out.size();
    out.push_back(0);
    out.push_back(0);
    std::uint32_t bits = 0;
    int items = 0;
    int p = 0;
    while (p < count && static_cast<int>(out.size()) <= count) {
        if (items == 16) {
            StoreWord(out, control, bits);
            control = out.size();
            out.push_back(0);
            out.push_back(0);
            items = 0;
            bits = 0;
        }
        bits <<= 1;
        const int run = RunLength(data, count, p);
        if (run >= kMinRun) {
            const int v = run - kMinRun;
            out.insert(out.end(), {0x00, static_cast<std::uint8_t>((v >> 8) & 0x0F),
                                   static_cast<std::uint8_t>(v & 0xFF), data[p]});
            bits |= 1;
            p += run;
        } else {
            int length = 0;
            int offset = 0;
            // A match needs three bytes to hash.
            if (p + 2 < count) {
                const std::uint32_t h = Hash(data + p);
                const int candidate = table[h];
                table[h] = static_cast<std::uint16_t>(p);
                if (candidate != kNoPosition && p - candidate <= kMaxOffset) {
                    while (length < kMaxCopy && p + length < count && data[candidate + length] == data[p + length])
                        ++length;
                    offset = p - candidate;
                }
            }
            if (length >= kMinCopy) {
                const int v = (offset << 4) | (length - kMinCopy);
                out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
                out.push_back(static_cast<std::uint8_t>(v & 0xFF));
                bits |= 1;
                p += length;
            } else {
                out.push_back(data[p]);
                p += 1;
            }
        }
        ++items;
    }
    StoreWord(out, control, (bits << (16 - items)) & 0xFFFF);
    if (static_cast<int>(out.size()) > count) {
        QByteArray stored;
        stored.reserve(count + 1);
        stored.append(static_cast<char>(kModeStored));
        stored.append(reinterpret_cast<const char*>(data), count);
        return stored;
    }
    return QByteArray(reinterpret_cast<const char*>(out.data()), static_cast<qsizetype>(out.size()));
}

void DecompressBlock(const std::uint8_t* data, int count, QByteArray& out)
{
    if (count < 1)
        Damaged();
    if (data[0] == kModeStored) {
        if (count - 1 > kBlockMaxInput)
            Damaged();
        out.append(reinterpret_cast<const char*>(data + 1), count - 1);
        return;
    }
    if (data[0] != kModeCompressed || count < 3)
        Damaged();
    QByteArray block;
    block.reserve(std::min(kBlockMaxInput, count * 8));
    std::uint32_t control = (std::uint32_t{data[1]} << 8) | data[2];
    int bitsLeft = 16;
    int pos = 3;
    auto room = [&](int length) {
        if (block.size() + length > kBlockMaxInput)
            Damaged();
    };
    while (pos < count) {
        if (bitsLeft == 0) {
            if (pos + 2 > count)
                Damaged();
            control = (std::uint32_t{data[pos]} << 8) | data[pos + 1];
            pos += 2;
            bitsLeft = 16;
            if (pos == count)
                break;  // a control word with no item after it
        }
        if (control & 0x8000) {
            if (pos + 2 > count)
                Damaged();
            const int offset = (data[pos] << 4) | (data[pos + 1] >> 4);
            if (offset != 0) {
                const int length = (data[pos + 1] & 0x0F) + kMinCopy;
                if (offset > block.size())
                    Damaged();
                room(length);
                // Byte by byte: an overlapping copy repeats the pattern.
                for (int i = 0; i < length; ++i)
                    block.append(block.at(block.size() - offset));
                pos += 2;
            } else {
                if (pos + 4 > count)
                    Damaged();
                const int length = (((data[pos + 1] & 0x0F) << 8) | data[pos + 2]) + kMinRun;
                room(length);
                block.append(length, static_cast<char>(data[pos + 3]));
                pos += 4;
            }
        } else {
            room(1);
            block.append(static_cast<char>(data[pos]));
            pos += 1;
        }
        control = (control << 1) & 0xFFFF;
        --bitsLeft;
    }
    out.append(block);
}

}  // namespace zol
