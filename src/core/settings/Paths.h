// Where the program keeps its files. Every location comes from one function here and honours
// HOME and the XDG variables, so tests can point them at temporary folders.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace kestrava::paths {

// The running executable (/proc/self/exe).
std::filesystem::path executablePath();

// A copy counts as installed when its executable lies under /usr/ or /opt/; any other copy
// is portable and keeps its log and settings beside the executable.
bool isInstalledLocation(const std::filesystem::path& executable);
bool isInstalled();

// $HOME, or the password database's home folder when HOME is unset.
std::filesystem::path homeFolder();
// $XDG_CONFIG_HOME or ~/.config; $XDG_STATE_HOME or ~/.local/state.
std::filesystem::path configHome();
std::filesystem::path stateHome();

// Installed: $XDG_STATE_HOME/kestrava/kestrava.log; portable: beside the executable.
std::filesystem::path logFilePath();

inline constexpr std::string_view kSettingsFileName = "kestrava_settings.xml";

// Where the settings file lives when none is configured. Installed:
// $XDG_CONFIG_HOME/kestrava/kestrava_settings.xml; portable: beside the executable.
std::filesystem::path defaultSettingsPath();
std::filesystem::path defaultSettingsPathFor(const std::filesystem::path& executable);

// Where the language packs of this copy lie: for an installed copy <prefix>/share/kestrava/lang
// (the executable being <prefix>/bin/kestrava), for a portable one the executable's folder.
std::filesystem::path languageFolder();
std::filesystem::path languageFolderFor(const std::filesystem::path& executable);

// The per-user registry file: $XDG_CONFIG_HOME/Harbrook/Kestrava.conf.
std::filesystem::path registryFilePath();

// Where drives are mounted, one folder per letter: the command line's choice, else
// $KESTRAVA_MOUNT_ROOT, else $HOME/KestravaDrives.
std::filesystem::path mountRoot(const std::optional<std::filesystem::path>& commandLineChoice = std::nullopt);

} // namespace kestrava::paths
