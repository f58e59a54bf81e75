// kestrava-cli edit, recover, clouds and letters, in-process over a fake host: the passwords
// asked and in which order, remounting under a new letter, refusals that change nothing.
#include "CliDriveFixture.h"
#include "cli/Cli.h"
#include "core/access/LoginPassword.h"
#include "core/access/PasswordRule.h"
#include "core/app/ActivityLog.h"
#include "core/app/StringTable.h"
#include "core/crypto/Base64Url.h"
#include "core/drives/DriveMessages.h"
#include "core/drives/EditDriveFlow.h"
#include "core/drives/FakeDriveHost.h"
#include "core/settings/SavedPasswords.h"
#include "core/settings/SettingsFile.h"
#include "core/token/DriveContext.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sstream>

namespace kestrava::cli {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

constexpr const char* kPassword = "secret12";

class EditRecoverCommandsTest : public CliDriveFixture
{
protected:
    Result run(std::vector<std::string> args, const std::string& input = {})
    {
        args.insert(args.begin(), "--password-stdin");
        return runWith(std::move(args), input);
    }

    // A drive K: "Work" over dir/vault, made by the create command.
    void createDrive(const std::vector<std::string>& extra = {}, const std::string& name = "vault")
    {
        std::vector<std::string> args{"create", folder(name), "--letter", "K:", "--label", "Work", "--yes"};
        args.insert(args.end(), extra.begin(), extra.end());
        const auto result = run(args, std::string(kPassword) + "\n" + kPassword + "\n");
        ASSERT_EQ(result.exitCode, 0) << result.err;
    }

    bool opens(const std::string& name, const std::string& password) const
    {
        token::DriveContext context(hashStr(password));
        return context.unlock(token::tokenPathFor(dir / name)) == token::TokenLoadStatus::Loaded;
    }
};

TEST_F(EditRecoverCommandsTest, EditRemountsAMountedDriveUnderItsNewLetter)
{
    createDrive({"--remember"});
    host->calls.clear();
    const auto result = run({"edit", "K:", "--letter", "m", "--label", "Projects", "--automount", "off"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(host->calls, (std::vector<std::string>{"unmount K:", "install M:"}));
    EXPECT_NE(result.out.find("Edited drive M: (Projects)"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find((dir / "mnt" / "M").string()), std::string::npos) << result.out;
    const auto saved = records();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].letter, "M:");
    EXPECT_EQ(saved[0].label, "Projects");
    EXPECT_EQ(saved[0].automount, 0);
    EXPECT_FALSE(saved[0].pwd.empty());
}

TEST_F(EditRecoverCommandsTest, EditAsksThePasswordOnceUnlessRemembered)
{
    createDrive({"--no-mount"});
    const auto wrong = run({"edit", "K:", "--label", "Changed"}, "wrong-one\nwrong-two\nwrong-3\n");
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_EQ(records()[0].label, "Work");

    const auto result =
        run({"edit", "K:", "--label", "Changed", "--remember", "on"}, std::string(kPassword) + "\n");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(records()[0].label, "Changed");
    EXPECT_FALSE(records()[0].pwd.empty());

    const auto remembered = run({"edit", folder("vault"), "--long-names", "off"});
    ASSERT_EQ(remembered.exitCode, 0) << remembered.err;
    token::DriveContext context(hashStr(kPassword));
    ASSERT_EQ(context.unlock(token::tokenPathFor(dir / "vault")), token::TokenLoadStatus::Loaded);
    EXPECT_FALSE(context.options().longFileNames);
    EXPECT_TRUE(host->calls.empty()) << "an unmounted drive stays unmounted";
}

TEST_F(EditRecoverCommandsTest, ChangePasswordAsksCurrentNewAndConfirmation)
{
    createDrive({"--no-mount"});
    const auto wrong = run({"edit", "K:", "--change-password"}, "not-it\nnew-secret\nnew-secret\n");
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_NE(wrong.err.find(loadAppString(drives::kMsgIncorrectPassword)), std::string::npos) << wrong.err;
    EXPECT_TRUE(opens("vault", kPassword));

    const auto mismatch =
        run({"edit", "K:", "--change-password"}, std::string(kPassword) + "\nnew-secret\nnew-secreX\n");
    EXPECT_EQ(mismatch.exitCode, 1);
    EXPECT_NE(mismatch.err.find(loadAppString(kMsgPasswordMismatch)), std::string::npos) << mismatch.err;
    EXPECT_TRUE(opens("vault", kPassword));

    const auto changed =
        run({"edit", "K:", "--change-password"}, std::string(kPassword) + "\nnew-secret\nnew-secret\n");
    ASSERT_EQ(changed.exitCode, 0) << changed.err;
    EXPECT_TRUE(opens("vault", "new-secret"));
    EXPECT_FALSE(opens("vault", kPassword));

    // Remembered: nothing unlocks first, the three passwords are still asked in that order.
    ASSERT_EQ(run({"edit", "K:", "--remember", "on"}, "new-secret\n").exitCode, 0);
    const auto again = run({"edit", "K:", "--change-password"}, "new-secret\nthird-one\nthird-one\n");
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_TRUE(opens("vault", "third-one"));
}

TEST_F(EditRecoverCommandsTest, NameEncryptionChangeOnADriveWithFilesNeedsYes)
{
    createDrive({"--remember", "--no-mount"});
    writeFile(dir / "vault" / "ENCRYPTEDNAME", "ciphertext");
    const std::string tokenBefore = readFile(token::tokenPathFor(dir / "vault"));
    const auto refused = run({"edit", "K:", "--name-encryption", "off"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("Changing file name encryption"), std::string::npos) << refused.err;
    EXPECT_EQ(readFile(token::tokenPathFor(dir / "vault")), tokenBefore);

    const auto accepted = run({"edit", "K:", "--name-encryption", "off", "--yes"});
    ASSERT_EQ(accepted.exitCode, 0) << accepted.err;
    token::DriveContext context(hashStr(kPassword));
    ASSERT_EQ(context.unlock(token::tokenPathFor(dir / "vault")), token::TokenLoadStatus::Loaded);
    EXPECT_FALSE(context.options().fileNameEncryption);
    EXPECT_EQ(readFile(dir / "vault" / "ENCRYPTEDNAME"), "ciphertext");
}

TEST_F(EditRecoverCommandsTest, EditRefusesBadInput)
{
    createDrive({"--remember", "--no-mount"});
    EXPECT_EQ(run({"edit", "K:", "--automount", "maybe"}).exitCode, 2);
    EXPECT_EQ(run({"edit", "K:", "--letter", "KK"}).exitCode, 2);
    EXPECT_EQ(run({"edit"}).exitCode, 2);
    EXPECT_EQ(run({"edit", "Q:"}).exitCode, 1);
    host->busyLetters.insert("L:");
    const auto busy = run({"edit", "K:", "--letter", "L:"});
    EXPECT_EQ(busy.exitCode, 1);
    EXPECT_NE(busy.err.find("drive letter L: is in use"), std::string::npos) << busy.err;
    EXPECT_EQ(records()[0].letter, "K:");
}

TEST_F(EditRecoverCommandsTest, PasswordRememberedUnderTheProgramLockMountsInTheNextLockedRun)
{
    settings::SettingsFile file(settingsPath);
    ASSERT_TRUE(file.setKestravaXmlValue(kKestravaPwdValue, protectLoginPassword("login-pass")));
    ASSERT_TRUE(file.setKestravaXmlValue(kEnableKestravaPwdValue, "Y"));
    const std::string login = "login-pass\n";
    const std::string drive = std::string(kPassword) + "\n";
    ASSERT_EQ(run({"--login-stdin", "create", folder("vault"), "--letter", "K:", "--no-mount", "--yes"},
                  login + drive + drive)
                  .exitCode,
              0);

    // One login entry per run: the lock is passed once, then the drive password is asked.
    const auto edited = run({"--login-stdin", "edit", "K:", "--remember", "on"}, login + drive);
    ASSERT_EQ(edited.exitCode, 0) << edited.err;
    const std::string stored = records()[0].pwd;
    token::DriveContext plain;
    EXPECT_NE(stored, plain.ProtectPassword(hashStr(kPassword))) << "stored under the login layer";

    const auto mounted = run({"--login-stdin", "mount", "K:"}, login);
    ASSERT_EQ(mounted.exitCode, 0) << mounted.err;
    EXPECT_EQ(host->mounts.count("K:"), 1u);
    EXPECT_EQ(records()[0].pwd, stored);
}

TEST_F(EditRecoverCommandsTest, RecoverFromTheFolderToken)
{
    std::filesystem::create_directories(dir / "synced");
    token::DriveContext made(hashStr(kPassword));
    ASSERT_TRUE(made.CreateToken(token::tokenPathFor(dir / "synced")));

    const auto wrong = run({"recover", folder("synced"), "--letter", "K:"}, "wrong-password\n");
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_NE(wrong.err.find(loadAppString(drives::kMsgIncorrectPassword)), std::string::npos) << wrong.err;
    EXPECT_TRUE(records().empty());
    EXPECT_TRUE(host->mounts.empty());

    const auto result = run(
        {"recover", folder("synced"), "--letter", "k", "--label", "Restored", "--remember"}, "secret12\n");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("Recovered drive K: (Restored)"), std::string::npos) << result.out;
    EXPECT_EQ(host->mounts.at("K:").masterKey, made.masterKey());
    ASSERT_EQ(records().size(), 1u);
    EXPECT_FALSE(records()[0].pwd.empty());

    const auto again = run({"recover", folder("synced"), "--letter", "L:"}, "secret12\n");
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.err.find("already been registered"), std::string::npos) << again.err;
    EXPECT_EQ(records().size(), 1u);
}

TEST_F(EditRecoverCommandsTest, RecoverFromABackupFile)
{
    std::filesystem::create_directories(dir / "elsewhere");
    token::DriveContext made(hashStr(kPassword));
    ASSERT_TRUE(made.CreateToken(token::tokenPathFor(dir / "elsewhere")));
    std::filesystem::copy_file(token::tokenPathFor(dir / "elsewhere"), dir / "backup.xml");
    writeFile(dir / "garbage.xml", "<not-a-token/>");
    std::filesystem::create_directories(dir / "synced");

    const auto noToken = run({"recover", folder("synced"), "--letter", "K:"}, "secret12\n");
    EXPECT_EQ(noToken.exitCode, 1);
    EXPECT_NE(noToken.err.find("--token"), std::string::npos) << noToken.err;

    const auto garbage =
        run({"recover", folder("synced"), "--letter", "K:", "--token", (dir / "garbage.xml").string()},
            "secret12\n");
    EXPECT_EQ(garbage.exitCode, 1);
    EXPECT_NE(garbage.err.find("problem reading the import file"), std::string::npos) << garbage.err;
    EXPECT_FALSE(std::filesystem::exists(token::tokenPathFor(dir / "synced")));

    const auto result = run({"recover", folder("synced"), "--letter", "K:", "--no-mount", "--token",
                             (dir / "backup.xml").string()},
                            "secret12\n");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(readFile(token::tokenPathFor(dir / "synced")), readFile(dir / "backup.xml"));
    EXPECT_TRUE(host->calls.empty());
    ASSERT_EQ(records().size(), 1u);
    EXPECT_TRUE(records()[0].pwd.empty());
}

TEST_F(EditRecoverCommandsTest, CloudsAndLetters)
{
    std::filesystem::create_directories(dir / "home" / ".dropbox");
    writeFile(dir / "home" / ".dropbox" / "host.db",
              "0123abcd\n" + crypto::base64UrlEncode(crypto::asBytes(folder("Dropbox"))) + "\n");
    const auto clouds = run({"clouds"});
    ASSERT_EQ(clouds.exitCode, 0) << clouds.err;
    EXPECT_NE(clouds.out.find("Dropbox\t" + folder("Dropbox") + "/Kestrava\tKestrava-Dropbox\n"),
              std::string::npos)
        << clouds.out;
    EXPECT_NE(clouds.out.find("SkyDrive\tnot found\n"), std::string::npos) << clouds.out;

    host->busyLetters = {"Z:", "A:"};
    const auto letters = run({"letters"});
    ASSERT_EQ(letters.exitCode, 0) << letters.err;
    EXPECT_EQ(letters.out.substr(0, 3), "B:\n");
    EXPECT_EQ(letters.out.substr(letters.out.size() - 3), "Y:\n");
    for (char c = 'A'; c <= 'Z'; ++c) {
        host->busyLetters.insert(std::string(1, c) + ":");
    }
    const auto none = run({"letters"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.err.find("no drive letters available"), std::string::npos) << none.err;
}

} // namespace
} // namespace kestrava::cli
