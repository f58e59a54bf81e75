// The restore wizard: connects a drive that already exists (a folder synchronised from another
// computer, or one whose settings were lost) from its folder's token or a token backup. The
// folder and backup checks run as they are chosen; OK runs the core's recovery on a worker.
#pragma once

#include "core/drives/RecoverDriveFlow.h"

#include <QDialog>
#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace kestrava::gui {

class FlowRunner;

class RecoverDriveDialog : public QDialog
{
    Q_OBJECT

public:
    RecoverDriveDialog(drives::DriveServices& services, drives::CloudTraces traces = {},
                       QWidget* parent = nullptr);
    ~RecoverDriveDialog() override;

    // Fills the letter list; false (message 345 shown) when no letter is free: do not show it.
    bool start();

    std::optional<drives::RecoverOutcome> outcome() const { return m_outcome; }
    bool running() const;
    const drives::RecoveryState& state() const { return m_state; }

    // The folder browser's choice, and the backup choice's file, as if chosen in their dialogs.
    bool chooseFolder(const QString& folder);
    bool chooseBackupFile(const QString& file);

    QPushButton* locationButton(int index) const { return m_locations.at(static_cast<std::size_t>(index)); }
    QLineEdit* folderField() const { return m_folder; }
    QRadioButton* folderTokenChoice() const { return m_useFolderToken; }
    QRadioButton* backupChoice() const { return m_useBackup; }
    QLabel* backupMark() const { return m_backupMark; }
    QLineEdit* passwordField() const { return m_password; }
    QLabel* passwordMark() const { return m_passwordMark; }
    QCheckBox* rememberBox() const { return m_remember; }
    QComboBox* letterList() const { return m_letter; }
    QLineEdit* labelField() const { return m_label; }
    QCheckBox* autoMountBox() const { return m_autoMount; }
    QPushButton* okButton() const { return m_ok; }
    QPushButton* cancelButton() const { return m_cancel; }

public slots:
    void accept() override;
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildFolderStep();
    QWidget* buildPasswordStep();
    QWidget* buildLetterStep();
    void showState();
    void chooseLocation(std::size_t index);
    void backupClicked();
    void recoveryDone();

    drives::DriveServices& m_services;
    drives::CloudTraces m_traces;
    drives::RecoveryState m_state;
    std::optional<drives::RecoverOutcome> m_outcome;
    FlowRunner* m_runner = nullptr;

    std::array<QPushButton*, 6> m_locations{}; // the five clients, then "Local Folder"
    QLineEdit* m_folder = nullptr;
    QRadioButton* m_useFolderToken = nullptr;
    QRadioButton* m_useBackup = nullptr;
    QLabel* m_backupMark = nullptr;
    QLineEdit* m_password = nullptr;
    QLabel* m_passwordMark = nullptr;
    QCheckBox* m_remember = nullptr;
    QComboBox* m_letter = nullptr;
    QLineEdit* m_label = nullptr;
    QCheckBox* m_autoMount = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace kestrava::gui
