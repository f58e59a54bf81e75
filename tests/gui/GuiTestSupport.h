// What the desktop app's tests share: drive actions that record their calls, sample rows, and
// a way to answer the next modal dialog.
#pragma once

#include "core/drives/DriveListModel.h"
#include "gui/DriveActions.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestrava::gui::test {

class RecordingActions : public DriveActions
{
public:
    void fillAtStart() override { record("fill"); }
    void mountOrUnmount(int row) override { record("mount " + std::to_string(row)); }
    void refresh() override { record("refresh"); }
    void remove(int row) override { record("remove " + std::to_string(row)); }
    void unmountAll() override { record("unmountAll"); }
    QString mountPoint(int row) override { return QStringLiteral("/mnt/kestrava/row%1").arg(row); }
    std::optional<QString> folderLocation(int row) override
    {
        record("folder " + std::to_string(row));
        return QStringLiteral("/data/folder%1").arg(row);
    }
    std::optional<QString> tokenBackupName(int) override { return std::nullopt; }
    void backupToken(int, const QString&) override {}
    std::optional<DriveCheckOutcome> checkDrive(int row) override
    {
        record("check " + std::to_string(row));
        checkedOnGuiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        // A check may take long: the test lets it finish.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (holdCheck && std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return checkOutcome;
    }

    // What checkDrive answers, and while holdCheck is set it waits.
    std::optional<DriveCheckOutcome> checkOutcome;
    std::atomic<bool> holdCheck = false;
    std::atomic<bool> checkedOnGuiThread = false;

    std::vector<std::string> calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }

private:
    void record(std::string call)
    {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(std::move(call));
    }

    mutable std::mutex m_mutex;
    std::vector<std::string> m_calls;
};

// Rows of every kind: mounted in a cloud folder, unmounted with a remembered password and
// auto-mount, and one whose backing folder is gone.
inline void addSampleRows(drives::DriveListModel& model)
{
    model.addRow({"K:", "Documents", "/home/ann/Dropbox/docs", drives::MountState::Mounted, false, false, 1});
    model.addRow({"M:", "Music", "/home/ann/private/music", drives::MountState::NotMounted, true, true, 0});
    model.addRow({"P:", "Photos", drives::missingFolderCell("/media/usb/photos"),
                  drives::MountState::FolderMissing, false, false, 3});
}

// Runs handle on the next modal widget as soon as it is shown (polling, as a user would).
inline void whenModalShown(std::function<void(QWidget*)> handle)
{
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, handle = std::move(handle)] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            handle(modal);
        }
    });
    timer->start();
}

} // namespace kestrava::gui::test
