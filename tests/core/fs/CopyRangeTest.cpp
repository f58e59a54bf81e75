// Copies between open files of one drive: the result must read back as the same bytes a copy
// through read and write gives, whatever the offsets, on both formats.
#include "FsTestSupport.h"

namespace kestrava::fs::test {
namespace {

// What a file holds after length bytes of source are copied into it at offset.
std::string copiedInto(std::string target, std::size_t offset, const std::string& bytes)
{
    if (target.size() < offset + bytes.size()) {
        target.resize(offset + bytes.size(), '\0');
    }
    target.replace(offset, bytes.size(), bytes);
    return target;
}

class CopyRange : public BothFormats
{
protected:
    ssize_t copy(const std::string& from, off_t inOffset, const std::string& to, off_t outOffset,
                 std::size_t length)
    {
        std::uint64_t in = 0;
        std::uint64_t out = 0;
        EXPECT_EQ(fs->open(from, O_RDONLY, &in), 0);
        EXPECT_EQ(fs->open(to, O_RDWR, &out), 0);
        const ssize_t n = fs->copyFileRange(in, inOffset, out, outOffset, length);
        fs->release(in);
        fs->release(out);
        return n;
    }
};
KESTRAVA_BOTH_FORMATS(CopyRange);

TEST_P(CopyRange, CopiesReadBackAsTheSourceAtEveryAlignment)
{
    const std::string source = kestrava::test::randomBytes(5 * 4096 + 100, 1);
    put("/src", source);
    struct Case
    {
        const char* what;
        std::string target; // before the copy
        off_t inOffset;
        off_t outOffset;
        std::size_t length;
    };
    const std::vector<Case> cases = {
        {"whole blocks inside both", std::string(3 * 4096, 'd'), 4096, 4096, 8192},
        {"everything into an empty file", "", 0, 0, 1 << 20},
        {"a partial last block ending both files", std::string(4096 + 50, 'd'), 4 * 4096, 4096, 1 << 20},
        {"a partial last block with more target after it", std::string(9 * 4096, 'd'), 4 * 4096, 4096, 4196},
        {"unaligned on both sides", std::string(3 * 4096, 'd'), 100, 7, 5000},
        {"unaligned source only", std::string(2 * 4096, 'd'), 1, 4096, 8192},
        {"past the end of the target: the gap reads as zeros", std::string(10, 'd'), 0, 9 * 4096, 4096},
        {"a short target grown by whole blocks", std::string(10, 'd'), 4096, 0, 8192},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(fs->unlink("/dst") == 0 || !storedExists("/dst"), true);
        std::uint64_t h = 0;
        ASSERT_EQ(fs->create("/dst", 0644, O_RDWR, &h), 0);
        ASSERT_EQ(fs->release(h), 0);
        if (!c.target.empty()) {
            put("/dst", c.target);
        }
        const std::size_t available = source.size() - static_cast<std::size_t>(c.inOffset);
        const std::size_t expectedCount = std::min(c.length, available);
        ssize_t total = 0;
        // Callers carry on after short counts, as programs do.
        while (static_cast<std::size_t>(total) < expectedCount) {
            const ssize_t n = copy("/src", c.inOffset + total, "/dst", c.outOffset + total,
                                   c.length - static_cast<std::size_t>(total));
            ASSERT_GT(n, 0) << "after " << total;
            total += n;
        }
        EXPECT_EQ(static_cast<std::size_t>(total), expectedCount);
        EXPECT_EQ(get("/dst"),
                  copiedInto(c.target, static_cast<std::size_t>(c.outOffset),
                             source.substr(static_cast<std::size_t>(c.inOffset), expectedCount)));
    }
    EXPECT_EQ(get("/src"), source) << "the source is only read";
    EXPECT_EQ(copy("/src", static_cast<off_t>(source.size()), "/dst", 0, 100), 0) << "nothing past its end";
}

TEST_P(CopyRange, WithinOneFileAndIntoFilesThatCannotTakeIt)
{
    const std::string source = kestrava::test::randomBytes(4 * 4096, 2);
    put("/one", source);
    EXPECT_EQ(copy("/one", 0, "/one", 2 * 4096, 4096), 4096);
    EXPECT_EQ(get("/one"), copiedInto(source, 2 * 4096, source.substr(0, 4096)));
    EXPECT_EQ(copy("/one", 10, "/one", 3 * 4096 + 5, 100), 100);

    // The copy of whole blocks of the compatible format is their stored bytes.
    put("/two", "");
    ASSERT_EQ(copy("/one", 0, "/two", 0, 2 * 4096), 2 * 4096);
    if (compatible()) {
        EXPECT_EQ(stored("/two"), stored("/one").substr(0, 2 * 4096));
    }

    std::uint64_t in = 0;
    ASSERT_EQ(fs->open("/one", O_RDONLY, &in), 0);
    EXPECT_EQ(fs->copyFileRange(in, -1, in, 0, 10), -EINVAL);
    EXPECT_EQ(fs->copyFileRange(in, 0, 999999, 0, 10), -EBADF);
    fs->release(in);
}

} // namespace
} // namespace kestrava::fs::test
