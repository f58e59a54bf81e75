#include "cli/commands/Commands.h"
#include "cli/commands/DriveCommandSupport.h"
#include "core/drives/DriveCommands.h"

#include <ostream>

namespace kestrava::cli {
namespace {

class DeleteCommand : public Command
{
    // What became of the files; their messages have been shown. Failure when files that were
    // to be deleted are still there.
    static ExitCode reportFiles(CommandContext& context, DriveRun& run, const drives::DriveRow& row,
                                const drives::FileDeletionReport& files)
    {
        using drives::FileDeletion;
        const bool deleted =
            files.outcome == FileDeletion::FolderRemoved || files.outcome == FileDeletion::PartlyKept;
        context.io.out << "Deleted drive " << row.letter << " (" << row.label << ")"
                       << (deleted ? " and its encrypted files" : "") << "\n";
        if (!files.leftOver.empty()) {
            context.io.out << "Left in " << row.folder() << " (not the drive's):\n";
            for (const std::string& name : files.leftOver) {
                context.io.out << "  " << name << "\n";
            }
        }
        switch (files.outcome) {
        case FileDeletion::NotOffered:
        case FileDeletion::FolderRemoved:
        case FileDeletion::PartlyKept:
            return ExitCode::Success;
        case FileDeletion::Declined:
            return run.prompter().unanswered() ? run.stopped() : ExitCode::Success;
        case FileDeletion::KeyUnavailable:
        case FileDeletion::Failed:
            break;
        }
        return run.prompter().unanswered() ? run.stopped() : ExitCode::Failure;
    }

public:
    std::string name() const override { return "delete"; }
    std::string summary() const override
    {
        return "remove a drive from the list (and, if asked, its encrypted files)";
    }
    std::string usage() const override { return "delete K:|FOLDER [--delete-files] [--yes]"; }
    std::vector<OptionDefinition> options() const override
    {
        return {{"delete-files", false, "",
                 "also delete the drive's encrypted files and token (asks first, and the drive password "
                 "unless remembered); files that are not the drive's stay and are listed"}};
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
        drives::FileDeletionReport files;
        switch (drives::RemoveDrive(run->services(), index, options, &files)) {
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
        return reportFiles(context, *run, row, files);
    }
};

} // namespace

std::unique_ptr<Command> makeDeleteCommand()
{
    return std::make_unique<DeleteCommand>();
}

} // namespace kestrava::cli
