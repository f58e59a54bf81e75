// Checking a new drive's folder, label and letter against the user's drive records, shared by
// the advanced creation dialog, the wizard, the recovery dialog and the CLI.
#pragma once

#include <filesystem>
#include <string>

namespace kestrava {
class Prompter;
}
namespace kestrava::settings {
class SettingsFile;
}

namespace kestrava::drives {

// Passed for a label or letter that is not to be compared.
inline constexpr const char* kNotCompared = " ";

enum class ValidationMode
{
    // The first record with the same label or letter decides, once the user accepts it.
    Advanced,
    // Every record is examined; each duplicate question is asked at most once per walk.
    Wizard,
};

// What the advanced dialog remembers between checks.
struct ValidationState
{
    std::string acceptedLabel; // a duplicate label the user agreed to reuse
};

// A file-system root: "/" or a folder that is itself the root of a mounted file system.
bool isRootFolder(const std::filesystem::path& folder);

// Root folders are refused; a missing folder is offered to be created (not when quiet);
// a folder already registered is refused; a duplicate label or letter is questioned.
// Messages are shown unless quiet. True when the drive may be created.
bool validateDriveLocation(const settings::SettingsFile& settings, Prompter& prompter,
                           const std::string& folder, const std::string& label, const std::string& letter,
                           bool quiet, ValidationMode mode, ValidationState& state);

} // namespace kestrava::drives
