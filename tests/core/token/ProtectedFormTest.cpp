#include "core/token/ProtectedForm.h"

#include "core/crypto/Base64Url.h"
#include "core/token/DriveContext.h"

#include <gtest/gtest.h>

namespace kestrava::token {
namespace {

TEST(ProtectedFormTest, DrivePasswordProtectsTo88CharactersAndBack)
{
    const std::string drivePassword(64, 'A');
    const std::string stored = protectText(drivePassword);
    EXPECT_EQ(stored.size(), 88u);
    EXPECT_EQ(stored.substr(86), "==");
    EXPECT_EQ(stored.find_first_of("+/"), std::string::npos);
    EXPECT_NE(stored, crypto::base64UrlEncode(crypto::asBytes(drivePassword))) << "must not be plain Base64";
    const crypto::SecureString back = unprotectText(stored);
    EXPECT_EQ(std::string(back.data(), back.size()), drivePassword);
}

TEST(ProtectedFormTest, ContextUnprotectsItsOwnPasswordField)
{
    const std::string secret = "$KTP$hunter22";
    DriveContext protector;
    DriveContext ctx(protector.ProtectPassword(secret));
    ctx.UnprotectPassword();
    EXPECT_EQ(ctx.password(), secret);
}

TEST(ProtectedFormTest, OddInputsNeitherCrashNorOverflow)
{
    EXPECT_EQ(protectText(""), "");
    EXPECT_EQ(unprotectText("").size(), 0u);
    EXPECT_EQ(unprotectText("!!!not base64").size(), 0u);
    // Longer than any stored secret: cut to 260 bytes.
    const std::string huge(5000, 'x');
    EXPECT_EQ(unprotectText(protectText(huge)).size(), 260u);
    const crypto::SecureString garbage = unprotectText(std::string(400, 'Q'));
    EXPECT_LE(garbage.size(), 260u);
}

} // namespace
} // namespace kestrava::token
