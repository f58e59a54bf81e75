#include "core/host/Process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace kestrava::host {
namespace {

using Clock = std::chrono::steady_clock;

class SpawnActions
{
public:
    SpawnActions() { ::posix_spawn_file_actions_init(&m_actions); }
    ~SpawnActions() { ::posix_spawn_file_actions_destroy(&m_actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions{};
};

class SpawnAttributes
{
public:
    SpawnAttributes() { ::posix_spawnattr_init(&m_attr); }
    ~SpawnAttributes() { ::posix_spawnattr_destroy(&m_attr); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    posix_spawnattr_t* get() { return &m_attr; }

private:
    posix_spawnattr_t m_attr{};
};

} // namespace

std::optional<std::filesystem::path> findOnPath(const std::string& program)
{
    const char* path = std::getenv("PATH");
    std::string_view rest = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const std::size_t colon = rest.find(':');
        const std::string_view dir = rest.substr(0, colon);
        if (!dir.empty()) {
            const std::filesystem::path candidate = std::filesystem::path(dir) / program;
            struct stat st
            {
            };
            if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                ::access(candidate.c_str(), X_OK) == 0) {
                return candidate;
            }
        }
        if (colon == std::string_view::npos) {
            return std::nullopt;
        }
        rest = rest.substr(colon + 1);
    }
}

pid_t spawnProcess(const std::vector<std::string>& argv, const SpawnOptions& options)
{
    if (argv.empty()) {
        errno = EINVAL;
        return -1;
    }
    SpawnActions actions;
    if (options.stdinFromNull) {
        ::posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
    }
    // Move each passed descriptor out of the way first, so that one target number cannot
    // overwrite another source before it was copied.
    constexpr int kScratch = 200;
    for (std::size_t i = 0; i < options.passFds.size(); ++i) {
        ::posix_spawn_file_actions_adddup2(actions.get(), options.passFds[i].first,
                                           kScratch + static_cast<int>(i));
    }
    for (std::size_t i = 0; i < options.passFds.size(); ++i) {
        ::posix_spawn_file_actions_adddup2(actions.get(), kScratch + static_cast<int>(i),
                                           options.passFds[i].second);
        ::posix_spawn_file_actions_addclose(actions.get(), kScratch + static_cast<int>(i));
    }
    // Nothing else of ours leaks into the child (the desktop app has sockets and files open).
    int highest = 2;
    for (const auto& [from, to] : options.passFds) {
        highest = std::max(highest, to);
    }
    ::posix_spawn_file_actions_addclosefrom_np(actions.get(), highest + 1);
    SpawnAttributes attributes;
    if (options.newSession) {
        ::posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETSID);
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = -1;
    const int rc =
        argv[0].find('/') != std::string::npos
            ? ::posix_spawn(&pid, argv[0].c_str(), actions.get(), attributes.get(), args.data(), environ)
            : ::posix_spawnp(&pid, argv[0].c_str(), actions.get(), attributes.get(), args.data(), environ);
    if (rc != 0) {
        errno = rc;
        return -1;
    }
    return pid;
}

std::optional<int> waitForChild(pid_t pid, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    auto pause = std::chrono::milliseconds(1);
    while (true) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return status;
        }
        if (done < 0 && errno != EINTR) {
            return 0; // not our child (any more): nothing left to wait for
        }
        if (Clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

void stopChild(pid_t pid)
{
    ::kill(pid, SIGTERM);
    if (!waitForChild(pid, std::chrono::seconds(5))) {
        ::kill(pid, SIGKILL);
        waitForChild(pid, std::chrono::seconds(5));
    }
}

RunResult runProgram(const std::vector<std::string>& argv, std::chrono::milliseconds timeout)
{
    RunResult result;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        result.output = std::strerror(errno);
        return result;
    }
    SpawnOptions options;
    options.passFds = {{fds[1], 1}, {fds[1], 2}};
    const pid_t pid = spawnProcess(argv, options);
    const int spawnError = errno;
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        result.output = argv[0] + ": " + std::strerror(spawnError);
        return result;
    }
    result.started = true;
    const auto deadline = Clock::now() + timeout;
    char buffer[4096];
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd pfd{fds[0], POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            break;
        }
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        if (result.output.size() < 64 * 1024) {
            result.output.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fds[0]);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    const auto status = waitForChild(pid, std::max(left, std::chrono::milliseconds(100)));
    if (!status) {
        stopChild(pid);
        result.output += "\n(timed out)";
        return result;
    }
    result.exitCode = WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
    while (!result.output.empty() && (result.output.back() == '\n' || result.output.back() == ' ')) {
        result.output.pop_back();
    }
    return result;
}

std::string describeExitStatus(int status)
{
    if (WIFEXITED(status)) {
        return "exited with status " + std::to_string(WEXITSTATUS(status));
    }
    if (WIFSIGNALED(status)) {
        return std::string("killed by signal ") + ::strsignal(WTERMSIG(status));
    }
    return "ended (status " + std::to_string(status) + ")";
}

} // namespace kestrava::host
