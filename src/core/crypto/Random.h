// Cryptographically secure random bytes from a generator seeded by the operating system.
#pragma once

#include "core/crypto/SecureBytes.h"

namespace kestrava::crypto {

SecureBytes randomBytes(std::size_t count);

} // namespace kestrava::crypto
