// Lookup of encrypted names whose letter case differs from the stored one.
#include "FsTestSupport.h"

#include <chrono>
#include <filesystem>
#include <thread>

namespace kestrava::fs::test {
namespace {

using CaseInsensitive = DriveFsTest;
class CaseInsensitiveBothFormats : public BothFormats
{
};
KESTRAVA_BOTH_FORMATS(CaseInsensitiveBothFormats);

TEST_P(CaseInsensitiveBothFormats, FindsAndCreatesInTheStoredDirectory)
{
    ASSERT_EQ(fs->mkdir("/docs", 0755), 0);
    put("/docs/report.txt", "data");
    EXPECT_EQ(get("/DOCS/Report.txt"), "data");
    struct stat st
    {
    };
    EXPECT_EQ(fs->getattr("/Docs/REPORT.TXT", &st), 0);

    put("/DOCS/new.txt", "n");
    EXPECT_TRUE(storedExists("/docs/new.txt"));
    EXPECT_FALSE(storedExists("/DOCS"));
    EXPECT_EQ(fs->unlink("/Docs/New.TXT"), 0);
    EXPECT_EQ(fs->getattr("/docs/new.txt", &st), -ENOENT);

    mount(FsOptions{true, false});
    EXPECT_EQ(fs->getattr("/DOCS/Report.txt", &st), -ENOENT) << "case-sensitive drives do not resolve";
    EXPECT_EQ(fs->getattr("/docs/report.txt", &st), 0);
}

TEST_F(CaseInsensitive, NegativeLookupsDoNotRescanAndOutsideChangesAreSeen)
{
    ASSERT_EQ(fs->mkdir("/big", 0755), 0);
    for (int i = 0; i < 300; ++i) {
        put("/big/file" + std::to_string(i), "x");
    }
    struct stat st
    {
    };
    EXPECT_EQ(fs->getattr("/big/missing0", &st), -ENOENT);
    const std::size_t scans = fs->caseFoldCache()->scanCount();
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(fs->getattr("/big/missing" + std::to_string(i), &st), -ENOENT);
        put("/big/more" + std::to_string(i), "y"); // our own changes keep the map current
    }
    EXPECT_EQ(fs->getattr("/big/MORE7", &st), 0);
    EXPECT_EQ(fs->caseFoldCache()->scanCount(), scans);

    // Clocks of older kernels tick coarsely; let the outside change land in a later tick.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // A sync client adds a file behind our back: the directory's times change, the map is
    // rebuilt, and the new name is found in any case.
    kestrava::test::writeFile(dir / encName("big") / encName("Synced.txt"), referenceCfb(key, "s", true));
    EXPECT_EQ(get("/BIG/synced.TXT"), "s");
    EXPECT_GT(fs->caseFoldCache()->scanCount(), scans);
}

} // namespace
} // namespace kestrava::fs::test
