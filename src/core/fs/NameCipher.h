// Encryption of single names: base64url of the AES-256-CFB encryption (zero IV) of the
// name's UTF-8 bytes. Deterministic, so a name can be looked up by encrypting it.
#pragma once

#include "core/crypto/Cfb.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrava::fs {

// A backing name component holds at most 255 bytes; an encrypted name of n bytes takes
// 4 * ceil(n / 3) characters, so plain names are limited to 189 bytes.
inline constexpr std::size_t kMaxBackingNameBytes = 255;
inline constexpr std::size_t kMaxEncryptedPlainNameBytes = 189;

// Symbolic link targets are stored the same way; their backing form must stay below 4096.
inline constexpr std::size_t kMaxEncryptedLinkTargetBytes = 3069;

class NameCipher
{
public:
    explicit NameCipher(const crypto::CfbCipher& cipher) : m_cipher(cipher) {}

    // Throws FsError: EINVAL for an empty name or one that is not valid UTF-8,
    // ENAMETOOLONG for one whose encrypted form would not fit a name component.
    std::string EncryptNameComponent(std::string_view name) const;

    // The plain name, or "" when the text is not an encrypted name of this drive: it does not
    // decode, decrypts to nothing or to invalid UTF-8 (or U+FFFD), to a name no directory
    // can hold ("/", NUL, "." or ".."), or it is more than four times longer than the name
    // (in UTF-16 units) it decrypts to. Any text after the base64url part is ignored by the
    // decoding, which the length rule then catches.
    std::string DecryptName(std::string_view encrypted) const;

    // The plain name only when the text is exactly one encrypted name: DecryptName ignores
    // text after the encoded part, which is how sync clients mark their conflict copies.
    std::string decryptExactName(std::string_view stored) const;

    // Symbolic link targets: encrypted as one name. Throws FsError (ENAMETOOLONG).
    std::string encryptLinkTarget(std::string_view target) const;
    // Throws FsError (EIO) when the stored target is not one of ours.
    std::string decryptLinkTarget(std::string_view stored) const;

private:
    std::string encryptBytes(std::string_view plain) const;
    std::string decryptBytes(std::string_view encoded) const;

    const crypto::CfbCipher& m_cipher;
};

// The length of a UTF-8 text in UTF-16 code units (invalid bytes count one each).
std::size_t utf16Length(std::string_view utf8);

} // namespace kestrava::fs
