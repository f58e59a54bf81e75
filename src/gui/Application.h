// The desktop app's start and exit: the switches, the single-instance check, the settings file
// and the program lock, the main window and the start-up fill; and the orderly exit that
// unmounts every drive this process mounted.
#pragma once

#include "core/prefs/AutoLock.h"
#include "core/prefs/SettingsDialogModel.h"
#include "core/session/AppSession.h"
#include "core/update/StartTimers.h"
#include "gui/StartSwitches.h"

#include <QObject>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

class QSystemTrayIcon;

namespace kestrava::lang {
class Languages;
}

namespace kestrava::gui {

class CoreDriveActions;
class DialogLoginAnswerer;
class DriveDialogs;
class DriveTableModel;
class ExitSignals;
class MainWindow;
class QtPrompter;
class SessionLockWatcher;
class SingleInstance;
class UpdateRunner;

// The windows the settings window opens that live elsewhere in the app. Unset ones leave
// their buttons without effect (the model) or disabled (the window).
struct SettingsWindows
{
    prefs::SettingsDialogWindows loginAndPairing;
    std::function<std::optional<std::filesystem::path>(const std::filesystem::path& current)> chooseLocation;
    std::function<void()> about;
    std::function<void()> checkForUpdate;
};

class Application : public QObject
{
    Q_OBJECT

public:
    explicit Application(StartSwitches switches, QObject* parent = nullptr);
    ~Application() override;

    // Everything up to the running main window. Returns the exit code when the program ends
    // during start-up (another copy runs: 1; a driver switch, a cancelled login: 0).
    std::optional<int> start();

    MainWindow* mainWindow() const { return m_window.get(); }
    DriveDialogs* driveDialogs() const { return m_dialogs.get(); }
    UpdateRunner* updates() const { return m_updates.get(); }
    void setSettingsWindows(SettingsWindows windows) { m_settingsWindows = std::move(windows); }

    // Unmounts the drives for reason when the user chose that; busy drives are named.
    void lockDrives(prefs::LockReason reason);

public slots:
    // The settings window, from the main window and the tray.
    void openSettings();
    // Closes the dialogs, lets the running commands end, unmounts every drive and quits.
    void exitProgram();
    // The update check asked for by hand ("Check For Update").
    void checkForUpdates();

private:
    std::optional<int> runDriverSwitch();
    // The "/runonce" tasks and the automatic update check, each once, when due.
    void scheduleStartTasks();
    void runStartTasks();
    // The preferences' buttons open the login-password, pairing, settings-location and about
    // windows and the manual update check.
    void connectSettingsWindows();
    void startAutoLock();
    // The sleep delay lock follows the setting.
    void applyAutoLockSettings();
    // The tray icon when the desktop shows one.
    QSystemTrayIcon* shownTray() const;

    StartSwitches m_switches;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<ExitSignals> m_exitSignals;
    std::unique_ptr<QtPrompter> m_prompter;
    std::unique_ptr<DialogLoginAnswerer> m_login;
    std::unique_ptr<session::AppSession> m_session;
    std::unique_ptr<DriveTableModel> m_model;
    std::unique_ptr<CoreDriveActions> m_actions;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<DriveDialogs> m_dialogs;
    std::unique_ptr<UpdateRunner> m_updates;
    std::optional<update::StartTimers> m_startTimers;
    std::unique_ptr<lang::Languages> m_languages;
    std::unique_ptr<SessionLockWatcher> m_lockWatcher;
    SettingsWindows m_settingsWindows;
    bool m_exiting = false;
};

} // namespace kestrava::gui
