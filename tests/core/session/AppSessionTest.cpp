#include "core/session/AppSession.h"

#include "../drives/FakeDriveHost.h"
#include "core/access/LoginPassword.h"
#include "core/app/ActivityLog.h"
#include "core/settings/SettingsLocation.h"
#include "support/ScriptedPrompter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace kestrava::session {
namespace {

using test::ScriptedPrompter;
using test::TempDir;

constexpr int kMsgIncorrectPassword = 152;

// Answers the lock with fixed entries (or cancels), recording what it saw when it was asked.
class ScriptedLogin : public LoginAnswerer
{
public:
    LoginReply answer(const LoginLock& lock, const LoginPlan& plan, const LoginEntryCheck& check) override
    {
        ++asked;
        promptsBefore = prompter != nullptr ? prompter->calls().size() : 0;
        storedPassword = lock.storedLoginPassword;
        askedPassword = plan.askPassword;
        LoginReply reply;
        if (cancel) {
            reply.outcome = LoginReply::Outcome::Cancelled;
            return reply;
        }
        LoginEntries entries;
        entries.password = crypto::makeSecureString(password);
        reply.outcome = LoginReply::Outcome::Checked;
        reply.result = check(entries);
        return reply;
    }

    const ScriptedPrompter* prompter = nullptr;
    std::string password;
    bool cancel = false;
    int asked = 0;
    std::size_t promptsBefore = 0;
    std::string storedPassword;
    bool askedPassword = false;
};

class AppSessionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        applog::configureLog({dir / "test.log", false});
        login.prompter = &prompter;
    }
    void TearDown() override { applog::configureLog({}); }

    std::unique_ptr<AppSession> makeSession()
    {
        auto session = std::make_unique<AppSession>(prompter, login);
        session->setRegistryFile(dir / "Kestrava.conf");
        session->setDefaultSettingsPath(defaultPath);
        return session;
    }
    void lockWith(const std::filesystem::path& path, const std::string& password)
    {
        settings::SettingsFile file(path);
        ASSERT_TRUE(file.setKestravaXmlValue(kKestravaPwdValue, protectLoginPassword(password)));
        ASSERT_TRUE(file.setKestravaXmlValue(kEnableKestravaPwdValue, "Y"));
    }
    std::string log() const { return test::readFile(dir / "test.log"); }

    TempDir dir;
    ScriptedPrompter prompter;
    ScriptedLogin login;
    std::filesystem::path defaultPath = dir / "default" / "kestrava_settings.xml";
};

TEST_F(AppSessionTest, LocatesThenValidatesThenPassesTheLock)
{
    // The registry names a file that is gone; the user takes the default, which is damaged
    // and locked. Both questions come before the login exchange.
    settings::UserRegistry registry(dir / "Kestrava.conf");
    ASSERT_TRUE(registry.writeValue("Settings", "ConfigFile", (dir / "gone.xml").string()));
    std::filesystem::create_directories(defaultPath.parent_path());
    settings::SettingsFile file(defaultPath);
    ASSERT_TRUE(file.Adv_SaveDriveInfo({"A", "/a", "E:", "PWDA", 1, ""}));
    lockWith(defaultPath, "Secret1");
    std::string text = test::readFile(defaultPath);
    text.replace(text.find("folder=\"/a\""), 11, "folder=\"/c\"");
    test::writeFile(defaultPath, text);

    prompter.expectMessage(settings::kMsgSettingsNotFound, Button::Yes);
    prompter.expectMessage(settings::kMsgSettingsCorrupted, Button::OK);
    login.password = "Secret1";
    auto session = makeSession();
    const OpenResult result = session->open();

    EXPECT_EQ(result.outcome, OpenOutcome::Opened);
    EXPECT_EQ(prompter.unansweredCount(), 0u);
    EXPECT_EQ(login.asked, 1);
    EXPECT_EQ(login.promptsBefore, 2u) << "the lock is passed after the file was found and checked";
    EXPECT_EQ(session->settingsPath(), defaultPath);
    EXPECT_TRUE(session->loginLayer().loginPasswordActive);
    // The damaged file lost its remembered password before the lock was read; login values stay.
    EXPECT_EQ(session->settings().driveRecords()->front().pwd, "");
    EXPECT_FALSE(login.storedPassword.empty());
    const std::string written = log();
    EXPECT_LT(written.find("checkConfigFile: " + defaultPath.string()), written.find("Login: unlocked"));
}

TEST_F(AppSessionTest, LockOutcomes)
{
    lockWith(defaultPath, "Secret1");

    login.password = "wrong-one";
    auto session = makeSession();
    OpenResult result = session->open();
    EXPECT_EQ(result.outcome, OpenOutcome::LoginRefused);
    EXPECT_EQ(result.login.messageId, kMsgIncorrectPassword);
    EXPECT_FALSE(session->loginLayer().loginPasswordActive);
    EXPECT_NE(log().find("!Login: login password refused"), std::string::npos);
    EXPECT_EQ(log().find("wrong-one"), std::string::npos) << "entries never reach the log";

    login.cancel = true;
    session = makeSession();
    EXPECT_EQ(session->open().outcome, OpenOutcome::LoginCancelled);

    // Without a lock nobody is asked.
    settings::SettingsFile(defaultPath).setKestravaXmlValue(kEnableKestravaPwdValue, "N");
    login.asked = 0;
    session = makeSession();
    EXPECT_EQ(session->open().outcome, OpenOutcome::Opened);
    EXPECT_EQ(login.asked, 0);
    EXPECT_FALSE(session->loginLayer().loginPasswordActive);
}

TEST_F(AppSessionTest, PathForThisRunIsNotLookedUpAndMustNameAFile)
{
    settings::UserRegistry registry(dir / "Kestrava.conf");
    ASSERT_TRUE(registry.writeValue("Settings", "ConfigFile", (dir / "gone.xml").string()));
    prompter.setStrict(true);

    auto session = makeSession();
    session->setSettingsPathForRun(dir.path());
    EXPECT_EQ(session->open().outcome, OpenOutcome::SettingsPathIsFolder);

    session = makeSession();
    session->setSettingsPathForRun(dir / "run.xml");
    EXPECT_EQ(session->open().outcome, OpenOutcome::Opened);
    EXPECT_EQ(session->settingsPath(), dir / "run.xml");
    EXPECT_TRUE(prompter.calls().empty()) << "the registry's missing file is never asked about";

    // An unanswerable question about the registry's file stops the start.
    prompter.expectMessage(settings::kMsgSettingsNotFound, Button::Unavailable);
    session = makeSession();
    EXPECT_EQ(session->open().outcome, OpenOutcome::QuestionUnanswered);
}

TEST_F(AppSessionTest, DriveServicesShareTheSessionsPieces)
{
    lockWith(defaultPath, "Secret1");
    login.password = "Secret1";
    auto session = makeSession();
    ASSERT_TRUE(session->open().opened());
    auto host = std::make_shared<test::FakeDriveHost>(dir / "mnt");
    session->startDrives(host);

    drives::DriveServices& services = session->services();
    EXPECT_EQ(&services.host, host.get());
    EXPECT_EQ(&services.rows, &session->rows());
    EXPECT_EQ(&services.mounted, &session->mounted());
    EXPECT_EQ(&services.settings, &session->settings());
    EXPECT_EQ(&services.prompter, &prompter);
    EXPECT_TRUE(services.loginLayer.loginPasswordActive) << "remembered passwords are read under the lock";
}

} // namespace
} // namespace kestrava::session
