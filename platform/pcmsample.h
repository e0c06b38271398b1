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
    long i = static_cast<long>(x);
    const double f = x - static_cast<double>(i);
    if (f >= 0.5)
        ++i;
    else if (f <= -0.5)
        --i;
    return i;
}

// Writes one sample (-1..1) in the format's width, little-endian; returns
// the position after it. A value that is not a number is written as
// silence.
inline char* PutSample(char* p, double v, int bits)
{
    v = v == v ? std::clamp(v, -1.0, 1.0) : 0.0;
    if (bits == 16) {
        const auto s = static_cast<std::int16_t>(RoundHalfAway(std::clamp(v * 32768.0, -32768.0, 32767.0)));
        const auto u = static_cast<std::uint16_t>(s);
        p[0] = static_cast<char>(u & 0xFF);
        p[1] = static_cast<char>(u >> 8);
        return p + 2;
    }
    const long s = RoundHalfAway(std::clamp(v * 128.0 + 128.0, 0.0, 255.0));
    p[0] = static_cast<char>(static_cast<std::uint8_t>(s));
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
