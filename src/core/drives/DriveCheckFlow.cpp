#include "core/drives/DriveCheckFlow.h"

#include "core/app/ActivityLog.h"
#include "core/drives/MountFlow.h"
#include "core/settings/SettingsFile.h"
#include "core/token/DriveContext.h"

namespace kestrava::drives {
namespace {

std::optional<settings::DriveRecord> recordOf(const DriveServices& services, const DriveRow& row)
{
    const auto records = services.settings.driveRecords();
    if (!records) {
        return std::nullopt;
    }
    for (const settings::DriveRecord& record : *records) {
        if (record.folder == row.folder() && record.letter == row.letter) {
            return record;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<DriveCheckReport> checkListedDrive(DriveServices& services, std::size_t row,
                                                 const ListedDriveCheck& options)
{
    const auto entry = services.rows.row(row);
    const auto record = entry ? recordOf(services, *entry) : std::nullopt;
    if (!record) {
        return std::nullopt;
    }
    writeLog("CheckDrive: %s", record->folder.c_str());
    DriveCheckRequest request;
    request.folder = record->folder;
    request.backupPlaces = options.backupPlaces;
    request.contents = options.contents;
    DriveCheckReport tokenReport = checkDrive(request);
    if (!tokenReport.tokenReadable || options.tokenOnly) {
        return tokenReport;
    }
    UnlockRequest unlock;
    unlock.mode = UnlockMode::RememberedOrPrompt;
    const UnlockResult unlocked = unlockDrive(services, *record, unlock);
    if (!unlocked.unlocked()) {
        return std::nullopt;
    }
    request.drivePassword = std::string(unlocked.context->password());
    return checkDrive(request);
}

} // namespace kestrava::drives
