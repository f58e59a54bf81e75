// Case-insensitive lookup of encrypted names. A backing directory can only be searched by
// decrypting every entry, so each directory's entries are kept as a map from the case-folded
// plain name to the stored names. A map is trusted only while the directory's modification
// and change times are those seen when it was built; changes made by this drive update it in
// place, changes made behind our back (a sync client) make it be rebuilt on the next miss.
#pragma once

#include "core/fs/NameCodec.h"

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <unordered_map>

namespace kestrava::fs {

// What identifies a directory and its state.
struct DirStamp
{
    dev_t dev = 0;
    ino_t ino = 0;
    timespec mtime{};
    timespec ctime{};

    static DirStamp of(const struct stat& st);
    bool sameDirectory(const DirStamp& other) const { return dev == other.dev && ino == other.ino; }
    bool operator==(const DirStamp& other) const;
};

class CaseFoldCache
{
public:
    explicit CaseFoldCache(const NameCodec& names) : m_names(names) {}

    // A stored name in dirFd whose plain name equals plainName ignoring case, if any.
    // Throws FsError when the directory cannot be read.
    std::optional<std::string> find(int dirFd, std::string_view plainName);

    // Records an entry this drive added to or removed from dirFd; before is the directory's
    // stamp taken just before the change. A map that was not current then is dropped.
    void noteAdded(int dirFd, const DirStamp& before, std::string_view storedName,
                   std::string_view plainName);
    void noteRemoved(int dirFd, const DirStamp& before, std::string_view storedName,
                     std::string_view plainName);

    // How many times a directory was read in full (for tests and benchmarks).
    std::size_t scanCount() const;

private:
    struct Entry
    {
        DirStamp stamp;
        std::unordered_multimap<std::string, std::string> names; // folded plain -> stored
    };
    struct KeyHash
    {
        std::size_t operator()(const std::pair<dev_t, ino_t>& k) const noexcept
        {
            return std::hash<ino_t>{}(k.second) ^ (std::hash<dev_t>{}(k.first) << 1);
        }
    };
    using Key = std::pair<dev_t, ino_t>;

    Entry scan(int dirFd, const DirStamp& stamp) const;
    void applyChange(int dirFd, const DirStamp& before, std::string_view stored, std::string_view plain,
                     bool add);

    const NameCodec& m_names;
    mutable std::mutex m_mutex;
    std::unordered_map<Key, Entry, KeyHash> m_dirs;
    std::size_t m_scans = 0;
};

// The stamp of an open directory. Throws FsError.
DirStamp stampOf(int dirFd);

} // namespace kestrava::fs
