#include "cli/commands/CommandSupport.h"
#include "cli/commands/Commands.h"
#include "cli/commands/DriveCommandSupport.h"
#include "core/app/StringTable.h"
#include "core/drives/CreateDriveFlow.h"
#include "core/drives/DriveConversion.h"
#include "core/drives/DriveValidation.h"
#include "core/drives/FreeLetters.h"

#include <cstdlib>
#include <ostream>
#include <unistd.h>

namespace kestrava::cli {
namespace {

constexpr int kTextPassword = 41; // "Password: "
// Names a step at which the command stops and waits to be killed: how interruption is tested.
constexpr const char* kStopAtVariable = "KESTRAVA_CONVERT_STOP_AT";

void stopHereIfAsked(CommandContext& context, std::string_view step)
{
    const char* stopAt = std::getenv(kStopAtVariable);
    if (stopAt == nullptr || step != stopAt) {
        return;
    }
    context.io.err << "convert: stopped at " << step << std::endl;
    for (int i = 0; i < 600; ++i) {
        ::sleep(1);
    }
    std::_Exit(99);
}

class ConvertCommand : public Command
{
public:
    std::string name() const override { return "convert"; }
    std::string summary() const override
    {
        return "copy a drive into a new drive of another format, verified, leaving the old folder as it is";
    }
    std::string usage() const override
    {
        return "convert K:|FOLDER --to hardened|compatible NEWFOLDER [--replace]";
    }
    std::vector<OptionDefinition> options() const override
    {
        return {
            {"to", true, "hardened|compatible", "the format of the new drive"},
            {"replace", false, "", "afterwards point the drive's record (its letter) at the new folder"},
        };
    }

    ExitCode run(CommandContext& context, const ParsedArguments& args) override
    {
        if (args.positional.size() != 2) {
            return usageError(context.io, "convert: name the drive and the new folder");
        }
        const auto format = token::parseFormatName(args.value("to").value_or(""));
        if (!format) {
            return usageError(context.io, "convert: --to takes hardened or compatible");
        }
        const std::filesystem::path target = drives::normalizeBackingFolder(args.positional[1]);
        ExitCode exitCode = ExitCode::Success;
        auto run = openDriveRun(context, exitCode);
        if (!run) {
            return exitCode;
        }
        run->loadRows();
        std::optional<drives::DriveRow> row;
        std::filesystem::path folder;
        const auto letter = drives::normalizeDriveLetter(args.positional[0]);
        if (letter || args.has("replace")) {
            const auto index = run->findDrive(args.positional[0], exitCode);
            if (!index) {
                return exitCode;
            }
            row = run->rows().row(*index);
            folder = row->folder();
            if (row->isMounted() || drives::hostServesLetter(run->host(), row->letter)) {
                return fail(context.io, row->letter + " is mounted; unmount it first (kestrava-cli unmount " +
                                            row->letter + ")");
            }
        } else {
            folder = drives::normalizeBackingFolder(args.positional[0]);
        }
        if (const auto problem = tokenProblem(folder)) {
            return fail(context.io, *problem);
        }

        token::DriveContext source;
        exitCode = unlockWithPrompt(context, source, folder, loadAppString(kTextPassword));
        if (exitCode != ExitCode::Success) {
            return exitCode;
        }
        source.setBackingFolder(folder);
        const drives::ConversionResult result = drives::convertDrive(
            source, target, *format, [&](std::string_view step) { stopHereIfAsked(context, step); });
        if (!result.ok) {
            return fail(context.io, "convert: " + result.error + "; " + folder.string() + " is unchanged");
        }
        context.io.out << "Copied and verified " << result.counts.files << " files, "
                       << result.counts.directories << " folders and " << result.counts.links << " links ("
                       << result.counts.bytes << " bytes) into a " << token::formatName(*format)
                       << " drive in " << target.string() << "\n";
        if (!args.has("replace")) {
            context.io.out << "The drive still uses " << folder.string() << "\n";
            return ExitCode::Success;
        }
        stopHereIfAsked(context, "record");
        if (!run->settings().moveDriveFolder(folder.string(), row->letter, target.string())) {
            return fail(context.io, "convert: the record of " + row->letter +
                                        " could not be changed; it still uses " + folder.string() +
                                        " (the new drive in " + target.string() + " is complete)");
        }
        context.io.out << row->letter << " now uses " << target.string() << "; the old folder "
                       << folder.string() << " is kept as it was\n";
        return ExitCode::Success;
    }
};

} // namespace

std::unique_ptr<Command> makeConvertCommand()
{
    return std::make_unique<ConvertCommand>();
}

} // namespace kestrava::cli
