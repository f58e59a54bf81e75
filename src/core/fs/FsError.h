// The one error type of the file system layer: an errno value. Handlers catch it in one place
// and return it negated, as a Linux file system reports errors.
#pragma once

#include <cerrno>
#include <stdexcept>
#include <string>

namespace kestrava::fs {

class FsError : public std::runtime_error
{
public:
    explicit FsError(int error) : std::runtime_error("errno " + std::to_string(error)), m_errno(error) {}
    int error() const noexcept { return m_errno; }

private:
    int m_errno;
};

// Throws the current errno when a system call reported failure (a negative result).
template <class T> T checkSys(T result)
{
    if (result < 0) {
        throw FsError(errno != 0 ? errno : EIO);
    }
    return result;
}

} // namespace kestrava::fs
