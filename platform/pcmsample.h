// PCM samples in a capture format's width: written by the built-in sources,
// read by the displays. 16-bit samples are little-endian signed, 8-bit ones
// unsigned (128 is silence); buffers carry no alignment promise.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace zol::platform {

// x rounded to the nearest integer, halves away from zero (as std::lround,
// without the library call; |x| stays far below 2^52 here, where x minus
// its truncation is exact).
inline long RoundHalfAway(double x)
{
    const long i = static_cast<long>(x);
    const double f = x - static_cast<double>(i);
    return i + static_cast<long>(f >= 0.5) - static_cast<long>(f <= -0.5);
}

// A sample (-1..1, clipped; not a number is silence) as a 16-bit value and
// as an unsigned 8-bit one. Scaling by a power of two is exact, so clipping
// after it is the same as clipping before.
inline std::int16_t Sample16Of(double v)
{
    const double x = v == v ? std::clamp(v * 32768.0, -32768.0, 32767.0) : 0.0;
    return static_cast<std::int16_t>(RoundHalfAway(x));
}

inline std::uint8_t Sample8Of(double v)
{
    const double x = v == v ? std::clamp(v, -1.0, 1.0) * 128.0 + 128.0 : 128.0;
    return static_cast<std::uint8_t>(RoundHalfAway(std::min(x, 255.0)));
}

// Writes one sample (-1..1) in the format's width, little-endian; returns
// the position after it.
inline char* PutSample(char* p, double v, int bits)
{
    if (bits == 16) {
        const auto u = static_cast<std::uint16_t>(Sample16Of(v));
        p[0] = static_cast<char>(u & 0xFF);
        p[1] = static_cast<char>(u >> 8);
        return p + 2;
    }
    p[0] = static_cast<char>(Sample8Of(v));
    return p + 1;
}

}  // namespace zol::platform

namespace zol::pcm {

inline int Sample16(const char* p)
{
    std::int16_t s;
    std::memcpy(&s, p, 2);
    return s;
}

inline int Byte(const char* p)
{
    return static_cast<std::uint8_t>(*p);
}

}  // namespace zol::pcm
