// Deleting a drive's own files from its backing folder, and nothing else: plain files that were
// there before the drive, or that a sync client put there, are not the drive's to delete.
#pragma once

#include "core/app/Prompter.h"
#include "core/settings/SavedPasswords.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace kestrava::token {
class DriveContext;
}

namespace kestrava::drives {

enum class FileDeletion
{
    NotOffered,     // not asked for, or the folder does not exist
    Declined,       // the user kept the files
    FolderRemoved,  // everything in the folder was the drive's: the folder is gone
    PartlyKept,     // the drive's entries are gone; the folder keeps the others (leftOver)
    KeyUnavailable, // names are encrypted but the key could not be had: nothing was deleted
    Failed,         // an entry could not be deleted (message 1213); the token stays
};

struct FileDeletionReport
{
    FileDeletion outcome = FileDeletion::NotOffered;
    std::vector<std::string> leftOver; // paths relative to the backing folder, as stored
};

// Where the drive's key may come from, tried in this order.
struct DriveKeySources
{
    std::shared_ptr<const token::DriveContext> unlocked; // a context this process had mounted
    std::string rememberedPwd;                           // the record's "pwd" value
    LoginLayerState loginLayer;
    DrivePasswordRequest prompt; // label, folder and letter for asking the user
};

// Deletes what belongs to the drive in folder: entries whose names decrypt under the drive's
// key (inside them, again only such entries), the warning folder when empty, then the token
// and, when nothing else is left, the folder itself. A drive without name encryption has only
// its token and warning folder deleted. Kept old tokens and everything else stay and are named
// (messages 1245, 1247). Without the key nothing is deleted (message 1246).
FileDeletionReport deleteDriveFiles(Prompter& prompter, const std::filesystem::path& folder,
                                    const DriveKeySources& keys);

} // namespace kestrava::drives
