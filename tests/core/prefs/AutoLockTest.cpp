#include "core/prefs/AutoLock.h"

#include "FakeDriveHost.h"
#include "core/settings/SettingsFile.h"
#include "core/settings/SettingsProgramValues.h"
#include "support/ScriptedPrompter.h"
#include "support/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace kestrava::prefs {
namespace {

using namespace std::chrono_literals;

struct ManualClock
{
    std::atomic<std::chrono::steady_clock::rep> now{1'000'000};
    IdleTimer::Clock clock()
    {
        return [this] {
            return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(now.load()));
        };
    }
    void advance(std::chrono::steady_clock::duration by) { now += by.count(); }
};

TEST(AutoLockTest, SettingsAreExtraValuesThatStayAbsentWhenOff)
{
    test::TempDir dir;
    const std::string original = "<?xml version=\"1.0\"?>\n<Kestrava>\n\t<drives />\n</Kestrava>\n";
    test::writeFile(dir / "s.xml", original);
    settings::SettingsFile file(dir / "s.xml");
    settings::SettingsProgramValues values(file);
    EXPECT_EQ(loadAutoLock(values), AutoLockSettings{});

    const AutoLockSettings chosen{true, true, 15, true};
    ASSERT_TRUE(saveAutoLock(values, chosen));
    EXPECT_EQ(loadAutoLock(values), chosen);
    EXPECT_EQ(file.getKestravaXmlValue(kAutoLockIdleValue), "15");
    // The drive list is untouched by the extra values.
    ASSERT_TRUE(file.driveRecords().has_value());

    ASSERT_TRUE(saveAutoLock(values, {}));
    EXPECT_EQ(loadAutoLock(values), AutoLockSettings{});
    EXPECT_FALSE(values.has(kAutoLockScreenValue));
    EXPECT_FALSE(values.has(kAutoLockIdleValue));
}

TEST(AutoLockTest, IdleMinutesAreBoundedWholeNumbers)
{
    EXPECT_EQ(parseIdleMinutes("0"), 0u);
    EXPECT_EQ(parseIdleMinutes("1440"), 1440u);
    EXPECT_FALSE(parseIdleMinutes("1441"));
    EXPECT_FALSE(parseIdleMinutes("-5"));
    EXPECT_FALSE(parseIdleMinutes("5m"));
    EXPECT_FALSE(parseIdleMinutes(""));
}

TEST(AutoLockTest, IdleTimerCountsFromTheLastRequest)
{
    ManualClock clock;
    IdleTimer timer(10min, clock.clock());
    EXPECT_FALSE(timer.expired());
    clock.advance(9min);
    EXPECT_FALSE(timer.expired());
    timer.touch();
    clock.advance(9min);
    EXPECT_FALSE(timer.expired());
    clock.advance(1min);
    EXPECT_TRUE(timer.expired());
    EXPECT_EQ(timer.idleFor(), std::chrono::steady_clock::duration(10min));

    IdleTimer never(0min, clock.clock());
    clock.advance(1000h);
    EXPECT_FALSE(never.expired());
}

TEST(AutoLockTest, IdleWatchActsOnceExpiredAndStartsAgainWhenTheDriveIsBusy)
{
    ManualClock clock;
    IdleTimer timer(5min, clock.clock());
    std::mutex mutex;
    std::condition_variable called;
    int calls = 0;
    bool answer = false;
    IdleWatch watch(timer, 1ms, [&] {
        std::lock_guard lock(mutex);
        ++calls;
        called.notify_all();
        return answer;
    });
    clock.advance(5min);
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(called.wait_for(lock, 30s, [&] { return calls >= 1; }));
        // Busy: the count started again, so nothing more happens until five more minutes pass.
        answer = true;
    }
    // The watch starts the count again right after the busy answer.
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (timer.expired() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    ASSERT_FALSE(timer.expired());
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(calls, 1);
    }
    clock.advance(5min);
    std::unique_lock lock(mutex);
    ASSERT_TRUE(called.wait_for(lock, 30s, [&] { return calls >= 2; }));
}

TEST(AutoLockTest, ProgramsHoldingAFolderAreNamed)
{
    test::TempDir dir;
    std::filesystem::create_directories(dir / "drive" / "sub");
    std::filesystem::create_directories(dir / "drive2");
    test::writeFile(dir / "drive" / "sub" / "f", "x");
    const int fd = ::open((dir / "drive" / "sub" / "f").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    const std::string me = std::to_string(::getpid()) + ")";
    const auto holding = programsUsing(dir / "drive");
    const auto others = programsUsing(dir / "drive2");
    ::close(fd);
    EXPECT_TRUE(std::any_of(holding.begin(), holding.end(),
                            [&](const std::string& p) { return p.ends_with("(" + me); }));
    EXPECT_FALSE(std::any_of(others.begin(), others.end(),
                             [&](const std::string& p) { return p.ends_with("(" + me); }));
    // A sibling whose name merely starts like the folder is not inside it.
    EXPECT_TRUE(programsUsing(dir / "dri").empty());
}

TEST(AutoLockTest, LockUnmountsEveryDriveAndNamesWhatHoldsABusyOne)
{
    test::TempDir dir;
    test::FakeDriveHost host(dir / "mnt");
    host.mountedElsewhere("E:", dir / "e");
    host.mountedElsewhere("K:", dir / "k");
    host.refuseUnmount.insert("K:");
    test::ScriptedPrompter prompter;
    std::vector<std::string> forgotten;
    const LockReport report = lockAllDrives(host, false, LockReason::ScreenLocked, &prompter,
                                            [&](const std::string& l) { forgotten.push_back(l); });
    EXPECT_EQ(report.unmounted, std::vector<std::string>{"E:"});
    ASSERT_EQ(report.busy.size(), 1u);
    EXPECT_EQ(report.busy[0].first, "K:");
    EXPECT_EQ(forgotten, std::vector<std::string>{"E:"});
    EXPECT_EQ(prompter.messageIds(), std::vector<int>{kMsgDriveBusy});
    EXPECT_EQ(host.mounts.count("K:"), 1u);

    // With detaching chosen, the busy drive goes too and nobody is asked.
    test::ScriptedPrompter quiet;
    const LockReport detached = lockAllDrives(host, true, LockReason::Sleep, &quiet);
    EXPECT_EQ(detached.unmounted, std::vector<std::string>{"K:"});
    EXPECT_TRUE(detached.busy.empty());
    EXPECT_TRUE(host.mounts.empty());
    EXPECT_TRUE(quiet.messageIds().empty());
    EXPECT_EQ(host.calls.back(), "detach K:");
}

} // namespace
} // namespace kestrava::prefs
