#include "cli/commands/CommandSupport.h"
#include "cli/commands/Commands.h"
#include "cli/commands/SettingsSupport.h"
#include "core/access/GoogleAuth.h"
#include "core/access/LoginPassword.h"
#include "core/access/PasswordStrength.h"
#include "core/app/StringTable.h"
#include "core/settings/SettingsProgramValues.h"

#include <ostream>

namespace kestrava::cli {
namespace {

constexpr int kMsgCurrentPassword = 8; // "Current Password:"
constexpr int kMsgConfirmPassword = 9; // "Confirm Password:"
constexpr int kMsgNewPassword = 57;    // "New Password:"

ExitCode settingsWriteFailed(CommandContext& context, const settings::SettingsFile& opened)
{
    return failWithMessage(context.io, kMsgCannotLoadSettings, {opened.path().string()});
}

class LoginPasswordCommand : public Command
{
public:
    std::string name() const override { return "login-password"; }
    std::string summary() const override { return "set, clear, or switch the program's login password"; }
    std::string usage() const override { return "login-password set|clear|on|off"; }

    ExitCode run(CommandContext& context, const ParsedArguments& args) override
    {
        if (args.positional.size() != 1) {
            return usageError(context.io, args.positional.empty() ? "login-password: what to do is missing"
                                                                  : "login-password: too many arguments");
        }
        const std::string& action = args.positional.front();
        if (action != "set" && action != "clear" && action != "on" && action != "off") {
            return usageError(context.io, "login-password: unknown action '" + action + "'");
        }
        ExitCode exitCode = ExitCode::Success;
        auto opened = openSettings(context, exitCode);
        if (!opened) {
            return exitCode;
        }
        settings::SettingsProgramValues values(*opened);
        if (action == "set") {
            return set(context, *opened, values);
        }
        if (action == "clear") {
            if (!clearLoginPassword(values)) {
                return settingsWriteFailed(context, *opened);
            }
            context.io.out << "Login password cleared; it is no longer asked.\n";
            return ExitCode::Success;
        }
        const bool on = action == "on";
        if (on && loadLoginPassword(values).empty()) {
            return fail(context.io, "no login password is set; use 'kestrava-cli login-password set'");
        }
        if (!setLoginPasswordRequired(values, on)) {
            return settingsWriteFailed(context, *opened);
        }
        context.io.out << (on ? "The login password is now required.\n"
                              : "The login password is no longer required.\n");
        return ExitCode::Success;
    }

private:
    static ExitCode set(CommandContext& context, const settings::SettingsFile& opened, ProgramValues& values)
    {
        const std::string stored = loadLoginPassword(values);
        crypto::SecureString current = crypto::makeSecureString({});
        if (!stored.empty()) {
            auto typed = askPassword(context, loadAppString(kMsgCurrentPassword) + " ");
            if (!typed) {
                return ExitCode::Failure;
            }
            current = std::move(*typed);
        }
        const auto newPassword = askPassword(context, loadAppString(kMsgNewPassword) + " ");
        if (!newPassword) {
            return ExitCode::Failure;
        }
        const auto confirmation = askPassword(context, loadAppString(kMsgConfirmPassword) + " ");
        if (!confirmation) {
            return ExitCode::Failure;
        }
        if (const int refusal = checkLoginPasswordChange(stored, current, *newPassword, *confirmation);
            refusal != 0) {
            return fail(context.io, loginPasswordChangeMessage(refusal));
        }
        if (!saveLoginPassword(values, *newPassword)) {
            return settingsWriteFailed(context, opened);
        }
        context.io.out << "Login password set; it is required from now on. "
                       << passwordStrengthCaption(ratePasswordStrength(*newPassword)) << "\n";
        return ExitCode::Success;
    }
};

} // namespace

std::unique_ptr<Command> makeLoginPasswordCommand()
{
    return std::make_unique<LoginPasswordCommand>();
}

} // namespace kestrava::cli
