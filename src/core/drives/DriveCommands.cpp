#include "core/drives/DriveCommands.h"

#include "core/app/ActivityLog.h"
#include "core/app/Prompter.h"
#include "core/app/StringTable.h"
#include "core/drives/DriveMessages.h"
#include "core/drives/DriveValidation.h"
#include "core/drives/MountedDrives.h"
#include "core/host/DriveHost.h"
#include "core/settings/SettingsFile.h"
#include "core/token/DriveContext.h"

namespace kestrava::drives {
namespace {

// Where the key may come from, gathered while the record and the context still exist.
DriveKeySources keySources(DriveServices& services, const DriveRow& row)
{
    DriveKeySources keys;
    const std::string folder = row.folder();
    keys.unlocked = services.mounted.findByFolder(folder);
    keys.loginLayer = services.loginLayer;
    keys.prompt.label = row.label;
    keys.prompt.folder = folder;
    keys.prompt.letter = row.letter;
    if (const auto records = services.settings.driveRecords()) {
        for (const settings::DriveRecord& record : *records) {
            if (record.folder == folder && record.letter == row.letter) {
                keys.rememberedPwd = record.pwd;
                break;
            }
        }
    }
    return keys;
}

FileDeletion offerFileDeletion(Prompter& prompter, const std::string& folder, const DriveKeySources& keys,
                               FileDeletionReport& report)
{
    std::error_code ec;
    if (folder.empty() || !std::filesystem::is_directory(folder, ec)) {
        return FileDeletion::NotOffered;
    }
    if (prompter.messageBoxWithCaption(kMsgConfirmRemovalCaption, kMsgDeleteFiles, {folder}, Buttons::YesNo,
                                       Icon::Warning) != Button::Yes) {
        return FileDeletion::Declined;
    }
    if (isRootFolder(folder)) {
        // A hand-edited record must never touch a whole file system.
        prompter.messageBox(kMsgDeleteFilesFailed, {folder, loadAppString(kReasonRootFolder)}, Buttons::OK,
                            Icon::Error);
        return FileDeletion::Failed;
    }
    report = deleteDriveFiles(prompter, folder, keys);
    return report.outcome;
}

} // namespace

RemoveResult RemoveDrive(DriveServices& services, std::optional<std::size_t> selectedRow,
                         const RemoveOptions& options, FileDeletionReport* files)
{
    writeLog("RemoveDrive: %d", selectedRow ? static_cast<int>(*selectedRow) : -1);
    const auto row = selectedRow ? services.rows.row(*selectedRow) : std::nullopt;
    if (!row) {
        services.prompter.messageBox(kMsgNoDriveSelected, {}, Buttons::OK, Icon::Error);
        return RemoveResult::Failed;
    }
    if (services.prompter.messageBox(kMsgConfirmDelete, {}, Buttons::OKCancel, Icon::Warning) != Button::OK) {
        return RemoveResult::Cancelled;
    }
    const std::string folder = row->folder();
    const std::size_t index = *selectedRow;
    const DriveKeySources keys = options.offerFileDeletion ? keySources(services, *row) : DriveKeySources{};
    if (row->isMounted()) {
        writeLog("RemoveDrive: %d - %s", static_cast<int>(index), folder.c_str());
        // A drive that cannot be unmounted keeps its record: its files are in use.
        if (!services.host.UnmountFileSystem(row->letter)) {
            services.prompter.messageBox(kMsgUnmountFailed,
                                         {row->letter, services.host.mountPointFor(row->letter).string()},
                                         Buttons::OK, Icon::Error);
            return RemoveResult::Failed;
        }
        if (const auto context = services.mounted.findByFolder(folder)) {
            services.mounted.remove(context.get());
        }
        if (!services.rows.removeRow(index)) {
            services.prompter.messageBox(kMsgCannotRemoveRow, {}, Buttons::OK, Icon::Error);
            return RemoveResult::Failed;
        }
        services.settings.RemoveDriveInfo(folder, row->letter);
    } else {
        if (!services.settings.RemoveDriveInfo(folder, row->letter)) {
            services.prompter.messageBox(kMsgCannotFindDrive, {}, Buttons::OK, Icon::Error);
            return RemoveResult::Failed;
        }
        services.rows.removeRow(index);
    }
    if (options.offerFileDeletion) {
        FileDeletionReport report;
        report.outcome = offerFileDeletion(services.prompter, folder, keys, report);
        if (files != nullptr) {
            *files = std::move(report);
        }
    }
    return RemoveResult::Removed;
}

std::optional<std::filesystem::path> folderLocationToOpen(Prompter& prompter, const DriveRow& row)
{
    const std::string folder = row.folder();
    std::error_code ec;
    if (!std::filesystem::exists(folder, ec)) {
        prompter.messageBox(kMsgFolderMissing, {folder}, Buttons::OK, Icon::Error);
        return std::nullopt;
    }
    return std::filesystem::path(folder);
}

} // namespace kestrava::drives
