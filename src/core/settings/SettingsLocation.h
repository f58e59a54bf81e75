// Finding the settings file at start, checking it, and the choices of the dialog that moves
// it. The chosen path is handed to a SettingsFile; nothing here is process-wide.
#pragma once

#include "core/settings/SettingsFile.h"
#include "core/settings/UserRegistry.h"

#include <filesystem>
#include <string_view>

namespace kestrava {
class Prompter;
}

namespace kestrava::settings {

// Message ids of this subsystem (texts in the string table).
inline constexpr int kMsgSettingsNotFound = 1101;   // Yes/No: use the default location instead?
inline constexpr int kMsgSettingsCorrupted = 1102;  // the digest does not match
inline constexpr int kMsgSettingsIsFolder = 1108;   // Yes/No: the configured path is a folder
inline constexpr int kMsgSettingsUnreadable = 1109; // Yes/No: the configured file cannot be read
inline constexpr int kMsgSettingsNoFolder = 1110;   // Yes/No: the configured file's folder is missing
// Texts of the settings-location dialog.
inline constexpr int kTextConfigFileCaption = 1103;
inline constexpr int kTextConfigFileExplanation = 1104;
inline constexpr int kTextConfigFileNewLocation = 1105;
inline constexpr int kTextConfigFileDefaultLocation = 1106;
inline constexpr int kTextConfigFileFilter = 1107;
inline constexpr int kTextConfigFileMove = 209;
inline constexpr int kTextConfigFileFolderTitle = 58;
inline constexpr std::string_view kConfigFileDefaultExtension = ".xml";

struct LocatedSettings
{
    std::filesystem::path path;
    bool configured = false; // the path came from "ConfigFile"
    bool unanswered = false; // a question could not be asked; path is empty then
};

// Reads "ConfigFile". A configured path that names no readable file asks (Yes/No) whether to
// use the default location instead: Yes deletes the "Settings" group and takes the default;
// No keeps the configured path (the first write creates the file there). An empty or missing
// value means the default location, which is never written to the registry.
LocatedSettings locateSettingsFile(UserRegistry& registry, Prompter& prompter,
                                   const std::filesystem::path& defaultPath);

struct ValidationResult
{
    bool checked = false;   // the file exists, so it was checked
    bool corrupted = false; // its digest did not match
    std::size_t passwordsRemoved = 0;
};

// Run right after locateSettingsFile: a file whose digest does not match is announced and the
// remembered password of every drive record is removed (one locked cycle, which renews the
// digest when there is at least one record). Login password and one-time-code values stay.
ValidationResult validateSettingsAtStart(const SettingsFile& settings, Prompter& prompter);

// The settings-location dialog's choices.
// "Default Location": deletes the "Settings" group and returns the default location.
std::filesystem::path useDefaultSettingsLocation(UserRegistry& registry,
                                                 const std::filesystem::path& defaultPath);
// The folder browser: "<folder>/kestrava_settings.xml", written to "ConfigFile" at once.
// Empty when the registry cannot be written.
std::filesystem::path useSettingsFolder(UserRegistry& registry, const std::filesystem::path& folder);
// Confirming a location (the settings dialog's OK): the default location deletes the
// "Settings" group, any other is written to "ConfigFile".
bool storeSettingsLocation(UserRegistry& registry, const std::filesystem::path& settingsPath,
                           const std::filesystem::path& defaultPath);

} // namespace kestrava::settings
