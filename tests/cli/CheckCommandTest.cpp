// kestrava-cli check: one line per finding, exit 0 only when all is well, for a folder and for
// a drive named by its letter.
#include "CliDriveFixture.h"
#include "core/access/LegacyCodePage.h"
#include "core/fs/DriveFs.h"
#include "core/settings/SavedPasswords.h"
#include "core/token/DriveContext.h"

#include <algorithm>

namespace kestrava::cli {
namespace {

namespace stdfs = std::filesystem;

std::size_t lineCount(const std::string& text)
{
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class CheckCommandTest : public CliDriveFixture
{
protected:
    void SetUp() override
    {
        CliDriveFixture::SetUp();
        stdfs::create_directories(dir / "home");
        stdfs::create_directories(drive);
        token::DriveContext ctx(hashStr("secret12"));
        ASSERT_TRUE(ctx.CreateToken(token::tokenPathFor(drive)));
    }
    void backUp() { stdfs::copy_file(token::tokenPathFor(drive), dir / "home" / "backup.xml"); }

    stdfs::path drive = dir / "drive";
};

TEST_F(CheckCommandTest, CleanFolderExitsZero)
{
    backUp();
    const Result r = runWith({"check", drive.string(), "--password-stdin"}, "secret12\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "No problems found in " + drive.string() + "\n");
}

TEST_F(CheckCommandTest, FindingsAreOneLineEachAndExitOne)
{
    test::writeFile(drive / "desktop.ini", "x");
    test::writeFile(drive / "Thumbs.db", "x");
    const Result r = runWith({"check", drive.string(), "--password-stdin"}, "secret12\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(lineCount(r.out), 3U) << r.out; // no backup, two foreign files
    EXPECT_NE(r.out.find("No backup of the security token found"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("/desktop.ini"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("/Thumbs.db"), std::string::npos) << r.out;

    const Result wrong = runWith({"check", drive.string(), "--password-stdin"}, "not-it12\n");
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_NE(wrong.out.find("The password does not open the security token"), std::string::npos)
        << wrong.out;
    EXPECT_EQ(wrong.out.find("desktop.ini"), std::string::npos) << "nothing is walked without the key";
}

TEST_F(CheckCommandTest, TokenOnlyAsksNoPasswordAndBackupMayBeNamed)
{
    const stdfs::path backup = dir / "elsewhere.token";
    stdfs::copy_file(token::tokenPathFor(drive), backup);
    test::writeFile(drive / "desktop.ini", "x");
    Result r = runWith({"check", drive.string(), "--token-only"}, "");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(lineCount(r.out), 1U) << r.out;
    r = runWith({"check", drive.string(), "--token-only", "--backup", backup.string()}, "");
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;

    stdfs::remove(token::tokenPathFor(drive));
    r = runWith({"check", drive.string()}, "");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "Security token missing: " + token::tokenPathFor(drive).string() + "\n");
}

TEST_F(CheckCommandTest, DriveByLetterUsesTheRememberedPassword)
{
    stdfs::create_directories(dir / "k");
    const Result created = runWith(
        {"create", (dir / "k").string(), "--letter", "K:", "--remember", "--no-mount", "--password-stdin"},
        "secret12\nsecret12\n");
    ASSERT_EQ(created.exitCode, 0) << created.err;
    stdfs::copy_file(token::tokenPathFor(dir / "k"), dir / "home" / "k-backup.xml");
    Result r = runWith({"check", "K:"}, "");
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;

    token::DriveContext ctx;
    ctx.SetPassword(drivePasswordForNewToken("secret12"));
    ASSERT_EQ(ctx.unlock(token::tokenPathFor(dir / "k")), token::TokenLoadStatus::Loaded);
    ctx.setBackingFolder(dir / "k");
    const std::string stored =
        stdfs::path(fs::DriveFs::forDrive(ctx)->backingPathOf("/notes.txt")).filename();
    test::writeFile(dir / "k" / (stored + " (1)"), "");
    r = runWith({"check", "K:"}, "");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "Conflict copy made by a sync client: /" + stored +
                         " (1) (shown on the drive as /notes (1).txt)\n");

    EXPECT_EQ(runWith({"check", "Q:"}, "").exitCode, 1) << "no such drive";
    EXPECT_EQ(runWith({"check"}, "").exitCode, 2);
}

TEST_F(CheckCommandTest, LegacyCodePageOptionChoosesHowPasswordsAreTried)
{
    EXPECT_EQ(runWith({"check", drive.string(), "--legacy-codepage", "latin9x"}, "").exitCode, 2);
    backUp();
    // A drive whose password Windows hashed in code page 1250 ("ł" is 0xB3 there).
    stdfs::remove(token::tokenPathFor(drive));
    token::DriveContext ctx(hashStr("pass\xB3"));
    ASSERT_TRUE(ctx.CreateToken(token::tokenPathFor(drive)));
    stdfs::copy_file(token::tokenPathFor(drive), dir / "home" / "backup.xml",
                     stdfs::copy_options::overwrite_existing);
    if (!normalizeCodePage("1250")) {
        GTEST_SKIP() << "this C library has no converter for code page 1250";
    }
    EXPECT_EQ(runWith({"check", drive.string(), "--password-stdin"}, "pass\xC5\x82\n").exitCode, 1);
    const Result r = runWith({"check", drive.string(), "--password-stdin", "--legacy-codepage", "cp1250"},
                             "pass\xC5\x82\n");
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
}

} // namespace
} // namespace kestrava::cli
