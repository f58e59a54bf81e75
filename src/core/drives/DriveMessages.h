// Message ids of the drive flows (texts in the string table). Texts that have no number of
// their own in the program's table were given one in the 1201-1230 and 1240-1259 blocks.
#pragma once

namespace kestrava::drives {

// Creation.
inline constexpr int kMsgSelectDestination = 3; // "Please select a destination."
inline constexpr int kMsgChooseDestination = 5; // "Choose a destination for your new Kestrava Drive."
inline constexpr int kMsgImportExisting = 13;   // Yes/No: import the token found in the folder?
inline constexpr int kMsgImportReadFailed = 28; // "Error! There was a problem reading the import file:\n%s"
inline constexpr int kMsgTokenUnreadable = 30;  // cannot read the token (token path, folder, label)
inline constexpr int kMsgImported = 31;         // "The security token was successfully imported!\n%s"
inline constexpr int kMsgBackupName = 36;       // "kestrava_backup_(%s)%s.xml"
inline constexpr int kMsgExported = 43;         // token backup written (label, path)
inline constexpr int kMsgImportPasswordWrong = 44; // imported token's password does not match
inline constexpr int kMsgFieldsEmpty = 45;         // "Error! One or more fields are empty."
inline constexpr int kMsgAddFailed = 48;           // adding the drive failed (folder, letter, label)
inline constexpr int kMsgRootFolder = 50;          // folder is a root location
inline constexpr int kMsgCreateFolder = 51;        // OK/Cancel: create the missing folder?
inline constexpr int kMsgCreateFolderFailed = 52;  // "Error! Failed to create folder!\n (%s)"
inline constexpr int kMsgSettingsLoadFailed = 53;  // "Error! Cannot load the configuration file: %s."
inline constexpr int kMsgFolderRegistered = 54;    // folder already registered
inline constexpr int kMsgSameLabel = 55;           // Yes/No: use the same label?
inline constexpr int kMsgSameLetter = 56;          // Yes/No: use the same letter?
inline constexpr int kMsgDriverMissing = 93;       // "Error! FUSE is not installed!"
inline constexpr int kMsgProgramTitle = 95;        // "Harbrook Kestrava v%s"
inline constexpr int kMsgInvalidMountPath = 127;   // "Error! Cannot mount Kestrava Drive, invalid path!"
inline constexpr int kMsgDriveAdded = 139;         // new drive added (letter, label)
inline constexpr int kMsgIncorrectPassword = 152;  // "Error! Incorrect password!"
inline constexpr int kMsgTokenSaveError = 153;     // "Error! Security token save error!"
inline constexpr int kMsgColumnDrive = 177;        // "Drive"
inline constexpr int kMsgColumnVolumeName = 178;   // "Volume Name"
inline constexpr int kMsgColumnFolder = 179;       // "Folder Location"
inline constexpr int kMsgVerificationFailed = 183; // Yes/No: check failed, clear the saved password?
inline constexpr int kMsgOverwriteToken = 195;     // Yes/No: overwrite the token in the folder?
inline constexpr int kMsgTokenCorrupted = 324;     // the token is corrupted, the drive is not loaded
inline constexpr int kMsgLegacyImport = 336;       // the imported token is of an old version
inline constexpr int kMsgNoFreeLetters = 345;      // no drive letters available

// Texts without a number of their own.
inline constexpr int kMsgNoDriveSelected = 1201;    // "Error! No drive selected."
inline constexpr int kMsgLetterInUse = 1202;        // drive letter (%s) already in use
inline constexpr int kMsgMountRowUnreadable = 1203; // "Error reading the drive information! ..."
inline constexpr int kMsgRowUnreadable = 1204;      // "Error reading drive information! ..."
inline constexpr int kMsgPasswordRemovalFailed = 1205;
inline constexpr int kMsgConfirmDelete = 1206; // OK/Cancel: delete this drive?
inline constexpr int kMsgCannotRemoveRow = 1207;
inline constexpr int kMsgCannotFindDrive = 1208;
inline constexpr int kMsgDeleteFiles = 1209;           // Yes/No: also delete the encrypted files? (folder)
inline constexpr int kMsgFolderMissing = 1210;         // "Error! Folder location does not exist.\n\n(%s)"
inline constexpr int kMsgConfirmRemovalCaption = 1211; // "Confirm Drive Removal"
inline constexpr int kMsgUnmountFailed = 1212;         // the drive could not be unmounted (letter, reason)
inline constexpr int kMsgDeleteFilesFailed = 1213; // the backing folder could not be deleted (folder, reason)
inline constexpr int kMsgMountFailed = 1214;       // the drive could not be mounted (letter, reason)
inline constexpr int kMsgColumnMounted = 1215;     // "Mounted"
inline constexpr int kMsgColumnAutoMount = 1216;   // "Auto Mount"
inline constexpr int kMsgColumnRequirePassword = 1217; // "Require Password"
inline constexpr int kMsgRecordNotSaved = 1229;        // the drive record could not be saved (settings path)

// Drives that would overlap, kept tokens, and what deleting a drive's files leaves.
inline constexpr int kMsgInsideOtherDrive = 1240;        // folder lies inside another drive's folder
inline constexpr int kMsgHoldsOtherDrive = 1241;         // folder holds another drive's folder
inline constexpr int kMsgOverlapsMounts = 1242;          // folder overlaps the mount root or a mounted drive
inline constexpr int kMsgTokenKept = 1243;               // the replaced token was kept (path)
inline constexpr int kMsgTokenKeepFailed = 1244;         // the token could not be kept, nothing replaced
inline constexpr int kMsgFilesLeft = 1245;               // deleted; these entries were not the drive's
inline constexpr int kMsgDeleteKeyMissing = 1246;        // no key: nothing in the folder was deleted
inline constexpr int kMsgPlainNamesLeft = 1247;          // names not encrypted: only token and warning folder
inline constexpr int kCaptionCreateDrive = 2;            // "Create New Drive"
inline constexpr int kCaptionImportDrive = 1340;         // "Import Drive"
inline constexpr int kCaptionCreateKestravaDrive = 1341; // "Create New Kestrava Drive"
inline constexpr int kStatusMounting = 1342;             // "Mounting Drive %s -> %s" (label, letter)
inline constexpr int kStatusUnmounting = 1343;           // "Unmounting Drive %s -> %s" (label, letter)
inline constexpr int kTooltipNotActive = 1344;           // "%s - Not Active" (title)
inline constexpr int kTooltipActive = 1345;    // "%s - Active\n(Mounted Drives: %s)" (title, letters)
inline constexpr int kTextMoreNames = 1348;    // "... (%s more)"
inline constexpr int kReasonRootFolder = 1349; // a root folder is never deleted
inline constexpr int kReasonNoFreeName = 1350; // no free name for the kept token copy

// A drive whose token was written but which could not be mounted.
inline constexpr int kMsgAddedNotMounted = 1460; // listed, not mounted (folder, letter, label)

} // namespace kestrava::drives
