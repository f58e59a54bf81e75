// Offset arithmetic of the content format: files are cut into 4096-byte blocks counted from
// the start, each encrypted by itself.
#pragma once

#include <algorithm>
#include <cstdint>

namespace kestrava::fs {

inline constexpr std::uint64_t kContentBlockSize = 4096;

constexpr std::uint64_t blockFloor(std::uint64_t offset)
{
    return offset - offset % kContentBlockSize;
}

// Rounds up to the next block boundary; saturates instead of wrapping near the top.
constexpr std::uint64_t blockCeil(std::uint64_t offset)
{
    const std::uint64_t rest = offset % kContentBlockSize;
    if (rest == 0) {
        return offset;
    }
    const std::uint64_t up = offset + (kContentBlockSize - rest);
    return up < offset ? UINT64_MAX - UINT64_MAX % kContentBlockSize : up;
}

constexpr std::uint64_t blockIndex(std::uint64_t offset)
{
    return offset / kContentBlockSize;
}

// The whole blocks around a byte range [offset, offset + length): where they start, how far
// into them the range begins, and how many bytes they span.
struct BlockSpan
{
    std::uint64_t start = 0;
    std::uint64_t delta = 0;
    std::uint64_t span = 0;
};

constexpr BlockSpan blockSpan(std::uint64_t offset, std::uint64_t length)
{
    BlockSpan s;
    s.start = blockFloor(offset);
    s.delta = offset - s.start;
    s.span = blockCeil(s.delta + length);
    return s;
}

// How many bytes of the block that starts at blockStart a file of fileSize bytes holds.
constexpr std::uint64_t bytesInBlock(std::uint64_t blockStart, std::uint64_t fileSize)
{
    if (fileSize <= blockStart) {
        return 0;
    }
    return std::min(kContentBlockSize, fileSize - blockStart);
}

// A write of [offset, offset + length) into a file of fileSize bytes must read the block at
// blockStart first exactly when that block holds stored bytes the write does not replace.
constexpr bool blockNeedsRead(std::uint64_t blockStart, std::uint64_t offset, std::uint64_t length,
                              std::uint64_t fileSize)
{
    const std::uint64_t stored = bytesInBlock(blockStart, fileSize);
    if (stored == 0) {
        return false;
    }
    const bool coversStart = offset <= blockStart;
    const bool coversStored = offset + length >= blockStart + stored;
    return !(coversStart && coversStored);
}

} // namespace kestrava::fs
