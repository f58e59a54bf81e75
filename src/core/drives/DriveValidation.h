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
namespace kestrava::host {
class DriveHost;
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

// Whether inner is outer or lies inside it, comparing whole path components ("/a/bc" is not
// inside "/a/b"). Both paths are taken as given: canonicalize them first.
bool isSameOrInside(const std::filesystem::path& inner, const std::filesystem::path& outer);

// The canonical form of a folder that may not exist yet, without a trailing separator.
std::filesystem::path canonicalFolder(const std::filesystem::path& folder);

// Refuses (with a message) a folder that would overlap another drive: the folder of a
// registered or mounted drive, one inside such a folder or holding one, and one that overlaps
// the mount root or a mounted drive's mount point. A root folder is left to the validation.
// True when the folder may be used.
bool checkFolderOverlap(const settings::SettingsFile& settings, host::DriveHost& host, Prompter& prompter,
                        const std::string& folder);

} // namespace kestrava::drives
