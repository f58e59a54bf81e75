// The download progress window and the update run in the desktop app: the window shows the
// share or the bytes, closing it cancels, and a whole run over a loopback server asks its
// questions as message boxes and ends with the installer kept.
#include "core/app/ActivityLog.h"
#include "core/update/CodeSignature.h"
#include "core/update/ProgramUpdate.h"
#include "gui/AppText.h"
#include "gui/DownloadProgressDialog.h"
#include "gui/QtPrompter.h"
#include "gui/UpdateRunner.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestSupport.h"

#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <map>
#include <thread>

using namespace kestrava;
using namespace kestrava::gui;
using Response = test::LoopbackHttpServer::Response;

namespace {

constexpr int kWaitMs = 30000;
constexpr const char* kLink = "https://kestrava.example/";

// Answers message boxes by their id as they come up, with the button of the given role; other
// modal windows (the progress window) are left alone. Records the ids in order.
class BoxAnswerer
{
public:
    explicit BoxAnswerer(std::map<int, QMessageBox::ButtonRole> answers) : m_answers(std::move(answers))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start(20);
    }

    const std::vector<int>& shown() const { return m_shown; }

private:
    void poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            return;
        }
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr || !box->objectName().startsWith(QStringLiteral("messageBox"))) {
            return;
        }
        const int id = box->objectName().mid(10).toInt();
        m_shown.push_back(id);
        const auto role = m_answers.count(id) != 0 ? m_answers.at(id) : QMessageBox::AcceptRole;
        for (QAbstractButton* button : box->buttons()) {
            if (box->buttonRole(button) == role) {
                button->click();
                return;
            }
        }
        box->reject();
    }

    std::map<int, QMessageBox::ButtonRole> m_answers;
    std::vector<int> m_shown;
    QTimer m_timer;
};

} // namespace

class UpdateWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { applog::configureLog({m_logDir / "kestrava.log", false}); }
    void cleanupTestCase() { applog::configureLog({}); }

    void showsTheShareOrTheBytes()
    {
        std::atomic<bool> cancel = false;
        CDownloadProgressDlg dialog(cancel);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Downloading Kestrava Update..."));
        QCOMPARE(dialog.progressText(), QStringLiteral("0%"));
        QCOMPARE(dialog.percent(), 0);
        dialog.showProgress({50, 200});
        QCOMPARE(dialog.percent(), 25);
        QCOMPARE(dialog.progressText(), QStringLiteral("25%"));
        dialog.showProgress({200, 200});
        QCOMPARE(dialog.progressText(), QStringLiteral("100%"));
        dialog.showProgress({123456, std::nullopt});
        QCOMPARE(dialog.progressText(), QStringLiteral("123456 bytes"));
        QCOMPARE(dialog.percent(), -1);
        QVERIFY(!cancel);
    }

    void closingTheWindowCancelsButFinishingDoesNot()
    {
        std::atomic<bool> cancel = false;
        CDownloadProgressDlg finished(cancel);
        finished.show();
        finished.finish();
        QVERIFY(!finished.isVisible());
        QVERIFY(!cancel);

        CDownloadProgressDlg closed(cancel);
        closed.show();
        QTest::keyClick(&closed, Qt::Key_Escape);
        QVERIFY(!closed.isVisible());
        QVERIFY(cancel);
    }

    void aWorkerThreadDrivesTheWindowOnTheGuiThread()
    {
        std::atomic<bool> cancel = false;
        QtDownloadWindow window(cancel, nullptr);
        std::atomic<bool> closeNow = false;
        std::thread worker([&] {
            window.open("1.3");
            window.progress({60, 100});
            while (!cancel && !closeNow) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            window.close();
        });
        QTRY_VERIFY_WITH_TIMEOUT(window.dialog() != nullptr && window.dialog()->isVisible(), kWaitMs);
        QCOMPARE(window.dialog()->thread(), QThread::currentThread());
        QTRY_COMPARE_WITH_TIMEOUT(window.dialog()->progressText(), QStringLiteral("60%"), kWaitMs);
        // The user closes the window: the worker sees the cancel and ends the download.
        window.dialog()->close();
        QTRY_VERIFY_WITH_TIMEOUT(cancel.load(), kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(window.dialog() == nullptr, kWaitMs);
        worker.join();
    }

    void aManualRunAsksDownloadsVerifiesAndKeeps()
    {
        test::TempDir dir;
        test::LoopbackHttpServer server;
        const crypto::SigningKeyPair keys = crypto::generateSigningKeys();
        const std::string installer = "#!/bin/sh\n" + std::string(20000, '#') + "\n";
        test::writeFile(dir / "signed.run", installer);
        server.set("/update.txt", Response::text("1.3"));
        server.set("/kestrava_1.3_setup.run", Response::text(installer));
        server.set("/kestrava_1.3_setup.run.sig",
                   Response::text(*update::makeSignatureFile(dir / "signed.run", keys.privateKey,
                                                             update::kOwnProgramName, kLink)));
        std::filesystem::create_directory(dir / "downloads");
        const update::UpdateSite site{server.baseUrl(), "1.2",
                                      update::Publisher{std::string(update::kOwnProgramName), kLink,
                                                        keys.publicKey, update::serialOf(keys.publicKey)},
                                      kLink, dir / "downloads"};

        QtPrompter prompter;
        UpdateRunner runner(prompter, dir / "kestrava_settings.xml", [site] { return site; });
        QSignalSpy finished(&runner, &UpdateRunner::finished);
        QSignalSpy exits(&runner, &UpdateRunner::exitRequested);
        BoxAnswerer answers({{update::kMsgUpdateAvailable, QMessageBox::YesRole},
                             {update::kMsgRunSetup, QMessageBox::RejectRole}});
        QVERIFY(runner.start(true));
        QVERIFY(!runner.start(true)); // one run at a time
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kWaitMs);
        QCOMPARE(finished.first().first().value<update::UpdateEnd>(), update::UpdateEnd::Kept);
        QCOMPARE(answers.shown(), (std::vector<int>{update::kMsgUpdateAvailable, update::kMsgRunSetup}));
        QCOMPARE(exits.count(), 0);
        QCOMPARE(test::readFile(dir / "downloads" / "kestrava_1.3_setup.run"), installer);
        QVERIFY(!runner.running());

        // An automatic run with "AutoUpdate" not set in the settings file does nothing.
        QVERIFY(runner.start(false));
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, kWaitMs);
        QCOMPARE(finished.last().first().value<update::UpdateEnd>(), update::UpdateEnd::NotEnabled);
        QCOMPARE(answers.shown().size(), 2u);
    }

private:
    test::TempDir m_logDir;
};

QTEST_MAIN(UpdateWindowTest)
#include "UpdateWindowTest.moc"
