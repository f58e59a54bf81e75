// Finds plain paths in the backing folder relative to directory descriptors: each lookup
// starts at the backing root's descriptor and never follows a symbolic link or leaves the
// tree, so a sync client replacing folders cannot redirect us, and plain paths up to
// PATH_MAX work although their encrypted forms are longer.
#pragma once

#include "core/fs/CaseFoldCache.h"
#include "core/fs/ConflictIndex.h"
#include "core/fs/PathMapper.h"
#include "core/fs/UniqueFd.h"

#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace kestrava::fs {

// Where a plain path lives: the backing directory that holds it and its name there. For the
// root itself the directory is the root and the name is empty.
struct BackingLocation
{
    UniqueFd ownedDir; // unset when the parent is the backing root
    int dirFd = -1;
    std::string name;      // backing name of the last component
    std::string plainLeaf; // its plain name
    bool isRoot() const { return name.empty(); }
    // For the root, the descriptor itself is the entry: use "" with AT_EMPTY_PATH.
    const char* at() const { return name.c_str(); }
};

// How the last component is mapped: by the usual rule (plain only for the token name in the
// root), or as the source of a rename decided.
enum class LeafMapping
{
    Auto,
    Plain,
    Encrypted,
};

class BackingTree
{
public:
    BackingTree(int rootFd, const PathMapper& mapper, CaseFoldCache* caseFold, ConflictIndex* conflicts)
        : m_root(rootFd), m_mapper(mapper), m_caseFold(caseFold), m_conflicts(conflicts)
    {
    }

    // The entry must exist; a component missing under its encrypted name may be a sync
    // client's conflict copy shown under that name, or else is looked up ignoring case when
    // that is enabled. Below the root, a token-named entry stored plain (older builds did
    // so) is found when no encrypted one exists. st receives the entry's status. Throws
    // FsError (ENOENT...).
    BackingLocation locateExisting(std::string_view plainPath, struct stat* st = nullptr) const;

    // The parent must exist (found as above); the last component is mapped as is, for
    // creating it, unless it names a conflict copy, which then is the entry met. Throws FsError; EEXIST for
    // the root.
    BackingLocation locateNew(std::string_view plainPath, LeafMapping mapping = LeafMapping::Auto) const;

    // Whether a plain leaf name keeps its plain form under a mapping.
    bool leafIsPlain(std::string_view leaf, bool atRoot, LeafMapping mapping) const;

    int rootFd() const { return m_root; }
    CaseFoldCache* caseFold() const { return m_caseFold; }

private:
    BackingLocation openParent(const std::vector<std::string_view>& parts) const;
    int openChild(int dirFd, std::string_view plain) const;
    // A token-named entry below the root stored under its plain name, when names are encrypted.
    bool mayBeStoredPlain(std::string_view plain) const;
    // The backing name of a conflict copy shown as plain in dirFd.
    std::optional<std::string> conflictCopy(int dirFd, std::string_view plain) const;

    int m_root;
    const PathMapper& m_mapper;
    CaseFoldCache* m_caseFold;  // null when lookups are case-sensitive
    ConflictIndex* m_conflicts; // null when names are not encrypted
};

} // namespace kestrava::fs
