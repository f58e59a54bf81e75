// The restore wizard: the folder check's choices and balloons, the backup choice and its mark,
// the password balloon, and a recovery from the fields.
#include "gui/RecoverDriveDialog.h"

#include "DriveDialogFixture.h"
#include "core/drives/DriveMessages.h"
#include "gui/Balloon.h"
#include "gui/DialogParts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <fstream>

using namespace kestrava;
using namespace kestrava::gui;
using namespace kestrava::gui::test;

class RecoverDriveDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_box = std::make_unique<DriveDialogSandbox>(); }
    void cleanup() { m_box.reset(); }

    void folderWithATokenIsRecoveredWithItsPassword()
    {
        const auto folder = m_box->root() / "synced";
        const auto key = m_box->makeToken(folder);
        RecoverDriveDialog dialog(m_box->services, m_box->traces);
        QVERIFY(dialog.start());
        dialog.show();
        QVERIFY(!dialog.folderTokenChoice()->isEnabled());
        QVERIFY(!dialog.backupChoice()->isEnabled());
        QCOMPARE(dialog.letterList()->currentText(), QStringLiteral("Z:"));

        QVERIFY(dialog.chooseFolder(QString::fromStdString(folder.string())));
        QCOMPARE(dialog.folderField()->text(), QString::fromStdString(folder.string()));
        QVERIFY(dialog.folderTokenChoice()->isEnabled() && dialog.folderTokenChoice()->isChecked());
        QVERIFY(dialog.backupChoice()->isEnabled());
        const Balloon* found = Balloon::shownFor(&dialog);
        QVERIFY(found != nullptr);
        QCOMPARE(found->field(), dialog.folderTokenChoice());
        QCOMPARE(found->title(), appText(drives::kMsgTokenFoundTitle));

        dialog.passwordField()->setText(QStringLiteral("not the password"));
        ok(dialog);
        QVERIFY(dialog.isVisible());
        QCOMPARE(markOf(dialog.passwordMark()), Mark::Failure);
        const Balloon* wrong = Balloon::shownFor(&dialog);
        QVERIFY(wrong != nullptr);
        QCOMPARE(wrong->field(), dialog.passwordField());
        QCOMPARE(wrong->title(), appText(drives::kMsgIncorrectPassword));
        QVERIFY(!m_box->settings.exists());

        dialog.passwordField()->setText(QString::fromUtf8(kPassword));
        dialog.letterList()->setCurrentText(QStringLiteral("R:"));
        dialog.labelField()->setText(QStringLiteral("Synced"));
        dialog.rememberBox()->setChecked(false);
        ok(dialog);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.outcome(), std::optional(drives::RecoverOutcome::Recovered));
        QCOMPARE(m_box->boxes.last(), drives::kMsgRecovered);
        QVERIFY(m_box->host.mounts.at("R:").masterKey == key);
        const auto record = m_box->settings.driveRecords()->front();
        QCOMPARE(record.label, std::string("Synced"));
        QVERIFY(record.pwd.empty());
    }

    void folderWithoutATokenOffersOnlyTheBackup()
    {
        const auto folder = m_box->root() / "empty";
        std::filesystem::create_directories(folder);
        const auto backup = m_box->root() / "backup";
        m_box->makeToken(backup);
        RecoverDriveDialog dialog(m_box->services, m_box->traces);
        QVERIFY(dialog.start());
        dialog.show();
        QVERIFY(dialog.chooseFolder(QString::fromStdString(folder.string())));
        QVERIFY(!dialog.folderTokenChoice()->isEnabled());
        QVERIFY(dialog.backupChoice()->isEnabled());
        const Balloon* loaded = Balloon::shownFor(&dialog);
        QVERIFY(loaded != nullptr);
        QCOMPARE(loaded->field(), dialog.backupChoice());
        QCOMPARE(loaded->title(), appText(drives::kMsgFolderLoadedTitle));
        QCOMPARE(loaded->text(), appText(drives::kMsgUseBackupText));

        const auto garbage = m_box->root() / "garbage.xml";
        std::ofstream(garbage) << "not a token";
        QVERIFY(!dialog.chooseBackupFile(QString::fromStdString(garbage.string())));
        QCOMPARE(m_box->boxes.last(), drives::kMsgImportReadFailed);
        QCOMPARE(markOf(dialog.backupMark()), Mark::Failure);
        QVERIFY(!dialog.backupChoice()->isChecked());

        QVERIFY(dialog.chooseBackupFile(QString::fromStdString(token::tokenPathFor(backup).string())));
        QCOMPARE(markOf(dialog.backupMark()), Mark::Success);
        QVERIFY(dialog.backupChoice()->isChecked());
        dialog.passwordField()->setText(QString::fromUtf8(kPassword));
        ok(dialog);
        QCOMPARE(dialog.outcome(), std::optional(drives::RecoverOutcome::Recovered));
        QVERIFY2(std::filesystem::exists(token::tokenPathFor(folder)), "the backup was copied in");
    }

    void providersWithoutTheirClientAreDisabled()
    {
        RecoverDriveDialog dialog(m_box->services, m_box->traces);
        QVERIFY(dialog.start());
        for (int i = 0; i < 5; ++i) {
            QVERIFY(!dialog.locationButton(i)->isEnabled());
            QCOMPARE(dialog.locationButton(i)->toolTip(), appText(drives::kMsgInstallClient));
        }
        QVERIFY(dialog.locationButton(5)->isEnabled());
    }

    void noFreeLetterMeansNoDialog()
    {
        for (char c = 'A'; c <= 'Z'; ++c) {
            m_box->host.busyLetters.insert(std::string(1, c) + ":");
        }
        RecoverDriveDialog dialog(m_box->services, m_box->traces);
        QVERIFY(!dialog.start());
        QCOMPARE(m_box->boxes.seen(), std::vector<int>{drives::kMsgNoFreeLetters});
    }

private:
    static void ok(RecoverDriveDialog& dialog)
    {
        dialog.okButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.running(), 30000);
    }

    std::unique_ptr<DriveDialogSandbox> m_box;
};

QTEST_MAIN(RecoverDriveDialogTest)
#include "RecoverDriveDialogTest.moc"
