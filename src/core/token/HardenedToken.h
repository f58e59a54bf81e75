// The token document of a hardened drive. It deliberately has no "keysize" element, so a
// reader of the compatible format refuses it as not being a token instead of misreading it.
#pragma once

#include "core/crypto/Kdf.h"
#include "core/token/DriveContext.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kestrava::token {

inline constexpr const char* kHardenedTokenVersion = "hardened-1";
inline constexpr std::size_t kHardenedSaltSize = 32;

struct HardenedFields
{
    crypto::ScryptParams scrypt;
    std::string encodedSalt;      // base64url of the salt
    std::string encodedSealedKey; // base64url of nonce || sealed master key || tag
    TokenOptions options;
};

// Whether a token text is a hardened one (its "version" says so).
bool isHardenedTokenText(std::string_view xml);

// The format of the token at a path, without a password; nothing when it is missing or is
// not a token of either format.
std::optional<DriveFormat> readTokenFormat(const std::filesystem::path& tokenPath);

// Fails with a reason for a document that is not a complete hardened token.
bool parseHardenedToken(std::string_view xml, HardenedFields& fields, std::string& error);
std::string writeHardenedToken(const HardenedFields& fields);

// What the sealed master key is bound to: a change to any of it makes the key fail to open.
std::string hardenedKeyBinding(const HardenedFields& fields);

} // namespace kestrava::token
