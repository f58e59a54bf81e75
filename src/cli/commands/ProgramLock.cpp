#include "cli/commands/ProgramLock.h"

#include "cli/PasswordInput.h"
#include "cli/commands/CommandSupport.h"
#include "core/access/LoginCheck.h"
#include "core/app/ActivityLog.h"
#include "core/app/StringTable.h"
#include "core/settings/SettingsProgramValues.h"

namespace kestrava::cli {
namespace {

constexpr int kMsgLoginPasswordLabel = 159; // "Kestrava Login Password:"
constexpr int kMsgGoogleAuthenticator = 257;
constexpr int kMsgKeyLabel = 260; // "Key:"
constexpr int kMsgCodeHasSixDigits = 1261;
constexpr int kMsgPasswordTooShort = 46;

std::string codeFieldLabel(const LoginLock& lock)
{
    return loadAppString(kMsgGoogleAuthenticator) + ":  [ " + loadAppString(kMsgKeyLabel) + "  " +
           lock.googleAuth.accountName + " ] ";
}

// Reads one entry; the first prompt carries the lock's explanation.
std::optional<crypto::SecureString> askEntry(CommandContext& context, PasswordInput& input,
                                             const std::string& prompt)
{
    std::string error;
    auto entry = input.ask(prompt, error);
    if (!entry) {
        fail(context.io, error.empty() ? "the program lock's entries could not be read" : error);
    }
    return entry;
}

} // namespace

ExitCode checkProgramLock(CommandContext& context, ProgramValues& values,
                          const std::filesystem::path& settingsPath, LoginLayerState& session,
                          const Clock& clock)
{
    const LoginLock lock = loadLoginLock(values);
    const LoginPlan plan = planLogin(lock);
    session = LoginLayerState{};
    if (!plan.locked) {
        return ExitCode::Success;
    }
    PasswordInput input(context.io, context.globals.loginStdin,
                        "Kestrava is locked and there is no terminal to ask the login password or code on; "
                        "use --login-stdin");
    const std::string heading = loadAppString(plan.titleId) + "\n" + loadAppString(plan.messageId) + "\n";
    LoginEntries entries;
    // Only entries that are tested are asked: a switch without a stored password shows the
    // desktop prompt's field but accepts anything, so the terminal asks nothing for it.
    if (plan.checkPassword) {
        auto password = askEntry(context, input, heading + loadAppString(kMsgLoginPasswordLabel) + " ");
        if (!password) {
            return ExitCode::Failure;
        }
        entries.password = std::move(*password);
    }
    if (plan.askCode) {
        auto code =
            askEntry(context, input, (plan.checkPassword ? std::string() : heading) + codeFieldLabel(lock));
        if (!code) {
            return ExitCode::Failure;
        }
        entries.code = std::move(*code);
    }
    const LoginCheckResult result = checkLoginEntries(lock, plan, entries, clock());
    if (result.damagedSecret) {
        // The stored secret cannot check any code. The desktop app ends here; a command
        // reports the failure, since it did not run.
        writeLog("!Login: the one-time-code secret is missing or damaged");
        return failWithMessage(context.io, result.messageId, {settingsPath.string()});
    }
    if (!result.opened) {
        writeLog("!Login: %s refused", result.field == LoginField::Code ? "one-time code" : "login password");
        // The desktop prompt's field takes six digits only; typed here, a short code gets a
        // message about the code rather than about password length.
        if (result.field == LoginField::Code && result.messageId == kMsgPasswordTooShort) {
            return failWithMessage(context.io, kMsgCodeHasSixDigits);
        }
        return failWithMessage(context.io, result.messageId);
    }
    session = runStateAfterLogin(lock);
    writeLog("Login: unlocked (password %d, code %d)", session.loginPasswordActive ? 1 : 0,
             session.googleAuthActive ? 1 : 0);
    return ExitCode::Success;
}

ExitCode unlockProgram(CommandContext& context, const settings::SettingsFile& file, const Clock& clock)
{
    settings::SettingsProgramValues values(file);
    return checkProgramLock(context, values, file.path(), context.loginSession, clock);
}

} // namespace kestrava::cli
