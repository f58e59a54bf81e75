// Reading the drive records into the list, unlocking and mounting drives: the start-up fill,
// mount and unmount of one row, the refresh and the preparation of a drive for editing.
// Every flow may run on any thread; messages and prompts go through the Prompter.
#pragma once

#include "core/drives/DriveServices.h"
#include "core/drives/MountedDrives.h"
#include "core/host/DriveHost.h"
#include "core/settings/SettingsFile.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kestrava::drives {

// The steps the flows below are made of: unlock one drive, then mount it.

// Which password an unlock may use.
enum class UnlockMode
{
    TokenCheckOnly,     // only check that the token reads (a drive not mounted now)
    RememberedOnly,     // the remembered password, never a prompt (a refresh)
    RememberedOrPrompt, // the remembered password, else the drive password prompt
};

struct UnlockRequest
{
    UnlockMode mode = UnlockMode::RememberedOrPrompt;
    bool mayPrompt = true;          // false: a drive without a working remembered password stays locked
    bool rememberByDefault = false; // the prompt's "Remember Password" box starts ticked
    bool offerToForget = false;     // a failed check offers to forget the remembered password
};

enum class UnlockOutcome
{
    Unlocked,          // context holds the drive's keys, checked
    TokenUnreadable,   // no token, or not a token (message shown)
    TokenCorrupted,    // the token reads but the password does not open it (message shown)
    NoPassword,        // nothing remembered and no prompt allowed (or only the token was checked)
    StalePassword,     // the remembered password no longer opens it and no prompt was allowed
    Cancelled,         // the prompt was cancelled or left empty
    CheckFailed,       // the check data did not verify
    PasswordForgotten, // ...and the user had the remembered password removed (list refreshed)
};

enum class PasswordSource
{
    None,
    Remembered,
    Prompt,
};

struct UnlockResult
{
    UnlockOutcome outcome = UnlockOutcome::NoPassword;
    PasswordSource source = PasswordSource::None;
    MountedDrives::ContextPtr context; // set when Unlocked
    // The Auto Mount box as the prompt left it, when it was changed there (already saved).
    std::optional<bool> autoMount;
    bool unlocked() const { return outcome == UnlockOutcome::Unlocked; }
};

// Unlocks the drive of a record: token, remembered or prompted password, checks, and the offer
// to forget a remembered password that fails them. The context is not in the mounted list yet.
UnlockResult unlockDrive(DriveServices& services, const settings::DriveRecord& record,
                         const UnlockRequest& request);

enum class MountStepOutcome
{
    Mounted,
    LetterInUse,
    Failed, // reported
};

// Mounts an unlocked drive at its record's letter; the context is in the mounted list as
// mounted afterwards, and only then. A letter taken before the mount is reported only when
// reportLetterInUse is set.
MountStepOutcome mountUnlocked(DriveServices& services, const settings::DriveRecord& record,
                               const MountedDrives::ContextPtr& context, const host::MountOptions& options,
                               bool reportLetterInUse);

// The start-up fill: every record listed, those marked for auto-mount mounted.
bool fillDriveList(DriveServices& services, bool askPasswords, const host::MountOptions& options = {},
                   bool rememberByDefault = false);

// Rows for every record without prompting or mounting: "Mounted" from the host's mount table.
std::vector<DriveRow> listDriveRows(const settings::SettingsFile& settings, host::DriveHost& host,
                                    const CloudFolderLookup& cloudFolders = {});

// Mounts the drive of a row whose "Mounted" is "No"; true when it is mounted afterwards.
bool mountRow(DriveServices& services, std::size_t row, const host::MountOptions& options = {},
              bool rememberByDefault = false);
// Unmounts the drive of a mounted row; true when it is unmounted afterwards.
bool unmountRow(DriveServices& services, std::size_t row);
// The mount button: unmounts a mounted row, mounts an unmounted one.
bool doMountDrv(DriveServices& services, std::optional<std::size_t> selectedRow,
                const host::MountOptions& options = {});

// Unmounts the drive at letter whose backing folder is gone (the host may still serve it) and
// drops this process's entry for folder. False when the host could not unmount it.
bool unmountVanishedDrive(DriveServices& services, const std::string& letter, const std::string& folder);

// Rebuilds the rows without mounting or asking; unmounts drives whose backing folder is gone.
void doRefreshDrv(DriveServices& services);

// The context the edit dialog works on: unlocked (asking for the password if needed) and in
// the mounted-drives list. Null when there is none to edit (message shown).
MountedDrives::ContextPtr prepareDriveForEdit(DriveServices& services,
                                              std::optional<std::size_t> selectedRow);

// Unmounts every drive this process mounted (at exit).
void unmountAll(DriveServices& services);

} // namespace kestrava::drives
