// The stored forms of passwords: the drive password derived from what the user types, and the
// optional login layer put on a remembered password while the program lock is in force.
#pragma once

#include <string>
#include <string_view>

namespace kestrava {

// Put in front of the login password before it is protected.
inline constexpr std::string_view kLoginPasswordMarker = "$KTP$";
// Handed back by a cancelled drive password prompt instead of a password.
inline constexpr std::string_view kInvalidPasswordMarker = "$INVALID_PASSWORD$";

// The drive password: upper-case hexadecimal SHA-256 of the UTF-8 text, 64 characters.
std::string hashStr(std::string_view typedPassword);

// What the login layer is built from: the stored login-password text and the one-time-code
// secret as loaded at start, and whether each was actually checked in this run.
struct LoginLayerState
{
    std::string storedLoginPassword; // the "KestravaPwd" text as stored
    std::string googleAuthSecret;
    bool loginPasswordActive = false;
    bool googleAuthActive = false;
};

// The login-layer key: 8 characters of each value, or 16 of the only one present, or empty.
std::string formatDrvPaswd(const LoginLayerState& state);

// AES-128-CFB over the first 64 bytes of the text (zero-padded) with the key's first 16 bytes,
// base64url of the first n bytes; bytes past 64 pass through unencrypted.
std::string loginEncryptStr(std::string_view key, std::string_view text);

} // namespace kestrava
