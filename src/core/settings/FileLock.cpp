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

void removeAbandonedTemporaries(const std::filesystem::path& file)
{
    // The name pattern of util::writeFileAtomically's temporary files.
    const std::string prefix = "." + file.filename().string() + ".tmp-";
    std::error_code ec;
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().filename().string().starts_with(prefix)) {
            std::error_code ignored;
            std::filesystem::remove(it->path(), ignored);
        }
    }
}

} // namespace kestrava::settings
