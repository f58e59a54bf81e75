#include "gui/Application.h"

#include "core/app/ActivityLog.h"
#include "core/app/Language.h"
#include "core/app/SystemInfo.h"
#include "core/drives/DriveMessages.h"
#include "core/host/FuseAvailability.h"
#include "core/host/SystemHost.h"
#include "core/settings/PasswordVault.h"
#include "core/settings/Paths.h"
#include "core/settings/SettingsLocation.h"
#include "core/settings/SettingsProgramValues.h"
#include "core/settings/UserRegistry.h"
#include "core/token/DriveContext.h"
#include "core/update/CodeSignature.h"
#include "core/update/ProgramUpdate.h"
#include "core/update/RunOnce.h"
#include "gui/AboutDialog.h"
#include "gui/ChangePasswordDialog.h"
#include "gui/CoreDriveActions.h"
#include "gui/DriveDialogs.h"
#include "gui/DriveTableModel.h"
#include "gui/ExitSignals.h"
#include "gui/LoginDialog.h"
#include "gui/MainWindow.h"
#include "gui/Notifications.h"
#include "gui/PairingDialog.h"
#include "gui/QtPrompter.h"
#include "gui/SessionLockWatcher.h"
#include "gui/SettingsDialog.h"
#include "gui/SettingsLocationDialog.h"
#include "gui/SingleInstance.h"
#include "gui/UpdateRunner.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>

namespace kestrava::gui {
namespace {

constexpr int kWorkerPollMs = 50;
// The first-run wizard opens once the main window has settled.
constexpr int kFirstRunWizardDelayMs = 1000;
constexpr int kMsgPasswordsNotMoved = 1509;

// Where the settings file will be found, without asking anything: the language is chosen
// before the login prompt, which comes with opening the settings file.
std::filesystem::path expectedSettingsPath()
{
    settings::UserRegistry registry(paths::registryFilePath());
    std::string configured;
    if (settings::settingsRegistry(registry, settings::RegistryMode::ReadConfigFile, configured)) {
        return configured;
    }
    return paths::defaultSettingsPath();
}

// The machine description for the log, with the primary screen in device pixels.
void logSystemInfo()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        sysinfo::writeSystemInfo({}, std::nullopt);
        return;
    }
    const QSize pixels = screen->size() * screen->devicePixelRatio();
    sysinfo::writeSystemInfo({pixels.width(), pixels.height()},
                             sysinfo::DisplayMode{screen->depth(), pixels.width(), pixels.height(),
                                                  qRound(screen->refreshRate())});
}

} // namespace

// The program lock's login exchange in the login dialog, which stays open after a wrong entry.
class DialogLoginAnswerer : public session::LoginAnswerer
{
public:
    session::LoginReply answer(const LoginLock& lock, const LoginPlan& /*plan*/,
                               const session::LoginEntryCheck& check) override
    {
        LoginDialog login(lock, LoginDialog::EntryCheck(check));
        login.exec();
        session::LoginReply reply;
        if (login.damagedSecret()) {
            reply.outcome = session::LoginReply::Outcome::Checked;
            reply.result.damagedSecret = true;
            reply.result.messageId = drives::kMsgSettingsLoadFailed;
            return reply;
        }
        if (login.result() != QDialog::Accepted) {
            reply.outcome = session::LoginReply::Outcome::Cancelled;
            return reply;
        }
        reply.outcome = session::LoginReply::Outcome::Checked;
        reply.result.opened = true;
        return reply;
    }
};

Application::Application(StartSwitches switches, QObject* parent)
    : QObject(parent), m_switches(switches), m_prompter(std::make_unique<QtPrompter>()),
      m_login(std::make_unique<DialogLoginAnswerer>()),
      m_session(std::make_unique<session::AppSession>(*m_prompter, *m_login)),
      m_languages(std::make_unique<lang::Languages>())
{
    settings::setPasswordVault(settings::makeSecretServiceVault());
    // Hidden in the tray, the program lives on without any window.
    QApplication::setQuitOnLastWindowClosed(false);
}

Application::~Application()
{
    m_updates.reset();
    m_dialogs.reset();
    m_window.reset();
    m_actions.reset();
    m_model.reset();
}

QSystemTrayIcon* Application::shownTray() const
{
    QSystemTrayIcon* tray = m_window ? m_window->trayIcon() : nullptr;
    return tray != nullptr && tray->isVisible() ? tray : nullptr;
}

std::optional<int> Application::runDriverSwitch()
{
    if (m_switches.installDriver) {
        m_languages->doLanguage(lang::kDriverInstall, true, {});
        writeLog("installdrv: %s", QApplication::arguments().join(QLatin1Char(' ')).toUtf8().constData());
        host::FsInstall(*m_prompter);
        return 0;
    }
    if (m_switches.removeDriver) {
        writeLog("removedrv: %s", QApplication::arguments().join(QLatin1Char(' ')).toUtf8().constData());
        host::FsUninstall(*m_prompter);
        // A running copy rebuilds its list: its mounted drives are gone with FUSE.
        SingleInstance(SingleInstance::defaultServerName()).askRunningCopyToRefresh();
        return 0;
    }
    return std::nullopt;
}

std::optional<int> Application::start()
{
    // A build that knows its publisher refuses to run an executable changed since it was signed.
    if (update::checkOwnExecutable(paths::executablePath(), update::builtInPublisher()) ==
        update::SelfCheck::Failed) {
        m_prompter->messageBox(update::kMsgSignatureFailed, {}, Buttons::OK, Icon::Error);
        return 0;
    }
    writeLog("Starting App... %s", QApplication::arguments().join(QLatin1Char(' ')).toUtf8().constData());
    logSystemInfo();
    if (!m_switches.skipsSingleInstance()) {
        m_instance = std::make_unique<SingleInstance>();
        if (!m_instance->claim()) {
            writeLog("DupeProcessCheck: another copy runs; asked it to show its window");
            return 1;
        }
    }
    m_exitSignals = std::make_unique<ExitSignals>();
    connect(m_exitSignals.get(), &ExitSignals::exitRequested, this, &Application::exitProgram);
    if (auto code = runDriverSwitch()) {
        return code;
    }

    m_languages->doLanguage("", true, expectedSettingsPath());
    const session::OpenResult opened = m_session->open();
    if (opened.outcome == session::OpenOutcome::DamagedSecret) {
        m_prompter->messageBox(opened.login.messageId, {m_session->settingsPath().string()}, Buttons::OK,
                               Icon::Error);
        return 0;
    }
    if (!opened.opened()) {
        return 0;
    }
    // A first run (no settings file yet) begins with the new-drive wizard.
    std::error_code ec;
    const bool firstRun = !std::filesystem::exists(m_session->settingsPath(), ec);

    // The drives are served by the kestrava-cli built beside this program; each stops by itself
    // after the idle time chosen in the settings.
    host::SystemHostConfig hostConfig;
    hostConfig.mountRoot = paths::mountRoot();
    hostConfig.idleDefault = [this] {
        settings::SettingsProgramValues values(m_session->settings());
        const prefs::AutoLockSettings chosen = prefs::loadAutoLock(values);
        return std::make_pair(chosen.idleMinutes, chosen.detachBusy);
    };
    m_session->startDrives(std::shared_ptr<host::DriveHost>(host::makeSystemHost(hostConfig)));
    m_model = std::make_unique<DriveTableModel>(m_session->rows());
    m_actions = std::make_unique<CoreDriveActions>(*m_session, *m_prompter);
    m_window = std::make_unique<MainWindow>(*m_model, *m_actions, *m_prompter,
                                            QSystemTrayIcon::isSystemTrayAvailable());
    m_window->setInitialising(true);
    m_prompter->setMainWindow(m_window.get());
    m_prompter->setStatusSink([this](const QString& text) { m_window->showStatus(text); });
    m_prompter->setCloudFolders(m_session->services().cloudFolders);
    m_prompter->setNotifier(
        makeBalloonNotifier({[this] { return shownTray(); }, notifyDesktop,
                             [this](const QString& line) { m_window->showStatus(line); }}));
    m_actions->setRefreshRequester([this] {
        QMetaObject::invokeMethod(m_window.get(), &MainWindow::startRefresh, Qt::QueuedConnection);
    });
    connect(m_window.get(), &MainWindow::exitRequested, this, &Application::exitProgram);
    m_window->setCommandHandler(MainWindow::Command::Settings, [this] { openSettings(); });
    startAutoLock();
    if (m_instance) {
        connect(m_instance.get(), &SingleInstance::showRequested, m_window.get(),
                &MainWindow::restoreFromTray);
    }
    m_dialogs = std::make_unique<DriveDialogs>(m_session->services(), *m_window);
    m_dialogs->connectCommands();
    connectSettingsWindows();
    m_window->showAtStart(m_switches.minimized);
    m_window->startFill();
    m_updates = std::make_unique<UpdateRunner>(*m_prompter, m_session->settingsPath());
    m_updates->setWindow(m_window.get());
    connect(m_updates.get(), &UpdateRunner::exitRequested, this, &Application::exitProgram);
    m_startTimers.emplace(update::StartTimers::Clock::now(), m_switches.runOnce);
    scheduleStartTasks();
    m_window->setInitialising(false);
    if (firstRun) {
        QTimer::singleShot(kFirstRunWizardDelayMs, m_dialogs.get(), &DriveDialogs::newDrive);
    }
    return std::nullopt;
}

void Application::scheduleStartTasks()
{
    if (const auto wait = m_startTimers->untilNext(update::StartTimers::Clock::now())) {
        QTimer::singleShot(static_cast<int>(wait->count()), this, &Application::runStartTasks);
    }
}

void Application::runStartTasks()
{
    if (m_exiting) {
        return;
    }
    for (const update::StartTask task : m_startTimers->takeDue(update::StartTimers::Clock::now())) {
        if (task == update::StartTask::RunOnce) {
            settings::UserRegistry installerValues(paths::registryFilePath());
            settings::SettingsFile settingsFile(m_session->settingsPath());
            settings::SettingsProgramValues programValues(settingsFile);
            update::carryOverInstallerAutoUpdate(installerValues, programValues);
        } else {
            m_updates->start(false);
        }
    }
    scheduleStartTasks();
}

void Application::checkForUpdates()
{
    if (m_updates && !m_exiting) {
        m_updates->start(true);
    }
}

void Application::connectSettingsWindows()
{
    SettingsWindows windows;
    windows.loginAndPairing.changeLoginPassword = [this](bool) {
        settings::SettingsProgramValues values(m_session->settings());
        ChangePasswordDialog dialog(values, *m_prompter, QApplication::activeWindow());
        return dialog.exec() == QDialog::Accepted && dialog.storedPassword().has_value();
    };
    windows.loginAndPairing.pairing =
        [this](const crypto::SecureString& secret) -> std::optional<crypto::SecureString> {
        settings::SettingsProgramValues values(m_session->settings());
        PairingDialog dialog(values, secret, std::chrono::system_clock::now, QApplication::activeWindow());
        if (dialog.exec() != QDialog::Accepted) {
            return std::nullopt;
        }
        return dialog.acceptedSecret();
    };
    windows.chooseLocation =
        [](const std::filesystem::path& current) -> std::optional<std::filesystem::path> {
        settings::UserRegistry registry(paths::registryFilePath());
        SettingsLocationDialog dialog(registry, current, paths::defaultSettingsPath(),
                                      QApplication::activeWindow());
        if (dialog.exec() != QDialog::Accepted) {
            return std::nullopt;
        }
        return dialog.chosenPath();
    };
    windows.about = [] {
        AboutDialog dialog(QApplication::activeWindow());
        dialog.exec();
    };
    windows.checkForUpdate = [this] { checkForUpdates(); };
    setSettingsWindows(std::move(windows));
}

void Application::startAutoLock()
{
    m_lockWatcher =
        std::make_unique<SessionLockWatcher>(QDBusConnection::systemBus(), QDBusConnection::sessionBus(),
                                             [this](prefs::LockReason reason) { lockDrives(reason); });
    m_lockWatcher->start();
    applyAutoLockSettings();
}

void Application::applyAutoLockSettings()
{
    settings::SettingsProgramValues values(m_session->settings());
    if (m_lockWatcher) {
        m_lockWatcher->setSleepLockWanted(prefs::loadAutoLock(values).onSleep);
    }
}

void Application::lockDrives(prefs::LockReason reason)
{
    settings::SettingsProgramValues values(m_session->settings());
    const prefs::AutoLockSettings chosen = prefs::loadAutoLock(values);
    if ((reason == prefs::LockReason::ScreenLocked && !chosen.onScreenLock) ||
        (reason == prefs::LockReason::Sleep && !chosen.onSleep)) {
        return;
    }
    const prefs::LockReport report = prefs::lockAllDrives(
        m_session->host(), chosen.detachBusy, reason, nullptr, [this](const std::string& letter) {
            for (const auto& context : m_session->mounted().contexts()) {
                if (context->driveLetter() == letter) {
                    m_session->mounted().remove(context.get());
                }
            }
        });
    if (m_window) {
        m_window->startRefresh();
    }
    // Said once the lock is done, so a sleep never waits for the user.
    for (const auto& [letter, programs] : report.busy) {
        QTimer::singleShot(0, this, [this, letter = letter, programs = programs] {
            m_prompter->messageBox(prefs::kMsgDriveBusy, {letter, programs.empty() ? "?" : programs},
                                   Buttons::OK, Icon::Warning);
        });
    }
}

void Application::openSettings()
{
    settings::UserRegistry registry(paths::registryFilePath());
    prefs::SettingsDialogContext context{m_session->settingsPath(), paths::defaultSettingsPath(), registry,
                                         *m_prompter};
    context.commandLine = prefs::programCommandLine(paths::executablePath(), {});
    const auto vault = settings::passwordVault();
    context.keyringUnavailable =
        vault ? vault->unavailableReason() : std::optional<std::string>("no keyring");
    context.moveRememberedPasswords = [this](bool toKeyring) {
        std::string error;
        if (!settings::keepPasswordsInVault(m_session->settings(), toKeyring, error)) {
            m_prompter->messageBox(kMsgPasswordsNotMoved, {error}, Buttons::OK, Icon::Error);
            return false;
        }
        return true;
    };
    SettingsDialogHooks hooks;
    hooks.checkForUpdate = m_settingsWindows.checkForUpdate;
    hooks.about = m_settingsWindows.about;
    hooks.chooseLocation = m_settingsWindows.chooseLocation;
    hooks.viewLogFile = [] {
        QDesktopServices::openUrl(
            QUrl::fromLocalFile(QString::fromStdString(applog::currentLogPath().string())));
    };
    hooks.restoreSteps.unmountAll = [this] { m_actions->unmountAll(); };
    hooks.restoreSteps.reloadDrives = [this] { m_window->startRefresh(); };
    SettingsDialog dialog(
        std::make_unique<prefs::SettingsDialogModel>(std::move(context), m_settingsWindows.loginAndPairing),
        *m_languages, *m_prompter, std::move(hooks), m_window.get());
    connect(&dialog, &SettingsDialog::languageChanged, m_window.get(), &MainWindow::retranslate);
    if (dialog.exec() == QDialog::Accepted && dialog.applied()) {
        if (dialog.applied()->moved) {
            m_session->relocateSettings(dialog.applied()->settingsPath);
        }
        applyAutoLockSettings();
    }
}

void Application::exitProgram()
{
    if (m_exiting) {
        return;
    }
    m_exiting = true;
    writeLog("appExit");
    if (m_updates) {
        m_updates->cancel(); // a download must not hold the exit up
    }
    m_prompter->shutDown();
    const auto closeDialogs = [] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<QDialog*>(widget); dialog != nullptr && dialog->isVisible()) {
                dialog->reject();
            }
        }
    };
    // A command still running may be waiting for a dialog, or for the GUI thread: keep
    // closing and serving until every one has ended.
    closeDialogs();
    while (!QThreadPool::globalInstance()->waitForDone(kWorkerPollMs)) {
        closeDialogs();
        QApplication::processEvents();
    }
    if (m_actions) {
        m_actions->unmountAll();
    }
    if (m_window && m_window->trayIcon() != nullptr) {
        m_window->trayIcon()->hide();
    }
    // exit(), not quit(): quit() first asks every window to close, and the main window turns a
    // close into hiding in the tray, which would cancel the exit.
    QCoreApplication::exit(0);
}

} // namespace kestrava::gui
