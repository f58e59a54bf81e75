#include "core/token/DriveContext.h"

#include "TokenTestSupport.h"
#include "core/crypto/Base64Url.h"
#include "core/crypto/Cfb.h"

#include <gtest/gtest.h>

namespace kestrava::token {
namespace {

// Gives ctx exactly this check data: decrypting its encryption under the master key.
void setCheckData(DriveContext& ctx, const crypto::SecureBytes& data)
{
    ctx.decryptCheckData(crypto::cfbEncrypt(ctx.masterKey(), data));
}

TEST(DriveContextTest, GeneratedCheckDataFollowsItsRule)
{
    DriveContext ctx;
    for (int round = 0; round < 200; ++round) {
        ctx.GenerateCheckData();
        const crypto::SecureBytes& data = *ctx.checkData();
        ASSERT_EQ(data.size(), 10u);
        for (std::size_t i = 0; i < 5; ++i) {
            EXPECT_EQ(data[5 + i], static_cast<crypto::Byte>(data[i] + 1));
        }
        EXPECT_TRUE(ctx.VerifyCheckData());
    }
}

TEST(DriveContextTest, CheckDataRuleWrapsAroundAndRejectsNoise)
{
    DriveContext ctx;
    ctx.GenerateMasterKey();
    setCheckData(ctx, {0xFF, 1, 2, 3, 4, 0x00, 2, 3, 4, 5});
    EXPECT_TRUE(ctx.VerifyCheckData());
    setCheckData(ctx, {0xFF, 1, 2, 3, 4, 0x00, 2, 3, 4, 6});
    EXPECT_FALSE(ctx.VerifyCheckData());
    setCheckData(ctx, {});
    EXPECT_FALSE(ctx.VerifyCheckData()) << "empty check data proves nothing";
    EXPECT_FALSE(DriveContext().VerifyCheckData()) << "no check data at all";
}

TEST(DriveContextTest, EqualMasterKeysEncryptCheckDataEqually)
{
    DriveContext a;
    a.GenerateMasterKey();
    a.GenerateCheckData();
    DriveContext b;
    b.DeriveKey(crypto::SecureBytes(16, 7));
    a.DeriveKey(crypto::SecureBytes(16, 7));
    b.unwrapMasterKey(a.wrapMasterKey());
    EXPECT_EQ(b.masterKey(), a.masterKey());
    setCheckData(b, *a.checkData());
    EXPECT_EQ(a.encryptCheckData(), b.encryptCheckData());
}

TEST(DriveContextTest, DigestIsShaOfEncodedFieldsAndPassword)
{
    DriveContext ctx("ABCDEF0123");
    ctx.GenerateSalt();
    ctx.GenerateMasterKey();
    ctx.GenerateCheckData();
    const std::string text = crypto::base64UrlEncode(ctx.salt()) + crypto::base64UrlEncode(ctx.masterKey()) +
                             crypto::base64UrlEncode(*ctx.checkData()) + "ABCDEF0123";
    ASSERT_EQ(text.size(), 24u + 44u + 16u + 10u);
    const crypto::Sha256Digest digest = ctx.ComputeDigest();
    EXPECT_EQ(crypto::SecureBytes(digest.begin(), digest.end()), test::sha256Bytes(crypto::asBytes(text)));

    DriveContext empty("");
    empty.GenerateSalt();
    empty.GenerateMasterKey();
    empty.GenerateCheckData();
    const std::string emptyText = crypto::base64UrlEncode(empty.salt()) +
                                  crypto::base64UrlEncode(empty.masterKey()) +
                                  crypto::base64UrlEncode(*empty.checkData());
    const crypto::Sha256Digest emptyDigest = empty.ComputeDigest();
    EXPECT_EQ(crypto::SecureBytes(emptyDigest.begin(), emptyDigest.end()),
              test::sha256Bytes(crypto::asBytes(emptyText)));
}

TEST(DriveContextTest, PasswordIsCutAtZeroByteAnd260Bytes)
{
    DriveContext ctx(std::string("abc\0def", 7));
    EXPECT_EQ(ctx.password(), "abc");
    ctx.SetPassword(std::string(300, 'p'));
    EXPECT_EQ(ctx.password().size(), 260u);
}

TEST(DriveContextTest, VerifyDigestNeedsAFullStoredDigest)
{
    DriveContext ctx("pw");
    EXPECT_FALSE(ctx.VerifyDigest()) << "no stored digest";
}

} // namespace
} // namespace kestrava::token
