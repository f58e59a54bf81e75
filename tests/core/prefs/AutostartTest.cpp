#include "core/prefs/Autostart.h"

#include "support/ScriptedPrompter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace kestrava::prefs {
namespace {

TEST(AutostartTest, CommandIsCutBeforeTheFirstSwitchAndStartsMinimised)
{
    EXPECT_EQ(autostartCommand("/usr/bin/kestrava"), "/usr/bin/kestrava /min");
    EXPECT_EQ(autostartCommand("/usr/bin/kestrava /runonce /min"), "/usr/bin/kestrava /min");
    EXPECT_EQ(autostartCommand("/opt/k/kestrava --x /y"), "/opt/k/kestrava --x /min");
    // A quoted executable whose path holds " /" keeps its whole path.
    const std::string quoted = programCommandLine("/home/a b /kestrava", {"/min"});
    EXPECT_EQ(quoted, "\"/home/a b /kestrava\" /min");
    EXPECT_EQ(autostartCommand(quoted), "\"/home/a b /kestrava\" /min");
    EXPECT_EQ(programCommandLine("/usr/bin/kestrava", {}), "/usr/bin/kestrava");
}

TEST(AutostartTest, SetQueryAndDeleteTheEntry)
{
    test::TempDir home;
    test::ScopedEnv config("XDG_CONFIG_HOME", (home / "config").string());
    const auto entry = autostartEntryPath();
    EXPECT_EQ(entry, home / "config" / "autostart" / "kestrava.desktop");

    test::ScriptedPrompter prompter;
    EXPECT_FALSE(startWithLogin(AutostartMode::Query, "", &prompter));
    ASSERT_TRUE(startWithLogin(AutostartMode::Set, "/usr/bin/kestrava /runonce", &prompter));
    EXPECT_TRUE(startWithLogin(AutostartMode::Query, "", &prompter));
    const std::string text = test::readFile(entry);
    EXPECT_NE(text.find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(text.find("\nExec=/usr/bin/kestrava /min\n"), std::string::npos);
    EXPECT_NE(text.find("\nType=Application\n"), std::string::npos);

    ASSERT_TRUE(startWithLogin(AutostartMode::Delete, "", &prompter));
    EXPECT_FALSE(startWithLogin(AutostartMode::Query, "", &prompter));
    // Deleting what is not there is no failure.
    EXPECT_TRUE(startWithLogin(AutostartMode::Delete, "", &prompter));
    EXPECT_TRUE(prompter.messageIds().empty());
}

TEST(AutostartTest, FailureShowsMessage22)
{
    test::TempDir home;
    // The autostart "folder" is a file: nothing can be written below it.
    test::writeFile(home / "autostart", "not a folder");
    test::ScriptedPrompter prompter;
    EXPECT_FALSE(startWithLogin(AutostartMode::Set, "/usr/bin/kestrava", &prompter,
                                home / "autostart" / "kestrava.desktop"));
    EXPECT_EQ(prompter.messageIds(), std::vector<int>{kMsgSettingsStoreError});
}

} // namespace
} // namespace kestrava::prefs
