#include "gui/CoreDriveActions.h"

#include "core/drives/DriveCheckFlow.h"
#include "core/drives/DriveCommands.h"
#include "core/drives/DriveMessages.h"
#include "core/drives/MountFlow.h"
#include "core/drives/TokenBackup.h"
#include "core/host/DriveHost.h"
#include "core/token/TokenDocument.h"
#include "gui/QtPrompter.h"

#include <system_error>

namespace kestrava::gui {

CoreDriveActions::CoreDriveActions(session::AppSession& session, QtPrompter& prompter)
    : m_session(session), m_prompter(prompter)
{
}

std::optional<std::size_t> CoreDriveActions::selected(int row)
{
    return row < 0 ? std::nullopt : std::optional<std::size_t>(static_cast<std::size_t>(row));
}

void CoreDriveActions::fillAtStart()
{
    drives::fillDriveList(services(), true);
}

void CoreDriveActions::mountOrUnmount(int row)
{
    drives::doMountDrv(services(), selected(row));
}

void CoreDriveActions::refresh()
{
    drives::doRefreshDrv(services());
}

void CoreDriveActions::remove(int row)
{
    drives::RemoveDrive(services(), selected(row));
}

void CoreDriveActions::unmountAll()
{
    drives::unmountAll(services());
}

std::optional<DriveCheckOutcome> CoreDriveActions::checkDrive(int row)
{
    const auto index = selected(row);
    const auto entry = index ? rows().row(*index) : std::nullopt;
    if (!entry) {
        return std::nullopt;
    }
    const auto report = drives::checkListedDrive(services(), *index, {});
    if (!report) {
        return std::nullopt;
    }
    DriveCheckOutcome outcome;
    outcome.folder = QString::fromStdString(entry->folder());
    for (const drives::Finding& finding : report->findings) {
        outcome.findings << QString::fromStdString(drives::describeFinding(finding));
    }
    return outcome;
}

QString CoreDriveActions::mountPoint(int row)
{
    const auto entry = rows().row(static_cast<std::size_t>(row));
    return entry ? QString::fromStdString(m_session.host().mountPointFor(entry->letter).string()) : QString();
}

std::optional<QString> CoreDriveActions::folderLocation(int row)
{
    const auto entry = rows().row(static_cast<std::size_t>(row));
    if (!entry) {
        return std::nullopt;
    }
    const auto folder = drives::folderLocationToOpen(m_prompter, *entry);
    return folder ? std::optional<QString>(QString::fromStdString(folder->string())) : std::nullopt;
}

std::optional<QString> CoreDriveActions::tokenBackupName(int row)
{
    const auto entry = rows().row(static_cast<std::size_t>(row));
    if (!entry) {
        return std::nullopt;
    }
    const std::filesystem::path folder = entry->folder();
    const std::filesystem::path tokenPath = folder / token::kTokenFileName;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(tokenPath, ec)) {
        m_prompter.messageBox(drives::kMsgTokenUnreadable,
                              {tokenPath.string(), folder.string(), entry->label}, Buttons::OK, Icon::Error);
        return std::nullopt;
    }
    return QString::fromStdString(drives::defaultBackupName(entry->label));
}

void CoreDriveActions::backupToken(int row, const QString& target)
{
    const auto entry = rows().row(static_cast<std::size_t>(row));
    if (entry) {
        drives::backupSecurityToken(m_prompter, entry->folder(), entry->label, target.toStdString());
    }
}

} // namespace kestrava::gui
