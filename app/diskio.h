// The few file operations the settings file and the logs share: every byte
// they write and every sync to the disk goes through Write and Sync, which
// tests can replace to simulate a full disk or a short write. Errors are
// errno values (0: none); ErrorText turns them into words.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <functional>
#include <sys/types.h>

namespace zol::diskio {

// Errors of our own, beside the system's errno values.
constexpr int kNotRegularFile = -1001;  // a device, a pipe or a socket
constexpr int kTooLarge = -1002;        // larger than the reader accepts

// The system's text for an errno value, or ours for the values above.
QString ErrorText(int error);

using WriteFunction = std::function<ssize_t(int fd, const void* data, size_t size)>;
using SyncFunction = std::function<int(int fd)>;
// Replaces write(2) / fdatasync(2) (returning -1 and setting errno on
// failure, as they do); an empty function brings the system's back.
void SetWriteFunction(WriteFunction function);
void SetSyncFunction(SyncFunction function);

// Writes all of `size` bytes, going on after a short write or EINTR.
// Returns 0 or the error; `done` holds the bytes written either way.
int WriteAll(int fd, const char* data, size_t size, size_t& done);
// Makes what was written to `fd` reach the disk. Returns 0 or the error;
// a file that cannot be synced by its nature (EINVAL, EROFS) is no error.
int Sync(int fd);

// Opens `path` for reading (O_NONBLOCK, so a pipe cannot hang the caller)
// and makes sure it is a regular file; returns the descriptor, or -1 with
// the error in `error` (EISDIR for a folder, kNotRegularFile for others).
int OpenRegular(const QString& path, int flags, int& error, mode_t mode = 0644);
// Reads a whole regular file of at most `maxBytes`. Returns 0 or the error
// (ENOENT when it does not exist, kTooLarge when it is larger).
int ReadSmallFile(const QString& path, qint64 maxBytes, QByteArray& data);

}  // namespace zol::diskio
