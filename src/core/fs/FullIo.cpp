#include "core/fs/FullIo.h"

#include "core/fs/FsError.h"

#include <cerrno>
#include <unistd.h>

namespace kestrava::fs {

using crypto::Byte;

std::size_t preadFull(int fd, Byte* buffer, std::size_t length, std::uint64_t offset)
{
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd, buffer + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        checkSys(n);
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void pwriteFull(int fd, const Byte* buffer, std::size_t length, std::uint64_t offset)
{
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pwrite(fd, buffer + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        checkSys(n);
        if (n == 0) {
            throw FsError(EIO);
        }
        done += static_cast<std::size_t>(n);
    }
}

} // namespace kestrava::fs
