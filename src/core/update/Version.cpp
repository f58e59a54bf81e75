#include "core/update/Version.h"

#include "core/Version.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace kestrava::update {
namespace {

constexpr std::size_t kMaxPieces = 4;
constexpr unsigned kMaxBuildPart = 65535;

// The pieces without their leading zeros, so that any length compares exactly as a number.
std::optional<std::vector<std::string_view>> splitVersion(std::string_view text)
{
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('.', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view piece = text.substr(start, end - start);
        start = end + 1;
        if (piece.empty()) {
            continue;
        }
        if (!std::all_of(piece.begin(), piece.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return std::nullopt;
        }
        if (pieces.size() == kMaxPieces) {
            return std::nullopt;
        }
        piece.remove_prefix(std::min(piece.find_first_not_of('0'), piece.size()));
        pieces.push_back(piece);
    }
    pieces.resize(kMaxPieces); // missing pieces are empty, which is 0
    return pieces;
}

int comparePiece(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return a.size() > b.size() ? 1 : -1;
    }
    const int order = a.compare(b);
    return order == 0 ? 0 : (order > 0 ? 1 : -1);
}

} // namespace

int compareVersions(std::string_view candidate, std::string_view reference)
{
    const auto left = splitVersion(candidate);
    if (!left) {
        return kCandidateUnparsable;
    }
    const auto right = splitVersion(reference);
    if (!right) {
        return kReferenceUnparsable;
    }
    for (std::size_t i = 0; i < kMaxPieces; ++i) {
        if (const int order = comparePiece((*left)[i], (*right)[i]); order != 0) {
            return order;
        }
    }
    return 0;
}

std::string versionTextFromBuild(std::string_view buildVersion)
{
    // Like a four-part file version: missing parts are 0, each part is 16 bits.
    std::array<unsigned, kMaxPieces> parts{};
    std::size_t count = 0;
    std::size_t start = 0;
    while (start <= buildVersion.size()) {
        std::size_t end = buildVersion.find('.', start);
        if (end == std::string_view::npos) {
            end = buildVersion.size();
        }
        const std::string_view piece = buildVersion.substr(start, end - start);
        if (count == kMaxPieces || piece.empty() || piece.size() > 5 ||
            !std::all_of(piece.begin(), piece.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return {};
        }
        parts[count] = static_cast<unsigned>(std::stoul(std::string(piece)));
        if (parts[count] > kMaxBuildPart) {
            return {};
        }
        ++count;
        start = end + 1;
    }
    if (std::all_of(parts.begin(), parts.end(), [](unsigned p) { return p == 0; })) {
        return {};
    }
    std::string text = std::to_string(parts[0]) + "." + std::to_string(parts[1]);
    if (parts[2] != 0 || parts[3] != 0) {
        text += "." + std::to_string(parts[2]) + "." + std::to_string(parts[3]);
    }
    return text;
}

std::string ownVersionText()
{
    return versionTextFromBuild(kProgramVersion);
}

} // namespace kestrava::update
