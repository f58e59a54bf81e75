#include "cli/commands/Commands.h"
#include "cli/commands/DriveCommandSupport.h"
#include "core/drives/DriveCommands.h"

#include <ostream>

namespace kestrava::cli {
namespace {

class DeleteCommand : public Command
{
public:
    std::string name() const override { return "delete"; }
    std::string summary() const override
    {
        return "remove a drive from the list (and, if asked, its encrypted files)";
    }
    std::string usage() const override { return "delete K:|FOLDER [--delete-files] [--yes]"; }
    std::vector<OptionSpec> options() const override
    {
        return {{"delete-files", false, "",
                 "also delete the backing folder with every encrypted file in it (asks first)"}};
    }

    ExitCode run(CommandContext& context, const ParsedArguments& args) override
    {
        ExitCode exitCode = ExitCode::Success;
        const auto name = driveArgument(context, args, exitCode);
        if (!name) {
            return exitCode;
        }
        auto run = openDriveRun(context, exitCode);
        if (!run) {
            return exitCode;
        }
        run->loadRows();
        const auto index = run->findDrive(*name, exitCode);
        if (!index) {
            return exitCode;
        }
        const drives::DriveRow row = *run->rows().row(*index);
        drives::RemoveOptions options;
        options.offerFileDeletion = args.has("delete-files");
        switch (drives::RemoveDrive(run->services(), index, options)) {
        case drives::RemoveResult::Removed:
            break;
        case drives::RemoveResult::Cancelled:
            if (run->prompter().unanswered()) {
                return run->stopped();
            }
            return fail(context.io, "cancelled; nothing was deleted");
        case drives::RemoveResult::Failed:
            return ExitCode::Failure;
        }
        std::error_code ec;
        const bool filesGone = options.offerFileDeletion && !std::filesystem::exists(row.folder(), ec);
        context.io.out << "Deleted drive " << row.letter << " (" << row.label << ")"
                       << (filesGone ? " and its encrypted files" : "") << "\n";
        if (options.offerFileDeletion && !filesGone && run->prompter().unanswered()) {
            return run->stopped();
        }
        return ExitCode::Success;
    }
};

} // namespace

std::unique_ptr<Command> makeDeleteCommand()
{
    return std::make_unique<DeleteCommand>();
}

} // namespace kestrava::cli
