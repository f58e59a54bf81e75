#include "core/drives/RecoverDriveFlow.h"

#include "core/access/LegacyCodePage.h"
#include "core/app/ActivityLog.h"
#include "core/app/Prompter.h"
#include "core/drives/CreateDriveFlow.h"
#include "core/drives/DriveMessages.h"
#include "core/drives/DriveValidation.h"
#include "core/drives/FreeLetters.h"
#include "core/drives/MountFlow.h"
#include "core/drives/MountReport.h"
#include "core/drives/MountedDrives.h"
#include "core/settings/SavedPasswords.h"
#include "core/token/DriveContext.h"

namespace kestrava::drives {
namespace {

using token::DriveContext;

void requestRefresh(DriveServices& services)
{
    if (services.requestRefresh) {
        services.requestRefresh();
    } else {
        doRefreshDrv(services);
    }
}

// Only the backup choice is left, with the balloon that says so.
void offerBackupOnly(Prompter& prompter, RecoveryState& state)
{
    state.folderTokenEnabled = false;
    state.useFolderToken = false;
    state.backupEnabled = true;
    state.balloonTitle = kMsgFolderLoadedTitle;
    state.balloonText = kMsgUseBackupText;
    prompter.titledBalloon(static_cast<int>(RecoveryField::BackupChoice), kMsgFolderLoadedTitle,
                           kMsgUseBackupText, Icon::Information);
}

bool useLocation(DriveServices& services, RecoveryState& state, const ProposedLocation& location)
{
    if (!checkRecoveryFolder(services, state, location.folder)) {
        state.folder.clear();
        return false;
    }
    state.label = location.label;
    return true;
}

// The run after OK: the token into the folder, the context, the record and the mount.
RecoverOutcome runRecovery(DriveServices& services, const RecoveryState& state,
                           const RecoveryRequest& request)
{
    Prompter& prompter = services.prompter;
    const std::string& folder = state.folder;
    const std::string label = request.label.empty() ? state.label : request.label;
    if (!placeImportedToken(prompter, state.tokenFile, folder)) {
        return RecoverOutcome::Stopped;
    }
    const std::filesystem::path tokenPath = token::tokenPathFor(folder);
    auto context = std::make_shared<DriveContext>(drivePasswordFor(tokenPath, request.password));
    services.mounted.add(context);
    context->autoMount = request.autoMount;
    context->setLabel(label);
    std::string error;
    if (context->unlock(tokenPath, &error) != token::TokenLoadStatus::Loaded) {
        // Replaced behind our back since the password check: nothing is registered with it.
        writeLog("!RecoverDrive LoadToken: %s", error.c_str());
        services.mounted.remove(context.get());
        prompter.messageBox(kMsgTokenUnreadable, {tokenPath.string(), folder, label}, Buttons::OK,
                            Icon::Error);
        return RecoverOutcome::Stopped;
    }
    context->setBackingFolder(folder);
    context->setDriveLetter(request.letter);

    NewDrive drive;
    drive.folder = folder;
    drive.label = label;
    drive.letter = request.letter;
    drive.rememberPassword = request.rememberPassword;
    drive.autoMount = request.autoMount;
    bool recordSaved = false;
    if (!services.host.IsDriverInstalled() || !request.mount) {
        services.mounted.setMounted(*context, false);
        recordSaved = saveNewDriveRecord(services, drive, *context);
        requestRefresh(services);
    }
    if (!request.mount) {
        services.mounted.remove(context.get());
        if (!recordSaved) {
            return RecoverOutcome::Stopped; // the failure has been reported
        }
        createWarningFolder(folder);
        prompter.messageBox(kMsgRecovered, {}, Buttons::OK, Icon::Information);
        return RecoverOutcome::Recovered;
    }
    const host::MountResult result = services.host.InstallFileSystem(*context, request.mountOptions);
    if (result.outcome != host::MountOutcome::Mounted) {
        writeLog("!RecoverDrive InstallFileSystem: %s - %s", request.letter.c_str(), result.detail.c_str());
        reportMountFailure(prompter, request.letter, result);
        return keepUnmountedDrive(services, drive, *context, recordSaved, [&] { requestRefresh(services); })
                   ? RecoverOutcome::NotMounted
                   : RecoverOutcome::Stopped;
    }
    if (!recordSaved && !recordMountedDrive(services, drive, *context)) {
        return RecoverOutcome::Stopped;
    }
    prompter.messageBox(kMsgRecovered, {}, Buttons::OK, Icon::Information);
    services.mounted.setMounted(*context, true);
    if (!recordSaved) {
        requestRefresh(services);
    }
    createWarningFolder(folder);
    writeLog("RecoverDrive: Mounted Drive(%s) - %s", request.letter.c_str(), folder.c_str());
    return RecoverOutcome::Recovered;
}

} // namespace

std::optional<std::vector<std::string>> recoveryLetters(DriveServices& services)
{
    std::vector<std::string> letters = freeDriveLetters(services.host);
    if (letters.empty()) {
        services.prompter.messageBox(kMsgNoFreeLetters, {}, Buttons::OK, Icon::Information);
        return std::nullopt;
    }
    return letters;
}

bool checkRecoveryFolder(DriveServices& services, RecoveryState& state, const std::string& folder)
{
    ValidationState validation;
    if (!checkFolderOverlap(services.settings, services.host, services.prompter, folder) ||
        !validateDriveLocation(services.settings, services.prompter, folder, kNotCompared, kNotCompared,
                               false, ValidationMode::Advanced, validation)) {
        return false;
    }
    state.folder = folder;
    const std::filesystem::path tokenPath = token::tokenPathFor(folder);
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(tokenPath, ec)) ||
        !checkTokenImport(services.prompter, tokenPath, {}, state.announcement)) {
        offerBackupOnly(services.prompter, state);
        return true;
    }
    state.folderTokenEnabled = true;
    state.backupEnabled = true;
    state.useFolderToken = true;
    state.useBackup = false;
    state.balloonTitle = kMsgTokenFoundTitle;
    state.balloonText = kMsgTokenFoundText;
    services.prompter.titledBalloon(static_cast<int>(RecoveryField::FolderTokenChoice), kMsgTokenFoundTitle,
                                    kMsgTokenFoundText, Icon::Information);
    return true;
}

bool chooseRecoveryProvider(DriveServices& services, RecoveryState& state, CloudProvider provider,
                            const CloudTraces& traces)
{
    const auto location = recoveryLocation(provider, traces);
    if (!location) {
        services.prompter.messageBox(kMsgInstallClient, {}, Buttons::OK, Icon::Information);
        return false;
    }
    return useLocation(services, state, *location);
}

bool chooseRecoveryLocalFolder(DriveServices& services, RecoveryState& state, const CloudTraces& traces)
{
    return useLocation(services, state, localFolderLocation(traces));
}

bool chooseRecoveryFolder(DriveServices& services, RecoveryState& state, const std::string& folder)
{
    state.announcement.announce = true;
    if (!checkRecoveryFolder(services, state, folder)) {
        state.folder.clear();
        return false;
    }
    return true;
}

bool chooseRecoveryBackup(Prompter& prompter, RecoveryState& state, const std::filesystem::path& file)
{
    state.announcement.announce = true;
    const bool accepted = checkTokenImport(prompter, file, {}, state.announcement);
    state.tokenFile = file;
    state.backupAccepted = accepted;
    state.useBackup = accepted;
    if (accepted) {
        state.useFolderToken = false;
    }
    return accepted;
}

void chooseRecoveryFolderToken(RecoveryState& state)
{
    if (state.folderTokenEnabled) {
        state.useFolderToken = true;
        state.useBackup = false;
        state.backupAccepted.reset();
    }
}

RecoverOutcome confirmRecovery(DriveServices& services, RecoveryState& state, const RecoveryRequest& request)
{
    state.announcement.announce = false;
    if (state.useFolderToken) {
        state.tokenFile = token::tokenPathFor(state.folder);
    }
    if (state.folder.empty() || state.tokenFile.empty() || (!state.useFolderToken && !state.useBackup) ||
        request.letter.empty()) {
        services.prompter.messageBox(kMsgFieldsEmpty, {}, Buttons::OK, Icon::None);
        return RecoverOutcome::Stopped;
    }
    // Another drive may have been added or mounted since the folder was checked.
    if (!checkFolderOverlap(services.settings, services.host, services.prompter, state.folder)) {
        return RecoverOutcome::Stopped;
    }
    if (request.password.empty() ||
        !checkTokenImport(services.prompter, state.tokenFile,
                          drivePasswordFor(state.tokenFile, request.password), state.announcement)) {
        services.prompter.titledBalloon(static_cast<int>(RecoveryField::Password), kMsgIncorrectPassword,
                                        kNoBalloonText, Icon::Error);
        return RecoverOutcome::WrongPassword;
    }
    return runRecovery(services, state, request);
}

} // namespace kestrava::drives
