// Case folding of the ASCII letters only: file extensions, code-page names and the words sync
// clients put into names. Bytes of other characters stay as they are, whatever the locale, so
// UTF-8 text stays valid.
#pragma once

#include <string>
#include <string_view>

namespace kestrava::util {

inline std::string asciiLower(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

} // namespace kestrava::util
