// Directory and name handlers: mkdir, rmdir, unlink, rename, listing, emptiness.
#include "core/fs/DriveFsSupport.h"
#include "core/fs/HardenedNames.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace kestrava::fs {
namespace {

// An open listing of a backing directory.
class DirReader
{
public:
    explicit DirReader(int fd) : m_dir(::fdopendir(fd))
    {
        if (m_dir == nullptr) {
            const int error = errno;
            ::close(fd);
            throw FsError(error);
        }
    }
    ~DirReader() { ::closedir(m_dir); }
    DirReader(const DirReader&) = delete;
    DirReader& operator=(const DirReader&) = delete;

    const dirent* next() { return ::readdir(m_dir); }
    int fd() const { return ::dirfd(m_dir); }

private:
    DIR* m_dir;
};

int openListing(const BackingLocation& loc)
{
    const char* name = loc.isRoot() ? "." : loc.at();
    return checkSys(::openat(loc.dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

mode_t modeOfType(unsigned char type)
{
    switch (type) {
    case DT_DIR:
        return S_IFDIR;
    case DT_LNK:
        return S_IFLNK;
    case DT_FIFO:
        return S_IFIFO;
    case DT_SOCK:
        return S_IFSOCK;
    case DT_CHR:
        return S_IFCHR;
    case DT_BLK:
        return S_IFBLK;
    default:
        return S_IFREG;
    }
}

bool sameDirectory(const BackingLocation& a, const BackingLocation& b)
{
    struct stat x
    {
    };
    struct stat y
    {
    };
    return ::fstat(a.dirFd, &x) == 0 && ::fstat(b.dirFd, &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino;
}

bool isDotOrDotDot(std::string_view name)
{
    return name == "." || name == "..";
}

} // namespace

bool DriveFs::isBookkeeping(std::string_view stored) const
{
    return m_mapper.encryptsNames() && names().isBookkeeping(stored);
}

void DriveFs::forgetName(const BackingLocation& loc) const
{
    if (m_mapper.encryptsNames()) {
        names().afterRemove(loc.dirFd, loc.name);
    }
}

LeafMapping DriveFs::targetMapping(const BackingLocation& source) const
{
    // The source decides for both names: a plainly stored file keeps a plain name (and the
    // content check refuses any other), anything else is encrypted whatever its new name.
    if (!m_mapper.encryptsNames() || storesPlainContents(source)) {
        return LeafMapping::Plain;
    }
    return LeafMapping::Encrypted;
}

int DriveFs::mkdir(std::string_view path, mode_t mode, const Caller& caller)
{
    return run("mkdir", [&] {
        requireCreatableName(path);
        const BackingLocation loc = m_tree.locateNew(path);
        const DirStamp before = stampBefore(loc);
        checkSys(::mkdirat(loc.dirFd, loc.at(), mode));
        if (m_mapper.encryptsNames()) {
            try {
                names().initDirectory(loc.dirFd, loc.name);
            } catch (...) {
                ::unlinkat(loc.dirFd, loc.at(), AT_REMOVEDIR);
                throw;
            }
        }
        handOver(loc, caller, true);
        noteAdded(loc, before);
        return 0;
    });
}

int DriveFs::rmdir(std::string_view path)
{
    return run("rmdir", [&] {
        if (isRootToken(path)) {
            throw FsError(EACCES);
        }
        const BackingLocation loc = m_tree.locateExisting(path);
        if (loc.isRoot()) {
            throw FsError(EBUSY);
        }
        const DirStamp before = stampBefore(loc);
        if (m_mapper.encryptsNames()) {
            names().prepareRemoveDirectory(loc.dirFd, loc.name);
        }
        checkSys(::unlinkat(loc.dirFd, loc.at(), AT_REMOVEDIR));
        forgetName(loc);
        noteRemoved(loc, before);
        return 0;
    });
}

int DriveFs::unlink(std::string_view path)
{
    return run("unlink", [&] {
        // The drive cannot live without its token.
        if (isRootToken(path)) {
            throw FsError(EACCES);
        }
        const BackingLocation loc = m_tree.locateExisting(path);
        if (loc.isRoot()) {
            throw FsError(EISDIR);
        }
        const DirStamp before = stampBefore(loc);
        checkSys(::unlinkat(loc.dirFd, loc.at(), 0));
        forgetName(loc);
        noteRemoved(loc, before);
        return 0;
    });
}

int DriveFs::rename(std::string_view from, std::string_view to, unsigned int flags)
{
    return run("rename", [&] {
        // Neither moving the token away nor replacing it is allowed.
        refuseTokenChange(from);
        requireCreatableName(to);
        const BackingLocation source = m_tree.locateExisting(from);
        if (source.isRoot()) {
            throw FsError(EBUSY);
        }
        const BackingLocation target = m_tree.locateNew(to, targetMapping(source));
        requireSameContentForm(source, target);
        const DirStamp sourceBefore = stampBefore(source);
        const DirStamp targetBefore = stampBefore(target);
        checkSys(::renameat2(source.dirFd, source.at(), target.dirFd, target.at(), flags));
        // Both names stay after an exchange, and a name renamed onto itself is still there.
        if ((flags & RENAME_EXCHANGE) == 0 &&
            !(source.name == target.name && sameDirectory(source, target))) {
            forgetName(source);
        }
        noteRemoved(source, sourceBefore);
        // Both names in one directory: its stamp moved with the removal already.
        noteAdded(target, sourceBefore.sameDirectory(targetBefore) ? stampBefore(target) : targetBefore);
        return 0;
    });
}

int DriveFs::readdir(std::string_view path, const DirFiller& filler, bool plus)
{
    return run("readdir", [&] {
        struct stat self
        {
        };
        const BackingLocation loc = m_tree.locateExisting(path, &self);
        if (!S_ISDIR(self.st_mode)) {
            throw FsError(ENOTDIR);
        }
        if (self.st_nlink == 0) {
            throw FsError(ENOENT); // removed while in use (the backing folder itself, say)
        }
        DirReader dir(openListing(loc));
        ListedCopies copies;
        presentStat(self, loc);
        if (!filler(".", self)) {
            return 0;
        }
        struct stat parent
        {
        };
        parent.st_mode = S_IFDIR;
        if (!filler("..", parent)) {
            return 0;
        }
        while (const dirent* e = dir.next()) {
            const std::string_view stored = e->d_name;
            if (isDotOrDotDot(stored) || (loc.isRoot() && IsHiddenRootEntry(stored)) ||
                isBookkeeping(stored)) {
                continue;
            }
            // Below the root a token-named entry stored plain is an ordinary file of older builds.
            std::string plainName =
                stored == kTokenFileName ? std::string(stored) : m_mapper.plainName(dir.fd(), stored);
            if (plainName.empty() && m_conflicts) {
                plainName = shownConflictCopy(dir.fd(), stored, copies);
            }
            if (plainName.empty()) {
                continue; // not a name of this drive: foreign files stay invisible
            }
            struct stat st
            {
            };
            if (plus) {
                BackingLocation entry;
                entry.dirFd = dir.fd();
                entry.name = std::string(stored);
                if (::fstatat(dir.fd(), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                    continue; // removed meanwhile
                }
                presentStat(st, entry);
            } else {
                st.st_ino = e->d_ino;
                st.st_mode = modeOfType(e->d_type);
            }
            if (!filler(plainName, st)) {
                break;
            }
        }
        return 0;
    });
}

std::string DriveFs::shownConflictCopy(int dirFd, std::string_view stored, ListedCopies& copies)
{
    // Only a directory holding names that are not the drive's needs its copies looked up.
    if (!copies.fetched) {
        copies.listing = m_conflicts->copiesIn(dirFd);
        copies.fetched = true;
    }
    const std::string name(stored);
    for (;;) {
        if (copies.listing) {
            if (auto it = copies.listing->shownByStored.find(name);
                it != copies.listing->shownByStored.end()) {
                return it->second;
            }
        }
        // A copy the map does not know arrived since it was made (within one timestamp tick).
        const auto decode = [this, dirFd](std::string_view text) {
            return m_codecs.names->decryptName(dirFd, text);
        };
        if (copies.reread || !recogniseConflictCopy(stored, decode)) {
            return {};
        }
        copies.listing = m_conflicts->copiesIn(dirFd, true);
        copies.reread = true;
    }
}

int DriveFs::isDirectoryEmpty(std::string_view path, bool* empty)
{
    return run("isDirectoryEmpty", [&] {
        const BackingLocation loc = m_tree.locateExisting(path);
        DirReader dir(openListing(loc));
        // Entries the listing hides still count: such a directory cannot be removed.
        *empty = true;
        while (const dirent* e = dir.next()) {
            const std::string_view name = e->d_name;
            if (!isDotOrDotDot(name) && !(name == kDirIvFileName && isBookkeeping(name))) {
                *empty = false;
                break;
            }
        }
        return 0;
    });
}

} // namespace kestrava::fs
