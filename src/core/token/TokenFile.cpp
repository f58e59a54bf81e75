// The file-level token operations of DriveContext.
#include "core/Version.h"
#include "core/crypto/Base64Url.h"
#include "core/crypto/Cfb.h"
#include "core/token/DriveContext.h"
#include "core/token/HardenedToken.h"
#include "core/token/TokenDocument.h"
#include "core/util/AtomicFile.h"

namespace kestrava::token {
namespace {

// A real token is well under 2 KiB; anything far larger is not one.
constexpr std::size_t kMaxTokenBytes = 64 * 1024;

void setError(std::string* error, std::string text)
{
    if (error != nullptr) {
        *error = std::move(text);
    }
}

bool save(const std::filesystem::path& path, const std::string& xml, std::string* error)
{
    const util::WriteResult result = util::writeFileAtomically(path, xml, 0600);
    if (!result.ok) {
        setError(error, result.message);
    }
    return result.ok;
}

} // namespace

bool DriveContext::CreateToken(const std::filesystem::path& path, std::string* error)
{
    if (m_format == DriveFormat::Hardened) {
        return createHardenedToken(path, error);
    }
    m_keySize = kDefaultKeySize;
    m_saltSize = kDefaultSaltSize;
    m_checkSize = kDefaultCheckSize;
    GenerateSalt();
    GenerateMasterKey();
    GenerateCheckData();
    DeriveKey(m_salt);

    TokenFields fields;
    fields.version = kProgramVersion;
    fields.keySize = m_keySize;
    fields.blockSize = m_blockSize;
    fields.saltSize = m_saltSize;
    fields.kdfIterations = m_kdf.iterations;
    fields.kdfDuration = m_kdf.durationSeconds;
    fields.checkSize = m_checkSize;
    fields.encodedSalt = crypto::base64UrlEncode(m_salt);
    fields.encodedKey = crypto::base64UrlEncode(wrapMasterKey());
    fields.encodedCheck = crypto::base64UrlEncode(encryptCheckData());
    fields.fileNameEncryption = m_options.fileNameEncryption;
    fields.longFileName = m_options.longFileNames;
    fields.caseInsensitive = m_options.caseInsensitive;
    const crypto::Sha256Digest digest = ComputeDigest();
    m_storedDigest = crypto::toSecureBytes(digest);
    fields.digest = crypto::base64UrlEncode(digest);
    m_legacy = fields.isLegacy();
    return save(path, writeTokenDocument(fields), error);
}

bool DriveContext::LoadToken(const std::filesystem::path& path, bool verifyDigest)
{
    return loadTokenDetailed(path, verifyDigest, nullptr) == TokenLoadStatus::Loaded;
}

TokenLoadStatus DriveContext::loadTokenDetailed(const std::filesystem::path& path, bool verifyDigest,
                                                std::string* error)
{
    std::string xml;
    std::string reason;
    if (!util::readSmallFile(path, kMaxTokenBytes, xml, reason)) {
        setError(error, path.string() + ": " + reason);
        return TokenLoadStatus::Unreadable;
    }
    if (isHardenedTokenText(xml)) {
        return loadHardenedToken(xml, path, verifyDigest, error);
    }
    m_format = DriveFormat::Compatible;
    TokenFields fields;
    const TokenParseStatus parsed = parseTokenFields(xml, fields, reason);
    if (parsed != TokenParseStatus::Parsed) {
        if (parsed == TokenParseStatus::NoKeySize) {
            m_keySize = 0; // a readable token without a key size leaves only that behind
        }
        setError(error, path.string() + ": " + reason);
        return TokenLoadStatus::Malformed;
    }
    m_keySize = fields.keySize;
    m_blockSize = fields.blockSize;
    m_saltSize = fields.saltSize;
    m_checkSize = fields.checkSize;
    m_kdf = KdfSettings{fields.kdfIterations, fields.kdfDuration};
    m_options = TokenOptions{fields.fileNameEncryption, fields.longFileName, fields.caseInsensitive};
    m_storedDigest = crypto::base64UrlDecode(fields.digest);
    m_legacy = fields.isLegacy();

    m_salt = crypto::base64UrlDecode(fields.encodedSalt);
    m_saltSize = static_cast<std::int32_t>(m_salt.size());
    DeriveKey(m_salt);
    try {
        unwrapMasterKey(crypto::base64UrlDecode(fields.encodedKey));
    } catch (const crypto::InvalidKeyLength&) {
        // No usable key-encryption key: leave the drive locked.
        m_masterKey.clear();
        m_keySize = 0;
    }
    try {
        decryptCheckData(crypto::base64UrlDecode(fields.encodedCheck));
    } catch (const crypto::InvalidKeyLength&) {
        m_checkData.reset(); // a master key AES refuses: both password checks will fail
    }
    if (verifyDigest && !m_legacy && !VerifyDigest()) {
        setError(error, "the password does not open this token");
        return TokenLoadStatus::WrongPassword;
    }
    return TokenLoadStatus::Loaded;
}

TokenLoadStatus DriveContext::unlock(const std::filesystem::path& path, std::string* error)
{
    const TokenLoadStatus status = loadTokenDetailed(path, true, error);
    if (status == TokenLoadStatus::Loaded && m_legacy && !VerifyCheckData()) {
        setError(error, "the password does not open this token");
        return TokenLoadStatus::WrongPassword;
    }
    return status;
}

bool DriveContext::RewrapToken(const std::filesystem::path& path, std::string* error)
{
    std::string existing;
    std::string reason;
    if (!util::readSmallFile(path, kMaxTokenBytes, existing, reason)) {
        setError(error, path.string() + ": " + reason);
        return false;
    }
    if (isHardenedTokenText(existing)) {
        return rewrapHardenedToken(existing, path, error);
    }
    DeriveKey(m_salt);
    RewrapValues values;
    try {
        values.encodedKey = crypto::base64UrlEncode(wrapMasterKey());
        values.encodedCheck = crypto::base64UrlEncode(encryptCheckData());
    } catch (const crypto::InvalidKeyLength&) {
        setError(error, "the drive's key material is not usable");
        return false;
    }
    values.checkSize = m_checkSize;
    values.fileNameEncryption = m_options.fileNameEncryption;
    values.longFileName = m_options.longFileNames;
    values.caseInsensitive = m_options.caseInsensitive;
    const crypto::Sha256Digest digest = ComputeDigest();
    values.digest = crypto::base64UrlEncode(digest);

    std::string updated;
    if (!rewrapTokenDocument(existing, values, updated, reason)) {
        setError(error, path.string() + ": " + reason);
        return false;
    }
    m_storedDigest = crypto::toSecureBytes(digest);
    return save(path, updated, error);
}

} // namespace kestrava::token
