// The settings window: start at login, update checks, the login password and one-time-code
// pairing, the settings file (move, backup, restore), the log, the language, automatic
// locking, the keyring and the program information. The rules live in the core's
// SettingsDialogModel; this window shows it and collects the user's choices.
#pragma once

#include "core/prefs/ProgramInformation.h"
#include "core/prefs/SettingsBackup.h"
#include "core/prefs/SettingsDialogModel.h"

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace kestrava {
class Prompter;
}
namespace kestrava::lang {
class Languages;
}

namespace kestrava::gui {

// What the window's buttons open or start; the app connects them to its other windows. An
// unset one leaves its button disabled.
struct SettingsDialogHooks
{
    std::function<void()> checkForUpdate;
    std::function<void()> viewLogFile;
    std::function<void()> about;
    // The settings-location window; the newly chosen settings path, nothing on Cancel.
    std::function<std::optional<std::filesystem::path>(const std::filesystem::path& current)> chooseLocation;
    // File choosers for backup (a target, proposed name given) and restore (an existing file).
    std::function<QString(const QString& proposedName)> chooseBackupTarget;
    std::function<QString()> chooseRestoreFile;
    // What a confirmed restore does after copying the file.
    prefs::RestoreSteps restoreSteps;
    // The FUSE version for the program information; unset: asked from the system.
    std::function<std::optional<prefs::FuseVersion>()> fuseVersion;
};

class SettingsDialog : public QDialog
{
    Q_OBJECT

public:
    SettingsDialog(std::unique_ptr<prefs::SettingsDialogModel> model, lang::Languages& languages,
                   Prompter& prompter, SettingsDialogHooks hooks, QWidget* parent = nullptr);
    ~SettingsDialog() override;

    prefs::SettingsDialogModel& model() { return *m_model; }
    // What OK applied (after the window was accepted).
    const std::optional<prefs::SettingsApplied>& applied() const { return m_applied; }
    // The program information text again (FUSE was installed or removed meanwhile).
    void refreshProgramInformation();

signals:
    // The language changed: other open windows should set their texts again.
    void languageChanged();

public slots:
    void accept() override;

private:
    void build();
    void showModel();
    void fillLanguages();
    void chooseLanguage(const QString& entry);
    void backup();
    void restore();
    void move();
    QPushButton* button(const char* name, int textId, int tipId = 0);
    QCheckBox* box(const char* name, int textId);

    std::unique_ptr<prefs::SettingsDialogModel> m_model;
    lang::Languages& m_languages;
    Prompter& m_prompter;
    SettingsDialogHooks m_hooks;
    std::optional<prefs::SettingsApplied> m_applied;
    bool m_showing = false;

    QCheckBox* m_startAtLogin = nullptr;
    QCheckBox* m_autoUpdate = nullptr;
    QCheckBox* m_loginRequired = nullptr;
    QCheckBox* m_googleAuth = nullptr;
    QPushButton* m_passwordButton = nullptr;
    QPushButton* m_clearPassword = nullptr;
    QPushButton* m_keyButton = nullptr;
    QPushButton* m_clearKey = nullptr;
    QLineEdit* m_settingsPath = nullptr;
    QComboBox* m_language = nullptr;
    QLabel* m_information = nullptr;
    QCheckBox* m_lockOnScreen = nullptr;
    QCheckBox* m_lockOnSleep = nullptr;
    QSpinBox* m_idleMinutes = nullptr;
    QCheckBox* m_detachBusy = nullptr;
    QCheckBox* m_keyring = nullptr;
};

} // namespace kestrava::gui
