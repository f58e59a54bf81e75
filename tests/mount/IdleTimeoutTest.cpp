// A drive mounted with --idle-timeout lets itself go once nobody used it for that long, but
// stays while a program holds it. The minute is shortened to two seconds for the test.
#include "MountFixture.h"

#include <chrono>
#include <thread>

namespace kestrava::mount::test {
namespace {

using IdleTimeoutTest = MountFixture;

template <class Predicate> bool eventually(Predicate done, std::chrono::seconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

TEST_F(IdleTimeoutTest, UnusedDriveIsUnmountedButAHeldOneStays)
{
    createDrive(false);
    kestrava::test::ScopedEnv minute("KESTRAVA_IDLE_MINUTE_SECONDS", "2");
    const Shell mounted = cli("--password-stdin mount K: --idle-timeout 1", std::string(kPassword) + "\n");
    ASSERT_EQ(mounted.exitCode, 0) << mounted.output;
    ASSERT_TRUE(isMounted());

    // A program working in the drive keeps it: several idle periods pass and it stays.
    const Shell holder = sh("cd \"$M\" && (sleep 60 > /dev/null 2>&1 & echo $!)");
    ASSERT_EQ(holder.exitCode, 0);
    const std::string pid = holder.output.substr(0, holder.output.find('\n'));
    // The serving process (a portable kestrava-cli) logs beside its executable; its attempt to let
    // go of the busy drive names the holder.
    const auto log = std::filesystem::path(KESTRAVA_CLI).parent_path() / "kestrava.log";
    const std::string named = "sleep (" + pid + ")";
    EXPECT_TRUE(eventually(
        [&] {
            std::error_code ec;
            return std::filesystem::exists(log, ec) &&
                   kestrava::test::readFile(log).find(named) != std::string::npos;
        },
        std::chrono::seconds(60)))
        << "no log line naming " << named << " in " << log;
    EXPECT_TRUE(isMounted());

    sh("kill " + pid);
    EXPECT_TRUE(eventually([&] { return !isMounted(); }, std::chrono::seconds(60)));
    EXPECT_TRUE(eventually([&] { return serverPids().empty(); }, std::chrono::seconds(30)));
}

} // namespace
} // namespace kestrava::mount::test
