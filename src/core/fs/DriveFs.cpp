#include "core/fs/DriveFs.h"

#include "core/fs/DriveFsSupport.h"
#include "core/token/DriveContext.h"

#include <fcntl.h>
#include <limits>
#include <linux/magic.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace kestrava::fs {

bool isRootToken(std::string_view path)
{
    const std::vector<std::string_view> parts = splitPath(path);
    return parts.size() == 1 && parts.front() == kTokenFileName;
}

void refuseTokenChange(std::string_view path)
{
    if (isRootToken(path)) {
        throw FsError(EACCES);
    }
}

bool storesPlainContents(const BackingLocation& loc)
{
    return loc.name == kTokenFileName;
}

void requireSameContentForm(const BackingLocation& source, const BackingLocation& target)
{
    if (storesPlainContents(source) != storesPlainContents(target)) {
        throw FsError(EXDEV);
    }
}

void requireRange(off_t offset, std::size_t length)
{
    if (offset < 0) {
        throw FsError(EINVAL);
    }
    if (length > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max() - offset)) {
        throw FsError(EFBIG);
    }
}

namespace {
UniqueFd openRoot(const std::filesystem::path& folder)
{
    const int fd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return UniqueFd(checkSys(fd));
}

// File systems whose close never reports a write error: data reaches them on write, and
// errors of the later write-back are reported by fsync.
bool isLocalDisk(int fd)
{
    struct statfs info
    {
    };
    if (::fstatfs(fd, &info) != 0) {
        return false;
    }
    switch (static_cast<unsigned long>(info.f_type)) {
    case EXT4_SUPER_MAGIC: // also ext2 and ext3
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
    case TMPFS_MAGIC:
        return true;
    default:
        return false;
    }
}
} // namespace

DriveFs::DriveFs(crypto::ByteView masterKey, const FsOptions& options,
                 const std::filesystem::path& backingFolder)
    : m_options(options), m_folder(backingFolder), m_root(openRoot(backingFolder)),
      m_codecs(makeCodecs(options.format, masterKey)), m_mapper(*m_codecs.names, options.fileNameEncryption),
      m_caseFold(options.fileNameEncryption && options.caseInsensitive
                     ? std::make_unique<CaseFoldCache>(*m_codecs.names)
                     : nullptr),
      m_conflicts(options.fileNameEncryption
                      ? std::make_unique<ConflictIndex>(
                            [this](int dirFd, std::string_view stored) {
                                return m_codecs.names->decryptName(dirFd, stored);
                            },
                            [this](int dirFd, std::string_view plain) {
                                return m_codecs.names->encryptName(dirFd, plain, false);
                            })
                      : nullptr),
      m_tree(m_root.get(), m_mapper, m_caseFold.get(), m_conflicts.get()),
      m_flushMayFail(!isLocalDisk(m_root.get()))
{
}

DriveFs::~DriveFs() = default;

std::unique_ptr<DriveFs> DriveFs::forDrive(const token::DriveContext& drive)
{
    FsOptions options;
    options.fileNameEncryption = drive.options().fileNameEncryption;
    options.caseInsensitive = drive.options().caseInsensitive;
    options.format = drive.format();
    return std::make_unique<DriveFs>(drive.masterKey(), options, drive.backingFolder());
}

Caller Caller::server()
{
    return {::geteuid(), ::getegid()};
}

void DriveFs::handOver(const BackingLocation& loc, const Caller& caller, bool directory) const
{
    if (::geteuid() != 0) {
        return; // only root may give entries away; otherwise they stay this process's
    }
    struct stat parent
    {
    };
    struct stat made
    {
    };
    checkSys(::fstat(loc.dirFd, &parent));
    checkSys(::fstatat(loc.dirFd, loc.at(), &made, AT_SYMLINK_NOFOLLOW));
    // A set-group-id folder hands its group down (the backing file system already did so).
    const gid_t group = (parent.st_mode & S_ISGID) != 0 ? parent.st_gid : caller.gid;
    if (made.st_uid == caller.uid && made.st_gid == group) {
        return;
    }
    if (::fchownat(loc.dirFd, loc.at(), caller.uid, group, AT_SYMLINK_NOFOLLOW) != 0) {
        const int error = errno;
        ::unlinkat(loc.dirFd, loc.at(), directory ? AT_REMOVEDIR : 0);
        throw FsError(error);
    }
}

void DriveFs::requireCreatableName(std::string_view path) const
{
    refuseTokenChange(path);
    const std::vector<std::string_view> parts = splitPath(path);
    if (parts.size() == 1 && m_mapper.IsReservedRootName(parts.front())) {
        throw FsError(EPERM);
    }
}

DirStamp DriveFs::stampBefore(const BackingLocation& loc) const
{
    return m_caseFold || m_conflicts ? stampOf(loc.dirFd) : DirStamp{};
}

void DriveFs::noteAdded(const BackingLocation& loc, const DirStamp& before)
{
    if (m_caseFold) {
        m_caseFold->noteAdded(loc.dirFd, before, loc.name, loc.plainLeaf);
    }
    if (m_conflicts) {
        m_conflicts->noteChanged(loc.dirFd, before, loc.name);
    }
}

void DriveFs::noteRemoved(const BackingLocation& loc, const DirStamp& before)
{
    if (m_caseFold) {
        m_caseFold->noteRemoved(loc.dirFd, before, loc.name, loc.plainLeaf);
    }
    if (m_conflicts) {
        m_conflicts->noteChanged(loc.dirFd, before, loc.name);
    }
}

std::string DriveFs::procPath(const BackingLocation& loc, UniqueFd& holder) const
{
    int fd = loc.dirFd;
    if (!loc.isRoot()) {
        holder.reset(checkSys(::openat(loc.dirFd, loc.at(), O_PATH | O_NOFOLLOW | O_CLOEXEC)));
        fd = holder.get();
    }
    return "/proc/self/fd/" + std::to_string(fd);
}

int DriveFs::statfs(std::string_view, struct statvfs* st)
{
    return run("statfs", [&] {
        checkSys(::fstatvfs(m_root.get(), st));
        st->f_fsid = kVolumeId;
        if (m_options.fileNameEncryption) {
            // A longer plain name would not fit a backing name once encrypted.
            st->f_namemax = m_codecs.names->maxPlainNameBytes();
        }
        return 0;
    });
}

std::string DriveFs::backingPathOf(std::string_view path) const
{
    return m_mapper.BuildBackingPath(m_folder, path);
}

int DriveFs::openCountOf(std::string_view path)
{
    return run("openCount", [&] {
        struct stat st
        {
        };
        m_tree.locateExisting(path, &st);
        return m_files.openCount(st.st_dev, st.st_ino);
    });
}

} // namespace kestrava::fs
