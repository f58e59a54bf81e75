#include "core/host/MountTable.h"

#include <gtest/gtest.h>

namespace kestrava::host {
namespace {

TEST(MountTableTest, ReadsFieldsAroundOptionalTagsAndDecodesEscapes)
{
    const std::string text =
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "45 22 0:40 / /home/ann/Kestrava\\040Drives/K rw,nosuid shared:7 master:2 - fuse.kestrava "
        "kestrava:My\\040Drive,\\0401 rw,user_id=1000\n"
        "46 22 0:41 / /mnt/tab\\011and\\134slash rw - tmpfs tmpfs rw\n";
    const auto table = parseMountInfo(text);
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[0].mountPoint, "/");
    EXPECT_EQ(table[0].fsType, "ext4");
    EXPECT_EQ(table[1].mountPoint, "/home/ann/Kestrava Drives/K");
    EXPECT_EQ(table[1].fsType, kDriveFsType);
    EXPECT_EQ(table[1].source, "kestrava:My Drive, 1");
    EXPECT_EQ(labelFromFsName(table[1].source), "My Drive, 1");
    EXPECT_EQ(table[2].mountPoint, "/mnt/tab\tand\\slash");
}

TEST(MountTableTest, SkipsLinesWithoutTheSeparatorOrFields)
{
    const auto table = parseMountInfo("garbage\n1 2 3\n\n7 1 0:1 / /x rw no-dash here at all\n"
                                      "9 1 0:2 / /ok rw - tmpfs none rw\n"
                                      "10 1 0:3 / /cut rw - tmpfs\n");
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0].mountPoint, "/ok");
}

TEST(MountTableTest, FindsTheTopmostMountAtAFolder)
{
    const auto table = parseMountInfo("1 0 0:1 / /m/K rw - tmpfs a rw\n"
                                      "2 1 0:2 / /m/K rw - fuse.kestrava kestrava:x rw\n");
    const auto found = findMount(table, "/m/K/");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->fsType, kDriveFsType);
    EXPECT_FALSE(findMount(table, "/m/KK"));
    EXPECT_FALSE(findMount(table, "/m"));
}

TEST(MountTableTest, LabelsRoundTripThroughTheFileSystemName)
{
    EXPECT_EQ(driveFsName("Work"), "kestrava:Work");
    EXPECT_EQ(labelFromFsName(driveFsName("")), "");
    EXPECT_FALSE(labelFromFsName("/dev/sda1"));
    EXPECT_FALSE(labelFromFsName("kestrav"));
}

TEST(MountTableTest, ReadsThisProcessesTable)
{
    const auto table = readMountTable();
    ASSERT_FALSE(table.empty());
    // /proc is mounted wherever this table could be read; "/" need not be (a chroot).
    EXPECT_TRUE(findMount(table, "/proc"));
    EXPECT_TRUE(readMountTable("/nonexistent/mountinfo").empty());
}

} // namespace
} // namespace kestrava::host
