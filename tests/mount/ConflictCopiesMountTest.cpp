// Sync clients' conflict copies on a mounted drive: made by renaming backing files behind the
// drive's back, the way cloud clients keep the second of two versions, then used with ordinary
// programs; and the drive check reporting them.
#include "MountFixture.h"
#include "core/crypto/Cfb.h"
#include "core/fs/NameCipher.h"
#include "core/settings/SavedPasswords.h"
#include "core/token/DriveContext.h"

namespace kestrava::mount::test {
namespace {

class ConflictCopiesMount : public MountFixture
{
protected:
    // The stored name of a plain name of this drive.
    std::string storedName(const std::string& plain)
    {
        token::DriveContext ctx(hashStr(kPassword));
        EXPECT_EQ(ctx.unlock(token::tokenPathFor(back())), token::TokenLoadStatus::Loaded);
        const crypto::CfbCipher cipher(ctx.masterKey());
        return fs::NameCipher(cipher).EncryptNameComponent(plain);
    }
};

TEST_F(ConflictCopiesMount, CopiesMadeBehindTheBackAreUsableFiles)
{
    createDrive();
    const std::string report = storedName("report.txt");
    // Their version, kept aside as the sync client does, then ours written over the original.
    ASSERT_EQ(sh("printf theirs > \"$M/report.txt\" && cp \"$B/" + report +
                 "\" \"$T/theirs\" && "
                 "printf mine > \"$M/report.txt\" && mv \"$T/theirs\" \"$B/" +
                 report + " (conflicted copy 2026-12-08)\"")
                  .exitCode,
              0);
    const std::string copy = "$M/report (conflicted copy 2026-12-08).txt";
    Shell listing = sh("LC_ALL=C ls -1 \"$M\"");
    ASSERT_EQ(listing.exitCode, 0) << listing.output;
    EXPECT_EQ(listing.output, "report (conflicted copy 2026-12-08).txt\nreport.txt");
    EXPECT_EQ(sh("cat \"" + copy + "\"").output, "theirs");
    EXPECT_EQ(sh("cat \"$M/report.txt\"").output, "mine");

    ASSERT_EQ(sh("printf ' and more' >> \"" + copy + "\"").exitCode, 0);
    EXPECT_EQ(sh("cat \"" + copy + "\"").output, "theirs and more");

    // The drive check, through the program, names the copy and how it is shown.
    const Shell checked =
        sh("printf '%s\\n' '" + std::string(kPassword) + "' | $K --password-stdin check \"$B\"");
    EXPECT_EQ(checked.exitCode, 1) << checked.output;
    EXPECT_NE(checked.output.find("Conflict copy made by a sync client: /" + report +
                                  " (conflicted copy 2026-12-08) (shown on the drive as "
                                  "/report (conflicted copy 2026-12-08).txt)"),
              std::string::npos)
        << checked.output;

    ASSERT_EQ(sh("mv \"" + copy + "\" \"$M/report-theirs.txt\"").exitCode, 0);
    EXPECT_EQ(sh("LC_ALL=C ls -1 \"$M\"").output, "report-theirs.txt\nreport.txt");
    EXPECT_EQ(sh("cat \"$M/report-theirs.txt\"").output, "theirs and more");
    EXPECT_EQ(sh("test -e \"$B/" + storedName("report-theirs.txt") + "\"").exitCode, 0);

    // A numbered copy of a folder, deleted through the drive with everything in it.
    ASSERT_EQ(sh("mkdir \"$M/docs\" && printf x > \"$M/docs/a.txt\" && cp -r \"$B/" + storedName("docs") +
                 "\" \"$T/docs\" && mv \"$T/docs\" \"$B/" + storedName("docs") + " (1)\"")
                  .exitCode,
              0);
    EXPECT_EQ(sh("cat \"$M/docs (1)/a.txt\"").output, "x");
    ASSERT_EQ(sh("rm -r \"$M/docs (1)\"").exitCode, 0);
    EXPECT_NE(sh("test -e \"$B/" + storedName("docs") + " (1)\"").exitCode, 0);
    EXPECT_EQ(sh("LC_ALL=C ls -1 \"$M\"").output, "docs\nreport-theirs.txt\nreport.txt");
}

} // namespace
} // namespace kestrava::mount::test
