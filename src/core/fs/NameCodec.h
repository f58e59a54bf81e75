// How a drive stores names and link targets, chosen by the drive's format. The handlers speak
// only to this interface, so both formats share one code path. Names are always stored
// relative to the backing directory (dirFd) that holds them: the hardened format encrypts each
// directory's names under that directory's own IV.
#pragma once

#include "core/fs/NameCipher.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace kestrava::fs {

class NameCodec
{
public:
    virtual ~NameCodec() = default;

    // The stored name of a plain component in dirFd. forNew: the entry is about to be made
    // (whatever the stored name needs besides itself is written now). Throws FsError
    // (EINVAL, ENAMETOOLONG; ENOENT when dirFd cannot hold names of this drive).
    virtual std::string encryptName(int dirFd, std::string_view plain, bool forNew) const = 0;
    // The plain name, or "" when the stored name is not one of this drive's in dirFd.
    virtual std::string decryptName(int dirFd, std::string_view stored) const = 0;
    // Whether a name's stored form depends on its directory (no textual path mapping then).
    virtual bool perDirectory() const = 0;
    // The longest plain name, in bytes, the format can store.
    virtual std::size_t maxPlainNameBytes() const = 0;

    // Link targets. Throws FsError (ENAMETOOLONG; EIO for a target that is not ours).
    virtual std::string encryptLinkTarget(std::string_view target) const = 0;
    virtual std::string decryptLinkTarget(std::string_view stored) const = 0;

    // Entries of the format's own in a backing directory: never listed, never the user's.
    virtual bool isBookkeeping(std::string_view) const { return false; }
    // After an entry stored under `stored` in dirFd is gone.
    virtual void afterRemove(int, std::string_view) const {}
    // After a directory was made as `stored` in parentFd; throws FsError.
    virtual void initDirectory(int, std::string_view) const {}
    // Before an empty directory is removed: takes away the format's own entries in it, or
    // throws FsError(ENOTEMPTY) when it holds anything else.
    virtual void prepareRemoveDirectory(int, std::string_view) const {}
};

// The compatible format: one deterministic CFB encryption for every name in the drive.
class CompatibleNameCodec final : public NameCodec
{
public:
    explicit CompatibleNameCodec(const crypto::CfbCipher& cipher) : m_cipher(cipher) {}

    std::string encryptName(int, std::string_view plain, bool) const override
    {
        return m_cipher.EncryptNameComponent(plain);
    }
    // Only a name that encrypts back to exactly itself is the drive's: a sync client's conflict
    // copy (a name plus added text) can decrypt too, and must not shadow the original.
    std::string decryptName(int, std::string_view stored) const override
    {
        return m_cipher.decryptExactName(stored);
    }
    bool perDirectory() const override { return false; }
    std::size_t maxPlainNameBytes() const override { return kMaxEncryptedPlainNameBytes; }
    std::string encryptLinkTarget(std::string_view target) const override
    {
        return m_cipher.encryptLinkTarget(target);
    }
    std::string decryptLinkTarget(std::string_view stored) const override
    {
        return m_cipher.decryptLinkTarget(stored);
    }

    const NameCipher& cipher() const { return m_cipher; }

private:
    NameCipher m_cipher;
};

} // namespace kestrava::fs
