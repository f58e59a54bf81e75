// The program lock's login exchange on the terminal: the entries the lock tests are asked
// exactly as the desktop app's start-up prompt shows them (password first, then the code),
// from the terminal or, with --login-stdin, one line each from standard input.
#pragma once

#include "cli/Command.h"
#include "core/session/AppSession.h"

namespace kestrava::cli {

class TerminalLoginAnswerer : public session::LoginAnswerer
{
public:
    explicit TerminalLoginAnswerer(CommandContext& context) : m_context(context) {}

    // Asks once: a wrong entry ends the command. A failure to read is reported at once.
    session::LoginReply answer(const LoginLock& lock, const LoginPlan& plan,
                               const session::LoginEntryCheck& check) override;

private:
    CommandContext& m_context;
};

// The failure line of a refused or damaged lock, such as "Error! Incorrect password!".
ExitCode reportLoginFailure(Io& io, const session::OpenResult& result,
                            const std::filesystem::path& settingsPath);

} // namespace kestrava::cli
