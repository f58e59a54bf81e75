// The password prompts in their roles and the Qt Prompter: wrong entries keep the prompt open
// with a balloon, right ones close it with the answers ticked; a worker thread's questions are
// shown on the GUI thread and their answers handed back.
#include "core/access/Base32.h"
#include "core/access/LoginPassword.h"
#include "core/access/OneTimeCode.h"
#include "gui/AppText.h"
#include "gui/Balloon.h"
#include "gui/GuiTestSupport.h"
#include "gui/LoginDialog.h"
#include "gui/Notifications.h"
#include "gui/QtPrompter.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <thread>

using namespace kestrava;
using namespace kestrava::gui;

namespace {

constexpr const char* kSecret = "JBSWY3DPEHPK3PXP";
const auto kNow = std::chrono::system_clock::time_point(std::chrono::seconds(1'700'000'000));

QString codeAt(std::chrono::system_clock::time_point now)
{
    const crypto::SecureBytes key = decodeOneTimeCodeKey(kSecret);
    const std::uint32_t code = hotp(crypto::ByteView(key.data(), key.size()), timeStep(now));
    return QStringLiteral("%1").arg(code, 6, 10, QLatin1Char('0'));
}

LoginLock lockWith(const char* enable, const std::string& password, bool codes)
{
    LoginLock lock;
    lock.enableKestravaPwd = enable;
    lock.storedLoginPassword = password.empty() ? std::string() : protectLoginPassword(password);
    lock.googleAuth.enabled = codes;
    lock.googleAuth.accountName = "Kestrava-JBSW";
    lock.googleAuth.secret = crypto::makeSecureString(codes ? kSecret : "");
    return lock;
}

void typeAndConfirm(QDialog& dialog, QLineEdit* field, const QString& text)
{
    field->setText(text);
    dialog.accept();
}

QString balloonText(QWidget* widget)
{
    Balloon* balloon = Balloon::shownFor(widget);
    return balloon != nullptr ? balloon->text() : QString();
}

DrivePasswordRequest sampleRequest()
{
    DrivePasswordRequest request;
    request.label = "Documents";
    request.folder = "/home/ann/docs";
    request.letter = "K:";
    request.autoMount = true;
    request.check = [](std::string_view typed) { return typed == "right horse"; };
    return request;
}

} // namespace

class PromptTest : public QObject
{
    Q_OBJECT

private slots:
    void drivePromptShowsTheDrive()
    {
        LoginDialog dialog(sampleRequest(), 0);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Kestrava Drive Password"));
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("letterLine"))->text(),
                 QStringLiteral("Drive Letter: K"));
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("folderLine"))->text(),
                 QStringLiteral("Folder Location: /home/ann/docs"));
        QVERIFY(dialog.autoMountBox()->isChecked());
        QVERIFY(!dialog.rememberBox()->isChecked());
        QCOMPARE(dialog.passwordField()->maxLength(), 128);
    }

    void wrongDrivePasswordKeepsThePromptOpen()
    {
        LoginDialog dialog(sampleRequest(), 0);
        dialog.show();
        typeAndConfirm(dialog, dialog.passwordField(), QString());
        QCOMPARE(balloonText(&dialog), appText(46));
        typeAndConfirm(dialog, dialog.passwordField(), QStringLiteral("wrong horse"));
        QTRY_COMPARE(balloonText(&dialog), appText(152));
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(dialog.passwordMark(), LoginDialog::Mark::Failure);
        QVERIFY(dialog.passwordField()->isEnabled());
        QTest::keyClick(dialog.passwordField(), Qt::Key_A); // typing clears the mark
        QCOMPARE(dialog.passwordMark(), LoginDialog::Mark::None);
    }

    void rightDrivePasswordClosesWithTheBoxes()
    {
        LoginDialog dialog(sampleRequest(), 2);
        dialog.setCloseDelay(10);
        dialog.show();
        dialog.rememberBox()->setChecked(true);
        typeAndConfirm(dialog, dialog.passwordField(), QStringLiteral("right horse"));
        QTRY_COMPARE(dialog.passwordMark(), LoginDialog::Mark::Success);
        QTRY_COMPARE(dialog.result(), int(QDialog::Accepted));
        const DrivePasswordAnswer answer = dialog.driveAnswer();
        QCOMPARE(answer.outcome, PasswordOutcome::Entered);
        QCOMPARE(std::string(answer.password.data(), answer.password.size()), std::string("right horse"));
        QVERIFY(answer.rememberPassword);
        QVERIFY(answer.autoMount);
        QVERIFY(!answer.autoMountChanged);
    }

    void slowCheckKeepsThePromptResponsiveAndLocked()
    {
        DrivePasswordRequest request = sampleRequest();
        std::atomic<bool> release = false;
        request.check = [&](std::string_view) {
            while (!release) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            return false;
        };
        LoginDialog dialog(request, 0);
        dialog.show();
        typeAndConfirm(dialog, dialog.passwordField(), QStringLiteral("anything"));
        // The GUI thread returned at once; entries wait for the answer; Escape cannot cut in.
        QVERIFY(!dialog.passwordField()->isEnabled());
        dialog.reject();
        QVERIFY(dialog.isVisible());
        release = true;
        QTRY_COMPARE(balloonText(&dialog), appText(152));
        QVERIFY(dialog.passwordField()->isEnabled());
    }

    void balloonIsDismissedAfterItsTime()
    {
        QWidget window;
        auto* field = new QLineEdit(&window);
        window.show();
        Balloon* balloon =
            Balloon::showAt(field, QStringLiteral("Title"), QStringLiteral("Text"), Icon::Error, 50);
        QVERIFY(balloon->isVisible());
        QCOMPARE(balloon->title(), QStringLiteral("Title"));
        QTRY_VERIFY(!balloon->isVisible());
    }

    void autoMountChangeIsReportedOnCancel()
    {
        LoginDialog dialog(sampleRequest(), 0);
        dialog.show();
        dialog.autoMountBox()->click();
        dialog.reject();
        const DrivePasswordAnswer answer = dialog.driveAnswer();
        QCOMPARE(answer.outcome, PasswordOutcome::Cancelled);
        QVERIFY(answer.password.empty());
        QVERIFY(!answer.autoMount);
        QVERIFY(answer.autoMountChanged);
    }

    void loginPromptWithPasswordOnly()
    {
        LoginDialog dialog(lockWith("Y", "s3cret!", false), [] { return kNow; });
        dialog.setCloseDelay(10);
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Kestrava Login Password"));
        QVERIFY(dialog.passwordField()->isVisible());
        QVERIFY(!dialog.codeField()->isVisible());
        typeAndConfirm(dialog, dialog.passwordField(), QStringLiteral("S3cret!")); // case matters
        QCOMPARE(balloonText(&dialog), appText(152));
        QVERIFY(dialog.isVisible());
        typeAndConfirm(dialog, dialog.passwordField(), QStringLiteral("s3cret!"));
        QCOMPARE(dialog.passwordMark(), LoginDialog::Mark::Success);
        QTRY_COMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void loginPromptSwitchedOnWithoutPasswordTakesAnyEntry()
    {
        LoginDialog dialog(lockWith("Y", "", false), [] { return kNow; });
        dialog.setCloseDelay(10);
        dialog.show();
        typeAndConfirm(dialog, dialog.passwordField(), QString());
        QTRY_COMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void loginPromptWithCodeOnly()
    {
        LoginDialog dialog(lockWith("N", "", true), [] { return kNow; });
        dialog.setCloseDelay(10);
        dialog.show();
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("titleLabel"))->text(), appText(116));
        QVERIFY(!dialog.passwordField()->isVisible());
        QVERIFY(dialog.codeField()->isVisible());
        dialog.codeField()->setText(QStringLiteral("12a45"));
        QVERIFY(dialog.codeField()->text().size() <= 2 || !dialog.codeField()->hasAcceptableInput());
        typeAndConfirm(dialog, dialog.codeField(), QStringLiteral("12345"));
        QCOMPARE(balloonText(&dialog), appText(46));
        const QString wrong = codeAt(kNow + std::chrono::minutes(5));
        typeAndConfirm(dialog, dialog.codeField(), wrong);
        QCOMPARE(balloonText(&dialog), appText(152));
        QCOMPARE(dialog.codeMark(), LoginDialog::Mark::Failure);
        typeAndConfirm(dialog, dialog.codeField(), codeAt(kNow));
        QCOMPARE(dialog.codeMark(), LoginDialog::Mark::Success);
        QVERIFY(!dialog.codeField()->isEnabled());
        QTRY_COMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void loginPromptWithBothTestsPasswordFirst()
    {
        LoginDialog dialog(lockWith("", "s3cret!", true), [] { return kNow; });
        dialog.setCloseDelay(10);
        dialog.show();
        QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("titleLabel"))->text(), appText(157));
        QVERIFY(dialog.passwordField()->isVisible());
        QVERIFY(dialog.codeField()->isVisible());
        dialog.codeField()->setText(codeAt(kNow));
        typeAndConfirm(dialog, dialog.passwordField(), QStringLiteral("nope!!"));
        QCOMPARE(Balloon::shownFor(&dialog)->field(), dialog.passwordField());
        QVERIFY(dialog.isVisible());
        dialog.codeField()->setText(codeAt(kNow + std::chrono::minutes(5)));
        typeAndConfirm(dialog, dialog.passwordField(), QStringLiteral("s3cret!"));
        QCOMPARE(dialog.passwordMark(), LoginDialog::Mark::Success);
        QCOMPARE(Balloon::shownFor(&dialog)->field(), dialog.codeField());
        dialog.codeField()->setText(codeAt(kNow));
        dialog.accept();
        QTRY_COMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void damagedSecretEndsTheLogin()
    {
        LoginLock lock = lockWith("N", "", true);
        lock.googleAuth.secret = crypto::makeSecureString("");
        LoginDialog dialog(lock, [] { return kNow; });
        dialog.show();
        typeAndConfirm(dialog, dialog.codeField(), QStringLiteral("123456"));
        QVERIFY(dialog.damagedSecret());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }

    void prompterAnswersAWorkerOnTheGuiThread()
    {
        QWidget window;
        window.show();
        QtPrompter prompter;
        prompter.setMainWindow(&window);
        QWidget* parent = nullptr;
        QString caption;
        test::whenModalShown([&](QWidget* modal) {
            parent = modal->parentWidget();
            caption = modal->windowTitle();
            auto* box = static_cast<QMessageBox*>(modal);
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == appText(1334)) { // "&No"
                    button->click();
                }
            }
        });
        std::atomic<bool> onGuiThread = true;
        std::atomic<Button> answer = Button::Unavailable;
        std::thread worker([&] {
            onGuiThread = QThread::currentThread() == qApp->thread();
            answer = prompter.messageBox(1206, {}, Buttons::YesNo, Icon::Warning);
        });
        while (answer == Button::Unavailable) {
            QTest::qWait(10);
        }
        worker.join();
        QVERIFY(!onGuiThread);
        QCOMPARE(answer, Button::No);
        QCOMPARE(parent, &window);
        QCOMPARE(caption, QStringLiteral("Kestrava"));
    }

    void prompterAsksTheDrivePasswordForAWorker()
    {
        QtPrompter prompter;
        test::whenModalShown([](QWidget* modal) {
            auto* dialog = static_cast<LoginDialog*>(modal);
            dialog->setCloseDelay(10);
            dialog->passwordField()->setText(QStringLiteral("wrong"));
            dialog->accept(); // refused: stays open
            QTRY_VERIFY(Balloon::shownFor(dialog) != nullptr);
            dialog->passwordField()->setText(QStringLiteral("right horse"));
            dialog->accept();
        });
        std::optional<DrivePasswordAnswer> answer;
        std::atomic<bool> done = false;
        std::thread worker([&] {
            answer = prompter.askDrivePassword(sampleRequest());
            done = true;
        });
        QTRY_VERIFY(done);
        worker.join();
        QCOMPARE(answer->outcome, PasswordOutcome::Entered);
    }

    void prompterStatusAndShutDown()
    {
        QtPrompter prompter;
        QStringList lines;
        prompter.setStatusSink([&](const QString& line) { lines << line; });
        std::thread([&] { prompter.status("Mounting Drive Documents -> K:"); }).join();
        QTRY_COMPARE(lines, QStringList{QStringLiteral("Mounting Drive Documents -> K:")});
        prompter.shutDown();
        Button answer = Button::Yes;
        std::thread([&] { answer = prompter.messageBox(1206, {}, Buttons::OKCancel, Icon::Warning); }).join();
        QCOMPARE(answer, Button::Unavailable);
    }

    void balloonGoesToTheNamedFieldOrTheNotifier()
    {
        QtPrompter prompter;
        QWidget dialog;
        auto* field = new QLineEdit(&dialog);
        dialog.show();
        prompter.registerField(7, field);
        QStringList notified;
        prompter.setNotifier([&](const QString&, const QString& text, Icon) { notified << text; });
        std::atomic<bool> done = false;
        std::thread worker([&] {
            prompter.balloon(7, 152, Icon::Error);
            done = true;
        });
        QTRY_VERIFY(done); // the worker waits for the GUI thread, which must keep running
        worker.join();
        QCOMPARE(balloonText(field), appText(152));
        prompter.balloon(8, 46, Icon::Information);
        QCOMPARE(notified, QStringList{appText(46)});
    }

    void balloonWithoutTrayGoesToTheDesktopElseToTheStatusLine()
    {
        QStringList desktop;
        QStringList status;
        std::vector<Icon> icons;
        bool desktopTakes = true;
        QtPrompter prompter;
        prompter.setNotifier(makeBalloonNotifier({[] { return static_cast<QSystemTrayIcon*>(nullptr); },
                                                  [&](const QString& title, const QString& text, Icon icon) {
                                                      desktop << title << text;
                                                      icons.push_back(icon);
                                                      return desktopTakes;
                                                  },
                                                  [&](const QString& line) { status << line; }}));
        prompter.titledBalloon(3, 314, 316, Icon::Information);
        QCOMPARE(desktop, (QStringList{appText(314), appText(316)}));
        QVERIFY(icons == std::vector<Icon>{Icon::Information});
        QVERIFY(status.isEmpty());

        desktopTakes = false; // no notification service on this desktop
        prompter.titledBalloon(3, 315, 317, Icon::Information);
        QCOMPARE(status.size(), 1);
        QVERIFY(status[0].startsWith(appText(315) + QStringLiteral(" - ")));
        QVERIFY(!status[0].contains(QLatin1Char('\n')));
        prompter.titledBalloon(3, 152, kNoBalloonText, Icon::Information);
        QCOMPARE(status.last(), appText(152));
    }

    void titledBalloonShowsTitleAndTextAtTheFieldOrInTheNotification()
    {
        QtPrompter prompter;
        QWidget dialog;
        auto* field = new QLineEdit(&dialog);
        dialog.show();
        prompter.registerField(7, field);
        QStringList notified;
        prompter.setNotifier(
            [&](const QString& title, const QString& text, Icon) { notified << title << text; });
        prompter.titledBalloon(7, 314, 316, Icon::Information);
        Balloon* balloon = Balloon::shownFor(field);
        QVERIFY(balloon != nullptr);
        QCOMPARE(balloon->title(), appText(314));
        QCOMPARE(balloon->text(), appText(316));
        prompter.titledBalloon(8, 152, kNoBalloonText, Icon::Error);
        QCOMPARE(notified, (QStringList{appText(152), QStringLiteral(" ")}));
    }
};

QTEST_MAIN(PromptTest)
#include "PromptTest.moc"
