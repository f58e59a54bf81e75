// What happens to a drive when things go wrong: killed and signalled serving processes, a
// backing folder that disappears, two mounts racing, and mounts that fail.
#include "MountFixture.h"
#include "core/host/RuntimeState.h"
#include "core/host/SystemHost.h"
#include "core/settings/SavedPasswords.h"
#include "core/token/DriveContext.h"

#include <atomic>
#include <csignal>
#include <set>
#include <thread>

namespace kestrava::mount::test {
namespace {

using ReliabilityTest = MountFixture;

std::string pw()
{
    return std::string(kPassword) + "\n";
}

template <class Predicate> bool eventually(Predicate done, int milliseconds = 10000)
{
    for (int waited = 0; waited < milliseconds; waited += 20) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

TEST_F(ReliabilityTest, KilledServerLeavesAMountPointTheNextMountCanUse)
{
    createDrive();
    ASSERT_EQ(sh("echo survived > \"$M/note.txt\"").exitCode, 0);
    const std::string tokenBefore = kestrava::test::readFile(back() / ".qxsession.xml");
    const auto pids = serverPids();
    ASSERT_EQ(pids.size(), 1u);
    ::kill(pids[0], SIGKILL);
    ASSERT_TRUE(eventually([&] { return !processAlive(pids[0]); }));
    EXPECT_NE(sh("ls \"$M\"").exitCode, 0); // the stale mount: "Transport endpoint is not connected"
    const auto host = host::makeSystemHost(mnt().parent_path(), KESTRAVA_CLI);
    const auto drives = host->mountedDrives();
    ASSERT_EQ(drives.size(), 1u);
    EXPECT_TRUE(drives[0].stale);
    EXPECT_FALSE(host->isLetterInUse("K:")); // reusable: the next mount clears it away

    const Shell listed = cli("list");
    EXPECT_EQ(listed.exitCode, 0) << listed.output;
    const Shell mounted = cli("--password-stdin mount K:", pw());
    ASSERT_EQ(mounted.exitCode, 0) << mounted.output;
    EXPECT_EQ(sh("cat \"$M/note.txt\"").output, "survived");
    EXPECT_EQ(kestrava::test::readFile(back() / ".qxsession.xml"), tokenBefore);
    EXPECT_NE(listed.output.find("Test Drive"), std::string::npos) << listed.output; // settings intact
    EXPECT_EQ(cli("unmount K:").exitCode, 0);
}

TEST_F(ReliabilityTest, SignalsAndOutsideUnmountsEndTheServerCleanly)
{
    createDrive(false);
    for (const int signal : {SIGTERM, SIGINT, 0}) {
        const Shell mounted = cli("--password-stdin mount K:", pw());
        ASSERT_EQ(mounted.exitCode, 0) << mounted.output;
        const auto pids = serverPids();
        ASSERT_EQ(pids.size(), 1u);
        if (signal != 0) {
            ::kill(pids[0], signal);
        } else {
            ASSERT_EQ(sh("fusermount3 -u \"$M\"").exitCode, 0);
        }
        EXPECT_TRUE(eventually([&] { return !processAlive(pids[0]); })) << "signal " << signal;
        EXPECT_FALSE(isMounted()) << "signal " << signal;
        // The mount point made for the drive is gone, and so is the server's state.
        EXPECT_FALSE(std::filesystem::exists(mnt())) << "signal " << signal;
        const auto runtime = host::runtimeFolder();
        ASSERT_TRUE(runtime);
        EXPECT_FALSE(std::filesystem::exists(host::stateFileFor(*runtime, mnt())));
    }
}

TEST_F(ReliabilityTest, BackingFolderRemovedWhileMountedGivesErrorsNotCrashes)
{
    createDrive();
    ASSERT_EQ(sh("mkdir \"$M/d\" && echo x > \"$M/d/f\"").exitCode, 0);
    const auto pids = serverPids();
    ASSERT_EQ(pids.size(), 1u);
    std::filesystem::rename(back(), dir() / "moved-away");
    std::filesystem::remove_all(dir() / "moved-away");
    std::this_thread::sleep_for(std::chrono::milliseconds(1200)); // past the attribute cache
    EXPECT_NE(sh("cat \"$M/d/f\"").exitCode, 0);
    EXPECT_NE(sh("echo y > \"$M/new\"").exitCode, 0);
    EXPECT_NE(sh("mkdir \"$M/e\"").exitCode, 0);
    sh("ls -la \"$M\"");
    EXPECT_TRUE(processAlive(pids[0]));
    const Shell listed = cli("list");
    EXPECT_NE(listed.output.find("Error!"), std::string::npos) << listed.output;
    // The drive is still mounted, and the CLI unmounts it although its row reads "Error!".
    EXPECT_TRUE(isMounted());
    const Shell unmounted = cli("unmount K:");
    EXPECT_EQ(unmounted.exitCode, 0) << unmounted.output;
    EXPECT_FALSE(isMounted());
    EXPECT_TRUE(eventually([&] { return !processAlive(pids[0]); }));
}

TEST_F(ReliabilityTest, TwoMountsOfOneDriveAtOnceMountItOnce)
{
    createDrive(false);
    const Shell race = sh("printf '%s' '" + pw() +
                          "' | $K --password-stdin mount K: > \"$T/one\" 2>&1 & a=$!\n"
                          "printf '%s' '" +
                          pw() +
                          "' | $K --password-stdin mount K: > \"$T/two\" 2>&1 & b=$!\n"
                          "ra=0; rb=0; wait $a || ra=$?; wait $b || rb=$?\n"
                          "echo \"$ra $rb\"; cat \"$T/one\" \"$T/two\"");
    ASSERT_EQ(race.exitCode, 0) << race.output;
    const bool oneEach = race.output.rfind("0 1", 0) == 0 || race.output.rfind("1 0", 0) == 0;
    EXPECT_TRUE(oneEach) << race.output;
    EXPECT_TRUE(isMounted());
    EXPECT_TRUE(eventually([&] { return serverPids().size() == 1u; })) << serverPids().size();
    EXPECT_EQ(cli("unmount K:").exitCode, 0);
}

TEST_F(ReliabilityTest, TwoHostsMountingOneLetterAtOnceGetOneMountAndOneLetterInUse)
{
    createDrive(false);
    token::DriveContext context(hashStr(kPassword));
    ASSERT_EQ(context.unlock(token::tokenPathFor(back())), token::TokenLoadStatus::Loaded);
    context.setBackingFolder(back());
    context.setDriveLetter("K:");
    context.setLabel("Test Drive");
    const auto first = host::makeSystemHost(mnt().parent_path(), KESTRAVA_CLI);
    const auto second = host::makeSystemHost(mnt().parent_path(), KESTRAVA_CLI);
    host::MountResult a;
    host::MountResult b;
    std::thread one([&] { a = first->InstallFileSystem(context, {}); });
    std::thread two([&] { b = second->InstallFileSystem(context, {}); });
    one.join();
    two.join();
    const std::multiset<host::MountOutcome> outcomes{a.outcome, b.outcome};
    EXPECT_EQ(outcomes, (std::multiset{host::MountOutcome::Mounted, host::MountOutcome::LetterInUse}))
        << a.detail << " / " << b.detail;
    EXPECT_TRUE(eventually([&] { return serverPids().size() == 1u; })) << serverPids().size();
    const auto drives = first->mountedDrives();
    ASSERT_EQ(drives.size(), 1u);
    EXPECT_EQ(drives[0].letter, "K:");
    EXPECT_EQ(drives[0].backingFolder, back());
    EXPECT_EQ(drives[0].label, "Test Drive");
    EXPECT_FALSE(drives[0].stale);
    EXPECT_TRUE(second->isLetterInUse("K:"));
    EXPECT_TRUE(second->UnmountFileSystem("K:"));
    EXPECT_FALSE(isMounted());
    EXPECT_TRUE(serversEnded());
    EXPECT_FALSE(first->UnmountFileSystem("K:"));
}

TEST_F(ReliabilityTest, ForegroundMountIsWaitedForUntilUnmountedFromOutside)
{
    createDrive(false);
    token::DriveContext context(hashStr(kPassword));
    ASSERT_EQ(context.unlock(token::tokenPathFor(back())), token::TokenLoadStatus::Loaded);
    context.setBackingFolder(back());
    context.setDriveLetter("K:");
    context.setLabel("Shared");
    const auto host = host::makeSystemHost(mnt().parent_path(), KESTRAVA_CLI);
    host::MountOptions options;
    options.foreground = true;
    options.allowOther = true;
    ASSERT_EQ(host->InstallFileSystem(context, options).outcome, host::MountOutcome::Mounted);
    EXPECT_NE(sh("grep ' fuse.kestrava kestrava:Shared ' /proc/self/mountinfo").output.find("allow_other"),
              std::string::npos);
    const auto pids = serverPids();
    ASSERT_EQ(pids.size(), 1u);
    std::atomic<bool> returned{false};
    std::thread waiter([&] {
        host->waitUntilUnmounted("K:");
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(returned.load());
    ASSERT_EQ(sh("fusermount3 -u \"$M\"").exitCode, 0);
    waiter.join();
    EXPECT_TRUE(returned.load());
    EXPECT_FALSE(processAlive(pids[0])); // reaped, not left a zombie
    EXPECT_FALSE(isMounted());
}

TEST_F(ReliabilityTest, FailedMountsLeaveNothingBehind)
{
    createDrive(false);
    // Wrong password: nothing mounted, no process, no mount point made.
    const Shell wrong = cli("--password-stdin mount K:", "Wrong-password-1\n");
    EXPECT_NE(wrong.exitCode, 0);
    EXPECT_FALSE(isMounted());
    EXPECT_FALSE(std::filesystem::exists(mnt()));
    EXPECT_TRUE(serversEnded());

    // Letter in use: a folder with something in it stays as it was.
    std::filesystem::create_directories(mnt());
    kestrava::test::writeFile(mnt() / "mine.txt", "mine");
    const Shell busy = cli("--password-stdin mount K:", pw());
    EXPECT_NE(busy.exitCode, 0) << busy.output;
    EXPECT_FALSE(isMounted());
    EXPECT_EQ(kestrava::test::readFile(mnt() / "mine.txt"), "mine");
    EXPECT_TRUE(serversEnded());
    std::filesystem::remove_all(mnt());

    // FUSE missing (fusermount3 not on the PATH).
    const Shell noFuse =
        sh("printf '%s' '" + pw() + "' | PATH=/nonexistent $K --password-stdin --yes mount K:");
    EXPECT_NE(noFuse.exitCode, 0) << noFuse.output;
    EXPECT_FALSE(isMounted());
    EXPECT_FALSE(std::filesystem::exists(mnt()));
    EXPECT_TRUE(serversEnded());
}

} // namespace
} // namespace kestrava::mount::test
