#include "core/prefs/SettingsBackup.h"

#include "core/settings/SettingsFile.h"
#include "support/ScriptedPrompter.h"
#include "support/TestSupport.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace kestrava::prefs {
namespace {

const std::string kOld =
    "<?xml version=\"1.0\"?>\n<Kestrava>\n\t<drives />\n\t<Language>English</Language>\n</Kestrava>\n";

std::string backupWithDrives(std::size_t drives)
{
    std::string text = "<?xml version=\"1.0\"?>\n<Kestrava>\n\t<drives>\n";
    for (std::size_t i = 0; i < drives; ++i) {
        text += "\t\t<drive label=\"d" + std::to_string(i) + "\" folder=\"/data/folder" + std::to_string(i) +
                "\" letter=\"K:\" pwd=\"\" automount=\"0\" />\n";
    }
    return text + "\t</drives>\n\t<AutoUpdate>Y</AutoUpdate>\n</Kestrava>\n";
}

// Limits how large this process may make a file, so the copy's write fails half-way.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_saved{};
    void (*m_oldHandler)(int) = nullptr;
};

TEST(SettingsBackupTest, BackupNameFollowsTheDateRuleInLowerCase)
{
    std::tm date{};
    date.tm_year = 114;
    date.tm_mon = 2;
    date.tm_mday = 5;
    EXPECT_EQ(backupFileName(date), "kestrava_settings_14mar05.xml");
    date.tm_year = 126;
    date.tm_mon = 11;
    date.tm_mday = 31;
    EXPECT_EQ(backupFileName(date), "kestrava_settings_26dec31.xml");
}

TEST(SettingsBackupTest, BackupCopiesOrReportsFailure)
{
    test::TempDir dir;
    test::writeFile(dir / "settings.xml", kOld);
    test::ScriptedPrompter prompter;
    ASSERT_TRUE(backupSettings(dir / "settings.xml", dir / "backup.xml", prompter));
    EXPECT_EQ(test::readFile(dir / "backup.xml"), kOld);
    ASSERT_EQ(prompter.calls().size(), 1u);
    EXPECT_EQ(prompter.calls()[0].messageId, kMsgBackupDone);
    EXPECT_EQ(prompter.calls()[0].args, std::vector<std::string>{(dir / "backup.xml").string()});

    EXPECT_FALSE(backupSettings(dir / "settings.xml", dir / "missing" / "backup.xml", prompter));
    EXPECT_FALSE(backupSettings(dir / "absent.xml", dir / "other.xml", prompter));
    EXPECT_EQ(prompter.messageIds(), (std::vector<int>{kMsgBackupDone, kMsgBackupFailed, kMsgBackupFailed}));
    EXPECT_FALSE(std::filesystem::exists(dir / "other.xml"));
    EXPECT_EQ(test::readFile(dir / "settings.xml"), kOld);
}

TEST(SettingsBackupTest, RestoreRefusesFilesThatAreNotSettingsFiles)
{
    test::TempDir dir;
    test::writeFile(dir / "settings.xml", kOld);
    const std::vector<std::string> notSettings = {"not xml at all", "<Other><drives/></Other>",
                                                  "<Kestrava><AutoUpdate>Y</AutoUpdate></Kestrava>",
                                                  "<Kestrava><drives>"};
    for (const auto& text : notSettings) {
        test::writeFile(dir / "chosen.xml", text);
        test::ScriptedPrompter prompter;
        int steps = 0;
        EXPECT_EQ(restoreSettings(dir / "settings.xml", dir / "chosen.xml", prompter,
                                  {[&] { ++steps; }, [&] { ++steps; }, [&] { ++steps; }}),
                  RestoreOutcome::NotSettingsFile)
            << text;
        EXPECT_EQ(prompter.messageIds(), std::vector<int>{kMsgNotSettingsFile});
        EXPECT_EQ(steps, 0);
    }
    test::ScriptedPrompter prompter;
    EXPECT_EQ(restoreSettings(dir / "settings.xml", dir / "absent.xml", prompter, {}),
              RestoreOutcome::NotSettingsFile);
    EXPECT_EQ(test::readFile(dir / "settings.xml"), kOld);
}

TEST(SettingsBackupTest, ConfirmedRestoreCopiesThenUnmountsReloadsAndReappliesLanguage)
{
    test::TempDir dir;
    test::writeFile(dir / "settings.xml", kOld);
    test::writeFile(dir / "chosen.xml", backupWithDrives(2));

    test::ScriptedPrompter declined;
    declined.expectMessage(kMsgRestoreQuestion, Button::No);
    EXPECT_EQ(restoreSettings(dir / "settings.xml", dir / "chosen.xml", declined, {}),
              RestoreOutcome::Declined);
    EXPECT_EQ(test::readFile(dir / "settings.xml"), kOld);

    test::ScriptedPrompter prompter;
    prompter.expectMessage(kMsgRestoreQuestion, Button::Yes);
    std::vector<std::string> order;
    const RestoreSteps steps{
        [&] { order.push_back("unmount"); },
        [&] {
            // The drive list is rebuilt from the restored file.
            const auto records = settings::SettingsFile(dir / "settings.xml").driveRecords();
            order.push_back("reload " + std::to_string(records ? records->size() : 99));
        },
        [&] { order.push_back("language after " + std::to_string(prompter.messageIds().back())); }};
    EXPECT_EQ(restoreSettings(dir / "settings.xml", dir / "chosen.xml", prompter, steps),
              RestoreOutcome::Restored);
    EXPECT_EQ(test::readFile(dir / "settings.xml"), backupWithDrives(2));
    EXPECT_EQ(order, (std::vector<std::string>{"unmount", "reload 2", "language after 215"}));
    EXPECT_EQ(prompter.messageIds(), (std::vector<int>{kMsgRestoreQuestion, kMsgRestoreDone}));
    EXPECT_EQ(prompter.calls()[1].args, std::vector<std::string>{(dir / "settings.xml").string()});
}

TEST(SettingsBackupTest, RestoreThatFailsMidWriteLeavesTheOldFileWhole)
{
    test::TempDir dir;
    test::writeFile(dir / "settings.xml", kOld);
    const std::string big = backupWithDrives(200);
    ASSERT_GT(big.size(), 8192u);
    test::writeFile(dir / "chosen.xml", big);

    test::ScriptedPrompter prompter;
    prompter.expectMessage(kMsgRestoreQuestion, Button::Yes);
    int steps = 0;
    RestoreOutcome outcome;
    {
        // Writes past 4 KiB fail: the copy breaks off in the middle of the file.
        FileSizeLimit limit(4096);
        outcome = restoreSettings(dir / "settings.xml", dir / "chosen.xml", prompter,
                                  {[&] { ++steps; }, [&] { ++steps; }, [&] { ++steps; }});
    }
    EXPECT_EQ(outcome, RestoreOutcome::CopyFailed);
    EXPECT_EQ(steps, 0);
    EXPECT_EQ(prompter.messageIds(), (std::vector<int>{kMsgRestoreQuestion, kMsgRestoreFailed}));
    EXPECT_EQ(test::readFile(dir / "settings.xml"), kOld);
    // No half-written temporary is left beside it either.
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        const auto name = entry.path().filename().string();
        EXPECT_TRUE(name == "settings.xml" || name == "chosen.xml" || name == "settings.xml.lock") << name;
    }
}

} // namespace
} // namespace kestrava::prefs
