// The main window over a real session: the list filled from a sandboxed settings file, a drive
// mounted from its row with the password typed into the prompt, on a host that only records.
#include "core/drives/FakeDriveHost.h"
#include "core/session/AppSession.h"
#include "core/settings/SavedPasswords.h"
#include "core/settings/SettingsFile.h"
#include "core/token/DriveContext.h"
#include "gui/CoreDriveActions.h"
#include "gui/DriveTableModel.h"
#include "gui/GuiTestSupport.h"
#include "gui/LoginDialog.h"
#include "gui/MainWindow.h"
#include "gui/QtPrompter.h"

#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace kestrava;
using namespace kestrava::gui;

namespace {

constexpr const char* kPassword = "correct horse";

// Never asked: the sandboxed settings file has no program lock.
class NoLogin : public session::LoginAnswerer
{
public:
    session::LoginReply answer(const LoginLock&, const LoginPlan&, const session::LoginEntryCheck&) override
    {
        ++asked;
        return {};
    }
    int asked = 0;
};

} // namespace

class SessionWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        qputenv("HOME", m_dir->path().toUtf8());
        qputenv("XDG_CONFIG_HOME", m_dir->filePath(QStringLiteral("config")).toUtf8());
        qputenv("XDG_STATE_HOME", m_dir->filePath(QStringLiteral("state")).toUtf8());
        m_root = std::filesystem::path(m_dir->path().toStdString());
        m_folder = m_root / "docs";
        std::filesystem::create_directories(m_folder);
        token::DriveContext creator(hashStr(kPassword));
        QVERIFY(creator.CreateToken(token::tokenPathFor(m_folder)));
        m_key = creator.masterKey();

        const auto settingsPath = m_root / "kestrava_settings.xml";
        {
            settings::SettingsFile file(settingsPath);
            settings::DriveRecord record;
            record.label = "Documents";
            record.folder = m_folder.string();
            record.letter = "K:";
            record.automount = 0;
            QVERIFY(file.Adv_SaveDriveInfo(record));
        }

        m_session = std::make_unique<session::AppSession>(m_prompter, m_login);
        m_session->setSettingsPathForRun(settingsPath);
        m_session->setRegistryFile(m_root / "registry.xml");
        QVERIFY(m_session->open().opened());
        m_host = std::make_shared<kestrava::test::FakeDriveHost>(m_root / "mnt");
        m_session->startDrives(m_host);
        m_model = std::make_unique<DriveTableModel>(m_session->rows());
        m_actions = std::make_unique<CoreDriveActions>(*m_session, m_prompter);
        m_window = std::make_unique<MainWindow>(*m_model, *m_actions, m_prompter, false);
        m_prompter.setMainWindow(m_window.get());
        m_prompter.setStatusSink([this](const QString& text) { m_window->showStatus(text); });
        m_window->show();
        m_window->startFill();
        QTRY_COMPARE(m_window->runningCommands(), 0);
        QTRY_COMPARE(m_model->rowCount(), 1);
    }

    void cleanup()
    {
        m_window.reset();
        m_actions.reset();
        m_model.reset();
        m_session.reset();
        m_host.reset();
        m_dir.reset();
    }

    void mountFromTheRowWithThePasswordTyped()
    {
        QCOMPARE(m_model->entry(0)->state, MountState::NotMounted);
        QVERIFY(m_host->mounts.empty());

        bool prompted = false;
        gui::test::whenModalShown([&](QWidget* modal) {
            auto* prompt = qobject_cast<LoginDialog*>(modal);
            if (prompt == nullptr) {
                modal->close(); // an unexpected message: the checks below then fail
                return;
            }
            prompted = true;
            prompt->passwordField()->setText(QString::fromUtf8(kPassword));
            prompt->accept();
        });
        m_window->driveList()->selectRow(0);
        m_window->mountSelected();
        QTRY_COMPARE(m_window->runningCommands(), 0);

        QVERIFY(prompted);
        QCOMPARE(m_host->mounts.size(), std::size_t{1});
        const auto& mount = m_host->mounts.at("K:");
        QVERIFY(mount.masterKey == m_key);
        QVERIFY(mount.drive.backingFolder == m_folder);
        QCOMPARE(m_model->entry(0)->state, MountState::Mounted);
        QCOMPARE(m_login.asked, 0);
    }

    void wrongPasswordKeepsThePromptOpenAndCancelMountsNothing()
    {
        bool refusedAndOpen = false;
        gui::test::whenModalShown([&](QWidget* modal) {
            auto* prompt = qobject_cast<LoginDialog*>(modal);
            if (prompt == nullptr) {
                modal->close();
                return;
            }
            prompt->passwordField()->setText(QStringLiteral("not the password"));
            prompt->accept();
            // The check runs in the background: wait for its verdict, then give up.
            auto* poll = new QTimer(prompt);
            connect(poll, &QTimer::timeout, prompt, [&refusedAndOpen, prompt, poll] {
                if (prompt->passwordMark() == LoginDialog::Mark::Failure) {
                    poll->stop();
                    refusedAndOpen = prompt->isVisible();
                    prompt->reject();
                }
            });
            poll->start(20);
        });
        m_window->driveList()->selectRow(0);
        m_window->mountSelected();
        QTRY_COMPARE_WITH_TIMEOUT(m_window->runningCommands(), 0, 20000);

        QVERIFY(refusedAndOpen);
        QVERIFY(m_host->mounts.empty());
        QCOMPARE(m_model->entry(0)->state, MountState::NotMounted);
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::filesystem::path m_root;
    std::filesystem::path m_folder;
    crypto::SecureBytes m_key;
    QtPrompter m_prompter;
    NoLogin m_login;
    std::unique_ptr<session::AppSession> m_session;
    std::shared_ptr<kestrava::test::FakeDriveHost> m_host;
    std::unique_ptr<DriveTableModel> m_model;
    std::unique_ptr<CoreDriveActions> m_actions;
    std::unique_ptr<MainWindow> m_window;
};

QTEST_MAIN(SessionWindowTest)
#include "SessionWindowTest.moc"
