#include "core/access/OneTimeCode.h"

#include "core/access/Base32.h"

#include <chrono>
#include <gtest/gtest.h>

namespace kestrava {
namespace {

using std::chrono::seconds;
using Clock = std::chrono::system_clock;

Clock::time_point at(std::int64_t unixSeconds)
{
    return Clock::time_point(seconds(unixSeconds));
}

const std::string kRfcKey = "12345678901234567890";

TEST(Hotp, Rfc4226Vectors)
{
    const std::uint32_t expected[] = {755224, 287082, 359152, 969429, 338314,
                                      254676, 287922, 162583, 399871, 520489};
    for (std::uint64_t counter = 0; counter < 10; ++counter) {
        EXPECT_EQ(hotp(crypto::asBytes(kRfcKey), counter), expected[counter]) << counter;
    }
}

TEST(Hotp, Rfc6238Sha1VectorsCutToSixDigits)
{
    const std::pair<std::int64_t, std::uint32_t> vectors[] = {
        {59, 287082},       {1111111109, 81804},  {1111111111, 50471},
        {1234567890, 5924}, {2000000000, 279037}, {20000000000, 353130},
    };
    for (const auto& [time, code] : vectors) {
        EXPECT_EQ(hotp(crypto::asBytes(kRfcKey), static_cast<std::uint64_t>(time) / 30), code) << time;
        // The clock's nanosecond ticks reach only to the year 2262.
        if (time < 9'000'000'000) {
            EXPECT_EQ(timeStep(at(time)), static_cast<std::uint64_t>(time) / 30) << time;
        }
    }
}

TEST(Base32, EncodesRfc4648Vectors)
{
    EXPECT_EQ(base32Encode(crypto::asBytes("")), "");
    EXPECT_EQ(base32Encode(crypto::asBytes("f")), "MY");
    EXPECT_EQ(base32Encode(crypto::asBytes("foobar")), "MZXW6YTBOI");
    EXPECT_EQ(base32Encode(crypto::asBytes("1234567890")), "GEZDGNBVGY3TQOJQ");
}

TEST(Base32, KeyRuleTakesSixteenCharactersAndStopsAtZeroByte)
{
    EXPECT_EQ(crypto::asText(decodeOneTimeCodeKey("GEZDGNBVGY3TQOJQ")), "1234567890");
    // Characters past the sixteenth are ignored.
    EXPECT_EQ(crypto::asText(decodeOneTimeCodeKey("GEZDGNBVGY3TQOJQMZXW6YTBOI")), "1234567890");
    // Zero bits after "12" end the key.
    EXPECT_EQ(crypto::asText(decodeOneTimeCodeKey("GEZAAAAAAAAAAAAA")), "12");
    // A short secret is filled with zeros.
    EXPECT_EQ(crypto::asText(decodeOneTimeCodeKey("GEZA")), "12");
    // Lower-case letters and foreign characters count as "A" (zero).
    EXPECT_TRUE(decodeOneTimeCodeKey("gezdgnbvgy3tqojq").empty());
    EXPECT_EQ(decodeOneTimeCodeKey("7e").size(), 1u);
    EXPECT_EQ(decodeOneTimeCodeKey("7e").front(), 0xF8);
    EXPECT_TRUE(decodeOneTimeCodeKey("").empty());
    EXPECT_TRUE(decodeOneTimeCodeKey("=1-8").empty());
}

// The key "1234567890" as the authenticator app receives it.
constexpr std::string_view kSecret = "GEZDGNBVGY3TQOJQ";
constexpr std::int64_t kNow = 1111111109; // step 37037036
// HMAC-SHA1 codes of that key, computed independently, for steps -3..+3 around kNow.
constexpr const char* kCodes[] = {"187998", "973503", "931072", "343526", "624539", "594283", "235658"};

TEST(OneTimeCode, AcceptsTwoStepsEachWayAndRefusesThree)
{
    for (int i = -3; i <= 3; ++i) {
        const CodeCheck expected = (i == -3 || i == 3) ? CodeCheck::Refused : CodeCheck::Accepted;
        EXPECT_EQ(checkOneTimeCode(kCodes[i + 3], kSecret, at(kNow)), expected) << i;
    }
    // The window moves with the clock: a minute later the old current code is at its edge.
    EXPECT_EQ(checkOneTimeCode(kCodes[3], kSecret, at(kNow + 60)), CodeCheck::Accepted);
    EXPECT_EQ(checkOneTimeCode(kCodes[3], kSecret, at(kNow + 90)), CodeCheck::Refused);
}

TEST(OneTimeCode, LeadingZeroCodeIsAcceptedWithItsSixDigits)
{
    // Step 37037049 of this key gives 012666.
    const auto when = at(37037049LL * 30 + 7);
    EXPECT_EQ(checkOneTimeCode("012666", kSecret, when), CodeCheck::Accepted);
    // The number is what counts, so the same value without its zero matches too; the login
    // prompt refuses such entries before they get here.
    EXPECT_EQ(checkOneTimeCode("12666", kSecret, when), CodeCheck::Accepted);
    EXPECT_EQ(checkOneTimeCode("0126660", kSecret, when), CodeCheck::Refused);
}

TEST(OneTimeCode, LowerCaseStoredSecretFails)
{
    EXPECT_NE(checkOneTimeCode(kCodes[3], "gezdgnbvgy3tqojq", at(kNow)), CodeCheck::Accepted);
    // A lower-cased secret whose first character survives decodes to a different key.
    const std::string upper = "7EZDGNBVGY3TQOJQ";
    const std::string code =
        std::to_string(hotp(decodeOneTimeCodeKey(upper), timeStep(at(kNow))) + 1000000).substr(1);
    EXPECT_EQ(checkOneTimeCode(code, upper, at(kNow)), CodeCheck::Accepted);
    EXPECT_EQ(checkOneTimeCode(code, "7ezdgnbvgy3tqojq", at(kNow)), CodeCheck::Refused);
}

TEST(OneTimeCode, EmptyOrDamagedSecretIsReportedNotChecked)
{
    EXPECT_EQ(checkOneTimeCode("123456", "", at(kNow)), CodeCheck::DamagedSecret);
    EXPECT_EQ(checkOneTimeCode("123456", "AAAAAAAAAAAAAAAA", at(kNow)), CodeCheck::DamagedSecret);
    EXPECT_EQ(checkOneTimeCode("123456", "abcdefghijklmnop", at(kNow)), CodeCheck::DamagedSecret);
}

TEST(OneTimeCode, TypedTextIsReadAsLeadingDigits)
{
    EXPECT_EQ(readCodeNumber("012345"), 12345u);
    EXPECT_EQ(readCodeNumber("12a456"), 12u);
    EXPECT_EQ(readCodeNumber("abc"), 0u);
    EXPECT_EQ(readCodeNumber(""), 0u);
    // A long string of digits saturates far above any code instead of wrapping into one.
    EXPECT_GT(readCodeNumber(std::string(40, '9')), 999999u);
    EXPECT_EQ(checkOneTimeCode("1000000343526", kSecret, at(kNow)), CodeCheck::Refused);
    // Letters end the number: "343526" with a letter inside is another number.
    EXPECT_EQ(checkOneTimeCode("343x526", kSecret, at(kNow)), CodeCheck::Refused);
}

TEST(OneTimeCode, EarliestStepsDoNotWrapAround)
{
    const std::string code = std::to_string(hotp(decodeOneTimeCodeKey(kSecret), 0) + 1000000).substr(1);
    EXPECT_EQ(checkOneTimeCode(code, kSecret, at(0)), CodeCheck::Accepted);
    EXPECT_EQ(timeStep(at(-100)), 0u);
}

} // namespace
} // namespace kestrava
