// Passwords with characters outside ASCII: drives made on Windows hashed them in the ANSI code
// page. The Windows-made token here is written by the test itself, straight on Crypto++.
#include "core/access/LegacyCodePage.h"

#include "core/access/DrivePasswordCheck.h"
#include "core/settings/SavedPasswords.h"
#include "core/token/DriveContext.h"
#include "support/TestSupport.h"

#include <cryptopp/aes.h>
#include <cryptopp/hex.h>
#include <cryptopp/modes.h>
#include <cryptopp/sha.h>
#include <gtest/gtest.h>

namespace kestrava {
namespace {

using Bytes = std::string;

Bytes sha256(const Bytes& data)
{
    Bytes out(32, '\0');
    CryptoPP::SHA256().CalculateDigest(reinterpret_cast<CryptoPP::byte*>(out.data()),
                                       reinterpret_cast<const CryptoPP::byte*>(data.data()), data.size());
    return out;
}

std::string upperHex(const Bytes& data)
{
    std::string out;
    CryptoPP::StringSource(data, true, new CryptoPP::HexEncoder(new CryptoPP::StringSink(out), true));
    return out;
}

Bytes cfb(const Bytes& key, const Bytes& data)
{
    const CryptoPP::byte iv[16] = {};
    Bytes out(data.size(), '\0');
    CryptoPP::CFB_Mode<CryptoPP::AES>::Encryption e(reinterpret_cast<const CryptoPP::byte*>(key.data()),
                                                    key.size(), iv);
    e.ProcessData(reinterpret_cast<CryptoPP::byte*>(out.data()),
                  reinterpret_cast<const CryptoPP::byte*>(data.data()), data.size());
    return out;
}

std::string base64Url(const Bytes& bytes)
{
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
        v |= i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) << 8 : 0;
        v |= i + 2 < bytes.size() ? static_cast<unsigned char>(bytes[i + 2]) : 0;
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? alphabet[(v >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? alphabet[v & 63] : '=';
    }
    return out;
}

// A token as a Windows build writes it for a password typed in Windows-1252: the drive
// password is the hexadecimal SHA-256 of the code-page bytes.
std::string windowsToken(const Bytes& typedInCodePage)
{
    const std::string drivePassword = upperHex(sha256(typedInCodePage));
    const Bytes salt = "0123456789abcdef";
    const Bytes masterKey = "master key of thirty-two bytes!!";
    const Bytes check = "\x10\x20\x30\x40\x50\x11\x21\x31\x41\x51";
    Bytes kek = sha256(drivePassword + salt);
    for (int i = 1; i < 100; ++i) {
        kek = sha256(kek);
    }
    kek.resize(16);
    const std::string digest =
        base64Url(sha256(base64Url(salt) + base64Url(masterKey) + base64Url(check) + drivePassword));
    return "<?xml version=\"1.0\"?>\n<Kestrava>\n\t<version>1.0.0.94</version>\n\t<keysize>32</keysize>\n"
           "\t<blocksize>16</blocksize>\n\t<uniqueiv>0</uniqueiv>\n\t<saltsize>16</saltsize>\n"
           "\t<encodedsaltsize>24</encodedsaltsize>\n\t<encodedsaltdata>" +
           base64Url(salt) + "</encodedsaltdata>\n\t<encodedkeysize>44</encodedkeysize>\n\t<encodedkeydata>" +
           base64Url(cfb(kek, masterKey)) +
           "</encodedkeydata>\n\t<kdfiteration>100</kdfiteration>\n\t<kdfduration>0</kdfduration>\n"
           "\t<checksize>10</checksize>\n\t<encodedchecksize>16</encodedchecksize>\n\t<encodedcheckdata>" +
           base64Url(cfb(masterKey, check)) +
           "</encodedcheckdata>\n\t<filenameencryption>Y</filenameencryption>\n\t<longfilename>N</"
           "longfilename>\n"
           "\t<filenamecaseinsensitivity>Y</filenamecaseinsensitivity>\n\t<digest>" +
           digest + "</digest>\n</Kestrava>\n";
}

class LegacyCodePage : public ::testing::Test
{
protected:
    void TearDown() override
    {
        setLegacyCodePageOverride("");
        setLegacyCodePageSetting("");
    }
    std::filesystem::path tokenPath() const { return token::tokenPathFor(dir.path()); }

    test::TempDir dir;
};

TEST_F(LegacyCodePage, WindowsMadeDriveOpensWithTheTypedPassword)
{
    test::writeFile(tokenPath(), windowsToken("caf\xE9"));
    const std::string windowsForm = upperHex(sha256("caf\xE9"));

    token::DriveContext utf8Only(hashStr("café"));
    EXPECT_EQ(utf8Only.unlock(tokenPath()), token::TokenLoadStatus::WrongPassword);

    EXPECT_EQ(drivePasswordOpening(tokenPath(), "café"), windowsForm);
    const DrivePasswordCheck check = checkDrivePassword(dir.path(), "café");
    EXPECT_TRUE(check.accepted);
    EXPECT_EQ(check.drivePassword, windowsForm);
    token::DriveContext opened(check.drivePassword);
    ASSERT_EQ(opened.unlock(tokenPath()), token::TokenLoadStatus::Loaded);
    EXPECT_EQ(std::string(opened.masterKey().begin(), opened.masterKey().end()),
              "master key of thirty-two bytes!!");

    EXPECT_FALSE(drivePasswordOpening(tokenPath(), "cafe"));
    EXPECT_FALSE(checkDrivePassword(dir.path(), "CAFÉ").accepted);
}

TEST_F(LegacyCodePage, DrivesWrittenInUtf8KeepOpening)
{
    token::DriveContext made(hashStr("café"));
    ASSERT_TRUE(made.CreateToken(tokenPath()));
    EXPECT_EQ(drivePasswordOpening(tokenPath(), "café"), hashStr("café"));
    EXPECT_EQ(drivePasswordFor(tokenPath(), "café"), hashStr("café"));
    EXPECT_EQ(drivePasswordFor(tokenPath(), "wrong"), hashStr("wrong")) << "the caller meets the refusal";
}

TEST_F(LegacyCodePage, NewDrivesAreWrittenTheWayWindowsReadsThem)
{
    EXPECT_EQ(drivePasswordForNewToken("café"), upperHex(sha256("caf\xE9")));
    EXPECT_EQ(drivePasswordForNewToken("\xE2\x82\xAC"
                                       "5 Ärger"),
              upperHex(sha256("\x80"
                              "5 \xC4rger")));
    EXPECT_EQ(drivePasswordForNewToken("plain-ascii"), hashStr("plain-ascii"));
    // Characters Windows-1252 lacks: the UTF-8 form.
    EXPECT_EQ(drivePasswordForNewToken("日本語"), hashStr("日本語"));
    EXPECT_EQ(drivePasswordForNewToken("caf\xC3"), hashStr("caf\xC3")) << "not UTF-8: taken as it is";

    // Such a drive opens again with what was typed.
    token::DriveContext made(drivePasswordForNewToken("Grüße"));
    ASSERT_TRUE(made.CreateToken(tokenPath()));
    EXPECT_TRUE(checkDrivePassword(dir.path(), "Grüße").accepted);
    EXPECT_EQ(drivePasswordCandidates("ascii").size(), 1U);
    EXPECT_EQ(drivePasswordCandidates("Grüße").size(), 2U);
}

TEST_F(LegacyCodePage, CodePagesAreChosenByOptionThenSetting)
{
    EXPECT_EQ(normalizeCodePage("1252"), "1252");
    EXPECT_EQ(normalizeCodePage("CP1252"), "1252");
    EXPECT_EQ(normalizeCodePage("Windows-1252"), "1252");
    EXPECT_FALSE(normalizeCodePage(""));
    EXPECT_FALSE(normalizeCodePage("latin"));
    EXPECT_FALSE(normalizeCodePage("99999"));

    EXPECT_EQ(legacyCodePage(), "1252");
    setLegacyCodePageSetting("1250");
    EXPECT_EQ(legacyCodePage(), "1250");
    setLegacyCodePageOverride("1251");
    EXPECT_EQ(legacyCodePage(), "1251");
    setLegacyCodePageOverride("");
    EXPECT_EQ(legacyCodePage(), "1250");
}

TEST_F(LegacyCodePage, OtherCodePagesGoThroughIconv)
{
    if (!normalizeCodePage("1251")) {
        GTEST_SKIP() << "this C library has no converter for code page 1251";
    }
    EXPECT_EQ(toCodePage("при", "1251"), std::string("\xEF\xF0\xE8"));
    EXPECT_FALSE(toCodePage("日本", "1251"));
    setLegacyCodePageOverride("1251");
    test::writeFile(tokenPath(), windowsToken("\xEF\xF0\xE8"));
    EXPECT_TRUE(checkDrivePassword(dir.path(), "при").accepted);
    setLegacyCodePageOverride("");
    EXPECT_FALSE(checkDrivePassword(dir.path(), "при").accepted) << "1252 has no Cyrillic letters";
}

} // namespace
} // namespace kestrava
