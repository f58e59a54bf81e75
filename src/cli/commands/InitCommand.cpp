#include "cli/commands/CommandSupport.h"
#include "cli/commands/Commands.h"
#include "core/access/LegacyCodePage.h"
#include "core/app/ActivityLog.h"
#include "core/app/StringTable.h"
#include "core/settings/SavedPasswords.h"

#include <ostream>

namespace kestrava::cli {
namespace {

constexpr int kMsgPassword = 41;         // "Password: "
constexpr int kMsgTokenSaveFailed = 153; // "Error! Security token save error!"

class InitCommand : public Command
{
public:
    std::string name() const override { return "init"; }
    std::string summary() const override { return "write a new security token into a folder"; }
    std::string usage() const override
    {
        return "init FOLDER [--format compatible|hardened] [--name-encryption on|off] [--case-insensitive "
               "on|off] [--long-names on|off] "
               "[--force]";
    }
    std::vector<OptionDefinition> options() const override
    {
        return {
            {"format", true, "compatible|hardened", "the drive format (default compatible)"},
            switchOption("name-encryption", "encrypt file names (default on)"),
            switchOption("case-insensitive",
                         "treat names that differ only by case as one file (default off)"),
            switchOption("long-names", "the long-file-name option (default on)"),
            {"force", false, "", "replace an existing token (files encrypted under it become unreadable)"},
            aliasOption("plain-names", "name-encryption", "off"),
            aliasOption("case-sensitive", "case-insensitive", "off"),
            aliasOption("no-long-names", "long-names", "off"),
        };
    }

    ExitCode run(CommandContext& context, const ParsedArguments& args) override
    {
        const auto format = token::parseFormatName(args.value("format").value_or("compatible"));
        if (!format) {
            return usageError(context.io, "init: --format takes compatible or hardened");
        }
        ExitCode exitCode = ExitCode::Success;
        const auto folder = folderArgument(context, args, exitCode);
        if (!folder) {
            return exitCode;
        }
        const std::filesystem::path tokenPath = token::tokenPathFor(*folder);
        std::error_code ec;
        if (std::filesystem::exists(std::filesystem::symlink_status(tokenPath, ec)) && !args.has("force")) {
            return fail(context.io,
                        folder->string() + " already holds a security token; use --force to replace it");
        }
        std::filesystem::create_directories(*folder, ec);
        if (ec || !std::filesystem::is_directory(*folder)) {
            return fail(context.io, "cannot create the folder " + folder->string() +
                                        (ec ? ": " + ec.message() : ": not a folder"));
        }
        const auto password = askNewPassword(context, loadAppString(kMsgPassword));
        if (!password) {
            return ExitCode::Failure;
        }
        token::DriveContext ctx(drivePasswordForNewToken(*password, *format));
        ctx.setOptions({args.switchValue("name-encryption").value_or(true),
                        args.switchValue("long-names").value_or(true),
                        args.switchValue("case-insensitive").value_or(false)});
        ctx.setFormat(*format);
        std::string error;
        if (!ctx.CreateToken(tokenPath, &error)) {
            writeLog("!CreateToken Error: %s", error.c_str());
            return fail(context.io, loadAppString(kMsgTokenSaveFailed) + " (" + error + ")");
        }
        writeLog("CreateToken: %s", tokenPath.c_str());
        context.io.out << "Created a security token in " << folder->string() << "\n";
        return ExitCode::Success;
    }
};

} // namespace

std::unique_ptr<Command> makeInitCommand()
{
    return std::make_unique<InitCommand>();
}

} // namespace kestrava::cli
