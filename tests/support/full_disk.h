// A disk that takes `room` more bytes, then is full (write fails with ENOSPC),
// while the object lives: every write of the logs and the settings file goes
// through diskio's replaceable write function.
#pragma once

#include "app/diskio.h"

#include <QtGlobal>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <unistd.h>

namespace zol::test {

class FullDisk {
public:
    explicit FullDisk(qint64 room) : room_(room)
    {
        diskio::SetWriteFunction([this](int fd, const void* data, size_t size) -> ssize_t {
            if (room_ <= 0) {
                errno = ENOSPC;
                return -1;
            }
            const auto n = static_cast<size_t>(std::min<qint64>(room_, static_cast<qint64>(size)));
            room_ -= static_cast<qint64>(n);
            return ::write(fd, data, n);
        });
    }
    ~FullDisk() { diskio::SetWriteFunction({}); }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;
    // Room for `bytes` more (by default: no limit any more).
    void Free(qint64 bytes = std::numeric_limits<qint64>::max()) { room_ = bytes; }

private:
    qint64 room_;
};

}  // namespace zol::test
