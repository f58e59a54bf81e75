// Attribute handlers: status, permissions, owners, times, sizes.
#include "core/fs/DriveFsSupport.h"

#include <fcntl.h>
#include <unistd.h>

namespace kestrava::fs {
namespace {

constexpr std::size_t kLinkBufferBytes = 4096;

} // namespace

void DriveFs::presentSize(struct stat& st, bool plainContents) const
{
    if (S_ISREG(st.st_mode) && !plainContents) {
        st.st_size = static_cast<off_t>(m_codecs.content->plainSize(static_cast<std::uint64_t>(st.st_size)));
    }
    // The drive shows the last write as the last access too, and the size as the allocation.
    st.st_atim = st.st_mtim;
    st.st_blocks = (st.st_size + 511) / 512;
}

void DriveFs::presentStat(struct stat& st, const BackingLocation& loc) const
{
    presentSize(st, storesPlainContents(loc));
    if (S_ISLNK(st.st_mode) && m_options.fileNameEncryption && !loc.isRoot()) {
        char stored[kLinkBufferBytes];
        const ssize_t n = ::readlinkat(loc.dirFd, loc.at(), stored, sizeof stored);
        if (n > 0) {
            try {
                st.st_size = static_cast<off_t>(
                    m_codecs.names->decryptLinkTarget(std::string_view(stored, static_cast<std::size_t>(n)))
                        .size());
            } catch (const FsError&) {
                // A link that is not ours keeps its stored size; reading it reports the error.
            }
        }
    }
}

int DriveFs::getattr(std::string_view path, struct stat* st)
{
    return run("getattr", [&] {
        const BackingLocation loc = m_tree.locateExisting(path, st);
        presentStat(*st, loc);
        return 0;
    });
}

int DriveFs::fgetattr(std::uint64_t handle, struct stat* st)
{
    return run("fgetattr", [&] {
        const auto file = m_files.get(handle);
        checkSys(::fstat(file->fd.get(), st));
        presentSize(*st, file->plainContents);
        return 0;
    });
}

int DriveFs::access(std::string_view path, int mask)
{
    return run("access", [&] {
        const BackingLocation loc = m_tree.locateExisting(path);
        if (loc.isRoot()) {
            UniqueFd holder;
            checkSys(::faccessat(AT_FDCWD, procPath(loc, holder).c_str(), mask, 0));
        } else {
            checkSys(::faccessat(loc.dirFd, loc.at(), mask, AT_SYMLINK_NOFOLLOW));
        }
        return 0;
    });
}

int DriveFs::chmod(std::string_view path, mode_t mode)
{
    return run("chmod", [&] {
        refuseTokenChange(path); // a mode without read access would lock the drive out
        const BackingLocation loc = m_tree.locateExisting(path);
        if (loc.isRoot()) {
            UniqueFd holder;
            checkSys(::fchmodat(AT_FDCWD, procPath(loc, holder).c_str(), mode, 0));
        } else {
            checkSys(::fchmodat(loc.dirFd, loc.at(), mode, AT_SYMLINK_NOFOLLOW));
        }
        return 0;
    });
}

int DriveFs::chown(std::string_view path, uid_t uid, gid_t gid)
{
    return run("chown", [&] {
        refuseTokenChange(path);
        const BackingLocation loc = m_tree.locateExisting(path);
        checkSys(::fchownat(loc.dirFd, loc.at(), uid, gid, AT_SYMLINK_NOFOLLOW | AT_EMPTY_PATH));
        return 0;
    });
}

int DriveFs::utimens(std::string_view path, const timespec times[2])
{
    return run("utimens", [&] {
        const BackingLocation loc = m_tree.locateExisting(path);
        if (loc.isRoot()) {
            UniqueFd holder;
            checkSys(::utimensat(AT_FDCWD, procPath(loc, holder).c_str(), times, 0));
        } else {
            checkSys(::utimensat(loc.dirFd, loc.at(), times, AT_SYMLINK_NOFOLLOW));
        }
        return 0;
    });
}

int DriveFs::truncate(std::string_view path, off_t size)
{
    return run("truncate", [&] {
        requireRange(size, 0);
        refuseTokenChange(path);
        struct stat st
        {
        };
        const BackingLocation loc = m_tree.locateExisting(path, &st);
        if (S_ISDIR(st.st_mode)) {
            throw FsError(EISDIR);
        }
        if (!S_ISREG(st.st_mode)) {
            throw FsError(EINVAL);
        }
        UniqueFd fd(checkSys(::openat(loc.dirFd, loc.at(), O_RDWR | O_NOFOLLOW | O_CLOEXEC)));
        if (storesPlainContents(loc)) {
            checkSys(::ftruncate(fd.get(), size));
            return 0;
        }
        const auto inode = m_files.inode(st.st_dev, st.st_ino);
        m_codecs.content->setEndOfFile(fd.get(), inode->blocks, static_cast<std::uint64_t>(size));
        return 0;
    });
}

int DriveFs::ftruncate(std::uint64_t handle, off_t size)
{
    return run("ftruncate", [&] {
        requireRange(size, 0);
        const auto file = m_files.get(handle);
        if (file->readOnly) {
            throw FsError(EACCES);
        }
        if (file->plainContents) {
            checkSys(::ftruncate(file->fd.get(), size));
            return 0;
        }
        m_codecs.content->setEndOfFile(file->fd.get(), file->inode->blocks, static_cast<std::uint64_t>(size));
        return 0;
    });
}

} // namespace kestrava::fs
