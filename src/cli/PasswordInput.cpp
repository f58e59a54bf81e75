#include "cli/PasswordInput.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <istream>
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

std::optional<crypto::SecureString> readFromTerminal(const std::string& prompt, std::string& error)
{
    const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = "no terminal to ask for the password on; use --password-stdin";
        return std::nullopt;
    }
    termios saved{};
    const bool haveTermios = ::tcgetattr(fd, &saved) == 0;
    if (haveTermios) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
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
    if (haveTermios) {
        ::tcsetattr(fd, TCSAFLUSH, &saved);
    }
    ::close(fd);
    crypto::secureWipe(&c, 1);
    if (!complete && line.empty()) {
        error = "no password was entered";
        return std::nullopt;
    }
    return line;
}

} // namespace

std::optional<crypto::SecureString> PasswordInput::ask(const std::string& prompt, std::string& error)
{
    if (!m_fromStdin) {
        if (!m_io.interactive) {
            error = "no terminal to ask for the password on; use --password-stdin";
            return std::nullopt;
        }
        return readFromTerminal(prompt, error);
    }
    crypto::SecureString line = crypto::makeSecureString({});
    char c = 0;
    bool any = false;
    while (m_io.in.get(c)) {
        any = true;
        if (c == '\n') {
            break;
        }
        line += c;
    }
    if (!any) {
        error = "standard input ended before every password was given";
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

} // namespace kestrava::cli
