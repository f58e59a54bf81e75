// Several processes changing one settings file at once, and a process killed while saving.
#include "core/app/ActivityLog.h"
#include "core/settings/SettingsFile.h"
#include "support/TestSupport.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace kestrava::settings {
namespace {

using test::TempDir;

// Runs body in a child process; returns its pid. The child never returns into the test.
template <class Body> pid_t spawn(Body body)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        const bool ok = body();
        ::_exit(ok ? 0 : 1);
    }
    return pid;
}

int waitFor(pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

class SettingsConcurrencyTest : public ::testing::Test
{
protected:
    void SetUp() override { applog::configureLog({dir / "test.log", false}); }
    void TearDown() override { applog::configureLog({}); }

    TempDir dir;
    SettingsFile settings{dir / "kestrava_settings.xml"};
};

TEST_F(SettingsConcurrencyTest, ParallelProcessesLoseNoChange)
{
    constexpr int kProcesses = 4;
    constexpr int kRecordsEach = 30;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        children.push_back(spawn([&, p] {
            bool ok = true;
            for (int i = 0; i < kRecordsEach; ++i) {
                const std::string folder = "/p" + std::to_string(p) + "/r" + std::to_string(i);
                ok = settings.Adv_SaveDriveInfo({"L", folder, "E:", "PWD" + std::to_string(i), 0, ""}) && ok;
                // Every third record is removed again, one its password, and program values
                // change in between.
                if (i % 3 == 0) {
                    ok = settings.RemoveDriveInfo(folder, "E:") && ok;
                } else if (i % 3 == 1) {
                    ok = settings.RemoveDrivePwd(folder, "E:") && ok;
                } else {
                    ok = settings.setKestravaXmlValue("Process" + std::to_string(p), std::to_string(i)) && ok;
                }
            }
            return ok;
        }));
    }
    for (pid_t child : children) {
        const int status = waitFor(child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a change reported failure";
    }

    const auto records = settings.driveRecords();
    ASSERT_TRUE(records);
    std::set<std::string> folders;
    for (const DriveRecord& record : *records) {
        folders.insert(record.folder);
        const int i = std::stoi(record.folder.substr(record.folder.rfind('r') + 1));
        EXPECT_EQ(record.pwd, i % 3 == 1 ? "" : "PWD" + std::to_string(i)) << record.folder;
    }
    EXPECT_EQ(records->size(), folders.size()) << "no record twice";
    for (int p = 0; p < kProcesses; ++p) {
        for (int i = 0; i < kRecordsEach; ++i) {
            const std::string folder = "/p" + std::to_string(p) + "/r" + std::to_string(i);
            EXPECT_EQ(folders.count(folder), i % 3 == 0 ? 0u : 1u) << folder;
        }
        EXPECT_EQ(settings.getKestravaXmlValue("Process" + std::to_string(p)),
                  std::to_string(kRecordsEach - 1));
    }
    EXPECT_TRUE(settings.verifySettingsDigest());
}

TEST_F(SettingsConcurrencyTest, KilledWriterLeavesAParsableFile)
{
    ASSERT_TRUE(settings.setKestravaXmlValue("Language", "English"));
    for (int round = 0; round < 12; ++round) {
        const pid_t child = spawn([&] {
            for (int i = 0;; ++i) {
                const std::string folder = "/drive/" + std::to_string(i);
                settings.Adv_SaveDriveInfo({"Label", folder, "E:", std::string(88, 'P'), 1, "hint"});
                settings.setKestravaXmlValue("Counter", std::to_string(i));
                if (i % 2 == 0) {
                    settings.RemoveDriveInfo(folder, "E:");
                }
            }
            return true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + 13 * round));
        ::kill(child, SIGKILL);
        const int status = waitFor(child);
        ASSERT_TRUE(WIFSIGNALED(status));

        const LoadedSettings loaded = settings.load();
        ASSERT_EQ(loaded.status, LoadStatus::Loaded) << "round " << round << ": " << loaded.error;
        EXPECT_TRUE(settings.verifySettingsDigest()) << "round " << round;
        EXPECT_EQ(settings.getKestravaXmlValue("Language"), "English");
    }
    // The lock of the killed process died with it: the next change goes through at once, and
    // clears away the temporary files of saves that were cut short.
    EXPECT_TRUE(settings.setKestravaXmlValue("Language", "German"));
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().filename().string().find(".kestrava_settings.xml.tmp-"), std::string::npos)
            << entry.path();
    }
}

} // namespace
} // namespace kestrava::settings
