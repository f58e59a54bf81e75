// Damaged or vanishing backing folders and failing writes: clear errors, nothing lost.
#include "FsTestSupport.h"

#include <filesystem>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

namespace kestrava::fs::test {
namespace {

using BadInput = DriveFsTest;
class BadInputBothFormats : public BothFormats
{
};
KESTRAVA_BOTH_FORMATS(BadInputBothFormats);

TEST_F(BadInput, TruncatedBackingFileReadsWhatIsLeft)
{
    const std::string data(10000, 'z');
    put("/t", data);
    std::filesystem::resize_file(fs->backingPathOf("/t"), 5000);
    EXPECT_EQ(get("/t"), data.substr(0, 5000));
    EXPECT_EQ(get("/t", 4000, 5000), data.substr(4000, 1000));
    put("/t", "tail", 8000); // grows again: the gap reads back as zeros
    EXPECT_EQ(get("/t"), data.substr(0, 5000) + std::string(3000, '\0') + "tail");
}

TEST_P(BadInputBothFormats, BackingFolderThatDisappears)
{
    put("/keep", "k");
    std::uint64_t h = 0;
    ASSERT_EQ(fs->open("/keep", O_RDWR, &h), 0);
    std::filesystem::remove_all(dir.path());
    struct stat st
    {
    };
    EXPECT_EQ(fs->getattr("/keep", &st), -ENOENT);
    EXPECT_EQ(fs->create("/new", 0644, O_RDWR, &h), -ENOENT);
    EXPECT_EQ(fs->readdir("/", [](std::string_view, const struct stat&) { return true; }), -ENOENT);
    char c = 0;
    EXPECT_EQ(fs->read(h, &c, 1, 0), 1) << "an open file stays readable";
    EXPECT_EQ(fs->release(h), 0);
}

// A write the file system refuses (here: over the file size limit) changes nothing stored.
TEST_P(BadInputBothFormats, FailedGrowingWriteLeavesFileAsItWas)
{
    const std::string data(6000, 'd');
    put("/limit", data);
    const std::string before = stored("/limit");
    const auto backingSize = std::filesystem::file_size(fs->backingPathOf("/limit"));
    std::uint64_t h = 0;
    ASSERT_EQ(fs->open("/limit", O_RDWR, &h), 0);

    ::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 16384;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string big(20000, 'b');
    const ssize_t rc = fs->write(h, big.data(), big.size(), 5000);
    const int truncRc = fs->ftruncate(h, 100000);
    ::setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_EQ(rc, -EFBIG);
    EXPECT_EQ(truncRc, -EFBIG);
    fs->release(h);
    EXPECT_EQ(stored("/limit").substr(0, 5000), before.substr(0, 5000));
    EXPECT_EQ(std::filesystem::file_size(fs->backingPathOf("/limit")), backingSize);
    if (!compatible()) {
        // Sealed blocks are written new ones first, so nothing of the old file is touched.
        EXPECT_TRUE(get("/limit") == data) << "the stored blocks still open unchanged";
    }
    EXPECT_EQ(get("/limit").substr(0, 5000), data.substr(0, 5000));
}

// A full disk: a small file system mounted privately, where the test may mount.
TEST_P(BadInputBothFormats, FullDiskReportsNoSpaceAndKeepsStoredFiles)
{
    kestrava::test::TempDir small;
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", small.path().c_str(), "tmpfs", 0, "size=512k") != 0) {
        GTEST_SKIP() << "cannot mount a small file system here";
    }
    FsOptions options;
    options.format = format();
    fs = std::make_unique<DriveFs>(key, options, small.path());
    const std::string data(100000, 'q');
    put("/kept", data);
    std::uint64_t h = 0;
    ASSERT_EQ(fs->create("/filler", 0644, O_RDWR, &h), 0);
    const std::string big(1 << 20, 'f');
    EXPECT_EQ(fs->write(h, big.data(), big.size(), 0), -ENOSPC);
    struct stat st
    {
    };
    ASSERT_EQ(fs->fgetattr(h, &st), 0);
    EXPECT_EQ(st.st_size, 0) << "a failed growing write is undone";
    EXPECT_EQ(fs->ftruncate(h, 1 << 20), -ENOSPC);
    fs->release(h);
    EXPECT_EQ(get("/kept"), data);
    fs.reset();
    ::umount2(small.path().c_str(), MNT_DETACH);
}

} // namespace
} // namespace kestrava::fs::test
