#include "core/access/DrivePasswordCheck.h"

#include "core/settings/SavedPasswords.h"
#include "core/token/DriveContext.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace kestrava {
namespace {

TEST(DrivePasswordCheck, OpensTheTokenWithTheHashedPassword)
{
    test::TempDir dir;
    token::DriveContext ctx(hashStr("Drive-pass1"));
    ctx.setKdf({100, 0});
    std::string error;
    ASSERT_TRUE(ctx.CreateToken(token::tokenPathFor(dir.path()), &error)) << error;

    const DrivePasswordCheck ok = checkDrivePassword(dir.path(), "Drive-pass1");
    EXPECT_TRUE(ok.accepted);
    EXPECT_EQ(ok.messageId, 0);
    EXPECT_EQ(ok.drivePassword, hashStr("Drive-pass1"));

    const DrivePasswordCheck wrong = checkDrivePassword(dir.path(), "drive-pass1");
    EXPECT_FALSE(wrong.accepted);
    EXPECT_EQ(wrong.messageId, 152);
    EXPECT_TRUE(wrong.drivePassword.empty());

    EXPECT_EQ(checkDrivePassword(dir.path(), "").messageId, 46);
}

TEST(DrivePasswordCheck, MissingOrBrokenTokenIsRefused)
{
    test::TempDir dir;
    EXPECT_EQ(checkDrivePassword(dir.path(), "anything").messageId, 152);
    test::writeFile(token::tokenPathFor(dir.path()), "<not a token");
    EXPECT_EQ(checkDrivePassword(dir.path(), "anything").messageId, 152);
    EXPECT_EQ(checkDrivePassword(dir / "missing-folder", "anything").messageId, 152);
}

} // namespace
} // namespace kestrava
