// The recording of captured audio: FLAC files split at UTC hours without a
// frame lost or repeated, named by the time of their first frame.
#include "platform/audiorecorder.h"
#include "platform/soundfile.h"
#include "tests/support/test_support.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <vector>

using namespace zol;
using namespace zol::platform;

namespace {

std::int64_t Utc(int h, int m, int s, int ms)
{
    return QDateTime(QDate(2026, 8, 12), QTime(h, m, s, ms), Qt::UTC).toMSecsSinceEpoch();
}

// All frames of a file, interleaved, as 16-bit values.
std::vector<int> ReadBack(const QString& path)
{
    SoundFileReader reader(path);
    std::vector<double> buffer(4096 * 2);
    std::vector<int> samples;
    for (std::int64_t n; (n = reader.Read(buffer.data(), 4096)) > 0;)
        for (std::int64_t i = 0; i < n * 2; ++i)
            samples.push_back(static_cast<int>(std::lround(buffer[i] * 32768.0)));
    return samples;
}

}  // namespace

TEST(AudioRecorder, SplitsAtTheUtcHourWithoutLosingOrRepeatingAFrame)
{
    QTemporaryDir dir;
    // 1.5 s from 16:59:59.500, handed in as capture buffers of 1024 frames;
    // each frame holds its number (left) and its negation (right).
    const int total = 16538;
    {
        AudioRecorder recorder(dir.path(), 11025, 2, Utc(16, 59, 59, 500));
        std::vector<std::int16_t> buffer;
        for (int i = 0; i < total; ++i) {
            buffer.push_back(static_cast<std::int16_t>(i));
            buffer.push_back(static_cast<std::int16_t>(-i));
            if (buffer.size() == 2048 || i == total - 1) {
                recorder.Add(reinterpret_cast<const char*>(buffer.data()), static_cast<int>(buffer.size() * 2));
                buffer.clear();
            }
        }
        recorder.Finish();
        ASSERT_EQ(recorder.Files().size(), 2);
        EXPECT_EQ(QFileInfo(recorder.Files()[0]).fileName(), "zol-20260812T165959.500Z.flac");
        EXPECT_EQ(QFileInfo(recorder.Files()[1]).fileName(), "zol-20260812T170000.000Z.flac");
        recorder.Add("\0\0\0\0", 4);  // after the end: dropped
    }
    const std::vector<int> first = ReadBack(dir.filePath("zol-20260812T165959.500Z.flac"));
    const std::vector<int> second = ReadBack(dir.filePath("zol-20260812T170000.000Z.flac"));
    // Half a second is 5512.5 frames: the first frame at or after the hour
    // begins the second file.
    ASSERT_EQ(first.size(), 2u * 5513);
    ASSERT_EQ(second.size(), 2u * (total - 5513));
    std::vector<int> all = first;
    all.insert(all.end(), second.begin(), second.end());
    for (int i = 0; i < total; ++i) {
        ASSERT_EQ(all[2 * i], i) << i;
        ASSERT_EQ(all[2 * i + 1], -i) << i;
    }
    EXPECT_EQ(AudioRecorder::FileName(Utc(0, 0, 0, 7)), "zol-20260812T000000.007Z.flac");
}

TEST(AudioRecorder, AFolderThatTakesNoFileIsReportedOnce)
{
    test::ErrorRecorder errors;
    QTemporaryDir dir;
    const QString missing = dir.filePath("gone");
    {
        AudioRecorder recorder(missing, 11025, 2, Utc(12, 0, 0, 0));
        std::vector<std::int16_t> buffer(2048, 100);
        for (int i = 0; i < 5; ++i)
            recorder.Add(reinterpret_cast<const char*>(buffer.data()), 4096);
        recorder.Finish();
        EXPECT_TRUE(recorder.Files().isEmpty());
    }
    test::Sim().Settle();
    ASSERT_EQ(errors.Messages().size(), 1) << errors.Messages().join("; ").toStdString();
    EXPECT_EQ(errors.Messages()[0], "Unable to write to " + missing + "/zol-20260812T120000.000Z.flac: No such file or directory")
        << errors.Messages()[0].toStdString();
}
