#include "core/app/ActivityLog.h"

#include "core/settings/Paths.h"
#include "support/TestSupport.h"

#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <thread>

namespace kestrava::applog {
namespace {

class ActivityLogTest : public ::testing::Test
{
protected:
    test::TempDir dir;
    std::filesystem::path log = dir / "kestrava.log";

    void SetUp() override { configureLog({log, false}); }
    void TearDown() override { configureLog({}); }

    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        std::istringstream in(test::readFile(log));
        for (std::string line; std::getline(in, line);) {
            out.push_back(line);
        }
        return out;
    }
};

TEST_F(ActivityLogTest, LineLayoutIsMonthDayYearThenTimeWithMilliseconds)
{
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 7;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_sec = 3;
    EXPECT_EQ(formatLogLine(t, 7, "ReadDriveInfo Item: x"),
              "03:07:2026 09:05:03:007 \tReadDriveInfo Item: x\r\n");
}

TEST_F(ActivityLogTest, WritesFormattedLinesInUtf8AndCutsAt255Characters)
{
    ASSERT_TRUE(
        writeLog("ReadDriveInfo Item: letter(%s), label(%s), folder(%s)", "K:", "Kestrava", "/home/한국어"));
    const std::string longMessage(300, 'x');
    ASSERT_TRUE(writeLogMessage(longMessage));
    std::string korean;
    for (int i = 0; i < 300; ++i) {
        korean += "한";
    }
    ASSERT_TRUE(writeLogMessage(korean));

    const auto all = lines();
    ASSERT_EQ(all.size(), 3u);
    const std::regex stamp("^[0-9]{2}:[0-9]{2}:[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}:[0-9]{3} \t(.*)\r$");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(all[0], m, stamp)) << all[0];
    EXPECT_EQ(m[1], "ReadDriveInfo Item: letter(K:), label(Kestrava), folder(/home/한국어)");
    ASSERT_TRUE(std::regex_match(all[1], m, stamp));
    EXPECT_EQ(m[1].str(), std::string(255, 'x'));
    ASSERT_TRUE(std::regex_match(all[2], m, stamp));
    EXPECT_EQ(m[1].str().size(), 255u * 3) << "cut at 255 characters, never inside one";
}

TEST_F(ActivityLogTest, RotatesOnlyAboveTenMebibytes)
{
    {
        std::ofstream out(log, std::ios::binary);
        out << std::string(kRotateAboveBytes, 'a');
    }
    ASSERT_TRUE(writeLogMessage("first"));
    EXPECT_FALSE(std::filesystem::exists(dir / "kestrava-old.log")) << "exactly 10,485,760 bytes stays";
    const auto grown = std::filesystem::file_size(log);
    EXPECT_GT(grown, kRotateAboveBytes);

    ASSERT_TRUE(writeLogMessage("second"));
    ASSERT_TRUE(std::filesystem::exists(dir / "kestrava-old.log"));
    EXPECT_EQ(std::filesystem::file_size(dir / "kestrava-old.log"), grown);
    const auto fresh = lines();
    ASSERT_EQ(fresh.size(), 1u);
    EXPECT_NE(fresh[0].find("\tsecond"), std::string::npos);
    EXPECT_EQ(rotatedLogPath("/x/kestrava.log"), "/x/kestrava-old.log");
}

TEST_F(ActivityLogTest, ConcurrentWritersNeverInterleaveLines)
{
    constexpr int kThreads = 8;
    constexpr int kLines = 250;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                writeLog("worker %d line %d %s", t, i, std::string(100, static_cast<char>('a' + t)).c_str());
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    const auto all = lines();
    ASSERT_EQ(all.size(), static_cast<std::size_t>(kThreads * kLines));
    const std::regex line("^.{23} \tworker ([0-9]) line [0-9]+ ([a-h])\\2{99}\r$");
    for (const auto& l : all) {
        EXPECT_TRUE(std::regex_match(l, line)) << l;
    }
}

TEST_F(ActivityLogTest, UnwritableLogReportsFalse)
{
    configureLog({dir / "missing-parent-is-a-file" / "x.log", false});
    test::writeFile(dir / "missing-parent-is-a-file", "");
    EXPECT_FALSE(writeLogMessage("lost"));
}

TEST(LogPathTest, InstalledOnlyUnderUsrOrOpt)
{
    EXPECT_TRUE(paths::isInstalledLocation("/usr/bin/kestrava-cli"));
    EXPECT_TRUE(paths::isInstalledLocation("/opt/kestrava/kestrava"));
    EXPECT_FALSE(paths::isInstalledLocation("/usr2/bin/kestrava"));
    EXPECT_FALSE(paths::isInstalledLocation("/home/me/apps/kestrava"));
    EXPECT_FALSE(paths::isInstalledLocation("/usr/../home/me/kestrava"));
    // This test binary lies in the build tree: a portable copy logs beside itself.
    EXPECT_EQ(paths::logFilePath(), paths::executablePath().parent_path() / "kestrava.log");
}

} // namespace
} // namespace kestrava::applog
