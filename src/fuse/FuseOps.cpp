#include "fuse/FuseOps.h"

#include "core/fs/DriveFs.h"
#include "fuse/FuseVersion.h"
#include "fuse/Guarded.h"

#include <fuse.h>
#include <string_view>

namespace kestrava::fuse {
namespace {

fs::DriveFs& drive()
{
    return *static_cast<fs::DriveFs*>(fuse_get_context()->private_data);
}

// What libfuse itself reports for an entry whose inode number it does not know.
constexpr ino_t kUnknownInode = 0xffffffff;

// A handle whose file has no path any more (its node is gone) arrives without one.
bool hasPath(const char* path)
{
    return path != nullptr;
}

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
    auto* session = static_cast<SessionData*>(fuse_get_context()->private_data);
    if (session->onReady) {
        guarded("init", [&] {
            session->onReady();
            return 0;
        });
    }
    return session->drive;
}

int onGetattr(const char* path, struct stat* st, fuse_file_info* fi)
{
    return guarded("getattr",
                   [&] { return fi != nullptr ? drive().fgetattr(fi->fh, st) : drive().getattr(path, st); });
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
    return guarded("mknod", [&] { return drive().mknod(path, mode, device); });
}

int onMkdir(const char* path, mode_t mode)
{
    return guarded("mkdir", [&] { return drive().mkdir(path, mode); });
}

int onUnlink(const char* path)
{
    return guarded("unlink", [&] { return drive().unlink(path); });
}

int onRmdir(const char* path)
{
    return guarded("rmdir", [&] { return drive().rmdir(path); });
}

int onSymlink(const char* target, const char* linkPath)
{
    return guarded("symlink", [&] { return drive().symlink(target, linkPath); });
}

int onRename(const char* from, const char* to, unsigned int flags)
{
    return guarded("rename", [&] { return drive().rename(from, to, flags); });
}

int onLink(const char* from, const char* to)
{
    return guarded("link", [&] { return drive().link(from, to); });
}

int onChmod(const char* path, mode_t mode, fuse_file_info*)
{
    return guarded("chmod", [&] { return hasPath(path) ? drive().chmod(path, mode) : -ENOENT; });
}

int onChown(const char* path, uid_t uid, gid_t gid, fuse_file_info*)
{
    return guarded("chown", [&] { return hasPath(path) ? drive().chown(path, uid, gid) : -ENOENT; });
}

int onTruncate(const char* path, off_t size, fuse_file_info* fi)
{
    return guarded("truncate", [&] {
        return fi != nullptr ? drive().ftruncate(fi->fh, size) : drive().truncate(path, size);
    });
}

int onUtimens(const char* path, const timespec times[2], fuse_file_info*)
{
    return guarded("utimens", [&] { return hasPath(path) ? drive().utimens(path, times) : -ENOENT; });
}

int onCreate(const char* path, mode_t mode, fuse_file_info* fi)
{
    return guarded("create", [&] { return drive().create(path, mode, fi->flags, &fi->fh); });
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

int onFlush(const char*, fuse_file_info* fi)
{
    return guarded("flush", [&] { return drive().flush(fi->fh); });
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
