// What a listing shows of the backing folder.
#include "FsTestSupport.h"
#include "core/app/StringTable.h"

#include <filesystem>
#include <set>

namespace kestrava::fs::test {
namespace {

class Listing : public DriveFsTest
{
protected:
    std::set<std::string> list(const std::string& path, bool plus = false)
    {
        std::set<std::string> names;
        EXPECT_EQ(fs->readdir(
                      path,
                      [&](std::string_view name, const struct stat&) {
                          names.emplace(name);
                          return true;
                      },
                      plus),
                  0);
        return names;
    }
    void foreignFiles()
    {
        kestrava::test::writeFile(dir / ".qxsession.xml", "<token/>");
        std::filesystem::create_directory(dir / std::string(englishAppString(199)));
        kestrava::test::writeFile(dir / "desktop.ini", "x");
        kestrava::test::writeFile(dir / (encName("a.txt") + " (conflicted copy).txt"), "x");
        kestrava::test::writeFile(dir / referenceName(testKey(50), "other.txt"), "x");
    }
};

TEST_F(Listing, ShowsOnlyOurNamesDecrypted)
{
    foreignFiles();
    put("/a.txt", "1");
    ASSERT_EQ(fs->mkdir("/sub", 0755), 0);
    put("/sub/b.txt", "2");
    // A sync client's conflict copy is shown under a name of its own; other foreign names are not.
    const std::set<std::string> root{".", "..", "a.txt", "a (conflicted copy).txt.txt", "sub"};
    EXPECT_EQ(list("/"), root);
    EXPECT_EQ(list("/", true), root);
    EXPECT_EQ(list("/sub"), (std::set<std::string>{".", "..", "b.txt"}));

    std::uint64_t h = 0;
    EXPECT_EQ(fs->open("/desktop.ini", O_RDONLY, &h), -ENOENT) << "foreign names cannot be reached either";
    EXPECT_EQ(fs->readdir("/a.txt", [](std::string_view, const struct stat&) { return true; }), -ENOTDIR);
}

TEST_F(Listing, HiddenEntriesStillMakeADirectoryNonEmpty)
{
    ASSERT_EQ(fs->mkdir("/d", 0755), 0);
    bool empty = false;
    ASSERT_EQ(fs->isDirectoryEmpty("/d", &empty), 0);
    EXPECT_TRUE(empty);
    kestrava::test::writeFile(dir / encName("d") / "desktop.ini", "x");
    ASSERT_EQ(fs->isDirectoryEmpty("/d", &empty), 0);
    EXPECT_FALSE(empty);
    EXPECT_EQ(list("/d"), (std::set<std::string>{".", ".."}));
    EXPECT_EQ(fs->rmdir("/d"), -ENOTEMPTY);
}

TEST_F(Listing, PlainNamesPassThroughWithEncryptionOff)
{
    mount(FsOptions{false, true});
    foreignFiles();
    put("/visible.txt", "v");
    EXPECT_TRUE(std::filesystem::exists(dir / "visible.txt"));
    const auto names = list("/");
    EXPECT_TRUE(names.count("visible.txt"));
    EXPECT_TRUE(names.count("desktop.ini"));
    EXPECT_FALSE(names.count(".qxsession.xml"));
    EXPECT_FALSE(names.count(std::string(englishAppString(199))));
}

} // namespace
} // namespace kestrava::fs::test
