// Language packs: the program's texts in another language, one file per language
// ("lang_<name>.lang"), read by the core and kestrava-cli as well as the desktop app. A pack is
// UTF-8 text with one text per line: the string id, a tab, the text, where "\n" stands for a
// line break, "\t" for a tab and "\\" for a backslash. Empty lines and lines starting with "#"
// are ignored. Id 274 holds the language's own name, id 277 its numeric language identifier.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::lang {

inline constexpr int kDisplayNameId = 274;
inline constexpr int kIdentifierId = 277;
inline constexpr std::string_view kPackPrefix = "lang_";
inline constexpr std::string_view kPackExtension = ".lang";
inline constexpr std::size_t kMaxPackBytes = 4 * 1024 * 1024;

class LanguagePack
{
public:
    // Reads a pack; nothing (with the reason in error) when the file cannot be read, is not
    // UTF-8 or has a line that is not "id<TAB>text", or names an id twice.
    static std::optional<LanguagePack> load(const std::filesystem::path& file, std::string& error);
    static std::optional<LanguagePack> parse(std::string_view text, std::string& error);

    // The text of id; empty when the pack lacks it.
    std::string text(int id) const;
    bool has(int id) const { return m_texts.count(id) != 0; }
    const std::map<int, std::string>& texts() const { return m_texts; }

private:
    std::map<int, std::string> m_texts;
};

// "\n", "\t" and "\\" written out, as a pack line holds a text.
std::string escapePackText(std::string_view text);
std::string unescapePackText(std::string_view text);

// Whether name has the form of a pack file name ("lang_" ... ".lang").
bool isPackFileName(std::string_view name);

// The placeholders of a text in order ("%s", "%d", ...; "%%" is none), for checking that a
// translation fills the same ones as the English text.
std::vector<std::string> placeholdersOf(std::string_view text);

} // namespace kestrava::lang
