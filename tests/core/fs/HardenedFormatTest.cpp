// The hardened format on disk: its layout, that equal inputs are stored differently, and that
// every change made behind the drive's back reads as EIO (with a log line), never as other data.
#include "FsTestSupport.h"
#include "core/app/ActivityLog.h"
#include "core/fs/HardenedNames.h"
#include "core/fs/SealedContent.h"

#include <filesystem>
#include <set>
#include <sys/xattr.h>

namespace kestrava::fs::test {
namespace {

using kestrava::test::readFile;
using kestrava::test::writeFile;

class Hardened : public DriveFsTest
{
protected:
    token::DriveFormat format() const override { return token::DriveFormat::Hardened; }
    void SetUp() override
    {
        DriveFsTest::SetUp();
        applog::configureLog({logDir.path() / "test.log", false});
    }
    void TearDown() override { applog::configureLog({}); }

    std::string log() { return readFile(logDir.path() / "test.log"); }
    std::string backing(const std::string& path) { return fs->backingPathOf(path); }
    std::string blockText(char fill, std::size_t blocks) { return std::string(blocks * 4096, fill); }
    int readError(const std::string& path)
    {
        std::uint64_t h = 0;
        const int rc = fs->open(path, O_RDONLY, &h);
        if (rc != 0) {
            return rc;
        }
        std::string buffer(1 << 16, '\0');
        const ssize_t n = fs->read(h, buffer.data(), buffer.size(), 0);
        fs->release(h);
        return n < 0 ? static_cast<int>(n) : 0;
    }
    std::set<std::string> backingNames(const std::filesystem::path& folder)
    {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(folder)) {
            names.insert(e.path().filename().string());
        }
        return names;
    }

    kestrava::test::TempDir logDir;
};

TEST(SealedLayout, SizesFollowTheLayout)
{
    for (const std::uint64_t plain : {0ull, 1ull, 4095ull, 4096ull, 4097ull, 8192ull, 10000ull, 1ull << 30}) {
        const std::uint64_t stored = sealedBackingSize(plain);
        ASSERT_TRUE(sealedPlainSize(stored)) << plain;
        EXPECT_EQ(*sealedPlainSize(stored), plain);
    }
    EXPECT_EQ(sealedBackingSize(1), 18u + 1 + 28);
    EXPECT_EQ(sealedBackingSize(4096), 18u + 4124);
    EXPECT_EQ(sealedBackingSize(4097), 18u + 4124 + 29);
    EXPECT_EQ(*sealedPlainSize(18), 0u) << "a header alone is an empty file";
    for (const std::uint64_t impossible : {1ull, 17ull, 19ull, 18ull + 28, 18ull + 4124 + 5}) {
        EXPECT_FALSE(sealedPlainSize(impossible)) << impossible;
    }
}

TEST_F(Hardened, StoredSizesAndEqualDataStoredDifferently)
{
    const std::string data = blockText('A', 2) + "tail";
    put("/one", data);
    put("/two", data);
    EXPECT_EQ(get("/one"), data);
    EXPECT_EQ(std::filesystem::file_size(backing("/one")), sealedBackingSize(data.size()));
    const std::string a = stored("/one");
    const std::string b = stored("/two");
    EXPECT_NE(a.substr(2, 16), b.substr(2, 16)) << "each file has its own ID";
    EXPECT_NE(a.substr(18), b.substr(18)) << "equal files are stored differently";
    EXPECT_NE(a.substr(18, 4124), a.substr(18 + 4124, 4124)) << "equal blocks are stored differently";
    EXPECT_EQ(a.find(std::string(64, 'A')), std::string::npos);

    put("/one", data); // the same bytes again: fresh nonces
    EXPECT_NE(stored("/one").substr(18, 4124), a.substr(18, 4124));
    EXPECT_EQ(get("/one"), data);
}

TEST_F(Hardened, ChangedBlocksReadAsEioWithALogLine)
{
    const std::string data = blockText('x', 3);
    put("/f", data);
    const std::string original = stored("/f");

    std::string flipped = original;
    flipped[18 + 4124 + 100] ^= 1;
    writeFile(backing("/f"), flipped);
    EXPECT_EQ(readError("/f"), -EIO) << "a flipped byte";
    EXPECT_EQ(get("/f", 0, 4096), data.substr(0, 4096)) << "the blocks before it still read";
    EXPECT_NE(log().find("fails authentication"), std::string::npos);

    std::string swapped = original;
    swapped.replace(18, 4124, original.substr(18 + 4124, 4124));
    swapped.replace(18 + 4124, 4124, original.substr(18, 4124));
    writeFile(backing("/f"), swapped);
    EXPECT_EQ(readError("/f"), -EIO) << "two blocks swapped";

    writeFile(backing("/f"), original.substr(0, 18 + 2 * 4124));
    EXPECT_EQ(readError("/f"), -EIO) << "cut at a block boundary: the new last block was not the last";
    writeFile(backing("/f"), original.substr(0, 18 + 2 * 4124 + 1000));
    EXPECT_EQ(readError("/f"), -EIO) << "cut inside a block";
    writeFile(backing("/f"), original.substr(0, 10));
    EXPECT_EQ(readError("/f"), -EIO) << "cut inside the header";
    std::uint64_t h = 0;
    ASSERT_EQ(fs->open("/f", O_RDWR, &h), 0);
    EXPECT_EQ(fs->write(h, "y", 1, 0), -EIO) << "a damaged file is not written over";
    fs->release(h);

    writeFile(backing("/f"), original);
    EXPECT_EQ(get("/f"), data) << "restored, it reads again";
}

TEST_F(Hardened, BlocksOfAnotherFileReadAsEio)
{
    put("/a", blockText('a', 2));
    put("/b", blockText('b', 2));
    const std::string a = stored("/a");
    const std::string b = stored("/b");
    // b's blocks under a's header: the file ID in the associated data no longer matches.
    writeFile(backing("/a"), a.substr(0, 18) + b.substr(18));
    EXPECT_EQ(readError("/a"), -EIO);
    writeFile(backing("/a"), a + b.substr(18 + 4124));
    EXPECT_EQ(readError("/a"), -EIO) << "a block of another file appended";
}

TEST_F(Hardened, SameNameInTwoDirectoriesIsStoredDifferently)
{
    ASSERT_EQ(fs->mkdir("/a", 0755), 0);
    ASSERT_EQ(fs->mkdir("/b", 0755), 0);
    put("/a/report.txt", "1");
    put("/b/report.txt", "2");
    const std::string inA = std::filesystem::path(backing("/a/report.txt")).filename().string();
    const std::string inB = std::filesystem::path(backing("/b/report.txt")).filename().string();
    EXPECT_NE(inA, inB);
    EXPECT_EQ(inA.find('='), std::string::npos) << "unpadded base64url";
    EXPECT_EQ(get("/a/report.txt"), "1");
    EXPECT_EQ(get("/b/report.txt"), "2");
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(backing("/a")) / "kestrava.diriv"));

    std::vector<std::string> listed;
    ASSERT_EQ(fs->readdir("/a",
                          [&](std::string_view name, const struct stat&) {
                              listed.emplace_back(name);
                              return true;
                          }),
              0);
    EXPECT_EQ(listed, (std::vector<std::string>{".", "..", "report.txt"})) << "the IV file is not listed";
}

TEST_F(Hardened, ChangedNamesAndMissingIvsHideEntriesAndNothingElse)
{
    ASSERT_EQ(fs->mkdir("/d", 0755), 0);
    put("/d/keep.txt", "k");
    put("/d/other.txt", "o");
    const std::filesystem::path d = backing("/d");
    std::string name = std::filesystem::path(backing("/d/other.txt")).filename().string();
    std::string changed = name;
    changed[5] = changed[5] == 'A' ? 'B' : 'A';
    std::filesystem::rename(d / name, d / changed);
    struct stat st
    {
    };
    EXPECT_EQ(fs->getattr("/d/other.txt", &st), -ENOENT);
    EXPECT_EQ(get("/d/keep.txt"), "k");
    // Moved into another directory, a stored name does not open there.
    ASSERT_EQ(fs->mkdir("/e", 0755), 0);
    std::filesystem::rename(d / changed, d / name);
    std::filesystem::rename(d / name, std::filesystem::path(backing("/e")) / name);
    int shown = 0;
    fs->readdir("/e", [&](std::string_view n, const struct stat&) {
        shown += n != "." && n != "..";
        return true;
    });
    EXPECT_EQ(shown, 0);

    std::filesystem::remove(d / "kestrava.diriv");
    EXPECT_EQ(fs->getattr("/d/keep.txt", &st), -ENOENT) << "without its IV no name of the folder opens";
    put("/d/new.txt", "n"); // a new IV for what is made from now on
    EXPECT_EQ(get("/d/new.txt"), "n");
    EXPECT_EQ(backingNames(d).size(), 3u) << "old entries are kept, never deleted (keep.txt, new.txt, IV)";
}

TEST_F(Hardened, LongNamesLiveInSideFiles)
{
    const std::string longName(240, 'L');
    put("/" + longName, "long");
    std::set<std::string> names = backingNames(dir.path());
    std::string stored;
    for (const auto& n : names) {
        if (n.starts_with("kestrava.long.") && !n.ends_with(".name")) {
            stored = n;
        }
    }
    ASSERT_FALSE(stored.empty());
    EXPECT_LE(stored.size(), 255u);
    EXPECT_TRUE(names.count(stored + ".name"));
    EXPECT_EQ(get("/" + longName), "long");
    std::vector<std::string> listed;
    fs->readdir("/", [&](std::string_view n, const struct stat&) {
        listed.emplace_back(n);
        return true;
    });
    EXPECT_EQ(listed, (std::vector<std::string>{".", "..", longName}));

    ASSERT_EQ(fs->rename("/" + longName, "/" + longName, 0), 0);
    EXPECT_TRUE(std::filesystem::exists(dir / (stored + ".name"))) << "renamed onto itself, the name stays";
    ASSERT_EQ(fs->rename("/" + longName, "/short", 0), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / (stored + ".name"))) << "the side file goes with the name";
    ASSERT_EQ(fs->rename("/short", "/" + longName, 0), 0);
    writeFile(dir / (stored + ".name"), "somethingelse");
    struct stat st
    {
    };
    EXPECT_EQ(fs->getattr("/" + longName, &st), 0) << "found by its hash";
    int shown = 0;
    fs->readdir("/", [&](std::string_view n, const struct stat&) {
        shown += n == longName;
        return true;
    });
    EXPECT_EQ(shown, 0) << "a side file that does not match hides the entry";
    ASSERT_EQ(fs->unlink("/" + longName), 0);
    EXPECT_EQ(backingNames(dir.path()), (std::set<std::string>{"kestrava.diriv"}));
}

TEST_F(Hardened, EmptyDirectoriesGoWithTheirIv)
{
    ASSERT_EQ(fs->mkdir("/d", 0755), 0);
    put("/d/f", "f");
    EXPECT_EQ(fs->rmdir("/d"), -ENOTEMPTY);
    bool empty = true;
    ASSERT_EQ(fs->isDirectoryEmpty("/d", &empty), 0);
    EXPECT_FALSE(empty);
    ASSERT_EQ(fs->unlink("/d/f"), 0);
    ASSERT_EQ(fs->isDirectoryEmpty("/d", &empty), 0);
    EXPECT_TRUE(empty) << "the IV alone does not count";
    EXPECT_EQ(fs->rmdir("/d"), 0);
    EXPECT_EQ(backingNames(dir.path()), (std::set<std::string>{"kestrava.diriv"}));
}

TEST_F(Hardened, LinkTargetsAndAttributeValuesAreSealed)
{
    ASSERT_EQ(fs->symlink("secret/target", "/ln"), 0);
    const std::string storedTarget = std::filesystem::read_symlink(backing("/ln")).string();
    EXPECT_EQ(storedTarget.find("secret"), std::string::npos);
    ASSERT_EQ(fs->symlink("secret/target", "/ln2"), 0);
    EXPECT_NE(std::filesystem::read_symlink(backing("/ln2")).string(), storedTarget) << "fresh nonce";
    std::filesystem::remove(backing("/ln2"));
    std::string changed = storedTarget;
    changed[10] = changed[10] == 'A' ? 'B' : 'A';
    std::filesystem::create_symlink(changed, backing("/ln2"));
    char buffer[256];
    EXPECT_EQ(fs->readlink("/ln2", buffer, sizeof buffer), -EIO);
    ASSERT_EQ(fs->readlink("/ln", buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "secret/target");

    put("/x", "x");
    if (fs->setxattr("/x", "user.tag", "blue", 4, 0) == -ENOTSUP) {
        GTEST_SKIP() << "no user attributes here";
    }
    char raw[128];
    const ssize_t n = ::getxattr(backing("/x").c_str(), "user.tag", raw, sizeof raw);
    ASSERT_EQ(n, 4 + 28);
    raw[20] ^= 1;
    ASSERT_EQ(::setxattr(backing("/x").c_str(), "user.tag", raw, static_cast<std::size_t>(n), 0), 0);
    EXPECT_EQ(fs->getxattr("/x", "user.tag", buffer, sizeof buffer), -EIO);
    EXPECT_EQ(fs->getxattr("/x", "user.tag", nullptr, 0), 4) << "the size asks nothing of the value";
}

// Conflict copies a sync client makes of a hardened file are shown, read and removed like on
// the compatible format; the directory's IV file is never taken for one.
TEST_F(Hardened, ConflictCopiesAreShownUnderTheirOwnNames)
{
    ASSERT_EQ(fs->mkdir("/docs", 0755), 0);
    put("/docs/report.txt", "original");
    const std::filesystem::path stored(backing("/docs/report.txt"));
    const std::filesystem::path copy =
        stored.parent_path() / (stored.filename().string() + " (conflicted copy 2026-12-08)");
    std::filesystem::copy_file(stored, copy);

    std::set<std::string> listed;
    ASSERT_EQ(fs->readdir("/docs",
                          [&](std::string_view name, const struct stat&) {
                              listed.emplace(name);
                              return true;
                          }),
              0);
    EXPECT_EQ(listed,
              (std::set<std::string>{".", "..", "report.txt", "report (conflicted copy 2026-12-08).txt"}));
    EXPECT_EQ(get("/docs/report (conflicted copy 2026-12-08).txt"), "original");
    EXPECT_EQ(get("/docs/report.txt"), "original");
    ASSERT_EQ(fs->unlink("/docs/report (conflicted copy 2026-12-08).txt"), 0);
    EXPECT_FALSE(std::filesystem::exists(copy));
    EXPECT_EQ(get("/docs/report.txt"), "original");
}

} // namespace
} // namespace kestrava::fs::test
