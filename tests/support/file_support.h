// Small helpers of the window and file tests: whole files read and written,
// lines split at LF (each keeps its CR), and a stereo test tone.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace zol::test {

inline QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

inline void WriteAll(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(data);
}

inline QList<QByteArray> Lines(const QString& path)
{
    QList<QByteArray> lines = ReadAll(path).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// A stereo 16-bit tone at 11025 Hz of `hz` peaking at `peak`, `seconds` long.
inline QByteArray Tone(double hz, double peak, double seconds)
{
    const int frames = static_cast<int>(11025 * seconds);
    QByteArray data(frames * 4, 0);
    auto* s = reinterpret_cast<std::int16_t*>(data.data());
    for (int i = 0; i < frames; ++i) {
        const auto v = static_cast<std::int16_t>(std::lround(peak * std::sin(2 * M_PI * hz * i / 11025.0)));
        s[2 * i] = v;
        s[2 * i + 1] = v;
    }
    return data;
}

}  // namespace zol::test
