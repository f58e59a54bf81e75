// What the drive refuses so that nothing on it can be lost or hidden: its own token, names the
// root listing hides, contents moved between plain and encrypted storage; and who owns what
// other users create.
#include "FsTestSupport.h"

#include <filesystem>
#include <set>
#include <sys/xattr.h>
#include <unistd.h>

namespace kestrava::fs::test {
namespace {

using DriveSafety = DriveFsTest;

constexpr const char* kToken = "<token>keep me</token>";

std::set<std::string> listing(DriveFs& fs, const std::string& path)
{
    std::set<std::string> names;
    EXPECT_EQ(fs.readdir(path,
                         [&](std::string_view name, const struct stat&) {
                             names.emplace(name);
                             return true;
                         }),
              0);
    names.erase(".");
    names.erase("..");
    return names;
}

TEST_F(DriveSafety, RootTokenRefusesEveryChangeInBothNameModes)
{
    for (const bool encrypt : {true, false}) {
        SCOPED_TRACE(encrypt ? "encrypted names" : "plain names");
        mount({encrypt, true});
        kestrava::test::writeFile(dir / ".qxsession.xml", kToken);
        put("/a.txt", "a");
        const std::string t = "/.qxsession.xml";
        std::uint64_t h = 0;
        EXPECT_EQ(fs->create(t, 0644, O_RDWR, &h), -EACCES);
        EXPECT_EQ(fs->open(t, O_WRONLY, &h), -EACCES);
        EXPECT_EQ(fs->open(t, O_RDWR, &h), -EACCES);
        EXPECT_EQ(fs->open(t, O_RDONLY | O_TRUNC, &h), -EACCES);
        EXPECT_EQ(fs->truncate(t, 0), -EACCES);
        EXPECT_EQ(fs->unlink(t), -EACCES);
        EXPECT_EQ(fs->rename(t, "/moved.xml", 0), -EACCES);
        EXPECT_EQ(fs->rename("/a.txt", t, 0), -EACCES);
        EXPECT_EQ(fs->rename("/a.txt", t, RENAME_EXCHANGE), -EACCES);
        EXPECT_EQ(fs->link(t, "/second.xml"), -EACCES);
        EXPECT_EQ(fs->link("/a.txt", t), -EACCES);
        EXPECT_EQ(fs->chmod(t, 0), -EACCES);
        EXPECT_EQ(fs->chown(t, 65534, 65534), -EACCES);
        EXPECT_EQ(fs->setxattr(t, "user.x", "v", 1, 0), -EACCES);
        EXPECT_EQ(fs->removexattr(t, "user.x"), -EACCES);
        EXPECT_EQ(fs->symlink("/a.txt", t), -EACCES);
        EXPECT_EQ(fs->mknod(t, S_IFIFO | 0644, 0), -EACCES);
        EXPECT_EQ(fs->mkdir(t, 0755), -EACCES);

        EXPECT_EQ(get(t), kToken) << "reading stays allowed";
        EXPECT_EQ(kestrava::test::readFile(dir / ".qxsession.xml"), kToken);
        EXPECT_FALSE(std::filesystem::exists(dir / "second.xml"));
        EXPECT_EQ(listing(*fs, "/").count(".qxsession.xml"), 0u);
        std::filesystem::remove_all(dir.path());
        std::filesystem::create_directories(dir.path());
    }
}

TEST_F(DriveSafety, TokenNameBelowTheRootIsAnOrdinaryName)
{
    kestrava::test::writeFile(dir / ".qxsession.xml", kToken);
    ASSERT_EQ(fs->mkdir("/d", 0755), 0);
    put("/d/t", "moved here");
    ASSERT_EQ(fs->rename("/d/t", "/d/.qxsession.xml", 0), 0);
    EXPECT_EQ(listing(*fs, "/d"), std::set<std::string>{".qxsession.xml"});
    struct stat st
    {
    };
    EXPECT_EQ(fs->getattr("/d/.qxsession.xml", &st), 0) << "what the listing shows can be looked up";
    EXPECT_EQ(get("/d/.qxsession.xml"), "moved here");
    EXPECT_EQ(fs->chmod("/d/.qxsession.xml", 0600), 0);
    EXPECT_EQ(fs->unlink("/d/.qxsession.xml"), 0);
    EXPECT_EQ(fs->rmdir("/d"), 0);
    EXPECT_EQ(kestrava::test::readFile(dir / ".qxsession.xml"), kToken);

    // Kept old tokens stay hidden; encrypted, their names are free for the user.
    kestrava::test::writeFile(dir / ".qxsession.xml.replaced-20240101", "old token");
    put("/.qxsession.xml.replaced-mine", "mine");
    EXPECT_EQ(listing(*fs, "/"), std::set<std::string>{".qxsession.xml.replaced-mine"});
}

TEST_F(DriveSafety, PlainTokenNamedEntriesOfOlderBuildsAreListedServedAndRemovable)
{
    ASSERT_EQ(fs->mkdir("/d", 0755), 0);
    ASSERT_EQ(fs->mkdir("/e", 0755), 0);
    const auto d = dir / encName("d");
    kestrava::test::writeFile(d / ".qxsession.xml", "written plain");
    EXPECT_EQ(listing(*fs, "/d"), std::set<std::string>{".qxsession.xml"});
    EXPECT_EQ(get("/d/.qxsession.xml"), "written plain");
    EXPECT_EQ(fs->setxattr("/d/.qxsession.xml", "user.k", "v", 1, 0), 0);
    char value[4] = {};
    EXPECT_EQ(fs->getxattr("/d/.qxsession.xml", "user.k", value, sizeof value), 1);
    EXPECT_EQ(value[0], 'v');

    // Under another name the plain bytes would be read as encrypted: programs copy instead.
    EXPECT_EQ(fs->rename("/d/.qxsession.xml", "/d/other", 0), -EXDEV);
    EXPECT_EQ(fs->link("/d/.qxsession.xml", "/d/other"), -EXDEV);
    put("/e/x", "x");
    EXPECT_EQ(fs->rename("/e/x", "/d/.qxsession.xml", RENAME_EXCHANGE), -EXDEV);
    EXPECT_EQ(fs->rename("/e/x", "/d/.qxsession.xml", 0), -EXDEV) << "no second entry of the same name";
    std::uint64_t h = 0;
    EXPECT_EQ(fs->create("/d/.qxsession.xml", 0644, O_RDWR, &h), -EEXIST);
    ASSERT_EQ(fs->rename("/d/.qxsession.xml", "/e/.qxsession.xml", 0), 0);
    EXPECT_EQ(get("/e/.qxsession.xml"), "written plain");
    EXPECT_TRUE(std::filesystem::exists(dir / encName("e") / ".qxsession.xml"));
    EXPECT_EQ(fs->rmdir("/d"), 0);
    EXPECT_EQ(fs->unlink("/e/.qxsession.xml"), 0);

    // A folder of that name stored plain can be entered.
    std::filesystem::create_directories(dir / encName("e") / ".qxsession.xml");
    put("/e/.qxsession.xml/in.txt", "inside");
    EXPECT_EQ(get("/e/.qxsession.xml/in.txt"), "inside");
    EXPECT_TRUE(std::filesystem::exists(dir / encName("e") / ".qxsession.xml" / encName("in.txt")));
}

TEST_F(DriveSafety, RootNamesTheListingHidesCannotBeMadeWithoutNameEncryption)
{
    mount({false, false});
    const std::string warning(kWarningFolderName);
    std::filesystem::create_directories(dir / warning);
    kestrava::test::writeFile(dir / ".qxsession.xml.replaced-20240101", "old token");
    put("/a", "a");
    EXPECT_EQ(listing(*fs, "/"), std::set<std::string>{"a"});

    std::uint64_t h = 0;
    const std::string kept = "/.qxsession.xml.replaced-2025";
    EXPECT_EQ(fs->create(kept, 0644, O_RDWR, &h), -EPERM);
    EXPECT_EQ(fs->mkdir("/" + warning + "x", 0755), 0) << "only the exact name is reserved";
    EXPECT_EQ(fs->rmdir("/" + warning), 0) << "an empty warning folder is not the drive's to keep";
    EXPECT_EQ(fs->mkdir("/" + warning, 0755), -EPERM);
    EXPECT_EQ(fs->rename("/a", kept, 0), -EPERM);
    EXPECT_EQ(fs->link("/a", kept), -EPERM);
    EXPECT_EQ(fs->symlink("a", kept), -EPERM);
    EXPECT_EQ(fs->mknod(kept, S_IFIFO | 0644, 0), -EPERM);
    EXPECT_EQ(kestrava::test::readFile(dir / ".qxsession.xml.replaced-20240101"), "old token");

    // Below the root they are ordinary names, listed like any other.
    ASSERT_EQ(fs->mkdir("/d", 0755), 0);
    ASSERT_EQ(fs->mkdir("/d/" + warning, 0755), 0);
    put("/d/.qxsession.xml", "mine");
    EXPECT_EQ(listing(*fs, "/d"), (std::set<std::string>{warning, ".qxsession.xml"}));
    EXPECT_EQ(fs->rename("/a", "/d/.qxsession.xml", 0), -EXDEV) << "plain-stored contents by that name";
}

TEST_F(DriveSafety, EntriesMadeForAnotherUserAreTheirs)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "handing entries to another user needs root";
    }
    const Caller other{65534, 65534};
    std::uint64_t h = 0;
    ASSERT_EQ(fs->create("/f", 0640, O_RDWR, &h, other), 0);
    fs->release(h);
    ASSERT_EQ(fs->mkdir("/d", 0750, other), 0);
    ASSERT_EQ(fs->symlink("f", "/l", other), 0);
    ASSERT_EQ(fs->mknod("/p", S_IFIFO | 0600, 0, other), 0);
    for (const char* path : {"/f", "/d", "/l", "/p"}) {
        struct stat st
        {
        };
        ASSERT_EQ(::lstat(fs->backingPathOf(path).c_str(), &st), 0) << path;
        EXPECT_EQ(st.st_uid, 65534u) << path;
        EXPECT_EQ(st.st_gid, 65534u) << path;
    }

    // A set-group-id folder gives its group, and its bit to new folders.
    ASSERT_EQ(fs->mkdir("/shared", 0755), 0);
    const auto shared = fs->backingPathOf("/shared");
    ASSERT_EQ(::chown(shared.c_str(), 0, 4242), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 02775), 0);
    ASSERT_EQ(fs->mkdir("/shared/sub", 0755, other), 0);
    ASSERT_EQ(fs->create("/shared/g", 0644, O_RDWR, &h, other), 0);
    fs->release(h);
    struct stat st
    {
    };
    ASSERT_EQ(::stat(fs->backingPathOf("/shared/sub").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 4242u);
    EXPECT_NE(st.st_mode & S_ISGID, 0u);
    ASSERT_EQ(::stat(fs->backingPathOf("/shared/g").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 4242u);
}

} // namespace
} // namespace kestrava::fs::test
