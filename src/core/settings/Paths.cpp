#include "core/settings/Paths.h"

#include <cstdlib>
#include <pwd.h>
#include <string>
#include <unistd.h>

namespace kestrava::paths {
namespace {

std::filesystem::path xdgFolder(const char* variable, const std::filesystem::path& fallbackUnderHome)
{
    const char* value = std::getenv(variable);
    // An XDG variable holding a relative path is invalid and must be ignored.
    if (value != nullptr && value[0] == '/') {
        return value;
    }
    return homeFolder() / fallbackUnderHome;
}

} // namespace

std::filesystem::path executablePath()
{
    std::error_code ec;
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : path;
}

bool isInstalledLocation(const std::filesystem::path& executable)
{
    const std::string text = executable.lexically_normal().string();
    return text.starts_with("/usr/") || text.starts_with("/opt/");
}

bool isInstalled()
{
    return isInstalledLocation(executablePath());
}

std::filesystem::path homeFolder()
{
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        return home;
    }
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return "/";
}

std::filesystem::path configHome()
{
    return xdgFolder("XDG_CONFIG_HOME", ".config");
}

std::filesystem::path stateHome()
{
    return xdgFolder("XDG_STATE_HOME", ".local/state");
}

std::filesystem::path logFilePath()
{
    if (isInstalled()) {
        return stateHome() / "kestrava" / "kestrava.log";
    }
    return executablePath().parent_path() / "kestrava.log";
}

std::filesystem::path defaultSettingsPathFor(const std::filesystem::path& executable)
{
    if (isInstalledLocation(executable)) {
        return configHome() / "kestrava" / kSettingsFileName;
    }
    return executable.parent_path() / kSettingsFileName;
}

std::filesystem::path defaultSettingsPath()
{
    return defaultSettingsPathFor(executablePath());
}

std::filesystem::path languageFolderFor(const std::filesystem::path& executable)
{
    if (isInstalledLocation(executable)) {
        return executable.parent_path().parent_path() / "share" / "kestrava" / "lang";
    }
    return executable.parent_path();
}

std::filesystem::path languageFolder()
{
    return languageFolderFor(executablePath());
}

std::filesystem::path registryFilePath()
{
    return configHome() / "Harbrook" / "Kestrava.conf";
}

std::filesystem::path mountRoot(const std::optional<std::filesystem::path>& commandLineChoice)
{
    if (commandLineChoice && !commandLineChoice->empty()) {
        return *commandLineChoice;
    }
    if (const char* root = std::getenv("KESTRAVA_MOUNT_ROOT"); root != nullptr && root[0] != '\0') {
        return root;
    }
    return homeFolder() / "KestravaDrives";
}

} // namespace kestrava::paths
