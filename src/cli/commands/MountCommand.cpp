#include "cli/commands/CommandSupport.h"
#include "cli/commands/Commands.h"
#include "cli/commands/DriveCommandSupport.h"
#include "core/drives/MountFlow.h"
#include "core/host/DriveHost.h"
#include "core/prefs/AutoLock.h"

#include <ostream>

namespace kestrava::cli {
namespace {

constexpr int kMsgNotAllMounted = 1267;

class MountCommand : public Command
{
public:
    std::string name() const override { return "mount"; }
    std::string summary() const override { return "mount a drive, or every drive marked for auto-mount"; }
    std::string usage() const override
    {
        return "mount K:|FOLDER [--foreground] [--remember] [--allow-other] [--idle-timeout MIN "
               "[--idle-detach]]\n"
               "       kestrava-cli mount --all [--no-prompt] [--allow-other] [--idle-timeout MIN "
               "[--idle-detach]]";
    }
    std::vector<OptionDefinition> options() const override
    {
        return {
            {"all", false, "", "mount every drive marked for auto-mount, as the desktop app does at start"},
            {"no-prompt", false, "", "with --all: skip drives whose password is not remembered"},
            {"foreground", false, "",
             "serve the drive from this process until it is unmounted or interrupted"},
            {"remember", false, "", "remember the password typed for the drive"},
            {"allow-other", false, "",
             "let other users use the drive (needs user_allow_other in /etc/fuse.conf)"},
            {"idle-timeout", true, "MIN", "unmount the drive after MIN minutes without use (1 to 1440)"},
            {"idle-detach", false, "",
             "with --idle-timeout: detach the drive even while programs hold files on it"},
        };
    }

    ExitCode run(CommandContext& context, const ParsedArguments& args) override
    {
        const bool all = args.has("all");
        if (all && (!args.positional.empty() || args.has("foreground"))) {
            return usageError(context.io, "mount: --all takes no drive and no --foreground");
        }
        if (!all && args.has("no-prompt")) {
            return usageError(context.io, "mount: --no-prompt goes with --all");
        }
        ExitCode exitCode = ExitCode::Success;
        std::optional<std::string> name;
        if (!all && !(name = driveArgument(context, args, exitCode))) {
            return exitCode;
        }
        host::MountOptions options;
        if (const auto idle = args.value("idle-timeout")) {
            const auto minutes = prefs::parseIdleMinutes(*idle);
            if (!minutes || *minutes == 0) {
                return usageError(context.io, "mount: --idle-timeout takes whole minutes from 1 to 1440");
            }
            options.idleMinutes = *minutes;
        } else if (args.has("idle-detach")) {
            return usageError(context.io, "mount: --idle-detach goes with --idle-timeout");
        }
        options.detachBusy = args.has("idle-detach");
        auto run = openDriveRun(context, exitCode);
        if (!run) {
            return exitCode;
        }
        options.allowOther = args.has("allow-other");
        options.foreground = args.has("foreground");
        return all ? mountAll(context, *run, options, !args.has("no-prompt"))
                   : mountOne(context, *run, *name, options, args.has("remember"));
    }

private:
    static ExitCode mountOne(CommandContext& context, DriveRun& run, const std::string& name,
                             const host::MountOptions& options, bool remember)
    {
        run.loadRows();
        ExitCode exitCode = ExitCode::Success;
        const auto index = run.findDrive(name, exitCode);
        if (!index) {
            return exitCode;
        }
        const drives::DriveRow row = *run.rows().row(*index);
        if (row.isMounted()) {
            return fail(context.io, row.letter + " is already mounted at " +
                                        run.host().mountPointFor(row.letter).string());
        }
        if (!drives::mountRow(run.services(), *index, options, remember)) {
            if (const auto problem = tokenProblem(row.folder())) {
                return fail(context.io, *problem);
            }
            return run.stopped();
        }
        context.io.out << "Mounted " << row.letter << " (" << row.label << ") at "
                       << run.host().mountPointFor(row.letter).string() << "\n";
        if (options.foreground) {
            context.io.out
                << "Serving in the foreground until the drive is unmounted or this is interrupted\n"
                << std::flush;
            run.host().waitUntilUnmounted(row.letter);
        }
        return ExitCode::Success;
    }

    // The start-up fill. Fails when a drive marked for auto-mount stayed unmounted, unless it
    // was skipped on purpose (--no-prompt and no remembered password).
    static ExitCode mountAll(CommandContext& context, DriveRun& run, const host::MountOptions& options,
                             bool ask)
    {
        if (!run.settings().exists()) {
            return ExitCode::Success; // no drives yet
        }
        if (!drives::fillDriveList(run.services(), ask, options)) {
            return fail(context.io, "cannot read the drives of " + run.settings().path().string());
        }
        bool missed = false;
        for (const drives::DriveRow& row : run.rows().rows()) {
            if (!row.autoMount) {
                continue;
            }
            const bool skipped = !ask && !row.passwordRemembered;
            context.io.out << row.letter << " (" << row.label << "): "
                           << (row.isMounted() ? "mounted"
                               : skipped       ? "skipped (password not remembered)"
                                               : "not mounted")
                           << "\n";
            missed = missed || (!row.isMounted() && !skipped);
        }
        if (run.prompter().unanswered()) {
            return run.stopped();
        }
        return missed ? failWithMessage(context.io, kMsgNotAllMounted) : ExitCode::Success;
    }
};

} // namespace

std::unique_ptr<Command> makeMountCommand()
{
    return std::make_unique<MountCommand>();
}

} // namespace kestrava::cli
