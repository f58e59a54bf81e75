#include "gui/CreateDriveDialog.h"

#include "core/access/PasswordRule.h"
#include "core/drives/EditDriveFlow.h"
#include "core/drives/FreeLetters.h"
#include "gui/AppText.h"
#include "gui/DialogParts.h"
#include "gui/FormatChoice.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace kestrava::gui {
namespace {

constexpr int kTitle = 240;
constexpr int kImportDrive = 242;
constexpr int kSelectLocation = 243;

} // namespace

CreateDriveDialog::CreateDriveDialog(drives::DriveServices& services, drives::CloudTraces traces,
                                     QWidget* parent)
    : QDialog(parent), m_services(services), m_traces(std::move(traces))
{
    setObjectName(QStringLiteral("createDriveDialog"));
    setWindowTitle(appText(kTitle));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(makeHeading(appText(kTitle), this));
    layout->addWidget(buildDriveGroup());
    layout->addWidget(buildPasswordGroup());
    layout->addWidget(buildOptionsGroup());

    m_wizard = new QPushButton(appText(text::NewDriveWizard), this);
    m_import = new QPushButton(appText(kImportDrive), this);
    m_ok = new QPushButton(appText(text::OK), this);
    m_ok->setDefault(true);
    m_cancel = new QPushButton(appText(text::Cancel), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_wizard);
    buttons->addWidget(m_import);
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    QProgressBar* busy = makeBusyBar(this);
    layout->addWidget(busy);
    layout->addLayout(buttons);

    m_runner = new FlowRunner(busy, this);
    m_runner->guard({m_ok, m_cancel, m_wizard, m_import});
    connect(m_ok, &QPushButton::clicked, this, &CreateDriveDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CreateDriveDialog::reject);
    connect(m_wizard, &QPushButton::clicked, this, [this] {
        m_ending = Ending::SwitchToWizard;
        done(QDialog::Rejected);
    });
    connect(m_import, &QPushButton::clicked, this, &CreateDriveDialog::chooseImportFile);
    setMinimumWidth(520);
}

CreateDriveDialog::~CreateDriveDialog() = default;

QWidget* CreateDriveDialog::buildDriveGroup()
{
    auto* group = new QGroupBox(appText(text::DriveInformation), this);
    auto* form = new QFormLayout(group);
    m_folder = new QLineEdit(group);
    m_folder->setObjectName(QStringLiteral("folderField"));
    m_folder->setMaxLength(kDriveFieldMaxLength);
    m_folder->setPlaceholderText(appText(text::SelectDestination));
    m_locationButton = new QToolButton(group);
    m_locationButton->setText(QStringLiteral("\u2601"));
    m_locationButton->setToolTip(appText(kSelectLocation));
    m_locationButton->setAccessibleName(appText(kSelectLocation));
    m_locationButton->setPopupMode(QToolButton::InstantPopup);
    m_locationMenu = new QMenu(m_locationButton);
    m_locationButton->setMenu(m_locationMenu);
    connect(m_locationMenu, &QMenu::aboutToShow, this, &CreateDriveDialog::fillLocationMenu);
    fillLocationMenu();
    m_browse = new QToolButton(group);
    m_browse->setText(QStringLiteral("\u2026"));
    m_browse->setToolTip(appText(text::FolderTitle));
    m_browse->setAccessibleName(appText(text::FolderTitle));
    connect(m_browse, &QToolButton::clicked, this, &CreateDriveDialog::browse);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(m_locationButton);
    folderRow->addWidget(m_browse);
    form->addRow(labelText(text::FolderLocation), folderRow);

    m_letter = new QComboBox(group);
    for (const std::string& letter : drives::freeDriveLetters(m_services.host)) {
        m_letter->addItem(QString::fromStdString(letter));
    }
    m_letter->setCurrentIndex(m_letter->count() - 1);
    form->addRow(labelText(text::DriveColumn), m_letter);

    m_label = new QLineEdit(QString::fromLatin1(drives::kDefaultLabel), group);
    m_label->setMaxLength(kLabelMaxLength);
    form->addRow(labelText(text::VolumeName), m_label);
    return group;
}

QWidget* CreateDriveDialog::buildPasswordGroup()
{
    auto* group = new QGroupBox(appText(text::PasswordInformation), this);
    auto* grid = new QGridLayout(group);
    m_password = makePasswordField(text::NewPassword, group);
    m_password->setObjectName(QStringLiteral("passwordField"));
    m_confirmation = makePasswordField(text::ConfirmPassword, group);
    m_confirmation->setObjectName(QStringLiteral("confirmationField"));
    m_mark = makeMarkLabel(group);
    m_strength = makeStrengthBar(group);
    m_remember = new QCheckBox(appText(text::RememberPassword), group);
    m_remember->setChecked(true);
    m_remember->setToolTip(appText(text::RememberHint));
    grid->addWidget(m_password, 0, 0);
    grid->addWidget(m_confirmation, 1, 0);
    grid->addWidget(m_mark, 1, 1);
    grid->addWidget(m_strength, 2, 0);
    grid->addWidget(m_remember, 3, 0);
    connect(m_password, &QLineEdit::textChanged, this, [this](const QString& typed) {
        if (!m_adoptedShown) {
            showStrength(m_strength, typed);
        }
    });
    connect(m_remember, &QCheckBox::toggled, this, &CreateDriveDialog::rememberToggled);
    return group;
}

QWidget* CreateDriveDialog::buildOptionsGroup()
{
    auto* group = new QGroupBox(appText(text::Options), this);
    // One option per line; further drive options join this column.
    auto* column = new QVBoxLayout(group);
    const drives::NewDrive defaults;
    const DriveOptionBoxes boxes =
        addDriveOptionBoxes(column, group, defaults.autoMount, defaults.longFileNames,
                            defaults.fileNameEncryption, defaults.caseInsensitive);
    m_autoMount = boxes.autoMount;
    m_longNames = boxes.longNames;
    m_nameEncryption = boxes.nameEncryption;
    m_caseInsensitive = boxes.caseInsensitive;
    m_format = new FormatChoice(group);
    m_format->setFormat(defaults.format);
    column->addWidget(m_format);
    return group;
}

void CreateDriveDialog::fillLocationMenu()
{
    m_locationMenu->clear();
    const auto entries = drives::advancedLocationMenu(m_traces);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        QAction* action = m_locationMenu->addAction(QString::fromStdString(entries[i].text));
        action->setEnabled(entries[i].enabled);
        connect(action, &QAction::triggered, this, [this, i] { chooseLocation(static_cast<int>(i)); });
    }
}

void CreateDriveDialog::chooseLocation(int index)
{
    const auto entries = drives::advancedLocationMenu(m_traces);
    if (index < 0 || static_cast<std::size_t>(index) >= entries.size() || !entries[index].enabled) {
        return;
    }
    const auto folder =
        drives::advancedLocationFolder(entries[index].provider, m_label->text().toStdString(), m_traces);
    if (folder) {
        m_folder->setText(QString::fromStdString(*folder));
    }
    m_folder->setFocus();
}

void CreateDriveDialog::browse()
{
    QString start = m_folder->text();
    if (!QFileInfo(start).isDir()) {
        start = QFileInfo(start).path();
    }
    const QString chosen = QFileDialog::getExistingDirectory(this, appText(text::FolderTitle), start);
    if (!chosen.isEmpty()) {
        m_folder->setText(QDir::toNativeSeparators(chosen));
    }
}

void CreateDriveDialog::chooseImportFile()
{
    QFileDialog dialog(this, appText(text::OpenExportTitle), QDir::homePath(),
                       appText(text::TokenExportFilter));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("xml"));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        importTokenFile(dialog.selectedFiles().front());
    }
}

bool CreateDriveDialog::importTokenFile(const QString& file)
{
    m_state.announcement.announce = true;
    if (!drives::importDriveFromFile(m_services.prompter, m_state, file.toStdString())) {
        return false;
    }
    showAdopted();
    return true;
}

void CreateDriveDialog::showAdopted()
{
    m_adoptedShown = true;
    m_password->clear();
    m_password->setPlaceholderText(appText(text::CurrentPassword));
    m_confirmation->setEchoMode(QLineEdit::Normal);
    m_confirmation->setText(appText(text::ImportedFile) + QLatin1Char(' ') +
                            QString::fromStdString(m_state.importFile.string()));
    m_confirmation->setReadOnly(true);
    m_strength->setValue(0);
    for (QWidget* widget : std::initializer_list<QWidget*>{m_folder, m_browse, m_locationButton, m_import}) {
        widget->setEnabled(false);
    }
    m_format->hide(); // the adopted token keeps its own format
    m_password->setFocus();
}

void CreateDriveDialog::rememberToggled(bool on)
{
    if (!on && !drives::confirmForgetPassword(m_services.prompter)) {
        const QSignalBlocker block(m_remember);
        m_remember->setChecked(true);
    }
}

bool CreateDriveDialog::running() const
{
    return m_runner->running();
}

void CreateDriveDialog::accept()
{
    drives::NewDrive drive;
    const QString folder = m_folder->text().trimmed();
    if (!folder.isEmpty()) {
        drive.folder = drives::normalizeBackingFolder(folder.toStdString());
    }
    drive.label = m_label->text().toStdString();
    drive.letter = m_letter->currentText().toStdString();
    drive.rememberPassword = m_remember->isChecked();
    drive.autoMount = m_autoMount->isChecked();
    drive.longFileNames = m_longNames->isChecked();
    drive.fileNameEncryption = m_nameEncryption->isChecked();
    drive.caseInsensitive = m_caseInsensitive->isChecked();
    drive.format = m_format->format();
    drives::TypedPasswords typed{crypto::makeSecureString(m_password->text().toStdString()),
                                 crypto::makeSecureString(m_confirmation->text().toStdString())};
    setMark(m_mark, Mark::None);
    auto result = std::make_shared<drives::CreateOutcome>(drives::CreateOutcome::Stopped);
    m_runner->run(
        [this, drive, typed, result] {
            const drives::PasswordSupplier passwords = [&typed](bool) {
                return std::optional<drives::TypedPasswords>(typed);
            };
            *result = drives::confirmAdvancedCreation(m_services, drive, m_state, passwords);
        },
        [this, result] {
            m_outcome = *result;
            creationDone();
        });
}

void CreateDriveDialog::creationDone()
{
    switch (*m_outcome) {
    case drives::CreateOutcome::Created:
    case drives::CreateOutcome::NotMounted:
        // A drive that is listed but not mounted is mounted from the list; OK again would
        // only meet "folder already registered".
        QDialog::accept();
        return;
    case drives::CreateOutcome::ChooseFolder:
        m_folder->clear();
        return;
    case drives::CreateOutcome::Stopped:
        break;
    }
    if (!m_state.importFile.empty()) {
        if (!m_adoptedShown) {
            showAdopted();
        }
        return;
    }
    if (checkNewPassword(m_password->text().toStdString(), m_confirmation->text().toStdString()) != 0) {
        setMark(m_mark, Mark::Failure);
        m_password->setFocus();
    }
}

void CreateDriveDialog::reject()
{
    if (m_runner->running()) {
        return; // the started run finishes first
    }
    QDialog::reject();
}

} // namespace kestrava::gui
