// The serving process of one drive (kestrava-cli serve): reads the drive password from a
// pipe, unlocks the drive's token itself, mounts the drive, reports on the status pipe, and
// serves until the drive is unmounted or the process is told to stop. The host that started
// it learns the outcome from the status pipe only (see core/host/ServeProtocol.h).
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

namespace kestrava::fuse {

struct ServeRequest
{
    std::filesystem::path backingFolder;
    std::string letter; // "K:"
    std::filesystem::path mountPoint;
    std::string label;
    int passwordFd = -1; // the 64-character drive password, then end of file
    int statusFd = -1;   // "ready" or "error <kind> <detail>"; -1: report on standard error
    bool foreground = false;
    bool allowOther = false;
    bool singleThread = false;
    unsigned int maxThreads = 16; // serving threads at most
    bool debug = false;
    std::chrono::seconds idleTimeout{0}; // unmount after this long without a request; 0: never
    bool idleDetach = false;             // ...even while programs hold files on the drive
};

// Runs the whole life of a serving process. Returns the process exit code: 0 after a clean
// unmount (from outside or by a signal), 1 when the drive could not be mounted or served.
int serveDrive(const ServeRequest& request);

} // namespace kestrava::fuse
