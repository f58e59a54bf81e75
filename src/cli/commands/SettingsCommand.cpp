#include "cli/TerminalPrompter.h"
#include "cli/commands/Commands.h"
#include "cli/commands/SettingsSupport.h"
#include "core/Version.h"
#include "core/access/GoogleAuth.h"
#include "core/access/LoginPassword.h"
#include "core/app/Language.h"
#include "core/host/SystemHost.h"
#include "core/prefs/AutoLock.h"
#include "core/prefs/ProgramInformation.h"
#include "core/prefs/SettingsBackup.h"
#include "core/prefs/SettingsDialogModel.h"
#include "core/settings/PasswordVault.h"
#include "core/settings/Paths.h"
#include "core/settings/UserRegistry.h"

#include <ctime>
#include <ostream>

namespace kestrava::cli {
namespace {

const char* onOff(bool on)
{
    return on ? "on" : "off";
}

std::optional<bool> onOffArgument(const std::vector<std::string>& positional)
{
    if (positional.size() != 2 || (positional[1] != "on" && positional[1] != "off")) {
        return std::nullopt;
    }
    return positional[1] == "on";
}

// The desktop app beside this program is what starts at login.
std::string appCommandLine()
{
    return prefs::programCommandLine(paths::executablePath().parent_path() / "kestrava", {});
}

// The settings window's model over this run's settings file: the CLI changes settings through
// the same steps as the window's OK.
std::unique_ptr<prefs::SettingsDialogModel> openModel(const settings::SettingsFile& file,
                                                      settings::UserRegistry& registry, Prompter& prompter)
{
    prefs::SettingsDialogContext context{file.path(), paths::defaultSettingsPath(), registry, prompter};
    context.commandLine = appCommandLine();
    if (const auto vault = settings::passwordVault()) {
        context.keyringUnavailable = vault->unavailableReason();
    } else {
        context.keyringUnavailable = "this program was started without a keyring";
    }
    context.moveRememberedPasswords = [&file, &prompter](bool toKeyring) {
        std::string error;
        if (!settings::keepPasswordsInVault(file, toKeyring, error)) {
            prompter.messageBox(1509, {error}, Buttons::OK, Icon::Error);
            return false;
        }
        return true;
    };
    return std::make_unique<prefs::SettingsDialogModel>(std::move(context), prefs::SettingsDialogWindows{});
}

class SettingsCommand : public Command
{
public:
    std::string name() const override { return "settings"; }
    std::string summary() const override { return "show or change the program's settings"; }
    std::string usage() const override
    {
        return "settings show\n"
               "       settings autostart on|off | auto-update on|off | keyring on|off\n"
               "       settings backup [DIR] | restore FILE | move DIR|--default\n"
               "       settings language ID|list\n"
               "       settings auto-lock [--screen on|off] [--sleep on|off] [--idle MIN] [--detach-busy "
               "on|off]";
    }
    std::vector<OptionDefinition> options() const override
    {
        return {
            {"default", false, "", "move: back to the default location"},
            switchOption("screen", "auto-lock: unmount all drives when the screen locks"),
            switchOption("sleep", "auto-lock: unmount all drives when the computer goes to sleep"),
            {"idle", true, "MIN", "auto-lock: unmount all drives after MIN minutes without use (0: never)"},
            switchOption("detach-busy",
                         "auto-lock: detach drives that are in use instead of leaving them mounted"),
        };
    }

    ExitCode run(CommandContext& context, const ParsedArguments& args) override
    {
        if (args.positional.empty()) {
            return usageError(context.io, "settings: what to do is missing");
        }
        const std::string action = args.positional.front();
        const auto& p = args.positional;
        const bool known =
            (action == "show" && p.size() == 1) ||
            ((action == "autostart" || action == "auto-update" || action == "keyring") && onOffArgument(p)) ||
            (action == "backup" && p.size() <= 2) || (action == "restore" && p.size() == 2) ||
            (action == "move" && (p.size() == 2) != args.has("default")) ||
            (action == "language" && p.size() == 2) || (action == "auto-lock" && p.size() == 1);
        if (!known) {
            return usageError(context.io,
                              "settings: unknown or incomplete action; see 'kestrava-cli help settings'");
        }
        ExitCode exitCode = ExitCode::Success;
        auto opened = openSettings(context, exitCode);
        if (!opened) {
            return exitCode;
        }
        TerminalPrompter prompter(context.io, context.passwords, context.globals.assumeYes);
        settings::UserRegistry registry(paths::registryFilePath());
        if (action == "show") {
            return show(context, *opened, registry, prompter);
        }
        if (action == "backup") {
            return backup(context, *opened, prompter,
                          p.size() == 2 ? std::filesystem::path(p[1]) : std::filesystem::current_path());
        }
        if (action == "restore") {
            return restore(context, *opened, prompter, p[1]);
        }
        if (action == "language") {
            return language(context, *opened, p[1]);
        }
        auto model = openModel(*opened, registry, prompter);
        std::filesystem::path target = opened->path();
        if (action == "autostart") {
            model->startAtLogin = *onOffArgument(p);
        } else if (action == "auto-update") {
            model->autoUpdate = *onOffArgument(p);
        } else if (action == "keyring") {
            if (!model->keyringSelectable()) {
                return fail(context.io, "the system keyring cannot be used: " + *model->keyringUnavailable());
            }
            model->keyringPasswords = *onOffArgument(p);
        } else if (action == "move") {
            model->setSettingsPath(args.has("default")
                                       ? paths::defaultSettingsPath()
                                       : std::filesystem::absolute(p[1]) / paths::kSettingsFileName);
            target = model->settingsPath();
        } else if (auto changed = autoLock(context, args, model->autoLock)) {
            return *changed;
        }
        const prefs::SettingsApplied applied = model->ok();
        if (applied.settingsPath != target) {
            return ExitCode::Failure; // the move failed; message 53 said so
        }
        if (action == "keyring" && settings::SettingsProgramValues(*opened).has(
                                       settings::kKeyringPasswordsValue) != *onOffArgument(p)) {
            return ExitCode::Failure;
        }
        context.io.out << "Settings saved in " << applied.settingsPath.string() << "\n";
        return ExitCode::Success;
    }

private:
    static std::optional<ExitCode> autoLock(CommandContext& context, const ParsedArguments& args,
                                            prefs::AutoLockSettings& settings)
    {
        settings.onScreenLock = args.switchValue("screen").value_or(settings.onScreenLock);
        settings.onSleep = args.switchValue("sleep").value_or(settings.onSleep);
        settings.detachBusy = args.switchValue("detach-busy").value_or(settings.detachBusy);
        if (const auto idle = args.value("idle")) {
            const auto minutes = prefs::parseIdleMinutes(*idle);
            if (!minutes) {
                return usageError(context.io, "settings: --idle takes whole minutes from 0 to 1440");
            }
            settings.idleMinutes = *minutes;
        }
        return std::nullopt;
    }

    static ExitCode show(CommandContext& context, const settings::SettingsFile& file,
                         settings::UserRegistry& registry, Prompter& prompter)
    {
        auto model = openModel(file, registry, prompter);
        settings::SettingsProgramValues values(file);
        const std::string where = " (settings file: ";
        lang::Languages languages;
        const std::string stored = values.get(lang::kLanguageValue).value_or("");
        std::ostream& out = context.io.out;
        bool configured = false;
        settingsPathForRun(context.globals, &configured);
        out << "settings file: " << file.path().string()
            << (context.globals.configFile ? " (--config)"
                : configured               ? " (registry " + registry.file().string() + ": ConfigFile)"
                                           : " (default location)")
            << "\n"
            << "start at login: " << onOff(model->startAtLogin) << " ("
            << prefs::autostartEntryPath().string() << ")\n"
            << "auto-update: " << onOff(model->autoUpdate) << where << "AutoUpdate)\n"
            << "login password: " << (model->clearPasswordEnabled() ? "set" : "not set") << ", "
            << (model->loginRequired ? "required" : "not required") << where
            << "KestravaPwd, EnableKestravaPwd)\n"
            << "one-time code: " << (model->clearKeyEnabled() ? "paired" : "not paired") << ", "
            << onOff(model->googleAuth) << where << "GoogleAuthKey, EnableGoogleAuth)\n"
            << "language: " << (stored.empty() ? "not chosen (the locale decides)" : stored) << where
            << "Language)\n"
            << "auto-lock on screen lock: " << onOff(model->autoLock.onScreenLock) << where
            << "AutoLockScreen)\n"
            << "auto-lock on sleep: " << onOff(model->autoLock.onSleep) << where << "AutoLockSleep)\n"
            << "auto-lock after idle minutes: " << model->autoLock.idleMinutes << where
            << "AutoLockIdleMinutes)\n"
            << "detach busy drives: " << onOff(model->autoLock.detachBusy) << where << "AutoLockLazy)\n"
            << "keyring: " << onOff(model->keyringPasswords) << where << "KeyringPasswords)"
            << (model->keyringUnavailable() ? "; unavailable: " + *model->keyringUnavailable()
                                            : std::string())
            << "\n";
        std::string information =
            prefs::programInformationText(kProgramVersion, prefs::installedFuseVersion());
        for (std::size_t at = information.find("\n\n"); at != std::string::npos;
             at = information.find("\n\n")) {
            information.replace(at, 2, "; ");
        }
        out << "program: " << information << "\n";
        return ExitCode::Success;
    }

    static ExitCode backup(CommandContext& context, const settings::SettingsFile& file, Prompter& prompter,
                           const std::filesystem::path& folder)
    {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        (void)context;
        return prefs::backupSettings(file.path(), folder / prefs::backupFileName(local), prompter)
                   ? ExitCode::Success
                   : ExitCode::Failure;
    }

    static ExitCode restore(CommandContext& context, const settings::SettingsFile& file, Prompter& prompter,
                            const std::filesystem::path& chosen)
    {
        settings::SettingsProgramValues values(file);
        const std::string language = values.get(lang::kLanguageValue).value_or("");
        prefs::RestoreSteps steps;
        steps.unmountAll = [&context] {
            if (!context.makeHost) {
                return;
            }
            const auto host = context.makeHost(context.globals);
            for (const auto& drive : host->mountedDrives()) {
                host->UnmountFileSystem(drive.letter);
            }
        };
        steps.reapplyLanguage = [&] {
            if (!language.empty()) {
                lang::Languages().doLanguage(language, false, file.path());
            }
        };
        switch (prefs::restoreSettings(file.path(), chosen, prompter, steps)) {
        case prefs::RestoreOutcome::Restored:
            return ExitCode::Success;
        case prefs::RestoreOutcome::Declined:
        case prefs::RestoreOutcome::NotSettingsFile:
        case prefs::RestoreOutcome::CopyFailed:
            break;
        }
        return ExitCode::Failure;
    }

    static ExitCode language(CommandContext& context, const settings::SettingsFile& file,
                             const std::string& id)
    {
        lang::Languages languages;
        const auto records = languages.find();
        if (id == "list") {
            const std::string current =
                settings::SettingsProgramValues(file).get(lang::kLanguageValue).value_or("");
            context.io.out << (current == lang::kEnglish ? "* " : "  ") << "English\n";
            for (const auto& record : records) {
                if (record.displayName.empty() || record.identifier.empty()) {
                    continue;
                }
                context.io.out << (current == record.fileName ? "* " : "  ") << record.displayName << " ("
                               << record.fileName << ", " << record.identifier << ")\n";
            }
            return ExitCode::Success;
        }
        std::string entry =
            id == lang::kEnglish || id == "english" || id == "en" ? std::string(lang::kEnglish) : "";
        for (const auto& record : records) {
            if (entry.empty() && (record.fileName == id || record.displayName == id ||
                                  record.identifier == id || record.fileName == "lang_" + id + ".lang")) {
                entry = record.displayName;
            }
        }
        if (entry.empty() || !languages.choose(entry, file.path())) {
            return fail(context.io,
                        "no language pack '" + id + "'; see 'kestrava-cli settings language list'");
        }
        context.io.out << "Language: " << entry << "\n";
        return ExitCode::Success;
    }
};

} // namespace

std::unique_ptr<Command> makeSettingsCommand()
{
    return std::make_unique<SettingsCommand>();
}

} // namespace kestrava::cli
