#include "core/host/MountTable.h"

#include "core/util/AtomicFile.h"

#include <sstream>

namespace kestrava::host {
namespace {

constexpr std::string_view kFsNamePrefix = "kestrava:";

std::string unescapeField(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        const bool octal = field[i] == '\\' && i + 3 < field.size();
        if (octal && field[i + 1] >= '0' && field[i + 1] <= '3' && field[i + 2] >= '0' &&
            field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
            out.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                            (field[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(field[i]);
        }
    }
    return out;
}

std::vector<std::string_view> splitFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    while (pos < line.size()) {
        const std::size_t end = line.find(' ', pos);
        const std::size_t stop = end == std::string_view::npos ? line.size() : end;
        if (stop > pos) {
            fields.push_back(line.substr(pos, stop - pos));
        }
        pos = stop + 1;
    }
    return fields;
}

} // namespace

std::vector<MountEntry> parseMountInfo(std::string_view text)
{
    std::vector<MountEntry> entries;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find('\n', pos);
        const std::size_t stop = end == std::string_view::npos ? text.size() : end;
        const std::vector<std::string_view> fields = splitFields(text.substr(pos, stop - pos));
        pos = stop + 1;
        // id parent major:minor root mount-point options [optional...] - type source super-options
        std::size_t dash = 6;
        while (dash < fields.size() && fields[dash] != "-") {
            ++dash;
        }
        if (fields.size() < 7 || dash + 2 >= fields.size()) {
            continue;
        }
        entries.push_back(
            {unescapeField(fields[4]), unescapeField(fields[dash + 1]), unescapeField(fields[dash + 2])});
    }
    return entries;
}

std::vector<MountEntry> readMountTable(const std::filesystem::path& file)
{
    std::string text;
    std::string error;
    if (!util::readSmallFile(file, 64u << 20, text, error)) {
        return {};
    }
    return parseMountInfo(text);
}

namespace {
std::filesystem::path comparable(const std::filesystem::path& folder)
{
    std::filesystem::path normal = folder.lexically_normal();
    if (!normal.has_filename() && normal != normal.root_path()) {
        normal = normal.parent_path(); // "/m/K/" names the same folder as "/m/K"
    }
    return normal;
}
} // namespace

std::optional<MountEntry> findMount(const std::vector<MountEntry>& table, const std::filesystem::path& folder)
{
    const std::filesystem::path wanted = comparable(folder);
    for (auto it = table.rbegin(); it != table.rend(); ++it) {
        if (comparable(it->mountPoint) == wanted) {
            return *it;
        }
    }
    return std::nullopt;
}

std::string driveFsName(std::string_view label)
{
    return std::string(kFsNamePrefix) + std::string(label);
}

std::optional<std::string> labelFromFsName(std::string_view fsName)
{
    if (fsName.substr(0, kFsNamePrefix.size()) != kFsNamePrefix) {
        return std::nullopt;
    }
    return std::string(fsName.substr(kFsNamePrefix.size()));
}

} // namespace kestrava::host
