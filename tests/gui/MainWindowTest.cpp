// The main window over sample rows: the six columns with their texts and icons, the commands
// each row state leads to, the tray, and hiding instead of closing.
#include "gui/MainWindow.h"

#include "gui/AppText.h"
#include "gui/DriveTableModel.h"
#include "gui/GuiTestSupport.h"
#include "gui/Icons.h"
#include "gui/QtPrompter.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTableView>
#include <QTest>
#include <memory>

using namespace kestrava;
using namespace kestrava::gui;

namespace {

bool sameImage(const QIcon& a, const QIcon& b)
{
    return a.pixmap(16, 16).toImage() == b.pixmap(16, 16).toImage();
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_rows = std::make_unique<drives::DriveListModel>();
        test::addSampleRows(*m_rows);
        m_model = std::make_unique<DriveTableModel>(*m_rows);
        m_actions = std::make_unique<test::RecordingActions>();
        m_prompter = std::make_unique<QtPrompter>();
    }

    void cleanup()
    {
        m_window.reset();
        m_model.reset();
    }

    void columnsShowEveryRowState()
    {
        QCOMPARE(m_model->columnCount(), 6);
        const QStringList headers = {appText(177),  appText(178),  appText(179),
                                     appText(1215), appText(1216), appText(1217)};
        for (int c = 0; c < 6; ++c) {
            QCOMPARE(m_model->headerData(c, Qt::Horizontal).toString(), headers[c]);
        }
        const auto cell = [this](int row, int column) {
            return m_model->index(row, column).data().toString();
        };
        QCOMPARE(cell(0, 0), QStringLiteral("K:"));
        QCOMPARE(cell(0, 3), QStringLiteral("Yes"));
        QCOMPARE(cell(0, 5), QStringLiteral("Yes")); // password not remembered
        QCOMPARE(cell(1, 3), QStringLiteral("No"));
        QCOMPARE(cell(1, 4), QStringLiteral("Yes"));
        QCOMPARE(cell(1, 5), QStringLiteral("No"));
        QCOMPARE(cell(2, 2), QStringLiteral("<Path does not exist!> /media/usb/photos"));
        QCOMPARE(cell(2, 3), QStringLiteral("Error!"));
        QCOMPARE(m_model->entry(2)->folder, QStringLiteral("/media/usb/photos"));
        QCOMPARE(m_model->entry(2)->state, MountState::FolderMissing);
    }

    void iconsFollowCloudClientAndState()
    {
        const auto decoration = [this](int row, int column) {
            return m_model->index(row, column).data(Qt::DecorationRole).value<QIcon>();
        };
        QVERIFY(sameImage(decoration(0, 0), cloudIcon(1)));
        QVERIFY(sameImage(decoration(1, 0), cloudIcon(0)));
        QVERIFY(sameImage(decoration(2, 0), cloudIcon(3)));
        QVERIFY(!sameImage(cloudIcon(1), cloudIcon(3)));
        QVERIFY(sameImage(decoration(0, 3), mountStateIcon(MountState::Mounted)));
        QVERIFY(sameImage(decoration(2, 3), mountStateIcon(MountState::FolderMissing)));
        QVERIFY(!sameImage(mountStateIcon(MountState::Mounted), mountStateIcon(MountState::NotMounted)));
    }

    void changesFromAWorkerReachTheView()
    {
        std::thread worker([this] {
            auto row = *m_rows->row(1);
            row.mounted = drives::MountState::Mounted;
            m_rows->updateRow(1, row);
            m_rows->addRow({"Q:", "New", "/x", drives::MountState::NotMounted, false, false, 0});
        });
        worker.join();
        QTRY_COMPARE(m_model->rowCount(), 4);
        QCOMPARE(m_model->entry(1)->state, MountState::Mounted);
        QCOMPARE(m_model->mountedLetters(), (QStringList{"K:", "M:"}));
    }

    void mountButtonAndMenuFollowTheSelection()
    {
        makeWindow(false);
        auto* mount = m_window->findChild<QPushButton*>(QStringLiteral("mountButton"));
        m_window->driveList()->selectRow(0);
        QCOMPARE(mount->text(), appText(1307));
        std::unique_ptr<QMenu> menu(m_window->createDriveMenu());
        QVERIFY(menu->findChild<QAction*>(QStringLiteral("actionOpen"))->isEnabled());
        m_window->driveList()->selectRow(1);
        QCOMPARE(mount->text(), appText(1306));
        menu.reset(m_window->createDriveMenu());
        QVERIFY(!menu->findChild<QAction*>(QStringLiteral("actionOpen"))->isEnabled());
        QCOMPARE(menu->findChild<QAction*>(QStringLiteral("actionMount"))->text(), appText(1306));
    }

    void openingARowDependsOnItsState()
    {
        makeWindow(false);
        QList<QUrl> opened;
        m_window->setUrlOpener([&](const QUrl& url) {
            opened << url;
            return true;
        });
        // Mounted: the mount point opens in the file manager.
        m_window->driveList()->selectRow(0);
        m_window->openSelected();
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/mnt/kestrava/row0"))});
        // Not mounted: the mount command runs on a worker.
        m_window->driveList()->selectRow(1);
        m_window->openSelected();
        QTRY_COMPARE(m_actions->calls(), std::vector<std::string>{"mount 1"});
        QTRY_COMPARE(m_window->runningCommands(), 0);
        // Folder gone: the error message, nothing opened or run.
        m_window->driveList()->selectRow(2);
        QString shown;
        test::whenModalShown([&](QWidget* modal) {
            shown = modal->objectName();
            static_cast<QMessageBox*>(modal)->accept();
        });
        m_window->openSelected();
        QCOMPARE(shown, QStringLiteral("messageBox1204"));
        QCOMPARE(opened.size(), 1);
        QCOMPARE(m_actions->calls().size(), std::size_t(1));
    }

    void aRunningCommandDisablesItsButton()
    {
        makeWindow(false);
        auto* refresh = m_window->findChild<QPushButton*>(QStringLiteral("refreshButton"));
        m_window->startRefresh();
        QVERIFY(!refresh->isEnabled());
        m_window->startRefresh(); // ignored while the first runs
        QTRY_VERIFY(refresh->isEnabled());
        QCOMPARE(m_actions->calls(), std::vector<std::string>{"refresh"});
    }

    void windowsOfLaterRoundsStayDisabledUntilConnected()
    {
        makeWindow(false);
        auto* edit = m_window->findChild<QPushButton*>(QStringLiteral("editButton"));
        QVERIFY(!edit->isEnabled());
        int opened = 0;
        m_window->setCommandHandler(MainWindow::Command::EditDrive, [&] { ++opened; });
        QVERIFY(edit->isEnabled());
        edit->click();
        QCOMPARE(opened, 1);
    }

    void closingHidesToTheTrayWithItsBalloonEachTime()
    {
        makeWindow(true);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->close();
        QVERIFY(!m_window->isVisible());
        QVERIFY(m_window->isInTray());
        QCOMPARE(m_window->trayBalloonsShown(), 1);
        m_window->minimizeToTray(); // already there: no second balloon
        QCOMPARE(m_window->trayBalloonsShown(), 1);
        m_window->restoreFromTray();
        QVERIFY(m_window->isVisible());
        QVERIFY(!m_window->isInTray());
        m_window->findChild<QPushButton*>(QStringLiteral("trayButton"))->click();
        QVERIFY(!m_window->isVisible());
        QCOMPARE(m_window->trayBalloonsShown(), 2);
    }

    void withoutTrayClosingMinimises()
    {
        makeWindow(false);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->close();
        QVERIFY(m_window->isVisible());
        QVERIFY(m_window->isMinimized());
    }

    void minimisedStartStaysHidden()
    {
        makeWindow(true);
        m_window->showAtStart(true);
        QVERIFY(!m_window->isVisible());
        QVERIFY(m_window->isInTray());
        QCOMPARE(m_window->trayBalloonsShown(), 0);
        // A request to show while initialising is ignored; afterwards it shows the window.
        m_window->setInitialising(true);
        m_window->restoreFromTray();
        QVERIFY(!m_window->isVisible());
        m_window->setInitialising(false);
        m_window->restoreFromTray();
        QVERIFY(m_window->isVisible());
    }

    void trayTooltipListsMountedDrives()
    {
        makeWindow(true);
        QVERIFY(m_window->trayToolTip().contains(QStringLiteral("(Mounted Drives: K:)")));
        QCOMPARE(m_window->trayIcon()->toolTip(), m_window->trayToolTip());
        auto row = *m_rows->row(0);
        row.mounted = drives::MountState::NotMounted;
        m_rows->updateRow(0, row);
        QTRY_VERIFY(m_window->trayIcon()->toolTip().endsWith(QStringLiteral(" - Not Active")));
    }

    void windowHasItsMinimumSizeAndAccessibleNames()
    {
        makeWindow(false);
        QCOMPARE(m_window->minimumSize(), QSize(573, 250));
        for (QPushButton* button : m_window->findChildren<QPushButton*>()) {
            QVERIFY2(!button->accessibleName().isEmpty(), qPrintable(button->objectName()));
            QVERIFY2(button->text().contains(QLatin1Char('&')), qPrintable(button->objectName()));
        }
        QVERIFY(!m_window->driveList()->accessibleName().isEmpty());
    }

private:
    void makeWindow(bool tray)
    {
        m_window = std::make_unique<MainWindow>(*m_model, *m_actions, *m_prompter, tray);
        m_prompter->setMainWindow(m_window.get());
    }

    std::unique_ptr<drives::DriveListModel> m_rows;
    std::unique_ptr<DriveTableModel> m_model;
    std::unique_ptr<test::RecordingActions> m_actions;
    std::unique_ptr<QtPrompter> m_prompter;
    std::unique_ptr<MainWindow> m_window;
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
