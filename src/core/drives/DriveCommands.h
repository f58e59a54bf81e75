// The drive list's commands that do not unlock a drive: delete, open the backing folder.
#pragma once

#include "core/drives/DriveFileDeletion.h"
#include "core/drives/DriveServices.h"

#include <cstddef>
#include <filesystem>
#include <optional>

namespace kestrava::drives {

enum class RemoveResult
{
    Removed,
    Cancelled,
    Failed,
};

struct RemoveOptions
{
    // Ask whether the drive's encrypted files are to be deleted too.
    bool offerFileDeletion = true;
};

// RemoveDrive: asks for confirmation, unmounts a mounted drive, removes its record and row,
// and (when offered and confirmed) deletes the drive's own files for good (deleteDriveFiles:
// the key comes from this process's context, the remembered password or the user).
// files, when given, receives what became of the files.
RemoveResult RemoveDrive(DriveServices& services, std::optional<std::size_t> selectedRow,
                         const RemoveOptions& options = {}, FileDeletionReport* files = nullptr);

// "Open Folder Location": the row's backing folder when it exists (message otherwise).
std::optional<std::filesystem::path> folderLocationToOpen(Prompter& prompter, const DriveRow& row);

} // namespace kestrava::drives
