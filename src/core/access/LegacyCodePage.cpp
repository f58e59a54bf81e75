#include "core/access/LegacyCodePage.h"

#include "core/fs/Utf8.h"
#include "core/settings/SavedPasswords.h"
#include "core/token/DriveContext.h"
#include "core/util/AsciiText.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <iconv.h>
#include <mutex>

namespace kestrava {
namespace {

std::mutex g_mutex;
std::string g_override;
std::string g_setting;

// Windows-1252's bytes 0x80-0x9F (0 where the code page leaves a byte undefined); the bytes
// 0xA0-0xFF are U+00A0-U+00FF.
constexpr std::array<char32_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// The next code point of valid UTF-8 at pos.
char32_t nextCodePoint(std::string_view text, std::size_t& pos)
{
    const auto lead = static_cast<unsigned char>(text[pos]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t value = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (std::size_t i = 1; i < length; ++i) {
        value = (value << 6) | (static_cast<unsigned char>(text[pos + i]) & 0x3F);
    }
    pos += length;
    return value;
}

std::optional<char> cp1252Byte(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        return static_cast<char>(c);
    }
    const auto* found = std::find(kCp1252High.begin(), kCp1252High.end(), c);
    if (c == 0 || found == kCp1252High.end()) {
        return std::nullopt;
    }
    return static_cast<char>(0x80 + (found - kCp1252High.begin()));
}

std::optional<std::string> toCp1252(std::string_view utf8)
{
    std::string out;
    for (std::size_t pos = 0; pos < utf8.size();) {
        const auto byte = cp1252Byte(nextCodePoint(utf8, pos));
        if (!byte) {
            return std::nullopt;
        }
        out += *byte;
    }
    return out;
}

std::optional<std::string> throughIconv(std::string_view utf8, std::string_view codePage)
{
    const std::string target = "CP" + std::string(codePage);
    iconv_t cd = ::iconv_open(target.c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    std::string input(utf8);
    std::string output(utf8.size() * 4 + 16, '\0');
    char* in = input.data();
    std::size_t inLeft = input.size();
    char* out = output.data();
    std::size_t outLeft = output.size();
    const std::size_t converted = ::iconv(cd, &in, &inLeft, &out, &outLeft);
    ::iconv_close(cd);
    std::fill(input.begin(), input.end(), '\0');
    if (converted == static_cast<std::size_t>(-1) || inLeft != 0) {
        return std::nullopt; // a character the code page lacks
    }
    output.resize(output.size() - outLeft);
    return output;
}

} // namespace

std::optional<std::string> normalizeCodePage(std::string_view name)
{
    std::string lower = util::asciiLower(name);
    for (std::string_view prefix : {"windows-", "cp"}) {
        if (lower.starts_with(prefix)) {
            lower.erase(0, prefix.size());
            break;
        }
    }
    if (lower.empty() || lower.size() > 5 || !std::all_of(lower.begin(), lower.end(), ::isdigit)) {
        return std::nullopt;
    }
    if (lower != kDefaultLegacyCodePage) {
        const std::string target = "CP" + lower;
        iconv_t cd = ::iconv_open(target.c_str(), "UTF-8");
        if (cd == reinterpret_cast<iconv_t>(-1)) {
            return std::nullopt;
        }
        ::iconv_close(cd);
    }
    return lower;
}

void setLegacyCodePageOverride(std::string codePage)
{
    std::lock_guard lock(g_mutex);
    g_override = std::move(codePage);
}

void setLegacyCodePageSetting(std::string codePage)
{
    std::lock_guard lock(g_mutex);
    g_setting = std::move(codePage);
}

std::string legacyCodePage()
{
    std::lock_guard lock(g_mutex);
    if (!g_override.empty()) {
        return g_override;
    }
    return g_setting.empty() ? std::string(kDefaultLegacyCodePage) : g_setting;
}

std::optional<std::string> toCodePage(std::string_view utf8, std::string_view codePage)
{
    if (!fs::isValidUtf8(utf8)) {
        return std::nullopt;
    }
    if (codePage == kDefaultLegacyCodePage) {
        return toCp1252(utf8);
    }
    return throughIconv(utf8, codePage);
}

std::vector<std::string> drivePasswordCandidates(std::string_view typed)
{
    std::vector<std::string> candidates{hashStr(typed)};
    if (auto legacy = toCodePage(typed, legacyCodePage()); legacy && *legacy != typed) {
        candidates.push_back(hashStr(*legacy));
        std::fill(legacy->begin(), legacy->end(), '\0');
    }
    return candidates;
}

std::string drivePasswordForNewToken(std::string_view typed, token::DriveFormat format)
{
    if (format == token::DriveFormat::Hardened) {
        return hashStr(typed);
    }
    auto legacy = toCodePage(typed, legacyCodePage());
    if (!legacy) {
        return hashStr(typed);
    }
    std::string drivePassword = hashStr(*legacy);
    std::fill(legacy->begin(), legacy->end(), '\0');
    return drivePassword;
}

std::optional<std::string> drivePasswordOpening(const std::filesystem::path& tokenPath,
                                                std::string_view typed)
{
    for (std::string& candidate : drivePasswordCandidates(typed)) {
        token::DriveContext probe(candidate);
        const token::TokenLoadStatus status = probe.unlock(tokenPath);
        if (status == token::TokenLoadStatus::Loaded) {
            return std::move(candidate);
        }
        if (status != token::TokenLoadStatus::WrongPassword) {
            return std::nullopt; // the token does not read: no other form will help
        }
    }
    return std::nullopt;
}

std::string drivePasswordFor(const std::filesystem::path& tokenPath, std::string_view typed)
{
    auto opening = drivePasswordOpening(tokenPath, typed);
    return opening ? std::move(*opening) : hashStr(typed);
}

} // namespace kestrava
