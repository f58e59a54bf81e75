// The per-user registry: a small INI file shared by the desktop app and kestrava-cli
// ($XDG_CONFIG_HOME/Harbrook/Kestrava.conf). The program uses the group "Settings" with the
// keys "ConfigFile" (where the settings file lives) and "AutoUpdate" (left by an installer).
// Groups and keys it does not know are kept as they are; every change is written atomically
// under a lock, so concurrent changes by several processes are not lost.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kestrava::settings {

inline constexpr std::string_view kRegistryGroup = "Settings";
inline constexpr std::string_view kConfigFileKey = "ConfigFile";
inline constexpr std::string_view kAutoUpdateKey = "AutoUpdate";

class UserRegistry
{
public:
    explicit UserRegistry(std::filesystem::path file);

    const std::filesystem::path& file() const { return m_file; }

    // Nothing when the file, group or key is absent or the file cannot be read.
    std::optional<std::string> readValue(std::string_view group, std::string_view key) const;
    // False when the file cannot be read or written, or the value holds a line break.
    bool writeValue(std::string_view group, std::string_view key, std::string_view value);
    // True when the value (or group) is gone afterwards, whether or not it was there.
    bool deleteValue(std::string_view group, std::string_view key);
    bool deleteGroup(std::string_view group);

private:
    std::filesystem::path m_file;
};

// The registry routine behind the settings-location dialog.
enum class RegistryMode
{
    DeleteSection = 0,   // remove the whole "Settings" group
    WriteConfigFile = 1, // settingsPath -> "ConfigFile"
    ReadConfigFile = 2,  // "ConfigFile" -> settingsPath; false when it is empty or missing
};

bool settingsRegistry(UserRegistry& registry, RegistryMode mode, std::string& settingsPath);

} // namespace kestrava::settings
