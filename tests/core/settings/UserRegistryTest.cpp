#include "core/settings/UserRegistry.h"

#include "core/app/ActivityLog.h"
#include "core/settings/Paths.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace kestrava::settings {
namespace {

using test::readFile;
using test::ScopedEnv;
using test::TempDir;
using test::writeFile;

class UserRegistryTest : public ::testing::Test
{
protected:
    void SetUp() override { applog::configureLog({dir / "test.log", false}); }
    void TearDown() override { applog::configureLog({}); }

    TempDir dir;
    std::filesystem::path file = dir / "Harbrook" / "Kestrava.conf";
    UserRegistry registry{file};
};

TEST_F(UserRegistryTest, WriteReadDeleteValueAndGroup)
{
    EXPECT_FALSE(registry.readValue("Settings", "ConfigFile"));
    ASSERT_TRUE(registry.writeValue("Settings", "ConfigFile", "/home/u/my settings=1.xml"));
    ASSERT_TRUE(registry.writeValue("Settings", "AutoUpdate", "1"));
    EXPECT_EQ(registry.readValue("Settings", "ConfigFile"), "/home/u/my settings=1.xml");
    EXPECT_EQ(readFile(file), "[Settings]\nConfigFile=/home/u/my settings=1.xml\nAutoUpdate=1\n");
    struct stat st
    {
    };
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    ASSERT_TRUE(registry.writeValue("Settings", "AutoUpdate", "Y"));
    EXPECT_EQ(registry.readValue("Settings", "AutoUpdate"), "Y");
    ASSERT_TRUE(registry.deleteValue("Settings", "AutoUpdate"));
    EXPECT_FALSE(registry.readValue("Settings", "AutoUpdate"));
    EXPECT_TRUE(registry.deleteValue("Settings", "AutoUpdate")) << "already gone is fine";
    ASSERT_TRUE(registry.deleteGroup("Settings"));
    EXPECT_FALSE(registry.readValue("Settings", "ConfigFile"));

    EXPECT_FALSE(registry.writeValue("Settings", "ConfigFile", "two\nlines"));
    EXPECT_FALSE(registry.writeValue("Settings", "a=b", "x"));
}

TEST_F(UserRegistryTest, KeepsWhatItDoesNotKnow)
{
    std::filesystem::create_directories(file.parent_path());
    writeFile(file, "; written by hand\n[General]\nTheme=dark\n\n[Settings]\n# note\nOther = kept \n"
                    "ConfigFile=/old.xml\n\n[Later]\nx=1\n");
    ASSERT_TRUE(registry.writeValue("Settings", "ConfigFile", "/new.xml"));
    ASSERT_TRUE(registry.writeValue("Settings", "AutoUpdate", "1"));
    EXPECT_EQ(readFile(file),
              "; written by hand\n[General]\nTheme=dark\n\n[Settings]\n# note\nOther = kept \n"
              "ConfigFile=/new.xml\nAutoUpdate=1\n\n[Later]\nx=1\n");
    EXPECT_EQ(registry.readValue("Settings", "Other"), "kept");
    EXPECT_EQ(registry.readValue("General", "Theme"), "dark");
    ASSERT_TRUE(registry.deleteGroup("Settings"));
    EXPECT_EQ(readFile(file), "; written by hand\n[General]\nTheme=dark\n\n[Later]\nx=1\n");
}

TEST_F(UserRegistryTest, RegistryRoutineModes)
{
    std::string path = "/somewhere/kestrava_settings.xml";
    ASSERT_TRUE(settingsRegistry(registry, RegistryMode::WriteConfigFile, path));
    path.clear();
    ASSERT_TRUE(settingsRegistry(registry, RegistryMode::ReadConfigFile, path));
    EXPECT_EQ(path, "/somewhere/kestrava_settings.xml");
    ASSERT_TRUE(settingsRegistry(registry, RegistryMode::DeleteSection, path));
    EXPECT_FALSE(settingsRegistry(registry, RegistryMode::ReadConfigFile, path));
    EXPECT_EQ(path, "");
    ASSERT_TRUE(registry.writeValue("Settings", "ConfigFile", ""));
    EXPECT_FALSE(settingsRegistry(registry, RegistryMode::ReadConfigFile, path)) << "empty means default";
}

TEST_F(UserRegistryTest, UnreadableRegistryIsNotOverwritten)
{
    std::filesystem::create_directories(file); // a folder where the file should be
    EXPECT_FALSE(registry.readValue("Settings", "ConfigFile"));
    EXPECT_FALSE(registry.writeValue("Settings", "ConfigFile", "/x.xml"));
    EXPECT_TRUE(std::filesystem::is_directory(file));
}

TEST(PathsTest, LocationsFollowHomeAndXdgVariables)
{
    TempDir dir;
    ScopedEnv home("HOME", (dir / "home").string());
    ScopedEnv config("XDG_CONFIG_HOME", (dir / "config").string());
    ScopedEnv state("XDG_STATE_HOME", std::nullopt);
    ScopedEnv mount("KESTRAVA_MOUNT_ROOT", std::nullopt);

    EXPECT_EQ(paths::registryFilePath(), dir / "config" / "Harbrook" / "Kestrava.conf");
    EXPECT_EQ(paths::defaultSettingsPathFor("/usr/bin/kestrava-cli"),
              dir / "config" / "kestrava" / "kestrava_settings.xml");
    EXPECT_EQ(paths::defaultSettingsPathFor("/opt/kestrava/kestrava"),
              dir / "config" / "kestrava" / "kestrava_settings.xml");
    EXPECT_EQ(paths::defaultSettingsPathFor("/home/u/apps/kestrava/kestrava-cli"),
              "/home/u/apps/kestrava/kestrava_settings.xml");
    EXPECT_EQ(paths::defaultSettingsPathFor("/usr-local/kestrava-cli"), "/usr-local/kestrava_settings.xml");
    EXPECT_EQ(paths::stateHome(), dir / "home" / ".local/state");
    EXPECT_EQ(paths::mountRoot(), dir / "home" / "KestravaDrives");
    {
        ScopedEnv relative("XDG_CONFIG_HOME", "relative/config");
        EXPECT_EQ(paths::registryFilePath(), dir / "home" / ".config" / "Harbrook" / "Kestrava.conf");
    }
    {
        ScopedEnv root("KESTRAVA_MOUNT_ROOT", "/mnt/k");
        EXPECT_EQ(paths::mountRoot(), "/mnt/k");
        EXPECT_EQ(paths::mountRoot(std::filesystem::path("/media/drives")), "/media/drives");
    }
    // This test program is not installed under /usr or /opt: its settings lie beside it.
    EXPECT_FALSE(paths::isInstalled());
    EXPECT_EQ(paths::defaultSettingsPath(), paths::executablePath().parent_path() / "kestrava_settings.xml");
}

TEST(PathsTest, LanguagePacksComeFromTheDataFolderOnlyWhenInstalledInABinFolder)
{
    EXPECT_EQ(paths::languageFolderFor("/usr/bin/kestrava"), "/usr/share/kestrava/lang");
    EXPECT_EQ(paths::languageFolderFor("/usr/local/bin/kestrava-cli"), "/usr/local/share/kestrava/lang");
    EXPECT_EQ(paths::languageFolderFor("/opt/kestrava/bin/kestrava"), "/opt/kestrava/share/kestrava/lang");
    // A flat folder under /opt, and any portable copy, keep the packs beside the executable.
    EXPECT_EQ(paths::languageFolderFor("/opt/kestrava/kestrava"), "/opt/kestrava/lang");
    EXPECT_EQ(paths::languageFolderFor("/home/u/build/bin/kestrava"), "/home/u/build/bin/lang");
    EXPECT_EQ(paths::languageFolder(), paths::executablePath().parent_path() / "lang");
}

} // namespace
} // namespace kestrava::settings
