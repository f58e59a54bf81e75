#include "cli/commands/CommandSupport.h"
#include "cli/commands/Commands.h"
#include "core/access/LegacyCodePage.h"
#include "core/app/ActivityLog.h"
#include "core/app/StringTable.h"
#include "core/settings/SavedPasswords.h"

#include <ostream>

namespace kestrava::cli {
namespace {

constexpr int kMsgCurrentPassword = 8; // "Current Password:"
constexpr int kMsgNewPassword = 57;    // "New Password:"
constexpr int kMsgTokenSaveFailed = 153;

class PasswdCommand : public Command
{
public:
    std::string name() const override { return "passwd"; }
    std::string summary() const override
    {
        return "change a drive's password (the master key stays, so files stay readable)";
    }
    std::string usage() const override { return "passwd FOLDER"; }

    ExitCode run(CommandContext& context, const ParsedArguments& args) override
    {
        ExitCode exitCode = ExitCode::Success;
        const auto folder = folderArgument(context, args, exitCode);
        if (!folder) {
            return exitCode;
        }
        token::DriveContext ctx;
        exitCode = unlockWithPrompt(context, ctx, *folder, loadAppString(kMsgCurrentPassword) + " ");
        if (exitCode != ExitCode::Success) {
            return exitCode;
        }
        const auto newPassword = askNewPassword(context, loadAppString(kMsgNewPassword) + " ");
        if (!newPassword) {
            return ExitCode::Failure;
        }
        ctx.SetPassword(drivePasswordForNewToken(*newPassword, ctx.format()));
        std::string error;
        if (!ctx.RewrapToken(token::tokenPathFor(*folder), &error)) {
            writeLog("!RewrapToken Error: %s", error.c_str());
            return fail(context.io, loadAppString(kMsgTokenSaveFailed) + " (" + error + ")");
        }
        writeLog("RewrapToken: %s", token::tokenPathFor(*folder).c_str());
        context.io.out << "Changed the password of the security token in " << folder->string() << "\n";
        return ExitCode::Success;
    }
};

} // namespace

std::unique_ptr<Command> makePasswdCommand()
{
    return std::make_unique<PasswdCommand>();
}

} // namespace kestrava::cli
