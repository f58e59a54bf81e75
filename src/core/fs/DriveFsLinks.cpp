// Symbolic links, hard links and special files.
#include "core/fs/DriveFsSupport.h"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrava::fs {
namespace {
constexpr std::size_t kLinkBufferBytes = 4096;
}

int DriveFs::symlink(std::string_view target, std::string_view linkPath, const Caller& caller)
{
    return run("symlink", [&] {
        if (target.empty()) {
            throw FsError(ENOENT);
        }
        // The target is a path on the drive, so it is stored encrypted like a name.
        const std::string stored =
            m_options.fileNameEncryption ? m_codecs.names->encryptLinkTarget(target) : std::string(target);
        requireCreatableName(linkPath);
        const BackingLocation loc = m_tree.locateNew(linkPath);
        const DirStamp before = stampBefore(loc);
        checkSys(::symlinkat(stored.c_str(), loc.dirFd, loc.at()));
        handOver(loc, caller, false);
        noteAdded(loc, before);
        return 0;
    });
}

int DriveFs::readlink(std::string_view path, char* buffer, std::size_t size)
{
    return run("readlink", [&] {
        if (size == 0) {
            throw FsError(EINVAL);
        }
        const BackingLocation loc = m_tree.locateExisting(path);
        if (loc.isRoot()) {
            throw FsError(EINVAL);
        }
        char stored[kLinkBufferBytes];
        const ssize_t n = checkSys(::readlinkat(loc.dirFd, loc.at(), stored, sizeof stored));
        const std::string_view storedText(stored, static_cast<std::size_t>(n));
        const std::string plain = m_options.fileNameEncryption ? m_codecs.names->decryptLinkTarget(storedText)
                                                               : std::string(storedText);
        // Like readlink(2) the text is cut to fit, and always ends in a NUL here.
        const std::size_t copied = std::min(plain.size(), size - 1);
        std::memcpy(buffer, plain.data(), copied);
        buffer[copied] = '\0';
        return 0;
    });
}

int DriveFs::link(std::string_view from, std::string_view to)
{
    return run("link", [&] {
        refuseTokenChange(from); // a second name would let it be changed through that name
        requireCreatableName(to);
        const BackingLocation source = m_tree.locateExisting(from);
        if (source.isRoot()) {
            throw FsError(EPERM);
        }
        const BackingLocation target = m_tree.locateNew(to, targetMapping(source));
        requireSameContentForm(source, target);
        const DirStamp before = stampBefore(target);
        checkSys(::linkat(source.dirFd, source.at(), target.dirFd, target.at(), 0));
        noteAdded(target, before);
        return 0;
    });
}

int DriveFs::mknod(std::string_view path, mode_t mode, dev_t device, const Caller& caller)
{
    return run("mknod", [&] {
        requireCreatableName(path);
        const BackingLocation loc = m_tree.locateNew(path);
        const DirStamp before = stampBefore(loc);
        if (S_ISREG(mode) || (mode & S_IFMT) == 0) {
            const int fd = ::openat(loc.dirFd, loc.at(), O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC,
                                    mode & 07777);
            UniqueFd created(checkSys(fd));
        } else {
            // FIFOs and sockets, and device nodes where the caller may make them: whatever
            // the backing file system allows, or its clean refusal (EPERM).
            checkSys(::mknodat(loc.dirFd, loc.at(), mode, device));
        }
        handOver(loc, caller, false);
        noteAdded(loc, before);
        return 0;
    });
}

} // namespace kestrava::fs
