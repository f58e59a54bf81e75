#include "core/host/ServeProtocol.h"

#include <gtest/gtest.h>

namespace kestrava::host {
namespace {

TEST(ServeProtocolTest, EveryOutcomeRoundTrips)
{
    EXPECT_EQ(parseStatusLine(formatReadyLine()).outcome, MountOutcome::Mounted);
    for (const MountOutcome outcome : {MountOutcome::DriverMissing, MountOutcome::LetterInUse,
                                       MountOutcome::InvalidPath, MountOutcome::Failed}) {
        const MountResult result = parseStatusLine(formatErrorLine(outcome, "why it failed"));
        EXPECT_EQ(result.outcome, outcome);
        EXPECT_EQ(result.detail, "why it failed");
    }
}

TEST(ServeProtocolTest, DetailStaysOneLineAndAnErrorNeverReadsAsMounted)
{
    const std::string line = formatErrorLine(MountOutcome::Mounted, "two\nlines");
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    const MountResult result = parseStatusLine(line);
    EXPECT_EQ(result.outcome, MountOutcome::Failed);
    EXPECT_EQ(result.detail, "two lines");
    EXPECT_EQ(parseStatusLine("error mounted sneaky\n").outcome, MountOutcome::Failed);
}

TEST(ServeProtocolTest, AnythingElseIsAFailure)
{
    EXPECT_EQ(parseStatusLine("").outcome, MountOutcome::Failed);
    EXPECT_EQ(parseStatusLine("readyish\n").outcome, MountOutcome::Failed);
    EXPECT_EQ(parseStatusLine("error nonsense text").outcome, MountOutcome::Failed);
    EXPECT_EQ(parseStatusLine("error nonsense text").detail, "text");
    EXPECT_EQ(parseStatusLine("ready\r\n").outcome, MountOutcome::Mounted);
}

} // namespace
} // namespace kestrava::host
