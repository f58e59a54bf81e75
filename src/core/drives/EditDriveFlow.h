// Editing a drive (the edit dialog and kestrava-cli edit): label, letter, auto-mount, the
// remembered password, the token options and, on request, the password itself; the drive
// record and the token are rewritten, and a mounted drive is mounted again as edited.
#pragma once

#include "core/crypto/SecureBytes.h"
#include "core/drives/DriveServices.h"
#include "core/drives/MountedDrives.h"
#include "core/host/DriveHost.h"
#include "core/settings/SavedPasswords.h"
#include "core/token/DriveContext.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace kestrava::drives {

inline constexpr int kMsgForgetPassword = 142;        // Yes/No: stop remembering the password?
inline constexpr int kMsgEditNotSaved = 1229;         // the record could not be rewritten (settings path)
inline constexpr int kMsgNameEncryptionChange = 1230; // Yes/No: change name encryption of a drive with files?

// What the dialog's fields hold when OK is pressed.
struct DriveEdit
{
    std::string label;
    std::string letter; // "K:"
    bool autoMount = false;
    bool rememberPassword = false;
    token::TokenOptions options;
    bool changePassword = false;
    crypto::SecureString currentPassword; // as typed
    crypto::SecureString newPassword;
    crypto::SecureString confirmation;
};

// The fields as the dialog opens them for a context.
DriveEdit editFieldsFor(const token::DriveContext& context);

// The letters the dialog offers: the free ones and the drive's own (unless it is "Auto"), sorted.
std::vector<std::string> editLetterChoices(host::DriveHost& host, const token::DriveContext& context);

// Clearing "Remember Password": true when the user confirms that the password is to be
// forgotten (message 142); false checks the box again.
bool confirmForgetPassword(Prompter& prompter);

// Whether the backing folder holds anything besides its token and the warning folder.
bool backingFolderHoldsFiles(const std::filesystem::path& folder);

// Which field a refused password change points at (the dialog marks it).
enum class PasswordChangeFault
{
    None,
    CurrentPassword, // not the drive's password (message 152)
    NewPassword,     // the new password fails the password rule (messages 46, 47)
    TokenNotWritten, // message 153; the old password stays
};

// The password change: the current password must be the context's, the new one passes the
// password rule; the context then takes the new password and the token is rewrapped for it.
PasswordChangeFault changeDrivePassword(Prompter& prompter, token::DriveContext& context,
                                        const DriveEdit& edit);

enum class SaveEditResult
{
    Saved,
    SettingsFailed, // the settings file cannot be loaded or saved, or holds no record for the folder
    TokenFailed,    // the record was rewritten, the token could not be
};

// Writes the edit to the context, to the first record whose folder is the context's (ignoring
// case), and to the token. The remembered password gets the login layer when the program lock
// was in force for this run. On SettingsFailed neither the record nor the token was touched
// (the context keeps the edited values).
SaveEditResult SaveEditInfo(const settings::SettingsFile& settings, token::DriveContext& context,
                            const DriveEdit& edit, const LoginLayerState& loginLayer);

// "Backup Security Token" of the dialog: the drive's token copied to target (messages 43 or 153).
// The name proposed for target is defaultBackupName(label).
bool backupEditedDriveToken(Prompter& prompter, const token::DriveContext& context,
                            const std::filesystem::path& target);

// A drive opened for editing, with what it looked like before. It closes itself when it goes
// away, on every path out of the edit: the context leaves the mounted-drives list unless the
// drive is mounted.
struct EditSession
{
    EditSession() = default;
    EditSession(MountedDrives& list, MountedDrives::ContextPtr opened);
    EditSession(EditSession&& other) noexcept;
    EditSession& operator=(EditSession&& other) noexcept;
    EditSession(const EditSession&) = delete;
    EditSession& operator=(const EditSession&) = delete;
    ~EditSession();

    // Removes the editing entry unless the drive is mounted; later calls do nothing.
    void close();

    MountedDrives::ContextPtr context;
    std::optional<std::size_t> row;
    std::string originalLetter;
    std::string originalLabel;
    token::TokenOptions originalOptions;
    bool mounted = false; // served now, by this process or another
    // Why the last OK stopped at the password change, if it did.
    PasswordChangeFault passwordFault = PasswordChangeFault::None;

private:
    MountedDrives* m_list = nullptr; // null once closed
};

// drvEdit up to the dialog: the row's drive unlocked (asking for its password unless it is
// remembered) and in the mounted-drives list. Nothing when there is none to edit (message shown).
std::optional<EditSession> beginDriveEdit(DriveServices& services, std::optional<std::size_t> selectedRow);

enum class EditOutcome
{
    Saved,      // the context, record and token carry the edit
    SaveFailed, // the password step passed but the record could not be rewritten (message shown)
    Stopped,    // a check failed or the user said No: nothing changed; the dialog stays open
};

// OK of the edit dialog: the question about file name encryption on a drive that holds files,
// the password change when asked for, then SaveEditInfo.
EditOutcome confirmDriveEdit(DriveServices& services, EditSession& session, const DriveEdit& edit);

// drvEdit after the dialog. Accepted: the row shows the edit, and a mounted drive whose letter,
// label or options changed is unmounted and mounted again as edited. Either way the session is
// closed. True unless remounting failed (reported).
bool finishDriveEdit(DriveServices& services, EditSession& session, bool accepted,
                     const host::MountOptions& options = {});

} // namespace kestrava::drives
