// Mapping of plain paths ("/docs/a.txt") to backing names, as text. The handlers resolve the
// same mapping relative to directory descriptors (BackingTree); these functions give the
// textual form for logs, tools and tests.
#pragma once

#include "core/fs/NameCodec.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::fs {

inline constexpr std::string_view kTokenFileName = ".qxsession.xml";
inline constexpr std::string_view kRootTokenPath = "/.qxsession.xml";

// The folder drive creation leaves in the backing folder to warn sync-client users. Its name is
// part of the on-disk format, the same in every interface language: a language pack must never
// change which folder creation writes or listings hide.
inline constexpr std::string_view kWarningFolderName = "Do not directly copy files to this folder!";

// When a new drive is made in a folder that already holds a token, the old token is kept beside
// it under this prefix plus a date, so the files it encrypted can still be opened. Such files
// belong to the backing folder, not to the drive.
inline constexpr std::string_view kReplacedTokenPrefix = ".qxsession.xml.replaced-";

// A backing-folder root entry named like a kept old token.
bool IsReplacedTokenName(std::string_view name);

// A backing-root entry the drive never lists: the token, the warning folder, kept old tokens.
bool IsHiddenRootEntry(std::string_view backingName);

// The last component (after the last "/", or the whole path) is exactly the token name.
bool IsTokenFileName(std::string_view path);

// The components of a path; empty components (doubled or trailing "/") are dropped.
std::vector<std::string_view> splitPath(std::string_view path);

class PathMapper
{
public:
    PathMapper(const NameCodec& names, bool fileNameEncryption)
        : m_names(names), m_encrypt(fileNameEncryption)
    {
    }

    bool encryptsNames() const { return m_encrypt; }
    const NameCodec& codec() const { return m_names; }
    // Whether paths can be mapped as text, without the backing directories.
    bool mapsAsText() const { return !m_encrypt || !m_names.perDirectory(); }

    // One component as stored in the backing directory dirFd: encrypted, or unchanged when
    // names are not encrypted or the component is the token name and stays plain. forNew: the
    // entry is about to be made. Throws FsError (EINVAL, ENAMETOOLONG).
    std::string mapComponent(int dirFd, std::string_view name, bool keepPlain, bool forNew = false) const;

    // Every component encrypted, "/" kept, and a named-stream suffix (from the first ":")
    // appended unchanged. Names on Linux may contain ":", so the handlers never use the
    // suffix form: extended attributes take the place of named streams. Only for formats
    // whose names do not depend on their directory.
    std::string EncryptPath(std::string_view virtualPath) const;

    // Whether a plain name in the drive's root would be stored as one of the entries the root
    // listing hides: such a name cannot be created there, or it would be invisible.
    bool IsReservedRootName(std::string_view name) const;

    // The full backing path: every component encrypted (when names are), except the root's
    // token, which stays plain; the root maps to the folder itself. Where names depend on
    // their directory, the existing directories are read on the way.
    std::string BuildBackingPath(const std::filesystem::path& backingFolder,
                                 std::string_view virtualPath) const;

    // Whether a backing directory entry is shown under its own decryption: never the warning
    // folder; with encrypted names, only names that are exactly one name of this drive's key
    // (conflict copies are shown under names of their own, see ConflictIndex).
    bool IsListableName(std::string_view backingName, std::string_view warningFolderName,
                        int dirFd = -1) const;

    // The plain name of a listable entry in dirFd (the name itself when names are not
    // encrypted); "" for entries that are not the drive's.
    std::string plainName(int dirFd, std::string_view backingName) const;

private:
    const NameCodec& m_names;
    bool m_encrypt;
};

// kWarningFolderName as a string.
std::string warningFolderName();

} // namespace kestrava::fs
