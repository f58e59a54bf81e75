#include "core/util/AtomicFile.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrava::util {
namespace {

std::size_t entriesIn(const std::filesystem::path& dir)
{
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

TEST(AtomicFileTest, ReplacesContentsWithModeAndLeavesNoTemporaryFile)
{
    test::TempDir dir;
    const auto target = dir / "settings.xml";
    test::writeFile(target, "old");
    ::chmod(target.c_str(), 0644);
    const WriteResult result = writeFileAtomically(target, "new contents", 0600);
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(test::readFile(target), "new contents");
    struct stat st
    {
    };
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

TEST(AtomicFileTest, FailureLeavesTheTargetUntouched)
{
    test::TempDir dir;
    const auto missing = dir / "no-such-folder" / "file";
    const WriteResult result = writeFileAtomically(missing, "x");
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error, 0);
    EXPECT_FALSE(result.message.empty());

    // A directory in the target's place cannot be replaced by a file.
    std::filesystem::create_directory(dir / "taken");
    test::writeFile(dir / "taken" / "inside", "keep");
    EXPECT_FALSE(writeFileAtomically(dir / "taken", "x").ok);
    EXPECT_EQ(test::readFile(dir / "taken" / "inside"), "keep");
    EXPECT_EQ(entriesIn(dir.path()), 1u) << "temporary file removed after the failure";
}

TEST(AtomicFileTest, KilledWriterLeavesOldOrNewFileWhole)
{
    test::TempDir dir;
    const auto target = dir / "token.xml";
    const std::string a(200000, 'a');
    const std::string b(300000, 'b');
    test::writeFile(target, a);
    for (int round = 0; round < 5; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (;;) {
                writeFileAtomically(target, b);
                writeFileAtomically(target, a);
            }
        }
        ::usleep(20000 + round * 7000);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        const std::string now = test::readFile(target);
        EXPECT_TRUE(now == a || now == b) << "size " << now.size();
    }
}

TEST(ReadSmallFileTest, RefusesDirectoriesAndLargeFiles)
{
    test::TempDir dir;
    std::string contents;
    std::string error;
    EXPECT_FALSE(readSmallFile(dir.path(), 100, contents, error));
    EXPECT_EQ(error, "is a directory");
    test::writeFile(dir / "big", std::string(101, 'x'));
    EXPECT_FALSE(readSmallFile(dir / "big", 100, contents, error));
    test::writeFile(dir / "ok", "hello");
    ASSERT_TRUE(readSmallFile(dir / "ok", 100, contents, error));
    EXPECT_EQ(contents, "hello");
    EXPECT_FALSE(readSmallFile(dir / "absent", 100, contents, error));
}

} // namespace
} // namespace kestrava::util
