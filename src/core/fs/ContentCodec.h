// How a drive stores file contents and encrypted extended-attribute values, chosen by the
// drive's format; the handlers speak only to this interface.
#pragma once

#include "core/crypto/SecureBytes.h"
#include "core/fs/ContentIo.h"
#include "core/fs/RangeLock.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace kestrava::fs {

class ContentCodec
{
public:
    virtual ~ContentCodec() = default;

    // As ContentIo: reads return the bytes that exist, writes the length stored; both throw
    // FsError (EIO for stored bytes that fail authentication).
    virtual std::size_t read(int fd, RangeLock& lock, std::uint64_t offset, crypto::Byte* buffer,
                             std::size_t length) const = 0;
    virtual std::size_t write(int fd, RangeLock& lock, std::uint64_t offset, const crypto::Byte* buffer,
                              std::size_t length, bool append) const = 0;
    virtual void setEndOfFile(int fd, RangeLock& lock, std::uint64_t newSize) const = 0;
    // The plain size of a file from the size of its backing file.
    virtual std::uint64_t plainSize(std::uint64_t backingSize) const = 0;
    // Copies up to length plain bytes from one file to another by copying their stored form,
    // where the format allows that for the range; returns the bytes copied, or 0 when the
    // caller must copy through read and write instead.
    virtual std::size_t copyStored(int /*inFd*/, RangeLock& /*inLock*/, std::uint64_t /*inOffset*/,
                                   int /*outFd*/, RangeLock& /*outLock*/, std::uint64_t /*outOffset*/,
                                   std::size_t /*length*/) const
    {
        return 0;
    }

    // Extended-attribute values ("user." namespace). openValue throws FsError(EIO).
    virtual std::vector<crypto::Byte> sealValue(std::string_view name, crypto::ByteView plain) const = 0;
    virtual std::vector<crypto::Byte> openValue(std::string_view name, crypto::ByteView stored) const = 0;
    virtual std::size_t plainValueSize(std::size_t storedSize) const = 0;
};

// The compatible format: every 4096-byte block encrypted by itself, same length as the plain.
class CompatibleContentCodec final : public ContentCodec
{
public:
    explicit CompatibleContentCodec(const crypto::CfbCipher& cipher) : m_cipher(cipher), m_io(m_cipher) {}

    std::size_t read(int fd, RangeLock& lock, std::uint64_t offset, crypto::Byte* buffer,
                     std::size_t length) const override
    {
        return m_io.ReadContent(fd, lock, offset, buffer, length);
    }
    std::size_t write(int fd, RangeLock& lock, std::uint64_t offset, const crypto::Byte* buffer,
                      std::size_t length, bool append) const override
    {
        return m_io.WriteContent(fd, lock, offset, buffer, length, append);
    }
    void setEndOfFile(int fd, RangeLock& lock, std::uint64_t newSize) const override
    {
        m_io.SetEndOfFile(fd, lock, newSize);
    }
    std::uint64_t plainSize(std::uint64_t backingSize) const override { return backingSize; }
    std::size_t copyStored(int inFd, RangeLock& inLock, std::uint64_t inOffset, int outFd, RangeLock& outLock,
                           std::uint64_t outOffset, std::size_t length) const override
    {
        return m_io.CopyStored(inFd, inLock, inOffset, outFd, outLock, outOffset, length);
    }

    std::vector<crypto::Byte> sealValue(std::string_view, crypto::ByteView plain) const override
    {
        std::vector<crypto::Byte> out(plain.size());
        m_cipher.encryptBlocks(plain.data(), out.data(), plain.size());
        return out;
    }
    std::vector<crypto::Byte> openValue(std::string_view, crypto::ByteView stored) const override
    {
        std::vector<crypto::Byte> out(stored.size());
        m_cipher.decryptBlocks(stored.data(), out.data(), stored.size());
        return out;
    }
    std::size_t plainValueSize(std::size_t storedSize) const override { return storedSize; }

private:
    ContentCipher m_cipher;
    ContentIo m_io;
};

} // namespace kestrava::fs
