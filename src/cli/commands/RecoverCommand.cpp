#include "cli/commands/CommandSupport.h"
#include "cli/commands/Commands.h"
#include "cli/commands/DriveCommandSupport.h"
#include "core/app/StringTable.h"
#include "core/drives/CreateDriveFlow.h"
#include "core/drives/FreeLetters.h"
#include "core/drives/RecoverDriveFlow.h"
#include "core/host/DriveHost.h"

#include <algorithm>
#include <ostream>

namespace kestrava::cli {
namespace {

constexpr int kTextPassword = 41; // "Password: "

class RecoverCommand : public Command
{
public:
    std::string name() const override { return "recover"; }
    std::string summary() const override
    {
        return "connect a drive made elsewhere, from its folder's token or a token backup";
    }
    std::string usage() const override
    {
        return "recover FOLDER --letter K: [--label TEXT] [--token BACKUPFILE] [--remember [on|off]] "
               "[--automount on|off] [--no-mount] [--yes]";
    }
    std::vector<OptionDefinition> options() const override
    {
        return {
            {"letter", true, "K:", "the drive's letter; it is mounted at <mount root>/K"},
            {"label", true, "TEXT", "the drive's label (default \"Kestrava\")"},
            {"token", true, "BACKUPFILE",
             "use this token backup; it is copied into the folder (asking before replacing a token there)"},
            switchOption("remember", "remember the drive password in the settings file (default off)"),
            switchOption("automount", "mount the drive at start with mount --all (default on)"),
            {"no-mount", false, "", "register the drive without mounting it now"},
            aliasOption("no-automount", "automount", "off"),
        };
    }

    ExitCode run(CommandContext& context, const ParsedArguments& args) override
    {
        if (args.positional.size() != 1) {
            return usageError(context.io, args.positional.empty() ? "recover: FOLDER is missing"
                                                                  : "recover: too many arguments");
        }
        const auto letterText = args.value("letter");
        const auto letter = letterText ? drives::normalizeDriveLetter(*letterText) : std::nullopt;
        if (!letter) {
            return usageError(context.io, "recover: --letter needs a drive letter such as K:");
        }
        const auto label = args.value("label");
        if (label && label->empty()) {
            return usageError(context.io, "recover: --label needs a non-empty text");
        }
        drives::RecoveryRequest request;
        request.letter = *letter;
        request.rememberPassword = args.switchValue("remember").value_or(false);
        request.autoMount = args.switchValue("automount").value_or(true);
        request.mount = !args.has("no-mount");

        ExitCode exitCode = ExitCode::Success;
        auto run = openDriveRun(context, exitCode);
        if (!run) {
            return exitCode;
        }
        drives::DriveServices& services = run->services();
        services.loginLayer = context.loginSession;
        if (request.mount) {
            if (!drives::isDriveLetterFree(run->host(), request.letter)) {
                return fail(context.io, "drive letter " + request.letter + " is in use (" +
                                            run->host().mountPointFor(request.letter).string() +
                                            "); choose another with --letter, or use --no-mount");
            }
        }

        drives::RecoveryState state;
        const std::string folder = drives::normalizeBackingFolder(args.positional.front());
        if (!drives::checkRecoveryFolder(services, state, folder)) {
            return run->stopped();
        }
        if (const auto backup = args.value("token")) {
            if (!drives::chooseRecoveryBackup(run->prompter(), state,
                                              drives::normalizeBackingFolder(*backup))) {
                return run->stopped();
            }
        } else if (state.folderTokenEnabled) {
            drives::chooseRecoveryFolderToken(state);
        } else {
            return fail(context.io, "no usable security token in " + folder + "; name a backup with --token");
        }
        request.label = label.value_or(state.label);

        auto password = askPassword(context, loadAppString(kTextPassword));
        if (!password) {
            return ExitCode::Failure;
        }
        request.password = std::move(*password);
        switch (drives::confirmRecovery(services, state, request)) {
        case drives::RecoverOutcome::Recovered:
            context.io.out << "Recovered drive " << request.letter << " (" << request.label << ") over "
                           << folder << "\n";
            if (request.mount) {
                context.io.out << "Mounted at " << run->host().mountPointFor(request.letter).string() << "\n";
            }
            return ExitCode::Success;
        case drives::RecoverOutcome::NotMounted:
            context.io.out << "Registered drive " << request.letter << " (" << request.label << ") over "
                           << folder << "; it is not mounted\n";
            return ExitCode::Failure;
        case drives::RecoverOutcome::WrongPassword:
            return ExitCode::Failure; // the prompter has said so
        case drives::RecoverOutcome::Stopped:
            break;
        }
        return run->stopped();
    }
};

} // namespace

std::unique_ptr<Command> makeRecoverCommand()
{
    return std::make_unique<RecoverCommand>();
}

} // namespace kestrava::cli
