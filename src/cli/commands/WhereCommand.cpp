#include "cli/commands/Commands.h"
#include "cli/commands/SettingsSupport.h"
#include "core/settings/Paths.h"

#include <ostream>
#include <system_error>

namespace kestrava::cli {
namespace {

// Shows where this copy keeps its files. Asks nothing and changes nothing, so it also works
// when the settings file is missing or damaged.
class WhereCommand : public Command
{
public:
    std::string name() const override { return "where"; }
    std::string summary() const override
    {
        return "show where the settings file, the log and the mounted drives are, and whether this copy is "
               "installed or portable";
    }
    std::string usage() const override { return "where"; }

    ExitCode run(CommandContext& context, const ParsedArguments& args) override
    {
        if (!args.positional.empty()) {
            return usageError(context.io, "where: unexpected argument '" + args.positional.front() + "'");
        }
        bool fromRegistry = false;
        const std::filesystem::path settingsPath = settingsPathForRun(context.globals, &fromRegistry);
        std::ostream& out = context.io.out;
        out << "settings: " << settingsPath.string() << "\n"
            << "log: " << paths::logFilePath().string() << "\n"
            << "mount root: " << paths::mountRoot(context.globals.mountRoot).string() << "\n"
            << "registry: " << paths::registryFilePath().string() << "\n"
            << "languages: " << paths::languageFolder().string() << "\n"
            << "mode: " << (paths::isInstalled() ? "installed" : "portable") << "\n";
        std::error_code ec;
        if (!std::filesystem::exists(settingsPath, ec)) {
            context.io.err << "kestrava-cli: note: there is no settings file at " << settingsPath.string()
                           << " yet" << (fromRegistry ? " (configured in the registry)" : "") << "\n";
        }
        return ExitCode::Success;
    }
};

} // namespace

std::unique_ptr<Command> makeWhereCommand()
{
    return std::make_unique<WhereCommand>();
}

} // namespace kestrava::cli
