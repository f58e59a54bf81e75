#include "gui/CreateDriveWizardDialog.h"

#include "core/drives/DriveMessages.h"
#include "gui/AppText.h"
#include "gui/DialogParts.h"
#include "gui/FormatChoice.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace kestrava::gui {
namespace {

constexpr int kCreateNewDrive = 2;
constexpr int kNext = 6;
constexpr int kSetPassword = 7;
constexpr int kAdoptedText = 14;
constexpr int kPathLabel = 29;
constexpr int kNameLabel = 32;
constexpr int kLetterHeading = 128;
constexpr int kFinishHeading = 131;
constexpr int kClose = 132;
constexpr int kLocationHeading = 133;
constexpr int kLocationText = 134;
constexpr int kLetterText = 135;
constexpr int kNewPasswordText = 136;
constexpr int kFinishText = 138;
constexpr int kAssignLetter = 140;
constexpr int kBackupText = 141;
constexpr int kAdvancedMode = 148;
constexpr int kEasySteps = 192;
constexpr int kDriveInfo = 226;
constexpr int kBack = 230;
constexpr int kOpenDrive = 233;
constexpr int kAdvancedTip = 296;
constexpr int kRecoverButton = 304;
constexpr int kWelcomeHeading = 309;
constexpr int kWelcomeText = 310;
constexpr int kCreateChoice = 311;
constexpr int kConnectChoice = 312;
constexpr int kInstallClient = 318;
constexpr int kFinishNotMounted = 1461;
constexpr int kFinishFailed = 1462;
constexpr int kChooseDestinationPrompt = 1463;

constexpr int kLastPage = 5;

// The location buttons in the order the page shows them.
constexpr std::array<drives::CloudProvider, 5> kPageProviders = {
    drives::CloudProvider::Dropbox, drives::CloudProvider::SkyDrive, drives::CloudProvider::GoogleDrive,
    drives::CloudProvider::Bitcasa, drives::CloudProvider::Box};

} // namespace

CreateDriveWizardDialog::CreateDriveWizardDialog(drives::DriveServices& services, drives::CloudTraces traces,
                                                 QWidget* parent)
    : QDialog(parent), m_services(services), m_traces(traces), m_wizard(services, std::move(traces)),
      m_openUrl([](const QUrl& url) { return QDesktopServices::openUrl(url); })
{
    setObjectName(QStringLiteral("createDriveWizard"));
    auto* layout = new QVBoxLayout(this);
    m_heading = makeHeading(QString(), this);
    m_heading->setObjectName(QStringLiteral("heading"));
    m_step = new QLabel(this);
    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("pageText"));
    m_text->setWordWrap(true);
    auto* top = new QHBoxLayout;
    top->addWidget(m_heading, 1);
    top->addWidget(m_step);
    layout->addLayout(top);
    layout->addWidget(m_text);

    m_pages = new QStackedWidget(this);
    m_pages->addWidget(buildWelcomePage());
    m_pages->addWidget(buildLocationPage());
    m_pages->addWidget(buildPasswordPage());
    m_pages->addWidget(buildLetterPage());
    m_pages->addWidget(buildFinishPage());
    layout->addWidget(m_pages, 1);

    QProgressBar* busy = makeBusyBar(this);
    layout->addWidget(busy);
    m_advanced = new QPushButton(appText(kAdvancedMode).replace(QLatin1Char('\n'), QLatin1Char(' ')), this);
    m_advanced->setToolTip(appText(kAdvancedTip));
    m_back = new QPushButton(appText(kBack), this);
    m_next = new QPushButton(appText(kNext), this);
    m_next->setDefault(true);
    m_cancel = new QPushButton(appText(text::Cancel), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_advanced);
    buttons->addStretch();
    buttons->addWidget(m_back);
    buttons->addWidget(m_next);
    buttons->addWidget(m_cancel);
    layout->addLayout(buttons);

    m_runner = new FlowRunner(busy, this);
    m_runner->guard({m_pages, m_advanced, m_back, m_next, m_cancel});
    connect(m_next, &QPushButton::clicked, this, &CreateDriveWizardDialog::next);
    connect(m_back, &QPushButton::clicked, this, &CreateDriveWizardDialog::back);
    connect(m_cancel, &QPushButton::clicked, this, &CreateDriveWizardDialog::reject);
    connect(m_advanced, &QPushButton::clicked, this, [this] {
        m_ending = Ending::SwitchToAdvanced;
        done(QDialog::Rejected);
    });
    setMinimumSize(560, 420);
}

CreateDriveWizardDialog::~CreateDriveWizardDialog() = default;

QWidget* CreateDriveWizardDialog::buildWelcomePage()
{
    auto* page = new QWidget(this);
    auto* column = new QVBoxLayout(page);
    m_create = new QRadioButton(appText(kCreateChoice), page);
    m_connect = new QRadioButton(appText(kConnectChoice), page);
    column->addStretch();
    column->addWidget(m_create);
    column->addWidget(m_connect);
    column->addStretch();
    connect(m_create, &QRadioButton::clicked, this, [this] {
        m_wizard.choose(drives::WizardChoice::Create);
        m_next->setEnabled(m_wizard.nextEnabled());
    });
    connect(m_connect, &QRadioButton::clicked, this, [this] {
        m_wizard.choose(drives::WizardChoice::Connect);
        m_next->setEnabled(m_wizard.nextEnabled());
    });
    return page;
}

QWidget* CreateDriveWizardDialog::buildLocationPage()
{
    auto* page = new QWidget(this);
    auto* column = new QVBoxLayout(page);
    column->addWidget(new QLabel(appText(kChooseDestinationPrompt), page));
    auto* choices = new QGridLayout;
    for (std::size_t i = 0; i <= kPageProviders.size(); ++i) {
        const bool local = i == kPageProviders.size();
        auto* button =
            new QPushButton(local ? appText(text::LocalFolder)
                                  : QString::fromUtf8(drives::cloudProviderName(kPageProviders[i])),
                            page);
        button->setCheckable(true);
        button->setAutoExclusive(true);
        m_locations[i] = button;
        choices->addWidget(button, static_cast<int>(i / 3), static_cast<int>(i % 3));
        connect(button, &QPushButton::clicked, this, [this, i, local] {
            if (local) {
                m_wizard.chooseLocalFolder();
            } else {
                m_wizard.chooseLocation(kPageProviders[i]);
            }
            showLocation();
        });
    }
    column->addLayout(choices);
    auto* form = new QFormLayout;
    m_folder = new QLineEdit(page);
    m_folder->setObjectName(QStringLiteral("folderField"));
    m_folder->setMaxLength(kDriveFieldMaxLength);
    m_folder->setPlaceholderText(appText(text::SelectDestination));
    connect(m_folder, &QLineEdit::textEdited, this,
            [this](const QString& folder) { m_wizard.setFolder(folder.trimmed().toStdString()); });
    auto* browse = new QToolButton(page);
    browse->setText(QStringLiteral("\u2026"));
    browse->setToolTip(appText(text::BrowseHint));
    browse->setAccessibleName(appText(text::BrowseHint));
    connect(browse, &QToolButton::clicked, this, [this] {
        const QString chosen =
            QFileDialog::getExistingDirectory(this, appText(text::FolderTitle), m_folder->text());
        if (!chosen.isEmpty()) {
            m_wizard.setFolder(chosen.toStdString());
            showLocation();
        }
    });
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(browse);
    form->addRow(appText(kPathLabel), folderRow);
    m_label = new QLineEdit(page);
    m_label->setMaxLength(kLabelMaxLength);
    connect(m_label, &QLineEdit::textEdited, this,
            [this](const QString& label) { m_wizard.setLabel(label.toStdString()); });
    form->addRow(appText(kNameLabel), m_label);
    column->addLayout(form);
    column->addStretch();
    m_recover = new QPushButton(appText(kRecoverButton), page);
    connect(m_recover, &QPushButton::clicked, this, [this] {
        m_ending = Ending::OpenRecovery;
        done(QDialog::Rejected);
    });
    auto* recoverRow = new QHBoxLayout;
    recoverRow->addStretch();
    recoverRow->addWidget(m_recover);
    column->addLayout(recoverRow);
    return page;
}

QWidget* CreateDriveWizardDialog::buildPasswordPage()
{
    auto* page = new QWidget(this);
    auto* grid = new QGridLayout(page);
    m_passwordLabel = new QLabel(page);
    m_password = makePasswordField(kSetPassword, page);
    m_password->setObjectName(QStringLiteral("passwordField"));
    m_confirmationLabel = new QLabel(appText(text::ConfirmPassword), page);
    m_confirmation = makePasswordField(text::ConfirmPassword, page);
    m_confirmation->setObjectName(QStringLiteral("confirmationField"));
    m_mark = makeMarkLabel(page);
    m_strength = makeStrengthBar(page);
    m_importedLabel = new QLabel(appText(text::ImportedFile), page);
    m_imported = new QLineEdit(page);
    m_imported->setReadOnly(true);
    m_remember = new QCheckBox(appText(text::RememberPassword), page);
    m_remember->setChecked(true);
    grid->addWidget(m_passwordLabel, 0, 0);
    grid->addWidget(m_password, 0, 1);
    grid->addWidget(m_confirmationLabel, 1, 0);
    grid->addWidget(m_confirmation, 1, 1);
    grid->addWidget(m_mark, 1, 2);
    grid->addWidget(m_strength, 2, 1);
    grid->addWidget(m_importedLabel, 3, 0);
    grid->addWidget(m_imported, 3, 1);
    grid->addWidget(m_remember, 4, 1);
    grid->setRowStretch(5, 1);
    connect(m_password, &QLineEdit::textChanged, this, [this](const QString& typed) {
        showStrength(m_strength, typed);
        updateMarkFromConfirmation();
    });
    connect(m_confirmation, &QLineEdit::textChanged, this,
            &CreateDriveWizardDialog::updateMarkFromConfirmation);
    return page;
}

QWidget* CreateDriveWizardDialog::buildLetterPage()
{
    auto* page = new QWidget(this);
    // One option per line under the letter; further drive options join this column.
    auto* column = new QVBoxLayout(page);
    column->addWidget(new QLabel(appText(kAssignLetter), page));
    m_letter = new QComboBox(page);
    m_letter->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* letterRow = new QHBoxLayout;
    letterRow->addWidget(m_letter);
    letterRow->addStretch();
    column->addLayout(letterRow);
    m_autoMount = new QCheckBox(appText(text::AutoMountHint), page);
    m_longNames = new QCheckBox(appText(text::LongNamesHint), page);
    column->addWidget(m_autoMount);
    column->addWidget(m_longNames);
    m_format = new FormatChoice(page);
    column->addWidget(m_format);
    column->addStretch();
    return page;
}

QWidget* CreateDriveWizardDialog::buildFinishPage()
{
    auto* page = new QWidget(this);
    auto* column = new QVBoxLayout(page);
    auto* info = new QLabel(appText(kDriveInfo), page);
    QFont bold = info->font();
    bold.setBold(true);
    info->setFont(bold);
    column->addWidget(info);
    m_finishLetter = new QLabel(page);
    m_finishLetter->setObjectName(QStringLiteral("finishLetter"));
    m_finishLabel = new QLabel(page);
    column->addWidget(m_finishLetter);
    column->addWidget(m_finishLabel);
    column->addSpacing(12);
    auto* backupText = new QLabel(appText(kBackupText), page);
    backupText->setWordWrap(true);
    column->addWidget(backupText);
    m_backup = new QPushButton(appText(text::BackupSecurityToken), page);
    connect(m_backup, &QPushButton::clicked, this, &CreateDriveWizardDialog::chooseBackupTarget);
    auto* backupRow = new QHBoxLayout;
    backupRow->addWidget(m_backup);
    backupRow->addStretch();
    column->addLayout(backupRow);
    column->addStretch();
    m_openDrive = new QCheckBox(appText(kOpenDrive), page);
    m_openDrive->setChecked(true);
    column->addWidget(m_openDrive);
    return page;
}

bool CreateDriveWizardDialog::start()
{
    if (!m_wizard.open()) {
        return false;
    }
    m_letter->clear();
    for (const std::string& letter : m_wizard.letters()) {
        m_letter->addItem(QString::fromStdString(letter));
    }
    m_letter->setCurrentText(QString::fromStdString(m_wizard.letter()));
    for (std::size_t i = 0; i < kPageProviders.size(); ++i) {
        const bool found = m_wizard.providerAvailable(kPageProviders[i]);
        m_locations[i]->setEnabled(found);
        m_locations[i]->setToolTip(found ? QString() : appText(kInstallClient));
    }
    m_remember->setChecked(true);
    showLocation();
    showPage();
    return true;
}

bool CreateDriveWizardDialog::running() const
{
    return m_runner->running();
}

void CreateDriveWizardDialog::showLocation()
{
    m_folder->setText(QString::fromStdString(m_wizard.folder()));
    m_label->setText(QString::fromStdString(m_wizard.label()));
}

void CreateDriveWizardDialog::updateMarkFromConfirmation()
{
    const QString password = m_password->text();
    const bool confirmed = password.size() > 5 && password == m_confirmation->text();
    setMark(m_mark, confirmed ? Mark::Success : Mark::None);
}

void CreateDriveWizardDialog::showPage()
{
    const int page = m_wizard.page();
    m_pages->setCurrentIndex(page - 1);
    setWindowTitle(appText(page == 1 ? text::NewDriveWizard : kEasySteps));
    m_step->setText(appText(text::WizardStep, {QString::number(page - 1)}));
    m_step->setVisible(page > 1 && page < kLastPage);
    m_advanced->setVisible(page == 1);
    m_back->setVisible(page < kLastPage);
    m_back->setEnabled(page > 1);
    m_cancel->setVisible(page < kLastPage);
    m_next->setText(appText(page == 4 ? kCreateNewDrive : page == kLastPage ? kClose : kNext));
    m_next->setEnabled(m_wizard.nextEnabled());
    switch (page) {
    case 1:
        m_heading->setText(appText(kWelcomeHeading));
        m_text->setText(appText(kWelcomeText));
        break;
    case 2:
        m_heading->setText(appText(kLocationHeading));
        m_text->setText(appText(kLocationText));
        break;
    case 3: {
        const bool adopting = m_wizard.adoptingToken();
        m_heading->setText(appTextWithoutColons(text::DrivePasswordLabel));
        m_text->setText(appText(adopting ? kAdoptedText : kNewPasswordText));
        m_passwordLabel->setText(appText(adopting ? text::CurrentPassword : kSetPassword));
        m_password->setPlaceholderText(appText(adopting ? text::CurrentPassword : kSetPassword));
        for (QWidget* widget :
             std::initializer_list<QWidget*>{m_confirmationLabel, m_confirmation, m_strength}) {
            widget->setVisible(!adopting);
        }
        m_mark->setVisible(!adopting);
        m_importedLabel->setVisible(adopting);
        m_imported->setVisible(adopting);
        m_imported->setText(QString::fromStdString(m_wizard.importFile().string()));
        m_password->setFocus();
        break;
    }
    case 4:
        m_heading->setText(appText(kLetterHeading));
        m_text->setText(appText(kLetterText));
        // Both boxes are checked anew each time the page is shown.
        m_autoMount->setChecked(m_wizard.autoMount());
        m_longNames->setChecked(m_wizard.longFileNames());
        m_format->setFormat(m_wizard.format());
        m_format->setVisible(!m_wizard.adoptingToken()); // an adopted token keeps its format
        break;
    default: {
        m_heading->setText(appText(kFinishHeading));
        const auto creation = m_wizard.creation();
        const bool mounted = creation == drives::WizardCreation::Mounted;
        m_text->setText(appText(mounted                                          ? kFinishText
                                : creation == drives::WizardCreation::NotMounted ? kFinishNotMounted
                                                                                 : kFinishFailed));
        m_finishLetter->setText(QString::fromStdString(m_wizard.finishLetterLine()));
        m_finishLabel->setText(QString::fromStdString(m_wizard.finishLabelLine()));
        const bool listed = creation != drives::WizardCreation::Failed;
        m_backup->setEnabled(listed);
        m_openDrive->setVisible(mounted);
        break;
    }
    }
}

void CreateDriveWizardDialog::pushFields()
{
    m_wizard.setLabel(m_label->text().toStdString());
    m_wizard.setPasswords(crypto::makeSecureString(m_password->text().toStdString()),
                          crypto::makeSecureString(m_confirmation->text().toStdString()));
    m_wizard.setRememberPassword(m_remember->isChecked());
    if (m_wizard.page() == 4) {
        m_wizard.setLetter(m_letter->currentText().toStdString());
        m_wizard.setAutoMount(m_autoMount->isChecked());
        m_wizard.setLongFileNames(m_longNames->isChecked());
        m_wizard.setFormat(m_format->format());
    }
}

void CreateDriveWizardDialog::next()
{
    if (m_wizard.page() == kLastPage) {
        finish();
        return;
    }
    pushFields();
    if (m_wizard.page() == 3) {
        setMark(m_mark, Mark::None);
    }
    auto step = std::make_shared<drives::WizardStep>(drives::WizardStep::Stay);
    m_runner->run([this, step] { *step = m_wizard.next(); }, [this, step] { stepDone(*step); });
}

void CreateDriveWizardDialog::stepDone(drives::WizardStep step)
{
    switch (step) {
    case drives::WizardStep::Moved:
        showLocation();
        showPage();
        return;
    case drives::WizardStep::OpenRecovery:
        m_ending = Ending::OpenRecovery;
        done(QDialog::Rejected);
        return;
    case drives::WizardStep::Close:
        finish();
        return;
    case drives::WizardStep::Stay:
        break;
    }
    showLocation();
    if (m_wizard.page() == 3) {
        if (!m_wizard.adoptingToken()) {
            setMark(m_mark, Mark::Failure);
        }
        m_password->setFocus();
        m_password->selectAll();
    }
}

void CreateDriveWizardDialog::back()
{
    if (m_runner->running()) {
        return;
    }
    m_wizard.back();
    showPage();
}

void CreateDriveWizardDialog::finish()
{
    m_wizard.setOpenDriveAfterClose(m_openDrive->isChecked());
    if (const auto folder = m_wizard.folderToOpen()) {
        m_openUrl(QUrl::fromLocalFile(QString::fromStdString(folder->string())));
    }
    accept();
}

bool CreateDriveWizardDialog::backupTokenTo(const QString& target)
{
    return m_wizard.backupToken(target.toStdString());
}

void CreateDriveWizardDialog::chooseBackupTarget()
{
    QFileDialog dialog(this, appText(text::BackupSecurityToken),
                       QDir::home().filePath(QString::fromStdString(m_wizard.defaultBackupFileName())),
                       appText(text::TokenExportFilter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("xml"));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        backupTokenTo(dialog.selectedFiles().front());
    }
}

void CreateDriveWizardDialog::reject()
{
    if (m_runner->running()) {
        return; // a started step runs to its end
    }
    QDialog::reject();
}

} // namespace kestrava::gui
