// A byte stream in memory for the stored-form data of components (object
// lists, filter sets). Reads are checked against what the stream holds: a
// read past the end raises EReadError and leaves the position unchanged.
// Values are little-endian.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace zol {

class TMemoryStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(QByteArray data) : data_(std::move(data)) {}

    const QByteArray& Data() const { return data_; }
    std::int64_t Size() const { return data_.size(); }
    std::int64_t Position() const { return pos_; }
    // Clamped to 0 .. Size().
    void SetPosition(std::int64_t pos);
    std::int64_t Remaining() const { return Size() - pos_; }

    // Exactly `count` bytes, or EReadError ("Stream read error").
    void ReadBuffer(void* buffer, std::int64_t count);
    // Writes at the position, growing the stream as needed.
    void WriteBuffer(const void* buffer, std::int64_t count);

    std::uint8_t ReadU8();
    std::int16_t ReadI16();
    std::int32_t ReadI32();
    float ReadSingle();
    // `count` bytes as Latin-1 characters (checked before anything is
    // allocated).
    QString ReadChars(std::int64_t count);

    void WriteU8(std::uint8_t v);
    void WriteI16(std::int16_t v);
    void WriteI32(std::int32_t v);
    void WriteSingle(float v);
    // The characters as Latin-1 bytes, no length, no terminator.
    void WriteChars(const QString& text);

private:
    QByteArray data_;
    std::int64_t pos_ = 0;
};

}  // namespace zol
