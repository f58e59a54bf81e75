// File contents on disk: exact stored bytes, partial writes, growth, random operations.
#include "FsTestSupport.h"

#include <random>

namespace kestrava::fs::test {
namespace {

std::string pattern(std::size_t n, char seed)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) {
        s[i] = static_cast<char>(seed + i * 7 + i / 251);
    }
    return s;
}

using Content = DriveFsTest;
class ContentBothFormats : public BothFormats
{
};
KESTRAVA_BOTH_FORMATS(ContentBothFormats);

TEST_F(Content, StoredBytesAreBlockwiseCfb)
{
    put("/five.txt", "hello");
    EXPECT_EQ(stored("/five.txt"), referenceCfb(key, "hello", true));
    EXPECT_EQ(fs->backingPathOf("/five.txt"), (dir.path() / encName("five.txt")).string());

    const std::string twoBlocks = pattern(4100, 'a');
    put("/two.bin", twoBlocks);
    const std::string disk = stored("/two.bin");
    ASSERT_EQ(disk.size(), 4100u);
    EXPECT_EQ(disk.substr(0, 4096), referenceCfb(key, twoBlocks.substr(0, 4096), true));
    EXPECT_EQ(disk.substr(4096), referenceCfb(key, twoBlocks.substr(4096), true))
        << "second block from zero IV";
    EXPECT_EQ(get("/two.bin"), twoBlocks);
    EXPECT_EQ(get("/two.bin", 4097, 100), twoBlocks.substr(4097)) << "read of the last 3 bytes is clipped";
}

TEST_F(Content, PartialWritesReencryptOnlyTheirBlocks)
{
    std::string plain = pattern(3 * 4096, 'q');
    put("/f", plain);
    const std::string before = stored("/f");

    put("/f", "0123456789", 4090); // straddles blocks 0 and 1
    plain.replace(4090, 10, "0123456789");
    std::string after = stored("/f");
    EXPECT_EQ(after.substr(0, 4096), referenceCfb(key, plain.substr(0, 4096), true));
    EXPECT_EQ(after.substr(4096, 4096), referenceCfb(key, plain.substr(4096, 4096), true));
    EXPECT_EQ(after.substr(8192), before.substr(8192));

    const std::string middle = stored("/f");
    put("/f", "MID", 4096 + 2000); // the middle of block 1
    plain.replace(4096 + 2000, 3, "MID");
    after = stored("/f");
    EXPECT_EQ(after.substr(0, 4096), referenceCfb(key, plain.substr(0, 4096), true));
    EXPECT_EQ(after.substr(8192), before.substr(8192)) << "other blocks untouched on disk";
    EXPECT_EQ(after.substr(4096, 2000), middle.substr(4096, 2000)) << "a CFB prefix stays as it was";
    EXPECT_NE(after.substr(6099, 100), middle.substr(6099, 100)) << "the rest of the block is re-encrypted";
    EXPECT_EQ(get("/f"), plain);
}

TEST_P(ContentBothFormats, GrowingReadsBackZeros)
{
    put("/g", "abc");
    ASSERT_EQ(fs->truncate("/g", 10000), 0);
    std::string expected = "abc" + std::string(10000 - 3, '\0');
    EXPECT_EQ(get("/g"), expected);
    if (compatible()) {
        EXPECT_EQ(stored("/g"), referenceContent(key, expected)) << "the new region holds encrypted zeros";
    }

    put("/g", "end", 20000); // a write beyond the end leaves a gap
    expected += std::string(20000 - 10000, '\0') + "end";
    EXPECT_EQ(get("/g"), expected);
    if (compatible()) {
        EXPECT_EQ(stored("/g"), referenceContent(key, expected));
    }
    struct stat st
    {
    };
    ASSERT_EQ(fs->getattr("/g", &st), 0);
    EXPECT_EQ(st.st_size, 20003);

    ASSERT_EQ(fs->truncate("/g", 5000), 0);
    EXPECT_EQ(get("/g"), expected.substr(0, 5000));
    EXPECT_EQ(get("/g", 6000, 10), "") << "nothing beyond the end";
}

TEST_F(Content, TokenFilePassesThroughAndAppendWritesAtTheEnd)
{
    kestrava::test::writeFile(dir / ".qxsession.xml", "<token/>");
    EXPECT_EQ(get("/.qxsession.xml"), "<token/>");
    put("/sub.txt", "x");
    ASSERT_EQ(fs->mkdir("/d", 0755), 0);
    // Below the root the name is ordinary: encrypted name and contents.
    put("/d/.qxsession.xml", "secret text");
    EXPECT_EQ(kestrava::test::readFile(dir / encName("d") / encName(".qxsession.xml")),
              referenceCfb(key, "secret text", true));
    EXPECT_EQ(get("/d/.qxsession.xml"), "secret text");

    std::uint64_t h = 0;
    ASSERT_EQ(fs->open("/sub.txt", O_WRONLY | O_APPEND, &h), 0);
    ASSERT_EQ(fs->write(h, "yz", 2, 0), 2);
    ASSERT_EQ(fs->release(h), 0);
    EXPECT_EQ(get("/sub.txt"), "xyz");
}

// Random writes and size changes against an in-memory model, checking the disk each time.
TEST_P(ContentBothFormats, RandomOperationsMatchModel)
{
    std::mt19937 rng(1234);
    std::string model;
    std::uint64_t h = 0;
    ASSERT_EQ(fs->create("/r", 0644, O_RDWR, &h), 0);
    for (int step = 0; step < 200; ++step) {
        const int op = static_cast<int>(rng() % 5);
        if (op == 0) {
            const std::size_t size = rng() % 40000;
            ASSERT_EQ(fs->ftruncate(h, static_cast<off_t>(size)), 0);
            model.resize(size, '\0');
        } else {
            const std::size_t offset = rng() % 40000;
            const std::size_t length = 1 + rng() % (op == 1 ? 20000 : 300);
            const std::string data = pattern(length, static_cast<char>(step));
            ASSERT_EQ(fs->write(h, data.data(), length, static_cast<off_t>(offset)),
                      static_cast<ssize_t>(length));
            if (model.size() < offset + length) {
                model.resize(offset + length, '\0');
            }
            model.replace(offset, length, data);
        }
        if (step % 10 == 0 && compatible()) {
            ASSERT_EQ(stored("/r"), referenceContent(key, model)) << "step " << step;
        }
        if (step % 10 == 0) {
            struct stat st
            {
            };
            ASSERT_EQ(fs->fgetattr(h, &st), 0);
            ASSERT_EQ(static_cast<std::size_t>(st.st_size), model.size()) << "step " << step;
        }
        const std::size_t at = rng() % (model.size() + 10);
        std::string buffer(5000, '\0');
        const ssize_t n = fs->read(h, buffer.data(), buffer.size(), static_cast<off_t>(at));
        const std::string want = at < model.size() ? model.substr(at, 5000) : "";
        ASSERT_EQ(buffer.substr(0, static_cast<std::size_t>(std::max<ssize_t>(n, 0))), want)
            << "step " << step;
    }
    ASSERT_EQ(fs->release(h), 0);
    EXPECT_EQ(get("/r"), model);
}

} // namespace
} // namespace kestrava::fs::test
