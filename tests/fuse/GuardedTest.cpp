#include "fuse/Guarded.h"

#include "fuse/MountSession.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/types.h>

namespace kestrava::fuse {
namespace {

class GuardedTest : public ::testing::Test
{
protected:
    void SetUp() override { applog::configureLog({m_dir / "test.log", false}); }
    void TearDown() override { applog::configureLog({}); }
    std::string log() const
    {
        return std::filesystem::exists(m_dir / "test.log") ? test::readFile(m_dir / "test.log") : "";
    }
    test::TempDir m_dir;
};

TEST_F(GuardedTest, ResultsPassThroughUntouched)
{
    EXPECT_EQ(guarded("read", [] { return 4096; }), 4096);
    EXPECT_EQ(guarded("read", [] { return -ENOENT; }), -ENOENT);
    EXPECT_EQ(guarded("read", [] { return static_cast<ssize_t>(1) << 40; }), static_cast<ssize_t>(1) << 40);
    EXPECT_EQ(log(), "");
}

TEST_F(GuardedTest, FileSystemErrorsBecomeTheirErrnoWithoutALogLine)
{
    EXPECT_EQ(guarded("write", []() -> int { throw fs::FsError(ENOSPC); }), -ENOSPC);
    EXPECT_EQ(guarded("write", []() -> ssize_t { throw fs::FsError(EDQUOT); }), -EDQUOT);
    EXPECT_EQ(log(), "");
}

TEST_F(GuardedTest, AnythingElseIsAnIoErrorAndLogged)
{
    EXPECT_EQ(guarded("rename", []() -> int { throw std::runtime_error("index broke"); }), -EIO);
    EXPECT_EQ(guarded("mkdir", []() -> int { throw 42; }), -EIO);
    const std::string text = log();
    EXPECT_NE(text.find("!FUSE rename: unexpected error: index broke"), std::string::npos) << text;
    EXPECT_NE(text.find("!FUSE mkdir: unexpected error"), std::string::npos) << text;
}

TEST(MountOptionTest, LabelsCannotSplitTheOptionString)
{
    EXPECT_EQ(escapeOptionValue("kestrava:Plain"), "kestrava:Plain");
    EXPECT_EQ(escapeOptionValue("a,allow_other"), "a\\,allow_other");
    EXPECT_EQ(escapeOptionValue("back\\slash"), "back\\\\slash");
}

} // namespace
} // namespace kestrava::fuse
