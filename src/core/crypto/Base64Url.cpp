#include "core/crypto/Base64Url.h"

#include <array>

namespace kestrava::crypto {
namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

constexpr std::array<int, 256> makeDecodeTable()
{
    std::array<int, 256> table{};
    table.fill(-1);
    for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int>(i);
    }
    return table;
}
constexpr auto kDecodeTable = makeDecodeTable();

} // namespace

std::string base64UrlEncode(ByteView data)
{
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= data.size(); i += 3) {
        const unsigned v = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    const std::size_t rest = data.size() - i;
    if (rest == 1) {
        const unsigned v = data[i] << 16;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += "==";
    } else if (rest == 2) {
        const unsigned v = (data[i] << 16) | (data[i + 1] << 8);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

SecureBytes base64UrlDecode(std::string_view text)
{
    SecureBytes out;
    out.reserve(text.size() / 4 * 3 + 2);
    unsigned accumulator = 0;
    int bits = 0;
    for (const char c : text) {
        const int value = kDecodeTable[static_cast<unsigned char>(c)];
        if (value < 0) {
            break; // "=" or any foreign character ends the value
        }
        accumulator = (accumulator << 6) | static_cast<unsigned>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<Byte>((accumulator >> bits) & 0xFF));
        }
        accumulator &= (1u << bits) - 1;
    }
    return out;
}

} // namespace kestrava::crypto
