#include "gui/MainWindow.h"

#include "core/Version.h"
#include "core/drives/DriveListModel.h"
#include "core/drives/DriveMessages.h"
#include "core/drives/TrayTooltip.h"
#include "gui/AppText.h"
#include "gui/DriveActions.h"
#include "gui/DriveCheckDialog.h"
#include "gui/DriveTableModel.h"
#include "gui/Icons.h"
#include "gui/QtPrompter.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace kestrava::gui {
namespace {

constexpr int kMinimumWidth = 573;
constexpr int kMinimumHeight = 250;
constexpr int kRequirePasswordColumnWidth = 115;
constexpr int kStatusClearDelayMs = 1000;

QString withoutMnemonic(int id)
{
    return appText(id).remove(QLatin1Char('&'));
}

std::size_t commandIndex(MainWindow::Command command)
{
    return static_cast<std::size_t>(command);
}

} // namespace

MainWindow::MainWindow(DriveTableModel& model, DriveActions& actions, QtPrompter& prompter,
                       bool trayAvailable, QWidget* parent)
    : QMainWindow(parent), m_model(model), m_actions(actions), m_prompter(prompter),
      m_openUrl([](const QUrl& url) { return QDesktopServices::openUrl(url); })
{
    setObjectName(QStringLiteral("mainWindow"));
    bindText(this, text::WindowTitle);
    setWindowIcon(appIcon());
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    auto* central = new QWidget(this);
    new QVBoxLayout(central);
    setCentralWidget(central);
    buildButtons();
    buildList();
    setTabOrder(m_helpButton, m_list);
    setTabOrder(m_list, m_trayButton);
    buildStatusLine();
    if (trayAvailable) {
        buildTray();
    }
    // Elsewhere in the window, the context menu offers only the exit.
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        QMenu menu(this);
        menu.addAction(appText(text::ExitKestrava), this, &MainWindow::exitRequested);
        menu.exec(mapToGlobal(position));
    });
    updateForSelection();
    updateTray();
    connect(&m_model, &QAbstractItemModel::modelReset, this, [this] {
        updateForSelection();
        updateTray();
    });
    connect(&m_model, &QAbstractItemModel::dataChanged, this, [this] {
        updateForSelection();
        updateTray();
    });
    resize(760, 340);
}

MainWindow::~MainWindow() = default;

void MainWindow::retranslate()
{
    gui::retranslate(this); // the tray menu is a child of the window too
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAccessibleName(button->text().remove(QLatin1Char('&')));
    }
    m_list->setAccessibleName(appText(text::DriveListName));
    emit m_model.headerDataChanged(Qt::Horizontal, 0, m_model.columnCount() - 1);
    updateForSelection();
    updateTray();
}

QPushButton* MainWindow::addButton(const char* name, int textId, int tipId, const QString& themeIcon,
                                   int fallbackPixmap)
{
    auto* button = new QPushButton(centralWidget());
    button->setObjectName(QLatin1String(name));
    bindText(button, textId, tipId);
    button->setAccessibleName(withoutMnemonic(textId));
    button->setIcon(QIcon::fromTheme(
        themeIcon, style()->standardIcon(static_cast<QStyle::StandardPixmap>(fallbackPixmap))));
    button->setAutoDefault(false);
    return button;
}

void MainWindow::buildButtons()
{
    m_newButton = addButton("newButton", text::NewDrive, text::NewDriveTip, QStringLiteral("list-add"),
                            QStyle::SP_FileDialogNewFolder);
    m_editButton = addButton("editButton", text::EditDrive, text::EditDriveTip,
                             QStringLiteral("document-properties"), QStyle::SP_FileDialogDetailedView);
    m_mountButton = addButton("mountButton", text::MountDrive, text::MountTip,
                              QStringLiteral("drive-harddisk"), QStyle::SP_DriveHDIcon);
    m_deleteButton = addButton("deleteButton", text::DeleteDrive, text::DeleteDriveTip,
                               QStringLiteral("edit-delete"), QStyle::SP_TrashIcon);
    m_refreshButton = addButton("refreshButton", text::Refresh, text::RefreshTip,
                                QStringLiteral("view-refresh"), QStyle::SP_BrowserReload);
    m_settingsButton = addButton("settingsButton", text::SettingsButton, text::SettingsTip,
                                 QStringLiteral("preferences-system"), QStyle::SP_FileDialogInfoView);
    m_helpButton = addButton("helpButton", text::Help, text::HelpTip, QStringLiteral("help-contents"),
                             QStyle::SP_DialogHelpButton);
    m_trayButton = addButton("trayButton", text::MinimizeToTray, text::MinimizeToTrayTip,
                             QStringLiteral("go-down"), QStyle::SP_TitleBarMinButton);

    auto* row = new QHBoxLayout;
    for (QPushButton* button : {m_newButton, m_editButton, m_mountButton, m_deleteButton}) {
        row->addWidget(button);
    }
    row->addStretch();
    for (QPushButton* button : {m_refreshButton, m_settingsButton, m_helpButton}) {
        row->addWidget(button);
    }
    static_cast<QVBoxLayout*>(centralWidget()->layout())->addLayout(row);

    connect(m_newButton, &QPushButton::clicked, this, [this] { openCommand(Command::NewDrive); });
    connect(m_editButton, &QPushButton::clicked, this, [this] { openCommand(Command::EditDrive); });
    connect(m_settingsButton, &QPushButton::clicked, this, [this] { openCommand(Command::Settings); });
    connect(m_helpButton, &QPushButton::clicked, this, [this] { openCommand(Command::Help); });
    connect(m_mountButton, &QPushButton::clicked, this, &MainWindow::mountSelected);
    connect(m_deleteButton, &QPushButton::clicked, this, &MainWindow::deleteSelected);
    connect(m_refreshButton, &QPushButton::clicked, this, &MainWindow::startRefresh);
    connect(m_trayButton, &QPushButton::clicked, this, &MainWindow::minimizeToTray);
    for (QPushButton* button : {m_newButton, m_editButton, m_settingsButton, m_helpButton}) {
        button->setEnabled(false); // until the window behind it is connected
    }
}

void MainWindow::buildList()
{
    auto* caption = new QLabel(centralWidget());
    bindText(caption, text::ListCaption);
    caption->setObjectName(QStringLiteral("listCaption"));
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);
    m_list = new QTableView(centralWidget());
    m_list->setObjectName(QStringLiteral("driveList"));
    m_list->setAccessibleName(appText(text::DriveListName));
    m_list->setModel(&m_model);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setShowGrid(true);
    m_list->setWordWrap(false);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->verticalHeader()->hide();
    m_list->setTabKeyNavigation(false);
    QHeaderView* header = m_list->horizontalHeader();
    header->setHighlightSections(false);
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(static_cast<int>(drives::Column::FolderLocation), QHeaderView::Stretch);
    header->setSectionResizeMode(static_cast<int>(drives::Column::RequirePassword), QHeaderView::Fixed);
    header->resizeSection(static_cast<int>(drives::Column::RequirePassword), kRequirePasswordColumnWidth);
    caption->setBuddy(m_list);
    auto* layout = static_cast<QVBoxLayout*>(centralWidget()->layout());
    layout->addWidget(caption);
    layout->addWidget(m_list, 1);
    // The tray button sits under the list.
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(m_trayButton);
    layout->addLayout(bottom);

    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MainWindow::updateForSelection);
    connect(m_list, &QTableView::activated, this, &MainWindow::openSelected);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this, &MainWindow::showContextMenu);
}

void MainWindow::buildStatusLine()
{
    m_statusText = new QLabel(this);
    m_statusText->setObjectName(QStringLiteral("statusText"));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("statusProgress"));
    m_progress->setRange(0, 0); // busy
    m_progress->setMaximumWidth(120);
    m_progress->setTextVisible(false);
    m_progress->hide();
    statusBar()->addWidget(m_statusText, 1);
    statusBar()->addPermanentWidget(m_progress);
}

void MainWindow::buildTray()
{
    m_tray = new QSystemTrayIcon(appIcon(), this);
    m_trayMenu = new QMenu(this);
    m_trayMenu->setObjectName(QStringLiteral("trayMenu"));
    bindText(m_trayMenu->addAction(QString(), this, &MainWindow::restoreFromTray), text::TrayOpen);
    QAction* settings = m_trayMenu->addAction(QString(), this, [this] { openCommand(Command::Settings); });
    bindText(settings, text::TraySettings);
    settings->setObjectName(QStringLiteral("traySettings"));
    settings->setEnabled(false);
    QAction* about = m_trayMenu->addAction(QString(), this, [this] { openCommand(Command::About); });
    bindText(about, text::TrayAbout);
    about->setObjectName(QStringLiteral("trayAbout"));
    about->setEnabled(false);
    m_trayMenu->addSeparator();
    bindText(m_trayMenu->addAction(QString(), this, &MainWindow::exitRequested), text::TrayExit);
    m_tray->setContextMenu(m_trayMenu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger) {
            restoreFromTray();
        }
    });
    m_tray->show();
}

void MainWindow::setCommandHandler(Command command, std::function<void()> handler)
{
    const bool available = static_cast<bool>(handler);
    m_handlers[commandIndex(command)] = std::move(handler);
    switch (command) {
    case Command::NewDrive:
        m_newButton->setEnabled(available);
        break;
    case Command::EditDrive:
        m_editButton->setEnabled(available);
        break;
    case Command::Settings:
        m_settingsButton->setEnabled(available);
        if (m_trayMenu != nullptr) {
            m_trayMenu->findChild<QAction*>(QStringLiteral("traySettings"))->setEnabled(available);
        }
        break;
    case Command::Help:
        m_helpButton->setEnabled(available);
        break;
    case Command::About:
        if (m_trayMenu != nullptr) {
            m_trayMenu->findChild<QAction*>(QStringLiteral("trayAbout"))->setEnabled(available);
        }
        break;
    }
}

void MainWindow::openCommand(Command command)
{
    if (const auto& handler = m_handlers[commandIndex(command)]) {
        handler();
    }
}

int MainWindow::selectedRow() const
{
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void MainWindow::updateForSelection()
{
    const auto entry = m_model.entry(selectedRow());
    const bool mounted = entry && entry->state == MountState::Mounted;
    m_mountButton->setText(appText(mounted ? text::UnmountDrive : text::MountDrive));
    m_mountButton->setAccessibleName(withoutMnemonic(mounted ? text::UnmountDrive : text::MountDrive));
    m_mountButton->setIcon(
        mounted ? QIcon::fromTheme(QStringLiteral("media-eject"), style()->standardIcon(QStyle::SP_MediaStop))
                : QIcon::fromTheme(QStringLiteral("drive-harddisk"),
                                   style()->standardIcon(QStyle::SP_DriveHDIcon)));
}

QString MainWindow::trayToolTip() const
{
    std::vector<std::string> letters;
    for (const QString& letter : m_model.mountedLetters()) {
        letters.push_back(letter.toStdString());
    }
    return QString::fromStdString(drives::trayTooltipText(drives::programTitle(kProgramVersion), letters));
}

void MainWindow::updateTray()
{
    if (m_tray != nullptr) {
        m_tray->setToolTip(trayToolTip());
    }
}

void MainWindow::showStatus(const QString& text)
{
    m_statusText->setText(text);
}

void MainWindow::runCommand(QPushButton* button, std::function<void()> work)
{
    if (!button->isEnabled()) {
        return; // a run of this command is still going: the button is the guard
    }
    button->setEnabled(false);
    ++m_running;
    m_progress->show();
    auto* watcher = new QFutureWatcher<void>(this);
    connect(watcher, &QFutureWatcher<void>::finished, this, [this, button, watcher] {
        button->setEnabled(true);
        --m_running;
        if (m_running == 0) {
            m_progress->hide();
            QTimer::singleShot(kStatusClearDelayMs, this, [this] {
                if (m_running == 0) {
                    m_statusText->clear();
                }
            });
        }
        updateForSelection();
        updateTray();
        watcher->deleteLater();
    });
    watcher->setFuture(QtConcurrent::run(std::move(work)));
}

void MainWindow::startFill()
{
    runCommand(m_refreshButton, [this] { m_actions.fillAtStart(); });
}

void MainWindow::startRefresh()
{
    runCommand(m_refreshButton, [this] { m_actions.refresh(); });
}

void MainWindow::mountSelected()
{
    const int row = selectedRow();
    runCommand(m_mountButton, [this, row] { m_actions.mountOrUnmount(row); });
}

void MainWindow::deleteSelected()
{
    const int row = selectedRow();
    runCommand(m_deleteButton, [this, row] { m_actions.remove(row); });
}

void MainWindow::openSelected()
{
    const int row = selectedRow();
    const auto entry = m_model.entry(row);
    if (!entry) {
        m_prompter.messageBox(drives::kMsgNoDriveSelected, {}, Buttons::OK, Icon::Error);
        return;
    }
    switch (entry->state) {
    case MountState::NotMounted:
        mountSelected();
        return;
    case MountState::FolderMissing:
        m_prompter.messageBox(drives::kMsgRowUnreadable, {}, Buttons::OK, Icon::Error);
        return;
    case MountState::Mounted:
        m_openUrl(QUrl::fromLocalFile(m_actions.mountPoint(row)));
        return;
    }
}

void MainWindow::openFolderLocation()
{
    const int row = selectedRow();
    if (row < 0) {
        m_prompter.messageBox(drives::kMsgNoDriveSelected, {}, Buttons::OK, Icon::Error);
        return;
    }
    if (const auto folder = m_actions.folderLocation(row)) {
        m_openUrl(QUrl::fromLocalFile(*folder));
    }
}

void MainWindow::backupSecurityToken()
{
    const int row = selectedRow();
    if (row < 0) {
        m_prompter.messageBox(drives::kMsgNoDriveSelected, {}, Buttons::OK, Icon::Error);
        return;
    }
    const auto name = m_actions.tokenBackupName(row);
    if (!name) {
        return;
    }
    QFileDialog dialog(this, withoutMnemonic(text::BackupSecurityToken), QDir::home().filePath(*name),
                       appText(text::TokenExportFilter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("xml"));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        m_actions.backupToken(row, dialog.selectedFiles().front());
    }
}

void MainWindow::checkSelected()
{
    const int row = selectedRow();
    const auto entry = m_model.entry(row);
    if (!entry) {
        m_prompter.messageBox(drives::kMsgNoDriveSelected, {}, Buttons::OK, Icon::Error);
        return;
    }
    if (m_checkRunning) {
        return;
    }
    m_checkRunning = true;
    showStatus(appText(text::CheckingDrive, {entry->letter}));
    m_progress->show();
    using Outcome = std::optional<DriveCheckOutcome>;
    auto* watcher = new QFutureWatcher<Outcome>(this);
    connect(watcher, &QFutureWatcher<Outcome>::finished, this, [this, watcher] {
        m_checkRunning = false;
        if (m_running == 0) {
            m_progress->hide();
            m_statusText->clear();
        }
        const Outcome outcome = watcher->result();
        watcher->deleteLater();
        if (outcome) {
            DriveCheckDialog dialog(*outcome, this);
            dialog.exec();
        }
    });
    watcher->setFuture(QtConcurrent::run([this, row] { return m_actions.checkDrive(row); }));
}

QMenu* MainWindow::createDriveMenu()
{
    const auto entry = m_model.entry(selectedRow());
    const bool mounted = entry && entry->state == MountState::Mounted;
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("driveMenu"));
    QAction* open = menu->addAction(appText(text::OpenInFileManager), this, &MainWindow::openSelected);
    open->setObjectName(QStringLiteral("actionOpen"));
    open->setEnabled(mounted);
    QAction* mount = menu->addAction(appText(mounted ? text::UnmountDrive : text::MountDrive), this,
                                     &MainWindow::mountSelected);
    mount->setObjectName(QStringLiteral("actionMount"));
    mount->setEnabled(m_mountButton->isEnabled());
    QAction* edit =
        menu->addAction(appText(text::EditDrive), this, [this] { openCommand(Command::EditDrive); });
    edit->setObjectName(QStringLiteral("actionEdit"));
    edit->setEnabled(m_editButton->isEnabled());
    QAction* remove = menu->addAction(appText(text::DeleteDrive), this, &MainWindow::deleteSelected);
    remove->setObjectName(QStringLiteral("actionDelete"));
    remove->setEnabled(m_deleteButton->isEnabled());
    QMenu* advanced = menu->addMenu(appText(text::AdvancedOptions));
    advanced->addAction(withoutMnemonic(text::BackupSecurityToken), this, &MainWindow::backupSecurityToken)
        ->setObjectName(QStringLiteral("actionBackup"));
    advanced->addAction(appText(text::OpenFolderLocation), this, &MainWindow::openFolderLocation)
        ->setObjectName(QStringLiteral("actionFolder"));
    QAction* check = advanced->addAction(appText(text::CheckDrive), this, &MainWindow::checkSelected);
    check->setObjectName(QStringLiteral("actionCheck"));
    check->setEnabled(entry.has_value() && !m_checkRunning);
    return menu;
}

void MainWindow::showContextMenu(const QPoint& position)
{
    const QModelIndex index = m_list->indexAt(position);
    if (!index.isValid()) {
        QMenu menu(this);
        menu.addAction(appText(text::ExitKestrava), this, &MainWindow::exitRequested);
        menu.exec(m_list->viewport()->mapToGlobal(position));
        return;
    }
    m_list->selectRow(index.row());
    QMenu* menu = createDriveMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(m_list->viewport()->mapToGlobal(position));
}

void MainWindow::showAtStart(bool minimized)
{
    if (!minimized) {
        show();
        return;
    }
    if (m_tray != nullptr) {
        m_inTray = true; // hidden from the start, without the balloon
    } else {
        showMinimized();
    }
}

void MainWindow::hideToTray(bool withBalloon)
{
    if (m_tray == nullptr) {
        showMinimized();
        return;
    }
    hide();
    if (!m_inTray && withBalloon) {
        m_tray->showMessage(appText(text::Caption), appText(text::MinimizedBalloon),
                            QSystemTrayIcon::Information, kTrayBalloonMs);
        ++m_trayBalloons;
    }
    m_inTray = true;
}

void MainWindow::minimizeToTray()
{
    hideToTray(true);
}

void MainWindow::restoreFromTray()
{
    if (m_initialising) {
        return;
    }
    m_inTray = false;
    showNormal();
    raise();
    activateWindow();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    hideToTray(true);
}

void MainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && m_tray != nullptr && isVisible()) {
        // The caption's minimise button also goes to the tray.
        QTimer::singleShot(0, this, [this] {
            setWindowState(windowState() & ~Qt::WindowMinimized);
            hideToTray(true);
        });
    }
}

} // namespace kestrava::gui
