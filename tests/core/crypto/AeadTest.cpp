// Known answers for the hardened format's primitives, and the ways they must refuse input.
#include "core/crypto/AesGcm.h"
#include "core/crypto/AesSiv.h"
#include "core/crypto/Cfb.h"
#include "core/crypto/Kdf.h"

#include <gtest/gtest.h>
#include <string>

namespace kestrava::crypto {
namespace {

SecureBytes hex(std::string_view text)
{
    SecureBytes out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        out.push_back(static_cast<Byte>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
    }
    return out;
}

std::string toHex(ByteView bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (const Byte b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

// The GCM specification's test case 16 (AES-256, 96-bit IV, associated data).
TEST(AesGcmTest, KnownAnswerAndEveryChangeRefused)
{
    const SecureBytes key = hex("feffe9928665731c6d6a8f9467308308feffe9928665731c6d6a8f9467308308");
    const SecureBytes plain = hex("d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a72"
                                  "1c3c0c95956809532fcf0e2449a6b525b16aedf5aa0de657ba637b39");
    const SecureBytes aad = hex("feedfacedeadbeeffeedfacedeadbeefabaddad2");
    const SecureBytes nonce = hex("cafebabefacedbaddecaf888");
    const AesGcm gcm(key);
    SecureBytes sealed(plain.size() + AesGcm::kTagSize);
    gcm.seal(nonce.data(), aad, plain.data(), plain.size(), sealed.data());
    EXPECT_EQ(toHex(sealed), "522dc1f099567d07f47f37a32a84427d643a8cdcbfe5c0c97598a2bd2555d1aa"
                             "8cb08e48590dbb3da7b08b1056828838c5f61e6393ba7a0abcc9f662"
                             "76fc6ece0f4e1768cddf8853bb2d551b");

    SecureBytes opened(plain.size());
    ASSERT_TRUE(gcm.open(nonce.data(), aad, sealed.data(), sealed.size(), opened.data()));
    EXPECT_EQ(opened, plain);

    SecureBytes changed = sealed;
    changed[5] ^= 1;
    EXPECT_FALSE(gcm.open(nonce.data(), aad, changed.data(), changed.size(), opened.data()));
    changed = sealed;
    changed.back() ^= 0x80;
    EXPECT_FALSE(gcm.open(nonce.data(), aad, changed.data(), changed.size(), opened.data()));
    SecureBytes otherAad = aad;
    otherAad[0] ^= 1;
    EXPECT_FALSE(gcm.open(nonce.data(), otherAad, sealed.data(), sealed.size(), opened.data()));
    EXPECT_FALSE(gcm.open(nonce.data(), aad, sealed.data(), sealed.size() - 1, opened.data()))
        << "a cut value";
    EXPECT_FALSE(gcm.open(nonce.data(), aad, sealed.data(), 3, opened.data()));

    EXPECT_THROW(AesGcm(hex("00112233445566778899aabbccddeeff")), InvalidKeyLength);
}

TEST(AesGcmTest, RandomNoncesMakeEqualInputsDiffer)
{
    const SecureBytes key(32, 0x42);
    const AesGcm gcm(key);
    const SecureBytes plain(100, 0);
    const SecureBytes a = gcm.sealWithRandomNonce({}, plain);
    const SecureBytes b = gcm.sealWithRandomNonce({}, plain);
    EXPECT_NE(a, b);
    SecureBytes out;
    ASSERT_TRUE(gcm.openWithNonce({}, b, out));
    EXPECT_EQ(out, plain);
    EXPECT_FALSE(gcm.openWithNonce({}, ByteView(b.data(), 20), out));
}

// RFC 5297, appendix A.1 (deterministic use) and A.2 (nonce-based, several associated data).
TEST(AesSivTest, Rfc5297Vectors)
{
    {
        const AesSiv siv(hex("fffefdfcfbfaf9f8f7f6f5f4f3f2f1f0f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff"));
        const SecureBytes ad = hex("101112131415161718191a1b1c1d1e1f2021222324252627");
        const SecureBytes plain = hex("112233445566778899aabbccddee");
        const SecureBytes sealed = siv.encrypt({ad}, plain);
        EXPECT_EQ(toHex(sealed), "85632d07c6e8f37f950acd320a2ecc9340c02b9690c4dc04daef7f6afe5c");
        const auto opened = siv.decrypt({ad}, sealed);
        ASSERT_TRUE(opened);
        EXPECT_EQ(*opened, plain);
    }
    {
        const AesSiv siv(hex("7f7e7d7c7b7a79787776757473727170404142434445464748494a4b4c4d4e4f"));
        const SecureBytes ad1 =
            hex("00112233445566778899aabbccddeeffdeaddadadeaddadaffeeddccbbaa99887766554433221100");
        const SecureBytes ad2 = hex("102030405060708090a0");
        const SecureBytes nonce = hex("09f911029d74e35bd84156c5635688c0");
        const SecureBytes plain = hex("7468697320697320736f6d6520706c61696e7465787420746f20656e6372797074"
                                      "207573696e67205349562d414553");
        const SecureBytes sealed = siv.encrypt({ad1, ad2, nonce}, plain);
        EXPECT_EQ(toHex(sealed), "7bdb6e3b432667eb06f4d14bff2fbd0fcb900f2fddbe404326601965c889bf17"
                                 "dba77ceb094fa663b7a3f748ba8af829ea64ad544a272e9c485b62a3fd5c0d");
        const auto opened = siv.decrypt({ad1, ad2, nonce}, sealed);
        ASSERT_TRUE(opened);
        EXPECT_EQ(*opened, plain);
        EXPECT_FALSE(siv.decrypt({ad1, ad2}, sealed)) << "associated data missing";
    }
}

TEST(AesSivTest, ChangesAreDetectedAndShortInputsWork)
{
    const AesSiv siv(SecureBytes(64, 0x11));
    const SecureBytes ad = hex("0102");
    for (const std::size_t length : {0u, 1u, 15u, 16u, 17u, 40u}) {
        const SecureBytes plain(length, 0x61);
        const SecureBytes sealed = siv.encrypt({ad}, plain);
        ASSERT_EQ(sealed.size(), length + 16);
        EXPECT_EQ(siv.encrypt({ad}, plain), sealed) << "deterministic";
        const auto opened = siv.decrypt({ad}, sealed);
        ASSERT_TRUE(opened) << length;
        EXPECT_EQ(*opened, plain);
        for (std::size_t i = 0; i < sealed.size(); i += 7) {
            SecureBytes changed = sealed;
            changed[i] ^= 0x20;
            EXPECT_FALSE(siv.decrypt({ad}, changed)) << "byte " << i << " of " << length;
        }
    }
    EXPECT_FALSE(siv.decrypt({ad}, SecureBytes(15, 0)));
    EXPECT_NE(siv.encrypt({hex("01")}, hex("61")), siv.encrypt({hex("02")}, hex("61")));
    EXPECT_THROW(AesSiv(SecureBytes(48, 0)), InvalidKeyLength);
}

// RFC 7914, section 12, second vector; RFC 5869, test case 1.
TEST(KdfTest, ScryptAndHkdfVectors)
{
    const SecureBytes derived = scrypt(asBytes("password"), asBytes("NaCl"), ScryptParams{1024, 8, 16}, 64);
    EXPECT_EQ(toHex(derived), "fdbabe1c9d3472007856e7190d01e9fe7c6ad7cbc8237830e77376634b373162"
                              "2eaf30d92e22a3886ff109279d9830dac727afb94a83ee6d8360cbdfa2cc0640");

    const SecureBytes okm =
        hkdfSha256(SecureBytes(22, 0x0b), hex("000102030405060708090a0b0c"), hex("f0f1f2f3f4f5f6f7f8f9"), 42);
    EXPECT_EQ(toHex(okm),
              "3cb25f25faacd57a90434f64d0362f2a2d2d0a90cf1a5a4c5db02d56ecc4c5bf34007208d5b887185865");
}

TEST(KdfTest, ScryptParametersFromATokenAreBounded)
{
    EXPECT_TRUE(isAcceptableScrypt(ScryptParams{}));
    EXPECT_FALSE(isAcceptableScrypt(ScryptParams{1000, 8, 1})) << "not a power of two";
    EXPECT_FALSE(isAcceptableScrypt(ScryptParams{1, 8, 1}));
    EXPECT_FALSE(isAcceptableScrypt(ScryptParams{1024, 0, 1}));
    EXPECT_FALSE(isAcceptableScrypt(ScryptParams{1024, 8, 0}));
    EXPECT_FALSE(isAcceptableScrypt(ScryptParams{1ull << 40, 8, 1})) << "a terabyte of memory";
    EXPECT_THROW(scrypt(asBytes("x"), asBytes("y"), ScryptParams{1ull << 40, 8, 1}, 32),
                 std::invalid_argument);
}

} // namespace
} // namespace kestrava::crypto
