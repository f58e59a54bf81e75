#include "core/app/Language.h"

#include "core/app/ActivityLog.h"
#include "core/app/StringTable.h"
#include "core/settings/Paths.h"
#include "core/settings/SettingsFile.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <set>
#include <system_error>

namespace kestrava::lang {
namespace {

struct LocaleIdentifier
{
    std::string_view locale; // "ll_CC", or "ll" for the language's usual identifier
    int identifier;
};

constexpr LocaleIdentifier kLocaleIdentifiers[] = {
    {"ar", 1025}, {"cs", 1029},    {"da", 1030},    {"de", 1031},    {"de_AT", 3079}, {"de_CH", 2055},
    {"el", 1032}, {"en", 1033},    {"en_GB", 2057}, {"es", 3082},    {"es_MX", 2058}, {"fi", 1035},
    {"fr", 1036}, {"fr_BE", 2060}, {"fr_CA", 3084}, {"fr_CH", 4108}, {"he", 1037},    {"hu", 1038},
    {"it", 1040}, {"ja", 1041},    {"ko", 1042},    {"nb", 1044},    {"nl", 1043},    {"pl", 1045},
    {"pt", 1046}, {"pt_PT", 2070}, {"ru", 1049},    {"sv", 1053},    {"tr", 1055},    {"uk", 1058},
    {"zh", 2052}, {"zh_TW", 1028},
};

std::optional<int> identifierFor(std::string_view key)
{
    for (const auto& entry : kLocaleIdentifiers) {
        if (entry.locale == key) {
            return entry.identifier;
        }
    }
    return std::nullopt;
}

std::optional<int> decimal(std::string_view text)
{
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    if (prefix.empty() || text.size() < prefix.size()) {
        return false;
    }
    return std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

} // namespace

std::vector<std::filesystem::path> languageSearchFolders()
{
    std::vector<std::filesystem::path> folders;
    if (const char* list = std::getenv(std::string(kLanguagePathVariable).c_str()); list != nullptr) {
        std::string_view rest(list);
        while (!rest.empty()) {
            const std::size_t colon = rest.find(':');
            const std::string_view folder = rest.substr(0, colon);
            if (!folder.empty()) {
                folders.emplace_back(folder);
            }
            rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        }
    }
    const std::filesystem::path beside = paths::executablePath().parent_path();
    folders.push_back(beside);
    if (const std::filesystem::path data = paths::languageFolder(); data != beside) {
        folders.push_back(data);
    }
    return folders;
}

std::vector<LanguageRecord> findLanguagePacks(const std::vector<std::filesystem::path>& folders)
{
    std::vector<LanguageRecord> records;
    std::set<std::string> seen;
    for (const auto& folder : folders) {
        std::vector<std::filesystem::path> files;
        std::error_code ec;
        for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            if (isPackFileName(it->path().filename().string()) && it->is_regular_file(ec)) {
                files.push_back(it->path());
            }
        }
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            const std::string name = file.filename().string();
            if (seen.count(name) != 0) {
                continue;
            }
            std::string error;
            const auto pack = LanguagePack::load(file, error);
            if (!pack) {
                writeLog("Language pack skipped: %s (%s)", file.string().c_str(), error.c_str());
                continue;
            }
            seen.insert(name);
            records.push_back({name, pack->text(kDisplayNameId), pack->text(kIdentifierId), file});
        }
    }
    return records;
}

std::optional<int> languageIdentifierForLocale(std::string_view locale)
{
    locale = locale.substr(0, locale.find_first_of(".@"));
    if (locale.empty() || locale == "C" || locale == "POSIX") {
        return std::nullopt;
    }
    if (const auto exact = identifierFor(locale)) {
        return exact;
    }
    return identifierFor(locale.substr(0, locale.find('_')));
}

int userDefaultLanguageIdentifier()
{
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return languageIdentifierForLocale(value).value_or(1033);
        }
    }
    return 1033;
}

Languages::Languages(std::vector<std::filesystem::path> folders, DefaultIdentifier userDefault)
    : m_folders(std::move(folders)), m_userDefault(std::move(userDefault))
{
}

Languages::~Languages()
{
    if (m_loaded) {
        setAppStringOverride(nullptr);
    }
}

bool Languages::load(std::string_view fileName)
{
    release();
    for (const auto& record : find()) {
        if (record.fileName != fileName) {
            continue;
        }
        std::string error;
        auto pack = LanguagePack::load(record.path, error);
        if (!pack) {
            writeLog("Language pack could not be loaded: %s (%s)", record.path.string().c_str(),
                     error.c_str());
            return false;
        }
        auto shared = std::make_shared<const LanguagePack>(std::move(*pack));
        setAppStringOverride([shared](int id) { return shared->text(id); });
        m_loaded = record;
        return true;
    }
    return false;
}

void Languages::release()
{
    if (m_loaded) {
        setAppStringOverride(nullptr);
        m_loaded.reset();
    }
}

int Languages::widthFactor() const
{
    return m_loaded && m_loaded->fileName == kWidePackFileName ? kWideWidthFactor : kNormalWidthFactor;
}

std::string Languages::matchUserDefault(bool logMatch)
{
    const int wanted = m_userDefault();
    for (const auto& record : find()) {
        if (decimal(record.identifier) == wanted) {
            if (logMatch) {
                writeLog("doLanguage: %d - SetLang: %s", wanted, record.fileName.c_str());
            }
            return load(record.fileName) ? record.fileName : std::string();
        }
    }
    return {};
}

std::string Languages::doLanguage(std::string_view name, bool apply,
                                  const std::filesystem::path& settingsPath)
{
    const std::string given(name);
    if (name == kDriverInstall) {
        writeLog("doLanguage: %s - GetUserDefaultLangID: %d", given.c_str(), m_userDefault());
        return matchUserDefault(false);
    }
    if (name.empty()) {
        const settings::LoadedSettings loaded = settings::loadSettings(settingsPath);
        if (loaded.status == settings::LoadStatus::Missing) {
            return matchUserDefault(true);
        }
        if (loaded.status != settings::LoadStatus::Loaded || !loaded.document.hasRoot()) {
            return {};
        }
        const std::string stored = loaded.document.value(kLanguageValue);
        writeLog("doLanguage: %s", stored.c_str());
        if (stored.ends_with(kPackExtension)) {
            if (apply) {
                load(stored);
            }
            return stored;
        }
        if (stored == kEnglish) {
            return {};
        }
        writeLog("doLanguage: %s - LANGID: %d", stored.c_str(), m_userDefault());
        return matchUserDefault(true);
    }
    if (apply && name.ends_with(kPackExtension)) {
        load(name);
    }
    settings::SettingsFile(settingsPath).setKestravaXmlValue(kLanguageValue, name);
    return given;
}

std::vector<std::string> Languages::listEntries() const
{
    std::vector<std::string> entries{std::string(kEnglish)};
    for (const auto& record : find()) {
        if (!record.displayName.empty() && !record.identifier.empty()) {
            entries.push_back(record.displayName);
        }
    }
    return entries;
}

std::string Languages::selectedEntry(const std::vector<std::string>& entries) const
{
    if (m_loaded) {
        for (const auto& entry : entries) {
            if (startsWithIgnoringCase(entry, m_loaded->displayName)) {
                return entry;
            }
        }
    }
    return std::string(kEnglish);
}

bool Languages::choose(std::string_view entry, const std::filesystem::path& settingsPath)
{
    if (entry == kEnglish) {
        release();
        doLanguage(kEnglish, false, settingsPath);
        return true;
    }
    for (const auto& record : find()) {
        if (record.displayName == entry) {
            load(record.fileName);
            doLanguage(record.fileName, false, settingsPath);
            return true;
        }
    }
    return false;
}

} // namespace kestrava::lang
