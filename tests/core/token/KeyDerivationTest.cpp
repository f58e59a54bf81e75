#include "core/token/KeyDerivation.h"

#include "TokenTestSupport.h"
#include "core/crypto/ThreadCpuTimer.h"

#include <gtest/gtest.h>

namespace kestrava::token {
namespace {

const crypto::Byte kSalt[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

crypto::SecureBytes firstBytes(const crypto::SecureBytes& h, std::size_t n)
{
    return crypto::SecureBytes(h.begin(), h.begin() + static_cast<std::ptrdiff_t>(n));
}

TEST(KeyDerivationTest, IterationCountsGiveKnownAnswers)
{
    const std::string password = "5E884898DA28047151D0E56F8DC6292773603D0D6AABBDD62A11EF721D1542D8";
    struct Case
    {
        std::int32_t iterations;
        long hashes;
    };
    for (const Case c : {Case{0, 1}, Case{1, 1}, Case{2, 2}, Case{100, 100}}) {
        std::int64_t count = 0;
        const auto kek =
            deriveKeyEncryptionKey(crypto::asBytes(password), kSalt, {c.iterations, 0}, 16, &count);
        EXPECT_EQ(kek, firstBytes(test::iteratedSha256(password, kSalt, c.hashes), 16)) << c.iterations;
        EXPECT_EQ(count, c.hashes);
    }
}

TEST(KeyDerivationTest, EmptyPasswordHashesTheSaltAlone)
{
    const auto kek = deriveKeyEncryptionKey({}, kSalt, {1, 0}, 16);
    EXPECT_EQ(kek, firstBytes(test::sha256Bytes(kSalt), 16));
}

TEST(KeyDerivationTest, DurationBoundRunsAtLeastThatLongAndStopsAtAMultipleOf128)
{
    crypto::ThreadCpuTimer timer;
    std::int64_t count = 0;
    const auto kek = deriveKeyEncryptionKey(crypto::asBytes("pw"), kSalt, {1, 1}, 16, &count);
    EXPECT_GE(timer.elapsedSeconds(), 1.0);
    EXPECT_EQ(count % 128, 0);
    EXPECT_EQ(kek, firstBytes(test::iteratedSha256("pw", kSalt, static_cast<long>(count)), 16));
}

} // namespace
} // namespace kestrava::token
