#include "gui/EditDriveDialog.h"

#include "core/drives/TokenBackup.h"
#include "gui/AppText.h"
#include "gui/DialogParts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrava::gui {
namespace {

constexpr int kChangePassword = 239;
constexpr int kTitle = 273;
constexpr int kBackupTip = 299;

} // namespace

EditDriveDialog::EditDriveDialog(drives::DriveServices& services, drives::EditSession& session,
                                 QWidget* parent)
    : QDialog(parent), m_services(services), m_session(session)
{
    setObjectName(QStringLiteral("editDriveDialog"));
    setWindowTitle(appText(kTitle));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(makeHeading(appText(kTitle), this));
    layout->addWidget(buildDriveGroup());
    layout->addWidget(buildPasswordGroup());
    layout->addWidget(buildOptionsGroup());
    QProgressBar* busy = makeBusyBar(this);
    layout->addWidget(busy);
    m_backup = new QPushButton(appText(text::BackupSecurityToken), this);
    m_backup->setToolTip(appText(kBackupTip));
    m_ok = new QPushButton(appText(text::OK), this);
    m_ok->setDefault(true);
    m_cancel = new QPushButton(appText(text::Cancel), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_backup);
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    layout->addLayout(buttons);
    m_runner = new FlowRunner(busy, this);
    m_runner->guard({m_ok, m_cancel, m_backup});
    connect(m_ok, &QPushButton::clicked, this, &EditDriveDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &EditDriveDialog::reject);
    connect(m_backup, &QPushButton::clicked, this, &EditDriveDialog::chooseBackupTarget);
    setMinimumWidth(500);
}

EditDriveDialog::~EditDriveDialog() = default;

QWidget* EditDriveDialog::buildDriveGroup()
{
    const token::DriveContext& context = *m_session.context;
    auto* group = new QGroupBox(appText(text::DriveInformation), this);
    auto* form = new QFormLayout(group);
    m_folder = new QLineEdit(QString::fromStdString(context.backingFolder().string()), group);
    m_folder->setReadOnly(true);
    form->addRow(labelText(text::FolderLocation), m_folder);
    m_letter = new QComboBox(group);
    for (const std::string& letter : drives::editLetterChoices(m_services.host, context)) {
        m_letter->addItem(QString::fromStdString(letter));
    }
    // "Auto" is no entry of the list, so nothing is selected for it.
    m_letter->setCurrentIndex(m_letter->findText(QString::fromStdString(context.driveLetter())));
    form->addRow(labelText(text::DriveColumn), m_letter);
    m_label = new QLineEdit(QString::fromStdString(context.label()), group);
    m_label->setMaxLength(kLabelMaxLength);
    form->addRow(labelText(text::VolumeName), m_label);
    return group;
}

QWidget* EditDriveDialog::buildPasswordGroup()
{
    auto* group = new QGroupBox(appText(text::PasswordInformation), this);
    auto* grid = new QGridLayout(group);
    m_remember = new QCheckBox(appText(text::RememberPassword), group);
    m_remember->setToolTip(appText(text::RememberHint));
    m_remember->setChecked(m_session.context->passwordRemembered);
    m_changePassword = new QCheckBox(appText(kChangePassword), group);
    m_current = makePasswordField(text::CurrentPassword, group);
    m_current->setObjectName(QStringLiteral("currentPasswordField"));
    m_new = makePasswordField(text::NewPassword, group);
    m_new->setObjectName(QStringLiteral("newPasswordField"));
    m_confirmation = makePasswordField(text::ConfirmPassword, group);
    m_confirmation->setObjectName(QStringLiteral("confirmationField"));
    m_currentMark = makeMarkLabel(group);
    m_confirmationMark = makeMarkLabel(group);
    m_strength = makeStrengthBar(group);
    grid->addWidget(m_remember, 0, 0);
    grid->addWidget(m_changePassword, 1, 0);
    grid->addWidget(m_current, 2, 0);
    grid->addWidget(m_currentMark, 2, 1);
    grid->addWidget(m_new, 3, 0);
    grid->addWidget(m_confirmation, 4, 0);
    grid->addWidget(m_confirmationMark, 4, 1);
    grid->addWidget(m_strength, 5, 0);
    for (QLineEdit* field : {m_current, m_new, m_confirmation}) {
        field->setEnabled(false);
    }
    connect(m_changePassword, &QCheckBox::toggled, this, [this](bool on) {
        for (QLineEdit* field : {m_current, m_new, m_confirmation}) {
            field->setEnabled(on);
        }
    });
    connect(m_new, &QLineEdit::textChanged, this,
            [this](const QString& typed) { showStrength(m_strength, typed); });
    connect(m_remember, &QCheckBox::toggled, this, [this](bool on) {
        if (!on && !drives::confirmForgetPassword(m_services.prompter)) {
            const QSignalBlocker block(m_remember);
            m_remember->setChecked(true);
        }
    });
    return group;
}

QWidget* EditDriveDialog::buildOptionsGroup()
{
    const token::TokenOptions options = m_session.context->options();
    auto* group = new QGroupBox(appText(text::Options), this);
    auto* column = new QVBoxLayout(group);
    const DriveOptionBoxes boxes =
        addDriveOptionBoxes(column, group, m_session.context->autoMount, options.longFileNames,
                            options.fileNameEncryption, options.caseInsensitive);
    m_autoMount = boxes.autoMount;
    m_longNames = boxes.longNames;
    m_nameEncryption = boxes.nameEncryption;
    m_caseInsensitive = boxes.caseInsensitive;
    return group;
}

bool EditDriveDialog::running() const
{
    return m_runner->running();
}

void EditDriveDialog::accept()
{
    drives::DriveEdit edit = drives::editFieldsFor(*m_session.context);
    edit.label = m_label->text().toStdString();
    edit.letter = m_letter->currentText().toStdString();
    edit.autoMount = m_autoMount->isChecked();
    edit.rememberPassword = m_remember->isChecked();
    edit.options.longFileNames = m_longNames->isChecked();
    edit.options.fileNameEncryption = m_nameEncryption->isChecked();
    edit.options.caseInsensitive = m_caseInsensitive->isChecked();
    edit.changePassword = m_changePassword->isChecked();
    if (edit.changePassword) {
        edit.currentPassword = crypto::makeSecureString(m_current->text().toStdString());
        edit.newPassword = crypto::makeSecureString(m_new->text().toStdString());
        edit.confirmation = crypto::makeSecureString(m_confirmation->text().toStdString());
    }
    setMark(m_currentMark, Mark::None);
    setMark(m_confirmationMark, Mark::None);
    auto result = std::make_shared<drives::EditOutcome>(drives::EditOutcome::Stopped);
    m_runner->run([this, edit, result] { *result = drives::confirmDriveEdit(m_services, m_session, edit); },
                  [this, result] {
                      m_outcome = *result;
                      editDone();
                  });
}

void EditDriveDialog::editDone()
{
    if (*m_outcome != drives::EditOutcome::Stopped) {
        QDialog::accept();
        return;
    }
    switch (m_session.passwordFault) {
    case drives::PasswordChangeFault::CurrentPassword:
        setMark(m_currentMark, Mark::Failure);
        m_current->setFocus();
        break;
    case drives::PasswordChangeFault::NewPassword:
        setMark(m_confirmationMark, Mark::Failure);
        m_new->setFocus();
        break;
    case drives::PasswordChangeFault::None:
    case drives::PasswordChangeFault::TokenNotWritten:
        break;
    }
}

bool EditDriveDialog::backupTokenTo(const QString& target)
{
    return drives::backupEditedDriveToken(m_services.prompter, *m_session.context, target.toStdString());
}

void EditDriveDialog::chooseBackupTarget()
{
    const QString name = QString::fromStdString(drives::defaultBackupName(m_session.context->label()));
    QFileDialog dialog(this, appText(text::BackupSecurityToken), QDir::home().filePath(name),
                       appText(text::TokenExportFilter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("xml"));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        backupTokenTo(dialog.selectedFiles().front());
    }
}

void EditDriveDialog::reject()
{
    if (m_runner->running()) {
        return; // the started edit runs to its end
    }
    QDialog::reject();
}

} // namespace kestrava::gui
