#include "core/host/Process.h"

#include "support/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrava::host {
namespace {

TEST(ProcessTest, RunCapturesOutputAndExitCode)
{
    const RunResult ok = runProgram({"sh", "-c", "echo out; echo err >&2"});
    EXPECT_TRUE(ok.started);
    EXPECT_EQ(ok.exitCode, 0);
    EXPECT_EQ(ok.output, "out\nerr");
    const RunResult failed = runProgram({"sh", "-c", "exit 3"});
    EXPECT_EQ(failed.exitCode, 3);
    const RunResult missing = runProgram({"/nonexistent/program"});
    EXPECT_FALSE(missing.started);
    EXPECT_NE(missing.output.find("/nonexistent/program"), std::string::npos);
}

TEST(ProcessTest, RunStopsAProgramThatOverstays)
{
    const RunResult slow = runProgram({"sleep", "30"}, std::chrono::milliseconds(200));
    EXPECT_TRUE(slow.started);
    EXPECT_EQ(slow.exitCode, -1);
}

TEST(ProcessTest, PassesOnlyTheNamedDescriptorsAtTheirNumbers)
{
    int data[2];
    ASSERT_EQ(::pipe2(data, O_CLOEXEC), 0);
    int leak[2];
    ASSERT_EQ(::pipe(leak), 0); // not close-on-exec: must still not reach the child
    test::TempDir dir;
    const std::string out = (dir / "out").string();
    SpawnOptions options;
    options.passFds = {{data[0], 4}};
    const std::string probe = "if [ -e /proc/$$/fd/" + std::to_string(leak[0]) + " ]; then echo leaked; fi";
    const pid_t pid =
        spawnProcess({"sh", "-c", "cat <&4 > " + out + "; " + probe + " > " + out + ".fds"}, options);
    ASSERT_GT(pid, 0);
    ::close(data[0]);
    ASSERT_EQ(::write(data[1], "secret", 6), 6);
    ::close(data[1]);
    const auto status = waitForChild(pid, std::chrono::seconds(10));
    ASSERT_TRUE(status);
    EXPECT_EQ(WEXITSTATUS(*status), 0);
    EXPECT_EQ(test::readFile(out), "secret");
    EXPECT_EQ(test::readFile(out + ".fds"), "");
    ::close(leak[0]);
    ::close(leak[1]);
}

TEST(ProcessTest, FindsProgramsOnThePath)
{
    EXPECT_TRUE(findOnPath("sh"));
    EXPECT_FALSE(findOnPath("no-such-program-kestrava"));
    test::ScopedEnv path("PATH", "/nonexistent");
    EXPECT_FALSE(findOnPath("sh"));
}

} // namespace
} // namespace kestrava::host
