#include "app/logfiles.h"

#include "platform/errors.h"

#include <QFile>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zol {

QString TwoCharField(int value)
{
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

bool ParseField(const QString& text, int& value)
{
    int i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    int sign = 1;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        sign = text[i] == '-' ? -1 : 1;
        ++i;
    }
    if (i >= text.size())
        return false;
    int v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        v = v * 10 + (text[i].unicode() - '0');
    }
    value = sign * v;
    return true;
}

TTextLog::TTextLog(QString path) : path_(std::move(path)) {}

TTextLog::~TTextLog()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void TTextLog::Fail(const QString& what, int error) const
{
    throw EInOutError(QStringLiteral("%1 %2: %3").arg(what, path_, QString::fromLocal8Bit(std::strerror(error))));
}

bool TTextLog::Exists() const
{
    return QFile::exists(path_);
}

void TTextLog::Create()
{
    OpenAppend();
}

QStringList TTextLog::ReadLines() const
{
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        Fail(QStringLiteral("Unable to read"), file.error() == QFileDevice::OpenError ? EACCES : EIO);
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        Fail(QStringLiteral("Unable to read"), EIO);
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (data[i] != '\r' && data[i] != '\n')
            continue;
        lines.append(QString::fromLatin1(data.constData() + start, i - start));
        if (data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < data.size())
        lines.append(QString::fromLatin1(data.constData() + start, data.size() - start));
    return lines;
}

void TTextLog::OpenAppend()
{
    if (fd_ >= 0)
        return;
    const QByteArray name = QFile::encodeName(path_);
    const int fd = ::open(name.constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        Fail(QStringLiteral("Unable to open"), errno);
    struct stat st{};
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
        char last = '\n';
        if (::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n') {
            // A line cut after its CR only lacks the LF.
            const char* end = last == '\r' ? "\n" : "\r\n";
            const auto size = static_cast<ssize_t>(std::strlen(end));
            if (::write(fd, end, static_cast<size_t>(size)) != size) {
                const int error = errno;
                ::close(fd);
                Fail(QStringLiteral("Unable to write to"), error);
            }
        }
    }
    fd_ = fd;
}

void TTextLog::AppendLine(const QString& line)
{
    if (fd_ < 0)
        Fail(QStringLiteral("Unable to write to"), EBADF);
    const QByteArray data = line.toLatin1() + "\r\n";
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd_, data.constData() + done, static_cast<size_t>(data.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail(QStringLiteral("Unable to write to"), errno);
        }
        done += n;
    }
}

void TTextLog::Flush()
{
    if (fd_ < 0)
        Fail(QStringLiteral("Unable to write to"), EBADF);
    if (::fdatasync(fd_) != 0 && errno != EINVAL && errno != EROFS)
        Fail(QStringLiteral("Unable to write to"), errno);
}

void TTextLog::Close()
{
    if (fd_ < 0)
        return;
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        Fail(QStringLiteral("Unable to close"), errno);
}

}  // namespace zol
