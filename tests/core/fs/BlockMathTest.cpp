#include "core/fs/BlockMath.h"

#include <gtest/gtest.h>
#include <vector>

namespace kestrava::fs {
namespace {

const std::vector<std::uint64_t> kPoints = {0, 1, 15, 16, 4095, 4096, 4097, 8191, 8192, 8193, 12288, 1 << 20};

TEST(BlockMath, SpanCoversExactlyTheTouchedBlocks)
{
    for (std::uint64_t offset : kPoints) {
        for (std::uint64_t length : kPoints) {
            if (length == 0) {
                continue;
            }
            const BlockSpan s = blockSpan(offset, length);
            EXPECT_EQ(s.start % kContentBlockSize, 0u);
            EXPECT_EQ(s.span % kContentBlockSize, 0u);
            EXPECT_EQ(s.start + s.delta, offset);
            EXPECT_LE(s.start + s.span - kContentBlockSize, offset + length - 1) << "no surplus block";
            EXPECT_GE(s.start + s.span, offset + length);
        }
    }
    EXPECT_EQ(blockSpan(4090, 10).span, 8192u);
    EXPECT_EQ(blockCeil(UINT64_MAX) % kContentBlockSize, 0u) << "saturates instead of wrapping";
}

// A block must be read before a write exactly when it holds a stored byte the write keeps.
TEST(BlockMath, ReadBeforeWriteMatchesByteModel)
{
    for (std::uint64_t size : kPoints) {
        for (std::uint64_t offset : kPoints) {
            for (std::uint64_t length : {1ull, 10ull, 4096ull, 4097ull, 8192ull, 100000ull}) {
                for (std::uint64_t block = 0; block <= blockFloor(offset + length - 1);
                     block += kContentBlockSize) {
                    if (block + kContentBlockSize <= offset) {
                        continue;
                    }
                    bool keepsStored = false;
                    for (std::uint64_t b = block; b < std::min(block + kContentBlockSize, size); ++b) {
                        if (b < offset || b >= offset + length) {
                            keepsStored = true;
                            break;
                        }
                    }
                    EXPECT_EQ(blockNeedsRead(block, offset, length, size), keepsStored)
                        << "size " << size << " offset " << offset << " length " << length << " block "
                        << block;
                }
            }
        }
    }
}

} // namespace
} // namespace kestrava::fs
