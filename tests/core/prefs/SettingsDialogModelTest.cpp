#include "core/prefs/SettingsDialogModel.h"

#include "core/access/GoogleAuth.h"
#include "core/access/LoginPassword.h"
#include "core/app/ActivityLog.h"
#include "core/settings/UserRegistry.h"
#include "support/ScriptedPrompter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace kestrava::prefs {
namespace {

const std::string kEmpty = "<?xml version=\"1.0\"?>\n<Kestrava>\n\t<drives />\n</Kestrava>\n";

class SettingsDialogModelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        applog::configureLog({m_dir / "k.log", false});
        test::writeFile(settingsPath(), kEmpty);
    }
    void TearDown() override { applog::configureLog({}); }

    std::filesystem::path settingsPath() const { return m_dir / "settings.xml"; }
    settings::SettingsFile file() const { return settings::SettingsFile(settingsPath()); }

    std::unique_ptr<SettingsDialogModel> open()
    {
        SettingsDialogContext context{settingsPath(), m_dir / "default.xml", m_registry, m_prompter};
        context.commandLine = "/usr/bin/kestrava /runonce";
        context.autostartEntry = m_dir / "autostart" / "kestrava.desktop";
        context.newSecret = [] { return crypto::makeSecureString("ABCDEFGHIJKLMNOP"); };
        SettingsDialogWindows windows;
        windows.changeLoginPassword = [this](bool requiredNow) {
            passwordWindowCalls.push_back(requiredNow);
            if (!passwordWindowAnswer) {
                return false;
            }
            settings::SettingsFile f(settingsPath());
            settings::SettingsProgramValues values(f);
            return saveLoginPassword(values, "secret-1").has_value();
        };
        windows.pairing = [this](const crypto::SecureString& secret) -> std::optional<crypto::SecureString> {
            pairingShown.emplace_back(secret.begin(), secret.end());
            if (!pairingAnswer) {
                return std::nullopt;
            }
            settings::SettingsFile f(settingsPath());
            settings::SettingsProgramValues values(f);
            GoogleAuthState state;
            state.secret = secret;
            state.accountName = "me";
            saveGoogleAuth(values, state, GoogleAuthPart::SecretAndName);
            return secret;
        };
        return std::make_unique<SettingsDialogModel>(std::move(context), std::move(windows));
    }

    test::TempDir m_dir;
    settings::UserRegistry m_registry{m_dir / "registry.conf"};
    test::ScriptedPrompter m_prompter;
    std::vector<bool> passwordWindowCalls;
    bool passwordWindowAnswer = true;
    std::vector<std::string> pairingShown;
    bool pairingAnswer = true;
};

TEST_F(SettingsDialogModelTest, OpensWithTheStoredStates)
{
    auto fresh = open();
    EXPECT_FALSE(fresh->startAtLogin || fresh->autoUpdate || fresh->loginRequired || fresh->googleAuth);
    EXPECT_EQ(fresh->passwordButtonText(), kTextSetupPassword);
    EXPECT_EQ(fresh->keyButtonText(), kTextSetupKey);
    EXPECT_FALSE(fresh->clearPasswordEnabled());
    EXPECT_FALSE(fresh->clearKeyEnabled());
    EXPECT_EQ(fresh->settingsPath(), settingsPath());

    settings::SettingsFile f = file();
    settings::SettingsProgramValues values(f);
    ASSERT_TRUE(saveLoginPassword(values, "secret-1"));
    GoogleAuthState pairing;
    pairing.enabled = true;
    pairing.secret = crypto::makeSecureString("ABCDEFGHIJKLMNOP");
    ASSERT_TRUE(saveGoogleAuth(values, pairing, GoogleAuthPart::SecretAndName));
    ASSERT_TRUE(saveGoogleAuth(values, pairing, GoogleAuthPart::Enabled));
    ASSERT_TRUE(values.set("AutoUpdate", "Y"));
    ASSERT_TRUE(startWithLogin(AutostartMode::Set, "/usr/bin/kestrava", nullptr,
                               m_dir / "autostart" / "kestrava.desktop"));

    auto stored = open();
    EXPECT_TRUE(stored->startAtLogin && stored->autoUpdate && stored->loginRequired && stored->googleAuth);
    EXPECT_EQ(stored->passwordButtonText(), kTextChangePassword);
    EXPECT_EQ(stored->keyButtonText(), kTextChangeKey);
    EXPECT_TRUE(stored->clearPasswordEnabled());
    EXPECT_TRUE(stored->clearKeyEnabled());

    // Only exactly "Y" requires the password.
    ASSERT_TRUE(values.set("EnableKestravaPwd", "y"));
    EXPECT_FALSE(open()->loginRequired);
}

TEST_F(SettingsDialogModelTest, TickingTheLoginBoxWithoutAPasswordSetsOneAtOnce)
{
    auto model = open();
    passwordWindowAnswer = false;
    model->setLoginBox(true);
    EXPECT_FALSE(model->loginRequired);
    EXPECT_FALSE(file().getKestravaXmlValue("EnableKestravaPwd") == "Y");

    passwordWindowAnswer = true;
    model->setLoginBox(true);
    EXPECT_TRUE(model->loginRequired);
    EXPECT_EQ(file().getKestravaXmlValue("EnableKestravaPwd"), "Y");
    EXPECT_EQ(passwordWindowCalls, (std::vector<bool>{false, false}));
    EXPECT_EQ(model->passwordButtonText(), kTextChangePassword);
    EXPECT_TRUE(model->clearPasswordEnabled());

    // With a password stored, the box alone opens no window; it counts at OK only.
    model->setLoginBox(false);
    EXPECT_FALSE(model->loginRequired);
    EXPECT_EQ(passwordWindowCalls.size(), 2u);
    EXPECT_EQ(file().getKestravaXmlValue("EnableKestravaPwd"), "Y");
    model->ok();
    EXPECT_EQ(file().getKestravaXmlValue("EnableKestravaPwd"), "N");
}

TEST_F(SettingsDialogModelTest, PasswordButtonAndClearPassword)
{
    auto model = open();
    model->passwordButton();
    EXPECT_EQ(passwordWindowCalls, std::vector<bool>{false});
    EXPECT_TRUE(model->loginRequired);
    EXPECT_EQ(model->passwordButtonText(), kTextChangePassword);
    model->passwordButton();
    EXPECT_EQ(passwordWindowCalls, (std::vector<bool>{false, true}));

    model->clearPassword();
    EXPECT_FALSE(model->loginRequired);
    EXPECT_EQ(model->passwordButtonText(), kTextSetupPassword);
    EXPECT_FALSE(model->clearPasswordEnabled());
    settings::SettingsFile f = file();
    settings::SettingsProgramValues values(f);
    EXPECT_FALSE(values.has("KestravaPwd"));
    EXPECT_FALSE(values.has("EnableKestravaPwd"));
}

TEST_F(SettingsDialogModelTest, KeyButtonPairsAndClearKeyForgets)
{
    auto model = open();
    pairingAnswer = false;
    model->setGoogleAuthBox(true);
    EXPECT_FALSE(model->googleAuth);
    EXPECT_EQ(model->keyButtonText(), kTextSetupKey);
    EXPECT_EQ(pairingShown, std::vector<std::string>{"ABCDEFGHIJKLMNOP"});

    pairingAnswer = true;
    model->keyButton();
    EXPECT_TRUE(model->googleAuth);
    EXPECT_EQ(model->keyButtonText(), kTextChangeKey);
    EXPECT_TRUE(model->clearKeyEnabled());

    // "Change Key" shows the stored secret; Cancel changes nothing.
    pairingAnswer = false;
    model->keyButton();
    EXPECT_EQ(pairingShown.back(), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(model->keyButtonText(), kTextChangeKey);

    model->clearKey();
    EXPECT_FALSE(model->googleAuth);
    EXPECT_EQ(model->keyButtonText(), kTextSetupKey);
    EXPECT_FALSE(model->clearKeyEnabled());
    settings::SettingsFile f = file();
    settings::SettingsProgramValues values(f);
    EXPECT_FALSE(values.has("GoogleAuthKey"));
}

TEST_F(SettingsDialogModelTest, OkAppliesEveryDeferredOption)
{
    auto model = open();
    model->startAtLogin = true;
    model->autoUpdate = true;
    model->googleAuth = true;
    model->autoLock.onSleep = true;
    const SettingsApplied applied = model->ok();
    EXPECT_TRUE(applied.googleAuthActive);
    EXPECT_FALSE(applied.loginPasswordActive);
    EXPECT_FALSE(applied.moved);
    EXPECT_NE(test::readFile(m_dir / "autostart" / "kestrava.desktop").find("Exec=/usr/bin/kestrava /min\n"),
              std::string::npos);
    EXPECT_EQ(file().getKestravaXmlValue("AutoUpdate"), "Y");
    EXPECT_EQ(file().getKestravaXmlValue("EnableKestravaPwd"), "N");
    EXPECT_EQ(file().getKestravaXmlValue("EnableGoogleAuth"), "Y");
    EXPECT_EQ(file().getKestravaXmlValue("AutoLockSleep"), "Y");
    EXPECT_TRUE(file().verifySettingsDigest());
    // A file that was not moved and sits elsewhere than the default is recorded.
    EXPECT_EQ(m_registry.readValue("Settings", "ConfigFile"), settingsPath().string());
    EXPECT_NE(test::readFile(m_dir / "k.log").find("SettingsDlg: OnBnClickedOk"), std::string::npos);

    model->startAtLogin = false;
    model->autoUpdate = false;
    model->ok();
    EXPECT_FALSE(std::filesystem::exists(m_dir / "autostart" / "kestrava.desktop"));
    EXPECT_EQ(file().getKestravaXmlValue("AutoUpdate"), "");
}

TEST_F(SettingsDialogModelTest, MoveCopiesAtOkOverAnExistingFile)
{
    test::writeFile(m_dir / "default.xml", "old contents");
    auto model = open();
    model->setSettingsPath(m_dir / "default.xml");
    EXPECT_EQ(file().getKestravaXmlValue("AutoUpdate"), "");
    model->googleAuth = true;
    model->autoUpdate = true;
    ASSERT_TRUE(file().setKestravaXmlValue("Language", "English"));
    const SettingsApplied applied = model->ok();
    EXPECT_TRUE(applied.moved);
    // The old file stays as it was; every later step of OK wrote to the new place.
    EXPECT_EQ(file().getKestravaXmlValue("AutoUpdate"), "");
    EXPECT_EQ(file().getKestravaXmlValue("EnableGoogleAuth"), "");
    EXPECT_EQ(applied.settingsPath, m_dir / "default.xml");
    EXPECT_EQ(model->pathAtOpen(), m_dir / "default.xml");
    settings::SettingsFile moved(m_dir / "default.xml");
    EXPECT_EQ(moved.getKestravaXmlValue("Language"), "English");
    EXPECT_EQ(moved.getKestravaXmlValue("AutoUpdate"), "Y");
    EXPECT_EQ(moved.getKestravaXmlValue("EnableGoogleAuth"), "Y");
    EXPECT_TRUE(moved.verifySettingsDigest());
    // The default location is never written to the registry.
    EXPECT_FALSE(m_registry.readValue("Settings", "ConfigFile").has_value());
}

TEST_F(SettingsDialogModelTest, FailedMoveKeepsTheOldPathAndSays53)
{
    auto model = open();
    model->setSettingsPath(m_dir / "no-such-folder" / "s.xml");
    const SettingsApplied applied = model->ok();
    EXPECT_FALSE(applied.moved);
    EXPECT_EQ(applied.settingsPath, settingsPath());
    EXPECT_EQ(m_prompter.messageIds(), std::vector<int>{53});
    EXPECT_EQ(m_registry.readValue("Settings", "ConfigFile"), settingsPath().string());
}

TEST_F(SettingsDialogModelTest, KeyringOptionMovesPasswordsOnlyWhenAvailable)
{
    std::vector<bool> moves;
    {
        SettingsDialogContext context{settingsPath(), m_dir / "default.xml", m_registry, m_prompter};
        context.autostartEntry = m_dir / "autostart" / "kestrava.desktop";
        context.moveRememberedPasswords = [&](bool toKeyring) {
            moves.push_back(toKeyring);
            return true;
        };
        SettingsDialogModel model(std::move(context), {});
        EXPECT_TRUE(model.keyringSelectable());
        model.keyringPasswords = true;
        model.ok();
        model.ok(); // unchanged: nothing moves again
    }
    EXPECT_EQ(moves, std::vector<bool>{true});
    EXPECT_EQ(file().getKestravaXmlValue("KeyringPasswords"), "Y");

    SettingsDialogContext context{settingsPath(), m_dir / "default.xml", m_registry, m_prompter};
    context.autostartEntry = m_dir / "autostart" / "kestrava.desktop";
    context.keyringUnavailable = "no Secret Service on the session bus";
    SettingsDialogModel model(std::move(context), {});
    EXPECT_TRUE(model.keyringPasswords);
    EXPECT_FALSE(model.keyringSelectable());
    model.keyringPasswords = false;
    model.ok();
    EXPECT_EQ(file().getKestravaXmlValue("KeyringPasswords"), "Y");
}

} // namespace
} // namespace kestrava::prefs
