// The few UTF-8 services names need: strict validation and case folding for comparisons.
#pragma once

#include <string>
#include <string_view>

namespace kestrava::fs {

// True for well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view text);

// Lower-cases every character with the C library's wide-character rules of a UTF-8 locale;
// invalid sequences are kept as they are. Used only to compare names ignoring case.
std::string foldCase(std::string_view text);

} // namespace kestrava::fs
