#include "platform/mmstream.h"

#include "platform/errors.h"
#include "platform/strings.h"

#include <algorithm>
#include <cstring>

namespace zol {

void TMemoryStream::SetPosition(std::int64_t pos)
{
    pos_ = std::clamp<std::int64_t>(pos, 0, Size());
}

void TMemoryStream::ReadBuffer(void* buffer, std::int64_t count)
{
    if (count < 0 || count > Remaining())
        throw EReadError(LoadResString(SStreamReadError));
    if (count > 0)
        std::memcpy(buffer, data_.constData() + pos_, static_cast<std::size_t>(count));
    pos_ += count;
}

void TMemoryStream::WriteBuffer(const void* buffer, std::int64_t count)
{
    if (count <= 0)
        return;
    const std::int64_t end = pos_ + count;
    if (end > Size())
        data_.resize(static_cast<qsizetype>(end));
    std::memcpy(data_.data() + pos_, buffer, static_cast<std::size_t>(count));
    pos_ = end;
}

std::uint8_t TMemoryStream::ReadU8()
{
    std::uint8_t b[1];
    ReadBuffer(b, 1);
    return b[0];
}

std::int16_t TMemoryStream::ReadI16()
{
    std::uint8_t b[2];
    ReadBuffer(b, 2);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(b[0] | (b[1] << 8)));
}

std::int32_t TMemoryStream::ReadI32()
{
    std::uint8_t b[4];
    ReadBuffer(b, 4);
    const std::uint32_t u = std::uint32_t{b[0]} | (std::uint32_t{b[1]} << 8) | (std::uint32_t{b[2]} << 16) |
                            (std::uint32_t{b[3]} << 24);
    return static_cast<std::int32_t>(u);
}

float TMemoryStream::ReadSingle()
{
    const std::uint32_t u = static_cast<std::uint32_t>(ReadI32());
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

QString TMemoryStream::ReadChars(std::int64_t count)
{
    if (count < 0 || count > Remaining())
        throw EReadError(LoadResString(SStreamReadError));
    const QString text = QString::fromLatin1(data_.constData() + pos_, static_cast<qsizetype>(count));
    pos_ += count;
    return text;
}

void TMemoryStream::WriteU8(std::uint8_t v)
{
    WriteBuffer(&v, 1);
}

void TMemoryStream::WriteI16(std::int16_t v)
{
    const auto u = static_cast<std::uint16_t>(v);
    const std::uint8_t b[2] = {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8)};
    WriteBuffer(b, 2);
}

void TMemoryStream::WriteI32(std::int32_t v)
{
    const auto u = static_cast<std::uint32_t>(v);
    const std::uint8_t b[4] = {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
                               static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)};
    WriteBuffer(b, 4);
}

void TMemoryStream::WriteSingle(float v)
{
    std::uint32_t u;
    std::memcpy(&u, &v, 4);
    WriteI32(static_cast<std::int32_t>(u));
}

void TMemoryStream::WriteChars(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    WriteBuffer(bytes.constData(), bytes.size());
}

}  // namespace zol
