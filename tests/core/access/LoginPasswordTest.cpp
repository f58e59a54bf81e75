#include "core/access/LoginPassword.h"

#include "MemoryProgramValues.h"
#include "core/token/ProtectedForm.h"

#include <gtest/gtest.h>

namespace kestrava {
namespace {

using test::MemoryProgramValues;

TEST(LoginPassword, StoredFormIsTheProtectedMarkedPassword)
{
    const std::string stored = protectLoginPassword("Secret1");
    EXPECT_EQ(std::string(token::unprotectText(stored)), "$KTP$Secret1");
    EXPECT_TRUE(verifyLoginPassword(stored, "Secret1"));
    EXPECT_FALSE(verifyLoginPassword(stored, "secret1")); // case-sensitive
    EXPECT_FALSE(verifyLoginPassword(stored, "Secret"));  // whole string
    EXPECT_FALSE(verifyLoginPassword(stored, "Secret12"));
    EXPECT_FALSE(verifyLoginPassword(stored, ""));
}

TEST(LoginPassword, StoredTextWithoutTheMarkerNeverMatches)
{
    const std::string unmarked = token::protectText("Secret1");
    EXPECT_FALSE(verifyLoginPassword(unmarked, "Secret1"));
    EXPECT_FALSE(verifyLoginPassword(unmarked, ""));
    for (const char* garbage : {"", "!!!", "not-base64-at-all", "AAAA"}) {
        EXPECT_FALSE(verifyLoginPassword(garbage, "Secret1")) << garbage;
        EXPECT_FALSE(verifyLoginPassword(garbage, "")) << garbage;
    }
}

TEST(LoginPassword, SaveWritesPasswordAndSwitchInOneCycle)
{
    MemoryProgramValues values;
    EXPECT_FALSE(saveLoginPassword(values, "").has_value());
    EXPECT_EQ(values.writes, 0);

    const auto stored = saveLoginPassword(values, "Secret1");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(values.writes, 1);
    EXPECT_EQ(values.elements.at("KestravaPwd").text, *stored);
    EXPECT_EQ(values.elements.at("EnableKestravaPwd").text, "Y");
    EXPECT_EQ(loadLoginPassword(values), *stored);

    values.unreadable = true;
    EXPECT_EQ(loadLoginPassword(values), "");
    EXPECT_FALSE(saveLoginPassword(values, "Other22").has_value());
}

TEST(LoginPassword, SwitchAndClear)
{
    MemoryProgramValues values;
    ASSERT_TRUE(saveLoginPassword(values, "Secret1"));
    ASSERT_TRUE(setLoginPasswordRequired(values, false));
    EXPECT_EQ(values.elements.at("EnableKestravaPwd").text, "N");
    EXPECT_FALSE(values.elements.at("KestravaPwd").text.empty());
    ASSERT_TRUE(clearLoginPassword(values));
    EXPECT_FALSE(values.has("KestravaPwd"));
    EXPECT_FALSE(values.has("EnableKestravaPwd"));
}

TEST(LoginPasswordChange, RulesInTheDialogsOrder)
{
    EXPECT_EQ(checkLoginPasswordChange("", "", "abcde", "abcde"), 46);
    EXPECT_EQ(checkLoginPasswordChange("", "", "abcdef", "abcdeX"), 47);
    EXPECT_EQ(checkLoginPasswordChange("", "", "abcdef", ""), 47);
    EXPECT_EQ(checkLoginPasswordChange("", "anything", "abcdef", "abcdef"), 0);

    const std::string stored = protectLoginPassword("Current1");
    EXPECT_EQ(checkLoginPasswordChange(stored, "current1", "abcdef", "abcdef"), 152);
    EXPECT_EQ(checkLoginPasswordChange(stored, "", "abcdef", "abcdef"), 152);
    EXPECT_EQ(checkLoginPasswordChange(stored, "Current1", "abcdef", "abcdef"), 0);
    // The length rule comes before the current-password check.
    EXPECT_EQ(checkLoginPasswordChange(stored, "wrong", "abc", "abc"), 46);
    EXPECT_EQ(loginPasswordChangeMessage(152), "Error! Incorrect password!");
}

TEST(LoginPasswordChange, PasswordsThatCouldNotBeStoredWholeAreRefused)
{
    const std::string longest(kMaxLoginPasswordCharacters, 'p');
    EXPECT_EQ(checkLoginPasswordChange("", "", longest, longest), 0);
    EXPECT_TRUE(verifyLoginPassword(protectLoginPassword(longest), longest));

    const std::string tooMany = longest + "p";
    EXPECT_EQ(checkLoginPasswordChange("", "", tooMany, tooMany), kLoginPasswordTooLong);
    // 100 characters of three bytes each would be cut by the stored form's 260-byte limit.
    std::string wide;
    for (int i = 0; i < 100; ++i) {
        wide += "\xE2\x82\xAC";
    }
    EXPECT_EQ(checkLoginPasswordChange("", "", wide, wide), kLoginPasswordTooLong);
    const std::string withZero("abc\0def", 7);
    EXPECT_EQ(checkLoginPasswordChange("", "", withZero, withZero), kLoginPasswordTooLong);
    EXPECT_NE(loginPasswordChangeMessage(kLoginPasswordTooLong).find("128"), std::string::npos);
}

} // namespace
} // namespace kestrava
