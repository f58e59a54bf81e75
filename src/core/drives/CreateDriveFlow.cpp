#include "core/drives/CreateDriveFlow.h"

#include "core/access/LegacyCodePage.h"
#include "core/access/PasswordRule.h"
#include "core/app/ActivityLog.h"
#include "core/app/Prompter.h"
#include "core/app/StringTable.h"
#include "core/drives/DriveMessages.h"
#include "core/drives/MountFlow.h"
#include "core/drives/MountReport.h"
#include "core/drives/MountedDrives.h"
#include "core/drives/ReplacedToken.h"
#include "core/fs/PathMapper.h"
#include "core/settings/SavedPasswords.h"
#include "core/settings/SettingsFile.h"
#include "core/token/DriveContext.h"
#include "core/util/AtomicFile.h"

namespace kestrava::drives {
namespace {

using token::DriveContext;

constexpr std::size_t kMaxTokenBytes = 64 * 1024;

bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b)
{
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec)) {
        return true;
    }
    return a.lexically_normal() == b.lexically_normal();
}

bool sameContents(const std::filesystem::path& file, const std::string& contents)
{
    std::string existing;
    std::string error;
    return util::readSmallFile(file, kMaxTokenBytes, existing, error) && existing == contents;
}

void requestRefresh(DriveServices& services)
{
    if (services.requestRefresh) {
        services.requestRefresh();
    } else {
        doRefreshDrv(services);
    }
}

} // namespace

bool placeImportedToken(Prompter& prompter, const std::filesystem::path& importFile,
                        const std::string& folder)
{
    const std::filesystem::path tokenPath = token::tokenPathFor(folder);
    if (sameFile(importFile, tokenPath)) {
        return true;
    }
    std::error_code ec;
    const bool replacing = std::filesystem::exists(std::filesystem::symlink_status(tokenPath, ec));
    if (replacing &&
        prompter.messageBox(kMsgOverwriteToken, {folder}, Buttons::YesNo, Icon::Error) != Button::Yes) {
        return false;
    }
    std::string contents;
    std::string error;
    bool copied = util::readSmallFile(importFile, kMaxTokenBytes, contents, error);
    if (copied && replacing && !sameContents(tokenPath, contents) && !keepReplacedToken(prompter, folder)) {
        return false;
    }
    if (copied) {
        const util::WriteResult result = util::writeFileAtomically(tokenPath, contents, 0600);
        copied = result.ok;
        error = result.message;
    }
    if (!copied) {
        writeLog("!ImportToken Copy: %s -> %s - %s", importFile.c_str(), tokenPath.c_str(), error.c_str());
        prompter.messageBox(kMsgTokenSaveError, {}, Buttons::OK, Icon::Error);
    }
    return copied;
}

bool saveNewDriveRecord(DriveServices& services, const NewDrive& drive, DriveContext& context)
{
    settings::DriveRecord record;
    record.label = drive.label;
    record.folder = drive.folder;
    record.letter = drive.letter;
    record.automount = drive.autoMount ? 1 : 0;
    if (drive.rememberPassword) {
        context.passwordRemembered = true;
        record.pwd = context.ProtectPassword(context.password());
    }
    if (!services.settings.Adv_SaveDriveInfo(record)) {
        // The drive would be missing from the list without a word.
        services.prompter.messageBox(kMsgRecordNotSaved, {services.settings.path().string()}, Buttons::OK,
                                     Icon::Error);
        return false;
    }
    return true;
}

bool recordMountedDrive(DriveServices& services, const NewDrive& drive, DriveContext& context)
{
    services.mounted.setMounted(context, true);
    if (saveNewDriveRecord(services, drive, context)) {
        return true;
    }
    // Unlisted, it could be neither found nor unmounted by the user; the token stays in the
    // folder, so nothing is lost and the drive can be added again.
    if (!services.host.UnmountFileSystem(drive.letter)) {
        writeLog("!RecordMountedDrive Unmount: %s", drive.letter.c_str());
    }
    services.mounted.remove(&context);
    services.prompter.messageBox(kMsgAddFailed, {drive.folder, drive.letter, drive.label}, Buttons::OK,
                                 Icon::Error);
    return false;
}

bool keepUnmountedDrive(DriveServices& services, const NewDrive& drive, DriveContext& context,
                        bool recordSaved, const std::function<void()>& listed, int captionId)
{
    services.mounted.setMounted(context, false);
    if (!recordSaved) {
        recordSaved = saveNewDriveRecord(services, drive, context);
        if (recordSaved && listed) {
            listed();
        }
    }
    // An unmounted context has no reason to keep the key in memory.
    services.mounted.remove(&context);
    const std::vector<std::string> args{drive.folder, drive.letter, drive.label};
    if (!recordSaved) {
        messageBoxCaptioned(services.prompter, captionId, kMsgAddFailed, args, Buttons::OK, Icon::Error);
        return false;
    }
    createWarningFolder(drive.folder);
    messageBoxCaptioned(services.prompter, captionId, kMsgAddedNotMounted, args, Buttons::OK, Icon::Warning);
    return true;
}

void createWarningFolder(const std::string& folder)
{
    std::error_code ec;
    const std::filesystem::path warning = std::filesystem::path(folder) / fs::warningFolderName();
    std::filesystem::create_directory(warning, ec);
    if (ec) {
        writeLog("!CreateWarningFolder: %s - %s", warning.c_str(), ec.message().c_str());
    }
}

namespace {

// The drive password: the new password under the password rule, or an adopted token's
// current password (checked against it). Empty when the run stops.
std::string obtainDrivePassword(Prompter& prompter, const NewDrive& drive, CreationState& state,
                                const PasswordSupplier& passwords)
{
    const bool adopting = !state.importFile.empty();
    const auto typed = passwords ? passwords(adopting) : std::nullopt;
    if (!typed) {
        return {};
    }
    if (!adopting) {
        if (const int message = checkNewPassword(typed->password, typed->confirmation); message != 0) {
            prompter.messageBox(message, {}, Buttons::OK, Icon::Error);
            return {};
        }
        return drivePasswordForNewToken(typed->password, drive.format);
    }
    std::string drivePassword = drivePasswordFor(state.importFile, typed->password);
    token::TokenOptions options;
    if (!checkTokenImport(prompter, state.importFile, drivePassword, state.announcement, &options)) {
        prompter.messageBox(kMsgImportPasswordWrong, {}, Buttons::OK, Icon::Error);
        return {};
    }
    if (!placeImportedToken(prompter, state.importFile, drive.folder)) {
        return {};
    }
    return drivePassword;
}

} // namespace

std::string normalizeBackingFolder(const std::filesystem::path& folder)
{
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(folder, ec);
    if (ec) {
        absolute = folder;
    }
    std::string text = absolute.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

bool importDriveFromFile(Prompter& prompter, CreationState& state, const std::filesystem::path& file)
{
    if (!checkTokenImport(prompter, file, {}, state.announcement)) {
        return false;
    }
    state.importFile = file;
    return true;
}

CreateOutcome confirmAdvancedCreation(DriveServices& services, const NewDrive& drive, CreationState& state,
                                      const PasswordSupplier& passwords)
{
    if (drive.folder.empty()) {
        services.prompter.messageBox(kMsgChooseDestination, {}, Buttons::OK, Icon::None);
        return CreateOutcome::ChooseFolder;
    }
    if (drive.label.empty() || drive.letter.empty()) {
        services.prompter.messageBox(kMsgFieldsEmpty, {}, Buttons::OK, Icon::Error);
        return CreateOutcome::Stopped;
    }
    if (!checkFolderOverlap(services.settings, services.host, services.prompter, drive.folder)) {
        return CreateOutcome::ChooseFolder;
    }
    const bool valid = validateDriveLocation(services.settings, services.prompter, drive.folder, drive.label,
                                             drive.letter, true, ValidationMode::Advanced, state.validation);
    if (valid && state.importFile.empty() && drive.folder != state.lastFolderOffered) {
        state.lastFolderOffered = drive.folder;
        switch (offerExistingToken(services.settings, services.prompter, drive.folder, state.validation,
                                   state.announcement, state.importFile)) {
        case TokenOffer::NoToken:
        case TokenOffer::Adopted:
        case TokenOffer::Declined:
            break;
        case TokenOffer::ImportFailed:
            state.lastFolderOffered.clear();
            [[fallthrough]];
        case TokenOffer::ValidationFailed:
            services.prompter.messageBox(kMsgChooseDestination, {}, Buttons::OK, Icon::None);
            return CreateOutcome::ChooseFolder;
        case TokenOffer::Unanswered:
            state.lastFolderOffered.clear();
            return CreateOutcome::Stopped;
        }
    }
    state.announcement.announce = false;
    return runAdvancedCreation(services, drive, state, passwords);
}

CreateOutcome runAdvancedCreation(DriveServices& services, const NewDrive& drive, CreationState& state,
                                  const PasswordSupplier& passwords)
{
    Prompter& prompter = services.prompter;
    if (drive.folder.empty() || drive.letter.empty() || drive.label.empty()) {
        prompter.messageBox(kMsgFieldsEmpty, {}, Buttons::OK, Icon::Error);
        return CreateOutcome::Stopped;
    }
    if (!checkFolderOverlap(services.settings, services.host, prompter, drive.folder) ||
        !validateDriveLocation(services.settings, prompter, drive.folder, drive.label, drive.letter, false,
                               ValidationMode::Advanced, state.validation)) {
        return CreateOutcome::Stopped;
    }
    const std::string drivePassword = obtainDrivePassword(prompter, drive, state, passwords);
    if (drivePassword.empty()) {
        return CreateOutcome::Stopped;
    }
    // A token the user chose not to adopt still opens the files already in the folder.
    if (state.importFile.empty() && !keepReplacedToken(prompter, drive.folder)) {
        return CreateOutcome::Stopped;
    }

    auto context = std::make_shared<DriveContext>(drivePassword);
    services.mounted.add(context);
    context->setOptions(
        token::withCaseRule({drive.fileNameEncryption, drive.longFileNames, drive.caseInsensitive}));
    context->setFormat(drive.format);
    context->autoMount = drive.autoMount;
    context->setLabel(drive.label);
    const std::filesystem::path tokenPath = token::tokenPathFor(drive.folder);
    std::string error;
    const bool tokenReady = state.importFile.empty()
                                ? context->CreateToken(tokenPath, &error)
                                : context->unlock(tokenPath, &error) == token::TokenLoadStatus::Loaded;
    if (!tokenReady) {
        // Without a token on disk the drive's key would be lost with this context: stop here.
        writeLog("!CreateDrive Token: %s", error.c_str());
        services.mounted.remove(context.get());
        prompter.messageBox(kMsgTokenSaveError, {}, Buttons::OK, Icon::Error);
        return CreateOutcome::Stopped;
    }
    context->setBackingFolder(drive.folder);
    context->setDriveLetter(drive.letter);

    bool recordSaved = false;
    if (!services.host.IsDriverInstalled() || !drive.mount) {
        services.mounted.setMounted(*context, false);
        recordSaved = saveNewDriveRecord(services, drive, *context);
        requestRefresh(services);
    }
    if (!drive.mount) {
        services.mounted.remove(context.get());
        if (!recordSaved) {
            return CreateOutcome::Stopped; // the failure has been reported
        }
        createWarningFolder(drive.folder);
        prompter.messageBox(kMsgDriveAdded, {drive.letter, drive.label}, Buttons::OK, Icon::Information);
        return CreateOutcome::Created;
    }
    const host::MountResult result = services.host.InstallFileSystem(*context, drive.mountOptions);
    if (result.outcome != host::MountOutcome::Mounted) {
        writeLog("!CreateDrive InstallFileSystem: %s - %s", drive.letter.c_str(), result.detail.c_str());
        reportMountFailure(prompter, drive.letter, result);
        return keepUnmountedDrive(services, drive, *context, recordSaved, [&] { requestRefresh(services); })
                   ? CreateOutcome::NotMounted
                   : CreateOutcome::Stopped;
    }
    if (!recordSaved && !recordMountedDrive(services, drive, *context)) {
        return CreateOutcome::Stopped;
    }
    prompter.messageBox(kMsgDriveAdded, {drive.letter, drive.label}, Buttons::OK, Icon::Information);
    services.mounted.setMounted(*context, true);
    if (!recordSaved) {
        requestRefresh(services);
    }
    createWarningFolder(drive.folder);
    return CreateOutcome::Created;
}

} // namespace kestrava::drives
