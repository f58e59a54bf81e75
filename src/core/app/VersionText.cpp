#include "core/app/VersionText.h"

#include "core/Version.h"

#include <charconv>
#include <cstdint>
#include <limits>

namespace kestrava {

std::string versionText(const VersionParts& parts)
{
    if (parts == VersionParts{}) {
        return {};
    }
    std::string text = std::to_string(parts[0]) + "." + std::to_string(parts[1]);
    if (parts[2] != 0 || parts[3] != 0) {
        text += "." + std::to_string(parts[2]) + "." + std::to_string(parts[3]);
    }
    return text;
}

std::optional<VersionParts> parseVersionParts(std::string_view text)
{
    VersionParts parts{};
    std::size_t count = 0;
    while (true) {
        if (count == parts.size()) {
            return std::nullopt;
        }
        const std::size_t dot = text.find('.');
        const std::string_view piece = text.substr(0, dot);
        unsigned value = 0;
        const auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
        if (piece.empty() || error != std::errc() || end != piece.data() + piece.size() ||
            value > std::numeric_limits<std::uint16_t>::max()) {
            return std::nullopt;
        }
        parts[count++] = value;
        if (dot == std::string_view::npos) {
            return parts;
        }
        text.remove_prefix(dot + 1);
    }
}

std::string programVersionText()
{
    const auto parts = parseVersionParts(kProgramVersion);
    return parts ? versionText(*parts) : std::string();
}

} // namespace kestrava
