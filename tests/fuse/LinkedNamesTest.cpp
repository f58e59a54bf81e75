// Which names the adapter invalidates for files with several links.
#include "fuse/LinkedNames.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace kestrava::fuse {
namespace {

struct stat fileStat(ino_t ino, nlink_t links, mode_t type = S_IFREG)
{
    struct stat st
    {
    };
    st.st_dev = 1;
    st.st_ino = ino;
    st.st_nlink = links;
    st.st_mode = type | 0644;
    return st;
}

std::vector<std::string> sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

TEST(LinkedNames, OnlyFilesWithSeveralLinksAreRemembered)
{
    LinkedNames links;
    links.note("/single", fileStat(1, 1));
    links.note("/folder", fileStat(2, 3, S_IFDIR));
    EXPECT_TRUE(links.empty());

    links.note("/a", fileStat(5, 3));
    links.note("/b", fileStat(5, 3));
    links.note("/c", fileStat(5, 3));
    EXPECT_EQ(sorted(links.othersOf({1, 5}, "/a")), (std::vector<std::string>{"/b", "/c"}));
    EXPECT_EQ(sorted(links.removed("/b")), (std::vector<std::string>{"/a", "/c"}));
    EXPECT_EQ(links.othersOf({1, 5}, "/a"), std::vector<std::string>{"/c"});

    // A path that now names another file moves to it.
    links.note("/c", fileStat(6, 2));
    EXPECT_TRUE(links.othersOf({1, 5}, "/a").empty());
    links.removed("/a");
    links.removed("/c");
    EXPECT_TRUE(links.empty());
}

TEST(LinkedNames, RenamesCarryNamesAlongAndBelowAFolder)
{
    LinkedNames links;
    links.note("/d/x", fileStat(7, 2));
    links.note("/d b", fileStat(7, 2)); // sorts between "/d" and "/d/x"
    links.note("/dx", fileStat(8, 2));
    links.moved("/d", "/e");
    EXPECT_EQ(sorted(links.othersOf({1, 7}, "")), (std::vector<std::string>{"/d b", "/e/x"}));
    LinkedNames::FileId file;
    EXPECT_TRUE(links.fileOf("/dx", &file)) << "a sibling sharing the prefix stays";
    EXPECT_FALSE(links.fileOf("/d/x", &file));

    links.moved("/d b", "/e/x"); // over another name of the same file
    EXPECT_EQ(links.othersOf({1, 7}, ""), std::vector<std::string>{"/e/x"});
}

} // namespace
} // namespace kestrava::fuse
