#include "core/fs/NameCipher.h"

#include "core/crypto/Base64Url.h"
#include "core/fs/FsError.h"
#include "core/fs/Utf8.h"

namespace kestrava::fs {
namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";
constexpr std::size_t kMaxLengthRatio = 4;

bool isStorableName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

} // namespace

std::size_t utf16Length(std::string_view utf8)
{
    std::size_t units = 0;
    for (unsigned char c : utf8) {
        if ((c & 0xC0) != 0x80) {
            ++units; // a lead byte or an ASCII character
        }
        if ((c & 0xF8) == 0xF0) {
            ++units; // four-byte sequences need a surrogate pair
        }
    }
    return units;
}

std::string NameCipher::encryptBytes(std::string_view plain) const
{
    std::string cipherText(plain.size(), '\0');
    m_cipher.encrypt(crypto::asBytes(plain).data(), reinterpret_cast<crypto::Byte*>(cipherText.data()),
                     plain.size());
    return crypto::base64UrlEncode(crypto::asBytes(cipherText));
}

std::string NameCipher::decryptBytes(std::string_view encoded) const
{
    crypto::SecureBytes bytes = crypto::base64UrlDecode(encoded);
    m_cipher.decrypt(bytes.data(), bytes.data(), bytes.size());
    return std::string(crypto::asText(bytes));
}

std::string NameCipher::EncryptNameComponent(std::string_view name) const
{
    if (name.empty() || !isValidUtf8(name)) {
        throw FsError(EINVAL);
    }
    if (name.size() > kMaxEncryptedPlainNameBytes) {
        throw FsError(ENAMETOOLONG);
    }
    return encryptBytes(name);
}

std::string NameCipher::DecryptName(std::string_view encrypted) const
{
    std::string plain = decryptBytes(encrypted);
    if (plain.empty() || !isValidUtf8(plain) || plain.find(kReplacementCharacter) != std::string::npos ||
        !isStorableName(plain)) {
        return {};
    }
    if (encrypted.size() / utf16Length(plain) > kMaxLengthRatio) {
        return {};
    }
    return plain;
}

std::string NameCipher::decryptExactName(std::string_view stored) const
{
    std::string plain = DecryptName(stored);
    if (plain.empty() || crypto::base64UrlEncode(crypto::base64UrlDecode(stored)) != stored) {
        return {};
    }
    return plain;
}

std::string NameCipher::encryptLinkTarget(std::string_view target) const
{
    if (target.size() > kMaxEncryptedLinkTargetBytes) {
        throw FsError(ENAMETOOLONG);
    }
    return encryptBytes(target);
}

std::string NameCipher::decryptLinkTarget(std::string_view stored) const
{
    std::string plain = decryptBytes(stored);
    if (plain.empty() || plain.find('\0') != std::string::npos) {
        throw FsError(EIO);
    }
    return plain;
}

} // namespace kestrava::fs
