// Recovering a drive that already exists (the restore wizard and kestrava-cli recover): a
// backing folder made elsewhere, or one whose settings were lost, is connected again from the
// token in the folder or from a token backup, registered and mounted.
#pragma once

#include "core/crypto/SecureBytes.h"
#include "core/drives/CloudFolders.h"
#include "core/drives/DriveServices.h"
#include "core/drives/TokenImport.h"
#include "core/host/DriveHost.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kestrava::drives {

inline constexpr int kMsgRecovered = 303; // "You have successfully recovered an existing Kestrava drive!"
inline constexpr int kMsgTokenFoundTitle = 314;   // "Existing security token found!"
inline constexpr int kMsgFolderLoadedTitle = 315; // "Folder location loaded!"
inline constexpr int kMsgTokenFoundText = 316;    // the folder's token may be used
inline constexpr int kMsgUseBackupText = 317;     // click the backup choice to load a backup
inline constexpr int kMsgInstallClient = 318;     // tooltip of a provider that is not found

// Where the dialog shows its balloons.
enum class RecoveryField
{
    FolderTokenChoice = 1, // "Use security token located in folder"
    BackupChoice = 2,      // "Import a security token backup file"
    Password = 3,
};

// The dialog's step 1 as the checks leave it.
struct RecoveryState
{
    std::string folder; // empty: "Please select a destination."
    std::string label = "Kestrava";
    bool folderTokenEnabled = false;
    bool backupEnabled = false;
    bool useFolderToken = false;
    bool useBackup = false;
    std::filesystem::path tokenFile;    // the backup chosen (the folder's token when that is used)
    std::optional<bool> backupAccepted; // the backup choice's status icon; nothing: hidden
    // The balloon last shown at a choice (title and text ids), 0 when none.
    int balloonTitle = 0;
    int balloonText = 0;
    ImportAnnouncement announcement;
};

// The letters the restore wizard offers, the highest last. Nothing when none is free
// (message 345): the dialog closes before it is shown.
std::optional<std::vector<std::string>> recoveryLetters(DriveServices& services);

// The folder check: the folder is validated (root refused, a missing folder offered to be
// created, a registered folder refused), then its token decides which choices are enabled.
// True when the folder may be used.
bool checkRecoveryFolder(DriveServices& services, RecoveryState& state, const std::string& folder);

// A provider's choice: its folder + "/Kestrava" through the folder check; on success folder and
// label are filled in (the provider's recovery label). On failure the folder is cleared.
bool chooseRecoveryProvider(DriveServices& services, RecoveryState& state, CloudProvider provider,
                            const CloudTraces& traces = {});
// "Local Folder": the home folder + "/Kestrava" through the folder check, label "Kestrava".
bool chooseRecoveryLocalFolder(DriveServices& services, RecoveryState& state, const CloudTraces& traces = {});
// A folder chosen with the browser; the import is announced.
bool chooseRecoveryFolder(DriveServices& services, RecoveryState& state, const std::string& folder);

// The backup choice with the file chosen: the file must read as a token (message 28, or 336 for
// an old one). True when it was accepted as the token to use.
bool chooseRecoveryBackup(Prompter& prompter, RecoveryState& state, const std::filesystem::path& file);
// "Use security token located in folder".
void chooseRecoveryFolderToken(RecoveryState& state);

struct RecoveryRequest
{
    std::string letter; // "K:"
    std::string label;  // empty: the state's label
    crypto::SecureString password;
    bool rememberPassword = true;
    bool autoMount = true;
    bool mount = true; // false: register the drive without mounting it now
    host::MountOptions mountOptions;
};

enum class RecoverOutcome
{
    Recovered,     // record saved, drive mounted (or registered only, when not mounting)
    NotMounted,    // record saved, the drive could not be mounted
    WrongPassword, // the password does not open the token (balloon 152 at the password)
    Stopped,       // fields missing, or the user said No; nothing registered
};

// OK: the fields, the password against the chosen token, then the recovery run.
RecoverOutcome confirmRecovery(DriveServices& services, RecoveryState& state, const RecoveryRequest& request);

} // namespace kestrava::drives
