// The drive check of a listed drive, as the drive list's command and `kestrava-cli check K:`
// run it: the token first; when it reads, the drive is unlocked with its remembered password
// or the password prompt, and checked whole.
#pragma once

#include "core/drives/DriveCheck.h"
#include "core/drives/DriveServices.h"

#include <cstddef>
#include <optional>

namespace kestrava::drives {

struct ListedDriveCheck
{
    std::vector<std::filesystem::path> backupPlaces = defaultBackupPlaces();
    bool tokenOnly = false;
    bool contents = false;
};

// The report; nothing when the drive of row is not listed or was not unlocked (the unlock's
// own messages have said why, or the prompt was cancelled).
std::optional<DriveCheckReport> checkListedDrive(DriveServices& services, std::size_t row,
                                                 const ListedDriveCheck& options);

} // namespace kestrava::drives
