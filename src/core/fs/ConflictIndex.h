// The conflict copies of each backing directory (see ConflictNames.h), found by decrypting
// every entry and kept per directory while the directory's times are those seen at the scan.
// A scan made while the directory had changed within the file system's timestamp granularity
// may have missed a change that leaves the times as they were; such a scan answers what it
// found but is not trusted for a miss. Names that could never be shown for a copy never come
// here, so most lookups of missing names cost nothing.
#pragma once

#include "core/fs/CaseFoldCache.h"
#include "core/fs/ConflictNames.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace kestrava::fs {

class ConflictIndex
{
public:
    // Shown name -> backing name and back, for one directory.
    struct Listing
    {
        std::map<std::string, std::string> shownByStored;
        std::map<std::string, std::string> storedByShown;
    };

    explicit ConflictIndex(ExactNameDecoder decode) : m_decode(std::move(decode)) {}

    // The backing name of the copy shown as shownName in dirFd. Throws FsError when the
    // directory cannot be read.
    std::optional<std::string> find(int dirFd, std::string_view shownName);

    // The copies of dirFd; null when it holds none.
    std::shared_ptr<const Listing> copiesIn(int dirFd);

    // How many times a directory was read in full (for tests).
    std::size_t scanCount() const;

private:
    struct Entry
    {
        DirStamp stamp;
        bool settled = false; // a miss may be trusted
        std::shared_ptr<const Listing> listing;
    };
    using Key = std::pair<dev_t, ino_t>;
    struct KeyHash
    {
        std::size_t operator()(const Key& k) const noexcept
        {
            return std::hash<ino_t>{}(k.second) ^ (std::hash<dev_t>{}(k.first) << 1);
        }
    };

    std::shared_ptr<const Listing> scan(int dirFd) const;
    // The directory's entry, scanned afresh (scanned set) unless current and, when
    // needSettled, settled.
    Entry current(int dirFd, bool needSettled, bool* scanned);

    ExactNameDecoder m_decode;
    mutable std::mutex m_mutex;
    std::unordered_map<Key, Entry, KeyHash> m_dirs;
    std::size_t m_scans = 0;
};

} // namespace kestrava::fs
