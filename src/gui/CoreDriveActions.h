// DriveActions over the core's drive flows, with the settings file, host and login state the
// start-up produced.
#pragma once

#include "core/drives/DriveServices.h"
#include "core/drives/MountedDrives.h"
#include "core/settings/SettingsFile.h"
#include "gui/DriveActions.h"

#include <functional>
#include <memory>

namespace kestrava::host {
class DriveHost;
}

namespace kestrava::gui {

class QtPrompter;

class CoreDriveActions : public DriveActions
{
public:
    CoreDriveActions(settings::SettingsFile settings, std::shared_ptr<host::DriveHost> host,
                     QtPrompter& prompter, drives::DriveListModel& rows, LoginLayerState loginLayer);

    // How a flow asks for the list to be rebuilt (the window starts a refresh run).
    void setRefreshRequester(std::function<void()> request)
    {
        m_services.requestRefresh = std::move(request);
    }

    void fillAtStart() override;
    void mountOrUnmount(int row) override;
    void refresh() override;
    void remove(int row) override;
    void unmountAll() override;
    QString mountPoint(int row) override;
    std::optional<QString> folderLocation(int row) override;
    std::optional<QString> tokenBackupName(int row) override;
    void backupToken(int row, const QString& target) override;

private:
    static std::optional<std::size_t> selected(int row);

    settings::SettingsFile m_settings;
    std::shared_ptr<host::DriveHost> m_host;
    QtPrompter& m_prompter;
    drives::DriveListModel& m_rows;
    drives::MountedDrives m_mounted;
    drives::DriveServices m_services;
};

} // namespace kestrava::gui
