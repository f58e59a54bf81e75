// The notification-area tooltip: which drives are mounted.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrava::drives {

inline constexpr std::size_t kMaxTooltipCharacters = 127;

// "Kestrava v<version>": the version line without the maker's name.
std::string programTitle(std::string_view version);

// "<title> - Active\n(Mounted Drives: E:, G:)" or "<title> - Not Active"; a text of 128
// characters or more is cut to 127 ending in "...)".
std::string trayTooltipText(std::string_view title, const std::vector<std::string>& mountedLetters);

} // namespace kestrava::drives
