// The block compressor of the bitmap list's stream: LZ77-style copy items,
// run items and literals, 16 items per big-endian control word.
//
// Block layout: a mode byte (0x80 stored, 0x40 compressed); a compressed
// block then holds control words of 16 bits (most significant bit first, one
// bit per item: 0 literal byte, 1 copy or run), each followed by its items.
// A copy item is two bytes, offset << 4 | (length - 3); a run item is four
// bytes: 0x00, the 12-bit (length - 16) and the repeated byte.
#pragma once

#include <QByteArray>

#include <cstdint>

namespace zol {

// Largest input of one block.
constexpr int kBlockMaxInput = 32781;

// Compresses `count` bytes (at most kBlockMaxInput); a block that would not
// get smaller is stored. The result is at most count + 1 bytes.
QByteArray CompressBlock(const std::uint8_t* data, int count);

// Decompresses one block of `count` bytes and appends its output to `out`.
// A damaged block (unknown mode, an item cut short, a copy reaching before
// the block's output, more than kBlockMaxInput bytes of output) raises
// EStreamError and leaves `out` as it was.
void DecompressBlock(const std::uint8_t* data, int count, QByteArray& out);

}  // namespace zol
