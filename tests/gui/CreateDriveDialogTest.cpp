// The advanced creation dialog: its fields reach the creation flow, its enablement rules, the
// location menu, an imported token, and the busy state while a flow runs.
#include "gui/CreateDriveDialog.h"

#include "DriveDialogFixture.h"
#include "core/crypto/Base64Url.h"
#include "core/drives/DriveMessages.h"
#include "gui/DialogParts.h"
#include "gui/FormatChoice.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <fstream>

using namespace kestrava;
using namespace kestrava::gui;
using namespace kestrava::gui::test;

namespace {

constexpr int kMsgForgetPassword = 142;
constexpr int kMsgImported = 31;

void fillPasswords(CreateDriveDialog& dialog, const QString& password, const QString& confirmation)
{
    dialog.passwordField()->setText(password);
    dialog.confirmationField()->setText(confirmation);
}

} // namespace

class CreateDriveDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_box = std::make_unique<DriveDialogSandbox>(); }
    void cleanup() { m_box.reset(); }

    void okCreatesTheDriveFromTheFields()
    {
        const auto folder = m_box->root() / "vault";
        std::filesystem::create_directories(folder);
        CreateDriveDialog dialog(m_box->services, m_box->traces);
        dialog.show();
        QCOMPARE(dialog.letterList()->currentText(), QStringLiteral("Z:"));
        QCOMPARE(dialog.labelField()->text(), QStringLiteral("Kestrava"));
        dialog.folderField()->setText(QString::fromStdString(folder.string()));
        dialog.labelField()->setText(QStringLiteral("Papers"));
        dialog.letterList()->setCurrentText(QStringLiteral("M:"));
        dialog.longNamesBox()->setChecked(false);
        dialog.autoMountBox()->setChecked(false);
        fillPasswords(dialog, QString::fromUtf8(kPassword), QString::fromUtf8(kPassword));
        QVERIFY(dialog.strengthBar()->format().startsWith(appText(41)));

        dialog.okButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.running(), 30000);

        QCOMPARE(dialog.outcome(), std::optional(drives::CreateOutcome::Created));
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(m_box->boxes.seen(), std::vector<int>{drives::kMsgDriveAdded});
        QVERIFY(m_box->host.mounts.count("M:") == 1);
        const auto records = m_box->settings.driveRecords();
        QVERIFY(records && records->size() == 1);
        QCOMPARE(records->front().label, std::string("Papers"));
        QCOMPARE(records->front().folder, folder.string());
        QCOMPARE(records->front().automount, 0);
        QVERIFY(!records->front().pwd.empty());
        const auto token = DriveDialogSandbox::unlocked(folder);
        QVERIFY(token);
        QVERIFY(!token->options().longFileNames);
        QVERIFY(token->options().fileNameEncryption);
        QVERIFY(m_box->host.mounts.at("M:").masterKey == token->masterKey());
    }

    void hardenedChoiceSaysWhatItMeansAndWritesAHardenedToken()
    {
        const auto folder = m_box->root() / "hardened";
        std::filesystem::create_directories(folder);
        CreateDriveDialog dialog(m_box->services, m_box->traces);
        dialog.show();
        FormatChoice* choice = dialog.formatChoice();
        QVERIFY(choice->isVisible());
        QCOMPARE(choice->format(), token::DriveFormat::Compatible);
        QCOMPARE(choice->meaning()->text(), appText(1403));
        choice->box()->setCurrentIndex(choice->box()->findText(appText(1402)));
        QCOMPARE(choice->meaning()->text(), appText(1404));

        dialog.folderField()->setText(QString::fromStdString(folder.string()));
        fillPasswords(dialog, QString::fromUtf8(kPassword), QString::fromUtf8(kPassword));
        dialog.okButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.running(), 60000);
        QCOMPARE(dialog.outcome(), std::optional(drives::CreateOutcome::Created));
        const auto token = DriveDialogSandbox::unlocked(folder);
        QVERIFY(token);
        QCOMPARE(token->format, token::DriveFormat::Hardened);
    }

    void caseBoxFollowsNameEncryptionAndCountsOnlyWithIt()
    {
        const auto folder = m_box->root() / "plain";
        std::filesystem::create_directories(folder);
        CreateDriveDialog dialog(m_box->services, m_box->traces);
        dialog.show();
        QVERIFY(dialog.nameEncryptionBox()->isChecked());
        QVERIFY(dialog.caseInsensitiveBox()->isEnabled());
        dialog.caseInsensitiveBox()->setChecked(true);
        dialog.nameEncryptionBox()->setChecked(false);
        QVERIFY(!dialog.caseInsensitiveBox()->isEnabled());
        QVERIFY2(dialog.caseInsensitiveBox()->isChecked(), "greyed, not cleared");
        dialog.nameEncryptionBox()->setChecked(true);
        QVERIFY(dialog.caseInsensitiveBox()->isEnabled());
        dialog.nameEncryptionBox()->setChecked(false);

        dialog.folderField()->setText(QString::fromStdString(folder.string()));
        fillPasswords(dialog, QString::fromUtf8(kPassword), QString::fromUtf8(kPassword));
        dialog.okButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.running(), 30000);
        const auto token = DriveDialogSandbox::unlocked(folder);
        QVERIFY(token);
        QVERIFY(!token->options().fileNameEncryption);
        QVERIFY(!token->options().caseInsensitive);
    }

    void clearingRememberAsksFirst()
    {
        CreateDriveDialog dialog(m_box->services, m_box->traces);
        dialog.show();
        m_box->boxes.answer(kMsgForgetPassword, text::NoButton);
        dialog.rememberBox()->click();
        QTRY_COMPARE(m_box->boxes.seen(), std::vector<int>{kMsgForgetPassword});
        QVERIFY(dialog.rememberBox()->isChecked());
        m_box->boxes.answer(kMsgForgetPassword, text::YesButton);
        dialog.rememberBox()->click();
        QTRY_COMPARE(m_box->boxes.seen().size(), std::size_t{2});
        QVERIFY(!dialog.rememberBox()->isChecked());
    }

    void refusedPasswordMarksTheFieldAndWritesNothing()
    {
        const auto folder = m_box->root() / "vault";
        std::filesystem::create_directories(folder);
        CreateDriveDialog dialog(m_box->services, m_box->traces);
        dialog.show();
        dialog.folderField()->setText(QString::fromStdString(folder.string()));
        fillPasswords(dialog, QStringLiteral("short"), QStringLiteral("short"));
        dialog.okButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.running(), 30000);
        QCOMPARE(m_box->boxes.seen(), std::vector<int>{46});
        QCOMPARE(markOf(dialog.passwordMark()), Mark::Failure);
        QVERIFY(dialog.isVisible());
        QVERIFY(!std::filesystem::exists(token::tokenPathFor(folder)));
        QVERIFY(!m_box->settings.exists());
    }

    void locationMenuOffersFoundClientsAndJoinsTheLabel()
    {
        const auto dropbox = m_box->home() / "Dropbox";
        std::filesystem::create_directories(m_box->home() / ".dropbox");
        const std::string line = dropbox.string();
        std::ofstream(m_box->home() / ".dropbox" / "host.db")
            << "0\n"
            << crypto::base64UrlEncode(crypto::asBytes(line)) << "\n";
        CreateDriveDialog dialog(m_box->services, m_box->traces);
        dialog.show();
        emit dialog.locationMenu()->aboutToShow();
        const QList<QAction*> entries = dialog.locationMenu()->actions();
        QCOMPARE(entries.size(), 6);
        QVERIFY(entries[0]->isEnabled());
        for (int i = 1; i < 5; ++i) {
            QVERIFY2(!entries[i]->isEnabled(), qPrintable(entries[i]->text()));
        }
        QCOMPARE(entries[5]->text(), appText(244));

        dialog.labelField()->setText(QStringLiteral("Vault"));
        entries[0]->trigger();
        QCOMPARE(dialog.folderField()->text(), QString::fromStdString((dropbox / "Vault").string()));
        entries[5]->trigger();
        QCOMPARE(dialog.folderField()->text(), QString::fromStdString((m_box->home() / "Kestrava").string()));
    }

    void importedTokenAsksForItsCurrentPassword()
    {
        const auto exported = m_box->root() / "export";
        const auto key = m_box->makeToken(exported);
        const auto folder = m_box->root() / "vault";
        std::filesystem::create_directories(folder);
        CreateDriveDialog dialog(m_box->services, m_box->traces);
        dialog.show();
        QVERIFY(dialog.importTokenFile(QString::fromStdString(token::tokenPathFor(exported).string())));
        QCOMPARE(m_box->boxes.seen(), std::vector<int>{kMsgImported});
        QCOMPARE(dialog.passwordField()->placeholderText(), appText(8));
        QVERIFY(dialog.confirmationField()->isReadOnly());
        QVERIFY(dialog.confirmationField()->text().startsWith(appText(223)));
        QVERIFY(!dialog.importButton()->isEnabled());
        QVERIFY2(dialog.formatChoice()->isHidden(), "an adopted token keeps its own format");

        dialog.folderField()->setText(QString::fromStdString(folder.string()));
        dialog.passwordField()->setText(QString::fromUtf8(kPassword));
        dialog.okButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.running(), 30000);
        QCOMPARE(dialog.outcome(), std::optional(drives::CreateOutcome::Created));
        QVERIFY2(m_box->host.mounts.at("Z:").masterKey == key, "the adopted token's key");
    }

    void whileTheFlowRunsNothingCanCloseTheDialog()
    {
        CreateDriveDialog dialog(m_box->services, m_box->traces);
        dialog.show();
        dialog.folderField()->setText(QString::fromStdString((m_box->root() / "missing").string()));
        fillPasswords(dialog, QString::fromUtf8(kPassword), QString::fromUtf8(kPassword));
        bool guarded = false;
        m_box->boxes.answer(drives::kMsgCreateFolder, text::Cancel);
        m_box->boxes.onBox([&](int id) {
            if (id == drives::kMsgCreateFolder) {
                guarded = !dialog.okButton()->isEnabled() && !dialog.cancelButton()->isEnabled() &&
                          dialog.findChild<QProgressBar*>(QStringLiteral("busyBar"))->isVisible();
                dialog.reject();
            }
        });
        dialog.okButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.running(), 30000);
        QVERIFY(guarded);
        QVERIFY2(dialog.isVisible(), "a reject during the run is ignored");
        QVERIFY(dialog.okButton()->isEnabled());
        QVERIFY(!dialog.findChild<QProgressBar*>(QStringLiteral("busyBar"))->isVisible());
        QVERIFY(!std::filesystem::exists(m_box->root() / "missing"));
    }

    void wizardButtonAsksForTheWizard()
    {
        CreateDriveDialog dialog(m_box->services, m_box->traces);
        dialog.show();
        dialog.wizardButton()->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.ending(), CreateDriveDialog::Ending::SwitchToWizard);
    }

private:
    std::unique_ptr<DriveDialogSandbox> m_box;
};

QTEST_MAIN(CreateDriveDialogTest)
#include "CreateDriveDialogTest.moc"
