#include "cli/commands/Commands.h"
#include "cli/commands/DriveCommandSupport.h"
#include "core/drives/CreateDriveFlow.h"
#include "core/drives/TokenBackup.h"

#include <ostream>

namespace kestrava::cli {
namespace {

class BackupTokenCommand : public Command
{
public:
    std::string name() const override { return "backup-token"; }
    std::string summary() const override { return "copy a drive's security token to a backup file"; }
    std::string usage() const override { return "backup-token K:|FOLDER [FILE]"; }

    ExitCode run(CommandContext& context, const ParsedArguments& args) override
    {
        if (args.positional.empty() || args.positional.size() > 2) {
            return usageError(context.io, args.positional.empty()
                                              ? "backup-token: name the drive by its letter or folder"
                                              : "backup-token: too many arguments");
        }
        ExitCode exitCode = ExitCode::Success;
        auto run = openDriveRun(context, exitCode);
        if (!run) {
            return exitCode;
        }
        run->loadRows();
        const auto index = run->findDrive(args.positional.front(), exitCode);
        if (!index) {
            return exitCode;
        }
        const drives::DriveRow row = *run->rows().row(*index);
        std::filesystem::path target =
            args.positional.size() == 2 ? std::filesystem::path(args.positional[1]) : std::filesystem::path();
        std::error_code ec;
        if (target.empty() || std::filesystem::is_directory(target, ec)) {
            target /= drives::defaultBackupName(row.label);
        }
        target = drives::normalizeBackingFolder(target);
        if (std::filesystem::exists(std::filesystem::symlink_status(target, ec))) {
            // The save dialog would ask; a terminal run never replaces a file unasked.
            return fail(context.io, target.string() + " exists already; remove it or name another file");
        }
        if (!drives::backupSecurityToken(run->prompter(), row.folder(), row.label, target)) {
            return ExitCode::Failure;
        }
        context.io.out << target.string() << "\n";
        return ExitCode::Success;
    }
};

} // namespace

std::unique_ptr<Command> makeBackupTokenCommand()
{
    return std::make_unique<BackupTokenCommand>();
}

} // namespace kestrava::cli
