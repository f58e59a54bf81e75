// kestrava-cli settings: each action changes the settings file (or the autostart entry and the
// registry file) as the settings window's OK does, in a scratch home.
#include "CliTestSupport.h"
#include "core/app/ActivityLog.h"
#include "core/settings/SettingsFile.h"
#include "core/settings/UserRegistry.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace kestrava::cli {
namespace {

using test::readFile;
using test::runCliInProcess;
using test::ScopedEnv;
using test::TempDir;
using test::writeFile;

class PreferencesCommandTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        applog::configureLog({dir / "test.log", false});
        writeFile(settingsPath(), "<?xml version=\"1.0\"?>\n<Kestrava>\n\t<drives />\n</Kestrava>\n");
        std::filesystem::create_directories(dir / "lang");
        writeFile(dir / "lang" / "lang_deu.lang", "274\tDeutsch\n277\t1031\n269\tOK\n");
    }
    void TearDown() override { applog::configureLog({}); }

    std::filesystem::path settingsPath() const { return dir / "s.xml"; }
    test::CliResult settings(std::vector<std::string> args, const std::string& input = {})
    {
        args.insert(args.begin(), {"--config", settingsPath().string(), "settings"});
        return runCliInProcess(args, input);
    }
    std::string value(const char* name) const
    {
        return settings::SettingsFile(settingsPath()).getKestravaXmlValue(name);
    }

    TempDir dir;
    ScopedEnv home{"HOME", (dir / "home").string()};
    ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").string()};
    ScopedEnv languages{"KESTRAVA_LANGUAGE_PATH", (dir / "lang").string()};
};

TEST_F(PreferencesCommandTest, SwitchesChangeTheirValuesAndShowTellsWhere)
{
    EXPECT_EQ(settings({"auto-update", "on"}).exitCode, 0);
    EXPECT_EQ(value("AutoUpdate"), "Y");
    EXPECT_EQ(settings({"autostart", "on"}).exitCode, 0);
    EXPECT_NE(readFile(dir / "config" / "autostart" / "kestrava.desktop").find(" /min\n"), std::string::npos);
    EXPECT_EQ(settings({"auto-lock", "--screen", "on", "--idle", "10"}).exitCode, 0);
    EXPECT_EQ(value("AutoLockScreen"), "Y");
    EXPECT_EQ(value("AutoLockIdleMinutes"), "10");
    EXPECT_TRUE(settings::SettingsFile(settingsPath()).verifySettingsDigest());

    const auto shown = settings({"show"});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_NE(shown.out.find("settings file: " + settingsPath().string() + " (--config)\n"),
              std::string::npos);
    EXPECT_NE(shown.out.find("start at login: on ("), std::string::npos);
    EXPECT_NE(shown.out.find("auto-update: on (settings file: AutoUpdate)\n"), std::string::npos);
    EXPECT_NE(shown.out.find("auto-lock after idle minutes: 10 (settings file: AutoLockIdleMinutes)\n"),
              std::string::npos);
    EXPECT_NE(shown.out.find("program: Harbrook Kestrava v"), std::string::npos);

    EXPECT_EQ(settings({"auto-update", "off"}).exitCode, 0);
    EXPECT_EQ(value("AutoUpdate"), "");
    EXPECT_EQ(settings({"autostart", "off"}).exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "config" / "autostart" / "kestrava.desktop"));

    // Bad input changes nothing.
    EXPECT_EQ(settings({"auto-update", "maybe"}).exitCode, 2);
    EXPECT_EQ(settings({"auto-lock", "--idle", "ten"}).exitCode, 2);
    EXPECT_EQ(settings({"frobnicate"}).exitCode, 2);
    EXPECT_EQ(value("AutoLockIdleMinutes"), "10");
    // Without a keyring the option cannot be turned on.
    const auto keyring = settings({"keyring", "on"});
    EXPECT_EQ(keyring.exitCode, 1);
    EXPECT_NE(keyring.err.find("keyring"), std::string::npos);
}

TEST_F(PreferencesCommandTest, BackupRestoreAndMove)
{
    std::filesystem::create_directories(dir / "backups");
    ASSERT_EQ(settings({"backup", (dir / "backups").string()}).exitCode, 0);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "backups")) {
        names.push_back(entry.path().filename().string());
    }
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(names[0].starts_with("kestrava_settings_") && names[0].ends_with(".xml")) << names[0];
    EXPECT_EQ(readFile(dir / "backups" / names[0]), readFile(settingsPath()));

    writeFile(dir / "not-settings.xml", "<Kestrava><AutoUpdate>Y</AutoUpdate></Kestrava>");
    const std::string before = readFile(settingsPath());
    EXPECT_EQ(settings({"restore", (dir / "not-settings.xml").string()}).exitCode, 1);
    EXPECT_EQ(readFile(settingsPath()), before);
    // The question is asked; without a terminal and without --yes nothing happens.
    writeFile(
        dir / "other.xml",
        "<?xml version=\"1.0\"?>\n<Kestrava>\n\t<drives />\n\t<AutoUpdate>Y</AutoUpdate>\n</Kestrava>\n");
    EXPECT_EQ(settings({"restore", (dir / "other.xml").string()}).exitCode, 1);
    EXPECT_EQ(readFile(settingsPath()), before);
    const auto restored = runCliInProcess(
        {"--config", settingsPath().string(), "--yes", "settings", "restore", (dir / "other.xml").string()});
    ASSERT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_EQ(value("AutoUpdate"), "Y");

    std::filesystem::create_directories(dir / "moved");
    ASSERT_EQ(settings({"move", (dir / "moved").string()}).exitCode, 0);
    const settings::SettingsFile moved(dir / "moved" / "kestrava_settings.xml");
    EXPECT_EQ(moved.getKestravaXmlValue("AutoUpdate"), "Y");
    settings::UserRegistry registry(dir / "config" / "Harbrook" / "Kestrava.conf");
    EXPECT_EQ(registry.readValue("Settings", "ConfigFile"), moved.path().string());
    EXPECT_EQ(settings({"move", (dir / "missing-folder").string()}).exitCode, 1);
}

TEST_F(PreferencesCommandTest, LanguagesAreListedAndChosen)
{
    const auto listed = settings({"language", "list"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_EQ(listed.out, "  English\n  Deutsch (lang_deu.lang, 1031)\n");
    EXPECT_EQ(settings({"language", "deu"}).exitCode, 0);
    EXPECT_EQ(value("Language"), "lang_deu.lang");
    EXPECT_EQ(settings({"language", "list"}).out, "  English\n* Deutsch (lang_deu.lang, 1031)\n");
    EXPECT_EQ(settings({"language", "English"}).exitCode, 0);
    EXPECT_EQ(value("Language"), "English");
    EXPECT_EQ(settings({"language", "Klingon"}).exitCode, 1);
    EXPECT_EQ(value("Language"), "English");
}

} // namespace
} // namespace kestrava::cli
