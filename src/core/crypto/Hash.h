// Message digests: SHA-256 for keys, digests and password hashing; HMAC-SHA1 for one-time codes.
#pragma once

#include "core/crypto/SecureBytes.h"

#include <array>
#include <string>

namespace kestrava::crypto {

using Sha256Digest = std::array<Byte, 32>;

Sha256Digest sha256(ByteView data);
std::array<Byte, 20> hmacSha1(ByteView key, ByteView message);

// Upper-case hexadecimal, no separators.
std::string toUpperHex(ByteView data);

} // namespace kestrava::crypto
