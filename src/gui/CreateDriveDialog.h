// The advanced creation dialog: every fact of a new drive in one window. It collects the
// fields and runs the core's creation on a worker thread; checks, questions and results come
// from the core through the Prompter.
#pragma once

#include "core/drives/CloudFolders.h"
#include "core/drives/CreateDriveFlow.h"
#include "core/drives/DriveServices.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace kestrava::gui {

class FormatChoice;

class FlowRunner;

class CreateDriveDialog : public QDialog
{
    Q_OBJECT

public:
    enum class Ending
    {
        Closed,         // Cancel, or the drive was created (see outcome)
        SwitchToWizard, // "New Drive Wizard": the caller opens the wizard
    };

    CreateDriveDialog(drives::DriveServices& services, drives::CloudTraces traces = {},
                      QWidget* parent = nullptr);
    ~CreateDriveDialog() override;

    Ending ending() const { return m_ending; }
    // The last creation run's result, if one ran.
    std::optional<drives::CreateOutcome> outcome() const { return m_outcome; }
    bool running() const;

    // "Import Drive From File" with the file chosen.
    bool importTokenFile(const QString& file);
    // A location menu entry (index into the menu), as if chosen.
    void chooseLocation(int index);
    QMenu* locationMenu() const { return m_locationMenu; }

    QLineEdit* folderField() const { return m_folder; }
    QLineEdit* labelField() const { return m_label; }
    QComboBox* letterList() const { return m_letter; }
    QLineEdit* passwordField() const { return m_password; }
    QLineEdit* confirmationField() const { return m_confirmation; }
    QProgressBar* strengthBar() const { return m_strength; }
    QCheckBox* rememberBox() const { return m_remember; }
    QCheckBox* autoMountBox() const { return m_autoMount; }
    QCheckBox* longNamesBox() const { return m_longNames; }
    QCheckBox* nameEncryptionBox() const { return m_nameEncryption; }
    QCheckBox* caseInsensitiveBox() const { return m_caseInsensitive; }
    FormatChoice* formatChoice() const { return m_format; }
    QLabel* passwordMark() const { return m_mark; }
    QPushButton* okButton() const { return m_ok; }
    QPushButton* cancelButton() const { return m_cancel; }
    QPushButton* importButton() const { return m_import; }
    QPushButton* wizardButton() const { return m_wizard; }

public slots:
    void accept() override;
    void reject() override;

private:
    QWidget* buildDriveGroup();
    QWidget* buildPasswordGroup();
    QWidget* buildOptionsGroup();
    void fillLocationMenu();
    void browse();
    void chooseImportFile();
    void rememberToggled(bool on);
    void showAdopted();
    void creationDone();

    drives::DriveServices& m_services;
    drives::CloudTraces m_traces;
    drives::CreationState m_state;
    Ending m_ending = Ending::Closed;
    std::optional<drives::CreateOutcome> m_outcome;
    bool m_adoptedShown = false;
    FlowRunner* m_runner = nullptr;

    QLineEdit* m_folder = nullptr;
    QToolButton* m_locationButton = nullptr;
    QMenu* m_locationMenu = nullptr;
    QToolButton* m_browse = nullptr;
    QComboBox* m_letter = nullptr;
    QLineEdit* m_label = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_confirmation = nullptr;
    QProgressBar* m_strength = nullptr;
    QCheckBox* m_remember = nullptr;
    QLabel* m_mark = nullptr;
    QCheckBox* m_autoMount = nullptr;
    QCheckBox* m_longNames = nullptr;
    QCheckBox* m_nameEncryption = nullptr;
    QCheckBox* m_caseInsensitive = nullptr;
    FormatChoice* m_format = nullptr;
    QPushButton* m_wizard = nullptr;
    QPushButton* m_import = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace kestrava::gui
