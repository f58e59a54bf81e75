#include "core/util/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrava::util {
namespace {

class FdCloser
{
public:
    explicit FdCloser(int fd) : m_fd(fd) {}
    ~FdCloser()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

WriteResult failure(const std::string& step, int error)
{
    return {false, error, step + ": " + std::strerror(error)};
}

} // namespace

bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

WriteResult writeFileAtomically(const std::filesystem::path& target, std::string_view data, mode_t mode)
{
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    std::string tmpl = (folder / ("." + target.filename().string() + ".tmp-XXXXXX")).string();
    const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) {
        return failure("create temporary file in " + folder.string(), errno);
    }
    FdCloser closer(fd);
    const std::string tmpPath = tmpl;
    auto abandon = [&](const std::string& step) {
        const int error = errno;
        ::unlink(tmpPath.c_str());
        return failure(step, error);
    };
    if (::fchmod(fd, mode) != 0) {
        return abandon("set mode of " + tmpPath);
    }
    if (!writeAll(fd, data)) {
        return abandon("write " + tmpPath);
    }
    if (::fsync(fd) != 0) {
        return abandon("flush " + tmpPath);
    }
    if (::close(closer.release()) != 0) {
        return abandon("close " + tmpPath);
    }
    if (::rename(tmpPath.c_str(), target.c_str()) != 0) {
        return abandon("replace " + target.string());
    }
    // Make the rename itself durable; a failure here no longer endangers the data.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return {true, 0, {}};
}

bool readSmallFile(const std::filesystem::path& path, std::size_t maxBytes, std::string& contents,
                   std::string& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    FdCloser closer(fd);
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = S_ISDIR(st.st_mode) ? "is a directory" : "is not a regular file";
        return false;
    }
    if (static_cast<std::size_t>(st.st_size) > maxBytes) {
        error = "file is too large";
        return false;
    }
    contents.clear();
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = std::strerror(errno);
            return false;
        }
        if (n == 0) {
            break;
        }
        contents.append(buffer, static_cast<std::size_t>(n));
        if (contents.size() > maxBytes) {
            error = "file is too large";
            return false;
        }
    }
    return true;
}

} // namespace kestrava::util
