// The drive commands of kestrava-cli, in-process over a fake host: create, list, mount,
// unmount, delete and backup-token, with their questions, passwords and exit codes.
#include "CliDriveFixture.h"
#include "cli/Cli.h"
#include "cli/TerminalPrompter.h"
#include "core/access/PasswordRule.h"
#include "core/app/ActivityLog.h"
#include "core/app/StringTable.h"
#include "core/drives/DriveMessages.h"
#include "core/drives/FakeDriveHost.h"
#include "core/fs/PathMapper.h"
#include "core/settings/FileLock.h"
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

class CliDriveTest : public CliDriveFixture
{
protected:
    Result run(std::vector<std::string> args, const std::string& input = {})
    {
        return runWith(std::move(args), input);
    }

    Result create(const std::string& name, const std::string& letter, std::vector<std::string> extra = {},
                  const std::string& input = "secret12\nsecret12\n")
    {
        std::vector<std::string> args{"create", folder(name), "--letter", letter, "--password-stdin"};
        args.insert(args.end(), extra.begin(), extra.end());
        return run(args, input);
    }
};

TEST_F(CliDriveTest, CreateMountsAndRecordsTheDrive)
{
    const auto result = create("vault", "k:", {"--label", "Work", "--remember", "--yes"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("Created drive K: (Work)"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find((dir / "mnt" / "K").string()), std::string::npos);
    ASSERT_EQ(host->mounts.count("K:"), 1u);
    const auto saved = records();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].folder, folder("vault"));
    EXPECT_EQ(saved[0].letter, "K:");
    EXPECT_EQ(saved[0].automount, 1);
    EXPECT_FALSE(saved[0].pwd.empty());
    EXPECT_TRUE(std::filesystem::is_directory(dir / "vault" / fs::warningFolderName()));

    token::DriveContext context(hashStr("secret12"));
    ASSERT_EQ(context.unlock(token::tokenPathFor(dir / "vault")), token::TokenLoadStatus::Loaded);
    EXPECT_EQ(host->mounts.at("K:").masterKey, context.masterKey());
}

TEST_F(CliDriveTest, CreateOptionsAndDefaults)
{
    const auto result = create(
        "plain", "J:",
        {"--plain-names", "--case-sensitive", "--no-long-names", "--no-automount", "--no-mount", "--yes"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(host->calls.empty());
    const auto saved = records();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].label, "Kestrava");
    EXPECT_EQ(saved[0].automount, 0);
    EXPECT_TRUE(saved[0].pwd.empty()) << "passwords are remembered only with --remember";
    token::DriveContext context(hashStr("secret12"));
    ASSERT_EQ(context.unlock(token::tokenPathFor(dir / "plain")), token::TokenLoadStatus::Loaded);
    EXPECT_FALSE(context.options().fileNameEncryption);
    EXPECT_FALSE(context.options().caseInsensitive);
    EXPECT_FALSE(context.options().longFileNames);

    // Names differ by case unless asked otherwise.
    ASSERT_EQ(create("default", "L:", {"--no-mount", "--yes"}).exitCode, 0);
    ASSERT_EQ(context.unlock(token::tokenPathFor(dir / "default")), token::TokenLoadStatus::Loaded);
    EXPECT_FALSE(context.options().caseInsensitive);
    ASSERT_EQ(create("folded", "M:", {"--no-mount", "--yes", "--case-insensitive"}).exitCode, 0);
    ASSERT_EQ(context.unlock(token::tokenPathFor(dir / "folded")), token::TokenLoadStatus::Loaded);
    EXPECT_TRUE(context.options().caseInsensitive);
    EXPECT_EQ(
        create("both", "N:", {"--no-mount", "--yes", "--case-insensitive", "--case-sensitive"}).exitCode, 2);
}

TEST_F(CliDriveTest, CreateRefusesBadInput)
{
    EXPECT_EQ(run({"create", folder("v")}).exitCode, 2) << "--letter is required";
    EXPECT_EQ(run({"create", folder("v"), "--letter", "KK"}).exitCode, 2);

    const auto shortPassword = create("v", "K:", {"--yes"}, "short\nshort\n");
    EXPECT_EQ(shortPassword.exitCode, 1);
    EXPECT_NE(shortPassword.err.find(loadAppString(kMsgPasswordTooShort)), std::string::npos)
        << shortPassword.err;
    EXPECT_TRUE(records().empty());

    const auto root = run({"create", "/", "--letter", "K:", "--password-stdin"}, "secret12\nsecret12\n");
    EXPECT_EQ(root.exitCode, 1);
    EXPECT_NE(root.err.find(loadAppString(drives::kMsgRootFolder)), std::string::npos) << root.err;

    host->busyLetters.insert("L:");
    const auto busy = create("w", "L:", {"--yes"});
    EXPECT_EQ(busy.exitCode, 1);
    EXPECT_NE(busy.err.find("drive letter L: is in use"), std::string::npos) << busy.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "w"));
}

TEST_F(CliDriveTest, MissingFolderNeedsAnAnswer)
{
    const auto unanswered = create("new", "K:");
    EXPECT_EQ(unanswered.exitCode, 1);
    EXPECT_NE(unanswered.err.find(kNoTerminalForQuestion), std::string::npos) << unanswered.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "new"));
    EXPECT_TRUE(records().empty());
}

TEST_F(CliDriveTest, ExistingTokenIsAdoptedWithItsCurrentPassword)
{
    ASSERT_EQ(create("vault", "K:", {"--yes", "--no-mount"}).exitCode, 0);
    ASSERT_EQ(run({"delete", "K:", "--yes"}).exitCode, 0);
    const std::string token = readFile(token::tokenPathFor(dir / "vault"));

    // Without a terminal the offer cannot be answered: nothing is replaced.
    const auto unanswered = create("vault", "M:", {}, "other123\nother123\n");
    EXPECT_EQ(unanswered.exitCode, 1);
    EXPECT_EQ(readFile(token::tokenPathFor(dir / "vault")), token);

    // With --yes it is adopted and only the current password is read.
    const auto wrong = create("vault", "M:", {"--yes"}, "other123\n");
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_NE(wrong.err.find(loadAppString(drives::kMsgImportPasswordWrong)), std::string::npos) << wrong.err;
    const auto right = create("vault", "M:", {"--yes"}, "secret12\n");
    ASSERT_EQ(right.exitCode, 0) << right.err;
    EXPECT_EQ(readFile(token::tokenPathFor(dir / "vault")), token);
    EXPECT_EQ(records().at(0).letter, "M:");
}

TEST_F(CliDriveTest, CreateFromABackupFile)
{
    ASSERT_EQ(create("a", "K:", {"--yes", "--no-mount"}).exitCode, 0);
    const auto backup = dir / "backups";
    std::filesystem::create_directories(backup);
    const auto saved = run({"backup-token", "K:", backup.string()});
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    const std::string backupFile = saved.out.substr(0, saved.out.find('\n'));
    EXPECT_EQ(std::filesystem::path(backupFile).parent_path(), backup);
    EXPECT_EQ(std::filesystem::path(backupFile).filename().string().rfind("kestrava_backup_(kestrava)", 0),
              0u);
    EXPECT_EQ(readFile(backupFile), readFile(token::tokenPathFor(dir / "a")));
    EXPECT_EQ(run({"backup-token", "K:", backupFile}).exitCode, 1) << "an existing file is never replaced";

    std::filesystem::create_directories(dir / "b");
    const auto adopted = create("b", "L:", {"--import", backupFile, "--yes"}, "secret12\n");
    ASSERT_EQ(adopted.exitCode, 0) << adopted.err;
    EXPECT_EQ(readFile(token::tokenPathFor(dir / "b")), readFile(backupFile));
}

TEST_F(CliDriveTest, ListShowsTheSixColumns)
{
    ASSERT_EQ(create("a", "K:", {"--yes", "--remember", "--label", "Alpha"}).exitCode, 0);
    ASSERT_EQ(create("b", "L:", {"--yes", "--no-mount", "--no-automount"}).exitCode, 0);
    std::filesystem::remove_all(dir / "b");

    const auto table = run({"list"});
    ASSERT_EQ(table.exitCode, 0) << table.err;
    EXPECT_EQ(table.out.rfind("Drive  Volume Name  Folder Location", 0), 0u) << table.out;
    EXPECT_NE(table.out.find("<Path does not exist!> " + folder("b")), std::string::npos) << table.out;

    const auto json = run({"list", "--json"});
    ASSERT_EQ(json.exitCode, 0);
    EXPECT_NE(json.out.find("{\"drive\": \"K:\", \"volumeName\": \"Alpha\", \"folderLocation\": \"" +
                            folder("a") +
                            "\", \"mounted\": \"Yes\", \"autoMount\": \"Yes\", \"requirePassword\": \"No\""),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"mounted\": \"Error!\", \"autoMount\": \"No\", \"requirePassword\": \"Yes\""),
              std::string::npos)
        << json.out;
}

TEST_F(CliDriveTest, MountAndUnmountByLetterOrFolder)
{
    ASSERT_EQ(create("a", "K:", {"--yes", "--no-mount"}).exitCode, 0);

    const auto wrong = run({"mount", "K:", "--password-stdin"}, "nope1234\n");
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_NE(wrong.err.find(loadAppString(drives::kMsgIncorrectPassword)), std::string::npos) << wrong.err;
    EXPECT_TRUE(host->mounts.empty());

    const auto mounted =
        run({"mount", folder("a") + "/", "--password-stdin", "--remember", "--allow-other"}, "secret12\n");
    ASSERT_EQ(mounted.exitCode, 0) << mounted.err;
    EXPECT_NE(mounted.out.find("Mounted K:"), std::string::npos);
    EXPECT_TRUE(host->mounts.at("K:").options.allowOther);
    EXPECT_FALSE(records().at(0).pwd.empty()) << "--remember";

    EXPECT_EQ(run({"mount", "k"}).exitCode, 1) << "already mounted";
    EXPECT_EQ(run({"unmount", "K:"}).exitCode, 0);
    EXPECT_TRUE(host->mounts.empty());
    EXPECT_EQ(run({"unmount", "K:"}).exitCode, 1) << "not mounted";
    EXPECT_EQ(run({"mount", "Q:"}).exitCode, 1) << "no such drive";
    EXPECT_EQ(run({"mount"}).exitCode, 2);

    // Remembered now: no password needed. In the foreground the command waits for the unmount.
    host->calls.clear();
    EXPECT_EQ(run({"mount", "K:", "--foreground"}).exitCode, 0);
    EXPECT_EQ(host->calls, (std::vector<std::string>{"install K:", "wait K:"}));
    EXPECT_TRUE(host->mounts.at("K:").options.foreground);
    host->refuseUnmount.insert("K:");
    const auto busy = run({"unmount", "K:"});
    EXPECT_EQ(busy.exitCode, 1);
    EXPECT_NE(busy.err.find("could not be unmounted"), std::string::npos) << busy.err;
}

TEST_F(CliDriveTest, MountAllMountsTheAutoMountDrives)
{
    ASSERT_EQ(create("a", "K:", {"--yes", "--no-mount", "--remember"}).exitCode, 0);
    ASSERT_EQ(create("b", "L:", {"--yes", "--no-mount"}).exitCode, 0);
    ASSERT_EQ(create("c", "M:", {"--yes", "--no-mount", "--no-automount", "--remember"}).exitCode, 0);

    const auto skipping = run({"mount", "--all", "--no-prompt"});
    EXPECT_EQ(skipping.exitCode, 0) << skipping.err;
    EXPECT_EQ(host->mounts.count("K:"), 1u);
    EXPECT_EQ(host->mounts.count("L:"), 0u);
    EXPECT_EQ(host->mounts.count("M:"), 0u) << "not marked for auto-mount";
    EXPECT_NE(skipping.out.find("L: (Kestrava): skipped"), std::string::npos) << skipping.out;

    const auto prompting = run({"mount", "--all", "--password-stdin"}, "secret12\n");
    EXPECT_EQ(prompting.exitCode, 0) << prompting.err;
    EXPECT_EQ(host->mounts.count("L:"), 1u);

    EXPECT_EQ(run({"unmount", "--all"}).exitCode, 0);
    EXPECT_TRUE(host->mounts.empty());
}

TEST_F(CliDriveTest, DeleteAsksAndKeepsFilesUnlessTold)
{
    ASSERT_EQ(create("a", "K:", {"--yes", "--remember"}).exitCode, 0);
    ASSERT_EQ(create("b", "L:", {"--yes", "--no-mount"}).exitCode, 0);

    const auto unanswered = run({"delete", "K:"});
    EXPECT_EQ(unanswered.exitCode, 1);
    EXPECT_NE(unanswered.err.find(kNoTerminalForQuestion), std::string::npos);
    EXPECT_EQ(records().size(), 2u);
    EXPECT_EQ(host->mounts.count("K:"), 1u);

    const auto kept = run({"delete", "K:", "--yes"});
    ASSERT_EQ(kept.exitCode, 0) << kept.err;
    EXPECT_TRUE(host->mounts.empty()) << "unmounted before the record goes";
    EXPECT_EQ(records().size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(token::tokenPathFor(dir / "a")));

    // Its files need its key: without a password nothing in the folder is deleted.
    test::writeFile(dir / "b" / "notes.txt", "a file that was there before the drive");
    const auto keyless = run({"delete", folder("b"), "--delete-files", "--yes"});
    EXPECT_EQ(keyless.exitCode, 1);
    EXPECT_NE(keyless.err.find(loadAppString(drives::kMsgDeleteKeyMissing).substr(0, 30)), std::string::npos)
        << keyless.err;
    EXPECT_TRUE(std::filesystem::exists(token::tokenPathFor(dir / "b")));
    EXPECT_TRUE(records().empty()) << "the drive itself is deleted";

    ASSERT_EQ(run({"recover", folder("b"), "--letter", "L:", "--no-mount", "--password-stdin"}, "secret12\n")
                  .exitCode,
              0);
    const auto wiped =
        run({"delete", folder("b"), "--delete-files", "--yes", "--password-stdin"}, "secret12\n");
    ASSERT_EQ(wiped.exitCode, 0) << wiped.err;
    EXPECT_NE(wiped.out.find("and its encrypted files"), std::string::npos);
    EXPECT_NE(wiped.out.find("Left in " + folder("b") + " (not the drive's):\n  notes.txt\n"),
              std::string::npos)
        << wiped.out;
    EXPECT_EQ(readFile(dir / "b" / "notes.txt"), "a file that was there before the drive");
    EXPECT_FALSE(std::filesystem::exists(token::tokenPathFor(dir / "b")));
    EXPECT_FALSE(std::filesystem::exists(dir / "b" / fs::warningFolderName()));
    EXPECT_TRUE(records().empty());
}

TEST_F(CliDriveTest, CreateWhoseRecordCannotBeSavedFails)
{
    // The settings file's lock cannot be taken, so no update of it can be saved.
    std::filesystem::create_directories(settings::lockPathFor(settingsPath));
    const auto registered = create("a", "K:", {"--yes", "--no-mount"});
    EXPECT_EQ(registered.exitCode, 1);
    EXPECT_EQ(registered.out.find("Created drive"), std::string::npos) << registered.out;
    EXPECT_NE(registered.err.find(formatPrompterMessage(drives::kMsgRecordNotSaved, {settingsPath.string()})),
              std::string::npos)
        << registered.err;
    EXPECT_EQ(registered.err.find(loadAppString(drives::kMsgDriveAdded).substr(0, 20)), std::string::npos);

    const auto mounted = create("b", "L:", {"--yes"});
    EXPECT_EQ(mounted.exitCode, 1);
    EXPECT_EQ(mounted.out.find("Created drive"), std::string::npos) << mounted.out;
    EXPECT_TRUE(host->mounts.empty());
    std::filesystem::remove(settings::lockPathFor(settingsPath));
    EXPECT_TRUE(records().empty());
}

TEST_F(CliDriveTest, DrivesSharingALetterMustBeNamedByFolder)
{
    ASSERT_EQ(create("a", "K:", {"--yes", "--no-mount"}).exitCode, 0);
    ASSERT_EQ(create("b", "K:", {"--yes", "--no-mount"}).exitCode, 0)
        << "the same-letter question, answered Yes";
    const auto ambiguous = run({"backup-token", "K:", (dir / "x.xml").string()});
    EXPECT_EQ(ambiguous.exitCode, 1);
    EXPECT_NE(ambiguous.err.find("name the drive by its folder"), std::string::npos);
    EXPECT_EQ(run({"backup-token", folder("b"), (dir / "x.xml").string()}).exitCode, 0);
}

TEST_F(CliDriveTest, NoDrivesYet)
{
    const auto all = run({"mount", "--all"});
    EXPECT_EQ(all.exitCode, 0) << all.err;
    EXPECT_EQ(all.out, "");
    const auto list = run({"list", "--json"});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_EQ(list.out, "[]\n");
    EXPECT_EQ(run({"unmount", "K:"}).exitCode, 1);
}

TEST_F(CliDriveTest, WithoutAHostDrivesCannotBeUsed)
{
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    Io io{in, out, err, false};
    EXPECT_EQ(runCli({"--config", settingsPath.string(), "list"}, io, HostFactory{}), 1);
    EXPECT_NE(err.str().find("cannot mount drives"), std::string::npos);
}

} // namespace
} // namespace kestrava::cli
