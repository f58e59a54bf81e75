#include "core/crypto/Signing.h"

#include <algorithm>
#include <cryptopp/osrng.h>
#include <cryptopp/sha.h>
#include <cryptopp/xed25519.h>
#include <fstream>

namespace kestrava::crypto {
namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

SigningKeyPair generateSigningKeys()
{
    CryptoPP::AutoSeededRandomPool rng;
    SigningKeyPair pair;
    pair.privateKey.resize(kSigningKeyBytes);
    rng.GenerateBlock(pair.privateKey.data(), pair.privateKey.size());
    pair.publicKey = *publicKeyFor(pair.privateKey);
    return pair;
}

std::optional<PublicKey> publicKeyFor(ByteView privateKey)
{
    if (privateKey.size() != kSigningKeyBytes) {
        return std::nullopt;
    }
    const CryptoPP::ed25519Signer signer(privateKey.data());
    const auto& key = dynamic_cast<const CryptoPP::ed25519PrivateKey&>(signer.GetPrivateKey());
    PublicKey publicKey{};
    std::copy_n(key.GetPublicKeyBytePtr(), publicKey.size(), publicKey.begin());
    return publicKey;
}

std::optional<Signature> signMessage(ByteView privateKey, std::string_view message)
{
    if (privateKey.size() != kSigningKeyBytes) {
        return std::nullopt;
    }
    CryptoPP::AutoSeededRandomPool rng; // Ed25519 signing is deterministic; the interface wants one
    const CryptoPP::ed25519Signer signer(privateKey.data());
    Signature signature{};
    signer.SignMessage(rng, reinterpret_cast<const Byte*>(message.data()), message.size(), signature.data());
    return signature;
}

bool verifySignature(const PublicKey& key, std::string_view message, const Signature& signature)
{
    const CryptoPP::ed25519Verifier verifier(key.data());
    return verifier.VerifyMessage(reinterpret_cast<const Byte*>(message.data()), message.size(),
                                  signature.data(), signature.size());
}

std::optional<Sha512Digest> sha512OfFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    CryptoPP::SHA512 hash;
    std::array<char, 65536> buffer{};
    while (in) {
        in.read(buffer.data(), buffer.size());
        hash.Update(reinterpret_cast<const Byte*>(buffer.data()), static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        return std::nullopt;
    }
    Sha512Digest digest{};
    hash.Final(digest.data());
    return digest;
}

std::string toLowerHex(ByteView data)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(data.size() * 2);
    for (const Byte b : data) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
    }
    return out;
}

std::optional<SecureBytes> fromHex(std::string_view hex)
{
    if (hex.size() % 2 != 0) {
        return std::nullopt;
    }
    SecureBytes bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = hexValue(hex[i]);
        const int low = hexValue(hex[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<Byte>(high << 4 | low));
    }
    return bytes;
}

} // namespace kestrava::crypto
