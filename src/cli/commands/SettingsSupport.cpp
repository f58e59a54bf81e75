#include "cli/commands/SettingsSupport.h"

#include "cli/TerminalPrompter.h"
#include "cli/commands/ProgramLock.h"
#include "core/app/ActivityLog.h"
#include "core/settings/Paths.h"
#include "core/settings/SettingsLocation.h"
#include "core/settings/UserRegistry.h"

#include <system_error>

namespace kestrava::cli {

std::filesystem::path settingsPathForRun(const GlobalOptions& globals, bool* fromRegistry)
{
    if (fromRegistry != nullptr) {
        *fromRegistry = false;
    }
    if (globals.configFile) {
        std::error_code ec;
        const auto absolute = std::filesystem::absolute(*globals.configFile, ec);
        return ec ? *globals.configFile : absolute;
    }
    settings::UserRegistry registry(paths::registryFilePath());
    std::string configured;
    if (settings::settingsRegistry(registry, settings::RegistryMode::ReadConfigFile, configured)) {
        if (fromRegistry != nullptr) {
            *fromRegistry = true;
        }
        return configured;
    }
    return paths::defaultSettingsPath();
}

std::optional<settings::SettingsFile> openSettings(CommandContext& context, ExitCode& exitCode)
{
    TerminalPrompter prompter(context.io, context.passwords, context.globals.assumeYes);
    std::filesystem::path path;
    if (context.globals.configFile) {
        // Given for this run only: the registry is neither read nor written.
        path = settingsPathForRun(context.globals);
        std::error_code ec;
        if (std::filesystem::is_directory(path, ec)) {
            exitCode = fail(context.io, "the settings path names a folder, not a file: " + path.string());
            return std::nullopt;
        }
    } else {
        settings::UserRegistry registry(paths::registryFilePath());
        const settings::LocatedSettings located =
            settings::locateSettingsFile(registry, prompter, paths::defaultSettingsPath());
        if (located.unanswered) {
            exitCode = fail(context.io, kNoTerminalForQuestion);
            return std::nullopt;
        }
        path = located.path;
    }
    writeLog("checkConfigFile: %s", path.c_str());
    settings::SettingsFile file(path);
    settings::validateSettingsAtStart(file, prompter);
    // The program lock comes after the file's check, as at the desktop app's start.
    exitCode = unlockProgram(context, file);
    if (exitCode != ExitCode::Success) {
        return std::nullopt;
    }
    return file;
}

} // namespace kestrava::cli
