// Starting and waiting for the helper programs the host runs (the serving process,
// fusermount3, pkexec). No shell is involved: arguments go to the program as they are.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace kestrava::host {

// The program's full path when it is an executable file in a folder of $PATH.
std::optional<std::filesystem::path> findOnPath(const std::string& program);

struct SpawnOptions
{
    // (fd in this process, fd number in the child); all other descriptors are not inherited.
    std::vector<std::pair<int, int>> passFds;
    bool stdinFromNull = true;
    bool newSession = false;
};

// Starts argv[0] (a path, or a name looked up on $PATH); -1 with errno set when that fails.
pid_t spawnProcess(const std::vector<std::string>& argv, const SpawnOptions& options);

// Waits for a child; its exit status (as waitpid reports it), or nullopt on timeout.
std::optional<int> waitForChild(pid_t pid, std::chrono::milliseconds timeout);

// Ends a child that did not finish: SIGTERM, then SIGKILL after a grace period; reaps it.
void stopChild(pid_t pid);

struct RunResult
{
    bool started = false;
    int exitCode = -1;  // -1 when killed by a signal or timed out
    std::string output; // standard output and error, for messages and the log
};

// Runs a program to completion, capturing its output.
RunResult runProgram(const std::vector<std::string>& argv,
                     std::chrono::milliseconds timeout = std::chrono::seconds(60));

std::string describeExitStatus(int status);

} // namespace kestrava::host
