// Opens the drive windows for the main window and the tray: the new-drive wizard with the
// advanced dialog and the restore wizard it leads to, the edit dialog for the selected drive,
// and the about window. Each window runs its flows itself; this only chains them.
#pragma once

#include "core/drives/CloudFolders.h"
#include "core/drives/DriveServices.h"

#include <QObject>
#include <QPointer>

namespace kestrava::gui {

class FlowRunner;
class MainWindow;

class DriveDialogs : public QObject
{
    Q_OBJECT

public:
    DriveDialogs(drives::DriveServices& services, MainWindow& window, drives::CloudTraces traces = {},
                 QObject* parent = nullptr);

    // Connects the main window's New Drive, Edit Drive and About commands.
    void connectCommands();

    // True while a window of this class is open or its flow runs.
    bool busy() const { return m_busy; }

public slots:
    void newDrive();
    void editSelected();
    void about();

private:
    enum class Window
    {
        None,
        Wizard,
        Advanced,
        Recovery,
    };
    Window runWizard();
    Window runAdvanced();
    Window runRecovery();

    drives::DriveServices& m_services;
    QPointer<MainWindow> m_window;
    drives::CloudTraces m_traces;
    FlowRunner* m_runner = nullptr;
    bool m_busy = false;
};

} // namespace kestrava::gui
