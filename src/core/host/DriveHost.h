// Mounting and unmounting drives, as the flows see it. The real host serves each mounted drive
// from its own process (kestrava-cli's serving mode) over FUSE and reads mount state from the
// system's mount table, so every Kestrava process sees the same mounts; tests use a fake.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::token {
class DriveContext;
}

namespace kestrava::host {

struct MountOptions
{
    bool allowOther = false;  // let other users in (needs user_allow_other in /etc/fuse.conf)
    bool foreground = false;  // serve from this process until unmounted (CLI --foreground)
    unsigned idleMinutes = 0; // the serving process unmounts the drive after this long unused; 0: never
    bool detachBusy = false;  // ...and detaches it lazily when programs still hold it
};

enum class MountOutcome
{
    Mounted,
    DriverMissing, // FUSE is not usable here (/dev/fuse or fusermount3 missing)
    LetterInUse,   // the mount point is a mount already, or a non-empty folder
    InvalidPath,   // the backing folder is unusable and cannot be created
    Failed,        // anything else; detail says what
};

struct MountResult
{
    MountOutcome outcome = MountOutcome::Failed;
    std::string detail; // for logs and messages; never a secret
};

// A drive that is mounted now, as the mount table and the serving process report it.
struct MountedDrive
{
    std::string letter;               // "K:"
    std::filesystem::path mountPoint; // <mount root>/K
    std::filesystem::path backingFolder;
    std::string label;
    bool stale = false; // left by a serving process that died
};

class DriveHost
{
public:
    virtual ~DriveHost() = default;

    // /dev/fuse is usable and fusermount3 is on the PATH.
    virtual bool IsDriverInstalled() = 0;

    // <mount root>/<letter without colon>.
    virtual std::filesystem::path mountPointFor(std::string_view letter) const = 0;

    // The letter's mount point is a live mount, or an existing non-empty folder.
    virtual bool isLetterInUse(std::string_view letter) = 0;

    // Mounts the unlocked drive (master key, options, label, backing folder and letter set)
    // and returns once it is ready for use, or failed and left nothing behind.
    virtual MountResult InstallFileSystem(const token::DriveContext& context,
                                          const MountOptions& options) = 0;

    // Unmounts the drive at that letter and waits until the kernel has let go. False when it
    // was not mounted or could not be unmounted (busy).
    virtual bool UnmountFileSystem(std::string_view letter) = 0;

    // Detaches the drive at once even while programs hold files on it (they keep them until
    // they close them). Hosts that cannot do that only try a normal unmount.
    virtual bool detachFileSystem(std::string_view letter) { return UnmountFileSystem(letter); }

    // The Kestrava drives mounted now (stale ones included, flagged).
    virtual std::vector<MountedDrive> mountedDrives() = 0;

    // After a mount with MountOptions::foreground: blocks until the drive at that letter is
    // unmounted (from outside, or by an interrupt, which is passed on to the serving process).
    // Returns at once when it is not mounted; hosts that serve nothing themselves return at once.
    virtual void waitUntilUnmounted(std::string_view letter) { (void)letter; }
};

} // namespace kestrava::host
