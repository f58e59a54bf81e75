#include "cli/commands/TotpCommand.h"

#include "CliTestSupport.h"
#include "ProgramLockFixture.h"

namespace kestrava::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::system_clock;

const Clock::time_point kNow = Clock::time_point(std::chrono::seconds(1111111109));

class TotpCommand : public ProgramLockFixture
{
protected:
    // Runs the command directly with a fixed secret and clock.
    CliResult pair(const std::string& input, std::optional<std::string> account = std::nullopt,
                   const std::string& loginInput = {})
    {
        auto command = cli::makeTotpCommand(
            {[] { return crypto::makeSecureString(kPairedSecret); }, [] { return kNow; }});
        std::istringstream in(loginInput + input);
        std::ostringstream out, err;
        cli::Io io{in, out, err, false};
        cli::GlobalOptions globals;
        globals.passwordStdin = true;
        globals.loginStdin = true;
        globals.configFile = settingsPath;
        cli::PasswordInput passwords(io, true);
        cli::CommandContext context{io, globals, passwords};
        cli::ParsedArguments args;
        args.positional = {"pair"};
        if (account) {
            args.values["account"] = *account;
        }
        CliResult result;
        result.exitCode = static_cast<int>(command->run(context, args));
        result.out = out.str();
        result.err = err.str();
        return result;
    }
};

TEST_F(TotpCommand, PairPrintsTheSecretAddressAndCodeAndStoresOnlyAfterVerifying)
{
    const CliResult r = pair(codeAt(kPairedSecret, kNow) + "\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Account: Kestrava\n"), std::string::npos);
    EXPECT_NE(r.out.find("Key: GEZDGNBVGY3TQOJQ\n"), std::string::npos);
    EXPECT_NE(r.out.find("otpauth://totp/Kestrava?secret=GEZDGNBVGY3TQOJQ"), std::string::npos);
    EXPECT_NE(r.out.find("\u2584"), std::string::npos); // the QR code's half blocks
    EXPECT_EQ(std::string(token::unprotectText(value("GoogleAuthKey"))), kPairedSecret);
    EXPECT_EQ(file().getKestravaXmlAttribute("GoogleAuthKey", "KeyName"), "Kestrava");
    EXPECT_FALSE(has("EnableGoogleAuth")); // switching on is a separate step
    EXPECT_TRUE(file().verifySettingsDigest());
}

TEST_F(TotpCommand, WrongFirstCodeStoresNothing)
{
    for (const std::string& code : {codeAt(kPairedSecret, kNow - 90s), std::string("12a456"), std::string(""),
                                    codeAt(kPairedSecret, kNow) + "0"}) {
        const CliResult r = pair(code + "\n");
        EXPECT_EQ(r.exitCode, 1) << code;
        EXPECT_NE(r.err.find("Incorrect password"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("date & time"), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(settingsPath) && has("GoogleAuthKey"));
}

TEST_F(TotpCommand, FirstCodeMayBeTwoStepsOff)
{
    EXPECT_EQ(pair(codeAt(kPairedSecret, kNow + 60s) + "\n").exitCode, 0);
    EXPECT_EQ(pair(codeAt(kPairedSecret, kNow - 60s) + "\n").exitCode, 0);
}

TEST_F(TotpCommand, AccountNameIsKeptForTheNextPairing)
{
    ASSERT_EQ(pair(codeAt(kPairedSecret, kNow) + "\n", "My PC?x").exitCode, 0);
    EXPECT_EQ(file().getKestravaXmlAttribute("GoogleAuthKey", "KeyName"), "My PC?x");
    const CliResult again = pair(codeAt(kPairedSecret, kNow) + "\n");
    EXPECT_NE(again.out.find("otpauth://totp/My%20PC%3Fx?secret="), std::string::npos) << again.out;
}

TEST_F(TotpCommand, PairingIsLockedToo)
{
    storeLoginPassword("Secret1", "Y");
    EXPECT_EQ(pair(codeAt(kPairedSecret, kNow) + "\n", std::nullopt, "wrong-one\n").exitCode, 1);
    EXPECT_FALSE(has("GoogleAuthKey"));
    EXPECT_EQ(pair(codeAt(kPairedSecret, kNow) + "\n", std::nullopt, "Secret1\n").exitCode, 0);
    EXPECT_TRUE(has("GoogleAuthKey"));
}

TEST_F(TotpCommand, OnNeedsAPairing)
{
    CliResult r = run({"totp", "on"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("totp pair"), std::string::npos);
    EXPECT_FALSE(has("EnableGoogleAuth"));

    ASSERT_TRUE(file().setKestravaXmlValue("GoogleAuthKey", token::protectText("gezdgnbvgy3tqojq")));
    EXPECT_EQ(run({"totp", "on"}).exitCode, 1); // a lower-case secret gives no key

    storePairing("N");
    r = run({"totp", "on"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(value("EnableGoogleAuth"), "Y");
    // From now on every settings command asks for the code.
    r = run({"--login-stdin", "totp", "off"}, currentCode() + "\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(value("EnableGoogleAuth"), "N");
}

TEST_F(TotpCommand, ClearRemovesPairingAndSwitch)
{
    storePairing("Y");
    const CliResult r = run({"--login-stdin", "totp", "clear"}, currentCode() + "\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(has("GoogleAuthKey"));
    EXPECT_FALSE(has("EnableGoogleAuth"));
}

TEST_F(TotpCommand, UsageErrors)
{
    EXPECT_EQ(run({"totp"}).exitCode, 2);
    EXPECT_EQ(run({"totp", "sync"}).exitCode, 2);
    EXPECT_EQ(run({"totp", "on", "--account", "x"}).exitCode, 2);
    EXPECT_EQ(run({"totp", "pair", "--account", std::string(128, 'a')}).exitCode, 2);
    EXPECT_EQ(run({"totp", "pair", "--account", "  "}).exitCode, 2);
    EXPECT_FALSE(std::filesystem::exists(settingsPath));
}

} // namespace
} // namespace kestrava::test
