// The drive password prompt's OK: the typed password becomes the drive password and must
// open the drive's security token.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kestrava {

struct DrivePasswordCheck
{
    bool accepted = false;
    int messageId = 0;         // 46 for an empty entry, 152 when the token does not open
    std::string drivePassword; // the form of the typed text that opened the token, set when accepted
};

// An empty entry is refused (46). Otherwise the token in the backing folder must exist and
// open with the drive password (152 when it is missing, unreadable or refuses the password).
DrivePasswordCheck checkDrivePassword(const std::filesystem::path& backingFolder, std::string_view typed);

} // namespace kestrava
