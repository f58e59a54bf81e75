// The whole update run over a loopback server: which questions come in which order, what is
// downloaded, kept, deleted and started, and what the log says.
#include "core/update/ProgramUpdate.h"

#include "core/access/MemoryProgramValues.h"
#include "core/access/ProgramValues.h"
#include "core/app/ActivityLog.h"
#include "core/settings/UserRegistry.h"
#include "core/update/InstallerStart.h"
#include "core/update/RunOnce.h"
#include "core/update/StartTimers.h"
#include "support/LoopbackHttpServer.h"
#include "support/ScriptedPrompter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <thread>

namespace kestrava::update {
namespace {

using test::LoopbackHttpServer;
using test::ScriptedPrompter;
using test::TempDir;
using Response = LoopbackHttpServer::Response;

constexpr const char* kLink = "https://kestrava.example/updates";

class RecordingWindow : public DownloadWindow
{
public:
    void open(const std::string& version) override { events.push_back("open " + version); }
    void progress(const DownloadProgress& progress) override { percents.push_back(progress.percent()); }
    void close() override { events.push_back("close"); }

    std::vector<std::string> events;
    std::vector<std::optional<int>> percents;
};

class ProgramUpdateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        applog::configureLog({m_dir / "kestrava.log", false});
        m_keys = crypto::generateSigningKeys();
        m_settings.elements["AutoUpdate"].text = "Y";
        std::filesystem::create_directory(m_downloads);
    }
    void TearDown() override { applog::configureLog({}); }

    // The server offers version with an installer signed by key for programName.
    void publish(const std::string& version, const crypto::SecureBytes& key,
                 std::string_view programName = kOwnProgramName)
    {
        const std::string name = installerFileName(version);
        const std::filesystem::path local = m_dir / name;
        test::writeFile(local, m_installer);
        m_server.set("/update.txt", Response::text(version));
        m_server.set("/" + name, Response::text(m_installer));
        m_server.set("/" + name + ".sig", Response::text(*makeSignatureFile(local, key, programName, kLink)));
    }

    UpdateSite site(bool withKey = true) const
    {
        std::optional<Publisher> publisher;
        if (withKey) {
            publisher =
                Publisher{std::string(kOwnProgramName), kLink, m_keys.publicKey, serialOf(m_keys.publicKey)};
        }
        return UpdateSite{m_server.baseUrl(), "1.2.9.0", publisher, kLink, m_downloads};
    }

    UpdateRunResult run(const UpdateRunOptions& options, bool withKey = true)
    {
        HttpOptions http;
        http.stallTimeout = std::chrono::seconds(5);
        HttpClient client(http);
        ProgramUpdate update(m_prompter, client, site(withKey));
        update.setDownloadWindow(&m_window);
        update.setInstallerStarter([this](const std::filesystem::path& installer, std::string&) {
            m_started.push_back(installer);
            return true;
        });
        update.setExitProgram([this] { ++m_exits; });
        return update.run(options, m_settings);
    }

    std::vector<std::string> logMessages() const
    {
        std::vector<std::string> messages;
        std::istringstream lines(test::readFile(m_dir / "kestrava.log"));
        for (std::string line; std::getline(lines, line);) {
            const std::size_t tab = line.find('\t');
            messages.push_back(line.substr(tab + 1, line.find_last_not_of('\r') - tab));
        }
        return messages;
    }

    TempDir m_dir;
    std::filesystem::path m_downloads = m_dir / "downloads";
    LoopbackHttpServer m_server;
    ScriptedPrompter m_prompter;
    RecordingWindow m_window;
    test::MemoryProgramValues m_settings;
    crypto::SigningKeyPair m_keys;
    std::string m_installer = "#!/bin/sh\n" + std::string(10000, '#') + "\necho installed\n";
    std::vector<std::filesystem::path> m_started;
    int m_exits = 0;
};

TEST_F(ProgramUpdateTest, VerifiedInstallerIsStartedAndTheProgramEnds)
{
    publish("1.2.10.0", m_keys.privateKey);
    m_prompter.expectMessage(kMsgUpdateAvailable, Button::Yes).expectMessage(kMsgRunSetup, Button::OK);
    const UpdateRunResult result = run({});
    EXPECT_EQ(result.end, UpdateEnd::InstallerStarted);
    EXPECT_EQ(m_prompter.messageIds(), (std::vector<int>{kMsgUpdateAvailable, kMsgRunSetup}));
    EXPECT_EQ(m_prompter.calls().front().args, std::vector<std::string>{"1.2.10.0"});
    const std::filesystem::path installer = m_downloads / "kestrava_1.2.10.0_setup.run";
    EXPECT_EQ(m_started, std::vector{installer});
    EXPECT_EQ(m_exits, 1);
    EXPECT_EQ(test::readFile(installer), m_installer);
    EXPECT_EQ(m_window.events, (std::vector<std::string>{"open 1.2.10.0", "close"}));
    EXPECT_EQ(m_window.percents.front(), 0);
    EXPECT_EQ(m_window.percents.back(), 100);
    const auto log = logMessages();
    EXPECT_EQ(log.front(), "startProgramUpdate: http - ManualUpdate(0)");
    EXPECT_EQ(log.back(), "startProgramUpdate: ShellExecute(" + installer.string() + ")");
}

TEST_F(ProgramUpdateTest, CancelKeepsTheVerifiedInstallerWithoutStartingIt)
{
    publish("1.3", m_keys.privateKey);
    m_prompter.expectMessage(kMsgUpdateAvailable, Button::Yes).expectMessage(kMsgRunSetup, Button::Cancel);
    EXPECT_EQ(run({}).end, UpdateEnd::Kept);
    EXPECT_TRUE(m_started.empty());
    EXPECT_EQ(m_exits, 0);
    EXPECT_TRUE(std::filesystem::exists(m_downloads / "kestrava_1.3_setup.run"));

    // kestrava-cli: no questions; started only when asked to.
    EXPECT_EQ(run({true, false, InstallerStep::Keep}).end, UpdateEnd::Kept);
    EXPECT_EQ(run({true, false, InstallerStep::Run}).end, UpdateEnd::InstallerStarted);
    EXPECT_EQ(m_started.size(), 1u);
    EXPECT_EQ(m_prompter.messageIds().size(), 2u);
}

TEST_F(ProgramUpdateTest, WrongSignatureDeletesTheDownloadAndSays341)
{
    for (const bool otherKey : {true, false}) {
        SCOPED_TRACE(otherKey ? "signed with another key" : "signed for another program");
        const crypto::SigningKeyPair stranger = crypto::generateSigningKeys();
        publish("1.3", otherKey ? stranger.privateKey : m_keys.privateKey,
                otherKey ? kOwnProgramName : "Harbrook Other");
        m_prompter.expectMessage(kMsgUpdateAvailable, Button::Yes);
        const auto before = m_prompter.messageIds().size();
        EXPECT_EQ(run({}).end, UpdateEnd::SignatureFailed);
        const auto ids = m_prompter.messageIds();
        EXPECT_EQ(std::vector<int>(ids.begin() + static_cast<long>(before), ids.end()),
                  (std::vector<int>{kMsgUpdateAvailable, kMsgSignatureFailed}));
        EXPECT_EQ(m_prompter.calls().back().icon, Icon::Error);
        EXPECT_FALSE(std::filesystem::exists(m_downloads / "kestrava_1.3_setup.run"));
        EXPECT_FALSE(std::filesystem::exists(m_downloads / "kestrava_1.3_setup.run.sig"));
        EXPECT_TRUE(m_started.empty());
    }
}

TEST_F(ProgramUpdateTest, InstallerWithoutSignatureIsNotTrusted)
{
    publish("1.3", m_keys.privateKey);
    m_server.set("/kestrava_1.3_setup.run.sig", Response::text("", 404));
    m_prompter.expectMessage(kMsgUpdateAvailable, Button::Yes);
    EXPECT_EQ(run({}).end, UpdateEnd::SignatureFailed);
    EXPECT_EQ(m_prompter.messageIds().back(), kMsgSignatureFailed);
    EXPECT_FALSE(std::filesystem::exists(m_downloads / "kestrava_1.3_setup.run"));
}

TEST_F(ProgramUpdateTest, ManualCheckSaysNothingNewByPlainTextOrder)
{
    // Equal versions.
    publish("1.2.9.0", m_keys.privateKey);
    EXPECT_EQ(run({true}).end, UpdateEnd::NoUpdate);
    EXPECT_EQ(m_prompter.messageIds(), std::vector<int>{kMsgNoUpdate});
    // Automatic: silent.
    EXPECT_EQ(run({false}).end, UpdateEnd::NoUpdate);
    EXPECT_EQ(m_prompter.messageIds().size(), 1u);

    // Declining 1.2.10.0 while running 1.2.9.0 still says there is nothing new: "1.2.9.0" sorts
    // after "1.2.10.0" character by character.
    publish("1.2.10.0", m_keys.privateKey);
    m_prompter.expectMessage(kMsgUpdateAvailable, Button::No);
    const UpdateRunResult declined = run({true});
    EXPECT_EQ(declined.check.result, CheckResult::Declined);
    EXPECT_EQ(m_prompter.messageIds(), (std::vector<int>{kMsgNoUpdate, kMsgUpdateAvailable, kMsgNoUpdate}));
    // Declining 1.3 does not ("1.2.9.0" sorts before "1.3").
    publish("1.3", m_keys.privateKey);
    m_prompter.expectMessage(kMsgUpdateAvailable, Button::No);
    run({true});
    EXPECT_EQ(m_prompter.messageIds().back(), kMsgUpdateAvailable);
    EXPECT_EQ(logMessages().back(), "startProgramUpdate: No update available!");
    // Nothing was downloaded.
    EXPECT_TRUE(std::filesystem::is_empty(m_downloads));
}

TEST_F(ProgramUpdateTest, AutomaticCheckNeedsAutoUpdateY)
{
    publish("1.3", m_keys.privateKey);
    for (const char* value : {"", "y", "N", "Yes"}) {
        if (*value == '\0') {
            m_settings.elements.erase("AutoUpdate");
        } else {
            m_settings.elements["AutoUpdate"].text = value;
        }
        EXPECT_EQ(run({}).end, UpdateEnd::NotEnabled) << value;
    }
    m_settings.elements["AutoUpdate"].text = "Y";
    m_settings.unreadable = true;
    EXPECT_EQ(run({}).end, UpdateEnd::NotEnabled);
    EXPECT_TRUE(m_server.requests().empty());
    EXPECT_TRUE(m_prompter.calls().empty());
    // Only the first line, once per run.
    EXPECT_EQ(logMessages(), std::vector<std::string>(5, "startProgramUpdate: http - ManualUpdate(0)"));
}

TEST_F(ProgramUpdateTest, WithoutAKeyOnlyTheDownloadPageIsShown)
{
    publish("1.3", m_keys.privateKey);
    EXPECT_EQ(run({}, false).end, UpdateEnd::DownloadPageOnly);
    ASSERT_EQ(m_prompter.messageIds(), std::vector<int>{kMsgDownloadPageOnly});
    EXPECT_EQ(m_prompter.calls().front().args, (std::vector<std::string>{"1.3", kLink}));
    EXPECT_EQ(m_server.requests(), std::vector<std::string>{"/update.txt"});
    EXPECT_TRUE(std::filesystem::is_empty(m_downloads));
    EXPECT_TRUE(m_started.empty());
}

TEST_F(ProgramUpdateTest, FailedDownloadKeepsThePartialFileAndAsksNothingMore)
{
    publish("1.3", m_keys.privateKey);
    m_server.set("/kestrava_1.3_setup.run", Response::cut(m_installer, 3000));
    m_prompter.expectMessage(kMsgUpdateAvailable, Button::Yes);
    const UpdateRunResult result = run({});
    EXPECT_EQ(result.check.result, CheckResult::DownloadFailed);
    EXPECT_EQ(m_prompter.messageIds(), std::vector<int>{kMsgUpdateAvailable});
    EXPECT_EQ(test::readFile(m_downloads / "kestrava_1.3_setup.run").size(), 3000u);
    EXPECT_EQ(m_window.events.back(), "close");
}

TEST_F(ProgramUpdateTest, RunOnceHandOffEnablesTheCheckThatFollows)
{
    // The installer left "AutoUpdate" = "1"; the settings file has no choice yet.
    settings::UserRegistry registry(m_dir / "Kestrava.conf");
    ASSERT_TRUE(registry.writeValue(settings::kRegistryGroup, settings::kAutoUpdateKey, "1"));
    m_settings.elements.erase("AutoUpdate");
    publish("1.3", m_keys.privateKey);
    m_prompter.expectMessage(kMsgUpdateAvailable, Button::No);

    const StartTimers::Clock::time_point start{std::chrono::hours(1)};
    StartTimers timers(start, true);
    std::vector<StartTask> ran;
    for (auto now = start; timers.untilNext(now); now += std::chrono::milliseconds(250)) {
        for (const StartTask task : timers.takeDue(now)) {
            ran.push_back(task);
            if (task == StartTask::RunOnce) {
                EXPECT_EQ(now - start, kRunOnceDelay);
                EXPECT_TRUE(carryOverInstallerAutoUpdate(registry, m_settings));
            } else {
                EXPECT_EQ(now - start, kAutoUpdateDelay);
                run({});
            }
        }
    }
    EXPECT_EQ(ran, (std::vector{StartTask::RunOnce, StartTask::AutoUpdateCheck}));
    EXPECT_EQ(m_settings.elements["AutoUpdate"].text, "Y");
    EXPECT_FALSE(registry.readValue(settings::kRegistryGroup, settings::kAutoUpdateKey).has_value());
    // The check ran because the hand-off had enabled it.
    EXPECT_EQ(m_prompter.messageIds(), std::vector<int>{kMsgUpdateAvailable});
}

TEST(InstallerStart, StartsDetachedOrSaysWhyNot)
{
    TempDir dir;
    const std::filesystem::path script = dir / "setup.run";
    const std::filesystem::path mark = dir / "ran";
    test::writeFile(script, "#!/bin/sh\necho \"$$\" > '" + mark.string() + "'\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    std::string error;
    ASSERT_TRUE(startDetached(script, error)) << error;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!std::filesystem::exists(mark) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(std::filesystem::exists(mark));

    const std::filesystem::path plain = dir / "not-executable";
    test::writeFile(plain, "data");
    EXPECT_FALSE(startDetached(plain, error));
    EXPECT_FALSE(error.empty());
}

} // namespace
} // namespace kestrava::update
