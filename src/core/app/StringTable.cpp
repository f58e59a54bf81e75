#include "core/app/StringTable.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <utility>

namespace kestrava {
namespace {

struct Entry
{
    int id;
    std::string_view text;
};

constexpr Entry kEnglish[] = {
#define KS(id, text) {id, text},
#include "core/app/StringTableEn.inc"
#undef KS
};

constexpr bool isSortedUnique()
{
    for (std::size_t i = 1; i < std::size(kEnglish); ++i) {
        if (kEnglish[i - 1].id >= kEnglish[i].id) {
            return false;
        }
    }
    return true;
}
static_assert(isSortedUnique(), "the string table must be sorted by id without duplicates");

std::mutex g_overrideMutex;
StringOverride g_override;

} // namespace

std::string_view englishAppString(int id)
{
    const auto* it = std::lower_bound(std::begin(kEnglish), std::end(kEnglish), id,
                                      [](const Entry& e, int value) { return e.id < value; });
    return (it != std::end(kEnglish) && it->id == id) ? it->text : std::string_view();
}

std::vector<int> appStringIds()
{
    std::vector<int> ids;
    for (const Entry& e : kEnglish) {
        ids.push_back(e.id);
    }
    return ids;
}

void setAppStringOverride(StringOverride lookup)
{
    std::lock_guard lock(g_overrideMutex);
    g_override = std::move(lookup);
}

std::string loadAppString(int id)
{
    {
        std::lock_guard lock(g_overrideMutex);
        if (g_override) {
            std::string translated = g_override(id);
            if (!translated.empty()) {
                return translated;
            }
        }
    }
    return std::string(englishAppString(id));
}

std::string formatAppString(std::string_view text, const std::vector<std::string>& arguments)
{
    std::string out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        // Skip flags, width and length modifiers such as "%02d" or "%ls".
        std::size_t j = i + 1;
        if (text[j] == '%') {
            out += '%';
            i = j;
            continue;
        }
        while (j < text.size() &&
               std::string_view("-+ #0123456789.lhzL").find(text[j]) != std::string_view::npos) {
            ++j;
        }
        if (j < text.size() && std::string_view("sdiuxXcSf").find(text[j]) != std::string_view::npos) {
            if (next < arguments.size()) {
                out += arguments[next];
            }
            ++next;
            i = j;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace kestrava
