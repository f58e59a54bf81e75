// How the program names its own version to the user (the about window, the program
// information): four parts, or two when the last two are zero.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace kestrava {

using VersionParts = std::array<unsigned, 4>;

// "1.2.3.4"; "1.2" when the last two parts are both zero; empty when all four are zero.
std::string versionText(const VersionParts& parts);

// "1.2.3.4" read into its parts; missing parts count as zero ("1.2" is 1.2.0.0). Nothing for
// text that is not one to four dot-separated numbers.
std::optional<VersionParts> parseVersionParts(std::string_view text);

// The version text of this build.
std::string programVersionText();

} // namespace kestrava
