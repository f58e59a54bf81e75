#include "core/fs/PathMapper.h"

#include "core/fs/FsError.h"
#include "core/fs/UniqueFd.h"

#include <fcntl.h>

namespace kestrava::fs {

bool IsTokenFileName(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    const std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return last == kTokenFileName;
}

std::vector<std::string_view> splitPath(std::string_view path)
{
    std::vector<std::string_view> parts;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t slash = path.find('/', pos);
        if (slash == std::string_view::npos) {
            slash = path.size();
        }
        if (slash > pos) {
            parts.push_back(path.substr(pos, slash - pos));
        }
        pos = slash + 1;
    }
    return parts;
}

std::string PathMapper::mapComponent(int dirFd, std::string_view name, bool keepPlain, bool forNew) const
{
    if (!m_encrypt || keepPlain) {
        return std::string(name);
    }
    return m_names.encryptName(dirFd, name, forNew);
}

std::string PathMapper::EncryptPath(std::string_view virtualPath) const
{
    const std::size_t colon = virtualPath.find(':');
    const std::string_view suffix =
        colon == std::string_view::npos ? std::string_view{} : virtualPath.substr(colon);
    const std::string_view path = virtualPath.substr(0, colon);
    std::string out;
    if (!path.empty() && path.front() == '/') {
        out += '/';
    }
    bool first = true;
    for (std::string_view part : splitPath(path)) {
        if (!first) {
            out += '/';
        }
        out += m_names.encryptName(-1, part, false);
        first = false;
    }
    out += suffix;
    return out;
}

std::string PathMapper::BuildBackingPath(const std::filesystem::path& backingFolder,
                                         std::string_view virtualPath) const
{
    std::string out = backingFolder.string();
    while (out.size() > 1 && out.back() == '/') {
        out.pop_back();
    }
    const std::vector<std::string_view> parts = splitPath(virtualPath);
    UniqueFd dir;
    if (!mapsAsText()) {
        dir.reset(checkSys(::open(out.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)));
    }
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        if (out.empty() || out.back() != '/') {
            out += '/';
        }
        const std::string stored =
            mapComponent(dir.get(), parts[i], last && i == 0 && parts[i] == kTokenFileName);
        out += stored;
        if (!last && !mapsAsText()) {
            dir.reset(
                checkSys(::openat(dir.get(), stored.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)));
        }
    }
    return out;
}

bool PathMapper::IsListableName(std::string_view backingName, std::string_view warningFolder, int dirFd) const
{
    if (backingName == warningFolder) {
        return false;
    }
    if (!m_encrypt) {
        return true;
    }
    return !m_names.decryptName(dirFd, backingName).empty();
}

std::string PathMapper::plainName(int dirFd, std::string_view backingName) const
{
    if (!m_encrypt) {
        return std::string(backingName);
    }
    return m_names.decryptName(dirFd, backingName);
}

bool PathMapper::IsReservedRootName(std::string_view name) const
{
    if (name == kTokenFileName) {
        return true;
    }
    // Encrypted, these names are stored as any other and hide nothing.
    return !m_encrypt && (name == kWarningFolderName || IsReplacedTokenName(name));
}

bool IsHiddenRootEntry(std::string_view backingName)
{
    return backingName == kTokenFileName || backingName == kWarningFolderName ||
           IsReplacedTokenName(backingName);
}

bool IsReplacedTokenName(std::string_view name)
{
    return name.size() > kReplacedTokenPrefix.size() && name.starts_with(kReplacedTokenPrefix);
}

std::string warningFolderName()
{
    return std::string(kWarningFolderName);
}

} // namespace kestrava::fs
