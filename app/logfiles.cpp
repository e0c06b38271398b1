#include "app/logfiles.h"

#include "app/diskio.h"

#include <QDateTime>
#include <QFile>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace zol {

QString TwoCharField(int value)
{
    if (value == kNoAudio)
        return QStringLiteral("--");
    QString text = QString::number(value).left(2);
    if (text.size() == 1)
        text.prepend('0');
    return text;
}

QString DateText(const QDate& date, const char* dateFormat)
{
    // The separator is the first character of the format that is no field;
    // only a printable ASCII one is taken (a byte of a longer character, or a
    // control character, would not be one character in the log), else "/".
    char separator = '/';
    for (const char* p = dateFormat; p != nullptr && *p != '\0'; ++p) {
        if (*p == '%') {
            if (p[1] != '\0')
                ++p;
            continue;
        }
        const auto c = static_cast<unsigned char>(*p);
        if (c >= 0x80 || !std::isalnum(c)) {
            if (c >= 0x20 && c < 0x7F)
                separator = *p;
            break;
        }
    }
    // Built from the numbers, not through a format string, so that no
    // separator is read as a quote or a field.
    const auto two = [](int v) { return QStringLiteral("%1").arg(std::abs(v % 100), 2, 10, QLatin1Char('0')); };
    return two(date.day()) + QLatin1Char(separator) + two(date.month()) + QLatin1Char(separator) +
           two(date.year());
}

QString MeasureLine(QChar marker, const QString& time, const QString& date, int mean, int minimum)
{
    return QString(marker) + ',' + time + ',' + date + ',' + TwoCharField(mean) + ',' + TwoCharField(minimum);
}

QString Scope2Line(int windowMin, int windowMax)
{
    return TwoCharField(windowMin) + ',' + TwoCharField(windowMax);
}

bool IsNoAudioField(const char* text, int size)
{
    return size == 2 && text[0] == '-' && text[1] == '-';
}

bool ParseField(const char* text, int size, int& value)
{
    int i = 0;
    while (i < size && text[i] == ' ')
        ++i;
    int sign = 1;
    if (i < size && (text[i] == '+' || text[i] == '-')) {
        sign = text[i] == '-' ? -1 : 1;
        ++i;
    }
    if (i >= size)
        return false;
    int v = 0;
    for (; i < size; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        v = v * 10 + (text[i] - '0');
    }
    value = sign * v;
    return true;
}

bool ParseField(const QString& text, int& value)
{
    for (QChar c : text)
        if (c.unicode() > 0xFF)
            return false;
    const QByteArray bytes = text.toLatin1();
    return ParseField(bytes.constData(), static_cast<int>(bytes.size()), value);
}

// ---------------------------------------------------------------------------
// TTextLog

TTextLog::TTextLog(QString path) : path_(std::move(path)) {}

TTextLog::~TTextLog()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void TTextLog::Fail(const QString& what, int error) const
{
    throw EInOutError(QStringLiteral("%1 %2: %3").arg(what, path_, diskio::ErrorText(error)));
}

void TTextLog::FailWrite(int error)
{
    const QString message = QStringLiteral("Unable to write to %1: %2").arg(path_, diskio::ErrorText(error));
    if (error == failError_)
        throw ELogStillFailing(message);
    failError_ = error;
    throw EInOutError(message);
}

bool TTextLog::Exists() const
{
    struct stat st {};
    return ::stat(QFile::encodeName(path_).constData(), &st) == 0;
}

void TTextLog::CheckRegular() const
{
    struct stat st {};
    if (::stat(QFile::encodeName(path_).constData(), &st) != 0 || S_ISREG(st.st_mode))
        return;
    Fail(QStringLiteral("Unable to open"), S_ISDIR(st.st_mode) ? EISDIR : diskio::kNotRegularFile);
}

void TTextLog::Create()
{
    OpenAppend();
}

void TTextLog::OpenAppend()
{
    if (fd_ >= 0)
        return;
    int error = 0;
    const int fd = diskio::OpenRegular(path_, O_RDWR | O_APPEND | O_CREAT, error);
    if (fd < 0)
        Fail(QStringLiteral("Unable to open"), error);
    fd_ = fd;
    struct stat st {};
    char last = '\n';
    if (::fstat(fd, &st) == 0 && st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n') {
        // A line cut after its CR only lacks the LF. When it cannot be ended
        // now (a full disk), the next line ends it first.
        rest_ = last == '\r' ? QByteArray("\n") : QByteArray("\r\n");
        try {
            CompleteCutLine();
        } catch (const EInOutError&) {
        }
    }
}

void TTextLog::CompleteCutLine()
{
    if (rest_.isEmpty())
        return;
    size_t done = 0;
    const int error = diskio::WriteAll(fd_, rest_.constData(), static_cast<size_t>(rest_.size()), done);
    rest_.remove(0, static_cast<qsizetype>(done));
    if (error != 0)
        FailWrite(error);
}

void TTextLog::AppendLine(const QString& line)
{
    AppendLines(line.toLatin1());
}

void TTextLog::AppendLines(const QByteArray& lines)
{
    if (fd_ < 0)
        Fail(QStringLiteral("Unable to write to"), EBADF);
    CompleteCutLine();
    const QByteArray data = lines + "\r\n";
    struct stat st {};
    const off_t before = ::fstat(fd_, &st) == 0 ? st.st_size : -1;
    size_t done = 0;
    const int error = diskio::WriteAll(fd_, data.constData(), static_cast<size_t>(data.size()), done);
    if (error == 0) {
        ++unsynced_;
        return;
    }
    // Part of the line reached the file: it is taken back, or where the
    // file cannot be cut (an append-only file) ended before the next line.
    if (done > 0 && (before < 0 || ::ftruncate(fd_, before) != 0))
        rest_ = data.mid(static_cast<qsizetype>(done));
    FailWrite(error);
}

void TTextLog::Flush()
{
    if (fd_ < 0)
        Fail(QStringLiteral("Unable to write to"), EBADF);
    if (syncEvery_ <= 1 || unsynced_ >= syncEvery_) {
        if (const int error = diskio::Sync(fd_))
            FailWrite(error);
        unsynced_ = 0;
    }
    if (rest_.isEmpty())
        failError_ = 0;
}

void TTextLog::SetSyncEvery(int lines)
{
    syncEvery_ = std::max(lines, 1);
}

void TTextLog::Close()
{
    if (fd_ < 0)
        return;
    try {
        CompleteCutLine();
    } catch (const EInOutError&) {
        // The next start ends the cut line.
    }
    const int syncError = unsynced_ > 0 ? diskio::Sync(fd_) : 0;
    unsynced_ = 0;
    const int fd = fd_;
    fd_ = -1;
    const int closeError = ::close(fd) != 0 ? errno : 0;
    if (syncError != 0)
        FailWrite(syncError);
    if (closeError != 0)
        Fail(QStringLiteral("Unable to close"), closeError);
}

// ---------------------------------------------------------------------------
// Reading back the end of a log

namespace {

// Splits bytes into lines (ended by CR LF, LF or CR; a last line without an
// end counts) and hands each to `line` with its first bytes and its length,
// keeping no more than those first bytes of any line.
class LineSplitter {
public:
    static constexpr int kHead = 32;
    using LineFn = std::function<void(const char* head, int headSize, qint64 length)>;

    LineSplitter(LineFn line, bool skipFirst, bool afterCr)
        : line_(std::move(line)), skipping_(skipFirst), afterCr_(afterCr)
    {
    }
    void Feed(const char* data, size_t size)
    {
        for (size_t i = 0; i < size; ++i) {
            const char c = data[i];
            if (afterCr_) {
                afterCr_ = false;
                if (c == '\n')
                    continue;
            }
            if (c == '\r' || c == '\n') {
                End();
                afterCr_ = c == '\r';
                continue;
            }
            if (headSize_ < kHead)
                head_[headSize_++] = c;
            ++length_;
        }
    }
    void Finish()
    {
        if (length_ > 0)
            End();
    }

private:
    void End()
    {
        // The line the reading began in is only partly read: not used.
        if (!skipping_)
            line_(head_, headSize_, length_);
        skipping_ = false;
        headSize_ = 0;
        length_ = 0;
    }
    LineFn line_;
    bool skipping_;
    bool afterCr_;
    char head_[kHead] = {};
    int headSize_ = 0;
    qint64 length_ = 0;
};

// Reads the lines of the end of `path`: all of it when it is at most
// `budget` bytes, else from the last multiple of `stepBytes` (the bytes of
// one chart step in a log of whole lines) that leaves at least `budget`
// bytes. Returns the steps before that point as a log of whole lines would
// have them, and counts the bytes read.
qint64 ReadTail(const QString& path, qint64 stepBytes, qint64 budget, const LineSplitter::LineFn& line,
                qint64& bytesRead)
{
    int error = 0;
    const int fd = diskio::OpenRegular(path, O_RDONLY, error);
    if (fd < 0)
        throw EInOutError(QStringLiteral("Unable to read %1: %2").arg(path, diskio::ErrorText(error)));
    struct stat st {};
    ::fstat(fd, &st);
    const qint64 size = st.st_size;
    const qint64 from = size > budget ? (size - budget) / stepBytes * stepBytes : 0;
    // Where the reading begins: at a line start when the byte before ends a
    // line, else the line it falls in is skipped.
    char before = '\n';
    if (from > 0 && ::pread(fd, &before, 1, from - 1) != 1)
        before = 'x';
    LineSplitter splitter(line, before != '\n' && before != '\r', before == '\r');
    std::vector<char> buffer(65536);
    bytesRead = 0;
    for (qint64 at = from; at < size;) {
        const ssize_t n = ::pread(fd, buffer.data(), std::min<qint64>(static_cast<qint64>(buffer.size()), size - at), at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : 0;
            break;
        }
        splitter.Feed(buffer.data(), static_cast<size_t>(n));
        at += n;
        bytesRead += n;
    }
    ::close(fd);
    if (error != 0)
        throw EInOutError(QStringLiteral("Unable to read %1: %2").arg(path, diskio::ErrorText(error)));
    splitter.Finish();
    return from / stepBytes;
}

// The last steps, as many as `keep` and enough more that the steps before
// them are a multiple of `period`.
class StepRing {
public:
    StepRing(int keep, int period) : keep_(std::max(keep, 1)), period_(std::max(period, 1)) {}
    void Add(int a, int b, qint64 utcMs = kNoTime)
    {
        steps_.push_back({a, b, utcMs});
        if (static_cast<qint64>(steps_.size()) > static_cast<qint64>(keep_) + period_)
            steps_.pop_front();
        ++count_;
    }
    THistory Take(qint64 stepsBefore, qint64 bytesRead)
    {
        const qint64 total = stepsBefore + count_;
        qint64 skip = std::max<qint64>(total - keep_, 0);
        skip -= skip % period_;
        const qint64 kept = std::min<qint64>(total - skip, static_cast<qint64>(steps_.size()));
        THistory history;
        history.steps.assign(steps_.end() - kept, steps_.end());
        history.skipped = total - kept;
        history.bytesRead = bytesRead;
        return history;
    }

private:
    int keep_;
    int period_;
    std::deque<THistoryStep> steps_;
    qint64 count_ = 0;
};

constexpr qint64 kMeasureLineBytes = 27;  // 25 characters, CR LF
constexpr qint64 kScope2LineBytes = 7;    // 5 characters, CR LF

}  // namespace

THistory ReadMeasureHistory(const QString& path, int keep, int period, qint64 budget)
{
    StepRing ring(keep, period);
    int groupCount = 0;
    int groupSum = 0;
    int groupHeard = 0;  // lines of the group with audio
    // An unreadable mean stands for the last readable one (90, silence,
    // before any); an unreadable minimum counts as "no minimum yet".
    int lastMean = 90;
    auto line = [&](const char* head, int, qint64 length) {
        if (length != 25)
            return;
        const bool heard = !IsNoAudioField(head + 20, 2);
        int a = lastMean;
        int b = 0;
        if (!heard)
            a = kNoAudio;
        else if (ParseField(head + 20, 2, a))
            lastMean = a;
        else
            a = lastMean;
        if (!ParseField(head + 23, 2, b))
            b = 0;
        if (heard) {
            groupSum += a;
            ++groupHeard;
        }
        if (++groupCount == 5) {
            const int mean = groupHeard > 0 ? groupSum / groupHeard : kNoAudio;
            // Without a minimum the line's own mean stands in, or the
            // group's when the line had no audio.
            if (b == 0)
                b = heard ? a : mean;
            ring.Add(mean, mean == kNoAudio ? kNoAudio : b, MeasureLineUtcMs(head, 25));
            groupCount = 0;
            groupSum = 0;
            groupHeard = 0;
        }
    };
    qint64 bytesRead = 0;
    const qint64 before = ReadTail(path, 5 * kMeasureLineBytes, budget, line, bytesRead);
    return ring.Take(before, bytesRead);
}

qint64 MeasureLineUtcMs(const char* line, int size)
{
    if (size < 19)
        return kNoTime;
    int hour = 0, minute = 0, second = 0, day = 0, month = 0, year = 0;
    if (line[4] != ':' || line[7] != ':' || !ParseField(line + 2, 2, hour) || !ParseField(line + 5, 2, minute) ||
        !ParseField(line + 8, 2, second) || !ParseField(line + 11, 2, day) || !ParseField(line + 14, 2, month) ||
        !ParseField(line + 17, 2, year) || year < 0)
        return kNoTime;
    const QDate date(2000 + year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return kNoTime;
    return QDateTime(date, time, Qt::LocalTime).toMSecsSinceEpoch();
}

std::vector<qint64> WindowTimes(const THistory& measure, std::size_t windows)
{
    std::vector<qint64> times(windows, kNoTime);
    const std::size_t groups = measure.steps.size();
    for (std::size_t k = 0; k < windows; ++k) {
        const std::size_t back = 6 * k;  // groups after the one that ends window k from the end
        if (back < groups)
            times[windows - 1 - k] = measure.steps[groups - 1 - back].utcMs;
    }
    return times;
}

THistory ReadScope2History(const QString& path, int keep, int period, qint64 budget)
{
    StepRing ring(keep, period);
    auto line = [&](const char* head, int headSize, qint64) {
        int min = 25;
        int max = 60;
        if (IsNoAudioField(head, std::min(headSize, 2)))
            min = kNoAudio;
        else if (!ParseField(head, std::min(headSize, 2), min))
            min = 25;
        if (headSize > 3 && IsNoAudioField(head + 3, std::min(headSize - 3, 2)))
            max = kNoAudio;
        else if (headSize <= 3 || !ParseField(head + 3, std::min(headSize - 3, 2), max))
            max = 60;
        ring.Add(min, max);
    };
    qint64 bytesRead = 0;
    const qint64 before = ReadTail(path, kScope2LineBytes, budget, line, bytesRead);
    return ring.Take(before, bytesRead);
}

}  // namespace zol
