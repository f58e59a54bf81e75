// One drive's FUSE session: mounting a DriveFs at a mount point, serving it until it is unmounted (from
// outside, or by SIGINT/SIGTERM/SIGHUP), and unmounting. Not thread-safe itself: one serving thread drives it
// from start to end.
#pragma once

#include "fuse/FuseOps.h"

#include <filesystem>
#include <functional>
#include <string>

struct fuse_session;

namespace kestrava::fuse {

struct SessionOptions
{
    std::filesystem::path mountPoint;
    std::string label;            // shown with "kestrava" as the file system name
    bool allowOther = false;      // other users may enter (needs user_allow_other unless root); the
                                  // kernel then checks permissions from the mode bits
    bool singleThread = false;    // one thread serves every request (debugging)
    unsigned int maxThreads = 16; // serving threads at most
    bool debug = false;           // libfuse's request trace on standard error
    bool handleSignals = true;    // SIGINT, SIGTERM and SIGHUP end the loop (off in tests)
};

// The -o option text for a label inside the file system name (commas and backslashes escaped).
std::string escapeOptionValue(const std::string& value);

class MountSession
{
public:
    // onReady runs once the kernel has accepted the session (on a serving thread).
    MountSession(fs::DriveFs& drive, SessionOptions options, std::function<void()> onReady = {});
    ~MountSession();
    MountSession(const MountSession&) = delete;
    MountSession& operator=(const MountSession&) = delete;

    // Creates the session and mounts it; false with a reason in error. Installs the signal
    // handlers that end the loop.
    bool mount(std::string& error);
    // Detaches from the terminal (new session, standard streams to /dev/null, cwd /).
    void detach();
    // Serves until unmounted or signalled. 0 when the loop ended normally.
    int serve();
    // Unmounts (if still mounted) and releases the session; safe to call twice.
    void unmount();

private:
    SessionData m_data;
    SessionOptions m_options;
    struct ::fuse_session* m_session = nullptr;
    bool m_mounted = false;
    bool m_signals = false;
};

} // namespace kestrava::fuse
