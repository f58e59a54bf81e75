// What a serving process leaves in the user's runtime folder while it serves a drive: a lock
// it holds for its whole life (so a second server for the same mount point backs off, and a
// dead server is told from a live one) and a small state file naming the drive it serves.
// The mount table stays the authority on what is mounted; the state file only adds what the
// table cannot say (backing folder, process id).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>

namespace kestrava::host {

struct ServeState
{
    pid_t pid = 0;
    std::string letter;
    std::filesystem::path mountPoint;
    std::filesystem::path backingFolder;
    std::string label;
};

// $XDG_RUNTIME_DIR/kestrava when XDG_RUNTIME_DIR names a folder, else /tmp/kestrava-<uid>.
// Created with mode 0700; nullopt when it cannot be made or is not ours (owner, symlink).
std::optional<std::filesystem::path> runtimeFolder();

// The files of one mount point in the runtime folder: "<letter>-<hash of mount point>".
std::filesystem::path stateFileFor(const std::filesystem::path& folder,
                                   const std::filesystem::path& mountPoint);
std::filesystem::path lockFileFor(const std::filesystem::path& folder,
                                  const std::filesystem::path& mountPoint);

std::string formatServeState(const ServeState& state);
std::optional<ServeState> parseServeState(std::string_view text);

bool writeServeState(const std::filesystem::path& file, const ServeState& state);
std::optional<ServeState> readServeState(const std::filesystem::path& file);

// An exclusive lock on a lock file, held until destruction (or the process dies).
class ServeLock
{
public:
    // Takes the lock without waiting; isHeld() tells whether that worked.
    explicit ServeLock(const std::filesystem::path& file);
    ~ServeLock();
    ServeLock(const ServeLock&) = delete;
    ServeLock& operator=(const ServeLock&) = delete;
    bool isHeld() const { return m_fd >= 0; }
    int error() const { return m_error; }

private:
    int m_fd = -1;
    int m_error = 0;
};

// Whether some process holds the lock now (a server is starting or serving).
bool isLockHeld(const std::filesystem::path& file);

} // namespace kestrava::host
