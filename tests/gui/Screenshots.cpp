// Renders every window of the desktop app to PNG files in the folder given, over sample rows
// and sample locks (nothing is read from or written to the user's settings).
#include "DriveDialogFixture.h"
#include "core/access/LoginPassword.h"
#include "core/app/Language.h"
#include "core/drives/DriveMessages.h"
#include "core/drives/EditDriveFlow.h"
#include "core/drives/MountFlow.h"
#include "core/settings/SettingsProgramValues.h"
#include "core/settings/UserRegistry.h"
#include "gui/AboutDialog.h"
#include "gui/AppText.h"
#include "gui/Balloon.h"
#include "gui/ChangePasswordDialog.h"
#include "gui/CreateDriveDialog.h"
#include "gui/CreateDriveWizardDialog.h"
#include "gui/DownloadProgressDialog.h"
#include "gui/DriveCheckDialog.h"
#include "gui/DriveTableModel.h"
#include "gui/EditDriveDialog.h"
#include "gui/GuiTestSupport.h"
#include "gui/LoginDialog.h"
#include "gui/MainWindow.h"
#include "gui/PairingDialog.h"
#include "gui/QtPrompter.h"
#include "gui/RecoverDriveDialog.h"
#include "gui/SettingsDialog.h"
#include "gui/SettingsLocationDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>
#include <fstream>
#include <iostream>

using namespace kestrava;
using namespace kestrava::gui;

namespace {

// The window with its balloon, if one is shown, painted where it stands.
QImage render(QWidget& window)
{
    window.show();
    QTest::qWait(50);
    QPixmap shot = window.grab();
    Balloon* balloon = Balloon::shownFor(&window);
    if (balloon == nullptr) {
        return shot.toImage();
    }
    const QPixmap tip = balloon->grab();
    const QPoint at =
        window.mapFromGlobal(balloon->pos()) + (window.frameGeometry().topLeft() - window.pos());
    QImage canvas(
        QSize(std::max(shot.width(), at.x() + tip.width()), std::max(shot.height(), at.y() + tip.height())),
        QImage::Format_ARGB32);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.drawPixmap(0, 0, shot);
    painter.drawPixmap(at, tip);
    return canvas;
}

bool save(QWidget& window, const QDir& folder, const QString& name)
{
    const QString path = folder.filePath(name + QStringLiteral(".png"));
    const bool saved = render(window).save(path);
    std::cout << (saved ? "wrote " : "FAILED ") << path.toStdString() << "\n";
    window.hide();
    return saved;
}

LoginLock sampleLock(const char* enable, bool codes)
{
    LoginLock lock;
    lock.enableKestravaPwd = enable;
    lock.storedLoginPassword = protectLoginPassword("sample password");
    lock.googleAuth.enabled = codes;
    lock.googleAuth.accountName = "Kestrava-JBSW";
    lock.googleAuth.secret = crypto::makeSecureString("JBSWY3DPEHPK3PXP");
    return lock;
}

// The drive windows over a sandboxed settings file and a host that only records: each with
// sample values, every wizard page, and the restore wizard with its error balloon.
bool saveDriveDialogs(const QDir& folder)
{
    bool ok = true;
    gui::test::DriveDialogSandbox box;
    const QString password = QStringLiteral("Sample-pass 2024");

    CreateDriveDialog advanced(box.services, box.traces);
    advanced.folderField()->setText(QStringLiteral("/home/ann/Dropbox/Papers"));
    advanced.labelField()->setText(QStringLiteral("Papers"));
    advanced.passwordField()->setText(password);
    advanced.confirmationField()->setText(password);
    ok &= save(advanced, folder, QStringLiteral("create-drive"));

    CreateDriveWizardDialog wizard(box.services, box.traces);
    wizard.setUrlOpener([](const QUrl&) { return true; });
    ok &= wizard.start();
    const auto next = [&] {
        wizard.nextButton()->click();
        ok &= QTest::qWaitFor([&] { return !wizard.running(); }, 30000);
    };
    wizard.createChoice()->setChecked(true);
    wizard.createChoice()->click();
    ok &= save(wizard, folder, QStringLiteral("wizard-1-welcome"));
    next();
    wizard.locationButton(5)->click();
    ok &= save(wizard, folder, QStringLiteral("wizard-2-location"));
    next();
    wizard.passwordField()->setText(password);
    wizard.confirmationField()->setText(password);
    ok &= save(wizard, folder, QStringLiteral("wizard-3-password"));
    next();
    wizard.letterList()->setCurrentText(QStringLiteral("K:"));
    ok &= save(wizard, folder, QStringLiteral("wizard-4-letter"));
    next();
    ok &= save(wizard, folder, QStringLiteral("wizard-5-finish"));

    box.rows.clear();
    for (const auto& row : drives::listDriveRows(box.settings, box.host)) {
        box.rows.addRow(row);
    }
    if (auto session = drives::beginDriveEdit(box.services, 0)) {
        EditDriveDialog edit(box.services, *session);
        edit.labelField()->setText(QStringLiteral("Private papers"));
        ok &= save(edit, folder, QStringLiteral("edit-drive"));
    } else {
        ok = false;
    }

    const auto synced = box.root() / "Synced" / "Kestrava";
    box.makeToken(synced);
    RecoverDriveDialog recover(box.services, box.traces);
    ok &= recover.start();
    recover.show();
    ok &= recover.chooseFolder(QString::fromStdString(synced.string()));
    ok &= save(recover, folder, QStringLiteral("recover-drive"));
    recover.show();
    recover.passwordField()->setText(QStringLiteral("wrong password"));
    recover.okButton()->click();
    ok &= QTest::qWaitFor([&] { return !recover.running(); }, 30000);
    ok &= save(recover, folder, QStringLiteral("recover-drive-wrong-password"));

    settings::SettingsProgramValues values(box.settings);
    ChangePasswordDialog change(values, box.prompter);
    change.newField()->setText(password);
    change.confirmationField()->setText(password);
    ok &= save(change, folder, QStringLiteral("change-login-password"));

    PairingDialog pairing(values, "");
    pairing.generate();
    pairing.codeField()->setText(QStringLiteral("123456"));
    ok &= save(pairing, folder, QStringLiteral("pairing"));

    settings::UserRegistry registry(box.root() / "registry.conf");
    SettingsLocationDialog location(registry, "/home/ann/.config/kestrava/kestrava_settings.xml",
                                    box.settings.path());
    ok &= save(location, folder, QStringLiteral("settings-location"));

    AboutDialog about;
    ok &= save(about, folder, QStringLiteral("about"));
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    bool ok = true;

    drives::DriveListModel rows;
    gui::test::addSampleRows(rows);
    DriveTableModel model(rows);
    gui::test::RecordingActions actions;
    QtPrompter prompter;
    MainWindow window(model, actions, prompter, false);
    window.resize(820, 360);
    window.driveList()->selectRow(0);
    window.showStatus(
        QString::fromStdString(formatPrompterMessage(drives::kStatusMounting, {"Music", "M:"})));
    ok &= save(window, folder, QStringLiteral("main-window"));

    DrivePasswordRequest request;
    request.label = "Documents";
    request.folder = "/home/ann/Dropbox/docs";
    request.letter = "K:";
    request.autoMount = true;
    request.check = [](std::string_view) { return false; };
    LoginDialog drivePrompt(request, 1);
    ok &= save(drivePrompt, folder, QStringLiteral("drive-password"));
    drivePrompt.show();
    drivePrompt.passwordField()->setText(QStringLiteral("wrong password"));
    drivePrompt.accept();
    ok &= QTest::qWaitFor([&] { return Balloon::shownFor(&drivePrompt) != nullptr; });
    ok &= save(drivePrompt, folder, QStringLiteral("drive-password-wrong"));

    const auto clock = [] { return std::chrono::system_clock::now(); };
    LoginDialog passwordLogin(sampleLock("Y", false), clock);
    ok &= save(passwordLogin, folder, QStringLiteral("login-password"));
    LoginDialog codeLogin(sampleLock("N", true), clock);
    ok &= save(codeLogin, folder, QStringLiteral("login-code"));
    LoginDialog bothLogin(sampleLock("Y", true), clock);
    ok &= save(bothLogin, folder, QStringLiteral("login-password-and-code"));

    {
        // The settings window over a sample settings file in the sandboxed home.
        const std::filesystem::path home = QDir::homePath().toStdString();
        const std::filesystem::path settingsPath = home / "kestrava_settings.xml";
        std::ofstream(settingsPath) << "<?xml version=\"1.0\"?>\n<Kestrava>\n\t<drives />\n</Kestrava>\n";
        settings::UserRegistry registry((home / "registry.conf").string());
        prefs::SettingsDialogContext context{settingsPath, home / "default.xml", registry, prompter};
        context.commandLine = "/usr/bin/kestrava";
        context.autostartEntry = home / "autostart" / "kestrava.desktop";
        context.keyringUnavailable = "no keyring is running";
        lang::Languages languages({}, [] { return 1033; });
        SettingsDialogHooks hooks;
        hooks.fuseVersion = [] { return prefs::FuseVersion{3, 14, 0, 0}; };
        SettingsDialog settingsWindow(
            std::make_unique<prefs::SettingsDialogModel>(std::move(context), prefs::SettingsDialogWindows{}),
            languages, prompter, std::move(hooks));
        ok &= save(settingsWindow, folder, QStringLiteral("settings"));
    }
    DriveCheckDialog check(
        DriveCheckOutcome{QStringLiteral("/home/ann/Dropbox/Papers"),
                          {appText(1426, {QStringLiteral("/Lq3V0aZ9s1 (conflicted copy 2026-12-08)"),
                                          QStringLiteral("/report (conflicted copy 2026-12-08).txt")}),
                           appText(1427, {QStringLiteral("/desktop.ini")})}});
    ok &= save(check, folder, QStringLiteral("drive-check"));

    std::atomic<bool> cancelDownload = false;
    CDownloadProgressDlg download(cancelDownload);
    download.showProgress({42, 100});
    ok &= save(download, folder, QStringLiteral("download-progress"));

    gui::test::whenModalShown([&](QWidget* box) {
        ok &= save(*box, folder, QStringLiteral("message-box"));
        box->close();
    });
    prompter.messageBox(1206, {}, Buttons::OKCancel, Icon::Warning);
    ok &= saveDriveDialogs(folder);
    return ok ? 0 : 1;
}
