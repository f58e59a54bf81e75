#include "core/update/InstallerStart.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrava::update {

bool startDetached(const std::filesystem::path& program, std::string& error)
{
    // The grandchild reports a failed exec through a pipe that closes on a successful one; the
    // middle child ends at once, so the installer is nobody's child to wait for.
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        return false;
    }
    const pid_t middle = ::fork();
    if (middle < 0) {
        error = std::strerror(errno);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return false;
    }
    if (middle == 0) {
        ::close(pipeFds[0]);
        ::setsid();
        const pid_t installer = ::fork();
        if (installer == 0) {
            const int devNull = ::open("/dev/null", O_RDONLY);
            if (devNull >= 0) {
                ::dup2(devNull, STDIN_FILENO);
            }
            const char* argv[] = {program.c_str(), nullptr};
            ::execv(program.c_str(), const_cast<char* const*>(argv));
            const int code = errno;
            (void)!::write(pipeFds[1], &code, sizeof code);
            ::_exit(127);
        }
        if (installer < 0) {
            const int code = errno;
            (void)!::write(pipeFds[1], &code, sizeof code);
        }
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    int code = 0;
    ssize_t got = 0;
    do {
        got = ::read(pipeFds[0], &code, sizeof code);
    } while (got < 0 && errno == EINTR);
    ::close(pipeFds[0]);
    if (got == static_cast<ssize_t>(sizeof code)) {
        error = std::strerror(code);
        return false;
    }
    return true;
}

} // namespace kestrava::update
