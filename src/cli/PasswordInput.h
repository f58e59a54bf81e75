// Reading passwords: from the terminal without echo, or with --password-stdin one line per
// password asked, in the order asked.
#pragma once

#include "cli/Command.h"
#include "core/crypto/SecureBytes.h"

#include <optional>
#include <string>
#include <utility>

namespace kestrava::cli {

inline constexpr const char* kNoTerminalForPassword =
    "no terminal to ask for the password on; use --password-stdin";

class PasswordInput
{
public:
    // noTerminal is the failure line when there is no terminal to ask on: it names the option
    // that supplies these entries without one.
    PasswordInput(Io& io, bool fromStdin, std::string noTerminal = kNoTerminalForPassword)
        : m_io(io), m_fromStdin(fromStdin), m_noTerminal(std::move(noTerminal))
    {
    }

    // The typed password, or nothing with a reason in error (no terminal, end of input).
    std::optional<crypto::SecureString> ask(const std::string& prompt, std::string& error);

private:
    Io& m_io;
    bool m_fromStdin;
    std::string m_noTerminal;
};

} // namespace kestrava::cli
