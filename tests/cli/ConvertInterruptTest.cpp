// kestrava-cli convert killed with SIGKILL at each of its steps: the old folder stays byte for
// byte as it was, and the drive record always points at a complete drive.
#include "core/fs/DriveFs.h"
#include "core/settings/SavedPasswords.h"
#include "core/settings/SettingsFile.h"
#include "core/token/DriveContext.h"
#include "support/TestSupport.h"

#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrava::cli {
namespace {

constexpr const char* kPassword = "secret12";

struct CliRun
{
    int status = -1;
    bool stopped = false; // the program said it stopped where asked and was killed there
    std::string err;
};

class ConvertInterrupt : public ::testing::Test
{
protected:
    test::TempDir dir;
    test::ScopedEnv home{"HOME", (dir / "home").string()};
    test::ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").string()};
    test::ScopedEnv state{"XDG_STATE_HOME", (dir / "state").string()};
    test::ScopedEnv runtime{"XDG_RUNTIME_DIR", (dir / "run").string()};
    std::filesystem::path settings = dir / "settings.xml";
    const std::map<std::string, std::string> files = {
        {"/a.txt", "alpha"}, {"/d/b.bin", std::string(9000, 'b')}, {"/d/e/c.txt", "gamma"}};

    void SetUp() override
    {
        std::filesystem::create_directories(dir / "run");
        ::chmod((dir / "run").c_str(), 0700);
    }

    // Runs kestrava-cli with the password on standard input; with stopAt, kills it with
    // SIGKILL as soon as it reports standing at that step.
    CliRun cli(std::vector<std::string> args, const std::string& stopAt = {})
    {
        args.insert(args.begin(), {KESTRAVA_CLI_PATH, "--config", settings.string()});
        int in[2];
        int err[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
            return {};
        }
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setsid();
            ::dup2(in[0], 0);
            ::dup2(err[1], 2);
            const int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, 1);
            if (!stopAt.empty()) {
                ::setenv("KESTRAVA_CONVERT_STOP_AT", stopAt.c_str(), 1);
            }
            std::vector<char*> argv;
            for (auto& a : args) {
                argv.push_back(a.data());
            }
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(err[1]);
        const std::string input = std::string(kPassword) + "\n" + kPassword + "\n";
        (void)!::write(in[1], input.data(), input.size());
        ::close(in[1]);
        CliRun run;
        const std::string marker = "convert: stopped at " + stopAt;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(180);
        pollfd fd{err[0], POLLIN, 0};
        while (std::chrono::steady_clock::now() < deadline && ::poll(&fd, 1, 1000) >= 0) {
            if (fd.revents == 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t n = ::read(err[0], buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            run.err.append(buffer, static_cast<std::size_t>(n));
            if (!stopAt.empty() && run.err.find(marker) != std::string::npos) {
                ::kill(pid, SIGKILL);
                run.stopped = true;
                break;
            }
        }
        if (!run.stopped && !stopAt.empty()) {
            ::kill(pid, SIGKILL); // never left behind, whatever happened
        }
        ::close(err[0]);
        ::waitpid(pid, &run.status, 0);
        return run;
    }

    std::string recordFolder() const
    {
        const auto records = settings::SettingsFile(settings).driveRecords();
        return records && records->size() == 1 ? records->front().folder : std::string();
    }

    // Whether folder holds a drive that opens with the password and has exactly our files.
    ::testing::AssertionResult completeDrive(const std::filesystem::path& folder)
    {
        token::DriveContext context(hashStr(kPassword));
        if (context.unlock(token::tokenPathFor(folder)) != token::TokenLoadStatus::Loaded) {
            return ::testing::AssertionFailure() << folder << " does not open";
        }
        context.setBackingFolder(folder);
        auto drive = fs::DriveFs::forDrive(context);
        for (const auto& [path, data] : files) {
            std::uint64_t h = 0;
            if (drive->open(path, O_RDONLY, &h) != 0) {
                return ::testing::AssertionFailure() << path << " is missing in " << folder;
            }
            std::string back(data.size() + 10, '\0');
            const ssize_t n = drive->read(h, back.data(), back.size(), 0);
            drive->release(h);
            if (n != static_cast<ssize_t>(data.size()) || back.substr(0, data.size()) != data) {
                return ::testing::AssertionFailure() << path << " differs in " << folder;
            }
        }
        return ::testing::AssertionSuccess();
    }

    void fill(const std::filesystem::path& folder)
    {
        token::DriveContext context(hashStr(kPassword));
        ASSERT_EQ(context.unlock(token::tokenPathFor(folder)), token::TokenLoadStatus::Loaded);
        context.setBackingFolder(folder);
        auto drive = fs::DriveFs::forDrive(context);
        ASSERT_EQ(drive->mkdir("/d", 0755), 0);
        ASSERT_EQ(drive->mkdir("/d/e", 0755), 0);
        for (const auto& [path, data] : files) {
            std::uint64_t h = 0;
            ASSERT_EQ(drive->create(path, 0644, O_RDWR, &h), 0);
            ASSERT_EQ(drive->write(h, data.data(), data.size(), 0), static_cast<ssize_t>(data.size()));
            drive->release(h);
        }
    }
};

TEST_F(ConvertInterrupt, KilledAtAnyStepLosesNothing)
{
    const std::filesystem::path old = dir / "old";
    CliRun made = cli({"create", old.string(), "--letter", "K:", "--no-mount", "--yes", "--password-stdin"});
    ASSERT_TRUE(WIFEXITED(made.status) && WEXITSTATUS(made.status) == 0) << made.err;
    fill(old);
    const auto before = test::folderContents(old);

    int n = 0;
    for (const std::string step : {"token-written", "copied", "verified", "token-placed", "record"}) {
        const std::filesystem::path target = dir / ("new" + std::to_string(n++));
        const CliRun run = cli(
            {"convert", "K:", "--to", "hardened", target.string(), "--replace", "--password-stdin"}, step);
        ASSERT_TRUE(run.stopped) << step << ": " << run.err;
        ASSERT_TRUE(WIFSIGNALED(run.status) && WTERMSIG(run.status) == SIGKILL) << step;
        EXPECT_EQ(test::folderContents(old), before) << step << ": the old folder changed";
        EXPECT_EQ(recordFolder(), old.string()) << step;
        EXPECT_TRUE(completeDrive(recordFolder())) << step;
        const bool placed = step == "token-placed" || step == "record";
        EXPECT_EQ(std::filesystem::exists(token::tokenPathFor(target)), placed)
            << step << ": a new folder is a drive only once it is complete";
        if (placed) {
            EXPECT_TRUE(completeDrive(target)) << step;
        }
    }

    const std::filesystem::path target = dir / "final";
    const CliRun run =
        cli({"convert", "K:", "--to", "hardened", target.string(), "--replace", "--password-stdin"});
    ASSERT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.err;
    EXPECT_EQ(recordFolder(), target.string());
    EXPECT_TRUE(completeDrive(target));
    EXPECT_EQ(test::folderContents(old), before);
}

} // namespace
} // namespace kestrava::cli
