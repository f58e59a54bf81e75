#include "core/access/PairingDialogModel.h"

#include "MemoryProgramValues.h"
#include "core/access/Base32.h"

#include <gtest/gtest.h>

namespace kestrava {
namespace {

using Clock = std::chrono::system_clock;
const Clock::time_point kNow = Clock::time_point(std::chrono::seconds(1111111109));
constexpr std::string_view kFirst = "GEZDGNBVGY3TQOJQ"; // key "1234567890"
constexpr std::string_view kSecond = "IFAUKQ2BO5IUMQTH";

std::string codeOf(std::string_view secret)
{
    return std::to_string(hotp(decodeOneTimeCodeKey(secret), timeStep(kNow)) + 1'000'000).substr(1);
}

GoogleAuthState storedPairing(std::string account)
{
    GoogleAuthState state;
    state.accountName = std::move(account);
    state.secret = crypto::makeSecureString(kFirst);
    return state;
}

TEST(PairingDialog, FirstPairingShowsNothingUntilGenerate)
{
    PairingDialogModel model(GoogleAuthState{}, "MZXW6YTBOIMZXW6YTBOI");
    EXPECT_EQ(model.accountField(), "Kestrava");
    EXPECT_EQ(model.keyField(), "");
    EXPECT_EQ(model.secret(), "MZXW6YTBOIMZXW6Y"); // first 16 characters
    EXPECT_FALSE(model.imageAddress().has_value());
    EXPECT_FALSE(model.okEnabled());

    ASSERT_TRUE(model.generate(kSecond));
    // The plain "Kestrava" is not a default label of the old secret, so it stays.
    EXPECT_EQ(model.accountField(), "Kestrava");
    EXPECT_EQ(model.keyField(), kSecond);
    EXPECT_EQ(model.imageAddress(), otpauthAddress("Kestrava", kSecond));
}

TEST(PairingDialog, DefaultLabelFollowsTheNewSecret)
{
    PairingDialogModel model(storedPairing("Kestrava-GEZD"), kFirst);
    EXPECT_EQ(model.keyField(), kFirst);
    EXPECT_EQ(model.imageAddress(), otpauthAddress("Kestrava-GEZD", kFirst));
    ASSERT_TRUE(model.generate(kSecond));
    EXPECT_EQ(model.accountField(), "Kestrava-IFAU");

    model.editAccount("Laptop");
    EXPECT_FALSE(model.imageAddress().has_value());
    ASSERT_TRUE(model.generate(kFirst));
    EXPECT_EQ(model.accountField(), "Laptop");
    EXPECT_EQ(model.imageAddress(), otpauthAddress("Laptop", kFirst));
}

TEST(PairingDialog, EmptyAccountShowsTheErrorMarkAndKeepsOkDisabled)
{
    PairingDialogModel model(storedPairing("Desk"), kFirst);
    model.editAccount("");
    EXPECT_FALSE(model.generate(kSecond));
    EXPECT_TRUE(model.accountErrorShown());
    EXPECT_EQ(model.keyField(), kFirst); // still the previous secret on screen
    EXPECT_EQ(model.secret(), kSecond);  // while the dialog already holds the new one
    EXPECT_FALSE(model.imageAddress().has_value());
    EXPECT_FALSE(model.okEnabled());
    test::MemoryProgramValues values;
    EXPECT_FALSE(model.accept(values).has_value());
    EXPECT_EQ(values.writes, 0);
}

TEST(PairingDialog, VerifyThenOkStoresSecretAndName)
{
    PairingDialogModel model(GoogleAuthState{}, kFirst);
    ASSERT_TRUE(model.generate(kSecond));
    EXPECT_EQ(model.verify(codeOf(kFirst), kNow), CodeCheck::Refused); // the old secret's code
    EXPECT_TRUE(model.syncNoteShown());
    EXPECT_FALSE(model.okEnabled());
    EXPECT_EQ(model.verify(codeOf(kSecond), kNow), CodeCheck::Accepted);
    EXPECT_TRUE(model.okEnabled());
    EXPECT_FALSE(model.syncNoteShown());

    test::MemoryProgramValues values;
    values.elements["EnableGoogleAuth"].text = "N";
    const auto secret = model.accept(values);
    ASSERT_TRUE(secret.has_value());
    EXPECT_EQ(std::string(*secret), kSecond);
    const GoogleAuthState stored = loadGoogleAuth(values);
    EXPECT_EQ(std::string(stored.secret), kSecond);
    EXPECT_EQ(stored.accountName, "Kestrava");
    EXPECT_EQ(values.elements["EnableGoogleAuth"].text, "N"); // the switch is not written here

    // A new secret takes the verification back.
    ASSERT_TRUE(model.generate(kFirst));
    EXPECT_FALSE(model.okEnabled());
}

} // namespace
} // namespace kestrava
