// The drive check from the drive list's context menu: run off the window's thread, its report
// shown in a dialog, and nothing shown when the drive was not unlocked.
#include "core/drives/DriveMessages.h"
#include "gui/AppText.h"
#include "gui/DriveCheckDialog.h"
#include "gui/DriveTableModel.h"
#include "gui/GuiTestSupport.h"
#include "gui/MainWindow.h"
#include "gui/QtPrompter.h"

#include <QAction>
#include <QMenu>
#include <QTableView>
#include <QTest>
#include <memory>

using namespace kestrava;
using namespace kestrava::gui;

class DriveCheckWindowTest : public QObject
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
        m_window = std::make_unique<MainWindow>(*m_model, *m_actions, *m_prompter, false);
        m_prompter->setMainWindow(m_window.get());
    }

    void cleanup()
    {
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->checkRunning(), 30000);
        m_window.reset();
        m_model.reset();
    }

    void findingsAreShownFromTheDriveMenu()
    {
        m_actions->checkOutcome =
            DriveCheckOutcome{QStringLiteral("/home/ann/private/music"),
                              {QStringLiteral("Security token missing: x"),
                               QStringLiteral("Cannot be read: /a (Input/output error)")}};
        m_window->driveList()->selectRow(1);
        std::unique_ptr<QMenu> menu(m_window->createDriveMenu());
        auto* check = menu->findChild<QAction*>(QStringLiteral("actionCheck"));
        QVERIFY(check != nullptr);
        QVERIFY(check->isEnabled());
        QCOMPARE(check->text(), appText(1433));

        Shown shown;
        expectReport(shown);
        check->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(shown.seen, 30000);
        QCOMPARE(shown.title, appText(1434));
        QCOMPARE(shown.heading,
                 appText(1436, {QStringLiteral("/home/ann/private/music"), QStringLiteral("2")}));
        QCOMPARE(shown.findings, m_actions->checkOutcome->findings);
        QCOMPARE(m_actions->calls(), std::vector<std::string>{"check 1"});
        QVERIFY(!m_actions->checkedOnGuiThread);
    }

    void aCleanDriveSaysSo()
    {
        m_actions->checkOutcome = DriveCheckOutcome{QStringLiteral("/data/k"), {}};
        m_window->driveList()->selectRow(0);
        Shown shown;
        expectReport(shown);
        m_window->checkSelected();
        QTRY_VERIFY_WITH_TIMEOUT(shown.seen, 30000);
        QCOMPARE(shown.heading, appText(1432, {QStringLiteral("/data/k")}));
        QVERIFY(shown.findings.isEmpty());
    }

    void nothingIsShownWhenTheDriveStaysLocked()
    {
        m_actions->checkOutcome.reset();
        m_window->driveList()->selectRow(1);
        m_window->checkSelected();
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->checkRunning(), 30000);
        QCoreApplication::processEvents();
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QCOMPARE(m_actions->calls(), std::vector<std::string>{"check 1"});
    }

    void aRunningCheckDisablesTheMenuItem()
    {
        m_actions->checkOutcome = DriveCheckOutcome{QStringLiteral("/data/k"), {}};
        m_actions->holdCheck = true;
        m_window->driveList()->selectRow(0);
        m_window->checkSelected();
        QVERIFY(m_window->checkRunning());
        m_window->checkSelected(); // ignored while the first runs
        std::unique_ptr<QMenu> menu(m_window->createDriveMenu());
        QVERIFY(!menu->findChild<QAction*>(QStringLiteral("actionCheck"))->isEnabled());
        Shown shown;
        expectReport(shown);
        m_actions->holdCheck = false;
        QTRY_VERIFY_WITH_TIMEOUT(shown.seen, 30000);
        QCOMPARE(m_actions->calls(), std::vector<std::string>{"check 0"});
    }

    void withoutSelectionTheUserIsTold()
    {
        m_window->driveList()->clearSelection();
        QString shown;
        test::whenModalShown([&](QWidget* modal) {
            shown = modal->objectName();
            static_cast<QMessageBox*>(modal)->accept();
        });
        m_window->checkSelected();
        QCOMPARE(shown, QStringLiteral("messageBox%1").arg(drives::kMsgNoDriveSelected));
        QVERIFY(m_actions->calls().empty());
    }

private:
    struct Shown
    {
        bool seen = false;
        QString title;
        QString heading;
        QStringList findings;
    };

    static void expectReport(Shown& shown)
    {
        test::whenModalShown([&shown](QWidget* modal) {
            auto* dialog = qobject_cast<DriveCheckDialog*>(modal);
            if (dialog == nullptr) {
                return;
            }
            shown.title = dialog->windowTitle();
            shown.heading = dialog->heading();
            shown.findings = dialog->findings();
            shown.seen = true;
            dialog->accept();
        });
    }

    std::unique_ptr<drives::DriveListModel> m_rows;
    std::unique_ptr<DriveTableModel> m_model;
    std::unique_ptr<test::RecordingActions> m_actions;
    std::unique_ptr<QtPrompter> m_prompter;
    std::unique_ptr<MainWindow> m_window;
};

QTEST_MAIN(DriveCheckWindowTest)
#include "DriveCheckWindowTest.moc"
