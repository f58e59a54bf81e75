#include "core/settings/SettingsLocation.h"

#include "core/app/ActivityLog.h"
#include "support/ScriptedPrompter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrava::settings {
namespace {

using test::readFile;
using test::ScriptedPrompter;
using test::TempDir;
using test::writeFile;

class SettingsLocationTest : public ::testing::Test
{
protected:
    void SetUp() override { applog::configureLog({dir / "test.log", false}); }
    void TearDown() override { applog::configureLog({}); }

    void configure(const std::filesystem::path& path)
    {
        ASSERT_TRUE(registry.writeValue("Settings", "ConfigFile", path.string()));
        ASSERT_TRUE(registry.writeValue("Settings", "AutoUpdate", "1"));
    }
    bool sectionGone() const { return !registry.readValue("Settings", "AutoUpdate"); }

    TempDir dir;
    UserRegistry registry{dir / "Kestrava.conf"};
    std::filesystem::path defaultPath = dir / "default" / "kestrava_settings.xml";
};

TEST_F(SettingsLocationTest, NothingConfiguredMeansTheDefaultWithoutQuestions)
{
    ScriptedPrompter prompter;
    const LocatedSettings located = locateSettingsFile(registry, prompter, defaultPath);
    EXPECT_EQ(located.path, defaultPath);
    EXPECT_FALSE(located.configured);
    EXPECT_TRUE(prompter.calls().empty());
    EXPECT_FALSE(registry.readValue("Settings", "ConfigFile")) << "the default is not written";
}

TEST_F(SettingsLocationTest, ConfiguredExistingFileIsUsed)
{
    writeFile(dir / "mine.xml", "<Kestrava/>");
    configure(dir / "mine.xml");
    ScriptedPrompter prompter;
    const LocatedSettings located = locateSettingsFile(registry, prompter, defaultPath);
    EXPECT_EQ(located.path, dir / "mine.xml");
    EXPECT_TRUE(located.configured);
    EXPECT_TRUE(prompter.calls().empty());
}

TEST_F(SettingsLocationTest, MissingConfiguredFileAnsweredNoKeepsThePath)
{
    configure(dir / "gone.xml");
    ScriptedPrompter prompter;
    prompter.expectMessage(kMsgSettingsNotFound, Button::No);
    const LocatedSettings located = locateSettingsFile(registry, prompter, defaultPath);
    EXPECT_EQ(located.path, dir / "gone.xml");
    ASSERT_EQ(prompter.calls().size(), 1u);
    EXPECT_EQ(prompter.calls()[0].args, std::vector<std::string>{(dir / "gone.xml").string()});
    EXPECT_EQ(prompter.calls()[0].buttons, Buttons::YesNo);
    EXPECT_EQ(prompter.calls()[0].icon, Icon::Error);
    EXPECT_FALSE(sectionGone());

    // The next write recreates the file there.
    ASSERT_TRUE(SettingsFile(located.path).Adv_SaveDriveInfo({"L", "/f", "E:", "", 0, ""}));
    EXPECT_TRUE(std::filesystem::exists(dir / "gone.xml"));
}

TEST_F(SettingsLocationTest, MissingConfiguredFileAnsweredYesUsesTheDefaultAndClearsTheSection)
{
    configure(dir / "gone.xml");
    ScriptedPrompter prompter;
    prompter.expectMessage(kMsgSettingsNotFound, Button::Yes);
    const LocatedSettings located = locateSettingsFile(registry, prompter, defaultPath);
    EXPECT_EQ(located.path, defaultPath);
    EXPECT_FALSE(located.configured);
    EXPECT_TRUE(sectionGone());
}

TEST_F(SettingsLocationTest, FolderUnreadableFileAndMissingFolderGetTheirOwnMessages)
{
    std::filesystem::create_directories(dir / "afolder");
    configure(dir / "afolder");
    ScriptedPrompter prompter;
    prompter.expectMessage(kMsgSettingsIsFolder, Button::No);
    EXPECT_EQ(locateSettingsFile(registry, prompter, defaultPath).path, dir / "afolder");

    configure(dir / "nofolder" / "kestrava_settings.xml");
    prompter.expectMessage(kMsgSettingsNoFolder, Button::Yes);
    EXPECT_EQ(locateSettingsFile(registry, prompter, defaultPath).path, defaultPath);

    // A file that cannot be read as a settings file (here a named pipe) says why.
    ASSERT_EQ(::mkfifo((dir / "pipe.xml").c_str(), 0600), 0);
    configure(dir / "pipe.xml");
    prompter.expectMessage(kMsgSettingsUnreadable, Button::No);
    EXPECT_EQ(locateSettingsFile(registry, prompter, defaultPath).path, dir / "pipe.xml");
    EXPECT_EQ(prompter.calls().back().args,
              (std::vector<std::string>{(dir / "pipe.xml").string(), "is not a regular file"}));

    if (::geteuid() != 0) { // root reads every file
        writeFile(dir / "locked.xml", "<Kestrava/>");
        std::filesystem::permissions(dir / "locked.xml", std::filesystem::perms::none);
        configure(dir / "locked.xml");
        prompter.expectMessage(kMsgSettingsUnreadable, Button::No);
        EXPECT_EQ(locateSettingsFile(registry, prompter, defaultPath).path, dir / "locked.xml");
        EXPECT_EQ(prompter.calls().back().args.size(), 2u) << "path and reason";
    }
}

TEST_F(SettingsLocationTest, UnansweredQuestionLeavesEverythingAsItWas)
{
    configure(dir / "gone.xml");
    ScriptedPrompter prompter;
    prompter.expectMessage(kMsgSettingsNotFound, Button::Unavailable);
    const LocatedSettings located = locateSettingsFile(registry, prompter, defaultPath);
    EXPECT_TRUE(located.unanswered);
    EXPECT_TRUE(located.path.empty());
    EXPECT_FALSE(sectionGone());
}

TEST_F(SettingsLocationTest, StartupValidationOfACorruptedFileRemovesEveryRememberedPassword)
{
    SettingsFile settings(dir / "s.xml");
    ASSERT_TRUE(settings.Adv_SaveDriveInfo({"A", "/a", "E:", "PWDA", 1, ""}));
    ASSERT_TRUE(settings.Adv_SaveDriveInfo({"B", "/b", "F:", "PWDB", 0, ""}));
    ASSERT_TRUE(settings.Adv_SaveDriveInfo({"A2", "/a", "E:", "PWDA2", 0, ""}));
    ASSERT_TRUE(settings.setKestravaXmlValue("KestravaPwd", "loginform"));

    ScriptedPrompter quiet;
    EXPECT_FALSE(validateSettingsAtStart(settings, quiet).corrupted);
    EXPECT_TRUE(quiet.calls().empty());

    std::string text = readFile(settings.path());
    text.replace(text.find("folder=\"/b\""), 11, "folder=\"/c\"");
    writeFile(settings.path(), text);

    ScriptedPrompter prompter;
    prompter.setStrict(true);
    prompter.expectMessage(kMsgSettingsCorrupted, Button::OK);
    const ValidationResult result = validateSettingsAtStart(settings, prompter);
    EXPECT_TRUE(result.corrupted);
    EXPECT_EQ(result.passwordsRemoved, 3u);
    EXPECT_EQ(prompter.calls()[0].icon, Icon::Error);
    const auto records = settings.driveRecords();
    ASSERT_TRUE(records);
    for (const DriveRecord& record : *records) {
        EXPECT_EQ(record.pwd, "") << record.label;
    }
    EXPECT_EQ(settings.getKestravaXmlValue("KestravaPwd"), "loginform") << "login values stay";
    EXPECT_TRUE(settings.verifySettingsDigest());
    EXPECT_NE(readFile(dir / "test.log").find("RemoveDrivePwd Removed: /c - F:"), std::string::npos);
}

TEST_F(SettingsLocationTest, StartupValidationWithoutRecordsLeavesTheFileAlone)
{
    SettingsFile settings(dir / "s.xml");
    writeFile(settings.path(), "<Kestrava><drives/><digest>wrong</digest></Kestrava>");
    for (int start = 0; start < 2; ++start) {
        ScriptedPrompter prompter;
        prompter.expectMessage(kMsgSettingsCorrupted, Button::OK);
        EXPECT_TRUE(validateSettingsAtStart(settings, prompter).corrupted);
    }
    EXPECT_EQ(readFile(settings.path()), "<Kestrava><drives/><digest>wrong</digest></Kestrava>");

    ScriptedPrompter none;
    EXPECT_FALSE(validateSettingsAtStart(SettingsFile(dir / "missing.xml"), none).checked);
    EXPECT_TRUE(none.calls().empty());
}

TEST_F(SettingsLocationTest, DialogChoices)
{
    configure(dir / "x.xml");
    EXPECT_EQ(useDefaultSettingsLocation(registry, defaultPath), defaultPath);
    EXPECT_TRUE(sectionGone());

    EXPECT_EQ(useSettingsFolder(registry, dir / "sync"), dir / "sync" / "kestrava_settings.xml");
    EXPECT_EQ(registry.readValue("Settings", "ConfigFile"),
              (dir / "sync" / "kestrava_settings.xml").string());

    ASSERT_TRUE(storeSettingsLocation(registry, defaultPath, defaultPath));
    EXPECT_FALSE(registry.readValue("Settings", "ConfigFile"));
    ASSERT_TRUE(storeSettingsLocation(registry, dir / "y.xml", defaultPath));
    EXPECT_EQ(registry.readValue("Settings", "ConfigFile"), (dir / "y.xml").string());
}

} // namespace
} // namespace kestrava::settings
