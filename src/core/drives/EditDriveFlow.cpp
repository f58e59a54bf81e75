#include "core/drives/EditDriveFlow.h"

#include "core/access/LegacyCodePage.h"
#include "core/access/PasswordRule.h"
#include "core/app/ActivityLog.h"
#include "core/app/Prompter.h"
#include "core/app/StringTable.h"
#include "core/drives/DriveMessages.h"
#include "core/drives/FreeLetters.h"
#include "core/drives/MountFlow.h"
#include "core/drives/MountReport.h"
#include "core/drives/RememberedPassword.h"
#include "core/drives/TokenBackup.h"
#include "core/fs/PathMapper.h"
#include "core/settings/CaseFold.h"
#include "core/settings/SettingsFile.h"
#include "core/token/TokenDocument.h"
#include "core/util/Redact.h"

#include <algorithm>
#include <utility>

namespace kestrava::drives {
namespace {

using token::DriveContext;

constexpr std::size_t kMaxFieldChars = 259;
constexpr std::size_t kMaxLetterChars = 4;
constexpr const char* kAutoLetter = "Auto";

bool sameOptions(const token::TokenOptions& a, const token::TokenOptions& b)
{
    return a.fileNameEncryption == b.fileNameEncryption && a.longFileNames == b.longFileNames &&
           a.caseInsensitive == b.caseInsensitive;
}

DriveRow rowFor(const DriveContext& context, bool mounted, const CloudFolderLookup& cloudFolders)
{
    DriveRow row;
    row.letter = context.driveLetter();
    row.label = context.label();
    row.folderCell = context.backingFolder().string();
    row.mounted = mounted ? MountState::Mounted : MountState::NotMounted;
    row.autoMount = context.autoMount;
    row.passwordRemembered = context.passwordRemembered;
    row.icon = rowIconIndex(context.backingFolder(), cloudFolders);
    return row;
}

bool servedByHost(host::DriveHost& host, const DriveContext& context)
{
    for (const host::MountedDrive& drive : host.mountedDrives()) {
        if (!drive.stale && sameDriveLetter(drive.letter, context.driveLetter()) &&
            drive.backingFolder == context.backingFolder()) {
            return true;
        }
    }
    return false;
}

// The drive as edited is served from a fresh mount: the serving process holds its own copy of
// the drive, so a new letter, label or options take effect only when it is mounted again.
bool remount(DriveServices& services, EditSession& session, const host::MountOptions& options)
{
    DriveContext& context = *session.context;
    if (!services.host.UnmountFileSystem(session.originalLetter)) {
        writeLog("!drvEdit Unmount: %s - %s", session.originalLetter.c_str(),
                 context.backingFolder().c_str());
        services.prompter.messageBox(
            kMsgUnmountFailed,
            {session.originalLetter, services.host.mountPointFor(session.originalLetter).string()},
            Buttons::OK, Icon::Error);
        return false;
    }
    services.mounted.setMounted(context, false);
    session.mounted = false;
    const host::MountResult result = services.host.InstallFileSystem(context, options);
    if (result.outcome != host::MountOutcome::Mounted) {
        writeLog("!drvEdit InstallFileSystem: %s - %s", context.driveLetter().c_str(), result.detail.c_str());
        reportMountFailure(services.prompter, context.driveLetter(), result);
        return false;
    }
    services.mounted.setMounted(context, true);
    session.mounted = true;
    writeLog("drvEdit InstallFileSystem: Mounted Drive(%s) - %s", context.driveLetter().c_str(),
             context.backingFolder().c_str());
    return true;
}

// The record of the drive being edited: the first whose folder is spelled exactly like the
// drive's, else the first equal to it ignoring case. Folder names are case-sensitive here, so
// two records differing only in case are two drives, and each edit must land on its own.
std::optional<std::size_t> recordToEdit(const std::vector<settings::DriveRecord>& records,
                                        const std::string& folder)
{
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].folder == folder) {
            return i;
        }
    }
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (settings::equalsIgnoringCase(records[i].folder, folder)) {
            return i;
        }
    }
    return std::nullopt;
}

} // namespace

DriveEdit editFieldsFor(const DriveContext& context)
{
    DriveEdit edit;
    edit.label = context.label();
    edit.letter = context.driveLetter();
    edit.autoMount = context.autoMount;
    edit.rememberPassword = context.passwordRemembered;
    edit.options = context.options();
    return edit;
}

std::vector<std::string> editLetterChoices(host::DriveHost& host, const DriveContext& context)
{
    std::vector<std::string> letters = freeDriveLetters(host);
    const auto own = normalizeDriveLetter(context.driveLetter());
    if (context.driveLetter() != kAutoLetter && own &&
        std::find(letters.begin(), letters.end(), *own) == letters.end()) {
        letters.push_back(*own);
    }
    std::sort(letters.begin(), letters.end());
    return letters;
}

bool confirmForgetPassword(Prompter& prompter)
{
    return prompter.messageBox(kMsgForgetPassword, {}, Buttons::YesNo, Icon::Warning) == Button::Yes;
}

bool backingFolderHoldsFiles(const std::filesystem::path& folder)
{
    const std::string warningFolder = fs::warningFolderName();
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name != token::kTokenFileName && name != warningFolder && !fs::IsReplacedTokenName(name)) {
            return true;
        }
    }
    return false;
}

PasswordChangeFault changeDrivePassword(Prompter& prompter, DriveContext& context, const DriveEdit& edit)
{
    const auto forms = drivePasswordCandidates(edit.currentPassword);
    if (std::find(forms.begin(), forms.end(), context.password()) == forms.end()) {
        prompter.messageBox(kMsgIncorrectPassword, {}, Buttons::OK, Icon::Error);
        return PasswordChangeFault::CurrentPassword;
    }
    if (const int message = checkNewPassword(edit.newPassword, edit.confirmation); message != 0) {
        prompter.messageBox(message, {}, Buttons::OK, Icon::Error);
        return PasswordChangeFault::NewPassword;
    }
    const crypto::SecureString previous = crypto::makeSecureString(context.password());
    context.SetPassword(drivePasswordForNewToken(edit.newPassword, context.format()));
    std::string error;
    if (!context.RewrapToken(token::tokenPathFor(context.backingFolder()), &error)) {
        // The token still opens with the old password only; the context must agree with it.
        writeLog("!ChangePassword RewrapToken: %s", error.c_str());
        context.SetPassword(previous);
        context.DeriveKey(context.salt());
        prompter.messageBox(kMsgTokenSaveError, {}, Buttons::OK, Icon::Error);
        return PasswordChangeFault::TokenNotWritten;
    }
    writeLog("ChangePassword: %s", context.backingFolder().c_str());
    return PasswordChangeFault::None;
}

SaveEditResult SaveEditInfo(const settings::SettingsFile& settings, DriveContext& context,
                            const DriveEdit& edit, const LoginLayerState& loginLayer)
{
    // The record is found by its full folder: a cut copy of a long path would match no record.
    // The limits count characters, so a cut never splits a UTF-8 sequence.
    const std::string folder = context.backingFolder().string();
    const std::string letter = applog::cutToCharacters(edit.letter, kMaxLetterChars);
    const std::string label = applog::cutToCharacters(edit.label, kMaxFieldChars);
    context.setLabel(label);
    context.setDriveLetter(letter);
    context.autoMount = edit.autoMount;
    context.setOptions(token::withCaseRule(edit.options));
    const std::string stored = edit.rememberPassword ? rememberedPasswordValue(context, loginLayer) : "";
    // The log names the password by the first characters of its protected form, whatever is
    // stored: the same text identifies it with or without Remember and the program lock.
    writeLog("SaveEditInfo: letter(%s), label(%s), folder(%s), pwd(%s), autoMount(%d)", letter.c_str(),
             label.c_str(), folder.c_str(), util::redact(context.ProtectPassword(context.password())).c_str(),
             edit.autoMount ? 1 : 0);

    bool matched = false;
    const bool saved = settings.update(
        [&](settings::SettingsDocument& document) {
            const auto index = recordToEdit(document.records(), folder);
            if (index) {
                const std::size_t i = *index;
                matched = true;
                document.setRecordAttribute(i, "label", label);
                document.setRecordAttribute(i, "letter", letter);
                document.setRecordAttribute(i, "automount", edit.autoMount ? "1" : "0");
                if (edit.rememberPassword) {
                    document.setRecordAttribute(i, "pwd", stored);
                } else {
                    document.removeRecordAttribute(i, "pwd");
                }
                return settings::Change::Save;
            }
            return settings::Change::Discard;
        },
        false);
    if (!saved || !matched) {
        writeLog("!SaveEditInfo: %s - %s", folder.c_str(), matched ? "cannot save" : "no record");
        return SaveEditResult::SettingsFailed;
    }
    context.passwordRemembered = edit.rememberPassword;
    std::string error;
    if (!context.RewrapToken(token::tokenPathFor(context.backingFolder()), &error)) {
        writeLog("!SaveEditInfo RewrapToken: %s", error.c_str());
        return SaveEditResult::TokenFailed;
    }
    writeLog("SaveEditInfo End");
    return SaveEditResult::Saved;
}

bool backupEditedDriveToken(Prompter& prompter, const DriveContext& context,
                            const std::filesystem::path& target)
{
    return saveTokenCopy(prompter, token::tokenPathFor(context.backingFolder()), target, context.label());
}

EditSession::EditSession(MountedDrives& list, MountedDrives::ContextPtr opened)
    : context(std::move(opened)), m_list(&list)
{
}

EditSession::EditSession(EditSession&& other) noexcept
    : context(std::move(other.context)), row(other.row), originalLetter(std::move(other.originalLetter)),
      originalLabel(std::move(other.originalLabel)), originalOptions(other.originalOptions),
      mounted(other.mounted), passwordFault(other.passwordFault), m_list(std::exchange(other.m_list, nullptr))
{
}

EditSession& EditSession::operator=(EditSession&& other) noexcept
{
    if (this != &other) {
        close();
        context = std::move(other.context);
        row = other.row;
        originalLetter = std::move(other.originalLetter);
        originalLabel = std::move(other.originalLabel);
        originalOptions = other.originalOptions;
        mounted = other.mounted;
        passwordFault = other.passwordFault;
        m_list = std::exchange(other.m_list, nullptr);
    }
    return *this;
}

EditSession::~EditSession()
{
    close();
}

void EditSession::close()
{
    if (m_list != nullptr && context) {
        m_list->removeUnlessMounted(*context);
    }
    m_list = nullptr;
}

std::optional<EditSession> beginDriveEdit(DriveServices& services, std::optional<std::size_t> selectedRow)
{
    auto context = prepareDriveForEdit(services, selectedRow);
    if (!context) {
        return std::nullopt;
    }
    EditSession session(services.mounted, context);
    session.row = selectedRow;
    session.originalLetter = context->driveLetter();
    session.originalLabel = context->label();
    session.originalOptions = context->options();
    session.mounted = services.mounted.isMounted(*context) || servedByHost(services.host, *context);
    return session;
}

EditOutcome confirmDriveEdit(DriveServices& services, EditSession& session, const DriveEdit& edit)
{
    DriveContext& context = *session.context;
    if (edit.options.fileNameEncryption != context.options().fileNameEncryption &&
        backingFolderHoldsFiles(context.backingFolder()) &&
        services.prompter.messageBox(kMsgNameEncryptionChange,
                                     {context.driveLetter(), context.backingFolder().string()},
                                     Buttons::YesNo, Icon::Warning) != Button::Yes) {
        return EditOutcome::Stopped;
    }
    session.passwordFault = PasswordChangeFault::None;
    if (edit.changePassword) {
        session.passwordFault = changeDrivePassword(services.prompter, context, edit);
        if (session.passwordFault != PasswordChangeFault::None) {
            return EditOutcome::Stopped;
        }
    }
    switch (SaveEditInfo(services.settings, context, edit, services.loginLayer)) {
    case SaveEditResult::Saved:
        return EditOutcome::Saved;
    case SaveEditResult::SettingsFailed:
        services.prompter.messageBox(kMsgEditNotSaved, {services.settings.path().string()}, Buttons::OK,
                                     Icon::Error);
        return EditOutcome::SaveFailed;
    case SaveEditResult::TokenFailed:
        services.prompter.messageBox(kMsgTokenSaveError, {}, Buttons::OK, Icon::Error);
        return EditOutcome::SaveFailed;
    }
    return EditOutcome::SaveFailed;
}

bool finishDriveEdit(DriveServices& services, EditSession& session, bool accepted,
                     const host::MountOptions& options)
{
    DriveContext& context = *session.context;
    bool ok = true;
    if (accepted) {
        const bool changed = !sameDriveLetter(context.driveLetter(), session.originalLetter) ||
                             context.label() != session.originalLabel ||
                             !sameOptions(context.options(), session.originalOptions);
        if (session.mounted && changed) {
            ok = remount(services, session, options);
        }
        const auto index = services.rows.findByFolder(context.backingFolder().string());
        if (index) {
            services.rows.updateRow(*index, rowFor(context, session.mounted, services.cloudFolders));
        }
    }
    session.close();
    return ok;
}

} // namespace kestrava::drives
