// The main window: the drive list with its commands, the status line and the tray icon.
// Closing it hides it in the tray (or minimises it where there is no tray); only exit ends
// the program.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QUrl>
#include <functional>

class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QSystemTrayIcon;
class QTableView;

namespace kestrava::gui {

class DriveActions;
class DriveTableModel;
class QtPrompter;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // Windows of later rounds that the buttons and menus open.
    enum class Command
    {
        NewDrive,
        EditDrive,
        Settings,
        Help,
        About,
    };
    using UrlOpener = std::function<bool(const QUrl&)>;

    // trayAvailable: whether the desktop offers a tray (QSystemTrayIcon::isSystemTrayAvailable).
    MainWindow(DriveTableModel& model, DriveActions& actions, QtPrompter& prompter, bool trayAvailable,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    // Connects a command's button and menu items; commands without one stay disabled.
    void setCommandHandler(Command command, std::function<void()> handler);
    // How folders and mount points are opened (the desktop's file manager by default).
    void setUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }

    // While set, requests from a second copy to show the window are ignored.
    void setInitialising(bool initialising) { m_initialising = initialising; }
    // At start: shown, or (with the minimised switch) straight into the tray without a balloon.
    void showAtStart(bool minimized);
    void showStatus(const QString& text);

    bool isInTray() const { return m_inTray; }
    // How often the "minimised to the tray" balloon was shown.
    int trayBalloonsShown() const { return m_trayBalloons; }
    bool hasTray() const { return m_tray != nullptr; }
    QSystemTrayIcon* trayIcon() const { return m_tray; }
    QTableView* driveList() const { return m_list; }
    int selectedRow() const;
    // Runs of drive commands still working.
    int runningCommands() const { return m_running; }
    // Whether a drive check is running (its menu item is disabled meanwhile).
    bool checkRunning() const { return m_checkRunning; }
    // The drive list's context menu for the selected row (the caller owns it).
    QMenu* createDriveMenu();
    // The tooltip of the tray icon for the rows now listed.
    QString trayToolTip() const;

public slots:
    // Every text again from the string table (the language was changed).
    void retranslate();
    // A later copy asked to see the window, or the tray's "Open".
    void restoreFromTray();
    void minimizeToTray();
    void startRefresh();
    void startFill();
    void mountSelected();
    void deleteSelected();
    void openSelected();
    void openFolderLocation();
    void backupSecurityToken();
    // Checks the selected drive on a worker and shows the report.
    void checkSelected();

signals:
    // The user chose to exit the program.
    void exitRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QPushButton* addButton(const char* name, int textId, int tipId, const QString& themeIcon,
                           int fallbackPixmap);
    void buildButtons();
    void buildList();
    void buildStatusLine();
    void buildTray();
    void showContextMenu(const QPoint& position);
    void updateForSelection();
    void updateTray();
    void runCommand(QPushButton* button, std::function<void()> work);
    void openCommand(Command command);
    void hideToTray(bool withBalloon);

    DriveTableModel& m_model;
    DriveActions& m_actions;
    QtPrompter& m_prompter;
    QTableView* m_list = nullptr;
    QPushButton* m_newButton = nullptr;
    QPushButton* m_editButton = nullptr;
    QPushButton* m_mountButton = nullptr;
    QPushButton* m_deleteButton = nullptr;
    QPushButton* m_settingsButton = nullptr;
    QPushButton* m_helpButton = nullptr;
    QPushButton* m_refreshButton = nullptr;
    QPushButton* m_trayButton = nullptr;
    QLabel* m_statusText = nullptr;
    QProgressBar* m_progress = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    QMenu* m_trayMenu = nullptr;
    std::function<void()> m_handlers[5];
    UrlOpener m_openUrl;
    bool m_inTray = false;
    bool m_initialising = false;
    int m_running = 0;
    int m_trayBalloons = 0;
    bool m_checkRunning = false;
};

} // namespace kestrava::gui
