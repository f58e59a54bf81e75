// The drive editing dialog over a drive opened for editing: label, letter, options, the
// remembered password and, on request, a new password. OK runs the core's edit on a worker.
#pragma once

#include "core/drives/EditDriveFlow.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace kestrava::gui {

class FlowRunner;

class EditDriveDialog : public QDialog
{
    Q_OBJECT

public:
    EditDriveDialog(drives::DriveServices& services, drives::EditSession& session, QWidget* parent = nullptr);
    ~EditDriveDialog() override;

    std::optional<drives::EditOutcome> outcome() const { return m_outcome; }
    bool running() const;
    // "Backup Security Token" with the target chosen.
    bool backupTokenTo(const QString& target);

    QLineEdit* folderField() const { return m_folder; }
    QComboBox* letterList() const { return m_letter; }
    QLineEdit* labelField() const { return m_label; }
    QCheckBox* autoMountBox() const { return m_autoMount; }
    QCheckBox* longNamesBox() const { return m_longNames; }
    QCheckBox* nameEncryptionBox() const { return m_nameEncryption; }
    QCheckBox* caseInsensitiveBox() const { return m_caseInsensitive; }
    QCheckBox* rememberBox() const { return m_remember; }
    QCheckBox* changePasswordBox() const { return m_changePassword; }
    QLineEdit* currentPasswordField() const { return m_current; }
    QLineEdit* newPasswordField() const { return m_new; }
    QLineEdit* confirmationField() const { return m_confirmation; }
    QProgressBar* strengthBar() const { return m_strength; }
    QLabel* currentMark() const { return m_currentMark; }
    QLabel* confirmationMark() const { return m_confirmationMark; }
    QPushButton* okButton() const { return m_ok; }
    QPushButton* cancelButton() const { return m_cancel; }

public slots:
    void accept() override;
    void reject() override;

private:
    QWidget* buildDriveGroup();
    QWidget* buildPasswordGroup();
    QWidget* buildOptionsGroup();
    void chooseBackupTarget();
    void editDone();

    drives::DriveServices& m_services;
    drives::EditSession& m_session;
    std::optional<drives::EditOutcome> m_outcome;
    FlowRunner* m_runner = nullptr;

    QLineEdit* m_folder = nullptr;
    QComboBox* m_letter = nullptr;
    QLineEdit* m_label = nullptr;
    QCheckBox* m_autoMount = nullptr;
    QCheckBox* m_longNames = nullptr;
    QCheckBox* m_nameEncryption = nullptr;
    QCheckBox* m_caseInsensitive = nullptr;
    QCheckBox* m_remember = nullptr;
    QCheckBox* m_changePassword = nullptr;
    QLineEdit* m_current = nullptr;
    QLineEdit* m_new = nullptr;
    QLineEdit* m_confirmation = nullptr;
    QProgressBar* m_strength = nullptr;
    QLabel* m_currentMark = nullptr;
    QLabel* m_confirmationMark = nullptr;
    QPushButton* m_backup = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace kestrava::gui
