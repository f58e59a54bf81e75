#include "core/fs/SealedContent.h"

#include "core/app/ActivityLog.h"
#include "core/crypto/Random.h"
#include "core/fs/FsError.h"
#include "core/fs/FullIo.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrava::fs {
namespace {

using crypto::Byte;

constexpr std::uint64_t kBlock = kContentBlockSize;
constexpr Byte kVersion[2] = {0x00, 0x01};
// Blocks sealed and written per step of a long write.
constexpr std::uint64_t kBlocksPerStep = 32;
constexpr std::string_view kValueBinding = "kestrava xattr ";

std::uint64_t blockOffset(std::uint64_t index)
{
    return kSealedHeaderSize + index * kSealedBlockSize;
}

std::vector<Byte>& scratch(std::size_t size)
{
    thread_local std::vector<Byte> buffer;
    if (buffer.size() < size) {
        buffer.resize(size);
    }
    return buffer;
}

unsigned long long inodeOf(int fd)
{
    struct stat st
    {
    };
    return ::fstat(fd, &st) == 0 ? static_cast<unsigned long long>(st.st_ino) : 0ull;
}

[[noreturn]] void failAuthentication(int fd, const char* what, std::uint64_t index)
{
    writeLog("!DriveFs: %s %llu of backing inode %llu fails authentication; read refused", what,
             static_cast<unsigned long long>(index), inodeOf(fd));
    throw FsError(EIO);
}

} // namespace

std::uint64_t sealedBackingSize(std::uint64_t plainSize)
{
    if (plainSize == 0) {
        return 0;
    }
    const std::uint64_t whole = plainSize / kBlock;
    const std::uint64_t rest = plainSize % kBlock;
    return kSealedHeaderSize + whole * kSealedBlockSize + (rest == 0 ? 0 : rest + kSealedBlockOverhead);
}

std::optional<std::uint64_t> sealedPlainSize(std::uint64_t backingSize)
{
    if (backingSize == 0) {
        return 0;
    }
    if (backingSize < kSealedHeaderSize) {
        return std::nullopt;
    }
    const std::uint64_t body = backingSize - kSealedHeaderSize;
    const std::uint64_t rest = body % kSealedBlockSize;
    if (rest != 0 && rest <= kSealedBlockOverhead) {
        return std::nullopt;
    }
    return body / kSealedBlockSize * kBlock + (rest == 0 ? 0 : rest - kSealedBlockOverhead);
}

// The blocks [first, last] are rewritten for a file going from oldSize to newSize plain bytes,
// with data (if any) laid over [offset, offset + length).
struct SealedContentCodec::Change
{
    std::uint64_t oldSize = 0;
    std::uint64_t newSize = 0;
    std::uint64_t offset = 0;
    const Byte* data = nullptr;
    std::size_t length = 0;
    std::uint64_t first = 0;
    std::uint64_t last = 0;
};

SealedContentCodec::SealedContentCodec(crypto::ByteView blockKey, crypto::ByteView valueKey)
    : m_blocks(blockKey), m_values(valueKey)
{
}

std::uint64_t SealedContentCodec::plainSize(std::uint64_t backingSize) const
{
    return sealedPlainSize(backingSize).value_or(0);
}

std::uint64_t SealedContentCodec::checkedPlainSize(int fd) const
{
    const auto size = sealedPlainSize(fileSize(fd));
    if (!size) {
        writeLog("!DriveFs: backing inode %llu has a length no sealed file can have; access refused",
                 inodeOf(fd));
        throw FsError(EIO);
    }
    return *size;
}

SealedContentCodec::FileId SealedContentCodec::readFileId(int fd) const
{
    Byte header[kSealedHeaderSize];
    if (preadFull(fd, header, sizeof header, 0) != sizeof header || header[0] != kVersion[0] ||
        header[1] != kVersion[1]) {
        writeLog("!DriveFs: backing inode %llu has no valid header; access refused", inodeOf(fd));
        throw FsError(EIO);
    }
    FileId id{};
    std::memcpy(id.data(), header + 2, id.size());
    return id;
}

SealedContentCodec::FileId SealedContentCodec::writeNewHeader(int fd) const
{
    const crypto::SecureBytes random = crypto::randomBytes(16);
    Byte header[kSealedHeaderSize];
    header[0] = kVersion[0];
    header[1] = kVersion[1];
    std::memcpy(header + 2, random.data(), 16);
    pwriteFull(fd, header, sizeof header, 0);
    FileId id{};
    std::memcpy(id.data(), random.data(), id.size());
    return id;
}

namespace {
std::array<Byte, 25> blockBinding(const SealedContentCodec::FileId& id, std::uint64_t index, bool last)
{
    std::array<Byte, 25> aad{};
    std::memcpy(aad.data(), id.data(), id.size());
    for (int i = 0; i < 8; ++i) {
        aad[16 + static_cast<std::size_t>(i)] = static_cast<Byte>(index >> (56 - 8 * i));
    }
    aad[24] = last ? 1 : 0;
    return aad;
}
} // namespace

void SealedContentCodec::openBlock(int fd, const FileId& id, std::uint64_t index, bool last,
                                   const Byte* sealed, std::size_t sealedLength, Byte* plain) const
{
    const auto aad = blockBinding(id, index, last);
    if (sealedLength <= kSealedBlockOverhead ||
        !m_blocks.open(sealed, aad, sealed + crypto::AesGcm::kNonceSize,
                       sealedLength - crypto::AesGcm::kNonceSize, plain)) {
        failAuthentication(fd, "block", index);
    }
}

void SealedContentCodec::sealBlock(const FileId& id, std::uint64_t index, bool last, const Byte* nonce,
                                   const Byte* plain, std::size_t length, Byte* sealed) const
{
    const auto aad = blockBinding(id, index, last);
    std::memcpy(sealed, nonce, crypto::AesGcm::kNonceSize);
    m_blocks.seal(sealed, aad, plain, length, sealed + crypto::AesGcm::kNonceSize);
}

std::size_t SealedContentCodec::read(int fd, RangeLock& lock, std::uint64_t offset, Byte* buffer,
                                     std::size_t length) const
{
    if (length == 0) {
        return 0;
    }
    RangeLock::Guard guard(lock, blockIndex(offset), blockIndex(offset + length - 1), false);
    const std::uint64_t size = checkedPlainSize(fd);
    if (offset >= size) {
        return 0;
    }
    const std::uint64_t end = std::min<std::uint64_t>(offset + length, size);
    const FileId id = readFileId(fd);
    const std::uint64_t lastOfFile = blockIndex(size - 1);
    std::vector<Byte>& sealed = scratch(kBlocksPerStep * kSealedBlockSize);
    std::array<Byte, kBlock> plain{};
    for (std::uint64_t step = blockIndex(offset); step <= blockIndex(end - 1); step += kBlocksPerStep) {
        const std::uint64_t stepLast = std::min(step + kBlocksPerStep - 1, blockIndex(end - 1));
        const std::uint64_t from = blockOffset(step);
        const std::uint64_t to = std::min(blockOffset(stepLast + 1), sealedBackingSize(size));
        if (preadFull(fd, sealed.data(), to - from, from) != to - from) {
            failAuthentication(fd, "block", stepLast); // cut while we read
        }
        for (std::uint64_t b = step; b <= stepLast; ++b) {
            const std::size_t plainLength = bytesInBlock(b * kBlock, size);
            openBlock(fd, id, b, b == lastOfFile, sealed.data() + (blockOffset(b) - from),
                      plainLength + kSealedBlockOverhead, plain.data());
            const std::uint64_t copyFrom = std::max(offset, b * kBlock);
            const std::uint64_t copyTo = std::min(end, b * kBlock + plainLength);
            std::memcpy(buffer + (copyFrom - offset), plain.data() + (copyFrom - b * kBlock),
                        copyTo - copyFrom);
        }
    }
    crypto::secureWipe(plain.data(), plain.size());
    return end - offset;
}

void SealedContentCodec::apply(int fd, const FileId& id, const Change& c) const
{
    const std::uint64_t oldLast = c.oldSize == 0 ? UINT64_MAX : blockIndex(c.oldSize - 1);
    const std::uint64_t newLast = blockIndex(c.newSize - 1);
    std::vector<Byte>& out = scratch(kBlocksPerStep * kSealedBlockSize);
    std::array<Byte, kBlock> plain{};
    std::array<Byte, kSealedBlockSize> old{};
    // From the end backwards, and in each step the new blocks before the stored ones: a
    // failure part way leaves every stored block as it was, so cutting the file back to its
    // old length restores it whole.
    const std::uint64_t steps = (c.last - c.first) / kBlocksPerStep + 1;
    for (std::uint64_t s = steps; s-- > 0;) {
        const std::uint64_t step = c.first + s * kBlocksPerStep;
        const std::uint64_t stepLast = std::min(step + kBlocksPerStep - 1, c.last);
        std::size_t filled = 0;
        std::size_t storedPart = 0; // bytes of out that replace blocks the file holds now
        // A fresh random nonce for every block written, drawn for the whole step at once.
        const crypto::SecureBytes nonces =
            crypto::randomBytes((stepLast - step + 1) * crypto::AesGcm::kNonceSize);
        for (std::uint64_t b = step; b <= stepLast; ++b) {
            const std::uint64_t start = b * kBlock;
            const std::size_t newLength = bytesInBlock(start, c.newSize);
            const std::size_t oldLength = bytesInBlock(start, c.oldSize);
            std::memset(plain.data(), 0, plain.size());
            if (oldLength != 0 && blockNeedsRead(start, c.offset, c.length, c.oldSize)) {
                const std::size_t sealedLength = oldLength + kSealedBlockOverhead;
                if (preadFull(fd, old.data(), sealedLength, blockOffset(b)) != sealedLength) {
                    failAuthentication(fd, "block", b);
                }
                openBlock(fd, id, b, b == oldLast, old.data(), sealedLength, plain.data());
                if (newLength < oldLength) {
                    std::memset(plain.data() + newLength, 0, oldLength - newLength);
                }
            }
            if (c.length != 0) {
                const std::uint64_t from = std::max(c.offset, start);
                const std::uint64_t to = std::min<std::uint64_t>(c.offset + c.length, start + newLength);
                if (to > from) {
                    std::memcpy(plain.data() + (from - start), c.data + (from - c.offset), to - from);
                }
            }
            sealBlock(id, b, b == newLast, nonces.data() + (b - step) * crypto::AesGcm::kNonceSize,
                      plain.data(), newLength, out.data() + filled);
            filled += newLength + kSealedBlockOverhead;
            if (oldLast != UINT64_MAX && b <= oldLast) {
                storedPart = filled;
            }
        }
        if (filled > storedPart) {
            pwriteFull(fd, out.data() + storedPart, filled - storedPart, blockOffset(step) + storedPart);
        }
        if (storedPart != 0) {
            pwriteFull(fd, out.data(), storedPart, blockOffset(step));
        }
    }
    crypto::secureWipe(plain.data(), plain.size());
}

std::size_t SealedContentCodec::write(int fd, RangeLock& lock, std::uint64_t offset, const Byte* buffer,
                                      std::size_t length, bool append) const
{
    if (length == 0) {
        return 0;
    }
    // A write may move the last-block flag: the whole file is held.
    RangeLock::Guard guard(lock, 0, RangeLock::kWholeFile, true);
    const std::uint64_t backing = fileSize(fd);
    const std::uint64_t size = checkedPlainSize(fd);
    if (append) {
        offset = size;
    }
    const FileId id = backing == 0 ? writeNewHeader(fd) : readFileId(fd);
    Change c;
    c.oldSize = size;
    c.newSize = std::max<std::uint64_t>(size, offset + length);
    c.offset = offset;
    c.data = buffer;
    c.length = length;
    c.first = blockIndex(offset);
    if (c.newSize > size && size != 0) {
        c.first = std::min(c.first, blockIndex(size - 1)); // the old last block loses its flag
    } else if (c.newSize > size) {
        c.first = 0;
    }
    c.last = blockIndex(c.newSize > size ? c.newSize - 1 : offset + length - 1);
    try {
        apply(fd, id, c);
    } catch (...) {
        if (c.newSize > size) {
            (void)::ftruncate(fd,
                              static_cast<off_t>(std::max(backing, size == 0 ? kSealedHeaderSize : backing)));
        }
        throw;
    }
    return length;
}

void SealedContentCodec::setEndOfFile(int fd, RangeLock& lock, std::uint64_t newSize) const
{
    RangeLock::Guard guard(lock, 0, RangeLock::kWholeFile, true);
    const std::uint64_t backing = fileSize(fd);
    const std::uint64_t size = checkedPlainSize(fd);
    if (newSize == size) {
        return;
    }
    if (newSize == 0) {
        checkSys(::ftruncate(fd, 0));
        return;
    }
    const FileId id = backing == 0 ? writeNewHeader(fd) : readFileId(fd);
    Change c;
    c.oldSize = size;
    c.newSize = newSize;
    c.offset = std::min(size, newSize);
    c.last = blockIndex(newSize - 1);
    c.first = newSize < size ? c.last : (size == 0 ? 0 : blockIndex(size - 1));
    try {
        apply(fd, id, c);
    } catch (...) {
        if (newSize > size) {
            (void)::ftruncate(fd, static_cast<off_t>(std::max(backing, kSealedHeaderSize)));
        }
        throw;
    }
    if (newSize < size) {
        checkSys(::ftruncate(fd, static_cast<off_t>(sealedBackingSize(newSize))));
    }
}

std::vector<Byte> SealedContentCodec::sealValue(std::string_view name, crypto::ByteView plain) const
{
    const std::string binding = std::string(kValueBinding) + std::string(name);
    const crypto::SecureBytes sealed = m_values.sealWithRandomNonce(crypto::asBytes(binding), plain);
    return std::vector<Byte>(sealed.begin(), sealed.end());
}

std::vector<Byte> SealedContentCodec::openValue(std::string_view name, crypto::ByteView stored) const
{
    const std::string binding = std::string(kValueBinding) + std::string(name);
    crypto::SecureBytes plain;
    if (!m_values.openWithNonce(crypto::asBytes(binding), stored, plain)) {
        writeLog("!DriveFs: the value of attribute %s fails authentication; read refused",
                 std::string(name).c_str());
        throw FsError(EIO);
    }
    return std::vector<Byte>(plain.begin(), plain.end());
}

std::size_t SealedContentCodec::plainValueSize(std::size_t storedSize) const
{
    return storedSize >= kSealedBlockOverhead ? storedSize - kSealedBlockOverhead : 0;
}

} // namespace kestrava::fs
