#include "TokenTestSupport.h"
#include "core/crypto/Base64Url.h"
#include "core/token/DriveContext.h"
#include "core/token/TokenDocument.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>

namespace kestrava::token {
namespace {

using test::readFile;
using test::removeElement;
using test::replaceElement;
using test::writeFile;

const std::string kPassword = "0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF";
const std::string kOther = "FEDCBA9876543210FEDCBA9876543210FEDCBA9876543210FEDCBA9876543210";

class TokenFileTest : public ::testing::Test
{
protected:
    test::TempDir dir;
    std::filesystem::path path = tokenPathFor(dir.path());

    crypto::SecureBytes createToken(TokenOptions options = {})
    {
        DriveContext ctx(kPassword);
        ctx.setOptions(options);
        std::string error;
        EXPECT_TRUE(ctx.CreateToken(path, &error)) << error;
        return ctx.masterKey();
    }
};

TEST_F(TokenFileTest, NewTokenHasTheFixedShape)
{
    createToken({true, false, true});
    const std::string xml = readFile(path);
    const std::regex shape(
        "<\\?xml version=\"1.0\"\\?>\n<Kestrava>\n"
        "\t<version>[0-9.]+</version>\n\t<keysize>32</keysize>\n\t<blocksize>16</blocksize>\n"
        "\t<uniqueiv>0</uniqueiv>\n\t<saltsize>16</saltsize>\n\t<encodedsaltsize>24</encodedsaltsize>\n"
        "\t<encodedsaltdata>[A-Za-z0-9_-]{22}==</encodedsaltdata>\n\t<encodedkeysize>44</encodedkeysize>\n"
        "\t<encodedkeydata>[A-Za-z0-9_-]{43}=</encodedkeydata>\n\t<kdfiteration>100</kdfiteration>\n"
        "\t<kdfduration>0</kdfduration>\n\t<checksize>10</checksize>\n\t<encodedchecksize>16</"
        "encodedchecksize>\n"
        "\t<encodedcheckdata>[A-Za-z0-9_-]{14}==</encodedcheckdata>\n"
        "\t<filenameencryption>Y</filenameencryption>\n\t<longfilename>N</longfilename>\n"
        "\t<filenamecaseinsensitivity>Y</filenamecaseinsensitivity>\n"
        "\t<digest>[A-Za-z0-9_-]{43}=</digest>\n</Kestrava>\n");
    EXPECT_TRUE(std::regex_match(xml, shape)) << xml;
    EXPECT_EQ(xml.find("<version>1.0.0.0</version>"), std::string::npos) << "new tokens must not be legacy";

    struct stat st
    {
    };
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().filename(), kTokenFileName) << "stray file left behind";
    }
}

TEST_F(TokenFileTest, RoundTripUnlocksWithThePasswordOnly)
{
    const crypto::SecureBytes masterKey = createToken({false, true, false});

    DriveContext right(kPassword);
    EXPECT_EQ(right.unlock(path), TokenLoadStatus::Loaded);
    EXPECT_EQ(right.masterKey(), masterKey);
    EXPECT_FALSE(right.options().fileNameEncryption);
    EXPECT_TRUE(right.options().longFileNames);
    EXPECT_FALSE(right.options().caseInsensitive);
    EXPECT_EQ(right.kdf().iterations, 100);
    EXPECT_FALSE(right.isLegacy());
    EXPECT_TRUE(right.VerifyCheckData());

    DriveContext wrong(kOther);
    EXPECT_FALSE(wrong.LoadToken(path, true));
    DriveContext unverified(kOther);
    EXPECT_TRUE(unverified.LoadToken(path, false)) << "without verification a wrong password loads";
    EXPECT_NE(unverified.masterKey(), masterKey);
    EXPECT_FALSE(unverified.VerifyDigest());
}

TEST_F(TokenFileTest, OptionsCompareCaseSensitivelyWithY)
{
    createToken();
    std::string xml = readFile(path);
    xml = replaceElement(xml, "filenameencryption", "y");
    xml = removeElement(xml, "filenamecaseinsensitivity");
    xml = replaceElement(xml, "longfilename", "Yes");
    writeFile(path, xml);
    DriveContext ctx(kPassword);
    ASSERT_TRUE(ctx.LoadToken(path, false));
    EXPECT_FALSE(ctx.options().fileNameEncryption);
    EXPECT_FALSE(ctx.options().caseInsensitive);
    EXPECT_FALSE(ctx.options().longFileNames);
}

TEST_F(TokenFileTest, LegacyTokenIsCheckedByCheckDataAlone)
{
    const crypto::SecureBytes masterKey = createToken();
    std::string xml = replaceElement(readFile(path), "version", kLegacyTokenVersion);
    writeFile(path, replaceElement(xml, "digest", "garbage"));

    DriveContext wrong(kOther);
    EXPECT_TRUE(wrong.LoadToken(path, true)) << "legacy tokens skip the digest";
    EXPECT_TRUE(wrong.isLegacy());
    EXPECT_EQ(wrong.unlock(path), TokenLoadStatus::WrongPassword);

    writeFile(path, removeElement(xml, "digest"));
    DriveContext right(kPassword);
    EXPECT_EQ(right.unlock(path), TokenLoadStatus::Loaded);
    EXPECT_EQ(right.masterKey(), masterKey);
}

TEST_F(TokenFileTest, SaltCountTakesOnlyThatPrefix)
{
    createToken();
    writeFile(path, replaceElement(readFile(path), "encodedsaltsize", "20"));
    DriveContext ctx(kPassword);
    ASSERT_TRUE(ctx.LoadToken(path, false));
    EXPECT_EQ(ctx.salt().size(), 15u) << "20 characters decode to 15 bytes";
    EXPECT_FALSE(ctx.VerifyDigest()) << "another salt derives another key";
}

TEST_F(TokenFileTest, RewrapChangesThePasswordAndKeepsTheMasterKey)
{
    const crypto::SecureBytes masterKey = createToken();
    const std::string before = readFile(path);
    DriveContext ctx(kPassword);
    ASSERT_EQ(ctx.unlock(path), TokenLoadStatus::Loaded);
    ctx.SetPassword(kOther);
    ASSERT_TRUE(ctx.RewrapToken(path));
    const std::string after = readFile(path);
    for (const char* kept : {"version", "encodedsaltdata", "kdfiteration", "kdfduration", "keysize"}) {
        const std::string open = std::string("<") + kept + ">";
        EXPECT_EQ(before.substr(before.find(open), 40), after.substr(after.find(open), 40)) << kept;
    }
    EXPECT_NE(before, after);

    DriveContext old(kPassword);
    EXPECT_EQ(old.unlock(path), TokenLoadStatus::WrongPassword);
    DriveContext fresh(kOther);
    EXPECT_EQ(fresh.unlock(path), TokenLoadStatus::Loaded);
    EXPECT_EQ(fresh.masterKey(), masterKey);
}

TEST_F(TokenFileTest, RewrappingALegacyTokenKeepsItLegacyWithoutDigest)
{
    const crypto::SecureBytes masterKey = createToken();
    std::string xml = replaceElement(readFile(path), "version", kLegacyTokenVersion);
    writeFile(path, removeElement(xml, "digest"));
    DriveContext ctx(kPassword);
    ASSERT_EQ(ctx.unlock(path), TokenLoadStatus::Loaded);
    ctx.SetPassword(kOther);
    ASSERT_TRUE(ctx.RewrapToken(path));
    const std::string after = readFile(path);
    EXPECT_NE(after.find("<version>1.0.0.0</version>"), std::string::npos);
    EXPECT_EQ(after.find("<digest>"), std::string::npos);

    DriveContext old(kPassword);
    EXPECT_EQ(old.unlock(path), TokenLoadStatus::WrongPassword);
    DriveContext fresh(kOther);
    EXPECT_EQ(fresh.unlock(path), TokenLoadStatus::Loaded);
    EXPECT_EQ(fresh.masterKey(), masterKey);
}

TEST_F(TokenFileTest, RewrapNeverReplacesATokenThatDoesNotParse)
{
    DriveContext ctx(kPassword);
    ctx.GenerateSalt();
    ctx.GenerateMasterKey();
    ctx.GenerateCheckData();
    for (const std::string& bad :
         {std::string(), std::string("not xml at all"),
          std::string("<Kestrava><keysize>0</keysize></Kestrava>"), std::string("<Other/>"),
          std::string("<?xml version=\"1.0\"?>\n<Kestrava>\n\t<keysize>32")}) {
        writeFile(path, bad);
        std::string error;
        EXPECT_FALSE(ctx.RewrapToken(path, &error)) << bad;
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(readFile(path), bad);
    }
}

TEST_F(TokenFileTest, MalformedTokensFailCleanly)
{
    createToken();
    const std::string good = readFile(path);
    struct Case
    {
        std::string name;
        std::string xml;
        TokenLoadStatus expected;
    };
    const std::vector<Case> cases = {
        {"empty file", "", TokenLoadStatus::Malformed},
        {"not XML", "hello", TokenLoadStatus::Malformed},
        {"truncated", good.substr(0, good.size() / 2), TokenLoadStatus::Malformed},
        {"other root", std::regex_replace(good, std::regex("Kestrava>"), "Other>"),
         TokenLoadStatus::Malformed},
        {"no key size", removeElement(good, "keysize"), TokenLoadStatus::Malformed},
        {"zero key size", replaceElement(good, "keysize", "0"), TokenLoadStatus::Malformed},
        {"huge count", replaceElement(good, "encodedkeysize", "99999999999"), TokenLoadStatus::Malformed},
        {"huge value", replaceElement(good, "encodedsaltdata", std::string(100000, 'A')),
         TokenLoadStatus::Unreadable},
        {"short key", replaceElement(good, "encodedkeydata", "AAAAAAAAAAAAAAAAAAAAAAAAAAA="),
         TokenLoadStatus::WrongPassword},
        {"empty key", replaceElement(good, "encodedkeydata", ""), TokenLoadStatus::WrongPassword},
        {"empty salt and check",
         replaceElement(replaceElement(good, "encodedsaltdata", ""), "encodedcheckdata", ""),
         TokenLoadStatus::WrongPassword},
        {"short digest", replaceElement(good, "digest", "AAAA"), TokenLoadStatus::WrongPassword},
        {"negative numbers", replaceElement(good, "kdfiteration", "-5"), TokenLoadStatus::WrongPassword},
    };
    for (const Case& c : cases) {
        writeFile(path, c.xml);
        DriveContext ctx(kPassword);
        std::string error;
        EXPECT_EQ(ctx.loadTokenDetailed(path, true, &error), c.expected) << c.name;
        if (c.expected != TokenLoadStatus::Loaded) {
            EXPECT_FALSE(error.empty()) << c.name;
            EXPECT_EQ(error.find(kPassword.substr(0, 8)), std::string::npos) << c.name;
        }
        EXPECT_EQ(ctx.unlock(path), c.expected) << c.name;
        EXPECT_EQ(readFile(path), c.xml) << c.name << ": loading must never write";
    }
}

TEST_F(TokenFileTest, OnlyAReadableTokenWithoutKeySizeZeroesTheKeySize)
{
    const crypto::SecureBytes masterKey = createToken({false, true, false});
    const std::string good = readFile(path);
    struct Case
    {
        std::string name;
        std::string xml;
        std::int32_t keySizeAfter;
    };
    const std::vector<Case> cases = {
        {"not XML", "hello", 32},
        {"truncated", good.substr(0, good.size() / 2), 32},
        {"salt count out of range", replaceElement(good, "encodedsaltsize", "300"), 32},
        {"check count out of range", replaceElement(good, "encodedchecksize", "99999999999"), 32},
        {"digest too long", replaceElement(good, "digest", std::string(260, 'A')), 32},
        {"zero key size", replaceElement(good, "keysize", "0"), 0},
        {"no key size", removeElement(good, "keysize"), 0},
    };
    for (const Case& c : cases) {
        writeFile(path, good);
        DriveContext ctx(kPassword);
        ASSERT_EQ(ctx.unlock(path), TokenLoadStatus::Loaded) << c.name;
        writeFile(path, c.xml);
        EXPECT_FALSE(ctx.LoadToken(path, false)) << c.name;
        EXPECT_EQ(ctx.keySize(), c.keySizeAfter) << c.name;
        // Everything else stays as the good token left it.
        EXPECT_EQ(ctx.masterKey(), masterKey) << c.name;
        EXPECT_TRUE(ctx.options().longFileNames) << c.name;
        EXPECT_FALSE(ctx.options().fileNameEncryption) << c.name;
        EXPECT_TRUE(ctx.VerifyDigest()) << c.name;
    }
}

TEST_F(TokenFileTest, StoredDigestIsComparedOverItsFirst32Bytes)
{
    createToken();
    const std::string good = readFile(path);
    const std::string digestText = good.substr(good.find("<digest>") + 8, 44);
    crypto::SecureBytes longer = crypto::base64UrlDecode(digestText);
    ASSERT_EQ(longer.size(), 32u);
    longer.insert(longer.end(), {0x01, 0x02, 0x03, 0x04, 0x05, 0x06});
    writeFile(path, replaceElement(good, "digest", crypto::base64UrlEncode(longer)));
    DriveContext right(kPassword);
    EXPECT_EQ(right.unlock(path), TokenLoadStatus::Loaded) << "a matching 32-byte prefix is enough";
    DriveContext wrong(kOther);
    EXPECT_EQ(wrong.unlock(path), TokenLoadStatus::WrongPassword);

    longer[31] ^= 0x01;
    writeFile(path, replaceElement(good, "digest", crypto::base64UrlEncode(longer)));
    DriveContext altered(kPassword);
    EXPECT_EQ(altered.unlock(path), TokenLoadStatus::WrongPassword) << "the last of the 32 bytes counts";
    longer.resize(31);
    writeFile(path, replaceElement(good, "digest", crypto::base64UrlEncode(longer)));
    EXPECT_EQ(altered.unlock(path), TokenLoadStatus::WrongPassword) << "31 bytes are too few";
}

TEST_F(TokenFileTest, DirectoryOrMissingFileIsUnreadable)
{
    DriveContext ctx(kPassword);
    EXPECT_EQ(ctx.loadTokenDetailed(path, true, nullptr), TokenLoadStatus::Unreadable);
    std::filesystem::create_directory(path);
    EXPECT_EQ(ctx.loadTokenDetailed(path, true, nullptr), TokenLoadStatus::Unreadable);
    EXPECT_FALSE(ctx.RewrapToken(path));
    EXPECT_TRUE(std::filesystem::is_directory(path));
}

TEST(TokenDocumentTest, NumbersReadTheirLeadingDigits)
{
    EXPECT_EQ(parseTokenNumber("100"), 100);
    EXPECT_EQ(parseTokenNumber("24abc"), 24);
    EXPECT_EQ(parseTokenNumber(""), 0);
    EXPECT_EQ(parseTokenNumber("abc"), 0);
    EXPECT_EQ(parseTokenNumber("-5"), 0);
    EXPECT_EQ(parseTokenNumber(" 5"), 0);
    EXPECT_EQ(parseTokenNumber("99999999999999"), 2147483647);
}

} // namespace
} // namespace kestrava::token
