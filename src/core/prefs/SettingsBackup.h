// Backing up the settings file and restoring it from a backup. Both copy through a temporary
// file renamed into place, so an interrupted or failing copy leaves the old file whole.
#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace kestrava {
class Prompter;
}

namespace kestrava::prefs {

inline constexpr int kMsgBackupFailed = 153;   // "Error! Security token save error!"
inline constexpr int kMsgBackupDone = 216;     // "... successfully exported to\n%s"
inline constexpr int kMsgNotSettingsFile = 53; // "Error! Cannot load the configuration file: %s."
inline constexpr int kMsgRestoreQuestion = 207;
inline constexpr int kMsgRestoreDone = 215;
inline constexpr int kMsgRestoreFailed = 1500;
inline constexpr int kTextBackupPrefix = 229; // "kestrava_settings_"
inline constexpr int kTextBackupFilter = 219;

// The proposed backup name: "kestrava_settings_" + two-digit year, English month abbreviation,
// two-digit day + ".xml", all lower case ("kestrava_settings_14mar05.xml").
std::string backupFileName(const std::tm& localDate);

// Whether the bytes are a settings file: well-formed XML with the root "Kestrava" holding
// "drives".
bool isSettingsFileContent(std::string_view bytes);

// Copies the settings file to target (replacing it) and reports 216, or 153 when the copy
// failed; the settings file is only read.
bool backupSettings(const std::filesystem::path& settingsFile, const std::filesystem::path& target,
                    Prompter& prompter);

// What a confirmed restore does after the copy, in this order.
struct RestoreSteps
{
    std::function<void()> unmountAll;
    std::function<void()> reloadDrives;
    std::function<void()> reapplyLanguage; // after message 215
};

enum class RestoreOutcome
{
    Restored,
    NotSettingsFile, // message 53; nothing changed
    Declined,        // question 207 answered No
    CopyFailed,      // message 1500; the settings file is as it was
};

// Checks chosen, asks 207, then copies it over the settings file (under the settings file's
// lock) and runs the steps. The bytes checked are the bytes copied.
RestoreOutcome restoreSettings(const std::filesystem::path& settingsFile, const std::filesystem::path& chosen,
                               Prompter& prompter, const RestoreSteps& steps);

} // namespace kestrava::prefs
