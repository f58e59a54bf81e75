#include "core/app/LanguagePack.h"

#include "core/settings/SettingsDocument.h"
#include "core/util/AtomicFile.h"

#include <charconv>

namespace kestrava::lang {

std::string escapePackText(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string unescapePackText(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        switch (next) {
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case '\\':
            out += '\\';
            break;
        default: // an unknown escape stays as written
            out += '\\';
            out += next;
        }
    }
    return out;
}

std::optional<LanguagePack> LanguagePack::parse(std::string_view text, std::string& error)
{
    if (!settings::isValidUtf8(text)) {
        error = "not UTF-8 text";
        return std::nullopt;
    }
    LanguagePack pack;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const std::size_t tab = line.find('\t');
        int id = 0;
        const auto [idEnd, ec] =
            std::from_chars(line.data(), line.data() + (tab == std::string_view::npos ? 0 : tab), id);
        if (tab == std::string_view::npos || tab == 0 || ec != std::errc() || idEnd != line.data() + tab ||
            id < 0) {
            error = "line " + std::to_string(lineNumber) + " is not \"id<TAB>text\"";
            return std::nullopt;
        }
        if (!pack.m_texts.emplace(id, unescapePackText(line.substr(tab + 1))).second) {
            error = "id " + std::to_string(id) + " appears twice (line " + std::to_string(lineNumber) + ")";
            return std::nullopt;
        }
    }
    return pack;
}

std::optional<LanguagePack> LanguagePack::load(const std::filesystem::path& file, std::string& error)
{
    std::string contents;
    if (!util::readSmallFile(file, kMaxPackBytes, contents, error)) {
        return std::nullopt;
    }
    return parse(contents, error);
}

std::string LanguagePack::text(int id) const
{
    const auto it = m_texts.find(id);
    return it == m_texts.end() ? std::string() : it->second;
}

bool isPackFileName(std::string_view name)
{
    return name.size() > kPackPrefix.size() + kPackExtension.size() && name.starts_with(kPackPrefix) &&
           name.ends_with(kPackExtension);
}

std::vector<std::string> placeholdersOf(std::string_view text)
{
    std::vector<std::string> found;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '%') {
            continue;
        }
        if (text[i + 1] == '%') {
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        while (j < text.size() &&
               std::string_view("-+ #0123456789.lhzL").find(text[j]) != std::string_view::npos) {
            ++j;
        }
        if (j < text.size() && std::string_view("sdiuxXcSf").find(text[j]) != std::string_view::npos) {
            found.emplace_back(text.substr(i, j - i + 1));
            i = j;
        }
    }
    return found;
}

} // namespace kestrava::lang
