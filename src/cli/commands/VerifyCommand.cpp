#include "cli/commands/CommandSupport.h"
#include "cli/commands/Commands.h"
#include "core/app/StringTable.h"

#include <ostream>

namespace kestrava::cli {
namespace {

constexpr int kMsgPassword = 41;

class VerifyCommand : public Command
{
public:
    std::string name() const override { return "verify"; }
    std::string summary() const override { return "check that a password opens a folder's security token"; }
    std::string usage() const override { return "verify FOLDER"; }

    ExitCode run(CommandContext& context, const ParsedArguments& args) override
    {
        ExitCode exitCode = ExitCode::Success;
        const auto folder = folderArgument(context, args, exitCode);
        if (!folder) {
            return exitCode;
        }
        token::DriveContext ctx;
        exitCode = unlockWithPrompt(context, ctx, *folder, loadAppString(kMsgPassword));
        if (exitCode == ExitCode::Success) {
            context.io.out << "The password opens the security token in " << folder->string() << "\n";
        }
        return exitCode;
    }
};

} // namespace

std::unique_ptr<Command> makeVerifyCommand()
{
    return std::make_unique<VerifyCommand>();
}

} // namespace kestrava::cli
