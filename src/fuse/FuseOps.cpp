#include "fuse/FuseOps.h"

#include "core/fs/DriveFs.h"
#include "fuse/FuseVersion.h"
#include "fuse/Guarded.h"

#include <algorithm>
#include <climits>
#include <fcntl.h>
#include <fuse_lowlevel.h>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::fuse {
namespace {

// Sync clients change the backing folder behind our back: the kernel keeps names, attributes
// and missing names for one second only.
constexpr double kCacheSeconds = 1.0;

// What readdir(3) callers see for an entry whose inode number is not known: 0 would hide it.
constexpr ino_t kUnknownInode = 0xffffffff;

SessionData& session(fuse_req_t req)
{
    return *static_cast<SessionData*>(fuse_req_userdata(req));
}

fs::DriveFs& drive(fuse_req_t req)
{
    return *session(req).drive;
}

// The user whose request this is: what they create is theirs.
fs::Caller caller(fuse_req_t req)
{
    const fuse_ctx* context = fuse_req_ctx(req);
    return {context->uid, context->gid};
}

// Runs a callback's body, which either replied itself (0) or returns a negative errno to
// reply with. Nothing is thrown across the C boundary.
template <class Body> void reply(fuse_req_t req, const char* op, Body&& body) noexcept
{
    const int rc = guarded(op, std::forward<Body>(body));
    if (rc < 0) {
        fuse_reply_err(req, -rc);
    }
}

int replyDone(fuse_req_t req, int rc)
{
    if (rc == 0) {
        fuse_reply_err(req, 0);
    }
    return rc;
}

// Hands the entry st describes to the kernel as name inside parent (one lookup more).
int replyEntry(fuse_req_t req, fuse_ino_t parent, const char* name, const struct stat& st)
{
    InodeTable& nodes = session(req).nodes;
    fuse_entry_param entry{};
    entry.ino = nodes.remember(parent, name, st);
    entry.attr = st;
    entry.attr_timeout = kCacheSeconds;
    entry.entry_timeout = kCacheSeconds;
    if (fuse_reply_entry(req, &entry) != 0) {
        nodes.forget(entry.ino, 1); // the request was interrupted: the kernel took nothing
    }
    return 0;
}

// The attributes of the entry just made under the path, handed out as name inside parent.
int replyNewEntry(fuse_req_t req, fuse_ino_t parent, const char* name, const std::string& path, int rc)
{
    if (rc != 0) {
        return rc;
    }
    struct stat st
    {
    };
    if (const int found = drive(req).getattr(path, &st); found != 0) {
        return found;
    }
    return replyEntry(req, parent, name, st);
}

// The node's attributes. A node whose name is gone (a file removed or replaced while open)
// answers through one of its open handles.
int attributesOf(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi, struct stat* st)
{
    fs::DriveFs& fs = drive(req);
    if (fi != nullptr) {
        return fs.fgetattr(fi->fh, st);
    }
    InodeTable& nodes = session(req).nodes;
    const auto path = nodes.pathOf(ino);
    int rc = path ? fs.getattr(*path, st) : -ENOENT;
    if (rc == 0 && (ino == kRootNode || nodes.isEntryOf(ino, *st))) {
        return 0;
    }
    if (const auto handle = nodes.anyHandle(ino)) {
        return fs.fgetattr(*handle, st);
    }
    // Another entry under the node's name (replaced behind our back): its attributes, as a
    // path-based host shows them, unless its type differs, which the kernel would refuse.
    return rc == 0 && !nodes.hasType(ino, st->st_mode) ? -ENOENT : rc;
}

void onInit(void* userdata, fuse_conn_info* conn)
{
    // Large requests: fewer round trips through the kernel for sequential I/O. max_read must
    // match the mount option the session was created with.
    conn->max_write = kMaxRequestBytes;
    conn->max_read = kMaxRequestBytes;
    conn->max_readahead = kMaxRequestBytes;
    conn->want |= conn->capable & (FUSE_CAP_ASYNC_READ | FUSE_CAP_PARALLEL_DIROPS);
    // Cached contents are dropped when the kernel sees a file's size or time change.
    conn->want |= conn->capable & FUSE_CAP_AUTO_INVAL_DATA;
    // Every listing carries the entries' attributes: `ls -l` costs no request per entry.
    conn->want |= conn->capable & FUSE_CAP_READDIRPLUS;
    conn->want &= ~FUSE_CAP_READDIRPLUS_AUTO;
    // The kernel applies the caller's umask to the modes of new entries before they arrive,
    // unless asked not to; the handlers rely on that and never apply it a second time.
    conn->want &= ~FUSE_CAP_DONT_MASK;
    auto* data = static_cast<SessionData*>(userdata);
    if (data->onReady) {
        guarded("init", [&] {
            data->onReady();
            return 0;
        });
    }
}

void onLookup(fuse_req_t req, fuse_ino_t parent, const char* name)
{
    reply(req, "lookup", [&] {
        SessionData& data = session(req);
        std::shared_lock lock(data.renames);
        const auto path = data.nodes.childPath(parent, name);
        if (!path) {
            return -ENOENT;
        }
        struct stat st
        {
        };
        const int rc = data.drive->getattr(*path, &st);
        if (rc == -ENOENT) {
            data.nodes.unlinked(parent, name);
            fuse_entry_param missing{};
            missing.entry_timeout = kCacheSeconds; // the kernel remembers the absence as long
            fuse_reply_entry(req, &missing);
            return 0;
        }
        return rc != 0 ? rc : replyEntry(req, parent, name, st);
    });
}

void onForget(fuse_req_t req, fuse_ino_t ino, uint64_t lookups)
{
    session(req).nodes.forget(ino, lookups);
    fuse_reply_none(req);
}

void onForgetMulti(fuse_req_t req, size_t count, fuse_forget_data* forgets)
{
    InodeTable& nodes = session(req).nodes;
    for (size_t i = 0; i < count; ++i) {
        nodes.forget(forgets[i].ino, forgets[i].nlookup);
    }
    fuse_reply_none(req);
}

void onGetattr(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi)
{
    reply(req, "getattr", [&] {
        std::shared_lock lock(session(req).renames);
        struct stat st
        {
        };
        const int rc = attributesOf(req, ino, fi, &st);
        if (rc == 0) {
            fuse_reply_attr(req, &st, kCacheSeconds);
        }
        return rc;
    });
}

timespec timeToSet(const struct stat& attr, int toSet, bool access)
{
    const int now = access ? FUSE_SET_ATTR_ATIME_NOW : FUSE_SET_ATTR_MTIME_NOW;
    const int given = access ? FUSE_SET_ATTR_ATIME : FUSE_SET_ATTR_MTIME;
    if ((toSet & now) != 0) {
        return {0, UTIME_NOW};
    }
    if ((toSet & given) != 0) {
        return access ? attr.st_atim : attr.st_mtim;
    }
    return {0, UTIME_OMIT};
}

// Mode, owners, size and times, in that order, as the path-based library applied them.
int applyAttributes(fs::DriveFs& fs, const std::string* path, const struct stat& attr, int toSet,
                    fuse_file_info* fi)
{
    const bool needsPath =
        (toSet & (FUSE_SET_ATTR_MODE | FUSE_SET_ATTR_UID | FUSE_SET_ATTR_GID | FUSE_SET_ATTR_ATIME |
                  FUSE_SET_ATTR_MTIME | FUSE_SET_ATTR_ATIME_NOW | FUSE_SET_ATTR_MTIME_NOW)) != 0 ||
        ((toSet & FUSE_SET_ATTR_SIZE) != 0 && fi == nullptr);
    if (needsPath && path == nullptr) {
        return -ENOENT;
    }
    int rc = 0;
    if ((toSet & FUSE_SET_ATTR_MODE) != 0) {
        rc = fs.chmod(*path, attr.st_mode);
    }
    if (rc == 0 && (toSet & (FUSE_SET_ATTR_UID | FUSE_SET_ATTR_GID)) != 0) {
        const uid_t uid = (toSet & FUSE_SET_ATTR_UID) != 0 ? attr.st_uid : static_cast<uid_t>(-1);
        const gid_t gid = (toSet & FUSE_SET_ATTR_GID) != 0 ? attr.st_gid : static_cast<gid_t>(-1);
        rc = fs.chown(*path, uid, gid);
    }
    if (rc == 0 && (toSet & FUSE_SET_ATTR_SIZE) != 0) {
        rc = fi != nullptr ? fs.ftruncate(fi->fh, attr.st_size) : fs.truncate(*path, attr.st_size);
    }
    const int timeBits =
        FUSE_SET_ATTR_ATIME | FUSE_SET_ATTR_MTIME | FUSE_SET_ATTR_ATIME_NOW | FUSE_SET_ATTR_MTIME_NOW;
    if (rc == 0 && (toSet & timeBits) != 0) {
        const timespec times[2] = {timeToSet(attr, toSet, true), timeToSet(attr, toSet, false)};
        rc = fs.utimens(*path, times);
    }
    return rc;
}

void onSetattr(fuse_req_t req, fuse_ino_t ino, struct stat* attr, int toSet, fuse_file_info* fi)
{
    reply(req, "setattr", [&] {
        SessionData& data = session(req);
        std::shared_lock lock(data.renames);
        const auto path = data.nodes.pathOf(ino);
        const int rc = applyAttributes(*data.drive, path ? &*path : nullptr, *attr, toSet, fi);
        if (rc != 0) {
            return rc;
        }
        struct stat st
        {
        };
        const int found = attributesOf(req, ino, fi, &st);
        if (found == 0) {
            fuse_reply_attr(req, &st, kCacheSeconds);
        }
        return found;
    });
}

// Runs body with the node's plain path, which no rename moves meanwhile.
template <class Body> int withPath(fuse_req_t req, fuse_ino_t ino, Body&& body)
{
    SessionData& data = session(req);
    std::shared_lock lock(data.renames);
    const auto path = data.nodes.pathOf(ino);
    return path ? body(*data.drive, *path) : -ENOENT;
}

// Runs body with the plain path of name inside parent.
template <class Body> int withChildPath(fuse_req_t req, fuse_ino_t parent, const char* name, Body&& body)
{
    SessionData& data = session(req);
    std::shared_lock lock(data.renames);
    const auto path = data.nodes.childPath(parent, name);
    return path ? body(*data.drive, *path) : -ENOENT;
}

void onReadlink(fuse_req_t req, fuse_ino_t ino)
{
    reply(req, "readlink", [&] {
        return withPath(req, ino, [&](fs::DriveFs& fs, const std::string& path) {
            char target[PATH_MAX + 1];
            const int rc = fs.readlink(path, target, sizeof target);
            if (rc == 0) {
                fuse_reply_readlink(req, target);
            }
            return rc;
        });
    });
}

void onMknod(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode, dev_t device)
{
    reply(req, "mknod", [&] {
        return withChildPath(req, parent, name, [&](fs::DriveFs& fs, const std::string& path) {
            return replyNewEntry(req, parent, name, path, fs.mknod(path, mode, device, caller(req)));
        });
    });
}

void onMkdir(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode)
{
    reply(req, "mkdir", [&] {
        return withChildPath(req, parent, name, [&](fs::DriveFs& fs, const std::string& path) {
            return replyNewEntry(req, parent, name, path, fs.mkdir(path, mode, caller(req)));
        });
    });
}

void onSymlink(fuse_req_t req, const char* target, fuse_ino_t parent, const char* name)
{
    reply(req, "symlink", [&] {
        return withChildPath(req, parent, name, [&](fs::DriveFs& fs, const std::string& path) {
            return replyNewEntry(req, parent, name, path, fs.symlink(target, path, caller(req)));
        });
    });
}

void onLink(fuse_req_t req, fuse_ino_t ino, fuse_ino_t parent, const char* name)
{
    reply(req, "link", [&] {
        return withPath(req, ino, [&](fs::DriveFs& fs, const std::string& from) {
            const auto to = session(req).nodes.childPath(parent, name);
            if (!to) {
                return -ENOENT;
            }
            return replyNewEntry(req, parent, name, *to, fs.link(from, *to));
        });
    });
}

void onUnlink(fuse_req_t req, fuse_ino_t parent, const char* name)
{
    reply(req, "unlink", [&] {
        return withChildPath(req, parent, name, [&](fs::DriveFs& fs, const std::string& path) {
            const int rc = fs.unlink(path);
            if (rc == 0) {
                session(req).nodes.unlinked(parent, name);
            }
            return replyDone(req, rc);
        });
    });
}

void onRmdir(fuse_req_t req, fuse_ino_t parent, const char* name)
{
    reply(req, "rmdir", [&] {
        return withChildPath(req, parent, name, [&](fs::DriveFs& fs, const std::string& path) {
            const int rc = fs.rmdir(path);
            if (rc == 0) {
                session(req).nodes.unlinked(parent, name);
            }
            return replyDone(req, rc);
        });
    });
}

void onRename(fuse_req_t req, fuse_ino_t parent, const char* name, fuse_ino_t newParent, const char* newName,
              unsigned int flags)
{
    reply(req, "rename", [&] {
        SessionData& data = session(req);
        std::unique_lock lock(data.renames);
        const auto from = data.nodes.childPath(parent, name);
        const auto to = data.nodes.childPath(newParent, newName);
        if (!from || !to) {
            return -ENOENT;
        }
        const int rc = data.drive->rename(*from, *to, flags);
        if (rc == 0) {
            data.nodes.renamed(parent, name, newParent, newName, (flags & RENAME_EXCHANGE) != 0);
        }
        return replyDone(req, rc);
    });
}

// A write open of a file the serving user may not write is refused at once, as the kernel
// refused it from the mode bits where it checks permissions itself; nothing is opened.
int refuseUnwritable(fuse_req_t req, fs::DriveFs& fs, const std::string& path, int flags)
{
    if (session(req).kernelChecksPermissions || (flags & O_ACCMODE) == O_RDONLY) {
        return 0;
    }
    return fs.access(path, W_OK) == -EACCES ? -EACCES : 0;
}

// Writes through a write-only handle skip the page cache: nothing can read or map through
// such a handle, and the kernel then neither copies each write into the cache nor asks for
// "security.capability" before it. Files with set-id bits keep the cached path, on which the
// kernel clears those bits when someone writes.
bool writesDirectly(int flags, mode_t mode)
{
    return (flags & O_ACCMODE) == O_WRONLY && (mode & (S_ISUID | S_ISGID)) == 0;
}

void onOpen(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi)
{
    reply(req, "open", [&] {
        return withPath(req, ino, [&](fs::DriveFs& fs, const std::string& path) {
            int rc = refuseUnwritable(req, fs, path, fi->flags);
            if (rc == 0) {
                rc = fs.open(path, fi->flags, &fi->fh);
            }
            if (rc != 0) {
                return rc;
            }
            // Kept across opens; dropped when the kernel sees the size or time change.
            fi->keep_cache = 1;
            fi->noflush = fs.flushMayFail() ? 0 : 1;
            if ((fi->flags & O_ACCMODE) == O_WRONLY) {
                struct stat st
                {
                };
                fi->direct_io =
                    fs.fgetattr(fi->fh, &st) == 0 && writesDirectly(fi->flags, st.st_mode) ? 1 : 0;
            }
            session(req).nodes.opened(ino, fi->fh);
            if (fuse_reply_open(req, fi) != 0) {
                session(req).nodes.closed(ino, fi->fh);
                fs.release(fi->fh);
            }
            return 0;
        });
    });
}

void onCreate(fuse_req_t req, fuse_ino_t parent, const char* name, mode_t mode, fuse_file_info* fi)
{
    reply(req, "create", [&] {
        return withChildPath(req, parent, name, [&](fs::DriveFs& fs, const std::string& path) {
            int rc = fs.create(path, mode, fi->flags, &fi->fh, caller(req));
            if (rc != 0) {
                return rc;
            }
            // Each close of a file would otherwise cost a round trip that does nothing.
            fi->noflush = fs.flushMayFail() ? 0 : 1;
            fuse_entry_param entry{};
            rc = fs.fgetattr(fi->fh, &entry.attr);
            if (rc != 0) {
                fs.release(fi->fh);
                return rc;
            }
            fi->direct_io = writesDirectly(fi->flags, entry.attr.st_mode) ? 1 : 0;
            InodeTable& nodes = session(req).nodes;
            entry.ino = nodes.remember(parent, name, entry.attr);
            entry.attr_timeout = kCacheSeconds;
            entry.entry_timeout = kCacheSeconds;
            nodes.opened(entry.ino, fi->fh);
            if (fuse_reply_create(req, &entry, fi) != 0) {
                nodes.closed(entry.ino, fi->fh);
                nodes.forget(entry.ino, 1);
                fs.release(fi->fh);
            }
            return 0;
        });
    });
}

void onRead(fuse_req_t req, fuse_ino_t, size_t size, off_t offset, fuse_file_info* fi)
{
    reply(req, "read", [&] {
        // One buffer per serving thread, kept: no large allocation per request.
        thread_local std::vector<char> buffer;
        buffer.resize(std::max(buffer.size(), size));
        const ssize_t n = drive(req).read(fi->fh, buffer.data(), size, offset);
        if (n < 0) {
            return static_cast<int>(n);
        }
        fuse_reply_buf(req, buffer.data(), static_cast<size_t>(n));
        return 0;
    });
}

void onWrite(fuse_req_t req, fuse_ino_t, const char* data, size_t size, off_t offset, fuse_file_info* fi)
{
    reply(req, "write", [&] {
        const ssize_t n = drive(req).write(fi->fh, data, size, offset);
        if (n < 0) {
            return static_cast<int>(n);
        }
        fuse_reply_write(req, static_cast<size_t>(n));
        return 0;
    });
}

void onCopyFileRange(fuse_req_t req, fuse_ino_t, off_t inOffset, fuse_file_info* in, fuse_ino_t,
                     off_t outOffset, fuse_file_info* out, size_t length, int flags)
{
    reply(req, "copy_file_range", [&] {
        if (flags != 0) {
            return -EINVAL;
        }
        const ssize_t n = drive(req).copyFileRange(in->fh, inOffset, out->fh, outOffset, length);
        if (n < 0) {
            return static_cast<int>(n);
        }
        fuse_reply_write(req, static_cast<size_t>(n));
        return 0;
    });
}

void onFlush(fuse_req_t req, fuse_ino_t, fuse_file_info* fi)
{
    reply(req, "flush", [&] { return replyDone(req, drive(req).flush(fi->fh)); });
}

void onRelease(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi)
{
    reply(req, "release", [&] {
        session(req).nodes.closed(ino, fi->fh);
        return replyDone(req, drive(req).release(fi->fh));
    });
}

void onFsync(fuse_req_t req, fuse_ino_t, int dataOnly, fuse_file_info* fi)
{
    reply(req, "fsync", [&] { return replyDone(req, drive(req).fsync(fi->fh, dataOnly != 0)); });
}

// An open listing: the entries are read at its start (and again when a program rewinds), and
// handed out from where the kernel's last buffer ended.
struct Listing
{
    struct Entry
    {
        std::string name;
        struct stat st;
    };
    std::vector<Entry> entries;
    bool loaded = false;
    bool plus = false;
};

Listing& listingOf(fuse_file_info* fi)
{
    return *reinterpret_cast<Listing*>(static_cast<std::uintptr_t>(fi->fh));
}

void onOpendir(fuse_req_t req, fuse_ino_t, fuse_file_info* fi)
{
    reply(req, "opendir", [&] {
        auto listing = std::make_unique<Listing>();
        fi->fh = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(listing.get()));
        if (fuse_reply_open(req, fi) == 0) {
            listing.release(); // freed by releasedir
        }
        return 0;
    });
}

int loadListing(fuse_req_t req, fuse_ino_t ino, Listing& listing, bool plus)
{
    listing.entries.clear();
    listing.loaded = false;
    const int rc = withPath(req, ino, [&](fs::DriveFs& fs, const std::string& path) {
        return fs.readdir(
            path,
            [&](std::string_view name, const struct stat& st) {
                listing.entries.push_back({std::string(name), st});
                if (listing.entries.back().st.st_ino == 0) {
                    listing.entries.back().st.st_ino = kUnknownInode;
                }
                return true;
            },
            plus);
    });
    listing.loaded = rc == 0;
    listing.plus = plus;
    return rc;
}

bool isDotOrDotDot(const std::string& name)
{
    return name == "." || name == "..";
}

// Fills one kernel buffer from the entry at offset on. With plus every entry but "." and ".."
// is handed out as a node (one lookup each), so the kernel needs no lookup for it.
void readListing(fuse_req_t req, fuse_ino_t ino, size_t size, off_t offset, fuse_file_info* fi, bool plus)
{
    reply(req, plus ? "readdirplus" : "readdir", [&] {
        Listing& listing = listingOf(fi);
        if (offset == 0 || !listing.loaded || listing.plus != plus) {
            if (const int rc = loadListing(req, ino, listing, plus); rc != 0) {
                return rc;
            }
        }
        std::vector<char> buffer(size);
        size_t used = 0;
        InodeTable& nodes = session(req).nodes;
        for (auto index = static_cast<std::size_t>(std::max<off_t>(offset, 0));
             index < listing.entries.size(); ++index) {
            const Listing::Entry& entry = listing.entries[index];
            const auto next = static_cast<off_t>(index + 1);
            char* at = buffer.data() + used;
            const size_t room = size - used;
            size_t needed = 0;
            if (!plus) {
                needed = fuse_add_direntry(req, at, room, entry.name.c_str(), &entry.st, next);
            } else {
                fuse_entry_param param{};
                param.attr = entry.st;
                const bool node = !isDotOrDotDot(entry.name);
                if (node) {
                    param.ino = nodes.remember(ino, entry.name, entry.st);
                    param.attr_timeout = kCacheSeconds;
                    param.entry_timeout = kCacheSeconds;
                }
                needed = fuse_add_direntry_plus(req, at, room, entry.name.c_str(), &param, next);
                if (needed > room && node) {
                    nodes.forget(param.ino, 1); // did not fit: not handed out
                }
            }
            if (needed > room) {
                break;
            }
            used += needed;
        }
        fuse_reply_buf(req, buffer.data(), used);
        return 0;
    });
}

void onReaddir(fuse_req_t req, fuse_ino_t ino, size_t size, off_t offset, fuse_file_info* fi)
{
    readListing(req, ino, size, offset, fi, false);
}

void onReaddirplus(fuse_req_t req, fuse_ino_t ino, size_t size, off_t offset, fuse_file_info* fi)
{
    readListing(req, ino, size, offset, fi, true);
}

void onReleasedir(fuse_req_t req, fuse_ino_t, fuse_file_info* fi)
{
    delete &listingOf(fi);
    fuse_reply_err(req, 0);
}

void onStatfs(fuse_req_t req, fuse_ino_t)
{
    reply(req, "statfs", [&] {
        struct statvfs st
        {
        };
        const int rc = drive(req).statfs("/", &st);
        if (rc == 0) {
            fuse_reply_statfs(req, &st);
        }
        return rc;
    });
}

void onAccess(fuse_req_t req, fuse_ino_t ino, int mask)
{
    reply(req, "access", [&] {
        return withPath(req, ino, [&](fs::DriveFs& fs, const std::string& path) {
            return replyDone(req, fs.access(path, mask));
        });
    });
}

// Replies with a value or name list of n bytes, or with its size when the caller asked for that.
int replyXattr(fuse_req_t req, size_t size, const std::vector<char>& buffer, ssize_t n)
{
    if (n < 0) {
        return static_cast<int>(n);
    }
    if (size == 0) {
        fuse_reply_xattr(req, static_cast<size_t>(n));
    } else {
        fuse_reply_buf(req, buffer.data(), static_cast<size_t>(n));
    }
    return 0;
}

void onGetxattr(fuse_req_t req, fuse_ino_t ino, const char* name, size_t size)
{
    // The kernel asks for "security.capability" before every write and ls for a label and an
    // access list at every entry: answered at once, with no backing work.
    if (!fs::DriveFs::servesXattr(name)) {
        fuse_reply_err(req, EOPNOTSUPP);
        return;
    }
    reply(req, "getxattr", [&] {
        return withPath(req, ino, [&](fs::DriveFs& fs, const std::string& path) {
            std::vector<char> buffer(size);
            return replyXattr(req, size, buffer, fs.getxattr(path, name, buffer.data(), size));
        });
    });
}

void onListxattr(fuse_req_t req, fuse_ino_t ino, size_t size)
{
    reply(req, "listxattr", [&] {
        return withPath(req, ino, [&](fs::DriveFs& fs, const std::string& path) {
            std::vector<char> buffer(size);
            return replyXattr(req, size, buffer, fs.listxattr(path, buffer.data(), size));
        });
    });
}

void onSetxattr(fuse_req_t req, fuse_ino_t ino, const char* name, const char* value, size_t size, int flags)
{
    reply(req, "setxattr", [&] {
        return withPath(req, ino, [&](fs::DriveFs& fs, const std::string& path) {
            return replyDone(req, fs.setxattr(path, name, value, size, flags));
        });
    });
}

void onRemovexattr(fuse_req_t req, fuse_ino_t ino, const char* name)
{
    reply(req, "removexattr", [&] {
        return withPath(req, ino, [&](fs::DriveFs& fs, const std::string& path) {
            return replyDone(req, fs.removexattr(path, name));
        });
    });
}

fuse_lowlevel_ops makeOperations()
{
    fuse_lowlevel_ops ops{};
    ops.init = onInit;
    ops.lookup = onLookup;
    ops.forget = onForget;
    ops.forget_multi = onForgetMulti;
    ops.getattr = onGetattr;
    ops.setattr = onSetattr;
    ops.readlink = onReadlink;
    ops.mknod = onMknod;
    ops.mkdir = onMkdir;
    ops.symlink = onSymlink;
    ops.link = onLink;
    ops.unlink = onUnlink;
    ops.rmdir = onRmdir;
    ops.rename = onRename;
    ops.open = onOpen;
    ops.create = onCreate;
    ops.read = onRead;
    ops.write = onWrite;
    ops.flush = onFlush;
    ops.release = onRelease;
    ops.fsync = onFsync;
    ops.opendir = onOpendir;
    ops.readdir = onReaddir;
    ops.readdirplus = onReaddirplus;
    ops.releasedir = onReleasedir;
    ops.statfs = onStatfs;
    ops.access = onAccess;
    ops.setxattr = onSetxattr;
    ops.getxattr = onGetxattr;
    ops.copy_file_range = onCopyFileRange;
    ops.listxattr = onListxattr;
    ops.removexattr = onRemovexattr;
    return ops;
}

} // namespace

const fuse_lowlevel_ops& driveOperations()
{
    static const fuse_lowlevel_ops ops = makeOperations();
    return ops;
}

} // namespace kestrava::fuse
