#include "core/token/DriveContext.h"

#include "core/crypto/Base64Url.h"
#include "core/crypto/Cfb.h"
#include "core/crypto/Random.h"
#include "core/token/ProtectedForm.h"
#include "core/token/TokenDocument.h"

#include <algorithm>

namespace kestrava::token {

std::filesystem::path tokenPathFor(const std::filesystem::path& backingFolder)
{
    return backingFolder / kTokenFileName;
}

DriveContext::DriveContext(std::string_view password)
{
    SetPassword(password);
}

void DriveContext::SetPassword(std::string_view password)
{
    password = password.substr(0, password.find('\0'));
    password = password.substr(0, kMaxPasswordBytes);
    m_password = crypto::toSecureBytes(crypto::asBytes(password));
}

void DriveContext::GenerateSalt()
{
    m_salt = crypto::randomBytes(static_cast<std::size_t>(std::max(m_saltSize, 0)));
}

void DriveContext::GenerateMasterKey()
{
    m_masterKey = crypto::randomBytes(static_cast<std::size_t>(std::max(m_keySize, 0)));
}

void DriveContext::GenerateCheckData()
{
    const std::size_t size = static_cast<std::size_t>(std::max(m_checkSize, 0));
    crypto::SecureBytes data = crypto::randomBytes(size);
    // The second half follows from the first, so a decryption can be recognised.
    for (std::size_t i = 0; i < size / 2; ++i) {
        data[size / 2 + i] = static_cast<crypto::Byte>(data[i] + 1);
    }
    m_checkData = std::move(data);
}

void DriveContext::DeriveKey(crypto::ByteView salt)
{
    m_kek = deriveKeyEncryptionKey(m_password, salt, m_kdf, kKeyEncryptionKeySize);
}

crypto::SecureBytes DriveContext::wrapMasterKey() const
{
    return crypto::cfbEncrypt(m_kek, m_masterKey);
}

void DriveContext::unwrapMasterKey(crypto::ByteView wrappedKey)
{
    m_masterKey = crypto::cfbDecrypt(m_kek, wrappedKey);
    m_keySize = static_cast<std::int32_t>(m_masterKey.size());
}

crypto::SecureBytes DriveContext::encryptCheckData() const
{
    return crypto::cfbEncrypt(m_masterKey, m_checkData ? crypto::ByteView(*m_checkData) : crypto::ByteView());
}

void DriveContext::decryptCheckData(crypto::ByteView encrypted)
{
    m_checkData.reset();
    crypto::SecureBytes plain = crypto::cfbDecrypt(m_masterKey, encrypted);
    m_checkSize = static_cast<std::int32_t>(plain.size());
    m_checkData = std::move(plain);
}

crypto::Sha256Digest DriveContext::ComputeDigest() const
{
    const crypto::SecureBytes noCheckData;
    std::string text = crypto::base64UrlEncode(m_salt);
    text += crypto::base64UrlEncode(m_masterKey);
    text += crypto::base64UrlEncode(m_checkData ? *m_checkData : noCheckData);
    text += password();
    const crypto::Sha256Digest digest = crypto::sha256(crypto::asBytes(text));
    crypto::secureWipe(text.data(), text.size());
    return digest;
}

bool DriveContext::VerifyDigest() const
{
    if (m_format == DriveFormat::Hardened) {
        return m_hardenedKeyOpened; // the sealed key's tag is the password check
    }
    // Only the first 32 bytes are compared: extra bytes after a matching digest do not matter.
    if (!m_storedDigest || m_storedDigest->size() < 32) {
        return false;
    }
    const crypto::Sha256Digest digest = ComputeDigest();
    return std::equal(digest.begin(), digest.end(), m_storedDigest->begin());
}

bool DriveContext::VerifyCheckData() const
{
    if (m_format == DriveFormat::Hardened) {
        return m_hardenedKeyOpened;
    }
    // Empty check data proves nothing about the key, so it counts as none.
    if (!m_checkData || m_checkData->empty()) {
        return false;
    }
    const crypto::SecureBytes& data = *m_checkData;
    const std::size_t half = data.size() / 2;
    for (std::size_t i = 0; i < half; ++i) {
        if (static_cast<crypto::Byte>(data[i] + 1) != data[half + i]) {
            return false;
        }
    }
    return true;
}

std::string DriveContext::ProtectPassword(std::string_view text) const
{
    return protectText(text);
}

void DriveContext::UnprotectPassword()
{
    const crypto::SecureString plain = unprotectText(password());
    SetPassword(std::string_view(plain.data(), plain.size()));
}

} // namespace kestrava::token
