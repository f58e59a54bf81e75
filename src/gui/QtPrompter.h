// The desktop app's Prompter. Flows call it from worker threads: each call is carried out on
// the GUI thread (the worker waits for the answer), with its dialog modal to the open dialog
// or the main window. Called on the GUI thread, it shows the dialog directly.
#pragma once

#include "core/app/Prompter.h"
#include "core/drives/DriveListModel.h"

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <map>

namespace kestrava::gui {

inline constexpr int kTrayBalloonMs = 10000;

class QtPrompter : public QObject, public Prompter
{
    Q_OBJECT

public:
    using StatusSink = std::function<void(const QString& text)>;
    using Notifier = std::function<void(const QString& title, const QString& text, Icon icon)>;

    explicit QtPrompter(QObject* parent = nullptr);

    // The window dialogs belong to when no other dialog is open.
    void setMainWindow(QWidget* window) { m_mainWindow = window; }
    void setStatusSink(StatusSink sink) { m_status = std::move(sink); }
    // Balloons without a field: a tray or desktop notification.
    void setNotifier(Notifier notifier) { m_notify = std::move(notifier); }
    // Finds the cloud icon for the drive password prompt.
    void setCloudFolders(drives::CloudFolderLookup lookup) { m_cloudFolders = std::move(lookup); }
    // A dialog names its fields so that balloons for them appear there.
    void registerField(int fieldId, QWidget* field);

    // From now on nothing is shown: questions are answered Unavailable (at exit, so that a
    // worker never waits for a dialog that will not come).
    void shutDown() { m_shutDown = true; }

    Button messageBox(int messageId, const std::vector<std::string>& args, Buttons buttons,
                      Icon icon) override;
    Button messageBoxWithCaption(int captionId, int messageId, const std::vector<std::string>& args,
                                 Buttons buttons, Icon icon) override;
    DrivePasswordAnswer askDrivePassword(const DrivePasswordRequest& request) override;
    void balloon(int fieldId, int messageId, Icon icon) override;
    void titledBalloon(int fieldId, int titleId, int textId, Icon icon) override;
    void status(const std::string& text) override;

    // The parent of the next dialog: the open modal dialog, else the main window.
    QWidget* dialogParent() const;

private:
    template <typename Work> auto onGuiThread(Work work) -> decltype(work());
    Button showMessageBox(int captionId, int messageId, const std::vector<std::string>& args, Buttons buttons,
                          Icon icon);
    // An empty title: none at a field, the application's name in a notification.
    void showBalloon(int fieldId, const QString& title, const QString& message, Icon icon);

    QPointer<QWidget> m_mainWindow;
    StatusSink m_status;
    Notifier m_notify;
    drives::CloudFolderLookup m_cloudFolders;
    std::map<int, QPointer<QWidget>> m_fields;
    std::atomic<bool> m_shutDown = false;
};

} // namespace kestrava::gui
