// Where the program keeps its files. Every location comes from one function here and honours
// HOME and the XDG variables, so tests can point them at temporary folders.
#pragma once

#include <filesystem>

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

} // namespace kestrava::paths
