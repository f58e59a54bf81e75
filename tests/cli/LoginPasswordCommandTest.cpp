#include "CliTestSupport.h"
#include "ProgramLockFixture.h"

namespace kestrava::test {
namespace {

class LoginPasswordCommand : public ProgramLockFixture
{
};

TEST_F(LoginPasswordCommand, SetStoresTheProtectedPasswordAndSwitchesItOn)
{
    const CliResult r = run({"--password-stdin", "login-password", "set"}, "Secret1\nSecret1\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Password: Good"), std::string::npos) << r.out;
    EXPECT_EQ(value("EnableKestravaPwd"), "Y");
    const std::string stored = value("KestravaPwd");
    EXPECT_TRUE(verifyLoginPassword(stored, "Secret1"));
    EXPECT_EQ(readFile(settingsPath).find("Secret1"), std::string::npos);
    EXPECT_TRUE(file().verifySettingsDigest());
}

TEST_F(LoginPasswordCommand, SetRefusesShortOrUnconfirmedPasswords)
{
    CliResult r = run({"--password-stdin", "login-password", "set"}, "abcde\nabcde\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kestrava-cli: Error! Password needs to be at least 6 characters.\n");
    r = run({"--password-stdin", "login-password", "set"}, "abcdef\nabcdeg\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kestrava-cli: Error! Password verification failed.\n");
    const std::string tooLong(129, 'p');
    r = run({"--password-stdin", "login-password", "set"}, tooLong + "\n" + tooLong + "\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(std::filesystem::exists(settingsPath) && has("KestravaPwd"));
}

TEST_F(LoginPasswordCommand, ChangeNeedsTheCurrentPassword)
{
    storeLoginPassword("Secret1", "Y");
    // Lock entry, then current, new and confirmation.
    CliResult r = run({"--login-stdin", "--password-stdin", "login-password", "set"},
                      "Secret1\nsecret1\nNewPass2\nNewPass2\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kestrava-cli: Error! Incorrect password!\n");
    EXPECT_TRUE(verifyLoginPassword(value("KestravaPwd"), "Secret1"));

    r = run({"--login-stdin", "--password-stdin", "login-password", "set"},
            "Secret1\nSecret1\nNewPass2\nNewPass2\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(verifyLoginPassword(value("KestravaPwd"), "NewPass2"));
}

TEST_F(LoginPasswordCommand, CurrentPasswordIsAskedEvenWhenSwitchedOff)
{
    storeLoginPassword("Secret1", "N");
    const CliResult r = run({"--password-stdin", "login-password", "set"}, "wrong1\nNewPass2\nNewPass2\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(value("EnableKestravaPwd"), "N");
}

TEST_F(LoginPasswordCommand, OnOffAndClear)
{
    CliResult r = run({"login-password", "on"});
    EXPECT_EQ(r.exitCode, 1); // nothing to require yet
    EXPECT_NE(r.err.find("login-password set"), std::string::npos);

    storeLoginPassword("Secret1", "Y");
    r = run({"--login-stdin", "login-password", "off"}, "Secret1\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(value("EnableKestravaPwd"), "N");
    r = run({"login-password", "on"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(value("EnableKestravaPwd"), "Y");

    r = run({"--login-stdin", "login-password", "clear"}, "Secret1\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(has("KestravaPwd"));
    EXPECT_FALSE(has("EnableKestravaPwd"));
    // Nothing is asked any more.
    r = run({"totp", "off"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST_F(LoginPasswordCommand, UsageErrors)
{
    EXPECT_EQ(run({"login-password"}).exitCode, 2);
    EXPECT_EQ(run({"login-password", "reset"}).exitCode, 2);
    EXPECT_EQ(run({"login-password", "on", "off"}).exitCode, 2);
    EXPECT_FALSE(std::filesystem::exists(settingsPath));
}

TEST_F(LoginPasswordCommand, UnparsableSettingsFileIsLeftAlone)
{
    writeFile(settingsPath, "<Kestrava><KestravaPwd>");
    const CliResult r = run({"--password-stdin", "login-password", "set"}, "Secret1\nSecret1\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Cannot load the configuration file"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(settingsPath), "<Kestrava><KestravaPwd>");
}

} // namespace
} // namespace kestrava::test
