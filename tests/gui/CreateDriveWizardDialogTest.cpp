// The new-drive wizard's window: page order, Back and Next, the fields reaching the page
// machine, the password mark, the finish page, and the ways out to the other windows.
#include "gui/CreateDriveWizardDialog.h"

#include "DriveDialogFixture.h"
#include "GuiTestSupport.h"
#include "core/drives/DriveMessages.h"
#include "gui/CreateDriveDialog.h"
#include "gui/DialogParts.h"
#include "gui/DriveDialogs.h"
#include "gui/DriveTableModel.h"
#include "gui/FormatChoice.h"
#include "gui/MainWindow.h"
#include "gui/RecoverDriveDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace kestrava;
using namespace kestrava::gui;
using namespace kestrava::gui::test;

namespace {

constexpr int kLocalFolderButton = 5;

} // namespace

class CreateDriveWizardDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_box = std::make_unique<DriveDialogSandbox>(); }
    void cleanup() { m_box.reset(); }

    void pagesInOrderWithBackAndNext()
    {
        CreateDriveWizardDialog wizard(m_box->services, m_box->traces);
        std::vector<QUrl> opened;
        wizard.setUrlOpener([&](const QUrl& url) {
            opened.push_back(url);
            return true;
        });
        QVERIFY(wizard.start());
        wizard.show();
        QCOMPARE(wizard.page(), 1);
        QCOMPARE(wizard.windowTitle(), appText(241));
        QVERIFY2(!wizard.nextButton()->isEnabled(), "until a choice is clicked");
        QVERIFY(!wizard.backButton()->isEnabled());
        QVERIFY(wizard.advancedButton()->isVisible());
        wizard.createChoice()->click();
        QVERIFY(wizard.nextButton()->isEnabled());
        next(wizard);
        QCOMPARE(wizard.page(), 2);
        QCOMPARE(wizard.windowTitle(), appText(192));
        QCOMPARE(wizard.headingLabel()->text(), appText(133));
        QVERIFY(!wizard.advancedButton()->isVisible());
        QVERIFY(wizard.backButton()->isEnabled());
        wizard.backButton()->click();
        QCOMPARE(wizard.page(), 1);
        next(wizard);
        QCOMPARE(wizard.page(), 2);

        wizard.locationButton(kLocalFolderButton)->click();
        QCOMPARE(wizard.folderField()->text(), QString::fromStdString((m_box->home() / "Kestrava").string()));
        QCOMPARE(wizard.labelField()->text(), QStringLiteral("Kestrava"));
        QTest::keyClicks(wizard.labelField(), QStringLiteral(" Two"));
        next(wizard); // the folder is created after question 51 (answered OK)
        QCOMPARE(m_box->boxes.seen(), std::vector<int>{drives::kMsgCreateFolder});
        QCOMPARE(wizard.page(), 3);

        wizard.passwordField()->setText(QStringLiteral("abcdef"));
        wizard.confirmationField()->setText(QStringLiteral("abcdeg"));
        QCOMPARE(markOf(wizard.passwordMark()), Mark::None);
        next(wizard);
        QCOMPARE(m_box->boxes.last(), 47);
        QCOMPARE(wizard.page(), 3);
        QCOMPARE(markOf(wizard.passwordMark()), Mark::Failure);
        wizard.passwordField()->setText(QString::fromUtf8(kPassword));
        wizard.confirmationField()->setText(QString::fromUtf8(kPassword));
        QCOMPARE(markOf(wizard.passwordMark()), Mark::Success);
        next(wizard);
        QCOMPARE(wizard.page(), 4);
        QCOMPARE(wizard.nextButton()->text(), appText(2));
        QVERIFY(wizard.autoMountBox()->isChecked());
        QVERIFY(wizard.longNamesBox()->isChecked());
        wizard.backButton()->click();
        QCOMPARE(wizard.page(), 3);
        next(wizard);
        wizard.letterList()->setCurrentText(QStringLiteral("Q:"));
        wizard.longNamesBox()->setChecked(false);
        QVERIFY(wizard.formatChoice()->isVisible());
        wizard.formatChoice()->setFormat(token::DriveFormat::Hardened);
        QCOMPARE(wizard.formatChoice()->meaning()->text(), appText(1404));
        next(wizard);

        QCOMPARE(wizard.page(), 5);
        QCOMPARE(wizard.textLabel()->text(), appText(138));
        QCOMPARE(wizard.finishLetterLine()->text(), appText(224) + QStringLiteral("  Q"));
        QVERIFY(!wizard.backButton()->isVisible());
        QVERIFY(!wizard.cancelButton()->isVisible());
        QCOMPARE(wizard.nextButton()->text(), appText(132));
        QVERIFY(m_box->host.mounts.count("Q:") == 1);
        const auto records = m_box->settings.driveRecords();
        QVERIFY(records && records->size() == 1);
        QCOMPARE(records->front().label, std::string("Kestrava Two"));
        const auto token = DriveDialogSandbox::unlocked(m_box->home() / "Kestrava");
        QVERIFY(token);
        QVERIFY(!token->options().longFileNames);
        QCOMPARE(token->format, token::DriveFormat::Hardened);

        wizard.nextButton()->click();
        QVERIFY(!wizard.isVisible());
        QCOMPARE(opened.size(), std::size_t{1});
        QCOMPARE(opened.front().toLocalFile(),
                 QString::fromStdString((m_box->root() / "mnt" / "Q").string()));
    }

    void providersWithoutTheirClientAreDisabled()
    {
        CreateDriveWizardDialog wizard(m_box->services, m_box->traces);
        QVERIFY(wizard.start());
        for (int i = 0; i < kLocalFolderButton; ++i) {
            QVERIFY(!wizard.locationButton(i)->isEnabled());
            QCOMPARE(wizard.locationButton(i)->toolTip(), appText(318));
        }
        QVERIFY(wizard.locationButton(kLocalFolderButton)->isEnabled());
    }

    void finishPageSaysWhenTheDriveIsListedButNotMounted()
    {
        m_box->host.failNextMount = host::MountResult{host::MountOutcome::LetterInUse, "taken"};
        const auto folder = m_box->root() / "vault";
        std::filesystem::create_directories(folder);
        CreateDriveWizardDialog wizard(m_box->services, m_box->traces);
        bool opened = false;
        wizard.setUrlOpener([&](const QUrl&) { return opened = true; });
        QVERIFY(wizard.start());
        wizard.show();
        wizard.createChoice()->click();
        next(wizard);
        QTest::keyClicks(wizard.folderField(), QString::fromStdString(folder.string()));
        next(wizard);
        wizard.passwordField()->setText(QString::fromUtf8(kPassword));
        wizard.confirmationField()->setText(QString::fromUtf8(kPassword));
        next(wizard);
        next(wizard);
        QCOMPARE(wizard.page(), 5);
        QCOMPARE(m_box->boxes.last(), drives::kMsgAddedNotMounted);
        QCOMPARE(wizard.textLabel()->text(), appText(1461));
        QVERIFY(!wizard.openDriveBox()->isVisible());
        QCOMPARE(m_box->rows.size(), std::size_t{1});
        wizard.nextButton()->click();
        QVERIFY(!opened);
    }

    void waysOutToTheOtherWindows()
    {
        CreateDriveWizardDialog toRecovery(m_box->services, m_box->traces);
        QVERIFY(toRecovery.start());
        toRecovery.show();
        toRecovery.connectChoice()->click();
        next(toRecovery);
        QVERIFY(!toRecovery.isVisible());
        QCOMPARE(toRecovery.ending(), CreateDriveWizardDialog::Ending::OpenRecovery);

        CreateDriveWizardDialog toAdvanced(m_box->services, m_box->traces);
        QVERIFY(toAdvanced.start());
        toAdvanced.show();
        toAdvanced.advancedButton()->click();
        QCOMPARE(toAdvanced.ending(), CreateDriveWizardDialog::Ending::SwitchToAdvanced);

        CreateDriveWizardDialog fromLocation(m_box->services, m_box->traces);
        QVERIFY(fromLocation.start());
        fromLocation.show();
        fromLocation.createChoice()->click();
        next(fromLocation);
        fromLocation.recoverButton()->click();
        QCOMPARE(fromLocation.ending(), CreateDriveWizardDialog::Ending::OpenRecovery);
    }

    void newDriveLeadsFromWindowToWindow()
    {
        DriveTableModel model(m_box->rows);
        gui::test::RecordingActions actions;
        MainWindow window(model, actions, m_box->prompter, false);
        DriveDialogs dialogs(m_box->services, window, m_box->traces);
        dialogs.connectCommands();
        // Wizard, its advanced mode, back to the wizard, "connect", the restore wizard.
        std::vector<QString> opened;
        QWidget* last = nullptr;
        std::function<void(QWidget*)> step = [&](QWidget* modal) {
            if (modal == last) { // still closing after a step on its worker
                gui::test::whenModalShown(step);
                return;
            }
            last = modal;
            opened.push_back(modal->objectName());
            if (auto* wizard = qobject_cast<CreateDriveWizardDialog*>(modal)) {
                if (opened.size() == 1) {
                    wizard->advancedButton()->click();
                } else {
                    wizard->connectChoice()->click();
                    wizard->nextButton()->click();
                }
            } else if (auto* advanced = qobject_cast<CreateDriveDialog*>(modal)) {
                advanced->wizardButton()->click();
            } else {
                modal->close();
                return;
            }
            gui::test::whenModalShown(step);
        };
        gui::test::whenModalShown(step);
        window.findChild<QPushButton*>(QStringLiteral("newButton"))->click();
        QCOMPARE(opened, (std::vector<QString>{
                             QStringLiteral("createDriveWizard"), QStringLiteral("createDriveDialog"),
                             QStringLiteral("createDriveWizard"), QStringLiteral("recoverDriveDialog")}));
        QVERIFY(!dialogs.busy());
        QTRY_VERIFY(!actions.calls().empty() && actions.calls().back() == "refresh");
    }

    void noFreeLetterMeansNoWizard()
    {
        for (char c = 'A'; c <= 'Z'; ++c) {
            m_box->host.busyLetters.insert(std::string(1, c) + ":");
        }
        CreateDriveWizardDialog wizard(m_box->services, m_box->traces);
        QVERIFY(!wizard.start());
        QCOMPARE(m_box->boxes.seen(), std::vector<int>{drives::kMsgNoFreeLetters});
    }

private:
    static void next(CreateDriveWizardDialog& wizard)
    {
        wizard.nextButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!wizard.running(), 30000);
    }

    std::unique_ptr<DriveDialogSandbox> m_box;
};

QTEST_MAIN(CreateDriveWizardDialogTest)
#include "CreateDriveWizardDialogTest.moc"
