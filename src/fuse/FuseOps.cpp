#include "fuse/FuseOps.h"

#include "core/fs/DriveFs.h"
#include "fuse/FuseVersion.h"
#include "fuse/Guarded.h"

#include <fuse.h>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::fuse {
namespace {

SessionData& session()
{
    return *static_cast<SessionData*>(fuse_get_context()->private_data);
}

fs::DriveFs& drive()
{
    return *session().drive;
}

// The user whose request this is: what they create is theirs.
fs::Caller caller()
{
    const fuse_context* context = fuse_get_context();
    return {context->uid, context->gid};
}

// Drops the kernel's cached attributes of these names, so their link count (or size) is read
// afresh. A name the kernel holds no node for needs nothing.
void invalidate(const std::vector<std::string>& paths)
{
    for (const std::string& path : paths) {
        fuse_invalidate_path(fuse_get_context()->fuse, path.c_str());
    }
}

// A handle whose file has no path any more (its node is gone) arrives without one; only
// files with several links have names to tell about.
bool hasPathAndLinks(const char* path)
{
    return path != nullptr && !session().links.empty();
}

// After a change through one name of a file with several links: its other names.
void invalidateOtherNames(const char* path)
{
    LinkedNames::FileId file;
    if (hasPathAndLinks(path) && session().links.fileOf(path, &file)) {
        invalidate(session().links.othersOf(file, path));
    }
}

std::string childPath(std::string_view folder, std::string_view name)
{
    std::string path(folder);
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    return path.append(name);
}

// What libfuse itself reports for an entry whose inode number it does not know.
constexpr ino_t kUnknownInode = 0xffffffff;

void* onInit(fuse_conn_info* conn, fuse_config* cfg)
{
    // Backing inode numbers keep hard links and `find`/`rsync` identity right.
    cfg->use_ino = 1;
    cfg->readdir_ino = 1;
    // Sync clients change the backing folder behind our back: cache names and attributes
    // for one second only, and drop cached contents when a file changed since it was cached.
    cfg->entry_timeout = 1.0;
    cfg->attr_timeout = 1.0;
    cfg->negative_timeout = 1.0;
    cfg->auto_cache = 1;
    // A file unlinked while open is kept under a hidden name until its last handle closes
    // (hard_remove off), so fstat and friends on the open file keep working.
    cfg->hard_remove = 0;
    // Large requests: fewer round trips through the kernel for sequential I/O. max_read must
    // match the mount option the session was created with.
    conn->max_write = kMaxRequestBytes;
    conn->max_read = kMaxRequestBytes;
    conn->max_readahead = kMaxRequestBytes;
    conn->want |= conn->capable & FUSE_CAP_ASYNC_READ;
    conn->want |= conn->capable & FUSE_CAP_PARALLEL_DIROPS;
    // The kernel applies the caller's umask to the modes of new entries before they arrive,
    // unless asked not to; the handlers rely on that and never apply it a second time.
    conn->want &= ~FUSE_CAP_DONT_MASK;
    auto* session = static_cast<SessionData*>(fuse_get_context()->private_data);
    if (session->onReady) {
        guarded("init", [&] {
            session->onReady();
            return 0;
        });
    }
    return session;
}

int onGetattr(const char* path, struct stat* st, fuse_file_info* fi)
{
    return guarded("getattr", [&] {
        const int rc = fi != nullptr ? drive().fgetattr(fi->fh, st) : drive().getattr(path, st);
        if (rc == 0 && path != nullptr && st->st_nlink > 1) {
            session().links.note(path, *st);
        }
        return rc;
    });
}

int onAccess(const char* path, int mask)
{
    return guarded("access", [&] { return drive().access(path, mask); });
}

int onReadlink(const char* path, char* buffer, size_t size)
{
    return guarded("readlink", [&] { return drive().readlink(path, buffer, size); });
}

int onMknod(const char* path, mode_t mode, dev_t device)
{
    return guarded("mknod", [&] { return drive().mknod(path, mode, device, caller()); });
}

int onMkdir(const char* path, mode_t mode)
{
    return guarded("mkdir", [&] { return drive().mkdir(path, mode, caller()); });
}

int onUnlink(const char* path)
{
    return guarded("unlink", [&] {
        const int rc = drive().unlink(path);
        if (rc == 0) {
            invalidate(session().links.removed(path)); // their link count dropped
        }
        return rc;
    });
}

int onRmdir(const char* path)
{
    return guarded("rmdir", [&] { return drive().rmdir(path); });
}

int onSymlink(const char* target, const char* linkPath)
{
    return guarded("symlink", [&] { return drive().symlink(target, linkPath, caller()); });
}

int onRename(const char* from, const char* to, unsigned int flags)
{
    return guarded("rename", [&] {
        const int rc = drive().rename(from, to, flags);
        if (rc != 0) {
            return rc;
        }
        LinkedNames& links = session().links;
        if ((flags & RENAME_EXCHANGE) != 0) {
            links.removed(from); // noted again at their next lookup
            links.removed(to);
        } else {
            invalidate(links.removed(to)); // a replaced file lost a link
            links.moved(from, to);
        }
        return rc;
    });
}

int onLink(const char* from, const char* to)
{
    return guarded("link", [&] {
        const int rc = drive().link(from, to);
        struct stat st
        {
        };
        if (rc == 0 && drive().getattr(to, &st) == 0) {
            LinkedNames& links = session().links;
            links.note(from, st);
            links.note(to, st);
            invalidate(links.othersOf({st.st_dev, st.st_ino}, to));
        }
        return rc;
    });
}

int onChmod(const char* path, mode_t mode, fuse_file_info*)
{
    return guarded("chmod", [&] {
        const int rc = path != nullptr ? drive().chmod(path, mode) : -ENOENT;
        if (rc == 0) {
            invalidateOtherNames(path);
        }
        return rc;
    });
}

int onChown(const char* path, uid_t uid, gid_t gid, fuse_file_info*)
{
    return guarded("chown", [&] {
        const int rc = path != nullptr ? drive().chown(path, uid, gid) : -ENOENT;
        if (rc == 0) {
            invalidateOtherNames(path);
        }
        return rc;
    });
}

int onTruncate(const char* path, off_t size, fuse_file_info* fi)
{
    return guarded("truncate", [&] {
        const int rc = fi != nullptr ? drive().ftruncate(fi->fh, size) : drive().truncate(path, size);
        if (rc == 0) {
            invalidateOtherNames(path);
        }
        return rc;
    });
}

int onUtimens(const char* path, const timespec times[2], fuse_file_info*)
{
    return guarded("utimens", [&] {
        const int rc = path != nullptr ? drive().utimens(path, times) : -ENOENT;
        if (rc == 0) {
            invalidateOtherNames(path);
        }
        return rc;
    });
}

int onCreate(const char* path, mode_t mode, fuse_file_info* fi)
{
    return guarded("create", [&] { return drive().create(path, mode, fi->flags, &fi->fh, caller()); });
}

int onOpen(const char* path, fuse_file_info* fi)
{
    return guarded("open", [&] { return drive().open(path, fi->flags, &fi->fh); });
}

int onRead(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* fi)
{
    return guarded("read", [&] { return static_cast<int>(drive().read(fi->fh, buffer, size, offset)); });
}

int onWrite(const char*, const char* buffer, size_t size, off_t offset, fuse_file_info* fi)
{
    return guarded("write", [&] { return static_cast<int>(drive().write(fi->fh, buffer, size, offset)); });
}

int onStatfs(const char* path, struct statvfs* st)
{
    return guarded("statfs", [&] { return drive().statfs(path, st); });
}

int onFlush(const char* path, fuse_file_info* fi)
{
    return guarded("flush", [&] {
        const int rc = drive().flush(fi->fh);
        invalidateOtherNames(path); // writes through this name changed the size they show
        return rc;
    });
}

int onRelease(const char*, fuse_file_info* fi)
{
    return guarded("release", [&] { return drive().release(fi->fh); });
}

int onFsync(const char*, int dataOnly, fuse_file_info* fi)
{
    return guarded("fsync", [&] { return drive().fsync(fi->fh, dataOnly != 0); });
}

int onSetxattr(const char* path, const char* name, const char* value, size_t size, int flags)
{
    return guarded("setxattr", [&] { return drive().setxattr(path, name, value, size, flags); });
}

int onGetxattr(const char* path, const char* name, char* value, size_t size)
{
    return guarded("getxattr", [&] { return static_cast<int>(drive().getxattr(path, name, value, size)); });
}

int onListxattr(const char* path, char* list, size_t size)
{
    return guarded("listxattr", [&] { return static_cast<int>(drive().listxattr(path, list, size)); });
}

int onRemovexattr(const char* path, const char* name)
{
    return guarded("removexattr", [&] { return drive().removexattr(path, name); });
}

int onReaddir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
              fuse_readdir_flags flags)
{
    return guarded("readdir", [&] {
        const bool plus = (flags & FUSE_READDIR_PLUS) != 0;
        const auto fillFlags = plus ? FUSE_FILL_DIR_PLUS : static_cast<fuse_fill_dir_flags>(0);
        return drive().readdir(
            path,
            [&](std::string_view name, const struct stat& st) {
                // The names come from the file system layer as views; FUSE wants C strings.
                const std::string entry(name);
                if (plus && st.st_nlink > 1) {
                    session().links.note(childPath(path, entry), st);
                }
                if (st.st_ino != 0) {
                    return fill(buffer, entry.c_str(), &st, 0, fillFlags) == 0;
                }
                // Inode 0 hides an entry from readdir(3) (it does so for ".."): say "unknown".
                struct stat known = st;
                known.st_ino = kUnknownInode;
                return fill(buffer, entry.c_str(), &known, 0, fillFlags) == 0;
            },
            plus);
    });
}

fuse_operations makeOperations()
{
    fuse_operations ops{};
    ops.init = onInit;
    ops.getattr = onGetattr;
    ops.access = onAccess;
    ops.readlink = onReadlink;
    ops.mknod = onMknod;
    ops.mkdir = onMkdir;
    ops.unlink = onUnlink;
    ops.rmdir = onRmdir;
    ops.symlink = onSymlink;
    ops.rename = onRename;
    ops.link = onLink;
    ops.chmod = onChmod;
    ops.chown = onChown;
    ops.truncate = onTruncate;
    ops.utimens = onUtimens;
    ops.create = onCreate;
    ops.open = onOpen;
    ops.read = onRead;
    ops.write = onWrite;
    ops.statfs = onStatfs;
    ops.flush = onFlush;
    ops.release = onRelease;
    ops.fsync = onFsync;
    ops.setxattr = onSetxattr;
    ops.getxattr = onGetxattr;
    ops.listxattr = onListxattr;
    ops.removexattr = onRemovexattr;
    ops.readdir = onReaddir;
    return ops;
}

} // namespace

const fuse_operations& driveOperations()
{
    static const fuse_operations ops = makeOperations();
    return ops;
}

} // namespace kestrava::fuse
