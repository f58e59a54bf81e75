// A private world for end-to-end drive tests: its own HOME, settings file, mount root and
// runtime folder, and kestrava-cli run as a separate program the way a user runs it. Every
// drive still mounted at the end is unmounted, and no serving process may outlive a test.
#pragma once

#include "support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace kestrava::mount::test {

inline constexpr const char* kPassword = "Correct-Horse-9";

struct Shell
{
    int exitCode = -1;
    std::string output;
};

class MountFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs a shell command line in the test's world ($K is kestrava-cli with this world's
    // settings file and mount root, $M the mount point of K:, $B the backing folder).
    Shell sh(const std::string& script, int timeoutSeconds = 120);
    // kestrava-cli with arguments, the given lines on standard input.
    Shell cli(const std::string& arguments, const std::string& input = "");

    // Creates drive K: over the backing folder (mounted unless told otherwise), with any
    // further create options.
    void createDrive(bool mount = true, const std::string& options = "");
    bool isMounted() const;
    std::vector<pid_t> serverPids() const;
    // Whether every serving process of this drive has ended within a generous deadline: a process
    // finishes its own exit after the unmount has returned.
    bool serversEnded() const;
    static bool processAlive(pid_t pid);
    void requirePrograms(const std::vector<std::string>& programs);

    const std::filesystem::path& mnt() const { return m_mnt; }
    const std::filesystem::path& back() const { return m_back; }
    const std::filesystem::path& dir() const { return m_dir.path(); }

private:
    kestrava::test::TempDir m_dir;
    std::optional<kestrava::test::ScopedEnv> m_home;
    std::optional<kestrava::test::ScopedEnv> m_runtime;
    std::optional<kestrava::test::ScopedEnv> m_configHome;
    std::optional<kestrava::test::ScopedEnv> m_stateHome;
    std::filesystem::path m_back;
    std::filesystem::path m_root;
    std::filesystem::path m_mnt;
    bool m_active = false;
};

} // namespace kestrava::mount::test
