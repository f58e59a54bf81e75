// Extended attributes. Reached through /proc/self/fd of an O_PATH descriptor, because the
// backing entry may be anything (a directory, a read-only file) and must not be opened for
// reading or followed if it is a link.
#include "core/fs/DriveFsSupport.h"

#include <algorithm>
#include <linux/limits.h>
#include <sys/xattr.h>
#include <vector>

namespace kestrava::fs {
namespace {
constexpr std::string_view kUserNamespace = "user.";

// The whole list of the backing entry's attribute names, read again if it grows meanwhile.
std::vector<char> backingNames(const std::string& target)
{
    for (;;) {
        const ssize_t size = checkSys(::listxattr(target.c_str(), nullptr, 0));
        std::vector<char> list(static_cast<std::size_t>(size));
        const ssize_t n = ::listxattr(target.c_str(), list.data(), list.size());
        if (n >= 0) {
            list.resize(static_cast<std::size_t>(n));
            return list;
        }
        if (errno != ERANGE) {
            throw FsError(errno);
        }
    }
}
} // namespace

bool DriveFs::servesXattr(std::string_view name)
{
    return !name.starts_with("security.") && !name.starts_with("system.");
}

bool DriveFs::encryptsXattr(const BackingLocation& loc, std::string_view name) const
{
    return name.substr(0, kUserNamespace.size()) == kUserNamespace && !storesPlainContents(loc);
}

int DriveFs::setxattr(std::string_view path, std::string_view name, const char* value, std::size_t size,
                      int flags)
{
    return run("setxattr", [&] {
        if (!servesXattr(name)) {
            throw FsError(EOPNOTSUPP);
        }
        refuseTokenChange(path);
        const BackingLocation loc = m_tree.locateExisting(path);
        UniqueFd holder;
        const std::string target = procPath(loc, holder);
        const std::string attr(name);
        if (!encryptsXattr(loc, name)) {
            checkSys(::setxattr(target.c_str(), attr.c_str(), value, size, flags));
            return 0;
        }
        const std::vector<crypto::Byte> stored =
            contents().sealValue(name, crypto::ByteView(reinterpret_cast<const crypto::Byte*>(value), size));
        checkSys(::setxattr(target.c_str(), attr.c_str(), stored.data(), stored.size(), flags));
        return 0;
    });
}

ssize_t DriveFs::getxattr(std::string_view path, std::string_view name, char* value, std::size_t size)
{
    return run("getxattr", [&]() -> ssize_t {
        if (!servesXattr(name)) {
            throw FsError(EOPNOTSUPP);
        }
        const BackingLocation loc = m_tree.locateExisting(path);
        UniqueFd holder;
        const std::string target = procPath(loc, holder);
        const std::string attr(name);
        if (!encryptsXattr(loc, name)) {
            return checkSys(::getxattr(target.c_str(), attr.c_str(), value, size));
        }
        // The stored value may be longer than the plain one: read it whole, then open it.
        std::vector<crypto::Byte> stored(XATTR_SIZE_MAX);
        const ssize_t n = checkSys(::getxattr(target.c_str(), attr.c_str(), stored.data(), stored.size()));
        stored.resize(static_cast<std::size_t>(n));
        if (size == 0) {
            return static_cast<ssize_t>(contents().plainValueSize(stored.size()));
        }
        const std::vector<crypto::Byte> plain = contents().openValue(name, stored);
        if (plain.size() > size) {
            throw FsError(ERANGE);
        }
        std::copy(plain.begin(), plain.end(), reinterpret_cast<crypto::Byte*>(value));
        return static_cast<ssize_t>(plain.size());
    });
}

ssize_t DriveFs::listxattr(std::string_view path, char* list, std::size_t size)
{
    return run("listxattr", [&]() -> ssize_t {
        const BackingLocation loc = m_tree.locateExisting(path);
        UniqueFd holder;
        const std::vector<char> all = backingNames(procPath(loc, holder));
        std::vector<char> shown;
        for (auto at = all.begin(); at != all.end();) {
            const auto end = std::find(at, all.end(), '\0');
            if (servesXattr(std::string_view(&*at, static_cast<std::size_t>(end - at)))) {
                shown.insert(shown.end(), at, end);
                shown.push_back('\0');
            }
            at = end == all.end() ? end : end + 1;
        }
        if (size == 0) {
            return static_cast<ssize_t>(shown.size());
        }
        if (shown.size() > size) {
            throw FsError(ERANGE);
        }
        std::copy(shown.begin(), shown.end(), list);
        return static_cast<ssize_t>(shown.size());
    });
}

int DriveFs::removexattr(std::string_view path, std::string_view name)
{
    return run("removexattr", [&] {
        if (!servesXattr(name)) {
            throw FsError(EOPNOTSUPP);
        }
        refuseTokenChange(path);
        const BackingLocation loc = m_tree.locateExisting(path);
        UniqueFd holder;
        checkSys(::removexattr(procPath(loc, holder).c_str(), std::string(name).c_str()));
        return 0;
    });
}

} // namespace kestrava::fs
