#include "cli/commands/Commands.h"
#include "cli/commands/DriveCommandSupport.h"
#include "core/drives/FreeLetters.h"
#include "core/drives/MountFlow.h"

#include <ostream>

namespace kestrava::cli {
namespace {

class UnmountCommand : public Command
{
public:
    std::string name() const override { return "unmount"; }
    std::string summary() const override { return "unmount a drive, or every mounted drive"; }
    std::string usage() const override { return "unmount K:|FOLDER\n       kestrava-cli unmount --all"; }
    std::vector<OptionDefinition> options() const override
    {
        return {{"all", false, "", "unmount every mounted Kestrava drive"}};
    }

    ExitCode run(CommandContext& context, const ParsedArguments& args) override
    {
        const bool all = args.has("all");
        if (all && !args.positional.empty()) {
            return usageError(context.io, "unmount: --all takes no drive");
        }
        ExitCode exitCode = ExitCode::Success;
        std::optional<std::string> name;
        if (!all && !(name = driveArgument(context, args, exitCode))) {
            return exitCode;
        }
        auto run = openDriveRun(context, exitCode);
        if (!run) {
            return exitCode;
        }
        run->loadRows();
        if (all) {
            bool failed = false;
            for (std::size_t i = 0; i < run->rows().size(); ++i) {
                const auto row = run->rows().row(i);
                if (row->isMounted() || drives::hostServesLetter(run->host(), row->letter)) {
                    const bool done =
                        row->isMounted()
                            ? drives::unmountRow(run->services(), i)
                            : drives::unmountVanishedDrive(run->services(), row->letter, row->folder());
                    failed = failed || !done;
                    if (done) {
                        context.io.out << "Unmounted " << row->letter << "\n";
                    }
                }
            }
            return failed ? ExitCode::Failure : ExitCode::Success;
        }
        const auto index = run->findDrive(*name, exitCode);
        if (!index) {
            return exitCode;
        }
        const drives::DriveRow row = *run->rows().row(*index);
        if (!row.isMounted()) {
            // A drive whose backing folder vanished lists as "Error!" but may still be mounted.
            if (drives::hostServesLetter(run->host(), row.letter)) {
                if (!drives::unmountVanishedDrive(run->services(), row.letter, row.folder())) {
                    return fail(context.io, "cannot unmount " + row.letter);
                }
                context.io.out << "Unmounted " << row.letter << "\n";
                return ExitCode::Success;
            }
            return fail(context.io, row.letter + " is not mounted");
        }
        if (!drives::unmountRow(run->services(), *index)) {
            return ExitCode::Failure;
        }
        context.io.out << "Unmounted " << row.letter << "\n";
        return ExitCode::Success;
    }
};

} // namespace

std::unique_ptr<Command> makeUnmountCommand()
{
    return std::make_unique<UnmountCommand>();
}

} // namespace kestrava::cli
