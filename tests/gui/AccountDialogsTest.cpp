// The program's own windows: the login password's three checks and strength bar, pairing the
// authenticator app with a code computed here, the settings location, and the about window.
#include "DriveDialogFixture.h"
#include "core/access/GoogleAuth.h"
#include "core/access/LoginPassword.h"
#include "core/app/VersionText.h"
#include "core/settings/Paths.h"
#include "core/settings/SettingsProgramValues.h"
#include "core/settings/UserRegistry.h"
#include "gui/AboutDialog.h"
#include "gui/ChangePasswordDialog.h"
#include "gui/DialogParts.h"
#include "gui/PairingDialog.h"
#include "gui/SettingsLocationDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageAuthenticationCode>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QtEndian>

using namespace kestrava;
using namespace kestrava::gui;
using namespace kestrava::gui::test;

namespace {

constexpr std::int64_t kNow = 1'700'000'000; // seconds since 1970

// The six-digit code an authenticator shows for secret (base32) at the given time, computed
// from the published algorithm with Qt's own HMAC.
QString authenticatorCode(const QString& secret, std::int64_t seconds)
{
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ234567");
    QByteArray key;
    quint32 buffer = 0;
    int bits = 0;
    for (const QChar c : secret.left(16)) {
        buffer = (buffer << 5) | static_cast<quint32>(alphabet.indexOf(c));
        bits += 5;
        if (bits >= 8) {
            bits -= 8;
            key.append(static_cast<char>((buffer >> bits) & 0xFF));
        }
    }
    key = key.left(key.indexOf('\0') < 0 ? key.size() : key.indexOf('\0'));
    QByteArray counter(8, '\0');
    qToBigEndian<quint64>(static_cast<quint64>(seconds / 30), counter.data());
    const QByteArray mac = QMessageAuthenticationCode::hash(counter, key, QCryptographicHash::Sha1);
    const int offset = mac.at(19) & 0x0F;
    const quint32 value = qFromBigEndian<quint32>(mac.constData() + offset) & 0x7FFFFFFF;
    return QStringLiteral("%1").arg(value % 1000000, 6, 10, QLatin1Char('0'));
}

} // namespace

class AccountDialogsTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_box = std::make_unique<DriveDialogSandbox>();
        m_values = std::make_unique<settings::SettingsProgramValues>(m_box->settings);
    }
    void cleanup()
    {
        m_values.reset();
        m_box.reset();
    }

    void newLoginPasswordWithoutAStoredOne()
    {
        ChangePasswordDialog dialog(*m_values, m_box->prompter);
        dialog.show();
        QVERIFY(!dialog.currentField()->isEnabled());
        QCOMPARE(dialog.strengthBar()->format(), appText(4));
        dialog.newField()->setText(QStringLiteral("Kq7!mZp2@rWx"));
        QCOMPARE(dialog.strengthBar()->format(), appText(41) + appText(39));
        dialog.confirmationField()->setText(QStringLiteral("Kq7!mZp2@rWx"));
        dialog.accept();
        QVERIFY(!dialog.isVisible());
        QVERIFY(dialog.storedPassword());
        QVERIFY(verifyLoginPassword(loadLoginPassword(*m_values), "Kq7!mZp2@rWx"));
        QCOMPARE(m_values->get(kEnableKestravaPwdValue), std::optional<std::string>("Y"));
    }

    void theThreeChecksOfAChange()
    {
        QVERIFY(saveLoginPassword(*m_values, "old secret"));
        ChangePasswordDialog dialog(*m_values, m_box->prompter);
        dialog.show();
        QVERIFY(dialog.currentField()->isEnabled());

        dialog.currentField()->setText(QStringLiteral("old secret"));
        dialog.newField()->setText(QStringLiteral("short"));
        dialog.confirmationField()->setText(QStringLiteral("short"));
        dialog.accept();
        QCOMPARE(m_box->boxes.last(), 46);

        dialog.newField()->setText(QStringLiteral("new secret"));
        dialog.confirmationField()->setText(QStringLiteral("new secreT"));
        dialog.accept();
        QCOMPARE(m_box->boxes.last(), 47);

        dialog.currentField()->setText(QStringLiteral("Old secret"));
        dialog.confirmationField()->setText(QStringLiteral("new secret"));
        dialog.accept();
        QCOMPARE(m_box->boxes.last(), 152);
        QVERIFY2(dialog.currentField()->text().isEmpty(), "emptied for another try");
        QVERIFY(dialog.isVisible());
        QVERIFY(verifyLoginPassword(loadLoginPassword(*m_values), "old secret"));

        dialog.currentField()->setText(QStringLiteral("old secret"));
        dialog.accept();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(m_box->boxes.seen().size(), std::size_t{3});
        QVERIFY(verifyLoginPassword(loadLoginPassword(*m_values), "new secret"));
    }

    void pairingIsVerifiedWithTheAppsCode()
    {
        PairingDialog dialog(*m_values, "", [] { return std::chrono::system_clock::from_time_t(kNow); });
        dialog.show();
        QCOMPARE(dialog.accountField()->text(), QStringLiteral("Kestrava"));
        QVERIFY2(dialog.image()->pixmap().isNull(), "nothing paired yet");
        QVERIFY(!dialog.okButton()->isEnabled());

        dialog.generate();
        const QString secret = dialog.keyField()->text();
        QCOMPARE(secret.size(), 16);
        QCOMPARE(dialog.accountField()->text(), QStringLiteral("Kestrava")); // a name of the user's own stays
        QCOMPARE(dialog.image()->pixmap().size(), QSize(kQrImageSize, kQrImageSize));
        QVERIFY(!dialog.syncNote()->isVisible());

        const QString right = authenticatorCode(secret, kNow);
        QString wrong = right;
        wrong[5] = right[5] == QLatin1Char('0') ? QLatin1Char('1') : QLatin1Char('0');
        dialog.codeField()->setText(wrong);
        dialog.verifyButton()->click();
        QCOMPARE(markOf(dialog.codeMark()), Mark::Failure);
        QVERIFY(dialog.syncNote()->isVisible());
        QVERIFY(!dialog.okButton()->isEnabled());

        dialog.codeField()->setText(authenticatorCode(secret, kNow - 60)); // two steps behind still counts
        dialog.verifyButton()->click();
        QCOMPARE(markOf(dialog.codeMark()), Mark::Success);
        QVERIFY(dialog.okButton()->isEnabled());
        dialog.okButton()->click();
        QVERIFY(!dialog.isVisible());
        const GoogleAuthState stored = loadGoogleAuth(*m_values);
        QCOMPARE(QString::fromStdString(std::string(stored.secret)), secret);
        QCOMPARE(stored.accountName, std::string("Kestrava"));
        QVERIFY(dialog.acceptedSecret() && std::string(*dialog.acceptedSecret()) == secret.toStdString());
    }

    void pairingNeedsAnAccountNameAndEditingItClearsTheImage()
    {
        PairingDialog dialog(*m_values, "");
        dialog.show();
        dialog.generate();
        QVERIFY(!dialog.image()->pixmap().isNull());
        QTest::keyClick(dialog.accountField(), Qt::Key_Backspace);
        QVERIFY(dialog.image()->pixmap().isNull());
        dialog.accountField()->selectAll();
        QTest::keyClick(dialog.accountField(), Qt::Key_Delete);
        const QString shownKey = dialog.keyField()->text();
        dialog.generate();
        QCOMPARE(markOf(dialog.accountMark()), Mark::Failure);
        QCOMPARE(dialog.keyField()->text(), shownKey); // the new secret is not shown without a name
        QVERIFY(dialog.image()->pixmap().isNull());
        QVERIFY(!dialog.okButton()->isEnabled());
    }

    void settingsLocationMovesOrGoesBackToTheDefault()
    {
        settings::UserRegistry registry(m_box->root() / "registry.conf");
        QVERIFY(registry.writeValue(settings::kRegistryGroup, settings::kConfigFileKey, "/srv/old.xml"));
        const auto defaultPath = m_box->root() / "config" / "kestrava" / "kestrava_settings.xml";
        SettingsLocationDialog dialog(registry, "/srv/old.xml", defaultPath);
        dialog.show();
        QCOMPARE(dialog.pathField()->text(), QStringLiteral("/srv/old.xml"));
        dialog.setFileChooser([](QWidget*, const QString& current) {
            return current == QStringLiteral("/srv/old.xml") ? QStringLiteral("/srv/new.xml") : QString();
        });
        dialog.moveFile();
        QCOMPARE(dialog.pathField()->text(), QStringLiteral("/srv/new.xml"));
        QCOMPARE(registry.readValue(settings::kRegistryGroup, settings::kConfigFileKey),
                 std::optional<std::string>(
                     "/srv/old.xml")); // nothing is stored before the caller takes the choice
        dialog.useDefaultLocation();
        QCOMPARE(dialog.pathField()->text(), QString::fromStdString(defaultPath.string()));
        QVERIFY(!registry.readValue(settings::kRegistryGroup, settings::kConfigFileKey));
        dialog.accept();
        QVERIFY(dialog.chosenPath() == defaultPath);
    }

    void aboutShowsTheVersionText()
    {
        AboutDialog dialog;
        QCOMPARE(dialog.versionLine()->text(), appText(95, {QString::fromStdString(programVersionText())}));
        QVERIFY(!programVersionText().empty());
    }

private:
    std::unique_ptr<DriveDialogSandbox> m_box;
    std::unique_ptr<settings::SettingsProgramValues> m_values;
};

QTEST_MAIN(AccountDialogsTest)
#include "AccountDialogsTest.moc"
