// The settings window without the window: what its boxes and buttons show when it opens, what
// each button does at once (login password, one-time-code pairing, settings location) and
// what OK applies. The desktop app binds its widgets to this; tests drive it directly.
#pragma once

#include "core/crypto/SecureBytes.h"
#include "core/prefs/AutoLock.h"
#include "core/prefs/Autostart.h"
#include "core/settings/SettingsFile.h"
#include "core/settings/SettingsProgramValues.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace kestrava {
class Prompter;
}
namespace kestrava::settings {
class UserRegistry;
}

namespace kestrava::prefs {

inline constexpr int kTextChangePassword = 239;
inline constexpr int kTextSetupPassword = 200;
inline constexpr int kTextChangeKey = 218;
inline constexpr int kTextSetupKey = 201;
inline constexpr std::string_view kAutoUpdateValue = "AutoUpdate";
// Remembered drive passwords are kept in the desktop's keyring instead of the file.
inline constexpr std::string_view kKeyringValue = "KeyringPasswords";

// The windows the settings window opens over itself.
struct SettingsDialogWindows
{
    // The login-password window; requiredNow tells it the password is already required.
    // True when it was closed with OK (the password is then stored).
    std::function<bool(bool requiredNow)> changeLoginPassword;
    // The pairing window showing secret; the secret it stored on OK, nothing on Cancel.
    std::function<std::optional<crypto::SecureString>(const crypto::SecureString& secret)> pairing;
};

struct SettingsDialogContext
{
    SettingsDialogContext(std::filesystem::path settingsPath_, std::filesystem::path defaultSettingsPath_,
                          settings::UserRegistry& registry_, Prompter& prompter_)
        : settingsPath(std::move(settingsPath_)), defaultSettingsPath(std::move(defaultSettingsPath_)),
          registry(registry_), prompter(prompter_)
    {
    }

    std::filesystem::path settingsPath;
    std::filesystem::path defaultSettingsPath;
    settings::UserRegistry& registry;
    Prompter& prompter;
    std::string commandLine; // the app's, for the start-at-login entry
    std::filesystem::path autostartEntry = autostartEntryPath();
    std::function<crypto::SecureString()> newSecret; // unset: a fresh random secret
    // Moves remembered passwords into the keyring (true) or back into the file (false).
    std::function<bool(bool toKeyring)> moveRememberedPasswords;
    std::optional<std::string> keyringUnavailable; // why the keyring cannot be used
};

// What OK leaves the running program with.
struct SettingsApplied
{
    std::filesystem::path settingsPath; // where the settings file is now
    bool moved = false;
    bool loginPasswordActive = false;
    bool googleAuthActive = false;
};

class SettingsDialogModel
{
public:
    SettingsDialogModel(SettingsDialogContext context, SettingsDialogWindows windows);

    // The boxes (deferred options: only OK applies them).
    bool startAtLogin = false;
    bool autoUpdate = false;
    bool loginRequired = false;
    bool googleAuth = false;
    bool keyringPasswords = false;
    AutoLockSettings autoLock;

    int passwordButtonText() const { return m_hasPassword ? kTextChangePassword : kTextSetupPassword; }
    int keyButtonText() const { return m_keyText; }
    bool clearPasswordEnabled() const { return m_hasPassword; }
    bool clearKeyEnabled() const { return m_hasStoredSecret; }
    // Whether the login-password and pairing windows are there to open.
    bool canChangePassword() const { return static_cast<bool>(m_windows.changeLoginPassword); }
    bool canPair() const { return static_cast<bool>(m_windows.pairing); }
    bool keyringSelectable() const { return !m_context.keyringUnavailable.has_value(); }
    const std::optional<std::string>& keyringUnavailable() const { return m_context.keyringUnavailable; }

    const std::filesystem::path& settingsPath() const { return m_settingsPath; }
    const std::filesystem::path& pathAtOpen() const { return m_pathAtOpen; }
    // The settings-location window chose another place (the file moves at OK).
    void setSettingsPath(std::filesystem::path path) { m_settingsPath = std::move(path); }

    // Immediate actions.
    void setLoginBox(bool ticked);
    void passwordButton();
    void clearPassword();
    void setGoogleAuthBox(bool ticked);
    void keyButton();
    void clearKey();

    // OK: applies every deferred option, in order; logs first.
    SettingsApplied ok();

private:
    settings::SettingsProgramValues& values() { return *m_values; }
    void refreshStoredState();
    void pairWithNewSecret();
    bool moveSettingsFile();

    SettingsDialogContext m_context;
    SettingsDialogWindows m_windows;
    std::filesystem::path m_settingsPath;
    std::filesystem::path m_pathAtOpen;
    std::unique_ptr<settings::SettingsFile> m_file;
    std::unique_ptr<settings::SettingsProgramValues> m_values;
    bool m_hasPassword = false;
    bool m_hasStoredSecret = false;
    int m_keyText = kTextSetupKey;
    crypto::SecureString m_secret = crypto::makeSecureString({});
    bool m_keyringAtOpen = false;
};

} // namespace kestrava::prefs
