#include "core/crypto/Base64Url.h"

#include <gtest/gtest.h>

namespace kestrava::crypto {
namespace {

std::string decodeToText(std::string_view encoded)
{
    const SecureBytes bytes = base64UrlDecode(encoded);
    return std::string(bytes.begin(), bytes.end());
}

TEST(Base64UrlTest, EncodesWithUrlAlphabetAndPadding)
{
    EXPECT_EQ(base64UrlEncode(asBytes("abc")), "YWJj");
    EXPECT_EQ(base64UrlEncode(asBytes("ab")), "YWI=");
    EXPECT_EQ(base64UrlEncode(asBytes("a")), "YQ==");
    EXPECT_EQ(base64UrlEncode(asBytes("")), "");
    const Byte ff[] = {0xFF};
    EXPECT_EQ(base64UrlEncode(ff), "_w==");
    const Byte fb[] = {0xFB, 0xEF, 0xBE};
    EXPECT_EQ(base64UrlEncode(fb), "----");
}

TEST(Base64UrlTest, EncodedLengthsOfTokenValues)
{
    EXPECT_EQ(base64UrlEncode(SecureBytes(16)).size(), 24u);
    EXPECT_EQ(base64UrlEncode(SecureBytes(32)).size(), 44u);
    EXPECT_EQ(base64UrlEncode(SecureBytes(10)).size(), 16u);
    EXPECT_EQ(base64UrlEncode(SecureBytes(64)).size(), 88u);
}

TEST(Base64UrlTest, DecoderStopsAtPaddingOrForeignCharacters)
{
    EXPECT_EQ(decodeToText("YWJj"), "abc");
    EXPECT_EQ(decodeToText("YWI=YWJj"), "ab");   // stops at the first "="
    EXPECT_EQ(decodeToText("YWJj+YWJj"), "abc"); // "+" belongs to the other alphabet
    EXPECT_EQ(decodeToText("YWJj/x"), "abc");
    EXPECT_EQ(decodeToText("YW Jj"), "a"); // a space ends the value too
    EXPECT_EQ(decodeToText("YW"), "a");    // incomplete group: only whole bytes
    EXPECT_EQ(decodeToText("Y"), "");
    EXPECT_EQ(decodeToText(""), "");
    const SecureBytes ff = base64UrlDecode("_w==");
    ASSERT_EQ(ff.size(), 1u);
    EXPECT_EQ(ff[0], 0xFF);
}

TEST(Base64UrlTest, RoundTripsEveryLengthAndByte)
{
    for (std::size_t length = 0; length < 300; ++length) {
        SecureBytes data(length);
        for (std::size_t i = 0; i < length; ++i) {
            data[i] = static_cast<Byte>((i * 151 + length * 7) & 0xFF);
        }
        const std::string encoded = base64UrlEncode(data);
        EXPECT_EQ(encoded.size() % 4, 0u);
        EXPECT_EQ(encoded.find_first_of("+/\r\n"), std::string::npos);
        EXPECT_EQ(base64UrlDecode(encoded), data) << "length " << length;
    }
}

} // namespace
} // namespace kestrava::crypto
