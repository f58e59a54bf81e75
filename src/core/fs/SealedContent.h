// Contents of the hardened format. A backing file is empty (an empty file), or an 18-byte
// header (2 bytes format version 0x00 0x01, then a random 16-byte file ID) followed by the
// plain contents cut into 4096-byte blocks, each stored as a 12-byte random nonce, the AES-256-GCM
// ciphertext (as long as the block) and a 16-byte tag. A block's associated data is the file
// ID, its block number (64-bit big-endian) and a flag saying whether it is the file's last
// block, so a changed, moved, swapped, cut or foreign block fails to open and reads as EIO.
#pragma once

#include "core/crypto/AesGcm.h"
#include "core/fs/ContentCodec.h"

#include <array>
#include <cstdint>
#include <optional>

namespace kestrava::fs {

inline constexpr std::uint64_t kSealedHeaderSize = 18;
inline constexpr std::uint64_t kSealedBlockOverhead = crypto::AesGcm::kNonceSize + crypto::AesGcm::kTagSize;
inline constexpr std::uint64_t kSealedBlockSize = kContentBlockSize + kSealedBlockOverhead;

// Sizes of the layout: the backing size of a plain size, and the plain size of a backing size
// (nothing for a length no sealed file can have).
std::uint64_t sealedBackingSize(std::uint64_t plainSize);
std::optional<std::uint64_t> sealedPlainSize(std::uint64_t backingSize);

class SealedContentCodec final : public ContentCodec
{
public:
    using FileId = std::array<crypto::Byte, 16>;

    // Two 32-byte keys: one for content blocks, one for extended-attribute values.
    SealedContentCodec(crypto::ByteView blockKey, crypto::ByteView valueKey);

    std::size_t read(int fd, RangeLock& lock, std::uint64_t offset, crypto::Byte* buffer,
                     std::size_t length) const override;
    std::size_t write(int fd, RangeLock& lock, std::uint64_t offset, const crypto::Byte* buffer,
                      std::size_t length, bool append) const override;
    void setEndOfFile(int fd, RangeLock& lock, std::uint64_t newSize) const override;
    std::uint64_t plainSize(std::uint64_t backingSize) const override;

    std::vector<crypto::Byte> sealValue(std::string_view name, crypto::ByteView plain) const override;
    std::vector<crypto::Byte> openValue(std::string_view name, crypto::ByteView stored) const override;
    std::size_t plainValueSize(std::size_t storedSize) const override;

private:
    struct Change; // what a write or a size change does to the blocks

    std::uint64_t checkedPlainSize(int fd) const;
    FileId readFileId(int fd) const;
    FileId writeNewHeader(int fd) const;
    void openBlock(int fd, const FileId& id, std::uint64_t index, bool last, const crypto::Byte* sealed,
                   std::size_t sealedLength, crypto::Byte* plain) const;
    void sealBlock(const FileId& id, std::uint64_t index, bool last, const crypto::Byte* nonce,
                   const crypto::Byte* plain, std::size_t length, crypto::Byte* sealed) const;
    void apply(int fd, const FileId& id, const Change& change) const;

    crypto::AesGcm m_blocks;
    crypto::AesGcm m_values;
};

} // namespace kestrava::fs
