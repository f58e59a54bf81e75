// The handlers' rules beyond contents and listings.
#include "FsTestSupport.h"

#include <cstring>
#include <filesystem>
#include <linux/limits.h>
#include <set>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace kestrava::fs::test {
namespace {

class Handlers : public BothFormats
{
};
KESTRAVA_BOTH_FORMATS(Handlers);

TEST_P(Handlers, CreateIsExclusiveAndTheRootTokenIsProtected)
{
    put("/a.txt", "original");
    std::uint64_t h = 0;
    EXPECT_EQ(fs->create("/a.txt", 0644, O_RDWR, &h), -EEXIST);
    EXPECT_EQ(get("/a.txt"), "original");

    kestrava::test::writeFile(dir / ".qxsession.xml", "<token/>");
    EXPECT_EQ(fs->unlink("/.qxsession.xml"), -EACCES);
    EXPECT_EQ(fs->rename("/.qxsession.xml", "/t.xml", 0), -EACCES);
    EXPECT_EQ(fs->rename("/a.txt", "/.qxsession.xml", 0), -EACCES);
    ASSERT_EQ(fs->mkdir("/d", 0755), 0);
    put("/d/.qxsession.xml", "nested");
    EXPECT_EQ(fs->unlink("/d/.qxsession.xml"), 0);

    // Renamed to the token's name inside a folder, a file keeps an encrypted name.
    put("/d/b.txt", "b");
    ASSERT_EQ(fs->rename("/d/b.txt", "/d/.qxsession.xml", 0), 0);
    EXPECT_TRUE(storedExists("/d/.qxsession.xml"));
    EXPECT_FALSE(std::filesystem::exists(fs->backingPathOf("/d") + "/.qxsession.xml"));
    EXPECT_EQ(kestrava::test::readFile(dir / ".qxsession.xml"), "<token/>");

    ASSERT_EQ(fs->rename("/a.txt", "/d/moved.txt", 0), 0);
    EXPECT_EQ(get("/d/moved.txt"), "original");
    put("/c.txt", "c");
    EXPECT_EQ(fs->rename("/c.txt", "/d/moved.txt", RENAME_NOREPLACE), -EEXIST);
}

TEST_P(Handlers, AttributesAndVolume)
{
    put("/f", std::string(5000, 'x'));
    const timespec times[2] = {{1000, 0}, {2000, 5}};
    ASSERT_EQ(fs->utimens("/f", times), 0);
    ASSERT_EQ(fs->chmod("/f", 0600), 0);
    struct stat st
    {
    };
    ASSERT_EQ(fs->getattr("/f", &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 2000);
    EXPECT_EQ(st.st_atim.tv_sec, 2000) << "last access reported as last write";
    EXPECT_EQ(st.st_size, 5000);
    EXPECT_EQ(st.st_blocks, (5000 + 511) / 512) << "allocation reported as the size";
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    ASSERT_EQ(fs->getattr("/", &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));

    struct statvfs vfs
    {
    };
    ASSERT_EQ(fs->statfs("/", &vfs), 0);
    EXPECT_EQ(vfs.f_fsid, kVolumeId);
    EXPECT_EQ(vfs.f_namemax, compatible() ? 189u : 255u);
    EXPECT_GT(vfs.f_blocks, 0u);
}

TEST_P(Handlers, NamesThatCannotBeStoredCreateNothing)
{
    struct stat st
    {
    };
    // The compatible format stores at most 189 bytes; the hardened one every name Linux allows.
    const std::size_t longest = compatible() ? 189 : 255;
    std::uint64_t h = 0;
    EXPECT_EQ(fs->create("/" + std::string(longest + 1, 'n'), 0644, O_RDWR, &h), -ENAMETOOLONG);
    EXPECT_EQ(fs->mkdir("/bad\xfe", 0755), -EINVAL);
    EXPECT_EQ(fs->mkdir("/" + std::string(longest, 'n'), 0755), 0);
    std::set<std::string> entries;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        entries.insert(e.path().filename().string());
    }
    // Besides the directory only the hardened format's own entries: the root's IV and the
    // side file of a name too long to be stored as it is.
    EXPECT_EQ(entries.size(), compatible() ? 1u : 3u);
    EXPECT_EQ(compatible(), entries.count("kestrava.diriv") == 0);
    EXPECT_TRUE(fs->getattr("/" + std::string(longest, 'n'), &st) == 0);
}

TEST_P(Handlers, PlainPathsLongerThanTheirBackingLimit)
{
    // 30 levels of 120-byte names: about 3,600 plain bytes, 4,800 once encrypted.
    std::string path;
    for (int i = 0; i < 30; ++i) {
        path += "/" + std::string(119, 'd') + static_cast<char>('A' + i % 26);
        ASSERT_EQ(fs->mkdir(path, 0755), 0) << i;
    }
    ASSERT_GT(fs->backingPathOf(path).size(), static_cast<std::size_t>(PATH_MAX));
    put(path + "/deep.txt", "deep");
    EXPECT_EQ(get(path + "/deep.txt"), "deep");
    EXPECT_EQ(fs->rename(path + "/deep.txt", path + "/deeper.txt", 0), 0);
    EXPECT_EQ(fs->unlink(path + "/deeper.txt"), 0);
}

TEST_P(Handlers, OpenCountsAndReadOnlyFallback)
{
    put("/shared", "s");
    std::uint64_t a = 0, b = 0;
    ASSERT_EQ(fs->open("/shared", O_RDWR, &a), 0);
    ASSERT_EQ(fs->open("/shared", O_RDONLY, &b), 0);
    EXPECT_EQ(fs->openCountOf("/shared"), 2);
    ASSERT_EQ(fs->release(a), 0);
    EXPECT_EQ(fs->openCountOf("/shared"), 1);
    ASSERT_EQ(fs->release(b), 0);
    EXPECT_EQ(fs->release(b), -EBADF);

    if (::geteuid() == 0) {
        GTEST_SKIP() << "root opens read-only files for writing anyway";
    }
    ASSERT_EQ(fs->chmod("/shared", 0444), 0);
    ASSERT_EQ(fs->open("/shared", O_RDWR, &a), 0);
    char c = 0;
    EXPECT_EQ(fs->read(a, &c, 1, 0), 1);
    EXPECT_EQ(fs->write(a, "x", 1, 0), -EACCES);
    fs->release(a);
}

TEST_P(Handlers, LinksAndSpecialFiles)
{
    put("/target.txt", "t");
    ASSERT_EQ(fs->symlink("../some/where/target.txt", "/ln"), 0);
    char buffer[256];
    ASSERT_EQ(fs->readlink("/ln", buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "../some/where/target.txt");
    ASSERT_EQ(fs->readlink("/ln", buffer, 5), 0);
    EXPECT_STREQ(buffer, "../s");
    const auto storedTarget = std::filesystem::read_symlink(fs->backingPathOf("/ln")).string();
    if (compatible()) {
        EXPECT_EQ(storedTarget, referenceName(key, "../some/where/target.txt"));
    } else {
        EXPECT_EQ(storedTarget.find("some"), std::string::npos) << "the target is sealed";
    }
    struct stat st
    {
    };
    ASSERT_EQ(fs->getattr("/ln", &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(st.st_size, 24);

    ASSERT_EQ(fs->link("/target.txt", "/hard.txt"), 0);
    EXPECT_EQ(get("/hard.txt"), "t");
    ASSERT_EQ(fs->getattr("/hard.txt", &st), 0);
    EXPECT_EQ(st.st_nlink, 2u);

    ASSERT_EQ(fs->mknod("/fifo", S_IFIFO | 0644, 0), 0);
    ASSERT_EQ(fs->getattr("/fifo", &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    const int rc = fs->mknod("/dev", S_IFCHR | 0600, makedev(1, 3));
    EXPECT_TRUE(rc == 0 || rc == -EPERM) << rc;

    std::uint64_t h = 0;
    EXPECT_EQ(fs->access("/target.txt", R_OK), 0);
    ASSERT_EQ(fs->open("/target.txt", O_RDWR, &h), 0);
    EXPECT_EQ(fs->flush(h), 0);
    EXPECT_EQ(fs->fsync(h, true), 0);
    EXPECT_EQ(fs->release(h), 0);
}

TEST_P(Handlers, ExtendedAttributesRoundTrip)
{
    put("/x", "x");
    const std::string value = "a value longer than one AES block, " + std::string(1000, 'v');
    int rc = fs->setxattr("/x", "user.note", value.data(), value.size(), 0);
    if (rc == -ENOTSUP) {
        GTEST_SKIP() << "the temporary folder's file system has no user attributes";
    }
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(fs->getxattr("/x", "user.note", nullptr, 0), static_cast<ssize_t>(value.size()));
    std::string back(value.size(), '\0');
    ASSERT_EQ(fs->getxattr("/x", "user.note", back.data(), back.size()), static_cast<ssize_t>(value.size()));
    EXPECT_EQ(back, value);
    char small[4];
    EXPECT_EQ(fs->getxattr("/x", "user.note", small, sizeof small), -ERANGE);

    std::string raw(value.size() + 100, '\0');
    const ssize_t rawSize = ::getxattr(fs->backingPathOf("/x").c_str(), "user.note", raw.data(), raw.size());
    ASSERT_GT(rawSize, 0);
    raw.resize(static_cast<std::size_t>(rawSize));
    if (compatible()) {
        EXPECT_EQ(raw, referenceContent(key, value)) << "stored encrypted like contents";
    } else {
        EXPECT_EQ(raw.size(), value.size() + 28) << "nonce and tag around the sealed value";
        EXPECT_EQ(raw.find("vvvv"), std::string::npos);
    }

    char names[256];
    const ssize_t n = fs->listxattr("/x", names, sizeof names);
    ASSERT_GT(n, 0);
    EXPECT_NE(std::string(names, static_cast<std::size_t>(n)).find("user.note"), std::string::npos);
    ASSERT_EQ(fs->mkdir("/dir", 0755), 0);
    EXPECT_EQ(fs->setxattr("/dir", "user.d", "1", 1, 0), 0);
    EXPECT_EQ(fs->removexattr("/x", "user.note"), 0);
    EXPECT_EQ(fs->getxattr("/x", "user.note", nullptr, 0), -ENODATA);
}

// Labels and access lists on a backing entry describe the encrypted file: the drive neither
// shows them nor takes new ones, and says "not supported" so tools stop asking.
TEST_P(Handlers, SecurityLabelsAndAccessListsAreNotOffered)
{
    put("/x", "x");
    const std::string stored = fs->backingPathOf("/x");
    if (::setxattr(stored.c_str(), "user.plain", "p", 1, 0) != 0 ||
        ::setxattr(stored.c_str(), "security.kestrava-test", "label", 5, 0) != 0) {
        GTEST_SKIP() << "the temporary folder takes no user and security attributes here: "
                     << std::strerror(errno);
    }
    char value[64];
    for (const char* name : {"security.kestrava-test", "security.capability", "system.posix_acl_access"}) {
        EXPECT_EQ(fs->getxattr("/x", name, value, sizeof value), -EOPNOTSUPP) << name;
        EXPECT_EQ(fs->getxattr("/x", name, nullptr, 0), -EOPNOTSUPP) << name;
        EXPECT_EQ(fs->setxattr("/x", name, "v", 1, 0), -EOPNOTSUPP) << name;
        EXPECT_EQ(fs->removexattr("/x", name), -EOPNOTSUPP) << name;
    }
    EXPECT_EQ(::getxattr(stored.c_str(), "security.kestrava-test", value, sizeof value), 5)
        << "left as it was";

    // The list holds what the drive serves, and its size is the size of that list.
    const std::string expected("user.plain\0", 11);
    EXPECT_EQ(fs->listxattr("/x", nullptr, 0), static_cast<ssize_t>(expected.size()));
    char names[256];
    const ssize_t n = fs->listxattr("/x", names, sizeof names);
    ASSERT_EQ(n, static_cast<ssize_t>(expected.size()));
    EXPECT_EQ(std::string(names, static_cast<std::size_t>(n)), expected);
    EXPECT_EQ(fs->listxattr("/x", names, expected.size() - 1), -ERANGE);
}

} // namespace
} // namespace kestrava::fs::test
