// Creating a new drive in one step (the advanced dialog and kestrava-cli create): the checks
// on OK, then the creation run: validation, the password rule or the adopted token's password,
// the token, the drive record, the mount and the warning folder.
#pragma once

#include "core/crypto/SecureBytes.h"
#include "core/drives/DriveServices.h"
#include "core/drives/DriveValidation.h"
#include "core/drives/TokenImport.h"
#include "core/host/DriveHost.h"
#include "core/token/DriveFormat.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace kestrava::drives {

inline constexpr const char* kDefaultLabel = "Kestrava";

struct NewDrive
{
    std::string folder; // absolute, without a trailing separator; empty: none chosen yet
    std::string label = kDefaultLabel;
    std::string letter; // "K:"
    bool rememberPassword = true;
    bool autoMount = true;
    bool longFileNames = true;
    bool fileNameEncryption = true;
    bool caseInsensitive = false; // Linux names differ by case: "Makefile" and "makefile" are two files
    bool mount = true;            // false: register the drive without mounting it now
    // The format of a new token; an adopted token keeps its own.
    token::DriveFormat format = token::DriveFormat::Compatible;
    host::MountOptions mountOptions;
};

struct TypedPasswords
{
    crypto::SecureString password;
    crypto::SecureString confirmation; // unused when only the current password is asked
};

// Gives the typed passwords when the password rule is applied. currentOnly: a token is being
// adopted, so only its current password is wanted. Nothing: the user gave none (stop).
using PasswordSupplier = std::function<std::optional<TypedPasswords>(bool currentOnly)>;

// What the dialog keeps between presses of OK.
struct CreationState
{
    ValidationState validation;
    std::filesystem::path importFile; // a token to adopt; empty: a new token is made
    std::string lastFolderOffered;    // the existing-token question is asked once per folder
    ImportAnnouncement announcement;
};

enum class CreateOutcome
{
    Created,      // record saved, drive mounted (or registered only, when not mounting)
    NotMounted,   // record saved, but the drive could not be mounted (FUSE missing)
    Stopped,      // a check failed or a question was answered No; the dialog stays open
    ChooseFolder, // the folder was refused by the token offer; the dialog asks for another
};

// "Import Drive From File": adopts a token file chosen by the user once it can be read.
bool importDriveFromFile(Prompter& prompter, CreationState& state, const std::filesystem::path& file);

// OK of the advanced dialog: field checks, the existing-token offer, then the creation run.
CreateOutcome confirmAdvancedCreation(DriveServices& services, const NewDrive& drive, CreationState& state,
                                      const PasswordSupplier& passwords);

// The creation run alone.
CreateOutcome runAdvancedCreation(DriveServices& services, const NewDrive& drive, CreationState& state,
                                  const PasswordSupplier& passwords);

// The steps the creation, wizard and recovery runs share.
// Puts an adopted token at the folder's token path; a different file already there is
// replaced only when the user says so (message 195), and is kept beside it first.
bool placeImportedToken(Prompter& prompter, const std::filesystem::path& importFile,
                        const std::string& folder);
// Appends the drive's record (the protected password when it is to be remembered). A failure
// is reported (message 1229).
bool saveNewDriveRecord(DriveServices& services, const NewDrive& drive, token::DriveContext& context);
// The record of a drive that has just been mounted. When it cannot be saved the drive is
// unmounted again and taken off the mounted list, and the addition reported failed (message
// 48): no run may call a drive added that the list will not show. True when recorded.
bool recordMountedDrive(DriveServices& services, const NewDrive& drive, token::DriveContext& context);
// A drive whose token is in place but whose mount failed (the letter was taken meanwhile, FUSE
// is missing) is registered all the same, so that the list shows it and it can be mounted once
// the cause is gone: the record is saved unless recordSaved, listed() is called for a record
// saved here, and message 1460 says so. When even the record cannot be saved, message 48
// (with captionId). True when the drive is registered.
bool keepUnmountedDrive(DriveServices& services, const NewDrive& drive, token::DriveContext& context,
                        bool recordSaved, const std::function<void()>& listed,
                        int captionId = kDefaultCaption);
// The folder that warns against copying files into the backing folder directly.
void createWarningFolder(const std::string& folder);

// An absolute, normalised folder path without a trailing separator, as drive records keep it.
std::string normalizeBackingFolder(const std::filesystem::path& folder);

} // namespace kestrava::drives
