// Reads and writes of file contents at any offset and length over a backing file, block by
// block. Writes re-encrypt the whole blocks they touch (reading first only those blocks that
// hold stored bytes the write keeps), and growing a file stores encrypted zeros, so the new
// region reads back as zeros. Callers pass the file's block lock; everything here is safe
// from several threads and several handles at once.
#pragma once

#include "core/fs/ContentCipher.h"
#include "core/fs/RangeLock.h"

#include <cstddef>
#include <cstdint>

namespace kestrava::fs {

class ContentIo
{
public:
    // Bytes encrypted and written per step of a large write: bounds memory and stays in the
    // processor's cache between encrypting and writing.
    static constexpr std::size_t kChunkBytes = 128 * 1024;

    explicit ContentIo(const ContentCipher& cipher) : m_cipher(cipher) {}

    // Fills buffer with up to length plaintext bytes from offset; returns how many exist
    // (fewer at the end of the file, 0 beyond it). Throws FsError.
    std::size_t ReadContent(int fd, RangeLock& lock, std::uint64_t offset, crypto::Byte* buffer,
                            std::size_t length) const;

    // Stores length bytes at offset (at the end of the file when append is set) and returns
    // length. A gap between the old end and offset is filled with encrypted zeros. If a
    // write that grows the file fails, the file is cut back to its old size. Throws FsError.
    std::size_t WriteContent(int fd, RangeLock& lock, std::uint64_t offset, const crypto::Byte* buffer,
                             std::size_t length, bool append) const;

    // Moves the end of file; a grown region holds encrypted zeros. Throws FsError.
    void SetEndOfFile(int fd, RangeLock& lock, std::uint64_t newSize) const;

    // Every block is encrypted by itself from the same starting state, so whole blocks keep
    // their meaning wherever they are stored: a copy between block-aligned offsets copies the
    // stored bytes (the backing file system may even share them). A last, partial block is
    // copied too when it ends the data of both files. Returns the bytes copied; 0 when the
    // range does not allow this (unaligned, starting past the target's end, or less than a
    // block). Throws FsError.
    std::size_t CopyStored(int inFd, RangeLock& inLock, std::uint64_t inOffset, int outFd, RangeLock& outLock,
                           std::uint64_t outOffset, std::size_t length) const;

private:
    void writeInside(int fd, std::uint64_t offset, const crypto::Byte* data, std::size_t length,
                     std::uint64_t size) const;
    void extend(int fd, std::uint64_t oldSize, std::uint64_t newSize) const;
    void writeZeroBlocks(int fd, std::uint64_t pos, std::uint64_t end) const;

    const ContentCipher& m_cipher;
};

// The token file's bytes pass through unchanged; both return the count the system reports.
std::size_t readPlain(int fd, std::uint64_t offset, crypto::Byte* buffer, std::size_t length);
std::size_t writePlain(int fd, std::uint64_t offset, const crypto::Byte* buffer, std::size_t length);

// The size of an open file. Throws FsError.
std::uint64_t fileSize(int fd);

} // namespace kestrava::fs
