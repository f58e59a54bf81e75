// The program's language: finding the language packs, loading one as the source of every
// visible text, and the choice made at start and in the settings window (doLanguage). The
// choice is stored in the settings file's "Language" value: a pack's file name, or "English".
#pragma once

#include "core/app/LanguagePack.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::lang {

inline constexpr std::string_view kEnglish = "English";
// Passed by the driver-installing mode: the locale decides, the settings file is not read.
inline constexpr std::string_view kDriverInstall = "DRIVER_INSTALL";
inline constexpr std::string_view kLanguageValue = "Language";
inline constexpr std::string_view kLanguagePathVariable = "KESTRAVA_LANGUAGE_PATH";
// Per-character width the main window lays texts out with: Korean glyphs need more room.
inline constexpr int kNormalWidthFactor = 6;
inline constexpr int kWideWidthFactor = 20;
inline constexpr std::string_view kWidePackFileName = "lang_kor.lang";

struct LanguageRecord
{
    std::string fileName; // "lang_deu.lang"
    std::string displayName;
    std::string identifier; // decimal text
    std::filesystem::path path;
};

// Where packs are looked for, in order: each folder of $KESTRAVA_LANGUAGE_PATH (separated by
// ":"), the executable's folder, then the installed data folder when that is another one.
std::vector<std::filesystem::path> languageSearchFolders();

// Every readable pack in the folders, folder by folder (names sorted within a folder); a file
// name met again in a later folder is skipped. Unreadable packs are left out.
std::vector<LanguageRecord> findLanguagePacks(const std::vector<std::filesystem::path>& folders);

// The numeric language identifier of a locale name such as "de_DE.UTF-8" (1031); "C", "POSIX",
// empty and unknown locales give nothing.
std::optional<int> languageIdentifierForLocale(std::string_view locale);
// The user's from LC_ALL, LC_MESSAGES or LANG (the first that is set); 1033 when none is known.
int userDefaultLanguageIdentifier();

class Languages
{
public:
    using DefaultIdentifier = std::function<int()>;

    explicit Languages(std::vector<std::filesystem::path> folders = languageSearchFolders(),
                       DefaultIdentifier userDefault = userDefaultLanguageIdentifier);
    ~Languages();
    Languages(const Languages&) = delete;
    Languages& operator=(const Languages&) = delete;

    std::vector<LanguageRecord> find() const { return findLanguagePacks(m_folders); }

    // Releases the loaded pack and loads the named one (a file name found in the folders);
    // its texts then replace the English ones. False, with English in effect, when it cannot be
    // found or read.
    bool load(std::string_view fileName);
    // Back to the built-in English texts.
    void release();

    const std::optional<LanguageRecord>& loaded() const { return m_loaded; }
    int widthFactor() const;

    // The choice of language; returns the pack file name in effect afterwards (empty for
    // English). name: empty at start (the stored choice, else the locale's), a pack file name
    // or "English" from the settings window (stored in "Language"), or "DRIVER_INSTALL".
    // apply: load the named pack as well (a stored or matching pack is always loaded).
    std::string doLanguage(std::string_view name, bool apply, const std::filesystem::path& settingsPath);

    // The settings window's list: "English", then every pack with a name and an identifier.
    std::vector<std::string> listEntries() const;
    // The entry to select: the first whose start matches the loaded pack's name (ignoring
    // case), else "English".
    std::string selectedEntry(const std::vector<std::string>& entries) const;
    // A new selection: loads and stores the pack of that name, or English. False when no pack
    // has that name (nothing is loaded or stored then).
    bool choose(std::string_view entry, const std::filesystem::path& settingsPath);

private:
    std::string matchUserDefault(bool logMatch);

    std::vector<std::filesystem::path> m_folders;
    DefaultIdentifier m_userDefault;
    std::optional<LanguageRecord> m_loaded;
};

} // namespace kestrava::lang
