// The FUSE operation table of a drive (libfuse's node-based API): each callback turns the
// kernel's nodes into plain paths through the session's InodeTable and passes its arguments
// on to the drive's DriveFs, through guarded().
#pragma once

#include "fuse/InodeTable.h"

#include <functional>
#include <shared_mutex>

struct fuse_lowlevel_ops;

namespace kestrava::fs {
class DriveFs;
}

namespace kestrava::fuse {

inline constexpr unsigned int kMaxRequestBytes = 1u << 20;

// What the session gets as private data, and every callback sees. The init callback runs
// onReady (the kernel has accepted the session: the drive is usable now).
struct SessionData
{
    fs::DriveFs* drive = nullptr;
    std::function<void()> onReady;
    // Off on private drives: the backing folder's own checks then apply, as the serving
    // process is the only user who can enter.
    bool kernelChecksPermissions = false;
    InodeTable nodes;
    // A rename moves whole subtrees: paths are worked out and used under the shared side.
    std::shared_mutex renames;
};

const fuse_lowlevel_ops& driveOperations();

} // namespace kestrava::fuse
