// Starting the desktop app when the user logs in: an XDG autostart entry
// ($XDG_CONFIG_HOME/autostart/kestrava.desktop) whose command starts the app minimised.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava {
class Prompter;
}

namespace kestrava::prefs {

inline constexpr int kMsgSettingsStoreError = 22; // "Error! Could not open the Kestrava settings store."
inline constexpr std::string_view kMinimizedSwitch = " /min";

enum class AutostartMode
{
    Set,
    Query,
    Delete,
};

std::filesystem::path autostartEntryPath();

// The program's command line as the entry runs it: the executable (quoted when it holds
// characters the entry's Exec key reserves) followed by the arguments.
std::string programCommandLine(const std::filesystem::path& executable,
                               const std::vector<std::string>& arguments);

// The command the entry runs: the command line cut before its first " /" (outside a quoted
// executable), followed by " /min".
std::string autostartCommand(std::string_view commandLine);

// The entry's text for that command.
std::string autostartEntryText(std::string_view command);

// Set writes the entry for commandLine, Query tells whether an entry exists, Delete removes it
// (true when none is left). Set or Delete failing shows message 22 (when a prompter is given)
// and returns false.
bool startWithLogin(AutostartMode mode, std::string_view commandLine, Prompter* prompter,
                    const std::filesystem::path& entry = autostartEntryPath());

} // namespace kestrava::prefs
