// The system's mount table as Kestrava reads it: which folders are mount points, and which of
// them are Kestrava drives. Every Kestrava process reads the same table, so a drive mounted by
// another process shows as mounted here too.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::host {

// The file system type of a mounted drive ("fuse." + the subtype the serving process sets).
inline constexpr std::string_view kDriveFsType = "fuse.kestrava";
inline constexpr std::string_view kDriveSubtype = "kestrava";

struct MountEntry
{
    std::filesystem::path mountPoint;
    std::string fsType; // "ext4", "fuse.kestrava"
    std::string source; // the file system name: "kestrava:Work files" for a drive
};

// Parses /proc/self/mountinfo text. Lines that do not have the expected fields are skipped;
// octal escapes (\040 for a space) are decoded.
std::vector<MountEntry> parseMountInfo(std::string_view text);

// Reads and parses the table; empty when it cannot be read.
std::vector<MountEntry> readMountTable(const std::filesystem::path& file = "/proc/self/mountinfo");

// The topmost entry mounted at that folder (later lines cover earlier ones), if any.
std::optional<MountEntry> findMount(const std::vector<MountEntry>& table,
                                    const std::filesystem::path& folder);

// The file system name a drive is mounted with, as `mount` and `df` show it.
std::string driveFsName(std::string_view label);
// The label back from such a name; nullopt when the name is not a drive's.
std::optional<std::string> labelFromFsName(std::string_view fsName);

} // namespace kestrava::host
