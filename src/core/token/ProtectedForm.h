// The protected form of stored secrets (remembered drive passwords, the login password, the
// one-time-code secret): AES-256-CFB under the program's built-in key, written as base64url.
// It hides a secret from casual reading of the settings file; it is not a secret against
// someone who has the program.
#pragma once

#include "core/crypto/SecureBytes.h"

#include <string>
#include <string_view>

namespace kestrava::token {

// Inputs longer than this are cut: stored secrets are at most 260 bytes.
inline constexpr std::size_t kMaxProtectedInput = 260;

std::string protectText(std::string_view text);

// Decodes and decrypts; the result ends at its first zero byte, like the stored C string.
crypto::SecureString unprotectText(std::string_view protectedText);

} // namespace kestrava::token
