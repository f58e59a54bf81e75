#include "core/settings/UserRegistry.h"

#include "core/app/ActivityLog.h"
#include "core/settings/FileLock.h"
#include "core/util/AtomicFile.h"

#include <functional>
#include <system_error>
#include <vector>

namespace kestrava::settings {
namespace {

constexpr std::size_t kMaxRegistryBytes = 1024 * 1024;

std::string_view trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// The file as lines, with a way to find a group's section and a key inside it. Lines the
// program does not understand (comments, other groups) pass through untouched.
struct IniLines
{
    std::vector<std::string> lines;

    static std::optional<std::string> groupOf(std::string_view line)
    {
        line = trim(line);
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            return std::string(line.substr(1, line.size() - 2));
        }
        return std::nullopt;
    }

    static std::optional<std::pair<std::string, std::string>> entryOf(std::string_view line)
    {
        const std::string_view t = trim(line);
        if (t.empty() || t.front() == ';' || t.front() == '#' || t.front() == '[') {
            return std::nullopt;
        }
        const auto eq = t.find('=');
        if (eq == std::string_view::npos) {
            return std::nullopt;
        }
        std::string_view value = t.substr(eq + 1);
        // Keep the value as written apart from the blanks around "=".
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
            value.remove_prefix(1);
        }
        return std::make_pair(std::string(trim(t.substr(0, eq))), std::string(value));
    }

    // [begin, end) of the group's lines after its header; begin == npos when absent.
    std::pair<std::size_t, std::size_t> section(std::string_view group) const
    {
        std::size_t begin = std::string::npos;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const auto name = groupOf(lines[i]);
            if (!name) {
                continue;
            }
            if (begin != std::string::npos) {
                return {begin, i};
            }
            if (*name == group) {
                begin = i + 1;
            }
        }
        return {begin, lines.size()};
    }

    std::optional<std::size_t> keyLine(std::string_view group, std::string_view key) const
    {
        const auto [begin, end] = section(group);
        if (begin == std::string::npos) {
            return std::nullopt;
        }
        for (std::size_t i = begin; i < end; ++i) {
            if (const auto entry = entryOf(lines[i]); entry && entry->first == key) {
                return i;
            }
        }
        return std::nullopt;
    }

    std::string text() const
    {
        std::string out;
        for (const std::string& line : lines) {
            out += line;
            out += '\n';
        }
        return out;
    }
};

enum class LoadResult
{
    Loaded,
    Missing,
    Failed,
};

LoadResult loadLines(const std::filesystem::path& file, IniLines& ini)
{
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(file, ec))) {
        return LoadResult::Missing;
    }
    std::string contents;
    std::string error;
    if (!util::readSmallFile(file, kMaxRegistryBytes, contents, error)) {
        writeLog("!UserRegistry: cannot read %s: %s", file.c_str(), error.c_str());
        return LoadResult::Failed;
    }
    std::size_t start = 0;
    while (start < contents.size()) {
        std::size_t end = contents.find('\n', start);
        if (end == std::string::npos) {
            end = contents.size();
        }
        ini.lines.emplace_back(contents.substr(start, end - start));
        start = end + 1;
    }
    return LoadResult::Loaded;
}

// One locked read-modify-write of the file. The change returns false when nothing changed.
bool modify(const std::filesystem::path& file, const std::function<bool(IniLines&)>& change)
{
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    FileLock lock(lockPathFor(file));
    if (!lock.locked()) {
        writeLog("!UserRegistry: %s", lock.error().c_str());
        return false;
    }
    removeAbandonedTemporaries(file);
    IniLines ini;
    if (loadLines(file, ini) == LoadResult::Failed) {
        return false;
    }
    if (!change(ini)) {
        return true;
    }
    const util::WriteResult result = util::writeFileAtomically(file, ini.text(), 0600);
    if (!result.ok) {
        writeLog("!UserRegistry: %s", result.message.c_str());
    }
    return result.ok;
}

bool hasLineBreak(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

} // namespace

UserRegistry::UserRegistry(std::filesystem::path file) : m_file(std::move(file)) {}

std::optional<std::string> UserRegistry::readValue(std::string_view group, std::string_view key) const
{
    IniLines ini;
    if (loadLines(m_file, ini) != LoadResult::Loaded) {
        return std::nullopt;
    }
    const auto line = ini.keyLine(group, key);
    if (!line) {
        return std::nullopt;
    }
    return IniLines::entryOf(ini.lines[*line])->second;
}

bool UserRegistry::writeValue(std::string_view group, std::string_view key, std::string_view value)
{
    if (hasLineBreak(group) || hasLineBreak(key) || hasLineBreak(value) ||
        key.find('=') != std::string_view::npos) {
        return false;
    }
    return modify(m_file, [&](IniLines& ini) {
        const std::string line = std::string(key) + "=" + std::string(value);
        if (const auto existing = ini.keyLine(group, key)) {
            if (ini.lines[*existing] == line) {
                return false;
            }
            ini.lines[*existing] = line;
            return true;
        }
        auto [begin, end] = ini.section(group);
        if (begin == std::string::npos) {
            if (!ini.lines.empty() && !trim(ini.lines.back()).empty()) {
                ini.lines.emplace_back();
            }
            ini.lines.push_back("[" + std::string(group) + "]");
            ini.lines.push_back(line);
            return true;
        }
        // After the group's last non-blank line, so blank separators stay between groups.
        while (end > begin && trim(ini.lines[end - 1]).empty()) {
            --end;
        }
        ini.lines.insert(ini.lines.begin() + static_cast<std::ptrdiff_t>(end), line);
        return true;
    });
}

bool UserRegistry::deleteValue(std::string_view group, std::string_view key)
{
    return modify(m_file, [&](IniLines& ini) {
        const auto line = ini.keyLine(group, key);
        if (!line) {
            return false;
        }
        ini.lines.erase(ini.lines.begin() + static_cast<std::ptrdiff_t>(*line));
        return true;
    });
}

bool UserRegistry::deleteGroup(std::string_view group)
{
    return modify(m_file, [&](IniLines& ini) {
        bool changed = false;
        // A group may appear more than once in a hand-edited file; all of it goes.
        for (;;) {
            const auto [begin, end] = ini.section(group);
            if (begin == std::string::npos) {
                break;
            }
            ini.lines.erase(ini.lines.begin() + static_cast<std::ptrdiff_t>(begin - 1),
                            ini.lines.begin() + static_cast<std::ptrdiff_t>(end));
            changed = true;
        }
        return changed;
    });
}

bool settingsRegistry(UserRegistry& registry, RegistryMode mode, std::string& settingsPath)
{
    switch (mode) {
    case RegistryMode::DeleteSection:
        return registry.deleteGroup(kRegistryGroup);
    case RegistryMode::WriteConfigFile:
        return registry.writeValue(kRegistryGroup, kConfigFileKey, settingsPath);
    case RegistryMode::ReadConfigFile:
        settingsPath = registry.readValue(kRegistryGroup, kConfigFileKey).value_or(std::string());
        return !settingsPath.empty();
    }
    return false;
}

} // namespace kestrava::settings
