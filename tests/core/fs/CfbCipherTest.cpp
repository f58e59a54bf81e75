// The kept-schedule, side-by-side cipher must give exactly the bytes of a fresh CFB object.
#include "FsTestSupport.h"
#include "core/crypto/Cfb.h"

#include <thread>

namespace kestrava::fs::test {
namespace {

TEST(CfbCipher, MatchesFreshCipherPerCallAndPerChunk)
{
    const auto key = testKey(3);
    crypto::CfbCipher cipher(key);
    for (std::size_t length : {0u, 1u, 15u, 16u, 17u, 31u, 32u, 33u, 100u, 4095u, 4096u, 4097u, 8192u, 8200u,
                               9u * 4096u, 17u * 4096u + 5u}) {
        const std::string plain = kestrava::test::randomBytes(length, static_cast<unsigned>(length));
        const std::string expectedOne = referenceCfb(key, plain, true);
        const std::string expectedBlocks = referenceContent(key, plain);

        std::string out(length, '\0');
        auto* o = reinterpret_cast<crypto::Byte*>(out.data());
        const auto* in = reinterpret_cast<const crypto::Byte*>(plain.data());
        cipher.encrypt(in, o, length);
        EXPECT_EQ(out, expectedOne) << length;
        cipher.decrypt(o, o, length);
        EXPECT_EQ(out, plain) << "in-place decryption, " << length;

        cipher.encryptChunks(in, o, length, 4096);
        EXPECT_EQ(out, expectedBlocks) << length;
        std::string inPlace = plain;
        auto* p = reinterpret_cast<crypto::Byte*>(inPlace.data());
        cipher.encryptChunks(p, p, length, 4096);
        EXPECT_EQ(inPlace, expectedBlocks) << "in-place encryption, " << length;
        cipher.decryptChunks(p, p, length, 4096);
        EXPECT_EQ(inPlace, plain) << length;
    }
}

TEST(CfbCipher, SharedByManyThreads)
{
    const auto key = testKey(9);
    crypto::CfbCipher cipher(key);
    const std::string plain = kestrava::test::randomBytes(64 * 4096 + 77, 1);
    const std::string expected = referenceContent(key, plain);
    std::vector<std::thread> threads;
    std::atomic<int> mismatches{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            std::string out(plain.size(), '\0');
            for (int round = 0; round < 20; ++round) {
                cipher.encryptChunks(reinterpret_cast<const crypto::Byte*>(plain.data()),
                                     reinterpret_cast<crypto::Byte*>(out.data()), plain.size(), 4096);
                mismatches += out != expected;
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(mismatches.load(), 0);
}

} // namespace
} // namespace kestrava::fs::test
