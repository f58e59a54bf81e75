// DriveContext: the in-memory object of one drive: its password, key material, token options,
// the names that locate it and a few drive flags. It owns its buffers; key material is wiped
// when it is released.
#pragma once

#include "core/crypto/Hash.h"
#include "core/crypto/Kdf.h"
#include "core/crypto/SecureBytes.h"
#include "core/token/DriveFormat.h"
#include "core/token/KeyDerivation.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kestrava::token {

struct TokenOptions
{
    bool fileNameEncryption = true;
    bool longFileNames = false;
    bool caseInsensitive = true;
};

// Case-insensitive names are looked up through the encrypted names, so the option counts only
// while file names are encrypted: without, it is dropped (and the dialogs grey its box).
constexpr bool caseInsensitiveAvailable(bool fileNameEncryption)
{
    return fileNameEncryption;
}
constexpr TokenOptions withCaseRule(TokenOptions options)
{
    options.caseInsensitive = options.caseInsensitive && caseInsensitiveAvailable(options.fileNameEncryption);
    return options;
}

enum class TokenLoadStatus
{
    Loaded,
    Unreadable,    // cannot be opened or read (missing, a directory, too large)
    Malformed,     // not a token: not XML, no key size, values out of range
    WrongPassword, // parsed, but the password check fails (digest, or check data of a legacy token)
};

// The token path of a backing folder.
std::filesystem::path tokenPathFor(const std::filesystem::path& backingFolder);

class DriveContext
{
public:
    static constexpr std::size_t kMaxPasswordBytes = 260;
    static constexpr std::int32_t kDefaultKeySize = 32;
    static constexpr std::int32_t kDefaultBlockSize = 16;
    static constexpr std::int32_t kDefaultSaltSize = 16;
    static constexpr std::int32_t kDefaultCheckSize = 10;
    static constexpr std::int32_t kKeyEncryptionKeySize = 16;

    // The password is a byte string of at most 260 bytes that ends at its first zero byte;
    // callers pass the drive password (hashStr of the typed text).
    explicit DriveContext(std::string_view password = {});
    DriveContext(const DriveContext&) = delete;
    DriveContext& operator=(const DriveContext&) = delete;

    void SetPassword(std::string_view password);
    std::string_view password() const { return crypto::asText(m_password); }

    // Key material.
    void GenerateSalt();
    void GenerateMasterKey();
    void GenerateCheckData();
    void DeriveKey(crypto::ByteView salt);
    crypto::SecureBytes wrapMasterKey() const;         // master key under the key-encryption key
    void unwrapMasterKey(crypto::ByteView wrappedKey); // sets the master key and key size
    crypto::SecureBytes encryptCheckData() const;      // check data under the master key
    void decryptCheckData(crypto::ByteView encrypted); // throws crypto::InvalidKeyLength
    crypto::Sha256Digest ComputeDigest() const;
    bool VerifyDigest() const;
    bool VerifyCheckData() const;

    // The protected form of a text under the program's built-in key, and back: the password
    // field is taken as a protected string and replaced by what it protects.
    std::string ProtectPassword(std::string_view text) const;
    void UnprotectPassword();

    // The token file. CreateToken makes fresh key material and writes a new token;
    // LoadToken reads one and unlocks the context (the password check is the digest when
    // verifyDigest is set and the token is not legacy); RewrapToken rewrites an existing token
    // for the context's current password, keeping salt, version and KDF settings.
    // Failures fill error (if given) with a reason that never contains a secret.
    bool CreateToken(const std::filesystem::path& path, std::string* error = nullptr);
    bool LoadToken(const std::filesystem::path& path, bool verifyDigest);
    TokenLoadStatus loadTokenDetailed(const std::filesystem::path& path, bool verifyDigest,
                                      std::string* error);
    bool RewrapToken(const std::filesystem::path& path, std::string* error = nullptr);

    // Loads the token and requires the password check: the digest for current tokens, the
    // check data for legacy ones.
    TokenLoadStatus unlock(const std::filesystem::path& path, std::string* error = nullptr);

    // Sizes and settings as loaded or defaulted.
    std::int32_t keySize() const { return m_keySize; }
    std::int32_t blockSize() const { return m_blockSize; }
    std::int32_t saltSize() const { return m_saltSize; }
    std::int32_t checkSize() const { return m_checkSize; }
    const KdfSettings& kdf() const { return m_kdf; }
    void setKdf(const KdfSettings& kdf) { m_kdf = kdf; }

    const crypto::SecureBytes& salt() const { return m_salt; }
    const crypto::SecureBytes& keyEncryptionKey() const { return m_kek; }
    const crypto::SecureBytes& masterKey() const { return m_masterKey; }
    const std::optional<crypto::SecureBytes>& checkData() const { return m_checkData; }
    const std::optional<crypto::SecureBytes>& storedDigest() const { return m_storedDigest; }

    // The drive format: chosen before CreateToken, read from the token by LoadToken. A hardened
    // token derives its key with scrypt under these parameters (lower ones only for tests).
    DriveFormat format() const { return m_format; }
    void setFormat(DriveFormat format) { m_format = format; }
    const crypto::ScryptParams& scryptParams() const { return m_scrypt; }
    void setScryptParams(const crypto::ScryptParams& params) { m_scrypt = params; }

    const TokenOptions& options() const { return m_options; }
    void setOptions(const TokenOptions& options) { m_options = options; }
    bool isLegacy() const { return m_legacy; }

    // Where the drive lives. Label and folder are limited to 259 characters by their users.
    const std::string& label() const { return m_label; }
    void setLabel(std::string label) { m_label = std::move(label); }
    const std::filesystem::path& backingFolder() const { return m_backingFolder; }
    void setBackingFolder(std::filesystem::path folder) { m_backingFolder = std::move(folder); }
    const std::string& driveLetter() const { return m_driveLetter; }
    void setDriveLetter(std::string letter) { m_driveLetter = std::move(letter); }

    // The record's choices as the drive was unlocked (what the edit dialog starts from).
    // Whether the drive is mounted is runtime state, kept by MountedDrives.
    bool autoMount = false;
    bool passwordRemembered = false;

private:
    bool createHardenedToken(const std::filesystem::path& path, std::string* error);
    TokenLoadStatus loadHardenedToken(std::string_view xml, const std::filesystem::path& path,
                                      bool verifyDigest, std::string* error);
    bool rewrapHardenedToken(std::string_view existing, const std::filesystem::path& path,
                             std::string* error);

    crypto::SecureBytes m_password;
    DriveFormat m_format = DriveFormat::Compatible;
    crypto::ScryptParams m_scrypt;
    bool m_hardenedKeyOpened = false;
    std::int32_t m_keySize = kDefaultKeySize;
    std::int32_t m_blockSize = kDefaultBlockSize;
    std::int32_t m_saltSize = kDefaultSaltSize;
    std::int32_t m_checkSize = kDefaultCheckSize;
    KdfSettings m_kdf;
    crypto::SecureBytes m_salt;
    crypto::SecureBytes m_kek;
    crypto::SecureBytes m_masterKey;
    std::optional<crypto::SecureBytes> m_checkData;
    std::optional<crypto::SecureBytes> m_storedDigest;
    TokenOptions m_options;
    bool m_legacy = false;
    std::string m_label;
    std::filesystem::path m_backingFolder;
    std::string m_driveLetter;
};

} // namespace kestrava::token
