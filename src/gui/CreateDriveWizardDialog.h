// The new-drive wizard's five pages over the core's page machine: welcome, location,
// password, drive letter and options, finish. Each Next runs the machine's step on a worker
// thread (its checks may ask questions); the finish page shows what the creation run did.
#pragma once

#include "core/drives/CreateDriveWizard.h"

#include <QDialog>
#include <QUrl>
#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStackedWidget;

namespace kestrava::gui {

class FormatChoice;

class FlowRunner;

class CreateDriveWizardDialog : public QDialog
{
    Q_OBJECT

public:
    enum class Ending
    {
        Closed,
        SwitchToAdvanced, // "Switch to Advanced Mode"
        OpenRecovery,     // "Connect to or restore ..." or "Recover an existing ..."
    };
    using UrlOpener = std::function<bool(const QUrl&)>;

    CreateDriveWizardDialog(drives::DriveServices& services, drives::CloudTraces traces = {},
                            QWidget* parent = nullptr);
    ~CreateDriveWizardDialog() override;

    // Fills the letter list; false (message 345 shown) when no letter is free: do not show it.
    bool start();

    Ending ending() const { return m_ending; }
    int page() const { return m_wizard.page(); }
    bool running() const;
    const drives::CreateDriveWizard& machine() const { return m_wizard; }
    // How the new drive is opened when the wizard closes (the file manager by default).
    void setUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }
    // The backup on the finish page with the target chosen.
    bool backupTokenTo(const QString& target);

    QRadioButton* createChoice() const { return m_create; }
    QRadioButton* connectChoice() const { return m_connect; }
    QPushButton* locationButton(int index) const { return m_locations.at(static_cast<std::size_t>(index)); }
    QLineEdit* folderField() const { return m_folder; }
    QLineEdit* labelField() const { return m_label; }
    QLineEdit* passwordField() const { return m_password; }
    QLineEdit* confirmationField() const { return m_confirmation; }
    QLabel* passwordMark() const { return m_mark; }
    QComboBox* letterList() const { return m_letter; }
    QCheckBox* autoMountBox() const { return m_autoMount; }
    QCheckBox* longNamesBox() const { return m_longNames; }
    FormatChoice* formatChoice() const { return m_format; }
    QCheckBox* openDriveBox() const { return m_openDrive; }
    QLabel* headingLabel() const { return m_heading; }
    QLabel* textLabel() const { return m_text; }
    QLabel* finishLetterLine() const { return m_finishLetter; }
    QPushButton* nextButton() const { return m_next; }
    QPushButton* backButton() const { return m_back; }
    QPushButton* cancelButton() const { return m_cancel; }
    QPushButton* advancedButton() const { return m_advanced; }
    QPushButton* recoverButton() const { return m_recover; }

public slots:
    void next();
    void back();
    void reject() override;

private:
    QWidget* buildWelcomePage();
    QWidget* buildLocationPage();
    QWidget* buildPasswordPage();
    QWidget* buildLetterPage();
    QWidget* buildFinishPage();
    void showPage();
    void showLocation();
    void updateMarkFromConfirmation();
    void pushFields();
    void stepDone(drives::WizardStep step);
    void finish();
    void chooseBackupTarget();

    drives::DriveServices& m_services;
    drives::CloudTraces m_traces;
    drives::CreateDriveWizard m_wizard;
    Ending m_ending = Ending::Closed;
    UrlOpener m_openUrl;
    FlowRunner* m_runner = nullptr;

    QLabel* m_heading = nullptr;
    QLabel* m_step = nullptr;
    QLabel* m_text = nullptr;
    QStackedWidget* m_pages = nullptr;
    QRadioButton* m_create = nullptr;
    QRadioButton* m_connect = nullptr;
    std::array<QPushButton*, 6> m_locations{}; // the five clients, then "Local Folder"
    QLineEdit* m_folder = nullptr;
    QLineEdit* m_label = nullptr;
    QLabel* m_passwordLabel = nullptr;
    QLineEdit* m_password = nullptr;
    QLabel* m_confirmationLabel = nullptr;
    QLineEdit* m_confirmation = nullptr;
    QLabel* m_mark = nullptr;
    QProgressBar* m_strength = nullptr;
    QLabel* m_importedLabel = nullptr;
    QLineEdit* m_imported = nullptr;
    QCheckBox* m_remember = nullptr;
    QComboBox* m_letter = nullptr;
    QCheckBox* m_autoMount = nullptr;
    QCheckBox* m_longNames = nullptr;
    FormatChoice* m_format = nullptr;
    QLabel* m_finishLetter = nullptr;
    QLabel* m_finishLabel = nullptr;
    QCheckBox* m_openDrive = nullptr;
    QPushButton* m_backup = nullptr;
    QPushButton* m_advanced = nullptr;
    QPushButton* m_recover = nullptr;
    QPushButton* m_back = nullptr;
    QPushButton* m_next = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace kestrava::gui
