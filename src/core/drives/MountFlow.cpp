#include "core/drives/MountFlow.h"

#include "core/access/DrivePasswordCheck.h"
#include "core/access/LegacyCodePage.h"
#include "core/app/ActivityLog.h"
#include "core/app/Prompter.h"
#include "core/drives/DriveMessages.h"
#include "core/drives/FreeLetters.h"
#include "core/drives/MountReport.h"
#include "core/drives/RememberedPassword.h"
#include "core/settings/SavedPasswords.h"
#include "core/settings/SettingsFile.h"
#include "core/token/DriveContext.h"
#include "core/token/HardenedToken.h"
#include "core/token/TokenDocument.h"
#include "core/util/AtomicFile.h"
#include "core/util/Redact.h"

#include <functional>
#include <optional>

namespace kestrava::drives {
namespace {

using token::DriveContext;

// The remembered password no longer opens the drive (letter, label, folder).
constexpr int kMsgStalePassword = 1260;

bool folderExists(const std::string& folder)
{
    std::error_code ec;
    const bool exists = std::filesystem::is_directory(folder, ec);
    writeLog("DirExists: %d - %s", exists ? 1 : 0, folder.c_str());
    return exists;
}

// Whether the host serves this record's drive now (mounted by this or another process).
bool servedByHost(const std::vector<host::MountedDrive>& served, const settings::DriveRecord& record)
{
    for (const auto& drive : served) {
        if (!drive.stale && sameDriveLetter(drive.letter, record.letter) &&
            drive.backingFolder == record.folder) {
            return true;
        }
    }
    return false;
}

DriveRow rowFromRecord(const settings::DriveRecord& record, MountState mounted, bool remembered,
                       const CloudFolderLookup& cloudFolders)
{
    DriveRow row;
    row.letter = record.letter;
    row.label = record.label;
    row.folderCell = mounted == MountState::FolderMissing ? missingFolderCell(record.folder) : record.folder;
    row.mounted = mounted;
    row.autoMount = record.automount == 1;
    row.passwordRemembered = remembered;
    row.icon = rowIconIndex(record.folder, cloudFolders);
    return row;
}

DriveRow rowFromContext(const DriveContext& context, MountState mounted,
                        const CloudFolderLookup& cloudFolders)
{
    DriveRow row;
    row.letter = context.driveLetter();
    row.label = context.label();
    row.folderCell = context.backingFolder().string();
    row.mounted = mounted;
    row.autoMount = context.autoMount;
    row.passwordRemembered = context.passwordRemembered;
    row.icon = rowIconIndex(context.backingFolder(), cloudFolders);
    return row;
}

// A token of either format.
bool tokenParses(const std::filesystem::path& tokenPath)
{
    return token::readTokenFormat(tokenPath).has_value();
}

UnlockResult stillLocked(UnlockOutcome outcome, PasswordSource source = PasswordSource::None)
{
    return UnlockResult{outcome, source, nullptr, std::nullopt};
}

// One unlock of a drive: token, password, checks.
class DriveUnlocker
{
public:
    DriveUnlocker(DriveServices& services, const settings::DriveRecord& record, const UnlockRequest& request)
        : m_s(services), m_record(record), m_request(request)
    {
    }

    UnlockResult run()
    {
        UnlockResult result = unlock();
        result.autoMount = m_autoMount;
        return result;
    }

private:
    UnlockResult unlock()
    {
        const settings::DriveRecord& record = m_record;
        const std::filesystem::path tokenPath = token::tokenPathFor(record.folder);
        if (!tokenParses(tokenPath)) {
            m_s.prompter.messageBox(kMsgTokenUnreadable, {tokenPath.string(), record.folder, record.label},
                                    Buttons::OK, Icon::Error);
            writeLog("!ReadDriveInfo ReadQXSession Failed: %s", tokenPath.c_str());
            return stillLocked(UnlockOutcome::TokenUnreadable);
        }
        auto context = std::make_shared<DriveContext>();
        m_s.prompter.status(formatPrompterMessage(kStatusMounting, {record.label, record.letter}));

        const bool remembered = !record.pwd.empty();
        PasswordSource source = PasswordSource::None;
        bool rememberBox = false;
        switch (m_request.mode) {
        case UnlockMode::TokenCheckOnly:
            return stillLocked(UnlockOutcome::NoPassword);
        case UnlockMode::RememberedOnly:
            // A refresh still checks a remembered password, so that a damaged token is reported;
            // without a password there is nothing to check.
            if (!remembered) {
                return stillLocked(UnlockOutcome::NoPassword);
            }
            source = PasswordSource::Remembered;
            context->SetPassword(record.pwd);
            break;
        case UnlockMode::RememberedOrPrompt:
            if (remembered) {
                source = PasswordSource::Remembered;
                context->SetPassword(record.pwd);
            } else if (!m_request.mayPrompt) {
                writeLog("ReadDriveInfo No Prompt: %s", record.folder.c_str());
                return stillLocked(UnlockOutcome::NoPassword);
            } else {
                if (!askPassword(*context, rememberBox, m_request.rememberByDefault)) {
                    return stillLocked(UnlockOutcome::Cancelled, PasswordSource::Prompt);
                }
                source = PasswordSource::Prompt;
            }
            break;
        }

        fillContext(*context, source, rememberBox);
        UnlockOutcome checked = checkPassword(*context, source);
        if (checked == UnlockOutcome::StalePassword) {
            context = std::make_shared<DriveContext>();
            if (!askInsteadOfStalePassword(*context, rememberBox)) {
                // Either nothing may be asked, or the prompt for the current password was cancelled.
                const bool prompted = m_request.mode == UnlockMode::RememberedOrPrompt && m_request.mayPrompt;
                return stillLocked(prompted ? UnlockOutcome::Cancelled : UnlockOutcome::StalePassword,
                                   PasswordSource::Remembered);
            }
            source = PasswordSource::Prompt;
            fillContext(*context, source, rememberBox);
            checked = checkPassword(*context, source);
        }
        if (checked != UnlockOutcome::Unlocked) {
            return stillLocked(checked, source);
        }
        return {UnlockOutcome::Unlocked, source, std::move(context), std::nullopt};
    }

    // The drive password prompt. True when the context holds the typed drive password.
    bool askPassword(DriveContext& context, bool& rememberBox, bool rememberByDefault)
    {
        const settings::DriveRecord& record = m_record;
        writeLog("ReadDriveInfo Drive Login Screen Popup...");
        DrivePasswordRequest prompt;
        prompt.label = record.label;
        prompt.folder = record.folder;
        prompt.letter = record.letter;
        prompt.autoMount = record.automount == 1;
        prompt.rememberPassword = rememberByDefault;
        const std::filesystem::path folder = record.folder;
        prompt.check = [folder](std::string_view typed) {
            return checkDrivePassword(folder, typed).accepted;
        };
        const DrivePasswordAnswer answer = m_s.prompter.askDrivePassword(prompt);
        // The box takes effect when changed, also when the prompt is then cancelled.
        const bool boxChanged = answer.autoMountChanged || (answer.outcome == PasswordOutcome::Entered &&
                                                            prompt.autoMount != answer.autoMount);
        if (boxChanged) {
            m_s.settings.setDriveAutoMount(record.folder, answer.autoMount ? 1 : 0);
            m_autoMount = answer.autoMount;
        }
        if (answer.outcome == PasswordOutcome::Entered && !answer.password.empty()) {
            const std::string drivePassword =
                drivePasswordFor(token::tokenPathFor(record.folder), answer.password);
            context.SetPassword(drivePassword);
            rememberBox = answer.rememberPassword;
            writeLog("ReadDriveInfo LoginDlg: %s - SavedPassword(%d)", util::redact(drivePassword).c_str(),
                     rememberBox ? 1 : 0);
            return true;
        }
        if (answer.outcome == PasswordOutcome::Cancelled) {
            writeLog("ReadDriveInfo LoginDlg Cancelled.");
        }
        return false;
    }

    void fillContext(DriveContext& context, PasswordSource source, bool rememberBox)
    {
        context.setLabel(m_record.label);
        context.setBackingFolder(m_record.folder);
        context.setDriveLetter(m_record.letter);
        context.autoMount = m_autoMount.value_or(m_record.automount == 1);
        if (source == PasswordSource::Prompt) {
            context.passwordRemembered = rememberBox;
            if (rememberBox) {
                context.passwordRemembered = m_s.settings.rememberPasswd(context);
            }
        } else {
            context.UnprotectPassword();
            context.passwordRemembered = true;
        }
    }

    // Loads the token and requires the password to open it. A token of the old format has no
    // digest, so its check data must pass before anything is mounted with its key.
    // StalePassword: the token reads but the remembered password does not open it.
    UnlockOutcome checkPassword(DriveContext& context, PasswordSource source)
    {
        const std::filesystem::path tokenPath = token::tokenPathFor(m_record.folder);
        const bool loaded = context.LoadToken(tokenPath, false);
        if (loaded && source == PasswordSource::Remembered) {
            // A password the edit dialog stored under the login layer opens once that is taken off.
            readRememberedPassword(context, m_record.pwd, m_s.loginLayer, tokenPath);
        }
        const bool valid = loaded && (source == PasswordSource::Prompt || context.VerifyDigest());
        writeLog("ReadDriveInfo Validity Check: %d", valid ? 1 : 0);
        if (valid || (loaded && context.isLegacy())) {
            const bool verified = context.VerifyCheckData();
            writeLog("ReadDriveInfo checkResult: %d", verified ? 1 : 0);
            if (verified) {
                return UnlockOutcome::Unlocked;
            }
            return m_request.offerToForget ? offerPasswordRemoval() : UnlockOutcome::CheckFailed;
        }
        if (source == PasswordSource::Remembered && loaded) {
            // The password was changed elsewhere: the caller asks for the current one.
            return UnlockOutcome::StalePassword;
        }
        m_s.prompter.messageBox(kMsgTokenCorrupted, {}, Buttons::OK, Icon::Error);
        return UnlockOutcome::TokenCorrupted;
    }

    // Says the remembered password is stale, then asks the password as for a drive without one;
    // the prompt's remember box starts ticked, so a password that opens the drive replaces the
    // stale one (nothing is dropped unless a working password takes its place). True when
    // context now holds a typed password to check.
    bool askInsteadOfStalePassword(DriveContext& context, bool& rememberBox)
    {
        const settings::DriveRecord& record = m_record;
        writeLog("!ReadDriveInfo: the remembered password no longer opens %s", record.folder.c_str());
        m_s.prompter.messageBox(kMsgStalePassword, {record.letter, record.label, record.folder}, Buttons::OK,
                                Icon::Warning);
        if (m_request.mode != UnlockMode::RememberedOrPrompt || !m_request.mayPrompt) {
            return false;
        }
        return askPassword(context, rememberBox, true);
    }

    UnlockOutcome offerPasswordRemoval()
    {
        const settings::DriveRecord& record = m_record;
        writeLog("!ReadDriveInfo checkResult: %s",
                 formatPrompterMessage(kMsgVerificationFailed, {record.label, record.folder}).c_str());
        if (m_s.prompter.messageBox(kMsgVerificationFailed, {record.label, record.folder}, Buttons::YesNo,
                                    Icon::Error) != Button::Yes) {
            return UnlockOutcome::CheckFailed;
        }
        if (m_s.settings.RemoveDrivePwd(record.folder, record.letter)) {
            m_s.prompter.status("");
            if (m_s.requestRefresh) {
                m_s.requestRefresh();
            } else {
                doRefreshDrv(m_s);
            }
            return UnlockOutcome::PasswordForgotten;
        }
        m_s.prompter.messageBox(kMsgPasswordRemovalFailed, {}, Buttons::OK, Icon::Error);
        return UnlockOutcome::CheckFailed;
    }

    DriveServices& m_s;
    const settings::DriveRecord& m_record;
    const UnlockRequest& m_request;
    std::optional<bool> m_autoMount;
};

// How a walk over the records is logged: the row it is for (-1: every record), whether it
// mounts or unlocks for editing, and the folder a refresh re-reads.
struct WalkLog
{
    int selectedRow = -1;
    bool doMount = false;
    bool doEdit = false;
    std::string refreshPath;
};

// The records of the settings file, the walk's first line logged; nothing when the file
// cannot be loaded.
std::optional<std::vector<settings::DriveRecord>> beginWalk(DriveServices& s, const WalkLog& log)
{
    writeLog("ReadDriveInfo Begin: nSelectedItem(%d), doMount(%d), doEdit(%d), refreshDrvPath(%s)",
             log.selectedRow, log.doMount ? 1 : 0, log.doEdit ? 1 : 0, log.refreshPath.c_str());
    return s.settings.driveRecords();
}

// What a record's step tells the walk: nothing to go on with the next record, else the walk's
// result.
using Stop = std::optional<bool>;
using RecordStep = std::function<Stop(const settings::DriveRecord&, const std::vector<host::MountedDrive>&)>;

// Hands each record whose folder is selected (every record when folder is empty) to step, in
// the file's order, with the host's mounts as they were when the walk began.
bool walkRecords(DriveServices& s, const std::vector<settings::DriveRecord>& records,
                 const std::optional<std::string>& folder, const RecordStep& step)
{
    const auto served = s.host.mountedDrives();
    for (const settings::DriveRecord& record : records) {
        writeLog("ReadDriveInfo Item: letter(%s), label(%s), folder(%s)", record.letter.c_str(),
                 record.label.c_str(), record.folder.c_str());
        if (folder && record.folder != *folder) {
            continue;
        }
        if (const Stop stop = step(record, served)) {
            return *stop;
        }
    }
    s.prompter.status("");
    writeLog("ReadDriveInfo Finished!");
    return true;
}

bool folderIsMissing(const settings::DriveRecord& record)
{
    if (folderExists(record.folder)) {
        return false;
    }
    writeLog("!ReadDriveInfo Cannot Find Dir: letter(%s), label(%s), folder(%s)", record.letter.c_str(),
             record.label.c_str(), record.folder.c_str());
    return true;
}

// The row of a drive the host serves already (this process's, or another's): nothing to unlock.
DriveRow servedRow(DriveServices& s, const settings::DriveRecord& record)
{
    const auto context = s.mounted.findByFolder(record.folder);
    return context ? rowFromContext(*context, MountState::Mounted, s.cloudFolders)
                   : rowFromRecord(record, MountState::Mounted, !record.pwd.empty(), s.cloudFolders);
}

// A drive another process serves is mounted even though this run did not mount it.
MountState unmountedState(const std::vector<host::MountedDrive>& served, const settings::DriveRecord& record)
{
    return servedByHost(served, record) ? MountState::Mounted : MountState::NotMounted;
}

DriveRow lockedRow(DriveServices& s, const settings::DriveRecord& record,
                   const std::vector<host::MountedDrive>& served)
{
    return rowFromRecord(record, unmountedState(served, record), s.settings.passwdSaved(record.folder),
                         s.cloudFolders);
}

UnlockRequest unlockRequestFor(bool mountNow, bool askPasswords, bool rememberByDefault, bool offerToForget)
{
    UnlockRequest request;
    request.mode = mountNow ? UnlockMode::RememberedOrPrompt : UnlockMode::TokenCheckOnly;
    request.mayPrompt = askPasswords;
    request.rememberByDefault = rememberByDefault;
    request.offerToForget = offerToForget;
    return request;
}

UnlockResult unlockLogged(DriveServices& s, const settings::DriveRecord& record, const UnlockRequest& request)
{
    const bool mountNow = request.mode != UnlockMode::TokenCheckOnly;
    writeLog("ReadDriveInfo AutoMount: %d - %s", mountNow ? 1 : 0,
             token::tokenPathFor(record.folder).c_str());
    return unlockDrive(s, record, request);
}

// A record whose folder is missing, or whose drive is served already, is listed as it is with
// nothing to unlock. True when it was listed.
bool listedAsItIs(DriveServices& s, const settings::DriveRecord& record,
                  const std::vector<host::MountedDrive>& served)
{
    if (folderIsMissing(record)) {
        s.rows.addRow(rowFromRecord(record, MountState::FolderMissing, s.settings.passwdSaved(record.folder),
                                    s.cloudFolders));
        return true;
    }
    if (servedByHost(served, record)) {
        s.rows.addRow(servedRow(s, record));
        return true;
    }
    return false;
}

// The start-up fill's step: the record listed, and mounted when it is marked for auto-mount.
Stop fillRecord(DriveServices& s, const settings::DriveRecord& record,
                const std::vector<host::MountedDrive>& served, bool askPasswords, bool rememberByDefault,
                const host::MountOptions& options)
{
    if (listedAsItIs(s, record, served)) {
        return std::nullopt;
    }
    const UnlockResult unlocked = unlockLogged(
        s, record, unlockRequestFor(record.automount == 1, askPasswords, rememberByDefault, false));
    if (!unlocked.unlocked()) {
        DriveRow row = lockedRow(s, record, served);
        row.autoMount = unlocked.autoMount.value_or(row.autoMount);
        s.rows.addRow(row);
        return std::nullopt;
    }
    // A letter in use is only logged while the whole list is filled.
    const MountStepOutcome outcome = mountUnlocked(s, record, unlocked.context, options, false);
    const MountState state =
        outcome == MountStepOutcome::Mounted ? MountState::Mounted : unmountedState(served, record);
    s.rows.addRow(rowFromContext(*unlocked.context, state, s.cloudFolders));
    return std::nullopt;
}

// The refresh's step: the record listed again, never mounted; a remembered password is still
// checked, so that a damaged token is reported.
Stop refreshRecord(DriveServices& s, const settings::DriveRecord& record,
                   const std::vector<host::MountedDrive>& served)
{
    if (listedAsItIs(s, record, served)) {
        return std::nullopt;
    }
    UnlockRequest request;
    request.mode = UnlockMode::RememberedOnly;
    request.mayPrompt = false;
    writeLog("ReadDriveInfo AutoMount: %d - %s", record.automount == 1 ? 1 : 0,
             token::tokenPathFor(record.folder).c_str());
    unlockDrive(s, record, request);
    s.rows.addRow(lockedRow(s, record, served));
    return std::nullopt;
}

// Re-reads one row: unlocks its drive (asking when needed) and mounts it, or only unlocks it
// into the mounted-drives list for the edit dialog. Stops with false when it stays locked.
Stop openRecord(DriveServices& s, const settings::DriveRecord& record,
                const std::vector<host::MountedDrive>& served, std::size_t index, bool forEdit,
                bool rememberByDefault, const host::MountOptions& options)
{
    if (folderIsMissing(record)) {
        return std::nullopt; // the row says so already
    }
    if (!forEdit && servedByHost(served, record)) {
        s.rows.updateRow(index, servedRow(s, record));
        return std::nullopt;
    }
    const UnlockResult unlocked =
        unlockLogged(s, record, unlockRequestFor(true, true, rememberByDefault, true));
    if (unlocked.outcome == UnlockOutcome::PasswordForgotten) {
        return true;
    }
    if (!unlocked.unlocked()) {
        if (unlocked.autoMount) {
            if (auto row = s.rows.row(index)) {
                row->autoMount = *unlocked.autoMount;
                s.rows.updateRow(index, *row);
            }
        }
        s.prompter.status("");
        return false;
    }
    if (forEdit) {
        // Unlocked for the edit dialog: listed as not mounted by this process, never mounted.
        s.mounted.add(unlocked.context);
        writeLog("ReadDriveInfo InitializeFileSystem: %s", record.folder.c_str());
        writeLog("!ReadDriveInfo InstallFileSystem: Drive Not Mounted(%s) - %s", record.letter.c_str(),
                 record.folder.c_str());
        s.rows.updateRow(index,
                         rowFromContext(*unlocked.context, unmountedState(served, record), s.cloudFolders));
        return std::nullopt;
    }
    // A single mount says when another process took the letter after our check.
    const MountStepOutcome outcome = mountUnlocked(s, record, unlocked.context, options, true);
    s.rows.updateRow(index,
                     rowFromContext(*unlocked.context,
                                    outcome == MountStepOutcome::Mounted ? MountState::Mounted
                                                                         : unmountedState(served, record),
                                    s.cloudFolders));
    return std::nullopt;
}

// One row's drive opened (mounted, or unlocked for editing). False when the settings file
// cannot be loaded, the row is gone, or the drive stayed locked.
bool openRow(DriveServices& s, std::size_t index, bool forEdit, bool rememberByDefault,
             const host::MountOptions& options)
{
    const auto records = beginWalk(s, {static_cast<int>(index), true, forEdit, {}});
    if (!records) {
        return false;
    }
    const auto row = s.rows.row(index);
    if (!row) {
        return false;
    }
    return walkRecords(s, *records, row->folderCell, [&](const auto& record, const auto& served) {
        return openRecord(s, record, served, index, forEdit, rememberByDefault, options);
    });
}

// The refresh of one record's rows, never mounting.
void refreshRecordRows(DriveServices& s, const std::string& folder, int counter)
{
    const auto records = beginWalk(s, {counter, false, false, folder});
    if (records) {
        walkRecords(s, *records, folder,
                    [&](const auto& record, const auto& served) { return refreshRecord(s, record, served); });
    }
}

} // namespace

UnlockResult unlockDrive(DriveServices& services, const settings::DriveRecord& record,
                         const UnlockRequest& request)
{
    return DriveUnlocker(services, record, request).run();
}

MountStepOutcome mountUnlocked(DriveServices& services, const settings::DriveRecord& record,
                               const MountedDrives::ContextPtr& context, const host::MountOptions& options,
                               bool reportLetterInUse)
{
    services.mounted.add(context);
    writeLog("ReadDriveInfo InitializeFileSystem: %s", record.folder.c_str());
    MountStepOutcome outcome = MountStepOutcome::LetterInUse;
    if (!services.host.isLetterInUse(record.letter)) {
        const host::MountResult result = services.host.InstallFileSystem(*context, options);
        if (result.outcome == host::MountOutcome::Mounted) {
            services.mounted.setMounted(*context, true);
            writeLog("ReadDriveInfo InstallFileSystem: Mounted Drive(%s) - %s", record.letter.c_str(),
                     record.folder.c_str());
            return MountStepOutcome::Mounted;
        }
        writeLog("!ReadDriveInfo InstallFileSystem: %s", result.detail.c_str());
        if (result.outcome != host::MountOutcome::LetterInUse || reportLetterInUse) {
            reportMountFailure(services.prompter, record.letter, result);
        }
        outcome = result.outcome == host::MountOutcome::LetterInUse ? MountStepOutcome::LetterInUse
                                                                    : MountStepOutcome::Failed;
    }
    writeLog("!ReadDriveInfo InstallFileSystem: Drive Not Mounted(%s) - %s", record.letter.c_str(),
             record.folder.c_str());
    services.mounted.remove(context.get());
    return outcome;
}

bool fillDriveList(DriveServices& services, bool askPasswords, const host::MountOptions& options,
                   bool rememberByDefault)
{
    const auto records = beginWalk(services, {});
    services.rows.clear();
    if (!records) {
        return false;
    }
    return walkRecords(services, *records, std::nullopt, [&](const auto& record, const auto& served) {
        return fillRecord(services, record, served, askPasswords, rememberByDefault, options);
    });
}

std::vector<DriveRow> listDriveRows(const settings::SettingsFile& settings, host::DriveHost& host,
                                    const CloudFolderLookup& cloudFolders)
{
    std::vector<DriveRow> rows;
    const auto records = settings.driveRecords();
    if (!records) {
        return rows;
    }
    const auto served = host.mountedDrives();
    for (const settings::DriveRecord& record : *records) {
        std::error_code ec;
        const bool exists = std::filesystem::is_directory(record.folder, ec);
        const MountState mounted = !exists                        ? MountState::FolderMissing
                                   : servedByHost(served, record) ? MountState::Mounted
                                                                  : MountState::NotMounted;
        rows.push_back(rowFromRecord(record, mounted, !record.pwd.empty(), cloudFolders));
    }
    return rows;
}

bool mountRow(DriveServices& services, std::size_t index, const host::MountOptions& options,
              bool rememberByDefault)
{
    const auto row = services.rows.row(index);
    if (!row) {
        services.prompter.messageBox(kMsgNoDriveSelected, {}, Buttons::OK, Icon::Error);
        return false;
    }
    if (row->mounted == MountState::Mounted) {
        return true;
    }
    if (row->mounted != MountState::NotMounted) {
        services.prompter.messageBox(kMsgMountRowUnreadable, {}, Buttons::OK, Icon::Error);
        return false;
    }
    if (services.host.isLetterInUse(row->letter)) {
        services.prompter.messageBox(kMsgLetterInUse, {row->letter}, Buttons::OK, Icon::Error);
        return false;
    }
    openRow(services, index, false, rememberByDefault, options);
    const auto after = services.rows.row(index);
    return after && after->isMounted();
}

bool unmountRow(DriveServices& services, std::size_t index)
{
    auto row = services.rows.row(index);
    if (!row) {
        services.prompter.messageBox(kMsgNoDriveSelected, {}, Buttons::OK, Icon::Error);
        return false;
    }
    services.prompter.status(formatPrompterMessage(kStatusUnmounting, {row->label, row->letter}));
    if (!services.host.UnmountFileSystem(row->letter)) {
        // Busy: the drive stays mounted and listed as such.
        writeLog("!UnmountFileSystem: %s - %s", row->letter.c_str(), row->folder().c_str());
        services.prompter.status("");
        services.prompter.messageBox(kMsgUnmountFailed,
                                     {row->letter, services.host.mountPointFor(row->letter).string()},
                                     Buttons::OK, Icon::Error);
        return false;
    }
    if (const auto context = services.mounted.findByFolder(row->folder())) {
        services.mounted.remove(context.get());
    }
    row->mounted = MountState::NotMounted;
    services.rows.updateRow(index, *row);
    services.prompter.status("");
    return true;
}

bool doMountDrv(DriveServices& services, std::optional<std::size_t> selectedRow,
                const host::MountOptions& options)
{
    writeLog("doMountDrv");
    const auto row = selectedRow ? services.rows.row(*selectedRow) : std::nullopt;
    if (!row) {
        services.prompter.messageBox(kMsgNoDriveSelected, {}, Buttons::OK, Icon::Error);
        return false;
    }
    if (row->mounted == MountState::Mounted) {
        return unmountRow(services, *selectedRow);
    }
    if (row->mounted == MountState::NotMounted) {
        return mountRow(services, *selectedRow, options);
    }
    services.prompter.messageBox(kMsgMountRowUnreadable, {}, Buttons::OK, Icon::Error);
    return false;
}

bool unmountVanishedDrive(DriveServices& services, const std::string& letter, const std::string& folder)
{
    writeLog("UnmountVanishedDrive: %s - %s", letter.c_str(), folder.c_str());
    const bool unmounted = services.host.UnmountFileSystem(letter);
    if (const auto context = services.mounted.findByFolder(folder); context && unmounted) {
        services.mounted.remove(context.get());
    }
    return unmounted;
}

void doRefreshDrv(DriveServices& services)
{
    const auto records = services.settings.driveRecords();
    if (!records) {
        return;
    }
    services.rows.clear();
    const auto served = services.host.mountedDrives();
    int counter = 0;
    for (const settings::DriveRecord& record : *records) {
        writeLog("doRefreshDrv: %s", record.folder.c_str());
        auto context = services.mounted.findByFolder(record.folder);
        if (context && !services.mounted.isMounted(*context)) {
            context = nullptr; // being edited, not mounted
        }
        const bool mounted = context != nullptr || servedByHost(served, record);
        const int row = counter++;
        if (!mounted) {
            refreshRecordRows(services, record.folder, row);
            continue;
        }
        std::error_code ec;
        if (std::filesystem::is_directory(record.folder, ec)) {
            services.rows.addRow(
                context
                    ? rowFromContext(*context, MountState::Mounted, services.cloudFolders)
                    : rowFromRecord(record, MountState::Mounted, !record.pwd.empty(), services.cloudFolders));
            continue;
        }
        unmountVanishedDrive(services, record.letter, record.folder);
        refreshRecordRows(services, record.folder, row);
    }
}

MountedDrives::ContextPtr prepareDriveForEdit(DriveServices& services, std::optional<std::size_t> selectedRow)
{
    const auto row = selectedRow ? services.rows.row(*selectedRow) : std::nullopt;
    if (!row) {
        services.prompter.messageBox(kMsgNoDriveSelected, {}, Buttons::OK, Icon::Error);
        return nullptr;
    }
    writeLog("drvEdit: index(%d)", static_cast<int>(*selectedRow));
    if (row->mounted != MountState::Mounted && row->mounted != MountState::NotMounted) {
        services.prompter.messageBox(kMsgRowUnreadable, {}, Buttons::OK, Icon::Error);
        return nullptr;
    }
    if (auto context = services.mounted.findByFolder(row->folder())) {
        return context;
    }
    if (!openRow(services, *selectedRow, true, false, {})) {
        return nullptr;
    }
    return services.mounted.findByFolder(row->folder());
}

void unmountAll(DriveServices& services)
{
    for (const auto& entry : services.mounted.takeAll()) {
        if (entry.mounted) {
            services.host.UnmountFileSystem(entry.letter);
        }
    }
}

} // namespace kestrava::drives
