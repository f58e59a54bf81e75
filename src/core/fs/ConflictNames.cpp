#include "core/fs/ConflictNames.h"

#include "core/util/AsciiText.h"

#include <algorithm>
#include <cctype>

namespace kestrava::fs {
namespace {

constexpr std::size_t kMaxShownNameBytes = 255;
constexpr std::size_t kMaxCopyNumberDigits = 6;
constexpr std::size_t kMaxMachineNameChars = 63;
constexpr std::size_t kMinPrefixChars = 2;

bool containsConflictWord(std::string_view text)
{
    return util::asciiLower(text).find("conflict") != std::string::npos;
}

bool isSuffixStart(char c)
{
    return c == ' ' || c == '-' || c == '_' || c == '.' || c == '~';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isMachineNameChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_';
}

bool enclosedIn(std::string_view text, char open, char close)
{
    return text.size() >= 3 && text.front() == open && text.back() == close;
}

bool isStrongSuffix(std::string_view suffix)
{
    if (suffix.empty() || !isSuffixStart(suffix.front())) {
        return false;
    }
    if (containsConflictWord(suffix)) {
        return true;
    }
    if (suffix.front() != ' ') {
        return false;
    }
    const std::string_view rest = suffix.substr(1);
    if (enclosedIn(rest, '(', ')') || enclosedIn(rest, '[', ']')) {
        return true;
    }
    if (!rest.empty() && rest.size() <= kMaxCopyNumberDigits &&
        std::all_of(rest.begin(), rest.end(), isDigit)) {
        return true;
    }
    return rest.starts_with("- Copy") || rest.starts_with("- copy");
}

bool isWeakSuffix(std::string_view suffix)
{
    return suffix.size() >= 2 && suffix.size() <= kMaxMachineNameChars + 1 && suffix.front() == '-' &&
           std::all_of(suffix.begin() + 1, suffix.end(), isMachineNameChar);
}

bool hasControlCharacter(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

} // namespace

bool isSyncSuffix(std::string_view suffix, bool weakAllowed)
{
    return isStrongSuffix(suffix) || (weakAllowed && isWeakSuffix(suffix));
}

std::optional<ConflictCopy> recogniseConflictCopy(std::string_view backingName,
                                                  const ExactNameDecoder& decode)
{
    for (const bool weak : {false, true}) {
        for (std::size_t split = backingName.size(); split-- > kMinPrefixChars;) {
            if (!isSuffixStart(backingName[split])) {
                continue;
            }
            const std::string_view suffix = backingName.substr(split);
            const bool matches =
                weak ? split >= kMinPrefixForWeakSuffix && isWeakSuffix(suffix) : isStrongSuffix(suffix);
            if (!matches) {
                continue;
            }
            std::string plain = decode(backingName.substr(0, split));
            if (!plain.empty() && !hasControlCharacter(plain)) {
                return ConflictCopy{std::move(plain), std::string(suffix)};
            }
        }
    }
    return std::nullopt;
}

std::string conflictDisplayName(std::string_view plainName, std::string_view suffix)
{
    const std::size_t dot = plainName.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == plainName.size()) {
        return std::string(plainName) + std::string(suffix);
    }
    std::string shown(plainName.substr(0, dot));
    shown += suffix;
    shown += plainName.substr(dot);
    return shown;
}

std::string numberedName(std::string_view name, int number)
{
    return conflictDisplayName(name, " (" + std::to_string(number) + ")");
}

bool mayBeConflictDisplayName(std::string_view plainName)
{
    if (plainName.find(" (") != std::string_view::npos || plainName.find(" [") != std::string_view::npos ||
        plainName.find('-') != std::string_view::npos || containsConflictWord(plainName)) {
        return true;
    }
    for (std::size_t space = plainName.find(' '); space != std::string_view::npos;
         space = plainName.find(' ', space + 1)) {
        if (space + 1 < plainName.size() && isDigit(plainName[space + 1])) {
            return true;
        }
    }
    return false;
}

namespace {

bool hasExtensionAt(std::string_view name, std::size_t dot)
{
    return dot != std::string_view::npos && dot != 0 && dot + 1 < name.size();
}

} // namespace

std::vector<ConflictCopy> possibleOrigins(std::string_view shownName)
{
    std::vector<ConflictCopy> origins;
    // The suffix went before the plain name's extension, which is the shown name's last one...
    const std::size_t dot = shownName.rfind('.');
    if (hasExtensionAt(shownName, dot)) {
        const std::string_view body = shownName.substr(0, dot);
        const std::string_view extension = shownName.substr(dot);
        for (std::size_t split = 1; split < body.size(); ++split) {
            if (isSuffixStart(body[split]) && isSyncSuffix(body.substr(split), true)) {
                origins.push_back({std::string(body.substr(0, split)) + std::string(extension),
                                   std::string(body.substr(split))});
            }
        }
    }
    // ...or at the end of a plain name without one.
    for (std::size_t split = 1; split < shownName.size(); ++split) {
        const std::string_view plain = shownName.substr(0, split);
        if (isSuffixStart(shownName[split]) && !hasExtensionAt(plain, plain.rfind('.')) &&
            isSyncSuffix(shownName.substr(split), true)) {
            origins.push_back({std::string(plain), std::string(shownName.substr(split))});
        }
    }
    return origins;
}

bool mayBeNumbered(std::string_view shownName)
{
    for (std::size_t open = shownName.find(" ("); open != std::string_view::npos;
         open = shownName.find(" (", open + 1)) {
        std::size_t pos = open + 2;
        while (pos < shownName.size() && isDigit(shownName[pos])) {
            ++pos;
        }
        if (pos > open + 2 && pos < shownName.size() && shownName[pos] == ')') {
            return true;
        }
    }
    return false;
}

std::map<std::string, std::string> assignDisplayNames(const std::set<std::string>& realNames,
                                                      const std::map<std::string, ConflictCopy>& copies)
{
    std::set<std::string> taken = realNames;
    std::map<std::string, std::string> shown;
    for (const auto& [stored, copy] : copies) {
        const std::string natural = conflictDisplayName(copy.plainName, copy.suffix);
        std::string name = natural;
        for (int number = 2; taken.count(name) != 0; ++number) {
            name = numberedName(natural, number);
        }
        if (name.size() > kMaxShownNameBytes) {
            continue;
        }
        taken.insert(name);
        shown.emplace(stored, std::move(name));
    }
    return shown;
}

} // namespace kestrava::fs
