#include "core/access/GoogleAuth.h"

#include "MemoryProgramValues.h"
#include "core/access/Base32.h"
#include "core/token/ProtectedForm.h"

#include <gtest/gtest.h>
#include <set>

namespace kestrava {
namespace {

using test::MemoryProgramValues;

TEST(GoogleAuthSecret, RecipeFromSixteenBytes)
{
    crypto::SecureBytes bytes(16);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<crypto::Byte>(i);
    }
    // base64url "AAECAwQFBg..." cut to 10 characters, then base32 of those 10 bytes.
    EXPECT_EQ(std::string(googleAuthSecretFromBytes(bytes)), "IFAUKQ2BO5IUMQTH");
    EXPECT_EQ(crypto::asText(decodeOneTimeCodeKey("IFAUKQ2BO5IUMQTH")), "AAECAwQFBg");
}

TEST(GoogleAuthSecret, GeneratedSecretsAreSixteenBase32CharactersOverTenKeyBytes)
{
    const std::string base64url = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::set<std::string> seen;
    for (int i = 0; i < 20; ++i) {
        const std::string secret(generateGoogleAuthSecret());
        ASSERT_EQ(secret.size(), 16u);
        EXPECT_EQ(secret.find_first_not_of(kBase32Alphabet), std::string::npos) << secret;
        const crypto::SecureBytes key = decodeOneTimeCodeKey(secret);
        ASSERT_EQ(key.size(), 10u) << secret; // base64url characters are never zero bytes
        EXPECT_EQ(crypto::asText(key).find_first_not_of(base64url), std::string::npos);
        seen.insert(secret);
    }
    EXPECT_EQ(seen.size(), 20u);
}

TEST(GoogleAuthState, EnabledWhenTheFirstCharacterIsUpperY)
{
    EXPECT_TRUE(isGoogleAuthEnabledText("Y"));
    EXPECT_TRUE(isGoogleAuthEnabledText("Yes"));
    EXPECT_FALSE(isGoogleAuthEnabledText("y"));
    EXPECT_FALSE(isGoogleAuthEnabledText("N"));
    EXPECT_FALSE(isGoogleAuthEnabledText(""));
    EXPECT_FALSE(isGoogleAuthEnabledText(" Y"));
}

TEST(GoogleAuthState, SaveAndLoadRoundTrip)
{
    MemoryProgramValues values;
    GoogleAuthState state;
    state.accountName = "Laptop";
    state.secret = crypto::makeSecureString("IFAUKQ2BO5IUMQTH");
    state.enabled = true;
    ASSERT_TRUE(saveGoogleAuth(values, state, GoogleAuthPart::SecretAndName));
    // The secret is stored protected, never as typed, and the switch was not written.
    EXPECT_NE(values.elements.at("GoogleAuthKey").text, "IFAUKQ2BO5IUMQTH");
    EXPECT_EQ(std::string(token::unprotectText(values.elements.at("GoogleAuthKey").text)),
              "IFAUKQ2BO5IUMQTH");
    EXPECT_EQ(values.elements.at("GoogleAuthKey").attributes.at("KeyName"), "Laptop");
    EXPECT_FALSE(values.has("EnableGoogleAuth"));

    GoogleAuthState loaded = loadGoogleAuth(values);
    EXPECT_FALSE(loaded.enabled);
    EXPECT_EQ(std::string(loaded.secret), "IFAUKQ2BO5IUMQTH");
    EXPECT_EQ(loaded.accountName, "Laptop");

    ASSERT_TRUE(saveGoogleAuth(values, state, GoogleAuthPart::Enabled));
    EXPECT_EQ(values.elements.at("EnableGoogleAuth").text, "Y");
    EXPECT_TRUE(loadGoogleAuth(values).enabled);

    ASSERT_TRUE(clearGoogleAuth(values));
    loaded = loadGoogleAuth(values);
    EXPECT_FALSE(loaded.enabled);
    EXPECT_TRUE(loaded.secret.empty());
    EXPECT_TRUE(values.elements.empty());
}

TEST(GoogleAuthState, UnreadableOrEmptySettingsGiveTheResetState)
{
    MemoryProgramValues values;
    values.elements["EnableGoogleAuth"].text = "Yes";
    values.elements["GoogleAuthKey"].text = token::protectText("IFAUKQ2BO5IUMQTH");
    values.unreadable = true;
    const GoogleAuthState unreadable = loadGoogleAuth(values);
    EXPECT_FALSE(unreadable.enabled);
    EXPECT_TRUE(unreadable.secret.empty());

    values.unreadable = false;
    values.elements["GoogleAuthKey"].text = "";
    const GoogleAuthState emptyKey = loadGoogleAuth(values);
    EXPECT_TRUE(emptyKey.enabled);
    EXPECT_TRUE(emptyKey.secret.empty());
    EXPECT_EQ(proposedAccountName(emptyKey), "Kestrava");
    // An enabled lock with an empty key cannot check any code.
    EXPECT_EQ(verifyGoogleAuthCode("123456", "", emptyKey, std::chrono::system_clock::now()),
              CodeCheck::DamagedSecret);
}

TEST(GoogleAuthState, LongAccountNamesAndSecretsAreCut)
{
    MemoryProgramValues values;
    GoogleAuthState state;
    state.accountName = std::string(200, 'n');
    state.secret = crypto::makeSecureString(std::string(40, 'B'));
    ASSERT_TRUE(saveGoogleAuth(values, state, GoogleAuthPart::SecretAndName));
    const GoogleAuthState loaded = loadGoogleAuth(values);
    EXPECT_EQ(loaded.accountName.size(), kMaxAccountNameCharacters);
    EXPECT_LE(loaded.secret.size(), kMaxStoredSecretBytes);
    EXPECT_EQ(std::string(loaded.secret).substr(0, 16), std::string(16, 'B'));
}

TEST(OtpauthAddress, AccountAndFirstSixteenCharactersOfTheSecret)
{
    EXPECT_EQ(otpauthAddress("Kestrava", "IFAUKQ2BO5IUMQTHXXXX"),
              "otpauth://totp/Kestrava?secret=IFAUKQ2BO5IUMQTH");
    EXPECT_EQ(otpauthAddress("Kestrava-IFAU", "IFAUKQ2BO5IUMQTH"),
              "otpauth://totp/Kestrava-IFAU?secret=IFAUKQ2BO5IUMQTH");
    EXPECT_EQ(otpauthAddress("me@host:work", "IFAUKQ2BO5IUMQTH"),
              "otpauth://totp/me@host:work?secret=IFAUKQ2BO5IUMQTH");
}

TEST(OtpauthAddress, NameCannotCutOffOrReplaceTheSecret)
{
    EXPECT_EQ(otpauthAddress("My PC?secret=AAAA#x", "IFAUKQ2BO5IUMQTH"),
              "otpauth://totp/My%20PC%3Fsecret%3DAAAA%23x?secret=IFAUKQ2BO5IUMQTH");
    EXPECT_EQ(otpauthAddress("B\xC3\xBCro", "IFAUKQ2BO5IUMQTH"),
              "otpauth://totp/B%C3%BCro?secret=IFAUKQ2BO5IUMQTH");
}

TEST(PairingLabels, DefaultLabelFollowsTheSecret)
{
    EXPECT_EQ(defaultAccountLabel("IFAUKQ2BO5IUMQTH"), "Kestrava-IFAU");
    GoogleAuthState state;
    EXPECT_EQ(proposedAccountName(state), "Kestrava");
    state.accountName = "Desk";
    EXPECT_EQ(proposedAccountName(state), "Desk");
}

} // namespace
} // namespace kestrava
