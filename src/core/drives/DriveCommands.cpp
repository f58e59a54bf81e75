#include "core/drives/DriveCommands.h"

#include "core/app/ActivityLog.h"
#include "core/app/Prompter.h"
#include "core/drives/DriveMessages.h"
#include "core/drives/DriveValidation.h"
#include "core/drives/MountedDrives.h"
#include "core/host/DriveHost.h"
#include "core/settings/SettingsFile.h"
#include "core/token/DriveContext.h"

namespace kestrava::drives {
namespace {

void offerFolderDeletion(Prompter& prompter, const std::string& folder)
{
    std::error_code ec;
    if (folder.empty() || !std::filesystem::is_directory(folder, ec)) {
        return;
    }
    if (prompter.messageBox(kMsgDeleteFiles, {folder}, Buttons::YesNo, Icon::Warning) != Button::Yes) {
        return;
    }
    if (isRootFolder(folder)) {
        // A hand-edited record must never wipe a whole file system.
        prompter.messageBox(kMsgDeleteFilesFailed, {folder, "a file system root is never deleted"},
                            Buttons::OK, Icon::Error);
        return;
    }
    std::filesystem::remove_all(folder, ec);
    if (ec) {
        writeLog("!RemoveDrive DeleteFiles: %s - %s", folder.c_str(), ec.message().c_str());
        prompter.messageBox(kMsgDeleteFilesFailed, {folder, ec.message()}, Buttons::OK, Icon::Error);
        return;
    }
    writeLog("RemoveDrive DeleteFiles: %s", folder.c_str());
}

} // namespace

RemoveResult RemoveDrive(DriveServices& services, std::optional<std::size_t> selectedRow,
                         const RemoveOptions& options)
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
            context->mounted = false;
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
        offerFolderDeletion(services.prompter, folder);
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
