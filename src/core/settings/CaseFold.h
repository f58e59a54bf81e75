// Comparing names ignoring letter case, for UTF-8 text: letters outside ASCII are folded too
// (through the C.UTF-8 character classes), so "Ä" matches "ä" as it does for the user.
#pragma once

#include <string>
#include <string_view>

namespace kestrava::settings {

bool equalsIgnoringCase(std::string_view a, std::string_view b);

} // namespace kestrava::settings
