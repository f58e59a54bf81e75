// The drive editing dialog: what it shows of the drive, the fields reaching the edit, the
// password fields' rules and markers.
#include "gui/EditDriveDialog.h"

#include "DriveDialogFixture.h"
#include "core/drives/DriveMessages.h"
#include "core/drives/EditDriveFlow.h"
#include "core/drives/MountFlow.h"
#include "gui/DialogParts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace kestrava;
using namespace kestrava::gui;
using namespace kestrava::gui::test;

class EditDriveDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_box = std::make_unique<DriveDialogSandbox>();
        m_folder = m_box->root() / "vault";
        m_box->makeToken(m_folder);
        settings::DriveRecord record;
        record.label = "Work";
        record.folder = m_folder.string();
        record.letter = "K:";
        record.automount = 1;
        token::DriveContext context;
        record.pwd = context.ProtectPassword(hashStr(kPassword));
        QVERIFY(m_box->settings.Adv_SaveDriveInfo(record));
        for (const auto& row : drives::listDriveRows(m_box->settings, m_box->host)) {
            m_box->rows.addRow(row);
        }
        auto session = drives::beginDriveEdit(m_box->services, 0);
        QVERIFY(session);
        m_session = std::move(*session);
    }

    void cleanup()
    {
        m_session.close();
        m_box.reset();
    }

    void showsTheDriveAndOkSavesTheFields()
    {
        EditDriveDialog dialog(m_box->services, m_session);
        dialog.show();
        QCOMPARE(dialog.folderField()->text(), QString::fromStdString(m_folder.string()));
        QVERIFY(dialog.folderField()->isReadOnly());
        QCOMPARE(dialog.letterList()->currentText(), QStringLiteral("K:"));
        QCOMPARE(dialog.labelField()->text(), QStringLiteral("Work"));
        QVERIFY(dialog.autoMountBox()->isChecked());
        QVERIFY(dialog.rememberBox()->isChecked());

        dialog.labelField()->setText(QStringLiteral("Projects"));
        dialog.letterList()->setCurrentText(QStringLiteral("P:"));
        dialog.autoMountBox()->setChecked(false);
        dialog.longNamesBox()->setChecked(!dialog.longNamesBox()->isChecked());
        const bool longNames = dialog.longNamesBox()->isChecked();
        dialog.okButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.running(), 30000);

        QCOMPARE(dialog.outcome(), std::optional(drives::EditOutcome::Saved));
        QVERIFY(!dialog.isVisible());
        const auto record = m_box->settings.driveRecords()->front();
        QCOMPARE(record.label, std::string("Projects"));
        QCOMPARE(record.letter, std::string("P:"));
        QCOMPARE(record.automount, 0);
        QCOMPARE(DriveDialogSandbox::unlocked(m_folder)->options().longFileNames, longNames);
    }

    void passwordFieldsFollowTheirBoxAndCaseFollowsNameEncryption()
    {
        EditDriveDialog dialog(m_box->services, m_session);
        dialog.show();
        for (QLineEdit* field :
             {dialog.currentPasswordField(), dialog.newPasswordField(), dialog.confirmationField()}) {
            QVERIFY(!field->isEnabled());
        }
        QCOMPARE(dialog.currentPasswordField()->placeholderText(), appText(8));
        dialog.changePasswordBox()->setChecked(true);
        for (QLineEdit* field :
             {dialog.currentPasswordField(), dialog.newPasswordField(), dialog.confirmationField()}) {
            QVERIFY(field->isEnabled());
        }
        dialog.nameEncryptionBox()->setChecked(false);
        QVERIFY(!dialog.caseInsensitiveBox()->isEnabled());
        dialog.nameEncryptionBox()->setChecked(true);
        QVERIFY(dialog.caseInsensitiveBox()->isEnabled());
    }

    void refusedPasswordsAreMarkedAndARightOneIsChanged()
    {
        EditDriveDialog dialog(m_box->services, m_session);
        dialog.show();
        dialog.changePasswordBox()->setChecked(true);
        dialog.currentPasswordField()->setText(QStringLiteral("not the password"));
        dialog.newPasswordField()->setText(QStringLiteral("n3w-Secret"));
        dialog.confirmationField()->setText(QStringLiteral("n3w-Secret"));
        ok(dialog);
        QCOMPARE(m_box->boxes.last(), drives::kMsgIncorrectPassword);
        QCOMPARE(markOf(dialog.currentMark()), Mark::Failure);
        QCOMPARE(markOf(dialog.confirmationMark()), Mark::None);
        QVERIFY(dialog.isVisible());

        dialog.currentPasswordField()->setText(QString::fromUtf8(kPassword));
        dialog.confirmationField()->setText(QStringLiteral("n3w-Secrex"));
        ok(dialog);
        QCOMPARE(m_box->boxes.last(), 47);
        QCOMPARE(markOf(dialog.currentMark()), Mark::None);
        QCOMPARE(markOf(dialog.confirmationMark()), Mark::Failure);
        QVERIFY2(DriveDialogSandbox::unlocked(m_folder), "nothing changed yet");

        dialog.confirmationField()->setText(QStringLiteral("n3w-Secret"));
        ok(dialog);
        QVERIFY(!dialog.isVisible());
        QVERIFY(DriveDialogSandbox::unlocked(m_folder, "n3w-Secret"));
        QVERIFY(!DriveDialogSandbox::unlocked(m_folder));
    }

private:
    static void ok(EditDriveDialog& dialog)
    {
        dialog.okButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.running(), 30000);
    }

    std::unique_ptr<DriveDialogSandbox> m_box;
    std::filesystem::path m_folder;
    drives::EditSession m_session;
};

QTEST_MAIN(EditDriveDialogTest)
#include "EditDriveDialogTest.moc"
