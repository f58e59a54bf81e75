// Reading passwords: from the terminal without echo, or with --password-stdin one line per
// password asked, in the order asked.
#pragma once

#include "cli/Command.h"
#include "core/crypto/SecureBytes.h"

#include <optional>
#include <string>

namespace kestrava::cli {

class PasswordInput
{
public:
    PasswordInput(Io& io, bool fromStdin) : m_io(io), m_fromStdin(fromStdin) {}

    // The typed password, or nothing with a reason in error (no terminal, end of input).
    std::optional<crypto::SecureString> ask(const std::string& prompt, std::string& error);

private:
    Io& m_io;
    bool m_fromStdin;
};

} // namespace kestrava::cli
