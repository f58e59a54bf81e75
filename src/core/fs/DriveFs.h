// The encrypted file system of one drive over its backing folder, as handlers a Linux file
// system needs: each takes plain paths ("/docs/a.txt") or a handle number and returns 0 (or
// a byte count) on success and a negative errno on failure. Nothing here knows FUSE; the
// adapter only translates. Every handler may be called from many threads at once.
#pragma once

#include "core/fs/BackingTree.h"
#include "core/fs/CaseFoldCache.h"
#include "core/fs/FormatCodecs.h"
#include "core/fs/OpenFileTable.h"
#include "core/fs/PathMapper.h"
#include "core/fs/UniqueFd.h"
#include "core/token/DriveFormat.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>

namespace kestrava::token {
class DriveContext;
}

namespace kestrava::fs {

struct FsOptions
{
    bool fileNameEncryption = true;
    bool caseInsensitive = true; // applies only with encrypted names
    token::DriveFormat format = token::DriveFormat::Compatible;
};

// Who asks for a new entry. On a drive several users share, what one of them creates is
// theirs, as on a local file system.
struct Caller
{
    uid_t uid = 0;
    gid_t gid = 0;
    // The serving process itself.
    static Caller server();
};

// Receives one directory entry; returns false when it can take no more.
using DirFiller = std::function<bool(std::string_view name, const struct stat& st)>;

inline constexpr unsigned long kVolumeId = 0x12345678;

class DriveFs
{
public:
    // Opens the backing root. Throws FsError when it cannot be opened, InvalidKeyLength for a
    // key the format refuses.
    DriveFs(crypto::ByteView masterKey, const FsOptions& options, const std::filesystem::path& backingFolder);
    // An unlocked drive: its master key, name options and backing folder.
    static std::unique_ptr<DriveFs> forDrive(const token::DriveContext& drive);
    ~DriveFs();
    DriveFs(const DriveFs&) = delete;
    DriveFs& operator=(const DriveFs&) = delete;

    // Attributes. Last access is reported as last write, and the allocation as the size.
    int getattr(std::string_view path, struct stat* st);
    int fgetattr(std::uint64_t handle, struct stat* st);
    int access(std::string_view path, int mask);
    int chmod(std::string_view path, mode_t mode);
    int chown(std::string_view path, uid_t uid, gid_t gid);
    int utimens(std::string_view path, const timespec times[2]);
    int truncate(std::string_view path, off_t size);
    int ftruncate(std::uint64_t handle, off_t size);
    int statfs(std::string_view path, struct statvfs* st);

    // Files. create fails with EEXIST when the name is taken. Handles opened for writing fall
    // back to reading when the backing file is read-only; their writes then fail with EACCES.
    // New entries (here and below) belong to the caller when this process runs as root; the
    // mode arrives with the caller's umask already applied.
    int create(std::string_view path, mode_t mode, int flags, std::uint64_t* handle,
               const Caller& caller = Caller::server());
    int open(std::string_view path, int flags, std::uint64_t* handle);
    int release(std::uint64_t handle);
    ssize_t read(std::uint64_t handle, char* buffer, std::size_t size, off_t offset);
    ssize_t write(std::uint64_t handle, const char* buffer, std::size_t size, off_t offset);
    int flush(std::uint64_t handle);
    int fsync(std::uint64_t handle, bool dataOnly);
    // Copies up to length bytes between two open files (of this drive); returns the count
    // copied, 0 at the end of the source. Whole blocks of the compatible format are copied as
    // stored, everything else is read and written again.
    ssize_t copyFileRange(std::uint64_t inHandle, off_t inOffset, std::uint64_t outHandle, off_t outOffset,
                          std::size_t length);
    // Whether closing a file in the backing folder may report a write error (network and
    // layered file systems); on local disks flush has nothing to do.
    bool flushMayFail() const { return m_flushMayFail; }

    // Directories and names. The listing reports ".", ".." and the entries whose names are
    // this drive's, decrypted; with plus set each entry carries full attributes, otherwise
    // only its type.
    int mkdir(std::string_view path, mode_t mode, const Caller& caller = Caller::server());
    int rmdir(std::string_view path);
    int unlink(std::string_view path);
    int rename(std::string_view from, std::string_view to, unsigned int flags);
    int readdir(std::string_view path, const DirFiller& filler, bool plus = false);
    int isDirectoryEmpty(std::string_view path, bool* empty);

    // Links and special files.
    int symlink(std::string_view target, std::string_view linkPath, const Caller& caller = Caller::server());
    int readlink(std::string_view path, char* buffer, std::size_t size);
    int link(std::string_view from, std::string_view to);
    int mknod(std::string_view path, mode_t mode, dev_t device, const Caller& caller = Caller::server());

    // Extended attributes take the place of named streams: names are stored plain, values in
    // the "user." namespace are encrypted like contents. Security labels and access lists
    // ("security.", "system.") are not offered: on the backing entry they describe the
    // encrypted file, and the kernel enforces neither on a drive.
    static bool servesXattr(std::string_view name);
    int setxattr(std::string_view path, std::string_view name, const char* value, std::size_t size,
                 int flags);
    ssize_t getxattr(std::string_view path, std::string_view name, char* value, std::size_t size);
    ssize_t listxattr(std::string_view path, char* list, std::size_t size);
    int removexattr(std::string_view path, std::string_view name);

    // For tools and tests.
    std::string backingPathOf(std::string_view path) const;
    int openCountOf(std::string_view path);
    const CaseFoldCache* caseFoldCache() const { return m_caseFold.get(); }
    const ConflictIndex* conflictIndex() const { return m_conflicts.get(); }
    const PathMapper& mapper() const { return m_mapper; }
    const NameCodec& names() const { return *m_codecs.names; }
    const ContentCodec& contents() const { return *m_codecs.content; }
    token::DriveFormat format() const { return m_options.format; }

private:
    template <class F> auto run(const char* op, F&& body) -> decltype(body());

    void presentStat(struct stat& st, const BackingLocation& loc) const;
    // A new name must not be the root's token nor one the root listing would hide.
    void requireCreatableName(std::string_view path) const;
    // How the new name of a rename or link is stored, decided by its source.
    LeafMapping targetMapping(const BackingLocation& source) const;
    // Gives a just-created entry to its caller; when that fails the entry is removed again,
    // so nothing is left half made, and the error is thrown.
    void handOver(const BackingLocation& loc, const Caller& caller, bool directory) const;
    std::uint64_t openLocated(const BackingLocation& loc, int flags);
    void noteAdded(const BackingLocation& loc, const DirStamp& before);
    void noteRemoved(const BackingLocation& loc, const DirStamp& before);
    DirStamp stampBefore(const BackingLocation& loc) const;
    std::string procPath(const BackingLocation& loc, UniqueFd& holder) const;
    bool encryptsXattr(const BackingLocation& loc, std::string_view name) const;
    // The copies of a directory as one listing met them.
    struct ListedCopies
    {
        std::shared_ptr<const ConflictIndex::Listing> listing;
        bool fetched = false;
        bool reread = false;
    };
    // The name a listing shows for a backing entry that is no exact name: a conflict copy's,
    // or "" for a foreign entry. The copies are read again once when an unknown copy turns up.
    std::string shownConflictCopy(int dirFd, std::string_view stored, ListedCopies& copies);
    // The format's own entries in a backing directory, and what removing a name leaves behind.
    bool isBookkeeping(std::string_view stored) const;
    void forgetName(const BackingLocation& loc) const;
    // The size a regular file with encrypted contents shows.
    void presentSize(struct stat& st, bool plainContents) const;

    FsOptions m_options;
    std::filesystem::path m_folder;
    UniqueFd m_root;
    DriveCodecs m_codecs;
    PathMapper m_mapper;
    std::unique_ptr<CaseFoldCache> m_caseFold;
    std::unique_ptr<ConflictIndex> m_conflicts;
    BackingTree m_tree;
    OpenFileTable m_files;
    bool m_flushMayFail = true;
};

} // namespace kestrava::fs
