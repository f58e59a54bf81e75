// Names of the hardened format. Every backing directory holds a random 16-byte IV in the file
// "kestrava.diriv"; a name is AES-SIV sealed with that IV as associated data and written as
// unpadded base64url, so the same name in two directories is stored differently and a changed
// name is refused. A stored form longer than 255 bytes is kept as
// "kestrava.long.<base64url SHA-256 of it>" with the full form in a side file of that name
// plus ".name". Link targets are sealed with AES-256-GCM under a fresh nonce.
#pragma once

#include "core/crypto/AesGcm.h"
#include "core/crypto/AesSiv.h"
#include "core/fs/NameCodec.h"

#include <string>
#include <string_view>

namespace kestrava::fs {

inline constexpr std::string_view kDirIvFileName = "kestrava.diriv";
inline constexpr std::string_view kLongNamePrefix = "kestrava.long.";
inline constexpr std::string_view kLongNameSuffix = ".name";
inline constexpr std::size_t kDirIvSize = 16;
// Plain names of up to 255 bytes (the Linux limit) are stored, long ones through side files.
inline constexpr std::size_t kMaxHardenedPlainNameBytes = 255;
// A sealed target must stay a valid link text (below 4096 bytes).
inline constexpr std::size_t kMaxHardenedLinkTargetBytes = 3000;

class HardenedNameCodec final : public NameCodec
{
public:
    // nameKey: 64 bytes for AES-SIV; linkKey: 32 bytes for AES-256-GCM.
    HardenedNameCodec(crypto::ByteView nameKey, crypto::ByteView linkKey);

    std::string encryptName(int dirFd, std::string_view plain, bool forNew) const override;
    std::string decryptName(int dirFd, std::string_view stored) const override;
    bool perDirectory() const override { return true; }
    std::size_t maxPlainNameBytes() const override { return kMaxHardenedPlainNameBytes; }
    std::string encryptLinkTarget(std::string_view target) const override;
    std::string decryptLinkTarget(std::string_view stored) const override;

    bool isBookkeeping(std::string_view stored) const override;
    void afterRemove(int dirFd, std::string_view stored) const override;
    void initDirectory(int parentFd, std::string_view stored) const override;
    void prepareRemoveDirectory(int parentFd, std::string_view stored) const override;

    // The full stored form of a name under a directory IV (before any long-name shortening).
    std::string sealName(crypto::ByteView dirIv, std::string_view plain) const;

private:
    crypto::AesSiv m_siv;
    crypto::AesGcm m_links;
};

// The short stored name of a full stored form longer than a name may be.
std::string longNameFor(std::string_view fullStored);

// The directory IV of an open backing directory; with create set, a directory without one
// gets a new one. Throws FsError (ENOENT when missing and not created).
crypto::SecureBytes readDirectoryIv(int dirFd, bool create);

} // namespace kestrava::fs
