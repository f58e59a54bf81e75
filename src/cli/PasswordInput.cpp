#include "cli/PasswordInput.h"

#include "cli/Terminal.h"

#include <istream>

namespace kestrava::cli {

std::optional<crypto::SecureString> PasswordInput::ask(const std::string& prompt, std::string& error)
{
    if (!m_fromStdin) {
        if (!m_io.interactive) {
            error = m_noTerminal;
            return std::nullopt;
        }
        bool noTerminal = false;
        auto line = readTerminalLine(prompt, false, &noTerminal);
        if (!line) {
            error = noTerminal ? m_noTerminal : "no password was entered";
        }
        return line;
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
