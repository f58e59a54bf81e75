#include "core/fs/ContentIo.h"

#include "core/fs/FsError.h"
#include "core/fs/FullIo.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

namespace kestrava::fs {
namespace {

using crypto::Byte;

constexpr std::size_t kBlock = kContentBlockSize;
constexpr std::size_t kZeroIovecs = 256; // 1 MiB of encrypted zeros per system call
// Reads are decrypted in pieces of this size, which stay in the processor's cache.
constexpr std::size_t kCachePiece = 128 * 1024;

// Per-thread buffer for whole blocks, grown once and reused by every call on that thread.
Byte* scratch(std::size_t size)
{
    thread_local std::vector<Byte> buffer;
    if (buffer.size() < size) {
        buffer.resize(std::max(size, ContentIo::kChunkBytes));
    }
    return buffer.data();
}

void copyOverlap(Byte* block, std::uint64_t blockStart, std::size_t blockLength, const Byte* data,
                 std::uint64_t dataStart, std::uint64_t dataEnd)
{
    const std::uint64_t from = std::max(blockStart, dataStart);
    const std::uint64_t to = std::min<std::uint64_t>(blockStart + blockLength, dataEnd);
    if (to > from) {
        std::memcpy(block + (from - blockStart), data + (from - dataStart), to - from);
    }
}

} // namespace

std::uint64_t fileSize(int fd)
{
    struct stat st
    {
    };
    checkSys(::fstat(fd, &st));
    return static_cast<std::uint64_t>(st.st_size);
}

std::size_t readPlain(int fd, std::uint64_t offset, Byte* buffer, std::size_t length)
{
    return preadFull(fd, buffer, length, offset);
}

std::size_t writePlain(int fd, std::uint64_t offset, const Byte* buffer, std::size_t length)
{
    pwriteFull(fd, buffer, length, offset);
    return length;
}

std::size_t ContentIo::ReadContent(int fd, RangeLock& lock, std::uint64_t offset, Byte* buffer,
                                   std::size_t length) const
{
    if (length == 0) {
        return 0;
    }
    const std::uint64_t end = offset + length;
    RangeLock::Guard guard(lock, blockIndex(offset), blockIndex(end - 1), false);

    // A block starts decrypting at its first byte, but any prefix of it decrypts by itself.
    // So only a range starting inside a block needs that block's beginning in scratch space;
    // everything from the next block boundary on is read straight into the caller's buffer.
    std::array<Byte, kBlock> head{};
    const std::uint64_t headStart = blockFloor(offset);
    const std::size_t delta = offset - headStart;
    const std::size_t headLength = delta == 0 ? 0 : std::min<std::uint64_t>(kBlock, end - headStart);
    const std::size_t direct = delta == 0 ? length : length - (headLength - delta);

    std::size_t delivered = 0;
    if (headLength != 0) {
        const std::size_t filled = preadFull(fd, head.data(), headLength, headStart);
        m_cipher.decryptBlocks(head.data(), head.data(), filled);
        if (filled > delta) {
            delivered = filled - delta;
            std::memcpy(buffer, head.data() + delta, delivered);
        }
        if (filled < headLength) {
            return delivered;
        }
    }
    // In pieces that stay in the processor's cache between reading and decrypting.
    for (std::size_t done = 0; done < direct;) {
        const std::size_t piece = std::min(kCachePiece, direct - done);
        Byte* at = buffer + delivered;
        const std::size_t filled = preadFull(fd, at, piece, offset + delivered);
        m_cipher.decryptBlocks(at, at, filled);
        delivered += filled;
        done += filled;
        if (filled < piece) {
            break;
        }
    }
    return delivered;
}

void ContentIo::writeInside(int fd, std::uint64_t offset, const Byte* data, std::size_t length,
                            std::uint64_t size) const
{
    const std::uint64_t end = offset + length;
    std::uint64_t pos = offset;
    while (pos < end) {
        const std::uint64_t spanStart = blockFloor(pos);
        const std::uint64_t chunkEnd = std::min<std::uint64_t>(end, spanStart + kChunkBytes);
        const std::uint64_t spanEnd = std::min(blockCeil(chunkEnd), std::max(size, chunkEnd));
        const std::size_t total = spanEnd - spanStart;
        const std::size_t chunkLength = chunkEnd - pos;
        Byte* span = scratch(total);

        // A block whose stored bytes are partly kept: read, decrypt, merge, re-encrypt.
        const auto mergeBlock = [&](std::uint64_t blockStart) {
            Byte* block = span + (blockStart - spanStart);
            const std::size_t blockLength = std::min<std::uint64_t>(kBlock, spanEnd - blockStart);
            std::size_t stored = 0;
            if (blockNeedsRead(blockStart, pos, chunkLength, size)) {
                stored = preadFull(fd, block, bytesInBlock(blockStart, size), blockStart);
                m_cipher.decryptBlocks(block, block, stored);
            }
            std::memset(block + stored, 0, blockLength - stored);
            copyOverlap(block, blockStart, blockLength, data, offset, chunkEnd);
            m_cipher.encryptBlocks(block, block, blockLength);
        };

        const std::uint64_t lastStart = blockFloor(spanEnd - 1);
        const bool headMerged = pos != spanStart || blockNeedsRead(spanStart, pos, chunkLength, size);
        const bool tailMerged = lastStart != spanStart && blockNeedsRead(lastStart, pos, chunkLength, size);
        if (headMerged) {
            mergeBlock(spanStart);
        }
        if (tailMerged) {
            mergeBlock(lastStart);
        }
        // Blocks the write replaces entirely are encrypted straight from the caller's data.
        const std::uint64_t middleStart = headMerged ? spanStart + kBlock : spanStart;
        const std::uint64_t middleEnd = tailMerged ? lastStart : spanEnd;
        if (middleEnd > middleStart) {
            m_cipher.encryptBlocks(data + (middleStart - offset), span + (middleStart - spanStart),
                                   middleEnd - middleStart);
        }
        pwriteFull(fd, span, total, spanStart);
        pos = chunkEnd;
    }
}

void ContentIo::writeZeroBlocks(int fd, std::uint64_t pos, std::uint64_t end) const
{
    // Every block of zeros has the same stored form, so one block serves the whole region.
    Byte* zeros = const_cast<Byte*>(m_cipher.encryptedZeroBlock());
    iovec iov[kZeroIovecs];
    while (pos < end) {
        std::size_t count = 0;
        std::uint64_t at = pos;
        while (at < end && count < kZeroIovecs) {
            const std::size_t within = at % kBlock;
            const std::size_t piece = std::min<std::uint64_t>(kBlock - within, end - at);
            iov[count++] = {zeros + within, piece};
            at += piece;
        }
        ssize_t n = 0;
        do {
            n = ::pwritev(fd, iov, static_cast<int>(count), static_cast<off_t>(pos));
        } while (n < 0 && errno == EINTR);
        checkSys(n);
        if (n == 0) {
            throw FsError(EIO);
        }
        pos += static_cast<std::uint64_t>(n);
    }
}

void ContentIo::extend(int fd, std::uint64_t oldSize, std::uint64_t newSize) const
{
    if (newSize <= oldSize) {
        return;
    }
    // Reserve the space first where the file system can, so a full disk fails before
    // anything is written.
    if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(oldSize),
                    static_cast<off_t>(newSize - oldSize)) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS) {
        throw FsError(errno);
    }
    try {
        std::uint64_t pos = oldSize;
        if (pos % kBlock != 0) {
            // The last block grows: its stored prefix re-encrypts to the same bytes, the
            // zeros after it chain from there.
            const std::uint64_t blockStart = blockFloor(pos);
            const std::uint64_t blockEnd = std::min(blockStart + kBlock, newSize);
            std::array<Byte, kBlock> block{};
            const std::size_t stored = preadFull(fd, block.data(), pos - blockStart, blockStart);
            m_cipher.decryptBlocks(block.data(), block.data(), stored);
            m_cipher.encryptBlocks(block.data(), block.data(), blockEnd - blockStart);
            pwriteFull(fd, block.data(), blockEnd - blockStart, blockStart);
            pos = blockEnd;
        }
        writeZeroBlocks(fd, pos, newSize);
    } catch (...) {
        (void)::ftruncate(fd, static_cast<off_t>(oldSize));
        throw;
    }
}

std::size_t ContentIo::WriteContent(int fd, RangeLock& lock, std::uint64_t offset, const Byte* buffer,
                                    std::size_t length, bool append) const
{
    if (length == 0) {
        return 0;
    }
    if (!append) {
        // Inside the file: only the touched blocks are locked, other writers go on.
        RangeLock::Guard guard(lock, blockIndex(offset), blockIndex(offset + length - 1), true);
        const std::uint64_t size = fileSize(fd);
        if (offset + length <= size) {
            writeInside(fd, offset, buffer, length, size);
            return length;
        }
    }
    // Growing the file changes its size: nobody else may touch it meanwhile.
    RangeLock::Guard guard(lock, 0, RangeLock::kWholeFile, true);
    const std::uint64_t size = fileSize(fd);
    if (append) {
        offset = size;
    }
    try {
        extend(fd, size, offset);
        writeInside(fd, offset, buffer, length, std::max(size, offset));
    } catch (...) {
        if (offset + length > size) {
            (void)::ftruncate(fd, static_cast<off_t>(size));
        }
        throw;
    }
    return length;
}

namespace {
// Copies count stored bytes between two backing files: in the kernel where it can (no copy
// through this process, and shared extents where the file system has them), by reading and
// writing otherwise.
void copyBytes(int inFd, std::uint64_t inOffset, int outFd, std::uint64_t outOffset, std::uint64_t count)
{
    auto inPos = static_cast<off_t>(inOffset);
    auto outPos = static_cast<off_t>(outOffset);
    std::uint64_t left = count;
    while (left > 0) {
        const ssize_t n = ::copy_file_range(inFd, &inPos, outFd, &outPos, left, 0);
        if (n > 0) {
            left -= static_cast<std::uint64_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0 || errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP || errno == ENOSYS) {
            break; // the rest the slow way
        }
        throw FsError(errno);
    }
    while (left > 0) {
        Byte* buffer = scratch(ContentIo::kChunkBytes);
        const std::size_t piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(left, ContentIo::kChunkBytes));
        if (preadFull(inFd, buffer, piece, static_cast<std::uint64_t>(inPos)) != piece) {
            throw FsError(EIO); // the source shrank under its lock: not ours to explain
        }
        pwriteFull(outFd, buffer, piece, static_cast<std::uint64_t>(outPos));
        inPos += static_cast<off_t>(piece);
        outPos += static_cast<off_t>(piece);
        left -= piece;
    }
}
} // namespace

std::size_t ContentIo::CopyStored(int inFd, RangeLock& inLock, std::uint64_t inOffset, int outFd,
                                  RangeLock& outLock, std::uint64_t outOffset, std::size_t length) const
{
    if (length == 0 || inOffset % kBlock != 0 || outOffset % kBlock != 0) {
        return 0;
    }
    // Both files stay still meanwhile. The locks are taken in one order, so two copies in
    // opposite directions cannot wait for each other; a copy within one file takes its lock once.
    std::optional<RangeLock::Guard> first;
    std::optional<RangeLock::Guard> second;
    if (&inLock == &outLock) {
        first.emplace(outLock, 0, RangeLock::kWholeFile, true);
    } else if (&inLock < &outLock) {
        first.emplace(inLock, 0, RangeLock::kWholeFile, false);
        second.emplace(outLock, 0, RangeLock::kWholeFile, true);
    } else {
        first.emplace(outLock, 0, RangeLock::kWholeFile, true);
        second.emplace(inLock, 0, RangeLock::kWholeFile, false);
    }
    const std::uint64_t inSize = fileSize(inFd);
    const std::uint64_t outSize = fileSize(outFd);
    if (inOffset >= inSize || outOffset > outSize) {
        return 0;
    }
    std::uint64_t count = std::min<std::uint64_t>(length, inSize - inOffset);
    const bool endsBoth = inOffset + count == inSize && outOffset + count >= outSize;
    if (!endsBoth) {
        count = blockFloor(count);
    }
    if (count == 0) {
        return 0;
    }
    try {
        copyBytes(inFd, inOffset, outFd, outOffset, count);
    } catch (...) {
        if (outOffset + count > outSize) {
            (void)::ftruncate(outFd, static_cast<off_t>(outSize));
        }
        throw;
    }
    return static_cast<std::size_t>(count);
}

void ContentIo::SetEndOfFile(int fd, RangeLock& lock, std::uint64_t newSize) const
{
    RangeLock::Guard guard(lock, 0, RangeLock::kWholeFile, true);
    const std::uint64_t size = fileSize(fd);
    if (newSize < size) {
        // Any prefix of a block decrypts by itself: cutting needs no re-encryption.
        checkSys(::ftruncate(fd, static_cast<off_t>(newSize)));
    } else {
        extend(fd, size, newSize);
    }
}

} // namespace kestrava::fs
