#include "core/crypto/Cfb.h"

#include <cryptopp/aes.h>
#include <cryptopp/modes.h>
#include <gtest/gtest.h>

namespace kestrava::crypto {
namespace {

SecureBytes pattern(std::size_t length, int seed)
{
    SecureBytes data(length);
    for (std::size_t i = 0; i < length; ++i) {
        data[i] = static_cast<Byte>((i * 31 + static_cast<std::size_t>(seed)) & 0xFF);
    }
    return data;
}

// CFB with full-block feedback from a zero IV, built from single AES block encryptions:
// C[i] = P[i] xor AES(C[i-1]), C[-1] = 0, the last block truncated as a stream.
SecureBytes referenceCfbEncrypt(const SecureBytes& key, const SecureBytes& plain)
{
    CryptoPP::ECB_Mode<CryptoPP::AES>::Encryption ecb(key.data(), key.size());
    SecureBytes out(plain.size());
    Byte feedback[16] = {};
    for (std::size_t offset = 0; offset < plain.size(); offset += 16) {
        Byte keystream[16];
        ecb.ProcessData(keystream, feedback, 16);
        const std::size_t n = std::min<std::size_t>(16, plain.size() - offset);
        for (std::size_t i = 0; i < n; ++i) {
            out[offset + i] = plain[offset + i] ^ keystream[i];
            feedback[i] = out[offset + i];
        }
    }
    return out;
}

TEST(CfbTest, MatchesBlockwiseReferenceForAllKeySizesAndLengths)
{
    for (const std::size_t keyLength : {16u, 24u, 32u}) {
        const SecureBytes key = pattern(keyLength, 3);
        for (const std::size_t length : {0u, 1u, 5u, 15u, 16u, 17u, 64u, 100u, 4096u, 4100u}) {
            const SecureBytes plain = pattern(length, 11);
            const SecureBytes expected = referenceCfbEncrypt(key, plain);
            EXPECT_EQ(cfbEncrypt(key, plain), expected) << keyLength << "/" << length;
            EXPECT_EQ(cfbDecrypt(key, expected), plain) << keyLength << "/" << length;
        }
    }
}

TEST(CfbTest, EveryCallStartsFromTheZeroIv)
{
    const SecureBytes key = pattern(32, 1);
    const SecureBytes plain = pattern(10, 2);
    EXPECT_EQ(cfbEncrypt(key, plain), cfbEncrypt(key, plain));

    const CfbCipher cipher(key);
    SecureBytes first(plain.size());
    SecureBytes second(plain.size());
    cipher.encrypt(plain.data(), first.data(), plain.size());
    cipher.encrypt(plain.data(), second.data(), plain.size());
    EXPECT_EQ(first, second);
    EXPECT_EQ(first, cfbEncrypt(key, plain));
    SecureBytes back(plain.size());
    cipher.decrypt(first.data(), back.data(), first.size());
    EXPECT_EQ(back, plain);
}

TEST(CfbTest, RefusesKeysAesCannotUse)
{
    for (const std::size_t keyLength : {0u, 1u, 15u, 20u, 33u, 64u}) {
        EXPECT_THROW(cfbEncrypt(pattern(keyLength, 0), pattern(8, 0)), InvalidKeyLength) << keyLength;
        EXPECT_THROW(cfbDecrypt(pattern(keyLength, 0), pattern(8, 0)), InvalidKeyLength) << keyLength;
        EXPECT_THROW(CfbCipher(pattern(keyLength, 0)), InvalidKeyLength) << keyLength;
    }
}

} // namespace
} // namespace kestrava::crypto
