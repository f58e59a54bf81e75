#include "core/settings/SavedPasswords.h"

#include "core/app/ActivityLog.h"
#include "core/crypto/Base64Url.h"
#include "core/crypto/Cfb.h"
#include "core/token/ProtectedForm.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace kestrava {
namespace {

TEST(HashStrTest, UpperCaseHexSha256)
{
    EXPECT_EQ(hashStr(""), "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855");
    EXPECT_EQ(hashStr("abc"), "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
    // UTF-8 bytes of the typed text: "é" is C3 A9.
    EXPECT_EQ(hashStr("\xC3\xA9"), hashStr("é"));
    EXPECT_EQ(hashStr("é").find_first_not_of("0123456789ABCDEF"), std::string::npos);
}

TEST(FormatDrvPaswdTest, TakesEightOfEachOrSixteenOfTheOnlyOne)
{
    LoginLayerState state{"AAAAAAAAAAAAAAAAAAAAAAAA", "BBBBBBBBBBBBBBBBBBBB", true, true};
    EXPECT_EQ(formatDrvPaswd(state), "AAAAAAAABBBBBBBB");
    state.googleAuthActive = false;
    EXPECT_EQ(formatDrvPaswd(state), "AAAAAAAAAAAAAAAA");
    state.googleAuthActive = true;
    state.loginPasswordActive = false;
    EXPECT_EQ(formatDrvPaswd(state), "BBBBBBBBBBBBBBBB");
    state.googleAuthActive = false;
    EXPECT_EQ(formatDrvPaswd(state), "");
    // Short values: both present and together under 15 characters stay as they are.
    EXPECT_EQ(formatDrvPaswd({"AAAAAAAAAA", "BBBB", true, true}), "AAAAAAAABBBB");
}

TEST(LoginEncryptStrTest, EncryptsTheFirst64BytesAndKeepsTheLength)
{
    const std::string key = "AAAAAAAABBBBBBBB";
    const std::string protectedForm = token::protectText(std::string(64, 'F'));
    ASSERT_EQ(protectedForm.size(), 88u);
    const std::string layered = loginEncryptStr(key, protectedForm);
    const crypto::SecureBytes bytes = crypto::base64UrlDecode(layered);
    ASSERT_EQ(bytes.size(), protectedForm.size()) << "one byte out per character in";
    EXPECT_EQ(layered.size(), crypto::base64UrlEncode(crypto::asBytes(protectedForm)).size());

    const crypto::SecureBytes head = crypto::cfbEncrypt(
        crypto::asBytes(key), crypto::asBytes(std::string_view(protectedForm).substr(0, 64)));
    EXPECT_TRUE(std::equal(head.begin(), head.end(), bytes.begin()));
    EXPECT_EQ(std::string(bytes.begin() + 64, bytes.end()), protectedForm.substr(64))
        << "past 64 bytes: plain";

    // A short text is encrypted like the start of a zero-padded 64-byte buffer.
    const std::string shortLayer = loginEncryptStr(key, "abc");
    EXPECT_EQ(crypto::base64UrlDecode(shortLayer).size(), 3u);
    // A key under 16 bytes is zero-padded, not read past its end.
    EXPECT_EQ(loginEncryptStr("ABC", "text"),
              crypto::base64UrlEncode(crypto::cfbEncrypt(
                  crypto::SecureBytes{'A', 'B', 'C', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                  crypto::asBytes("text"))));
}

TEST(SavedPasswordsLogTest, SecretsAppearOnlyAsTheirFirstFourCharacters)
{
    test::TempDir dir;
    applog::configureLog({dir / "kestrava.log", false});
    const std::string hash = hashStr("correct horse");
    formatDrvPaswd({"LOGINPASSWORDSTOREDFORM", "TOTPSECRETVALUE", true, true});
    loginEncryptStr("KEYKEYKEYKEYKEYK", "SECRETSECRETSECRET");
    applog::configureLog({});
    const std::string log = test::readFile(dir / "kestrava.log");
    EXPECT_NE(log.find("hashStr End: " + hash.substr(0, 4) + "\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find(hash.substr(0, 5)), std::string::npos);
    EXPECT_EQ(log.find("LOGIN"), std::string::npos);
    EXPECT_EQ(log.find("KEYKE"), std::string::npos);
    EXPECT_EQ(log.find("SECRE"), std::string::npos);
}

} // namespace
} // namespace kestrava
