// Secrets reach logs only as their first four characters.
#pragma once

#include <string>
#include <string_view>

namespace kestrava::util {

std::string redact(std::string_view secret);

} // namespace kestrava::util
