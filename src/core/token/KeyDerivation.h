// Turning a drive password into the key-encryption key: PBKDF1 (PKCS #5) with SHA-256,
// optionally extended until a minimum of the thread's processor time has passed.
#pragma once

#include "core/crypto/SecureBytes.h"

#include <cstdint>

namespace kestrava::token {

struct KdfSettings
{
    std::int32_t iterations = 100;    // 0 counts as 1
    std::int32_t durationSeconds = 0; // 0: no time bound
};

// H := SHA-256(password || salt), then H := SHA-256(H) until the iteration count is reached
// and, with a time bound, until at least that much thread processor time has passed at a
// multiple of 128 iterations. Returns the first kekSize bytes of H (at most 32); the number of
// SHA-256 computations made goes to hashCount when given.
crypto::SecureBytes deriveKeyEncryptionKey(crypto::ByteView password, crypto::ByteView salt,
                                           const KdfSettings& settings, std::size_t kekSize,
                                           std::int64_t* hashCount = nullptr);

} // namespace kestrava::token
