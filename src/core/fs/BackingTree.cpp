#include "core/fs/BackingTree.h"

#include "core/fs/FsError.h"

#include <fcntl.h>
#include <linux/limits.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kestrava::fs {
namespace {

constexpr int kDirFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

void requireOrdinaryComponent(std::string_view part)
{
    if (part == "." || part == "..") {
        throw FsError(EINVAL);
    }
}

// One system call for the whole chain where the kernel offers it: stays beneath the root and
// refuses symbolic links on the way. -1 with errno set otherwise.
int openBeneath(int rootFd, const std::string& relative)
{
#ifdef SYS_openat2
    open_how how{};
    how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    return static_cast<int>(::syscall(SYS_openat2, rootFd, relative.c_str(), &how, sizeof how));
#else
    (void)rootFd;
    (void)relative;
    errno = ENOSYS;
    return -1;
#endif
}

bool existsAt(int dirFd, const std::string& name)
{
    struct stat st
    {
    };
    return ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

} // namespace

bool BackingTree::leafIsPlain(std::string_view leaf, bool atRoot, LeafMapping mapping) const
{
    switch (mapping) {
    case LeafMapping::Plain:
        return true;
    case LeafMapping::Encrypted:
        return false;
    case LeafMapping::Auto:
        break;
    }
    // Only the root's token is special; below the root the name is an ordinary one.
    return atRoot && leaf == kTokenFileName;
}

bool BackingTree::mayBeStoredPlain(std::string_view plain) const
{
    return m_mapper.encryptsNames() && plain == kTokenFileName;
}

std::optional<std::string> BackingTree::conflictCopy(int dirFd, std::string_view plain) const
{
    if (m_conflicts == nullptr || !mayBeConflictDisplayName(plain)) {
        return std::nullopt;
    }
    return m_conflicts->find(dirFd, plain);
}

int BackingTree::openChild(int dirFd, std::string_view plain) const
{
    const std::string stored = m_mapper.mapComponent(dirFd, plain, false);
    int fd = ::openat(dirFd, stored.c_str(), kDirFlags);
    if (fd < 0 && errno == ENOENT && mayBeStoredPlain(plain)) {
        fd = ::openat(dirFd, std::string(plain).c_str(), kDirFlags);
    }
    if (fd < 0 && errno == ENOENT) {
        if (auto copy = conflictCopy(dirFd, plain)) {
            fd = ::openat(dirFd, copy->c_str(), kDirFlags);
        } else {
            errno = ENOENT;
        }
    }
    if (fd < 0 && errno == ENOENT && m_caseFold != nullptr) {
        if (auto other = m_caseFold->find(dirFd, plain)) {
            fd = ::openat(dirFd, other->c_str(), kDirFlags);
        } else {
            errno = ENOENT;
        }
    }
    return checkSys(fd);
}

BackingLocation BackingTree::openParent(const std::vector<std::string_view>& parts) const
{
    BackingLocation loc;
    loc.dirFd = m_root;
    if (parts.size() <= 1) {
        return loc;
    }
    std::string relative;
    bool plainStoredFolder = false;
    for (std::size_t i = 0; i + 1 < parts.size() && m_mapper.mapsAsText(); ++i) {
        requireOrdinaryComponent(parts[i]);
        plainStoredFolder = plainStoredFolder || mayBeStoredPlain(parts[i]);
        if (!relative.empty()) {
            relative += '/';
        }
        relative += m_mapper.mapComponent(m_root, parts[i], false);
    }
    if (m_mapper.mapsAsText() && relative.size() < PATH_MAX) {
        const int fd = openBeneath(m_root, relative);
        if (fd >= 0) {
            loc.ownedDir.reset(fd);
            loc.dirFd = fd;
            return loc;
        }
        const bool walk =
            errno == ENOSYS || errno == EAGAIN ||
            (errno == ENOENT && (m_caseFold != nullptr || m_conflicts != nullptr || plainStoredFolder));
        if (!walk) {
            throw FsError(errno);
        }
    }
    // Component by component: paths longer than PATH_MAX, case-insensitive resolution, conflict
    // copies, folders stored under a plain token name, names that depend on their directory, or
    // kernels without openat2.
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        requireOrdinaryComponent(parts[i]);
        loc.ownedDir.reset(openChild(loc.dirFd, parts[i]));
        loc.dirFd = loc.ownedDir.get();
    }
    return loc;
}

BackingLocation BackingTree::locateExisting(std::string_view plainPath, struct stat* st) const
{
    const std::vector<std::string_view> parts = splitPath(plainPath);
    struct stat local
    {
    };
    struct stat* out = st != nullptr ? st : &local;
    if (parts.empty()) {
        BackingLocation root;
        root.dirFd = m_root;
        checkSys(::fstat(m_root, out));
        return root;
    }
    BackingLocation loc = openParent(parts);
    const std::string_view leaf = parts.back();
    requireOrdinaryComponent(leaf);
    const bool plain = leafIsPlain(leaf, parts.size() == 1, LeafMapping::Auto);
    loc.plainLeaf = std::string(leaf);
    loc.name = m_mapper.mapComponent(loc.dirFd, leaf, plain);
    if (::fstatat(loc.dirFd, loc.name.c_str(), out, AT_SYMLINK_NOFOLLOW) == 0) {
        return loc;
    }
    if (errno == ENOENT && !plain && mayBeStoredPlain(leaf) &&
        ::fstatat(loc.dirFd, loc.plainLeaf.c_str(), out, AT_SYMLINK_NOFOLLOW) == 0) {
        loc.name = loc.plainLeaf;
        return loc;
    }
    if (errno != ENOENT || plain) {
        throw FsError(errno);
    }
    if (auto copy = conflictCopy(loc.dirFd, leaf)) {
        loc.name = std::move(*copy);
        checkSys(::fstatat(loc.dirFd, loc.name.c_str(), out, AT_SYMLINK_NOFOLLOW));
        return loc;
    }
    if (m_caseFold == nullptr) {
        throw FsError(ENOENT);
    }
    auto other = m_caseFold->find(loc.dirFd, leaf);
    if (!other) {
        throw FsError(ENOENT);
    }
    loc.name = std::move(*other);
    checkSys(::fstatat(loc.dirFd, loc.name.c_str(), out, AT_SYMLINK_NOFOLLOW));
    return loc;
}

BackingLocation BackingTree::locateNew(std::string_view plainPath, LeafMapping mapping) const
{
    const std::vector<std::string_view> parts = splitPath(plainPath);
    if (parts.empty()) {
        throw FsError(EEXIST);
    }
    BackingLocation loc = openParent(parts);
    const std::string_view leaf = parts.back();
    requireOrdinaryComponent(leaf);
    loc.plainLeaf = std::string(leaf);
    const bool plain = leafIsPlain(leaf, parts.size() == 1, mapping);
    loc.name = m_mapper.mapComponent(loc.dirFd, leaf, plain, true);
    // An entry of that name stored plain takes the name: replacing or exchanging then meets it
    // instead of leaving it beside a second entry of the same name.
    if (!plain && mayBeStoredPlain(leaf) && !existsAt(loc.dirFd, loc.name) &&
        existsAt(loc.dirFd, loc.plainLeaf)) {
        loc.name = loc.plainLeaf;
    } else if (!plain && !existsAt(loc.dirFd, loc.name)) {
        // A name shown for a conflict copy is that copy's: creating it exclusively fails, and
        // replacing it replaces the copy.
        if (auto copy = conflictCopy(loc.dirFd, leaf)) {
            loc.name = std::move(*copy);
        }
    }
    return loc;
}

} // namespace kestrava::fs
