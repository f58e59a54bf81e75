#include "core/access/Base32.h"

#include <algorithm>
#include <array>

namespace kestrava {
namespace {

constexpr std::size_t kKeyCharacters = 16; // 16 x 5 bits = 10 bytes

crypto::Byte base32Value(char c)
{
    const auto pos = kBase32Alphabet.find(c);
    return pos == std::string_view::npos ? 0 : static_cast<crypto::Byte>(pos);
}

} // namespace

std::string base32Encode(crypto::ByteView data)
{
    std::string out;
    out.reserve((data.size() * 8 + 4) / 5);
    unsigned buffer = 0;
    int bits = 0;
    for (const crypto::Byte b : data) {
        buffer = (buffer << 8) | b;
        bits += 8;
        while (bits >= 5) {
            bits -= 5;
            out += kBase32Alphabet[(buffer >> bits) & 0x1F];
        }
    }
    if (bits > 0) {
        out += kBase32Alphabet[(buffer << (5 - bits)) & 0x1F];
    }
    return out;
}

crypto::SecureBytes decodeOneTimeCodeKey(std::string_view secret)
{
    std::array<crypto::Byte, kKeyCharacters> values{};
    for (std::size_t i = 0; i < kKeyCharacters && i < secret.size(); ++i) {
        values[i] = base32Value(secret[i]);
    }
    crypto::SecureBytes key;
    key.reserve(kKeyCharacters * 5 / 8);
    unsigned buffer = 0;
    int bits = 0;
    for (const crypto::Byte v : values) {
        buffer = (buffer << 5) | v;
        bits += 5;
        if (bits >= 8) {
            bits -= 8;
            key.push_back(static_cast<crypto::Byte>((buffer >> bits) & 0xFF));
        }
    }
    crypto::secureWipe(values.data(), values.size());
    buffer = 0;
    key.erase(std::find(key.begin(), key.end(), crypto::Byte{0}), key.end());
    return key;
}

} // namespace kestrava
