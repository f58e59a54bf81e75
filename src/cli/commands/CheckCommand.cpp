#include "cli/commands/CommandSupport.h"
#include "cli/commands/Commands.h"
#include "cli/commands/DriveCommandSupport.h"
#include "core/access/LegacyCodePage.h"
#include "core/app/StringTable.h"
#include "core/drives/CreateDriveFlow.h"
#include "core/drives/DriveCheckFlow.h"
#include "core/drives/FreeLetters.h"

#include <ostream>

namespace kestrava::cli {
namespace {

constexpr int kMsgPassword = 41;

ExitCode printReport(Io& io, const drives::DriveCheckReport& report, const std::filesystem::path& folder)
{
    for (const drives::Finding& finding : report.findings) {
        io.out << drives::describeFinding(finding) << "\n";
    }
    if (report.clean()) {
        io.out << drives::describeCleanCheck(folder) << "\n";
        return ExitCode::Success;
    }
    return ExitCode::Failure;
}

class CheckCommand : public Command
{
public:
    std::string name() const override { return "check"; }
    std::string summary() const override
    {
        return "check a drive's backing folder: token and its backup, names, and with --contents every file";
    }
    std::string usage() const override
    {
        return "check K:|FOLDER [--contents] [--token-only] [--backup FILE]";
    }
    std::vector<OptionDefinition> options() const override
    {
        return {
            {"contents", false, "", "also read every file through the drive"},
            {"token-only", false, "", "check only the security token and its backup (asks no password)"},
            {"backup", true, "FILE", "a token backup to look at first (also searched: ., ~ and ~/Documents)"},
        };
    }

    ExitCode run(CommandContext& context, const ParsedArguments& args) override
    {
        if (args.positional.size() != 1) {
            return usageError(context.io, args.positional.empty()
                                              ? "check: name the drive by its letter or folder"
                                              : "check: too many arguments");
        }
        drives::ListedDriveCheck options;
        options.tokenOnly = args.has("token-only");
        options.contents = args.has("contents");
        if (const auto backup = args.value("backup")) {
            options.backupPlaces.insert(options.backupPlaces.begin(), std::filesystem::path(*backup));
        }
        const std::string& name = args.positional.front();
        if (drives::normalizeDriveLetter(name)) {
            return checkLetter(context, name, options);
        }
        return checkFolder(context, drives::normalizeBackingFolder(name), options);
    }

private:
    static ExitCode checkLetter(CommandContext& context, const std::string& letter,
                                const drives::ListedDriveCheck& options)
    {
        ExitCode exitCode = ExitCode::Success;
        auto run = openDriveRun(context, exitCode);
        if (!run) {
            return exitCode;
        }
        run->loadRows();
        const auto index = run->findDrive(letter, exitCode);
        if (!index) {
            return exitCode;
        }
        const auto report = drives::checkListedDrive(run->services(), *index, options);
        if (!report) {
            return run->stopped();
        }
        return printReport(context.io, *report, run->rows().row(*index)->folder());
    }

    static ExitCode checkFolder(CommandContext& context, const std::filesystem::path& folder,
                                const drives::ListedDriveCheck& options)
    {
        drives::DriveCheckRequest request;
        request.folder = folder;
        request.backupPlaces = options.backupPlaces;
        request.contents = options.contents;
        drives::DriveCheckReport report = drives::checkDrive(request);
        if (report.tokenReadable && !options.tokenOnly) {
            const auto password = askPassword(context, loadAppString(kMsgPassword));
            if (!password) {
                return ExitCode::Failure;
            }
            request.drivePassword = drivePasswordFor(token::tokenPathFor(folder), *password);
            report = drives::checkDrive(request);
        }
        return printReport(context.io, report, folder);
    }
};

} // namespace

std::unique_ptr<Command> makeCheckCommand()
{
    return std::make_unique<CheckCommand>();
}

} // namespace kestrava::cli
