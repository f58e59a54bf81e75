#include "core/prefs/Autostart.h"

#include "core/app/ActivityLog.h"
#include "core/app/Prompter.h"
#include "core/settings/Paths.h"
#include "core/util/AtomicFile.h"

#include <system_error>

namespace kestrava::prefs {
namespace {

// Characters that make the Exec key need quotes around an argument.
constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`=%";

} // namespace

std::filesystem::path autostartEntryPath()
{
    return paths::configHome() / "autostart" / "kestrava.desktop";
}

std::string programCommandLine(const std::filesystem::path& executable,
                               const std::vector<std::string>& arguments)
{
    const std::string program = executable.string();
    std::string line;
    if (program.find_first_of(kReserved) == std::string::npos) {
        line = program;
    } else {
        line = "\"";
        for (const char c : program) {
            if (c == '"' || c == '`' || c == '$' || c == '\\') {
                line += '\\';
            }
            line += c;
        }
        line += '"';
    }
    for (const auto& argument : arguments) {
        line += ' ';
        line += argument;
    }
    return line;
}

std::string autostartCommand(std::string_view commandLine)
{
    std::size_t searchFrom = 0;
    if (commandLine.starts_with('"')) {
        // Skip the quoted executable, which may itself hold " /".
        for (std::size_t i = 1; i < commandLine.size(); ++i) {
            if (commandLine[i] == '\\') {
                ++i;
            } else if (commandLine[i] == '"') {
                searchFrom = i + 1;
                break;
            }
        }
    }
    const std::size_t cut = commandLine.find(" /", searchFrom);
    return std::string(commandLine.substr(0, cut)) + std::string(kMinimizedSwitch);
}

std::string autostartEntryText(std::string_view command)
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Kestrava\n"
           "Comment=Encrypted drives\n"
           "Exec=" +
           std::string(command) +
           "\n"
           "Icon=kestrava\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool startWithLogin(AutostartMode mode, std::string_view commandLine, Prompter* prompter,
                    const std::filesystem::path& entry)
{
    std::error_code ec;
    bool done = false;
    switch (mode) {
    case AutostartMode::Query:
        return std::filesystem::is_regular_file(entry, ec);
    case AutostartMode::Set: {
        std::filesystem::create_directories(entry.parent_path(), ec);
        const auto written =
            util::writeFileAtomically(entry, autostartEntryText(autostartCommand(commandLine)), 0644);
        done = written.ok;
        if (!done) {
            writeLog("!startWithLogin: %s: %s", entry.string().c_str(), written.message.c_str());
        }
        break;
    }
    case AutostartMode::Delete:
        std::filesystem::remove(entry, ec);
        done = !std::filesystem::exists(entry, ec) && !ec;
        if (!done) {
            writeLog("!startWithLogin: cannot remove %s", entry.string().c_str());
        }
        break;
    }
    if (!done && prompter != nullptr) {
        prompter->messageBox(kMsgSettingsStoreError, {}, Buttons::OK, Icon::None);
    }
    return done;
}

} // namespace kestrava::prefs
