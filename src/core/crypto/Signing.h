// Ed25519 keys and signatures, and the SHA-512 digest of a file, for signed program updates.
#pragma once

#include "core/crypto/SecureBytes.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kestrava::crypto {

inline constexpr std::size_t kSigningKeyBytes = 32;
inline constexpr std::size_t kSignatureBytes = 64;

using PublicKey = std::array<Byte, kSigningKeyBytes>;
using Signature = std::array<Byte, kSignatureBytes>;
using Sha512Digest = std::array<Byte, 64>;

struct SigningKeyPair
{
    SecureBytes privateKey; // the 32-byte seed
    PublicKey publicKey{};
};

SigningKeyPair generateSigningKeys();
// The public key belonging to a 32-byte private key; nothing for another length.
std::optional<PublicKey> publicKeyFor(ByteView privateKey);

std::optional<Signature> signMessage(ByteView privateKey, std::string_view message);
bool verifySignature(const PublicKey& key, std::string_view message, const Signature& signature);

// Reads the file in pieces; nothing when it cannot be read.
std::optional<Sha512Digest> sha512OfFile(const std::filesystem::path& file);

// Lower-case hexadecimal, and back: nothing for odd lengths or other characters.
std::string toLowerHex(ByteView data);
std::optional<SecureBytes> fromHex(std::string_view hex);

} // namespace kestrava::crypto
