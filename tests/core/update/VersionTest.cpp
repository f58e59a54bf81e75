#include "core/update/Version.h"

#include "core/update/StartTimers.h"

#include <gtest/gtest.h>

namespace kestrava::update {
namespace {

TEST(VersionCompare, PiecesCompareAsNumbersWithMissingPiecesZero)
{
    EXPECT_EQ(compareVersions("1.2.10.0", "1.2.9.0"), 1);
    EXPECT_EQ(compareVersions("1.2.9.0", "1.2.10.0"), -1);
    EXPECT_EQ(compareVersions("1.3", "1.2.9.0"), 1);
    EXPECT_EQ(compareVersions("1.2", "1.2.0.0"), 0);
    EXPECT_EQ(compareVersions("2", "1.99.99.99"), 1);
    EXPECT_EQ(compareVersions("01.002", "1.2"), 0);
    // Empty pieces are skipped rather than read as 0.
    EXPECT_EQ(compareVersions("1..2", "1.2"), 0);
    EXPECT_EQ(compareVersions(".1.2.", "1.2"), 0);
    // Pieces longer than any integer type still compare exactly.
    EXPECT_EQ(compareVersions("1.99999999999999999999999", "1.99999999999999999999998"), 1);
    EXPECT_EQ(compareVersions("1.0000000000000000000000009", "1.9"), 0);
}

TEST(VersionCompare, TextsThatAreNotVersionsAreErrors)
{
    EXPECT_EQ(compareVersions("1.2.3.4.5", "1.0"), kCandidateUnparsable);
    EXPECT_EQ(compareVersions("1.2a", "1.0"), kCandidateUnparsable);
    EXPECT_EQ(compareVersions("1.3\n", "1.0"), kCandidateUnparsable);
    EXPECT_EQ(compareVersions("1.3\r\n", "1.0"), kCandidateUnparsable);
    EXPECT_EQ(compareVersions(" 1.3", "1.0"), kCandidateUnparsable);
    EXPECT_EQ(compareVersions("-1", "1.0"), kCandidateUnparsable);
    EXPECT_EQ(compareVersions("1.0", "v1.0"), kReferenceUnparsable);
    EXPECT_EQ(compareVersions("1.0", "1.0.0.0.0"), kReferenceUnparsable);
    // The candidate is read first.
    EXPECT_EQ(compareVersions("x", "y"), kCandidateUnparsable);
    // Five pieces of which one is empty are four.
    EXPECT_EQ(compareVersions("1.2..3.4", "1.2.3.4"), 0);
}

TEST(VersionText, BuildVersionBecomesTheShownText)
{
    EXPECT_EQ(versionTextFromBuild("1.2.9.0"), "1.2.9.0");
    EXPECT_EQ(versionTextFromBuild("1.2.0.0"), "1.2");
    EXPECT_EQ(versionTextFromBuild("1.0.0.1"), "1.0.0.1");
    EXPECT_EQ(versionTextFromBuild("3.1"), "3.1");
    EXPECT_EQ(versionTextFromBuild("0.0.0.0"), "");
    EXPECT_EQ(versionTextFromBuild("65536.0.0.0"), "");
    EXPECT_EQ(versionTextFromBuild("1.2.3.4.5"), "");
    EXPECT_EQ(versionTextFromBuild("1..3"), "");
    EXPECT_EQ(versionTextFromBuild(""), "");
    // The program's own text is a version that compares equal to itself.
    EXPECT_FALSE(ownVersionText().empty());
    EXPECT_EQ(compareVersions(ownVersionText(), ownVersionText()), 0);
}

TEST(StartTimers, RunOnceAtOneSecondThenTheUpdateCheckAtTwo)
{
    const StartTimers::Clock::time_point start{std::chrono::seconds(1000)};
    StartTimers timers(start, true);
    EXPECT_EQ(timers.untilNext(start), std::chrono::milliseconds(1000));
    EXPECT_TRUE(timers.takeDue(start + std::chrono::milliseconds(999)).empty());
    EXPECT_EQ(timers.takeDue(start + std::chrono::milliseconds(1000)), std::vector{StartTask::RunOnce});
    // Handed out once only.
    EXPECT_TRUE(timers.takeDue(start + std::chrono::milliseconds(1500)).empty());
    EXPECT_EQ(timers.untilNext(start + std::chrono::milliseconds(1500)), std::chrono::milliseconds(500));
    EXPECT_EQ(timers.takeDue(start + std::chrono::seconds(2)), std::vector{StartTask::AutoUpdateCheck});
    EXPECT_FALSE(timers.untilNext(start + std::chrono::seconds(3)).has_value());

    // A late wake-up hands out both, in order; without "/runonce" only the check comes.
    StartTimers late(start, true);
    EXPECT_EQ(late.untilNext(start + std::chrono::seconds(5)), std::chrono::milliseconds(0));
    EXPECT_EQ(late.takeDue(start + std::chrono::seconds(5)),
              (std::vector{StartTask::RunOnce, StartTask::AutoUpdateCheck}));
    StartTimers plain(start, false);
    EXPECT_TRUE(plain.takeDue(start + std::chrono::milliseconds(1999)).empty());
    EXPECT_EQ(plain.takeDue(start + std::chrono::seconds(2)), std::vector{StartTask::AutoUpdateCheck});
}

} // namespace
} // namespace kestrava::update
