// DriveActions over the core's drive flows, on the drive services of the session the start-up
// opened.
#pragma once

#include "core/session/AppSession.h"
#include "gui/DriveActions.h"

#include <functional>

namespace kestrava::gui {

class QtPrompter;

class CoreDriveActions : public DriveActions
{
public:
    CoreDriveActions(session::AppSession& session, QtPrompter& prompter);

    // How a flow asks for the list to be rebuilt (the window starts a refresh run).
    void setRefreshRequester(std::function<void()> request)
    {
        m_session.services().requestRefresh = std::move(request);
    }

    void fillAtStart() override;
    void mountOrUnmount(int row) override;
    void refresh() override;
    void remove(int row) override;
    void unmountAll() override;
    std::optional<DriveCheckOutcome> checkDrive(int row) override;
    QString mountPoint(int row) override;
    std::optional<QString> folderLocation(int row) override;
    std::optional<QString> tokenBackupName(int row) override;
    void backupToken(int row, const QString& target) override;

private:
    static std::optional<std::size_t> selected(int row);

    drives::DriveServices& services() { return m_session.services(); }
    drives::DriveListModel& rows() { return m_session.rows(); }

    session::AppSession& m_session;
    QtPrompter& m_prompter;
};

} // namespace kestrava::gui
