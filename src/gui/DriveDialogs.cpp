#include "gui/DriveDialogs.h"

#include "core/drives/EditDriveFlow.h"
#include "gui/AboutDialog.h"
#include "gui/CreateDriveDialog.h"
#include "gui/CreateDriveWizardDialog.h"
#include "gui/DialogParts.h"
#include "gui/EditDriveDialog.h"
#include "gui/MainWindow.h"
#include "gui/RecoverDriveDialog.h"

namespace kestrava::gui {

DriveDialogs::DriveDialogs(drives::DriveServices& services, MainWindow& window, drives::CloudTraces traces,
                           QObject* parent)
    : QObject(parent), m_services(services), m_window(&window), m_traces(std::move(traces)),
      m_runner(new FlowRunner(nullptr, this))
{
}

void DriveDialogs::connectCommands()
{
    m_window->setCommandHandler(MainWindow::Command::NewDrive, [this] { newDrive(); });
    m_window->setCommandHandler(MainWindow::Command::EditDrive, [this] { editSelected(); });
    m_window->setCommandHandler(MainWindow::Command::About, [this] { about(); });
}

DriveDialogs::Window DriveDialogs::runWizard()
{
    CreateDriveWizardDialog wizard(m_services, m_traces, m_window);
    if (!wizard.start()) {
        return Window::None;
    }
    wizard.exec();
    switch (wizard.ending()) {
    case CreateDriveWizardDialog::Ending::SwitchToAdvanced:
        return Window::Advanced;
    case CreateDriveWizardDialog::Ending::OpenRecovery:
        return Window::Recovery;
    case CreateDriveWizardDialog::Ending::Closed:
        break;
    }
    return Window::None;
}

DriveDialogs::Window DriveDialogs::runAdvanced()
{
    CreateDriveDialog dialog(m_services, m_traces, m_window);
    dialog.exec();
    return dialog.ending() == CreateDriveDialog::Ending::SwitchToWizard ? Window::Wizard : Window::None;
}

DriveDialogs::Window DriveDialogs::runRecovery()
{
    RecoverDriveDialog dialog(m_services, m_traces, m_window);
    if (dialog.start()) {
        dialog.exec();
    }
    return Window::None;
}

void DriveDialogs::newDrive()
{
    if (m_busy) {
        return;
    }
    m_busy = true;
    // Switching closes the current window before the next one opens.
    Window next = Window::Wizard;
    while (next != Window::None) {
        switch (next) {
        case Window::Wizard:
            next = runWizard();
            break;
        case Window::Advanced:
            next = runAdvanced();
            break;
        case Window::Recovery:
            next = runRecovery();
            break;
        case Window::None:
            break;
        }
    }
    m_busy = false;
    if (m_window) {
        m_window->startRefresh();
    }
}

void DriveDialogs::editSelected()
{
    if (m_busy || !m_window) {
        return;
    }
    m_busy = true;
    const int row = m_window->selectedRow();
    const std::optional<std::size_t> selected =
        row < 0 ? std::nullopt : std::optional<std::size_t>(static_cast<std::size_t>(row));
    // Opening may ask for the drive's password: off the GUI thread.
    auto session = std::make_shared<std::optional<drives::EditSession>>();
    m_runner->run([this, session, selected] { *session = drives::beginDriveEdit(m_services, selected); },
                  [this, session] {
                      if (!*session) {
                          m_busy = false;
                          return;
                      }
                      EditDriveDialog dialog(m_services, **session, m_window);
                      const bool accepted = dialog.exec() == QDialog::Accepted;
                      // Remounting an edited drive takes a while: off the GUI thread too.
                      m_runner->run([this, session,
                                     accepted] { drives::finishDriveEdit(m_services, **session, accepted); },
                                    [this] { m_busy = false; });
                  });
}

void DriveDialogs::about()
{
    AboutDialog dialog(m_window);
    dialog.exec();
}

} // namespace kestrava::gui
