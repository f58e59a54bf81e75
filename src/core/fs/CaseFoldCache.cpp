#include "core/fs/CaseFoldCache.h"

#include "core/fs/FsError.h"
#include "core/fs/UniqueFd.h"
#include "core/fs/Utf8.h"

#include <dirent.h>
#include <fcntl.h>

namespace kestrava::fs {
namespace {

// Directories whose maps are kept; beyond this the cache starts afresh.
constexpr std::size_t kMaxDirectories = 256;

bool sameTime(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

DirStamp DirStamp::of(const struct stat& st)
{
    return DirStamp{st.st_dev, st.st_ino, st.st_mtim, st.st_ctim};
}

bool DirStamp::operator==(const DirStamp& other) const
{
    return sameDirectory(other) && sameTime(mtime, other.mtime) && sameTime(ctime, other.ctime);
}

DirStamp stampOf(int dirFd)
{
    struct stat st
    {
    };
    checkSys(::fstat(dirFd, &st));
    return DirStamp::of(st);
}

CaseFoldCache::Entry CaseFoldCache::scan(int dirFd, const DirStamp& stamp) const
{
    Entry entry;
    entry.stamp = stamp;
    UniqueFd fd(checkSys(::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
    DIR* dir = ::fdopendir(fd.get());
    if (dir == nullptr) {
        throw FsError(errno);
    }
    fd.release();
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view stored = e->d_name;
        if (stored == "." || stored == "..") {
            continue;
        }
        std::string plain = m_names.decryptName(dirFd, stored);
        if (!plain.empty()) {
            entry.names.emplace(foldCase(plain), std::string(stored));
        }
    }
    ::closedir(dir);
    return entry;
}

std::optional<std::string> CaseFoldCache::find(int dirFd, std::string_view plainName)
{
    const DirStamp stamp = stampOf(dirFd);
    const std::string folded = foldCase(plainName);
    const Key key{stamp.dev, stamp.ino};
    std::unique_lock lock(m_mutex);
    auto it = m_dirs.find(key);
    if (it == m_dirs.end() || !(it->second.stamp == stamp)) {
        lock.unlock();
        Entry fresh = scan(dirFd, stamp);
        lock.lock();
        ++m_scans;
        if (m_dirs.size() >= kMaxDirectories) {
            m_dirs.clear();
        }
        it = m_dirs.insert_or_assign(key, std::move(fresh)).first;
    }
    auto found = it->second.names.find(folded);
    if (found == it->second.names.end()) {
        return std::nullopt;
    }
    return found->second;
}

void CaseFoldCache::applyChange(int dirFd, const DirStamp& before, std::string_view stored,
                                std::string_view plain, bool add)
{
    const Key key{before.dev, before.ino};
    std::lock_guard lock(m_mutex);
    auto it = m_dirs.find(key);
    if (it == m_dirs.end()) {
        return;
    }
    struct stat st
    {
    };
    if (!(it->second.stamp == before) || ::fstat(dirFd, &st) != 0) {
        m_dirs.erase(it);
        return;
    }
    auto& names = it->second.names;
    const std::string folded = foldCase(plain);
    if (add) {
        names.emplace(folded, std::string(stored));
    } else {
        auto [first, last] = names.equal_range(folded);
        for (auto n = first; n != last; ++n) {
            if (n->second == stored) {
                names.erase(n);
                break;
            }
        }
    }
    it->second.stamp = DirStamp::of(st);
}

void CaseFoldCache::noteAdded(int dirFd, const DirStamp& before, std::string_view storedName,
                              std::string_view plainName)
{
    applyChange(dirFd, before, storedName, plainName, true);
}

void CaseFoldCache::noteRemoved(int dirFd, const DirStamp& before, std::string_view storedName,
                                std::string_view plainName)
{
    applyChange(dirFd, before, storedName, plainName, false);
}

std::size_t CaseFoldCache::scanCount() const
{
    std::lock_guard lock(m_mutex);
    return m_scans;
}

} // namespace kestrava::fs
