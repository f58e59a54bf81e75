// The conflict copies of each backing directory (see ConflictNames.h), found by decrypting
// every entry and kept per directory while the directory's times are those seen. The drive's
// own changes keep a map current without reading the directory again. A directory that
// changed lately may have changed again within the file system's timestamp granularity
// without its times moving, so a miss there is checked by looking for the stored names the
// copy could have; only when one exists is the directory read again. Names that could never
// be shown for a copy never come here, so most lookups of missing names cost nothing.
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

// A stored name of a backing directory decrypted exactly ("" when it is none of the drive's), and
// a plain name as it would be stored there (throws FsError when it cannot be). Both take the
// directory, since a format may encrypt each directory's names differently.
using DirNameDecoder = std::function<std::string(int dirFd, std::string_view stored)>;
using DirNameEncoder = std::function<std::string(int dirFd, std::string_view plain)>;

class ConflictIndex
{
public:
    // Shown name -> backing name and back, for one directory.
    struct Listing
    {
        std::map<std::string, std::string> shownByStored;
        std::map<std::string, std::string> storedByShown;
    };

    ConflictIndex(DirNameDecoder decode, DirNameEncoder encode)
        : m_decode(std::move(decode)), m_encode(std::move(encode))
    {
    }

    // The backing name of the copy shown as shownName in dirFd. Throws FsError when the
    // directory cannot be read.
    std::optional<std::string> find(int dirFd, std::string_view shownName);

    // The copies of dirFd (null when it holds none), read afresh when rescan is set.
    std::shared_ptr<const Listing> copiesIn(int dirFd, bool rescan = false);

    // The drive added or removed storedName in dirFd; before is the directory's stamp taken
    // just before. A map that was current then stays current when no copy's name can change.
    void noteChanged(int dirFd, const DirStamp& before, std::string_view storedName);

    // Whether a backing name is one of the drive's exact names.
    bool isExactName(int dirFd, std::string_view stored) const { return !m_decode(dirFd, stored).empty(); }

    // How many times a directory was read in full (for tests).
    std::size_t scanCount() const;

private:
    struct Entry
    {
        DirStamp stamp;
        bool settled = false; // a miss may be trusted without a second look
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
    // The directory's entry, read afresh (scanned set) unless current or rescan is asked.
    Entry current(int dirFd, bool rescan, bool* scanned);
    // Whether a stored name a copy shown as shownName could have exists in dirFd.
    bool mayHaveCopy(int dirFd, std::string_view shownName) const;

    DirNameDecoder m_decode;
    DirNameEncoder m_encode;
    mutable std::mutex m_mutex;
    std::unordered_map<Key, Entry, KeyHash> m_dirs;
    std::size_t m_scans = 0;
};

} // namespace kestrava::fs
