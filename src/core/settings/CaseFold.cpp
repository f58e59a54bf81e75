#include "core/settings/CaseFold.h"

#include <clocale>
#include <cwctype>
#include <locale.h>
#include <vector>

namespace kestrava::settings {
namespace {

// The UTF-8 character classes, whatever locale the process runs in; null when unavailable,
// and then only ASCII letters fold.
locale_t utf8Locale()
{
    static const locale_t locale = [] {
        locale_t l = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        return l;
    }();
    return locale;
}

// Decodes one code point; invalid bytes stand for themselves so they still compare exactly.
char32_t nextCodePoint(std::string_view text, std::size_t& i)
{
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t extra = 0;
    char32_t cp = c;
    if (c >= 0xC0 && c < 0xE0) {
        extra = 1;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c < 0xF0) {
        extra = 2;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c < 0xF8) {
        extra = 3;
        cp = c & 0x07;
    }
    if (extra == 0 || text.size() - i <= extra) {
        ++i;
        return c < 0x80 ? cp : 0x110000 + c; // a lone byte never equals a decoded letter
    }
    for (std::size_t k = 1; k <= extra; ++k) {
        const auto cc = static_cast<unsigned char>(text[i + k]);
        if ((cc & 0xC0) != 0x80) {
            ++i;
            return 0x110000 + c;
        }
        cp = (cp << 6) | (cc & 0x3F);
    }
    i += extra + 1;
    return cp;
}

char32_t fold(char32_t cp)
{
    if (cp < 0x80) {
        return (cp >= 'A' && cp <= 'Z') ? cp + ('a' - 'A') : cp;
    }
    if (cp > 0x10FFFF) {
        return cp;
    }
    const locale_t locale = utf8Locale();
    if (locale == static_cast<locale_t>(nullptr)) {
        return cp;
    }
    return static_cast<char32_t>(::towlower_l(static_cast<wint_t>(cp), locale));
}

} // namespace

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (fold(nextCodePoint(a, i)) != fold(nextCodePoint(b, j))) {
            return false;
        }
    }
    return i == a.size() && j == b.size();
}

} // namespace kestrava::settings
