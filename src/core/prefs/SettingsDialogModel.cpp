#include "core/prefs/SettingsDialogModel.h"

#include "core/access/GoogleAuth.h"
#include "core/access/LoginPassword.h"
#include "core/app/ActivityLog.h"
#include "core/app/Prompter.h"
#include "core/settings/SettingsLocation.h"
#include "core/settings/UserRegistry.h"
#include "core/util/AtomicFile.h"

namespace kestrava::prefs {
namespace {

constexpr std::string_view kYes = "Y";

} // namespace

SettingsDialogModel::SettingsDialogModel(SettingsDialogContext context, SettingsDialogWindows windows)
    : m_context(std::move(context)), m_windows(std::move(windows)), m_settingsPath(m_context.settingsPath),
      m_pathAtOpen(m_context.settingsPath),
      m_file(std::make_unique<settings::SettingsFile>(m_context.settingsPath)),
      m_values(std::make_unique<settings::SettingsProgramValues>(*m_file))
{
    startAtLogin =
        startWithLogin(AutostartMode::Query, m_context.commandLine, nullptr, m_context.autostartEntry);
    autoUpdate = values().get(kAutoUpdateValue).value_or("") == kYes;
    loginRequired = values().get(kEnableKestravaPwdValue).value_or("") == kYes;
    const GoogleAuthState pairing = loadGoogleAuth(values());
    googleAuth = pairing.enabled;
    keyringPasswords = values().get(kKeyringValue).value_or("") == kYes;
    m_keyringAtOpen = keyringPasswords;
    autoLock = loadAutoLock(values());
    refreshStoredState();
    m_keyText = m_hasStoredSecret ? kTextChangeKey : kTextSetupKey;
    m_secret = pairing.secret;
}

void SettingsDialogModel::refreshStoredState()
{
    m_hasPassword = !loadLoginPassword(values()).empty();
    m_hasStoredSecret = !loadGoogleAuth(values()).secret.empty();
}

void SettingsDialogModel::setLoginBox(bool ticked)
{
    if (!ticked || m_hasPassword) {
        loginRequired = ticked;
        return;
    }
    // Requiring a password that does not exist yet: set one first.
    const bool set = m_windows.changeLoginPassword && m_windows.changeLoginPassword(false);
    if (set) {
        values().set(kEnableKestravaPwdValue, kYes);
    }
    loginRequired = set;
    refreshStoredState();
}

void SettingsDialogModel::passwordButton()
{
    const bool requiredNow = values().get(kEnableKestravaPwdValue).value_or("") == kYes;
    if (!m_windows.changeLoginPassword || !m_windows.changeLoginPassword(requiredNow)) {
        return;
    }
    values().set(kEnableKestravaPwdValue, kYes);
    loginRequired = true;
    refreshStoredState();
}

void SettingsDialogModel::clearPassword()
{
    clearLoginPassword(values());
    loginRequired = false;
    refreshStoredState();
}

void SettingsDialogModel::pairWithNewSecret()
{
    const crypto::SecureString secret =
        m_context.newSecret ? m_context.newSecret() : generateGoogleAuthSecret();
    const auto accepted = m_windows.pairing ? m_windows.pairing(secret) : std::nullopt;
    if (accepted) {
        m_secret = *accepted;
        googleAuth = true;
        m_keyText = kTextChangeKey;
    } else {
        googleAuth = false;
        m_keyText = kTextSetupKey;
    }
    refreshStoredState();
}

void SettingsDialogModel::setGoogleAuthBox(bool ticked)
{
    if (ticked && !m_hasStoredSecret) {
        pairWithNewSecret();
        return;
    }
    googleAuth = ticked;
}

void SettingsDialogModel::keyButton()
{
    if (!m_hasStoredSecret) {
        pairWithNewSecret();
        return;
    }
    const auto accepted = m_windows.pairing ? m_windows.pairing(m_secret) : std::nullopt;
    if (accepted) {
        m_secret = *accepted;
        googleAuth = true;
        m_keyText = kTextChangeKey;
    } else {
        m_secret = loadGoogleAuth(values()).secret;
    }
    refreshStoredState();
}

void SettingsDialogModel::clearKey()
{
    clearGoogleAuth(values());
    googleAuth = false;
    m_keyText = kTextSetupKey;
    m_secret = crypto::makeSecureString({});
    refreshStoredState();
}

bool SettingsDialogModel::moveSettingsFile()
{
    std::string contents;
    std::string error;
    bool copied = util::readSmallFile(m_pathAtOpen, settings::kMaxSettingsBytes, contents, error);
    if (copied) {
        const auto written = util::writeFileAtomically(m_settingsPath, contents);
        copied = written.ok;
        error = written.message;
    }
    copied = copied && settings::SettingsFile(m_settingsPath).setKestravaXmlValue(kAutoUpdateValue, kYes);
    if (!copied) {
        writeLog("!SettingsDlg: cannot copy %s to %s: %s", m_pathAtOpen.c_str(), m_settingsPath.c_str(),
                 error.c_str());
        m_context.prompter.messageBox(kMsgCannotLoadSettings, {m_settingsPath.string()}, Buttons::OK,
                                      Icon::Error);
        m_settingsPath = m_pathAtOpen;
        return false;
    }
    m_pathAtOpen = m_settingsPath;
    m_file = std::make_unique<settings::SettingsFile>(m_settingsPath);
    m_values = std::make_unique<settings::SettingsProgramValues>(*m_file);
    return true;
}

SettingsApplied SettingsDialogModel::ok()
{
    writeLog("SettingsDlg: OnBnClickedOk");
    SettingsApplied applied;
    if (m_settingsPath != m_pathAtOpen) {
        applied.moved = moveSettingsFile();
    }
    settings::storeSettingsLocation(m_context.registry, m_settingsPath, m_context.defaultSettingsPath);
    startWithLogin(startAtLogin ? AutostartMode::Set : AutostartMode::Delete, m_context.commandLine,
                   &m_context.prompter, m_context.autostartEntry);
    if (autoUpdate) {
        values().set(kAutoUpdateValue, kYes);
    } else {
        values().remove(kAutoUpdateValue);
    }
    setLoginPasswordRequired(values(), loginRequired);
    applied.loginPasswordActive = loginRequired;
    GoogleAuthState state;
    state.enabled = googleAuth;
    saveGoogleAuth(values(), state, GoogleAuthPart::Enabled);
    applied.googleAuthActive = googleAuth;
    saveAutoLock(values(), autoLock);
    if (keyringPasswords != m_keyringAtOpen && keyringSelectable()) {
        const bool movedPasswords =
            !m_context.moveRememberedPasswords || m_context.moveRememberedPasswords(keyringPasswords);
        if (movedPasswords) {
            keyringPasswords ? values().set(kKeyringValue, kYes) : values().remove(kKeyringValue);
            m_keyringAtOpen = keyringPasswords;
        }
    }
    applied.settingsPath = m_settingsPath;
    return applied;
}

} // namespace kestrava::prefs
