#include "gui/RecoverDriveDialog.h"

#include "core/drives/CreateDriveFlow.h"
#include "gui/AppText.h"
#include "gui/Balloon.h"
#include "gui/DialogParts.h"
#include "gui/QtPrompter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace kestrava::gui {
namespace {

constexpr int kDriveLetter = 224;
constexpr int kIntroduction = 305;
constexpr int kUseFolderToken = 306;
constexpr int kUseBackup = 307;
constexpr int kTitle = 308;
constexpr int kChooseLetterAndName = 313;

constexpr std::array<drives::CloudProvider, 5> kPageProviders = {
    drives::CloudProvider::Dropbox, drives::CloudProvider::SkyDrive, drives::CloudProvider::GoogleDrive,
    drives::CloudProvider::Bitcasa, drives::CloudProvider::Box};

QGroupBox* stepGroup(int step, QWidget* parent)
{
    return new QGroupBox(appText(text::WizardStep, {QString::number(step)}), parent);
}

} // namespace

RecoverDriveDialog::RecoverDriveDialog(drives::DriveServices& services, drives::CloudTraces traces,
                                       QWidget* parent)
    : QDialog(parent), m_services(services), m_traces(std::move(traces))
{
    setObjectName(QStringLiteral("recoverDriveDialog"));
    setWindowTitle(appText(kTitle));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(makeHeading(appText(kTitle), this));
    auto* introduction = new QLabel(appText(kIntroduction), this);
    introduction->setWordWrap(true);
    layout->addWidget(introduction);
    QWidget* folderStep = buildFolderStep();
    QWidget* passwordStep = buildPasswordStep();
    QWidget* letterStep = buildLetterStep();
    layout->addWidget(folderStep);
    layout->addWidget(passwordStep);
    layout->addWidget(letterStep);
    QProgressBar* busy = makeBusyBar(this);
    layout->addWidget(busy);
    m_ok = new QPushButton(appText(text::OK), this);
    m_ok->setDefault(true);
    m_cancel = new QPushButton(appText(text::Cancel), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    layout->addLayout(buttons);
    m_runner = new FlowRunner(busy, this);
    m_runner->guard({folderStep, passwordStep, letterStep, m_ok, m_cancel});
    connect(m_ok, &QPushButton::clicked, this, &RecoverDriveDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &RecoverDriveDialog::reject);

    // The flows' balloons appear at these fields.
    if (auto* prompter = dynamic_cast<QtPrompter*>(&m_services.prompter)) {
        prompter->registerField(static_cast<int>(drives::RecoveryField::FolderTokenChoice), m_useFolderToken);
        prompter->registerField(static_cast<int>(drives::RecoveryField::BackupChoice), m_useBackup);
        prompter->registerField(static_cast<int>(drives::RecoveryField::Password), m_password);
    }
    setMinimumWidth(560);
}

RecoverDriveDialog::~RecoverDriveDialog() = default;

QWidget* RecoverDriveDialog::buildFolderStep()
{
    QGroupBox* group = stepGroup(1, this);
    auto* column = new QVBoxLayout(group);
    auto* choices = new QGridLayout;
    for (std::size_t i = 0; i <= kPageProviders.size(); ++i) {
        const bool local = i == kPageProviders.size();
        auto* button =
            new QPushButton(local ? appText(text::LocalFolder)
                                  : QString::fromUtf8(drives::cloudProviderName(kPageProviders[i])),
                            group);
        button->setCheckable(true);
        button->setAutoExclusive(true);
        m_locations[i] = button;
        choices->addWidget(button, static_cast<int>(i / 3), static_cast<int>(i % 3));
        connect(button, &QPushButton::clicked, this, [this, i] { chooseLocation(i); });
    }
    column->addLayout(choices);
    m_folder = new QLineEdit(group);
    m_folder->setObjectName(QStringLiteral("folderField"));
    m_folder->setReadOnly(true);
    m_folder->setPlaceholderText(appText(text::SelectDestination));
    auto* browse = new QToolButton(group);
    browse->setText(QStringLiteral("\u2026"));
    browse->setToolTip(appText(text::BrowseHint));
    browse->setAccessibleName(appText(text::BrowseHint));
    connect(browse, &QToolButton::clicked, this, [this] {
        const QString chosen =
            QFileDialog::getExistingDirectory(this, appText(text::FolderTitle), m_folder->text());
        if (!chosen.isEmpty()) {
            chooseFolder(chosen);
        }
    });
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(browse);
    column->addLayout(folderRow);
    m_useFolderToken = new QRadioButton(appText(kUseFolderToken), group);
    m_useBackup = new QRadioButton(appText(kUseBackup), group);
    m_backupMark = makeMarkLabel(group);
    auto* backupRow = new QHBoxLayout;
    backupRow->addWidget(m_useBackup);
    backupRow->addWidget(m_backupMark);
    backupRow->addStretch();
    column->addWidget(m_useFolderToken);
    column->addLayout(backupRow);
    for (QRadioButton* choice : {m_useFolderToken, m_useBackup}) {
        choice->setEnabled(false);
        choice->installEventFilter(this);
    }
    connect(m_useFolderToken, &QRadioButton::clicked, this, [this] {
        drives::chooseRecoveryFolderToken(m_state);
        showState();
    });
    connect(m_useBackup, &QRadioButton::clicked, this, &RecoverDriveDialog::backupClicked);
    return group;
}

QWidget* RecoverDriveDialog::buildPasswordStep()
{
    QGroupBox* group = stepGroup(2, this);
    auto* row = new QHBoxLayout(group);
    row->addWidget(new QLabel(appText(text::DrivePasswordLabel), group));
    m_password = makePasswordField(text::DrivePasswordLabel, group);
    m_password->setObjectName(QStringLiteral("passwordField"));
    m_password->setPlaceholderText({});
    m_passwordMark = makeMarkLabel(group);
    m_remember = new QCheckBox(appText(text::RememberPassword), group);
    m_remember->setChecked(true);
    row->addWidget(m_password, 1);
    row->addWidget(m_passwordMark);
    row->addWidget(m_remember);
    return group;
}

QWidget* RecoverDriveDialog::buildLetterStep()
{
    QGroupBox* group = stepGroup(3, this);
    auto* column = new QVBoxLayout(group);
    column->addWidget(new QLabel(appText(kChooseLetterAndName), group));
    auto* form = new QFormLayout;
    m_letter = new QComboBox(group);
    m_letter->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    form->addRow(appText(kDriveLetter), m_letter);
    m_label = new QLineEdit(QString::fromStdString(m_state.label), group);
    m_label->setMaxLength(kLabelMaxLength);
    form->addRow(labelText(text::VolumeName), m_label);
    column->addLayout(form);
    m_autoMount = new QCheckBox(appText(text::EnableAutoMount), group);
    m_autoMount->setChecked(true);
    column->addWidget(m_autoMount);
    return group;
}

bool RecoverDriveDialog::start()
{
    const auto letters = drives::recoveryLetters(m_services);
    if (!letters) {
        return false;
    }
    m_letter->clear();
    for (const std::string& letter : *letters) {
        m_letter->addItem(QString::fromStdString(letter));
    }
    m_letter->setCurrentIndex(m_letter->count() - 1);
    for (std::size_t i = 0; i < kPageProviders.size(); ++i) {
        const bool found = !drives::cloudFolder(kPageProviders[i], m_traces).empty();
        m_locations[i]->setEnabled(found);
        m_locations[i]->setToolTip(found ? QString() : appText(drives::kMsgInstallClient));
    }
    return true;
}

bool RecoverDriveDialog::running() const
{
    return m_runner->running();
}

void RecoverDriveDialog::showState()
{
    m_folder->setText(QString::fromStdString(m_state.folder));
    m_useFolderToken->setEnabled(m_state.folderTokenEnabled);
    m_useBackup->setEnabled(m_state.backupEnabled);
    // Both unchecked is a state of its own: exclusivity would keep one checked.
    m_useFolderToken->setAutoExclusive(false);
    m_useBackup->setAutoExclusive(false);
    m_useFolderToken->setChecked(m_state.useFolderToken);
    m_useBackup->setChecked(m_state.useBackup);
    m_useFolderToken->setAutoExclusive(true);
    m_useBackup->setAutoExclusive(true);
    setMark(m_backupMark, !m_state.backupAccepted   ? Mark::None
                          : *m_state.backupAccepted ? Mark::Success
                                                    : Mark::Failure);
}

void RecoverDriveDialog::chooseLocation(std::size_t index)
{
    const bool local = index == kPageProviders.size();
    const bool chosen =
        local ? drives::chooseRecoveryLocalFolder(m_services, m_state, m_traces)
              : drives::chooseRecoveryProvider(m_services, m_state, kPageProviders[index], m_traces);
    if (chosen) {
        m_label->setText(QString::fromStdString(m_state.label));
    } else {
        m_locations[index]->setAutoExclusive(false);
        m_locations[index]->setChecked(false);
        m_locations[index]->setAutoExclusive(true);
    }
    showState();
}

bool RecoverDriveDialog::chooseFolder(const QString& folder)
{
    const bool chosen = drives::chooseRecoveryFolder(m_services, m_state,
                                                     drives::normalizeBackingFolder(folder.toStdString()));
    if (chosen) {
        m_locations.back()->setChecked(true);
    }
    showState();
    return chosen;
}

void RecoverDriveDialog::backupClicked()
{
    if (!m_useBackup->isChecked()) {
        return;
    }
    QFileDialog dialog(this, appText(text::OpenExportTitle), QDir::homePath(),
                       appText(text::TokenExportFilter));
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        chooseBackupFile(dialog.selectedFiles().front());
    } else {
        showState();
    }
}

bool RecoverDriveDialog::chooseBackupFile(const QString& file)
{
    const bool accepted = drives::chooseRecoveryBackup(m_services.prompter, m_state, file.toStdString());
    showState();
    return accepted;
}

bool RecoverDriveDialog::eventFilter(QObject* watched, QEvent* event)
{
    const bool folderChoice = watched == m_useFolderToken;
    if (event->type() == QEvent::ToolTip && (folderChoice || watched == m_useBackup)) {
        auto* choice = static_cast<QWidget*>(watched);
        // An enabled choice shows its balloon again; a disabled one has no tip.
        if (choice->isEnabled()) {
            Balloon::showAt(
                choice, appText(folderChoice ? drives::kMsgTokenFoundTitle : drives::kMsgFolderLoadedTitle),
                appText(folderChoice ? drives::kMsgTokenFoundText : drives::kMsgUseBackupText),
                Icon::Information);
        }
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void RecoverDriveDialog::accept()
{
    drives::RecoveryRequest request;
    request.letter = m_letter->currentText().toStdString();
    request.label = m_label->text().toStdString();
    request.password = crypto::makeSecureString(m_password->text().toStdString());
    request.rememberPassword = m_remember->isChecked();
    request.autoMount = m_autoMount->isChecked();
    setMark(m_passwordMark, Mark::None);
    auto result = std::make_shared<drives::RecoverOutcome>(drives::RecoverOutcome::Stopped);
    m_runner->run(
        [this, request, result] { *result = drives::confirmRecovery(m_services, m_state, request); },
        [this, result] {
            m_outcome = *result;
            recoveryDone();
        });
}

void RecoverDriveDialog::recoveryDone()
{
    switch (*m_outcome) {
    case drives::RecoverOutcome::Recovered:
    case drives::RecoverOutcome::NotMounted:
        setMark(m_passwordMark, Mark::Success);
        QDialog::accept();
        return;
    case drives::RecoverOutcome::WrongPassword:
        setMark(m_passwordMark, Mark::Failure);
        m_password->selectAll();
        m_password->setFocus();
        return;
    case drives::RecoverOutcome::Stopped:
        showState();
        return;
    }
}

void RecoverDriveDialog::reject()
{
    if (m_runner->running()) {
        return; // the started recovery runs to its end
    }
    QDialog::reject();
}

} // namespace kestrava::gui
