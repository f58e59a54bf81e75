// Changes a sync client makes in the backing folder, behind the drive's back, show through the
// mount once the kernel's one-second caches expire. The tests poll with a generous deadline:
// how soon is the kernel's business, that it happens at all is ours.
#include "FuseMountFixture.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

namespace kestrava::fuse::test {
namespace {

bool eventually(const std::function<bool()>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

std::string readAll(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        return "<" + std::string(std::strerror(errno)) + ">";
    }
    std::string data;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
        data.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return data;
}

bool missing(const std::string& path)
{
    struct stat st
    {
    };
    return ::lstat(path.c_str(), &st) != 0 && errno == ENOENT;
}

std::set<std::string> listing(const std::string& folder)
{
    std::set<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            names.insert(entry->d_name);
        }
        ::closedir(dir);
    }
    return names;
}

// Writes a whole file through a DriveFs that is not the mounted one.
void writeBehind(fs::DriveFs& other, const std::string& path, const std::string& data)
{
    std::uint64_t handle = 0;
    if (other.open(path, O_WRONLY | O_TRUNC, &handle) != 0) {
        ASSERT_EQ(other.create(path, 0644, O_WRONLY, &handle), 0) << path;
    }
    EXPECT_EQ(other.write(handle, data.data(), data.size(), 0), static_cast<ssize_t>(data.size()));
    other.release(handle);
}

using FreshnessTest = FuseMountFixture;

TEST_F(FreshnessTest, FilesAddedChangedRenamedAndRemovedBehindTheBackShowThrough)
{
    auto other = behindTheBack();
    // The kernel has seen the name missing and the folder's listing before each change.
    ASSERT_TRUE(missing(at("note.txt")));
    ASSERT_EQ(listing(mnt()), (std::set<std::string>{".", ".."}));

    writeBehind(*other, "/note.txt", "first");
    EXPECT_TRUE(eventually([&] { return readAll(at("note.txt")) == "first"; })) << readAll(at("note.txt"));
    EXPECT_TRUE(eventually([&] { return listing(mnt()).count("note.txt") == 1; }));

    // A changed file read through a handle opened before, and a fresh open, both see it.
    const int early = ::open(at("note.txt").c_str(), O_RDONLY);
    ASSERT_GE(early, 0);
    writeBehind(*other, "/note.txt", "second, longer");
    EXPECT_TRUE(eventually([&] { return readAll(at("note.txt")) == "second, longer"; }))
        << readAll(at("note.txt"));
    EXPECT_TRUE(eventually([&] {
        struct stat st
        {
        };
        return ::stat(at("note.txt").c_str(), &st) == 0 && st.st_size == 14;
    }));
    char buffer[32] = {};
    EXPECT_EQ(::pread(early, buffer, sizeof buffer, 0), 14);
    EXPECT_STREQ(buffer, "second, longer");
    ::close(early);

    ASSERT_EQ(other->rename("/note.txt", "/renamed.txt", 0), 0);
    EXPECT_TRUE(eventually([&] { return missing(at("note.txt")); }));
    EXPECT_TRUE(eventually([&] { return readAll(at("renamed.txt")) == "second, longer"; }));

    ASSERT_EQ(other->unlink("/renamed.txt"), 0);
    EXPECT_TRUE(eventually([&] { return missing(at("renamed.txt")); }));
    EXPECT_TRUE(eventually([&] { return listing(mnt()) == std::set<std::string>{".", ".."}; }));
}

TEST_F(FreshnessTest, FoldersReplacedBehindTheBackShowTheirNewContents)
{
    auto other = behindTheBack();
    ASSERT_EQ(::mkdir(at("docs").c_str(), 0755), 0);
    ASSERT_EQ(::close(::open(at("docs/a").c_str(), O_CREAT | O_WRONLY, 0644)), 0);
    ASSERT_EQ(listing(at("docs")).count("a"), 1u);

    // A sync client moves the folder away and puts another in its place, and turns a file
    // into a folder: the kernel's old nodes must not stand in the way.
    ASSERT_EQ(other->rename("/docs", "/old docs", 0), 0);
    ASSERT_EQ(other->mkdir("/docs", 0755), 0);
    writeBehind(*other, "/docs/b", "bee");
    EXPECT_TRUE(eventually([&] { return listing(at("docs")) == std::set<std::string>{".", "..", "b"}; }));
    EXPECT_EQ(readAll(at("docs/b")), "bee");
    EXPECT_TRUE(eventually([&] { return listing(at("old docs")).count("a") == 1; }));

    ASSERT_EQ(other->unlink("/docs/b"), 0);
    ASSERT_EQ(other->mkdir("/docs/b", 0755), 0);
    writeBehind(*other, "/docs/b/inner", "in");
    EXPECT_TRUE(eventually([&] { return readAll(at("docs/b/inner")) == "in"; }))
        << readAll(at("docs/b/inner"));
    struct stat st
    {
    };
    ASSERT_EQ(::stat(at("docs/b").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST_F(FreshnessTest, AttributesSetBehindTheDrivesBackAreSeen)
{
    ASSERT_EQ(::close(::open(at("f").c_str(), O_CREAT | O_WRONLY, 0644)), 0);
    char value[32] = {};
    // The question the kernel asks before each write: not a namespace the drive serves.
    EXPECT_EQ(::getxattr(at("f").c_str(), "security.capability", value, sizeof value), -1);
    EXPECT_EQ(errno, EOPNOTSUPP);
    if (::setxattr(at("f").c_str(), "user.note", "on", 2, 0) != 0) {
        GTEST_SKIP() << "the backing folder takes no user attributes here: " << std::strerror(errno);
    }
    ASSERT_EQ(::getxattr(at("f").c_str(), "user.note", value, sizeof value), 2);
    EXPECT_EQ(std::string(value, 2), "on");

    // Changed and added through another opening of the backing folder: seen at once.
    auto other = behindTheBack();
    ASSERT_EQ(other->setxattr("/f", "user.note", "back", 4, 0), 0);
    ASSERT_EQ(other->setxattr("/f", "user.more", "m", 1, 0), 0);
    ASSERT_EQ(::getxattr(at("f").c_str(), "user.note", value, sizeof value), 4);
    EXPECT_EQ(std::string(value, 4), "back");
    char list[128];
    const ssize_t n = ::listxattr(at("f").c_str(), list, sizeof list);
    ASSERT_GT(n, 0);
    EXPECT_NE(std::string(list, static_cast<std::size_t>(n)).find("user.more"), std::string::npos);
    ASSERT_EQ(other->removexattr("/f", "user.note"), 0);
    EXPECT_EQ(::getxattr(at("f").c_str(), "user.note", value, sizeof value), -1);
    EXPECT_EQ(errno, ENODATA);
}

} // namespace
} // namespace kestrava::fuse::test
