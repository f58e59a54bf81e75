// The names the kernel may hold cached attributes for, of files with several hard links. With
// the high-level API each path is a kernel node of its own, so a link added or removed through
// one name leaves the other names' cached link count stale until their attributes expire. The
// adapter asks here which other names to invalidate. Files with one link are never recorded,
// so the common case costs one comparison.
#pragma once

#include <atomic>
#include <cstddef>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace kestrava::fuse {

class LinkedNames
{
public:
    // Beyond this many names new ones are not recorded; their attributes then simply expire.
    static constexpr std::size_t kMaxNames = 100000;

    using FileId = std::pair<dev_t, ino_t>;

    // Remembers path when st describes a non-directory with several links.
    void note(std::string_view path, const struct stat& st);
    // Forgets path; the other remembered names of the file it named.
    std::vector<std::string> removed(std::string_view path);
    // The remembered names of a file, path excepted.
    std::vector<std::string> othersOf(const FileId& file, std::string_view path);
    // The file a remembered path names.
    bool fileOf(std::string_view path, FileId* file);
    // A rename: from (and, for a folder, everything below it) is now called to.
    void moved(std::string_view from, std::string_view to);
    bool empty() const { return !m_any.load(std::memory_order_relaxed); }

private:
    void forgetLocked(const std::string& path);

    std::mutex m_lock;
    std::atomic<bool> m_any{false};
    std::map<std::string, FileId, std::less<>> m_fileOf;
    std::map<FileId, std::set<std::string>> m_namesOf;
};

} // namespace kestrava::fuse
