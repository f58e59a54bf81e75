// The FUSE operation table of a drive: each callback fetches the drive's DriveFs from the
// session's private data and passes its arguments on, through guarded().
#pragma once

#include "fuse/LinkedNames.h"

#include <functional>

struct fuse_operations;

namespace kestrava::fs {
class DriveFs;
}

namespace kestrava::fuse {

inline constexpr unsigned int kMaxRequestBytes = 1u << 20;

// What fuse_new gets as private data, and every callback sees. The init callback runs
// onReady (the kernel has accepted the session: the drive is usable now).
struct SessionData
{
    fs::DriveFs* drive = nullptr;
    std::function<void()> onReady;
    LinkedNames links;
};

const fuse_operations& driveOperations();

} // namespace kestrava::fuse
