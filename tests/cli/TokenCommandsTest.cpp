// End-to-end tests of init, info, verify and passwd over temporary folders.
#include "CliTestSupport.h"
#include "core/settings/SavedPasswords.h"
#include "core/token/DriveContext.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace kestrava::test {
namespace {

class TokenCommandsTest : public ::testing::Test
{
protected:
    TempDir dir;
    std::string folder = (dir / "drive").string();
    std::filesystem::path token = token::tokenPathFor(dir / "drive");

    void init(const std::string& password = "secret1")
    {
        const CliResult r =
            runCliInProcess({"init", folder, "--password-stdin"}, password + "\n" + password + "\n");
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }

    crypto::SecureBytes masterKeyFor(const std::string& typed)
    {
        token::DriveContext ctx(hashStr(typed));
        EXPECT_EQ(ctx.unlock(token), token::TokenLoadStatus::Loaded);
        return ctx.masterKey();
    }
};

TEST_F(TokenCommandsTest, InitWritesATokenTheTypedPasswordOpens)
{
    const CliResult r = runCliInProcess(
        {"init", folder, "--plain-names", "--case-sensitive", "--password-stdin"}, "secret1\nsecret1\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    token::DriveContext ctx(hashStr("secret1"));
    ASSERT_EQ(ctx.unlock(token), token::TokenLoadStatus::Loaded);
    EXPECT_FALSE(ctx.options().fileNameEncryption);
    EXPECT_FALSE(ctx.options().caseInsensitive);
    EXPECT_TRUE(ctx.options().longFileNames);
}

TEST_F(TokenCommandsTest, InitAppliesThePasswordRuleAndRefusesToOverwrite)
{
    CliResult r = runCliInProcess({"init", folder, "--password-stdin"}, "abcde\nabcde\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kestrava-cli: Error! Password needs to be at least 6 characters.\n");
    EXPECT_FALSE(std::filesystem::exists(token));

    r = runCliInProcess({"init", folder, "--password-stdin"}, "abcdef\nabcdeg\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kestrava-cli: Error! Password verification failed.\n");

    init();
    const std::string before = readFile(token);
    r = runCliInProcess({"init", folder, "--password-stdin"}, "another1\nanother1\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("already holds a security token"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(token), before);

    r = runCliInProcess({"init", folder, "--force", "--password-stdin"}, "another1\nanother1\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    masterKeyFor("another1");
}

TEST_F(TokenCommandsTest, InfoShowsSettingsWithoutSecrets)
{
    init();
    const CliResult r = runCliInProcess({"info", folder});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("legacy: no\n"), std::string::npos);
    EXPECT_NE(r.out.find("key size: 32\n"), std::string::npos);
    EXPECT_NE(r.out.find("kdf iterations: 100\n"), std::string::npos);
    EXPECT_NE(r.out.find("kdf duration: 0\n"), std::string::npos);
    EXPECT_NE(r.out.find("file name encryption: on\n"), std::string::npos);
    EXPECT_NE(r.out.find("long file names: on\n"), std::string::npos);
    EXPECT_NE(r.out.find("case-insensitive names: off\n"), std::string::npos);
    EXPECT_EQ(r.out.find("digest"), std::string::npos);
}

TEST_F(TokenCommandsTest, VerifyAcceptsOnlyThePassword)
{
    init();
    CliResult r = runCliInProcess({"verify", folder, "--password-stdin"}, "secret1\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    r = runCliInProcess({"--password-stdin", "verify", folder}, "secret2\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kestrava-cli: Error! Incorrect password!\n");
    r = runCliInProcess({"verify", folder, "--password-stdin"}, "");
    EXPECT_EQ(r.exitCode, 1) << "no input, no password";
    r = runCliInProcess({"verify", folder}, "secret1\n");
    EXPECT_EQ(r.exitCode, 1) << "no terminal and no --password-stdin";
    EXPECT_NE(r.err.find("--password-stdin"), std::string::npos);
}

TEST_F(TokenCommandsTest, PasswdRewrapsAndKeepsTheMasterKey)
{
    init();
    const crypto::SecureBytes masterKey = masterKeyFor("secret1");
    CliResult r = runCliInProcess({"passwd", folder, "--password-stdin"}, "wrong11\nnewpass\nnewpass\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kestrava-cli: Error! Incorrect password!\n");

    r = runCliInProcess({"passwd", folder, "--password-stdin"}, "secret1\nshort\nshort\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("at least 6 characters"), std::string::npos);
    EXPECT_EQ(masterKeyFor("secret1"), masterKey) << "a refused change keeps the old password";

    r = runCliInProcess({"passwd", folder, "--password-stdin"}, "secret1\nnewpass\nnewpass\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(masterKeyFor("newpass"), masterKey);
    token::DriveContext old(hashStr("secret1"));
    EXPECT_EQ(old.unlock(token), token::TokenLoadStatus::WrongPassword);
}

TEST_F(TokenCommandsTest, MalformedTokensAreReportedNotRewritten)
{
    std::filesystem::create_directories(dir / "drive");
    for (const std::string& bad :
         {std::string(), std::string("<Kestrava><keysize>0</keysize></Kestrava>"),
          std::string("<?xml version=\"1.0\"?><Kestrava><keysize>32"), std::string("\x01\x02\xff")}) {
        writeFile(token, bad);
        for (const auto& args :
             std::vector<std::vector<std::string>>{{"info", folder},
                                                   {"verify", folder, "--password-stdin"},
                                                   {"passwd", folder, "--password-stdin"}}) {
            const CliResult r = runCliInProcess(args, "secret1\nnewpass\nnewpass\n");
            EXPECT_EQ(r.exitCode, 1) << args[0];
            EXPECT_EQ(r.err.rfind("kestrava-cli: Error! The file is not a Kestrava security token: ", 0), 0u)
                << r.err;
            EXPECT_NE(r.err.find("recover " + folder + " --token BACKUPFILE"), std::string::npos) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << "one line";
            EXPECT_EQ(readFile(token), bad);
        }
    }
    std::filesystem::remove(token);
    std::filesystem::create_directory(token);
    EXPECT_EQ(runCliInProcess({"info", folder}).exitCode, 1);
    EXPECT_EQ(runCliInProcess({"verify", folder, "--password-stdin"}, "secret1\n").exitCode, 1);
}

TEST_F(TokenCommandsTest, UsageErrorsExitWithTwo)
{
    EXPECT_EQ(runCliInProcess({}).exitCode, 2);
    EXPECT_EQ(runCliInProcess({"frobnicate"}).exitCode, 2);
    EXPECT_EQ(runCliInProcess({"info"}).exitCode, 2);
    EXPECT_EQ(runCliInProcess({"info", "a", "b"}).exitCode, 2);
    EXPECT_EQ(runCliInProcess({"init", folder, "--no-such-option"}).exitCode, 2);
    EXPECT_FALSE(std::filesystem::exists(dir / "drive"));
    const CliResult help = runCliInProcess({"init", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--plain-names"), std::string::npos);
    EXPECT_EQ(runCliInProcess({"--help"}).exitCode, 0);
}

TEST_F(TokenCommandsTest, RealProgramKeepsResultsOnStdoutAndLogsOnlyWhenVerbose)
{
    CliResult r = runCliProgram({"init", folder, "--password-stdin"}, "secret1\nsecret1\n");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Created a security token in " + folder + "\n");
    EXPECT_EQ(r.err, "");

    r = runCliProgram({"--verbose", "verify", folder, "--password-stdin"}, "secret1\n");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.find("hashStr"), std::string::npos) << "log lines never on standard output";
    EXPECT_NE(r.err.find("hashStr End: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("PC INFO - END"), std::string::npos) << r.err;
    EXPECT_LT(r.err.find("PC INFO - BEGIN"), r.err.find("PC INFO - END"))
        << "the machine description, when verbose";

    r = runCliProgram({"verify", folder}, "");
    EXPECT_EQ(r.exitCode, 1) << "no terminal: a clear failure, not a hang";
    r = runCliProgram({"bogus"});
    EXPECT_EQ(r.exitCode, 2);
}

} // namespace
} // namespace kestrava::test
