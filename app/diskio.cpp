#include "app/diskio.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zol::diskio {

namespace {
WriteFunction& WriteHook()
{
    static WriteFunction hook;
    return hook;
}
SyncFunction& SyncHook()
{
    static SyncFunction hook;
    return hook;
}
}  // namespace

QString ErrorText(int error)
{
    switch (error) {
    case 0:
        return QStringLiteral("Success");
    case kNotRegularFile:
        return QStringLiteral("Not a regular file");
    case kTooLarge:
        return QStringLiteral("File too large to be a settings file");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

void SetWriteFunction(WriteFunction function)
{
    WriteHook() = std::move(function);
}

void SetSyncFunction(SyncFunction function)
{
    SyncHook() = std::move(function);
}

int WriteAll(int fd, const char* data, size_t size, size_t& done)
{
    done = 0;
    while (done < size) {
        const ssize_t n = WriteHook() ? WriteHook()(fd, data + done, size - done) : ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;  // no progress and no reason: do not spin
        done += static_cast<size_t>(n);
    }
    return 0;
}

int Sync(int fd)
{
    const int rc = SyncHook() ? SyncHook()(fd) : ::fdatasync(fd);
    if (rc == 0 || errno == EINVAL || errno == EROFS)
        return 0;
    return errno;
}

int OpenRegular(const QString& path, int flags, int& error, mode_t mode)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), flags | O_NONBLOCK | O_CLOEXEC, mode);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    struct stat st {};
    error = ::fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : S_ISDIR(st.st_mode) ? EISDIR : kNotRegularFile;
    if (error != 0) {
        ::close(fd);
        return -1;
    }
    // Regular files do not block anyway; later reads and writes of a file
    // should not see EAGAIN from a file system that honours the flag.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

int ReadSmallFile(const QString& path, qint64 maxBytes, QByteArray& data)
{
    data.clear();
    int error = 0;
    const int fd = OpenRegular(path, O_RDONLY, error);
    if (fd < 0)
        return error;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            break;
        }
        if (n == 0)
            break;
        if (data.size() + n > maxBytes) {
            error = kTooLarge;
            break;
        }
        data.append(buffer, n);
    }
    ::close(fd);
    if (error != 0)
        data.clear();
    return error;
}

}  // namespace zol::diskio
