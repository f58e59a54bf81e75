#include "cli/commands/ProgramLock.h"

#include "cli/PasswordInput.h"
#include "cli/commands/CommandSupport.h"
#include "core/access/GoogleAuth.h"
#include "core/app/StringTable.h"

namespace kestrava::cli {
namespace {

constexpr int kMsgLoginPasswordLabel = 159; // "Kestrava Login Password:"
constexpr int kMsgCodeHasSixDigits = 1261;
constexpr int kMsgPasswordTooShort = 46;

std::string codeFieldLabel(const LoginLock& lock)
{
    return oneTimeCodeFieldLabel(lock.googleAuth.accountName) + " ";
}

// Reads one entry; the first prompt carries the lock's explanation.
std::optional<crypto::SecureString> askEntry(Io& io, PasswordInput& input, const std::string& prompt)
{
    std::string error;
    auto entry = input.ask(prompt, error);
    if (!entry) {
        fail(io, error.empty() ? "the program lock's entries could not be read" : error);
    }
    return entry;
}

} // namespace

session::LoginReply TerminalLoginAnswerer::answer(const LoginLock& lock, const LoginPlan& plan,
                                                  const session::LoginEntryCheck& check)
{
    session::LoginReply reply;
    reply.outcome = session::LoginReply::Outcome::Unanswered;
    PasswordInput input(m_context.io, m_context.globals.loginStdin,
                        "Kestrava is locked and there is no terminal to ask the login password or code on; "
                        "use --login-stdin");
    const std::string heading = loadAppString(plan.titleId) + "\n" + loadAppString(plan.messageId) + "\n";
    LoginEntries entries;
    // Only entries that are tested are asked: a switch without a stored password shows the
    // desktop prompt's field but accepts anything, so the terminal asks nothing for it.
    if (plan.checkPassword) {
        auto password = askEntry(m_context.io, input, heading + loadAppString(kMsgLoginPasswordLabel) + " ");
        if (!password) {
            return reply;
        }
        entries.password = std::move(*password);
    }
    if (plan.askCode) {
        auto code = askEntry(m_context.io, input,
                             (plan.checkPassword ? std::string() : heading) + codeFieldLabel(lock));
        if (!code) {
            return reply;
        }
        entries.code = std::move(*code);
    }
    reply.outcome = session::LoginReply::Outcome::Checked;
    reply.result = check(entries);
    return reply;
}

ExitCode reportLoginFailure(Io& io, const session::OpenResult& result,
                            const std::filesystem::path& settingsPath)
{
    if (result.outcome == session::OpenOutcome::DamagedSecret) {
        // The desktop app ends here; a command reports the failure, since it did not run.
        return failWithMessage(io, result.login.messageId, {settingsPath.string()});
    }
    // The desktop prompt's field takes six digits only; typed here, a short code gets a
    // message about the code rather than about password length.
    if (result.login.field == LoginField::Code && result.login.messageId == kMsgPasswordTooShort) {
        return failWithMessage(io, kMsgCodeHasSixDigits);
    }
    return failWithMessage(io, result.login.messageId);
}

} // namespace kestrava::cli
