// The settings side of kestrava-cli: `where`, --config, --yes, and the start-up check every
// settings-reading command runs first.
#include "CliTestSupport.h"
#include "cli/PasswordInput.h"
#include "cli/TerminalPrompter.h"
#include "cli/commands/SettingsSupport.h"
#include "core/app/ActivityLog.h"
#include "core/settings/Paths.h"
#include "core/settings/SettingsLocation.h"
#include "core/settings/UserRegistry.h"
#include "support/TestSupport.h"

#include <deque>
#include <gtest/gtest.h>
#include <sstream>

namespace kestrava::cli {
namespace {

using test::readFile;
using test::runCliInProcess;
using test::ScopedEnv;
using test::TempDir;
using test::writeFile;

class CliSettingsTest : public ::testing::Test
{
protected:
    void SetUp() override { applog::configureLog({dir / "test.log", false}); }
    void TearDown() override { applog::configureLog({}); }

    std::filesystem::path registryFile() const { return dir / "config" / "Harbrook" / "Kestrava.conf"; }

    // Runs openSettings as a command would, with the given globals and standard input.
    std::optional<settings::SettingsFile> open(GlobalOptions globals, ExitCode& exitCode,
                                               const std::string& input = {})
    {
        std::istringstream in(input);
        Io io{in, out, err, false};
        PasswordInput passwords(io, globals.passwordStdin);
        CommandContext context{io, globals, passwords};
        return openSettings(context, exitCode);
    }

    TempDir dir;
    ScopedEnv home{"HOME", (dir / "home").string()};
    ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").string()};
    ScopedEnv mountRoot{"KESTRAVA_MOUNT_ROOT", std::nullopt};
    settings::UserRegistry registry{registryFile()};
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(CliSettingsTest, WherePrintsEachLocationOnItsOwnLine)
{
    const auto result = runCliInProcess({"where"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string settingsLine = "settings: " + paths::defaultSettingsPath().string() + "\n";
    EXPECT_EQ(result.out.find(settingsLine), 0u) << result.out;
    EXPECT_NE(result.out.find("\nlog: " + paths::logFilePath().string() + "\n"), std::string::npos);
    EXPECT_NE(result.out.find("\nmount root: " + (dir / "home" / "KestravaDrives").string() + "\n"),
              std::string::npos);
    EXPECT_NE(result.out.find("\nlanguages: " + paths::languageFolder().string() + "\n"), std::string::npos);
    EXPECT_NE(result.out.find("\nmode: portable\n"), std::string::npos);

    ScopedEnv root("KESTRAVA_MOUNT_ROOT", "/srv/drives");
    EXPECT_NE(runCliInProcess({"where"}).out.find("\nmount root: /srv/drives\n"), std::string::npos);
    EXPECT_NE(runCliInProcess({"--mount-root", "/media/k", "where"}).out.find("\nmount root: /media/k\n"),
              std::string::npos);
}

TEST_F(CliSettingsTest, WhereShowsTheConfiguredFileAndConfigOverridesItWithoutTouchingTheRegistry)
{
    ASSERT_TRUE(registry.writeValue("Settings", "ConfigFile", (dir / "synced.xml").string()));
    const std::string registryBefore = readFile(registryFile());
    EXPECT_EQ(runCliInProcess({"where"}).out.find("settings: " + (dir / "synced.xml").string() + "\n"), 0u);

    const auto result = runCliInProcess({"where", "--config", (dir / "mine.xml").string()});
    EXPECT_EQ(result.out.find("settings: " + (dir / "mine.xml").string() + "\n"), 0u);
    EXPECT_EQ(readFile(registryFile()), registryBefore);
    EXPECT_EQ(runCliInProcess({"--config=", "where"}).exitCode, 2);
}

TEST_F(CliSettingsTest, OpenSettingsWithConfigChecksTheDigestAndDropsRememberedPasswords)
{
    const std::filesystem::path file = dir / "given.xml";
    settings::SettingsFile settings(file);
    ASSERT_TRUE(settings.Adv_SaveDriveInfo({"A", "/a", "E:", "PWDA", 1, ""}));
    std::string text = readFile(file);
    text.replace(text.find("PWDA"), 4, "PWDX");
    writeFile(file, text);

    GlobalOptions globals;
    globals.configFile = file;
    ExitCode exitCode = ExitCode::Failure;
    const auto opened = open(globals, exitCode);
    ASSERT_TRUE(opened);
    EXPECT_EQ(exitCode, ExitCode::Success);
    EXPECT_EQ(opened->path(), file);
    EXPECT_NE(err.str().find("The Kestrava Settings file is corrupted"), std::string::npos);
    EXPECT_EQ(settings.driveRecords()->at(0).pwd, "");
    EXPECT_TRUE(settings.verifySettingsDigest());
    EXPECT_FALSE(std::filesystem::exists(registryFile())) << "--config neither reads nor writes the registry";

    globals.configFile = dir.path();
    EXPECT_FALSE(open(globals, exitCode));
    EXPECT_EQ(exitCode, ExitCode::Failure);
    EXPECT_NE(err.str().find("names a folder"), std::string::npos);
}

TEST_F(CliSettingsTest, MissingConfiguredFileIsAQuestionThatNeedsATerminalOrYes)
{
    ASSERT_TRUE(registry.writeValue("Settings", "ConfigFile", (dir / "gone.xml").string()));
    ExitCode exitCode = ExitCode::Success;
    EXPECT_FALSE(open({}, exitCode));
    EXPECT_EQ(exitCode, ExitCode::Failure);
    EXPECT_NE(err.str().find("was not found"), std::string::npos);
    EXPECT_NE(err.str().find("no terminal"), std::string::npos);
    EXPECT_EQ(registry.readValue("Settings", "ConfigFile"), (dir / "gone.xml").string()) << "nothing decided";

    GlobalOptions yes;
    yes.assumeYes = true;
    const auto opened = open(yes, exitCode);
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->path(), paths::defaultSettingsPath());
    EXPECT_FALSE(registry.readValue("Settings", "ConfigFile")) << "Yes means the default location";
}

TEST_F(CliSettingsTest, RealProgramWithoutTerminalRefusesToChooseAnAnswer)
{
    // The real program in its own session: no controlling terminal, as under cron or CI.
    ASSERT_TRUE(registry.writeValue("Settings", "ConfigFile", (dir / "gone.xml").string()));
    const std::string registryBefore = readFile(registryFile());
    const auto result = test::runCliProgram({"totp", "off"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("Error! The Kestrava configuration file was not found!"), std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find(std::string("kestrava-cli: ") + kNoTerminalForQuestion), std::string::npos)
        << result.err;
    EXPECT_EQ(readFile(registryFile()), registryBefore);
    EXPECT_FALSE(std::filesystem::exists(dir / "gone.xml"));
}

TEST(TerminalPrompterTest, AnswersFromTheTerminalUntilOneFits)
{
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    Io io{in, out, err, false};
    PasswordInput passwords(io, false);
    std::deque<std::optional<std::string>> lines = {"maybe", "Y"};
    std::vector<std::string> prompts;
    TerminalPrompter prompter(io, passwords, false, [&](const std::string& prompt) {
        prompts.push_back(prompt);
        auto line = lines.front();
        lines.pop_front();
        return line;
    });
    EXPECT_EQ(prompter.messageBox(settings::kMsgSettingsNotFound, {"/x.xml"}, Buttons::YesNo, Icon::Error),
              Button::Yes);
    EXPECT_EQ(prompts, (std::vector<std::string>{"[y]es/[N]o ", "[y]es/[N]o "}));
    EXPECT_NE(err.str().find("(/x.xml)"), std::string::npos);

    lines = {"c"};
    EXPECT_EQ(prompter.messageBox(1, {}, Buttons::YesNoCancel, Icon::Question), Button::Cancel);
    lines = {std::nullopt};
    EXPECT_EQ(prompter.messageBox(1, {}, Buttons::OKCancel, Icon::Question), Button::Unavailable);
    EXPECT_TRUE(prompter.unanswered());
    // An OK-only box is shown and reads nothing.
    EXPECT_EQ(prompter.messageBox(settings::kMsgSettingsCorrupted, {}, Buttons::OK, Icon::Error), Button::OK);
    EXPECT_TRUE(lines.empty());
}

TEST(TerminalPrompterTest, YesAnswersEverythingAndNoTerminalAnswersNothing)
{
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    Io io{in, out, err, false};
    PasswordInput passwords(io, false);
    TerminalPrompter yes(io, passwords, true);
    EXPECT_EQ(yes.messageBox(1, {}, Buttons::YesNo, Icon::Question), Button::Yes);
    EXPECT_EQ(yes.messageBox(1, {}, Buttons::OKCancel, Icon::Question), Button::OK);
    TerminalPrompter none(io, passwords, false);
    EXPECT_EQ(none.messageBox(1, {}, Buttons::YesNo, Icon::Question), Button::Unavailable);
}

TEST(TerminalPrompterTest, DrivePasswordIsAskedAgainWhileTheCheckRefusesIt)
{
    std::istringstream in("wrong\n\nright\n");
    std::ostringstream out;
    std::ostringstream err;
    Io io{in, out, err, false};
    PasswordInput passwords(io, true);
    TerminalPrompter prompter(io, passwords, false);
    DrivePasswordRequest request{
        "Work", "/data/work", "E:", true, false, [](std::string_view typed) { return typed == "right"; }};
    const DrivePasswordAnswer answer = prompter.askDrivePassword(request);
    EXPECT_EQ(answer.outcome, PasswordOutcome::Entered);
    EXPECT_EQ(std::string_view(answer.password), "right");
    EXPECT_TRUE(answer.rememberPassword);
    EXPECT_NE(err.str().find("Folder Location: /data/work"), std::string::npos);
    EXPECT_NE(err.str().find("Error! Incorrect password!"), std::string::npos);

    std::istringstream empty;
    Io io2{empty, out, err, false};
    PasswordInput passwords2(io2, true);
    TerminalPrompter prompter2(io2, passwords2, false);
    EXPECT_EQ(prompter2.askDrivePassword(request).outcome, PasswordOutcome::Unavailable);
}

} // namespace
} // namespace kestrava::cli
