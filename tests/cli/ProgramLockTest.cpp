#include "CliTestSupport.h"
#include "ProgramLockFixture.h"
#include "cli/commands/SettingsSupport.h"

namespace kestrava::test {
namespace {

constexpr const char* kIncorrect = "kestrava-cli: Error! Incorrect password!\n";

class ProgramLock : public ProgramLockFixture
{
};

TEST_F(ProgramLock, NoLockAsksNothing)
{
    storeLoginPassword("Secret1", "N");
    storePairing("N");
    const CliResult r = run({"--login-stdin", "totp", "off"}, "");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(value("EnableGoogleAuth"), "N");
}

TEST_F(ProgramLock, PasswordOnly)
{
    storeLoginPassword("Secret1", "Y");
    CliResult r = run({"--login-stdin", "totp", "off"}, "secret1\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, kIncorrect);
    EXPECT_FALSE(has("EnableGoogleAuth")); // nothing was changed

    r = run({"totp", "off", "--login-stdin"}, "Secret1\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(value("EnableGoogleAuth"), "N");

    // An empty entry gets the prompt's length message.
    r = run({"--login-stdin", "totp", "off"}, "\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("at least 6 characters"), std::string::npos) << r.err;
}

TEST_F(ProgramLock, WithoutEntriesOrTerminalTheCommandFails)
{
    storeLoginPassword("Secret1", "Y");
    CliResult r = run({"totp", "off"}, "Secret1\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("no terminal"), std::string::npos) << r.err;
    r = run({"--login-stdin", "totp", "off"}, "");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(has("EnableGoogleAuth"));
}

TEST_F(ProgramLock, SwitchOnWithoutStoredPasswordAcceptsAnyEntry)
{
    ASSERT_TRUE(file().setKestravaXmlValue("EnableKestravaPwd", "Y"));
    // Nothing is tested, so nothing is read: any entry, or none, opens.
    CliResult r = run({"--login-stdin", "totp", "off"}, "anything at all\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    r = run({"totp", "off"}, "");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // With codes enabled too, the one line asked is the code.
    storePairing("Y");
    r = run({"--login-stdin", "totp", "off"}, currentCode() + "\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST_F(ProgramLock, CodeOnly)
{
    storeLoginPassword("Secret1", "N");
    storePairing("Y");
    CliResult r = run({"--login-stdin", "login-password", "on"}, "Secret1\n");
    EXPECT_EQ(r.exitCode, 1); // the one line is taken as the code
    EXPECT_EQ(value("EnableKestravaPwd"), "N");

    const auto now = std::chrono::system_clock::now();
    r = run({"--login-stdin", "login-password", "on"},
            codeAt(kPairedSecret, now - std::chrono::minutes(5)) + "\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, kIncorrect);

    r = run({"--login-stdin", "login-password", "on"}, currentCode() + "\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(value("EnableKestravaPwd"), "Y");
}

TEST_F(ProgramLock, BothPasswordThenCode)
{
    storeLoginPassword("Secret1", "Y");
    storePairing("Yes");
    CliResult r = run({"--login-stdin", "totp", "off"}, "Secret1\n" + currentCode() + "\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;

    storePairing("Y");
    r = run({"--login-stdin", "totp", "off"}, currentCode() + "\nSecret1\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, kIncorrect);
    // A code one digit short is about the code, not about password length.
    r = run({"--login-stdin", "totp", "off"}, "Secret1\n12345\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kestrava-cli: Error! The one-time code has six digits.\n");
    EXPECT_EQ(value("EnableGoogleAuth"), "Y");
}

// Run without a terminal, the lock names the option that supplies its entries, even when
// passwords come from standard input.
TEST_F(ProgramLock, WithoutATerminalTheHintNamesLoginStdin)
{
    storeLoginPassword("Secret1", "Y");
    for (const auto& args :
         {std::vector<std::string>{"list"}, std::vector<std::string>{"--password-stdin", "list"}}) {
        const CliResult r = runProgram(args, "Secret1\n");
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("use --login-stdin"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("--password-stdin"), std::string::npos) << r.err;
    }
}

TEST_F(ProgramLock, DamagedSecretReportsTheSettingsFile)
{
    storePairing("Y", "");
    const CliResult r = run({"--login-stdin", "totp", "off"}, "123456\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err,
              "kestrava-cli: Error! Cannot load the configuration file: " + settingsPath.string() + ".\n");
}

TEST_F(ProgramLock, TokenCommandsAndHelpAreNotLocked)
{
    storeLoginPassword("Secret1", "Y");
    storePairing("Y");
    CliResult r = run({"--password-stdin", "init", (dir / "drive").string()}, "abcdef\nabcdef\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    r = run({"--password-stdin", "verify", (dir / "drive").string()}, "abcdef\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    r = run({"totp", "--help"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    r = run({"login-password", "--help"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

// The run state a command sees after openSettings, given the lock's entries.
LoginLayerState sessionAfter(const std::filesystem::path& settingsPath, const std::string& entries)
{
    std::istringstream in(entries);
    std::ostringstream out, err;
    cli::Io io{in, out, err, false};
    cli::GlobalOptions globals;
    globals.loginStdin = true;
    globals.configFile = settingsPath;
    cli::PasswordInput passwords(io, false);
    cli::CommandContext context{io, globals, passwords};
    cli::ExitCode exitCode = cli::ExitCode::Failure;
    const auto opened = cli::openSettings(context, exitCode);
    EXPECT_TRUE(opened.has_value()) << err.str();
    return context.loginSession;
}

TEST_F(ProgramLock, RunStateFollowsTheSwitches)
{
    storeLoginPassword("Secret1", "Y");
    storePairing("Y");
    LoginLayerState session = sessionAfter(settingsPath, "Secret1\n" + currentCode() + "\n");
    EXPECT_TRUE(session.loginPasswordActive);
    EXPECT_TRUE(session.googleAuthActive);
    EXPECT_EQ(session.googleAuthSecret, kPairedSecret);
    EXPECT_EQ(formatDrvPaswd(session).size(), 16u);

    // Codes enabled, switch absent: the password is still tested but does not count.
    ASSERT_TRUE(file().removeKestravaXmlValue("EnableKestravaPwd"));
    session = sessionAfter(settingsPath, "Secret1\n" + currentCode() + "\n");
    EXPECT_FALSE(session.loginPasswordActive);
    EXPECT_TRUE(session.googleAuthActive);

    // No lock: nothing is in force.
    ASSERT_TRUE(file().setKestravaXmlValue("EnableGoogleAuth", "N"));
    session = sessionAfter(settingsPath, "");
    EXPECT_FALSE(session.loginPasswordActive || session.googleAuthActive);
    EXPECT_EQ(formatDrvPaswd(session), "");
}

TEST_F(ProgramLock, EntriesNeverReachTheLog)
{
    storeLoginPassword("Secret1", "Y");
    run({"--login-stdin", "totp", "off"}, "WrongPassword9\n");
    run({"--login-stdin", "totp", "off"}, "Secret1\n");
    const std::string log = readFile(logPath);
    EXPECT_NE(log.find("Login: unlocked"), std::string::npos);
    EXPECT_EQ(log.find("WrongPassword9"), std::string::npos);
    EXPECT_EQ(log.find("Secret1"), std::string::npos);
}

TEST_F(ProgramLock, RealProgramReadsEntriesFromStandardInput)
{
    storeLoginPassword("Secret1", "Y");
    CliResult r = runProgram({"--login-stdin", "login-password", "off"}, "Secret\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, kIncorrect);
    r = runProgram({"--login-stdin", "login-password", "off"}, "Secret1\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(value("EnableKestravaPwd"), "N");
}

} // namespace
} // namespace kestrava::test
