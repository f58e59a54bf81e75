#include "core/settings/FileLock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace kestrava::settings {

FileLock::FileLock(const std::filesystem::path& lockPath)
{
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        m_error = "open " + lockPath.string() + ": " + std::strerror(errno);
        return;
    }
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            m_error = "lock " + lockPath.string() + ": " + std::strerror(errno);
            ::close(fd);
            return;
        }
    }
    m_fd = fd;
}

FileLock::~FileLock()
{
    if (m_fd >= 0) {
        // Closing the descriptor releases the lock.
        ::close(m_fd);
    }
}

std::filesystem::path lockPathFor(const std::filesystem::path& file)
{
    std::filesystem::path lock = file;
    lock += ".lock";
    return lock;
}

} // namespace kestrava::settings
