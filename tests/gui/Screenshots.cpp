// Renders every window of the desktop app to PNG files in the folder given, over sample rows
// and sample locks (nothing is read from or written to the user's settings).
#include "core/access/LoginPassword.h"
#include "core/drives/DriveMessages.h"
#include "gui/AppText.h"
#include "gui/Balloon.h"
#include "gui/DownloadProgressDialog.h"
#include "gui/DriveTableModel.h"
#include "gui/GuiTestSupport.h"
#include "gui/LoginDialog.h"
#include "gui/MainWindow.h"
#include "gui/QtPrompter.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPainter>
#include <QTableView>
#include <QTest>
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

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    bool ok = true;

    drives::DriveListModel rows;
    test::addSampleRows(rows);
    DriveTableModel model(rows);
    test::RecordingActions actions;
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

    std::atomic<bool> cancelDownload = false;
    CDownloadProgressDlg download(cancelDownload);
    download.showProgress({42, 100});
    ok &= save(download, folder, QStringLiteral("download-progress"));

    test::whenModalShown([&](QWidget* box) {
        ok &= save(*box, folder, QStringLiteral("message-box"));
        box->close();
    });
    prompter.messageBox(1206, {}, Buttons::OKCancel, Icon::Warning);
    return ok ? 0 : 1;
}
