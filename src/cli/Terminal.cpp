#include "cli/Terminal.h"

#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace kestrava::cli {
namespace {

void writeText(int fd, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n <= 0) {
            if (n < 0 && errno == EINTR) {
                continue;
            }
            return;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

} // namespace

std::optional<crypto::SecureString> readTerminalLine(std::string_view prompt, bool echo, bool* noTerminal)
{
    const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (noTerminal != nullptr) {
        *noTerminal = fd < 0;
    }
    if (fd < 0) {
        return std::nullopt;
    }
    termios saved{};
    const bool quiet = !echo && ::tcgetattr(fd, &saved) == 0;
    if (quiet) {
        termios noEcho = saved;
        noEcho.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        noEcho.c_lflag |= ECHONL;
        ::tcsetattr(fd, TCSAFLUSH, &noEcho);
    }
    writeText(fd, prompt);
    crypto::SecureString line = crypto::makeSecureString({});
    bool complete = false;
    char c = 0;
    for (;;) {
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        if (c == '\n') {
            complete = true;
            break;
        }
        line += c;
    }
    if (quiet) {
        ::tcsetattr(fd, TCSAFLUSH, &saved);
    }
    ::close(fd);
    crypto::secureWipe(&c, 1);
    if (!complete && line.empty()) {
        return std::nullopt;
    }
    return line;
}

} // namespace kestrava::cli
