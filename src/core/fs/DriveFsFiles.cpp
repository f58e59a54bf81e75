// File handlers: create, open, read, write, release, flush, fsync.
#include "core/fs/DriveFsSupport.h"

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace kestrava::fs {
namespace {

// Flags that only describe how the caller uses the handle, or that block-wise
// read-modify-write cannot honour on the backing file.
constexpr int kCallerOnlyFlags = O_ACCMODE | O_APPEND | O_CREAT | O_EXCL | O_NOCTTY | O_DIRECT;

int backingFlags(int flags, bool forWriting)
{
    return (flags & ~kCallerOnlyFlags) | (forWriting ? O_RDWR : O_RDONLY) | O_NOFOLLOW | O_CLOEXEC;
}

} // namespace

std::uint64_t DriveFs::openLocated(const BackingLocation& loc, int flags)
{
    const bool forWriting = (flags & O_ACCMODE) != O_RDONLY;
    auto file = std::make_unique<OpenFile>();
    int fd = ::openat(loc.dirFd, loc.at(), backingFlags(flags, forWriting));
    if (fd < 0 && errno == EACCES && forWriting) {
        // A read-only backing file still opens, for reading.
        fd = ::openat(loc.dirFd, loc.at(), backingFlags(flags & ~O_TRUNC, false));
        file->readOnly = true;
    }
    file->fd.reset(checkSys(fd));
    struct stat st
    {
    };
    checkSys(::fstat(file->fd.get(), &st));
    if (S_ISDIR(st.st_mode)) {
        throw FsError(EISDIR);
    }
    if ((flags & O_ACCMODE) != O_WRONLY) {
        // The kernel asks for a file in small pieces; a wider read-ahead of the backing file
        // keeps the disk ahead of them (random reads are not widened).
        ::posix_fadvise(file->fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    file->inode = m_files.inode(st.st_dev, st.st_ino);
    file->append = (flags & O_APPEND) != 0;
    file->plainContents = storesPlainContents(loc);
    return m_files.add(std::move(file));
}

int DriveFs::create(std::string_view path, mode_t mode, int flags, std::uint64_t* handle,
                    const Caller& caller)
{
    return run("create", [&] {
        requireCreatableName(path);
        const BackingLocation loc = m_tree.locateNew(path);
        const DirStamp before = stampBefore(loc);
        const int fd =
            ::openat(loc.dirFd, loc.at(), O_CREAT | O_EXCL | O_RDWR | O_NOFOLLOW | O_CLOEXEC, mode);
        UniqueFd created(checkSys(fd));
        handOver(loc, caller, false);
        noteAdded(loc, before);
        struct stat st
        {
        };
        checkSys(::fstat(created.get(), &st));
        auto file = std::make_unique<OpenFile>();
        file->fd = std::move(created);
        file->inode = m_files.inode(st.st_dev, st.st_ino);
        file->append = (flags & O_APPEND) != 0;
        file->plainContents = storesPlainContents(loc);
        *handle = m_files.add(std::move(file));
        return 0;
    });
}

int DriveFs::open(std::string_view path, int flags, std::uint64_t* handle)
{
    return run("open", [&] {
        if ((flags & O_ACCMODE) != O_RDONLY || (flags & O_TRUNC) != 0) {
            refuseTokenChange(path);
        }
        const BackingLocation loc = m_tree.locateExisting(path);
        if (loc.isRoot()) {
            throw FsError(EISDIR);
        }
        *handle = openLocated(loc, flags);
        return 0;
    });
}

int DriveFs::release(std::uint64_t handle)
{
    return run("release", [&] {
        m_files.remove(handle);
        return 0;
    });
}

ssize_t DriveFs::read(std::uint64_t handle, char* buffer, std::size_t size, off_t offset)
{
    return run("read", [&]() -> ssize_t {
        requireRange(offset, size);
        const auto file = m_files.get(handle);
        auto* bytes = reinterpret_cast<crypto::Byte*>(buffer);
        const auto at = static_cast<std::uint64_t>(offset);
        if (file->plainContents) {
            return static_cast<ssize_t>(readPlain(file->fd.get(), at, bytes, size));
        }
        return static_cast<ssize_t>(
            m_codecs.content->read(file->fd.get(), file->inode->blocks, at, bytes, size));
    });
}

ssize_t DriveFs::write(std::uint64_t handle, const char* buffer, std::size_t size, off_t offset)
{
    return run("write", [&]() -> ssize_t {
        requireRange(offset, size);
        const auto file = m_files.get(handle);
        if (file->readOnly) {
            throw FsError(EACCES);
        }
        const auto* bytes = reinterpret_cast<const crypto::Byte*>(buffer);
        auto at = static_cast<std::uint64_t>(offset);
        if (file->plainContents) {
            if (file->append) {
                at = fileSize(file->fd.get());
            }
            return static_cast<ssize_t>(writePlain(file->fd.get(), at, bytes, size));
        }
        return static_cast<ssize_t>(
            m_codecs.content->write(file->fd.get(), file->inode->blocks, at, bytes, size, file->append));
    });
}

int DriveFs::flush(std::uint64_t handle)
{
    return run("flush", [&] {
        const auto file = m_files.get(handle);
        // Closing a duplicate reports write-back errors some file systems keep for close.
        checkSys(::close(checkSys(::dup(file->fd.get()))));
        return 0;
    });
}

ssize_t DriveFs::copyFileRange(std::uint64_t inHandle, off_t inOffset, std::uint64_t outHandle,
                               off_t outOffset, std::size_t length)
{
    // One request copies this much at most; callers carry on after a short count.
    constexpr std::size_t kMostPerCall = 64 * 1024 * 1024;
    constexpr std::size_t kPiece = 1024 * 1024;
    return run("copy_file_range", [&]() -> ssize_t {
        length = std::min(length, kMostPerCall);
        requireRange(inOffset, length);
        requireRange(outOffset, length);
        const auto in = m_files.get(inHandle);
        const auto out = m_files.get(outHandle);
        if (out->readOnly) {
            throw FsError(EACCES);
        }
        if (!in->plainContents && !out->plainContents && !out->append) {
            const std::size_t copied = m_codecs.content->copyStored(
                in->fd.get(), in->inode->blocks, static_cast<std::uint64_t>(inOffset), out->fd.get(),
                out->inode->blocks, static_cast<std::uint64_t>(outOffset), length);
            if (copied > 0) {
                return static_cast<ssize_t>(copied);
            }
        }
        // Through the contents, a piece at a time.
        std::vector<char> buffer(std::min(length, kPiece));
        std::size_t total = 0;
        while (total < length) {
            const std::size_t want = std::min(buffer.size(), length - total);
            const ssize_t got = read(inHandle, buffer.data(), want, inOffset + static_cast<off_t>(total));
            if (got <= 0) {
                if (got < 0 && total == 0) {
                    throw FsError(static_cast<int>(-got));
                }
                break;
            }
            const ssize_t put = write(outHandle, buffer.data(), static_cast<std::size_t>(got),
                                      outOffset + static_cast<off_t>(total));
            if (put < 0) {
                if (total == 0) {
                    throw FsError(static_cast<int>(-put));
                }
                break;
            }
            total += static_cast<std::size_t>(put);
            if (static_cast<std::size_t>(got) < want) {
                break; // the end of the source
            }
        }
        return static_cast<ssize_t>(total);
    });
}

int DriveFs::fsync(std::uint64_t handle, bool dataOnly)
{
    return run("fsync", [&] {
        const auto file = m_files.get(handle);
        checkSys(dataOnly ? ::fdatasync(file->fd.get()) : ::fsync(file->fd.get()));
        return 0;
    });
}

} // namespace kestrava::fs
