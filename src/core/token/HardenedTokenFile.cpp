// The file-level token operations of DriveContext for hardened drives: the master key is
// sealed with AES-256-GCM under a key derived with scrypt, bound to the salt, the derivation
// parameters and the options.
#include "core/crypto/AesGcm.h"
#include "core/crypto/Base64Url.h"
#include "core/crypto/Random.h"
#include "core/token/DriveContext.h"
#include "core/token/HardenedToken.h"
#include "core/util/AtomicFile.h"

#include <stdexcept>

namespace kestrava::token {
namespace {

void setError(std::string* error, std::string text)
{
    if (error != nullptr) {
        *error = std::move(text);
    }
}

crypto::SecureBytes sealKey(crypto::ByteView password, const HardenedFields& fields, crypto::ByteView salt,
                            crypto::ByteView masterKey)
{
    const crypto::SecureBytes kek = crypto::scrypt(password, salt, fields.scrypt, crypto::AesGcm::kKeySize);
    const std::string binding = hardenedKeyBinding(fields);
    return crypto::AesGcm(kek).sealWithRandomNonce(crypto::asBytes(binding), masterKey);
}

// A fresh salt each time the key is sealed, so an old copy of the token tells nothing about
// the new password's derivation.
bool sealAndSave(const std::filesystem::path& path, crypto::ByteView password, HardenedFields fields,
                 crypto::ByteView masterKey, std::string* error)
{
    const crypto::SecureBytes salt = crypto::randomBytes(kHardenedSaltSize);
    fields.encodedSalt = crypto::base64UrlEncode(salt);
    fields.encodedSealedKey = crypto::base64UrlEncode(sealKey(password, fields, salt, masterKey));
    const util::WriteResult result = util::writeFileAtomically(path, writeHardenedToken(fields), 0600);
    if (!result.ok) {
        setError(error, result.message);
    }
    return result.ok;
}

} // namespace

bool DriveContext::createHardenedToken(const std::filesystem::path& path, std::string* error)
{
    m_keySize = kDefaultKeySize;
    GenerateMasterKey();
    m_checkData.reset();
    m_storedDigest.reset();
    m_legacy = false;
    HardenedFields fields;
    fields.scrypt = m_scrypt;
    fields.options = m_options;
    m_hardenedKeyOpened = true;
    return sealAndSave(path, m_password, fields, m_masterKey, error);
}

TokenLoadStatus DriveContext::loadHardenedToken(std::string_view xml, const std::filesystem::path& path,
                                                bool verifyDigest, std::string* error)
{
    HardenedFields fields;
    std::string reason;
    if (!parseHardenedToken(xml, fields, reason)) {
        setError(error, path.string() + ": " + reason);
        return TokenLoadStatus::Malformed;
    }
    m_format = DriveFormat::Hardened;
    m_scrypt = fields.scrypt;
    m_options = fields.options;
    m_legacy = false;
    m_checkData.reset();
    m_storedDigest.reset();
    m_salt = crypto::base64UrlDecode(fields.encodedSalt);
    m_saltSize = static_cast<std::int32_t>(m_salt.size());
    const crypto::SecureBytes sealed = crypto::base64UrlDecode(fields.encodedSealedKey);
    const crypto::SecureBytes kek = crypto::scrypt(m_password, m_salt, m_scrypt, crypto::AesGcm::kKeySize);
    crypto::SecureBytes key;
    const std::string binding = hardenedKeyBinding(fields);
    m_hardenedKeyOpened = crypto::AesGcm(kek).openWithNonce(crypto::asBytes(binding), sealed, key) &&
                          key.size() == static_cast<std::size_t>(kDefaultKeySize);
    if (!m_hardenedKeyOpened) {
        m_masterKey.clear();
        m_keySize = 0;
        // Like a compatible token, a wrong password only fails where the caller asks for the check.
        if (verifyDigest) {
            setError(error, "the password does not open this token");
            return TokenLoadStatus::WrongPassword;
        }
        return TokenLoadStatus::Loaded;
    }
    m_masterKey = std::move(key);
    m_keySize = kDefaultKeySize;
    return TokenLoadStatus::Loaded;
}

bool DriveContext::rewrapHardenedToken(std::string_view existing, const std::filesystem::path& path,
                                       std::string* error)
{
    HardenedFields fields;
    std::string reason;
    if (!parseHardenedToken(existing, fields, reason)) {
        setError(error, path.string() + ": " + reason);
        return false;
    }
    if (!m_hardenedKeyOpened || m_masterKey.size() != static_cast<std::size_t>(kDefaultKeySize)) {
        setError(error, "the drive's key material is not usable");
        return false;
    }
    fields.options = m_options;
    return sealAndSave(path, m_password, fields, m_masterKey, error);
}

} // namespace kestrava::token
