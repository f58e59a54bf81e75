#include "core/crypto/Hash.h"

#include <cryptopp/hmac.h>
#include <cryptopp/sha.h>

namespace kestrava::crypto {

Sha256Digest sha256(ByteView data)
{
    Sha256Digest digest{};
    CryptoPP::SHA256().CalculateDigest(digest.data(), data.data(), data.size());
    return digest;
}

std::array<Byte, 20> hmacSha1(ByteView key, ByteView message)
{
    std::array<Byte, 20> mac{};
    CryptoPP::HMAC<CryptoPP::SHA1> hmac(key.data(), key.size());
    hmac.CalculateDigest(mac.data(), message.data(), message.size());
    return mac;
}

std::string toUpperHex(ByteView data)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(data.size() * 2);
    for (const Byte b : data) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
    }
    return out;
}

} // namespace kestrava::crypto
