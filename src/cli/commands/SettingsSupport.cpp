#include "cli/commands/SettingsSupport.h"

#include "cli/TerminalPrompter.h"
#include "cli/commands/ProgramLock.h"
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

ExitCode openSession(CommandContext& context, session::AppSession& session)
{
    if (context.globals.configFile) {
        // Given for this run only: the registry is neither read nor written.
        session.setSettingsPathForRun(*context.globals.configFile);
    }
    const session::OpenResult result = session.open();
    switch (result.outcome) {
    case session::OpenOutcome::Opened:
        context.loginSession = session.loginLayer();
        return ExitCode::Success;
    case session::OpenOutcome::SettingsPathIsFolder:
        return fail(context.io, "the settings path names a folder, not a file: " +
                                    settingsPathForRun(context.globals).string());
    case session::OpenOutcome::QuestionUnanswered:
        return fail(context.io, kNoTerminalForQuestion);
    case session::OpenOutcome::LoginUnanswered:
    case session::OpenOutcome::LoginCancelled:
        return ExitCode::Failure; // the answerer has said why
    case session::OpenOutcome::LoginRefused:
    case session::OpenOutcome::DamagedSecret:
        return reportLoginFailure(context.io, result, session.settingsPath());
    }
    return ExitCode::Failure;
}

std::optional<settings::SettingsFile> openSettings(CommandContext& context, ExitCode& exitCode)
{
    TerminalPrompter prompter(context.io, context.passwords, context.globals.assumeYes);
    TerminalLoginAnswerer login(context);
    session::AppSession session(prompter, login);
    exitCode = openSession(context, session);
    if (exitCode != ExitCode::Success) {
        return std::nullopt;
    }
    return session.settings();
}

} // namespace kestrava::cli
