#include "core/token/ProtectedForm.h"

#include "core/crypto/Base64Url.h"
#include "core/crypto/Cfb.h"

#include <algorithm>

namespace kestrava::token {
namespace {

// Assembled from separate constants each time it is needed rather than stored as one value.
crypto::SecureBytes builtInKey()
{
    constexpr crypto::Byte a[] = {0x6B, 0x3E, 0x91, 0x0D, 0xA7, 0x52, 0xC4, 0x18};
    constexpr crypto::Byte b[] = {0xF0, 0x29, 0x7D, 0xB6, 0x44, 0xE3, 0x0A, 0x95};
    constexpr crypto::Byte c[] = {0x1C, 0x88, 0x5F, 0xD2, 0x37, 0x6E, 0xA1, 0xFB};
    constexpr crypto::Byte d[] = {0x03, 0xCE, 0x74, 0x2B, 0x9A, 0x61, 0xE8, 0x4F};
    crypto::SecureBytes key;
    key.reserve(32);
    for (std::size_t i = 0; i < 8; ++i) {
        key.push_back(a[i]);
        key.push_back(static_cast<crypto::Byte>(b[i] ^ 0x5A));
        key.push_back(c[7 - i]);
        key.push_back(static_cast<crypto::Byte>(d[i] + i));
    }
    return key;
}

} // namespace

std::string protectText(std::string_view text)
{
    text = text.substr(0, std::min(text.find('\0'), kMaxProtectedInput));
    const crypto::SecureBytes encrypted = crypto::cfbEncrypt(builtInKey(), crypto::asBytes(text));
    return crypto::base64UrlEncode(encrypted);
}

crypto::SecureString unprotectText(std::string_view protectedText)
{
    crypto::SecureBytes encrypted = crypto::base64UrlDecode(protectedText);
    if (encrypted.size() > kMaxProtectedInput) {
        encrypted.resize(kMaxProtectedInput);
    }
    const crypto::SecureBytes plain = crypto::cfbDecrypt(builtInKey(), encrypted);
    const auto end = std::find(plain.begin(), plain.end(), crypto::Byte{0});
    return crypto::makeSecureString(
        crypto::asText(crypto::ByteView(plain.data(), static_cast<std::size_t>(end - plain.begin()))));
}

} // namespace kestrava::token
