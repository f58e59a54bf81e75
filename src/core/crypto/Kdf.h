// Key derivation: scrypt (memory-hard, for passwords) and HKDF-SHA-256 (for subkeys of a
// key that is already strong).
#pragma once

#include "core/crypto/SecureBytes.h"

#include <cstdint>

namespace kestrava::crypto {

struct ScryptParams
{
    std::uint64_t cost = 1u << 17; // N, a power of two
    std::uint32_t blockSize = 8;   // r
    std::uint32_t parallel = 1;    // p
};

// Throws std::invalid_argument for parameters scrypt refuses (N not a power of two > 1,
// r or p zero, or a memory need beyond what this process may allocate).
SecureBytes scrypt(ByteView password, ByteView salt, const ScryptParams& params, std::size_t length);

// Whether parameters are acceptable to derive with: scrypt's own rules plus a bound on the
// memory (128 * r * N bytes) a token may ask for.
bool isAcceptableScrypt(const ScryptParams& params);

SecureBytes hkdfSha256(ByteView secret, ByteView salt, ByteView info, std::size_t length);

} // namespace kestrava::crypto
