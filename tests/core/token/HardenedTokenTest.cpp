// The hardened token: scrypt-sealed master key bound to its parameters and options, refused
// cleanly by a reader of the compatible format, rewrapped on a password change.
#include "core/token/HardenedToken.h"

#include "TokenTestSupport.h"
#include "core/crypto/Base64Url.h"
#include "core/token/DriveContext.h"
#include "core/token/TokenDocument.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace kestrava::token {
namespace {

using test::readFile;
using test::replaceElement;
using test::writeFile;

const std::string kPassword = "0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF";
const std::string kOther = "FEDCBA9876543210FEDCBA9876543210FEDCBA9876543210FEDCBA9876543210";
// Cheap parameters: these tests are about the token, not the cost.
const crypto::ScryptParams kCheap{1024, 8, 1};

class HardenedTokenTest : public ::testing::Test
{
protected:
    test::TempDir dir;
    std::filesystem::path path = tokenPathFor(dir.path());

    crypto::SecureBytes create(TokenOptions options = {})
    {
        DriveContext ctx(kPassword);
        ctx.setFormat(DriveFormat::Hardened);
        ctx.setScryptParams(kCheap);
        ctx.setOptions(options);
        std::string error;
        EXPECT_TRUE(ctx.CreateToken(path, &error)) << error;
        return ctx.masterKey();
    }
    TokenLoadStatus unlockWith(const std::string& password, crypto::SecureBytes* key = nullptr)
    {
        DriveContext ctx(password);
        const TokenLoadStatus status = ctx.unlock(path);
        if (key != nullptr) {
            *key = ctx.masterKey();
        }
        return status;
    }
};

TEST_F(HardenedTokenTest, OpensWithItsPasswordOnlyAndKeepsItsOptions)
{
    const crypto::SecureBytes key = create({true, false, true});
    ASSERT_EQ(key.size(), 32u);
    crypto::SecureBytes loaded;
    EXPECT_EQ(unlockWith(kPassword, &loaded), TokenLoadStatus::Loaded);
    EXPECT_EQ(loaded, key);
    EXPECT_EQ(unlockWith(kOther), TokenLoadStatus::WrongPassword);

    DriveContext ctx(kPassword);
    ASSERT_TRUE(ctx.LoadToken(path, true));
    EXPECT_EQ(ctx.format(), DriveFormat::Hardened);
    EXPECT_TRUE(ctx.options().fileNameEncryption);
    EXPECT_FALSE(ctx.options().longFileNames);
    EXPECT_TRUE(ctx.options().caseInsensitive);
    EXPECT_EQ(ctx.scryptParams().cost, 1024u);
    EXPECT_TRUE(ctx.VerifyDigest() && ctx.VerifyCheckData()) << "what the flows ask after loading";

    // Loaded without the check, a wrong password leaves the drive locked, as the flows expect.
    DriveContext wrong(kOther);
    EXPECT_TRUE(wrong.LoadToken(path, false));
    EXPECT_FALSE(wrong.VerifyDigest());
    EXPECT_FALSE(wrong.VerifyCheckData());
    EXPECT_TRUE(wrong.masterKey().empty());
}

TEST_F(HardenedTokenTest, TheCompatibleReaderRefusesItAsNotAToken)
{
    create();
    const std::string xml = readFile(path);
    EXPECT_NE(xml.find("<version>hardened-1</version>"), std::string::npos);
    EXPECT_EQ(xml.find("keysize"), std::string::npos);
    TokenFields fields;
    std::string error;
    EXPECT_EQ(parseTokenFields(xml, fields, error), TokenParseStatus::NoKeySize)
        << "a reader of the compatible format stops at its key-size check";
    EXPECT_EQ(readTokenFormat(path), DriveFormat::Hardened);

    // A token that only claims to be hardened is no token of either kind.
    writeFile(path, replaceElement(xml, "kdf", "argon9"));
    EXPECT_EQ(unlockWith(kPassword), TokenLoadStatus::Malformed);
    EXPECT_FALSE(readTokenFormat(path));
}

TEST_F(HardenedTokenTest, EveryBoundValueChangedMakesTheKeyFailToOpen)
{
    create({true, true, false});
    const std::string xml = readFile(path);
    for (const auto& [element, text] : std::vector<std::pair<std::string, std::string>>{
             {"scryptn", "2048"},
             {"scryptr", "4"},
             {"filenameencryption", "N"},
             {"filenamecaseinsensitivity", "Y"},
             {"salt", crypto::base64UrlEncode(crypto::SecureBytes(32, 7))}}) {
        writeFile(path, replaceElement(xml, element, text));
        EXPECT_EQ(unlockWith(kPassword), TokenLoadStatus::WrongPassword) << element;
    }
    writeFile(path, replaceElement(xml, "scryptn", "1099511627776"));
    EXPECT_EQ(unlockWith(kPassword), TokenLoadStatus::Malformed) << "parameters beyond the memory bound";
    writeFile(path, replaceElement(xml, "scryptn", "1000"));
    EXPECT_EQ(unlockWith(kPassword), TokenLoadStatus::Malformed) << "N not a power of two";
    writeFile(path, xml);
    EXPECT_EQ(unlockWith(kPassword), TokenLoadStatus::Loaded);
}

TEST_F(HardenedTokenTest, PasswordChangeReseals)
{
    const crypto::SecureBytes key = create();
    const std::string before = readFile(path);
    DriveContext ctx(kPassword);
    ASSERT_EQ(ctx.unlock(path), TokenLoadStatus::Loaded);
    ctx.SetPassword(kOther);
    ctx.setOptions({true, true, true});
    std::string error;
    ASSERT_TRUE(ctx.RewrapToken(path, &error)) << error;
    const std::string after = readFile(path);
    EXPECT_NE(after, before);
    EXPECT_NE(after.find("<scryptn>1024</scryptn>"), std::string::npos) << "parameters kept";
    EXPECT_EQ(unlockWith(kPassword), TokenLoadStatus::WrongPassword);
    crypto::SecureBytes loaded;
    EXPECT_EQ(unlockWith(kOther, &loaded), TokenLoadStatus::Loaded);
    EXPECT_EQ(loaded, key) << "the same master key, sealed anew";
    DriveContext check(kOther);
    ASSERT_TRUE(check.LoadToken(path, true));
    EXPECT_TRUE(check.options().caseInsensitive);

    // A context that never opened the key cannot reseal it.
    DriveContext locked(kPassword);
    EXPECT_TRUE(locked.LoadToken(path, false));
    EXPECT_FALSE(locked.RewrapToken(path, &error));
    EXPECT_EQ(readFile(path), after);
}

TEST_F(HardenedTokenTest, DefaultsAreTheStoredCost)
{
    DriveContext ctx(kPassword);
    ctx.setFormat(DriveFormat::Hardened);
    ASSERT_TRUE(ctx.CreateToken(path));
    const std::string xml = readFile(path);
    EXPECT_NE(xml.find("<scryptn>131072</scryptn>"), std::string::npos);
    EXPECT_NE(xml.find("<scryptr>8</scryptr>"), std::string::npos);
    EXPECT_NE(xml.find("<scryptp>1</scryptp>"), std::string::npos);
    HardenedFields fields;
    std::string error;
    ASSERT_TRUE(parseHardenedToken(xml, fields, error)) << error;
    EXPECT_EQ(crypto::base64UrlDecode(fields.encodedSalt).size(), kHardenedSaltSize);
}

} // namespace
} // namespace kestrava::token
