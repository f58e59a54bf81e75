// Base32 (RFC 4648 alphabet, no padding) as the authenticator app reads its secret, and the
// decoding of a stored secret into the key both sides feed to HMAC.
#pragma once

#include "core/crypto/SecureBytes.h"

#include <string>
#include <string_view>

namespace kestrava {

inline constexpr std::string_view kBase32Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";

// 5-bit groups, most significant bit first; a partial last group is padded with zero bits.
std::string base32Encode(crypto::ByteView data);

// The key of a one-time-code secret: its first 16 characters (missing ones count as zero),
// each mapped through the alphabet (anything else, lower-case letters included, maps to 0),
// packed into 10 bytes; the key ends before the first zero byte, so it may be empty.
crypto::SecureBytes decodeOneTimeCodeKey(std::string_view secret);

} // namespace kestrava
