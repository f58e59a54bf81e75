#include "gui/SettingsDialog.h"

#include "core/Version.h"
#include "core/app/Language.h"
#include "core/app/Prompter.h"
#include "gui/AppText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <ctime>

namespace kestrava::gui {
namespace {

// Ids of the window's texts.
constexpr int kCaption = 196;
constexpr int kSecurityGroup = 337;
constexpr int kSettingsFileGroup = 208;
constexpr int kInformationGroup = 342;
constexpr int kLanguageLabel = 214;
constexpr int kStartAtLogin = 62;
constexpr int kAutoUpdate = 61;
constexpr int kLoginRequired = 206;
constexpr int kGoogleAuth = 71;
constexpr int kCheckForUpdate = 217;
constexpr int kMove = 209;
constexpr int kRestore = 210;
constexpr int kBackup = 211;
constexpr int kViewLog = 212;
constexpr int kAbout = 205;
constexpr int kClearPassword = 346;
constexpr int kClearKey = 347;
constexpr int kCancel = 67;
constexpr int kOk = 269;
constexpr int kCheckForUpdateTip = 288;
constexpr int kPasswordTip = 289;
constexpr int kKeyTip = 290;
constexpr int kClearPasswordTip = 349;
constexpr int kClearKeyTip = 350;
constexpr int kViewLogTip = 301;
constexpr int kMoveTip = 291;
constexpr int kRestoreTip = 292;
constexpr int kBackupTip = 293;
constexpr int kAutoLockGroup = 1502;
constexpr int kLockOnScreen = 1503;
constexpr int kLockOnSleep = 1504;
constexpr int kIdleMinutes = 1505;
constexpr int kDetachBusy = 1506;
constexpr int kKeyring = 1507;
constexpr int kKeyringUnavailable = 1508;
constexpr int kKeyringTip = 1510;

QString backupFilter()
{
    return appText(prefs::kTextBackupFilter);
}

} // namespace

SettingsDialog::SettingsDialog(std::unique_ptr<prefs::SettingsDialogModel> model, lang::Languages& languages,
                               Prompter& prompter, SettingsDialogHooks hooks, QWidget* parent)
    : QDialog(parent), m_model(std::move(model)), m_languages(languages), m_prompter(prompter),
      m_hooks(std::move(hooks))
{
    setObjectName(QStringLiteral("settingsDialog"));
    setModal(true);
    bindText(this, kCaption);
    build();
    fillLanguages();
    showModel();
    refreshProgramInformation();
}

SettingsDialog::~SettingsDialog() = default;

QPushButton* SettingsDialog::button(const char* name, int textId, int tipId)
{
    auto* created = new QPushButton(this);
    created->setObjectName(QLatin1String(name));
    created->setAutoDefault(false);
    bindText(created, textId, tipId);
    return created;
}

QCheckBox* SettingsDialog::box(const char* name, int textId)
{
    auto* created = new QCheckBox(this);
    created->setObjectName(QLatin1String(name));
    bindText(created, textId);
    return created;
}

void SettingsDialog::build()
{
    auto* layout = new QVBoxLayout(this);

    m_startAtLogin = box("startAtLogin", kStartAtLogin);
    m_autoUpdate = box("autoUpdate", kAutoUpdate);
    QPushButton* checkNow = button("checkForUpdate", kCheckForUpdate, kCheckForUpdateTip);
    auto* updates = new QHBoxLayout;
    updates->addWidget(m_autoUpdate);
    updates->addStretch();
    updates->addWidget(checkNow);
    layout->addWidget(m_startAtLogin);
    layout->addLayout(updates);

    auto* security = new QGroupBox(this);
    bindText(security, kSecurityGroup);
    auto* securityGrid = new QGridLayout(security);
    m_loginRequired = box("loginRequired", kLoginRequired);
    m_passwordButton = button("passwordButton", prefs::kTextSetupPassword, kPasswordTip);
    m_clearPassword = button("clearPassword", kClearPassword, kClearPasswordTip);
    m_googleAuth = box("googleAuth", kGoogleAuth);
    m_keyButton = button("keyButton", prefs::kTextSetupKey, kKeyTip);
    m_clearKey = button("clearKey", kClearKey, kClearKeyTip);
    m_keyring = box("keyring", kKeyring);
    securityGrid->addWidget(m_loginRequired, 0, 0);
    securityGrid->addWidget(m_passwordButton, 0, 1);
    securityGrid->addWidget(m_clearPassword, 0, 2);
    securityGrid->addWidget(m_googleAuth, 1, 0);
    securityGrid->addWidget(m_keyButton, 1, 1);
    securityGrid->addWidget(m_clearKey, 1, 2);
    securityGrid->addWidget(m_keyring, 2, 0, 1, 3);
    layout->addWidget(security);

    auto* lock = new QGroupBox(this);
    bindText(lock, kAutoLockGroup);
    auto* lockGrid = new QGridLayout(lock);
    m_lockOnScreen = box("lockOnScreen", kLockOnScreen);
    m_lockOnSleep = box("lockOnSleep", kLockOnSleep);
    auto* idleLabel = new QLabel(this);
    bindText(idleLabel, kIdleMinutes);
    m_idleMinutes = new QSpinBox(this);
    m_idleMinutes->setObjectName(QStringLiteral("idleMinutes"));
    m_idleMinutes->setRange(0, static_cast<int>(prefs::kMaxIdleMinutes));
    idleLabel->setBuddy(m_idleMinutes);
    m_detachBusy = box("detachBusy", kDetachBusy);
    lockGrid->addWidget(m_lockOnScreen, 0, 0, 1, 2);
    lockGrid->addWidget(m_lockOnSleep, 1, 0, 1, 2);
    lockGrid->addWidget(idleLabel, 2, 0);
    lockGrid->addWidget(m_idleMinutes, 2, 1);
    lockGrid->addWidget(m_detachBusy, 3, 0, 1, 2);
    layout->addWidget(lock);

    auto* file = new QGroupBox(this);
    bindText(file, kSettingsFileGroup);
    auto* fileGrid = new QGridLayout(file);
    m_settingsPath = new QLineEdit(this);
    m_settingsPath->setObjectName(QStringLiteral("settingsPath"));
    m_settingsPath->setReadOnly(true);
    QPushButton* moveButton = button("moveButton", kMove, kMoveTip);
    QPushButton* restoreButton = button("restoreButton", kRestore, kRestoreTip);
    QPushButton* backupButton = button("backupButton", kBackup, kBackupTip);
    fileGrid->addWidget(m_settingsPath, 0, 0, 1, 3);
    fileGrid->addWidget(moveButton, 1, 0);
    fileGrid->addWidget(restoreButton, 1, 1);
    fileGrid->addWidget(backupButton, 1, 2);
    layout->addWidget(file);

    auto* languageRow = new QHBoxLayout;
    auto* languageLabel = new QLabel(this);
    bindText(languageLabel, kLanguageLabel);
    m_language = new QComboBox(this);
    m_language->setObjectName(QStringLiteral("language"));
    languageLabel->setBuddy(m_language);
    QPushButton* viewLog = button("viewLogButton", kViewLog, kViewLogTip);
    QPushButton* about = button("aboutButton", kAbout);
    languageRow->addWidget(languageLabel);
    languageRow->addWidget(m_language, 1);
    languageRow->addWidget(viewLog);
    languageRow->addWidget(about);
    layout->addLayout(languageRow);

    auto* information = new QGroupBox(this);
    bindText(information, kInformationGroup);
    auto* informationLayout = new QVBoxLayout(information);
    m_information = new QLabel(this);
    m_information->setObjectName(QStringLiteral("programInformation"));
    m_information->setTextInteractionFlags(Qt::TextSelectableByMouse);
    informationLayout->addWidget(m_information);
    layout->addWidget(information);

    auto* buttons = new QHBoxLayout;
    QPushButton* ok = button("okButton", kOk);
    QPushButton* cancel = button("cancelButton", kCancel);
    ok->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(ok, &QPushButton::clicked, this, &SettingsDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &SettingsDialog::reject);
    const auto hook = [this](QPushButton* target, const std::function<void()>& action) {
        target->setEnabled(static_cast<bool>(action));
        connect(target, &QPushButton::clicked, this, [action] { action(); });
    };
    hook(checkNow, m_hooks.checkForUpdate);
    hook(viewLog, m_hooks.viewLogFile);
    hook(about, m_hooks.about);
    moveButton->setEnabled(static_cast<bool>(m_hooks.chooseLocation));
    connect(moveButton, &QPushButton::clicked, this, &SettingsDialog::move);
    connect(backupButton, &QPushButton::clicked, this, &SettingsDialog::backup);
    connect(restoreButton, &QPushButton::clicked, this, &SettingsDialog::restore);

    // Immediate actions go to the model at once; the plain boxes are read at OK.
    connect(m_loginRequired, &QCheckBox::toggled, this, [this](bool ticked) {
        if (!m_showing) {
            m_model->setLoginBox(ticked);
            showModel();
        }
    });
    connect(m_googleAuth, &QCheckBox::toggled, this, [this](bool ticked) {
        if (!m_showing) {
            m_model->setGoogleAuthBox(ticked);
            showModel();
        }
    });
    const auto act = [this](QPushButton* target, void (prefs::SettingsDialogModel::*action)()) {
        connect(target, &QPushButton::clicked, this, [this, action] {
            ((*m_model).*action)();
            showModel();
        });
    };
    act(m_passwordButton, &prefs::SettingsDialogModel::passwordButton);
    act(m_clearPassword, &prefs::SettingsDialogModel::clearPassword);
    act(m_keyButton, &prefs::SettingsDialogModel::keyButton);
    act(m_clearKey, &prefs::SettingsDialogModel::clearKey);
    connect(m_language, &QComboBox::textActivated, this, &SettingsDialog::chooseLanguage);
}

void SettingsDialog::showModel()
{
    m_showing = true;
    m_startAtLogin->setChecked(m_model->startAtLogin);
    m_autoUpdate->setChecked(m_model->autoUpdate);
    m_loginRequired->setChecked(m_model->loginRequired);
    m_googleAuth->setChecked(m_model->googleAuth);
    bindText(m_passwordButton, m_model->passwordButtonText(), kPasswordTip);
    bindText(m_keyButton, m_model->keyButtonText(), kKeyTip);
    m_passwordButton->setEnabled(m_model->canChangePassword());
    m_keyButton->setEnabled(m_model->canPair());
    m_clearPassword->setEnabled(m_model->clearPasswordEnabled());
    m_clearKey->setEnabled(m_model->clearKeyEnabled());
    m_settingsPath->setText(QString::fromStdString(m_model->settingsPath().string()));
    m_lockOnScreen->setChecked(m_model->autoLock.onScreenLock);
    m_lockOnSleep->setChecked(m_model->autoLock.onSleep);
    m_idleMinutes->setValue(static_cast<int>(m_model->autoLock.idleMinutes));
    m_detachBusy->setChecked(m_model->autoLock.detachBusy);
    m_keyring->setChecked(m_model->keyringPasswords);
    m_keyring->setEnabled(m_model->keyringSelectable());
    const auto& unavailable = m_model->keyringUnavailable();
    m_keyring->setToolTip(unavailable ? appText(kKeyringUnavailable, {QString::fromStdString(*unavailable)})
                                      : appText(kKeyringTip));
    m_showing = false;
}

void SettingsDialog::fillLanguages()
{
    m_showing = true;
    m_language->clear();
    const auto entries = m_languages.listEntries();
    for (const auto& entry : entries) {
        m_language->addItem(QString::fromStdString(entry));
    }
    m_language->setCurrentText(QString::fromStdString(m_languages.selectedEntry(entries)));
    m_showing = false;
}

void SettingsDialog::chooseLanguage(const QString& entry)
{
    if (m_showing || !m_languages.choose(entry.toStdString(), m_model->pathAtOpen())) {
        return;
    }
    retranslate(this);
    showModel();
    refreshProgramInformation();
    emit languageChanged();
}

void SettingsDialog::refreshProgramInformation()
{
    const auto fuse = m_hooks.fuseVersion ? m_hooks.fuseVersion() : prefs::installedFuseVersion();
    m_information->setText(QString::fromStdString(prefs::programInformationText(kProgramVersion, fuse)));
}

void SettingsDialog::move()
{
    if (const auto chosen = m_hooks.chooseLocation(m_model->settingsPath())) {
        m_model->setSettingsPath(*chosen);
    }
    showModel();
}

void SettingsDialog::backup()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const QString proposed = QString::fromStdString(prefs::backupFileName(local));
    const QString target =
        m_hooks.chooseBackupTarget
            ? m_hooks.chooseBackupTarget(proposed)
            : QFileDialog::getSaveFileName(this, QString(), QDir::home().filePath(proposed), backupFilter());
    if (!target.isEmpty()) {
        prefs::backupSettings(m_model->pathAtOpen(), target.toStdString(), m_prompter);
    }
}

void SettingsDialog::restore()
{
    const QString chosen =
        m_hooks.chooseRestoreFile
            ? m_hooks.chooseRestoreFile()
            : QFileDialog::getOpenFileName(this, QString(), QDir::homePath(), backupFilter());
    if (chosen.isEmpty()) {
        return;
    }
    prefs::RestoreSteps steps = m_hooks.restoreSteps;
    // The language list's choice is stored again into the restored file.
    steps.reapplyLanguage = [this] { chooseLanguage(m_language->currentText()); };
    if (prefs::restoreSettings(m_model->pathAtOpen(), chosen.toStdString(), m_prompter, steps) ==
        prefs::RestoreOutcome::Restored) {
        fillLanguages();
    }
}

void SettingsDialog::accept()
{
    m_model->startAtLogin = m_startAtLogin->isChecked();
    m_model->autoUpdate = m_autoUpdate->isChecked();
    m_model->loginRequired = m_loginRequired->isChecked();
    m_model->googleAuth = m_googleAuth->isChecked();
    m_model->keyringPasswords = m_keyring->isChecked();
    m_model->autoLock = {m_lockOnScreen->isChecked(), m_lockOnSleep->isChecked(),
                         static_cast<unsigned>(m_idleMinutes->value()), m_detachBusy->isChecked()};
    m_applied = m_model->ok();
    QDialog::accept();
}

} // namespace kestrava::gui
