#include "cli/commands/CommandSupport.h"
#include "cli/commands/Commands.h"
#include "cli/commands/DriveCommandSupport.h"
#include "core/app/StringTable.h"
#include "core/drives/CreateDriveFlow.h"
#include "core/drives/FreeLetters.h"
#include "core/host/DriveHost.h"
#include "core/token/DriveFormat.h"

#include <algorithm>
#include <ostream>

namespace kestrava::cli {
namespace {

constexpr int kTextPassword = 41;       // "Password: "
constexpr int kTextConfirm = 9;         // "Confirm Password:"
constexpr int kTextCurrentPassword = 8; // "Current Password:"
constexpr int kTextHardenedIsStronger = 1400;

class CreateCommand : public Command
{
public:
    std::string name() const override { return "create"; }
    std::string summary() const override { return "create a new drive over a folder and mount it"; }
    std::string usage() const override
    {
        return "create FOLDER --letter K: [--format compatible|hardened] [--label TEXT] [--name-encryption "
               "on|off] "
               "[--case-insensitive on|off] [--long-names on|off] [--remember [on|off]] "
               "[--automount on|off] [--token BACKUPFILE] [--no-mount] [--yes]";
    }
    std::vector<OptionDefinition> options() const override
    {
        return {
            {"letter", true, "K:", "the drive's letter; it is mounted at <mount root>/K"},
            {"label", true, "TEXT", "the drive's label (default \"Kestrava\")"},
            {"format", true, "compatible|hardened",
             "the drive format: compatible (default; opens on other systems too) or hardened "
             "(authenticated, slow to guess; Linux only)"},
            switchOption("name-encryption", "encrypt file names (default on)"),
            switchOption("case-insensitive",
                         "treat names that differ only by case as one file (default off)"),
            switchOption("long-names", "the long-file-name option (default on)"),
            switchOption("remember", "remember the drive password in the settings file (default off)"),
            switchOption("automount", "mount the drive at start with mount --all (default on)"),
            {"token", true, "BACKUPFILE", "adopt this security token (a backup) instead of making a new one"},
            {"no-mount", false, "", "register the drive without mounting it now"},
            aliasOption("plain-names", "name-encryption", "off"),
            aliasOption("case-sensitive", "case-insensitive", "off"),
            aliasOption("no-long-names", "long-names", "off"),
            aliasOption("no-automount", "automount", "off"),
            aliasOption("import", "token"),
        };
    }

    ExitCode run(CommandContext& context, const ParsedArguments& args) override
    {
        if (args.positional.size() != 1) {
            return usageError(context.io, args.positional.empty() ? "create: FOLDER is missing"
                                                                  : "create: too many arguments");
        }
        const auto letterText = args.value("letter");
        const auto letter = letterText ? drives::normalizeDriveLetter(*letterText) : std::nullopt;
        if (!letter) {
            return usageError(context.io, "create: --letter needs a drive letter such as K:");
        }
        const auto format = token::parseFormatName(args.value("format").value_or("compatible"));
        if (!format) {
            return usageError(context.io, "create: --format takes compatible or hardened");
        }
        drives::NewDrive drive;
        drive.format = *format;
        drive.folder = drives::normalizeBackingFolder(args.positional.front());
        drive.letter = *letter;
        drive.label = args.value("label").value_or(drives::kDefaultLabel);
        drive.fileNameEncryption = args.switchValue("name-encryption").value_or(true);
        drive.caseInsensitive = args.switchValue("case-insensitive").value_or(false);
        drive.longFileNames = args.switchValue("long-names").value_or(true);
        drive.rememberPassword = args.switchValue("remember").value_or(false);
        drive.autoMount = args.switchValue("automount").value_or(true);
        drive.mount = !args.has("no-mount");

        ExitCode exitCode = ExitCode::Success;
        auto run = openDriveRun(context, exitCode);
        if (!run) {
            return exitCode;
        }
        if (drive.mount) {
            // The dialog offers only free letters; here the letter is checked before anything
            // is written.
            if (!drives::isDriveLetterFree(run->host(), drive.letter)) {
                return fail(context.io, "drive letter " + drive.letter + " is in use (" +
                                            run->host().mountPointFor(drive.letter).string() +
                                            "); choose another with --letter, or use --no-mount");
            }
        }
        drives::CreationState state;
        if (const auto importFile = args.value("token")) {
            if (!drives::importDriveFromFile(run->prompter(), state,
                                             drives::normalizeBackingFolder(*importFile))) {
                return run->stopped();
            }
        }
        const drives::PasswordSupplier passwords =
            [&context](bool currentOnly) -> std::optional<drives::TypedPasswords> {
            drives::TypedPasswords typed;
            auto password =
                askPassword(context, loadAppString(currentOnly ? kTextCurrentPassword : kTextPassword) +
                                         (currentOnly ? " " : ""));
            if (!password) {
                return std::nullopt;
            }
            typed.password = std::move(*password);
            if (!currentOnly) {
                auto confirmation = askPassword(context, loadAppString(kTextConfirm) + " ");
                if (!confirmation) {
                    return std::nullopt;
                }
                typed.confirmation = std::move(*confirmation);
            }
            return typed;
        };
        switch (drives::confirmAdvancedCreation(run->services(), drive, state, passwords)) {
        case drives::CreateOutcome::Created:
            context.io.out << "Created drive " << drive.letter << " (" << drive.label << ") over "
                           << drive.folder << "\n";
            if (state.importFile.empty() && drive.format == token::DriveFormat::Compatible) {
                context.io.out << loadAppString(kTextHardenedIsStronger) << "\n";
            }
            if (drive.mount) {
                context.io.out << "Mounted at " << run->host().mountPointFor(drive.letter).string() << "\n";
            }
            return ExitCode::Success;
        case drives::CreateOutcome::NotMounted:
            context.io.out << "Registered drive " << drive.letter << " (" << drive.label << ") over "
                           << drive.folder << "; it is not mounted\n";
            return ExitCode::Failure;
        case drives::CreateOutcome::Stopped:
        case drives::CreateOutcome::ChooseFolder:
            break;
        }
        return run->stopped();
    }
};

} // namespace

std::unique_ptr<Command> makeCreateCommand()
{
    return std::make_unique<CreateCommand>();
}

} // namespace kestrava::cli
