#include "gui/LoginDialog.h"

#include "core/access/GoogleAuth.h"
#include "gui/AppText.h"
#include "gui/Balloon.h"
#include "gui/Icons.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFutureWatcher>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace kestrava::gui {
namespace {

constexpr int kMarkSize = 20;
constexpr double kCodeFontScale = 1.6;
constexpr double kTitleFontScale = 1.3;

// Error balloons carry a blank title.
const QString kBlankTitle = QStringLiteral(" ");

QString lineOf(int labelId, const QString& separator, const QString& value)
{
    return appText(labelId) + separator + value;
}

} // namespace

LoginDialog::LoginDialog(const LoginLock& lock, Clock clock, QWidget* parent)
    : LoginDialog(
          lock,
          EntryCheck([lock, plan = planLogin(lock), clock = std::move(clock)](const LoginEntries& entries) {
              return checkLoginEntries(lock, plan, entries, clock());
          }),
          parent)
{
}

LoginDialog::LoginDialog(const LoginLock& lock, EntryCheck check, QWidget* parent)
    : QDialog(parent), m_loginMode(true), m_lock(lock), m_plan(planLogin(lock)), m_check(std::move(check))
{
    setObjectName(QStringLiteral("loginDialog"));
    buildFrame(appTextWithoutColons(text::LoginPasswordLabel), appText(m_plan.titleId),
               appText(m_plan.messageId));
    buildLoginFields(m_lock, m_plan);
}

LoginDialog::LoginDialog(DrivePasswordRequest request, int cloudIconIndex, QWidget* parent)
    : QDialog(parent), m_loginMode(false), m_request(std::move(request))
{
    setObjectName(QStringLiteral("drivePasswordDialog"));
    buildFrame(appTextWithoutColons(text::DrivePasswordLabel), appText(text::EnterDrivePasswordTitle),
               appText(text::EnterDrivePasswordPrompt));
    buildDriveFields(cloudIconIndex);
}

void LoginDialog::buildFrame(const QString& caption, const QString& title, const QString& message)
{
    setWindowTitle(caption);
    setWindowIcon(appIcon());
    auto* layout = new QVBoxLayout(this);
    auto* titleLabel = new QLabel(title, this);
    titleLabel->setObjectName(QStringLiteral("titleLabel"));
    QFont titleFont = titleLabel->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * kTitleFontScale);
    titleLabel->setFont(titleFont);
    auto* messageLabel = new QLabel(message, this);
    messageLabel->setObjectName(QStringLiteral("messageLabel"));
    messageLabel->setWordWrap(true);
    layout->addWidget(titleLabel);
    layout->addWidget(messageLabel);
    m_grid = new QGridLayout;
    m_grid->setColumnStretch(1, 1); // the fields take the width
    layout->addLayout(m_grid);
    m_buttons = new QDialogButtonBox(this);
    QPushButton* ok = m_buttons->addButton(appText(text::OK), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    m_buttons->addButton(appText(text::Cancel), QDialogButtonBox::RejectRole);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &LoginDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addStretch();
    layout->addWidget(m_buttons);
    setMinimumWidth(440);
}

QLineEdit* LoginDialog::addEntryRow(const QString& labelText, QLabel*& mark)
{
    const int row = m_grid->rowCount();
    auto* label = new QLabel(labelText, this);
    auto* field = new QLineEdit(this);
    label->setBuddy(field);
    field->setAccessibleName(QString(labelText).remove(QLatin1Char(':')).trimmed());
    mark = new QLabel(this);
    mark->setFixedSize(kMarkSize, kMarkSize);
    m_grid->addWidget(label, row, 0);
    m_grid->addWidget(field, row, 1);
    m_grid->addWidget(mark, row, 2);
    return field;
}

void LoginDialog::buildLoginFields(const LoginLock& lock, const LoginPlan& plan)
{
    m_password = addEntryRow(appText(text::LoginPasswordLabel), m_passwordMark);
    m_password->setObjectName(QStringLiteral("passwordField"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setMaxLength(kPasswordFieldMaxLength);
    m_password->setToolTip(QStringLiteral("<b>%1</b><br>%2")
                               .arg(appTextWithoutColons(text::LoginPasswordLabel).toHtmlEscaped(),
                                    appText(text::LoginPasswordHint).toHtmlEscaped()));
    connect(m_password, &QLineEdit::textEdited, this, [this] { setMark(m_password, Mark::None); });

    const QString account = QString::fromStdString(lock.googleAuth.accountName);
    const QString codeLabel = QString::fromStdString(oneTimeCodeFieldLabel(lock.googleAuth.accountName));
    m_code = addEntryRow(codeLabel, m_codeMark);
    m_code->setObjectName(QStringLiteral("codeField"));
    m_code->setMaxLength(static_cast<int>(kOneTimeCodeDigits));
    m_code->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,6}")), m_code));
    QFont large = m_code->font();
    large.setPointSizeF(large.pointSizeF() * kCodeFontScale);
    m_code->setFont(large);
    m_code->setToolTip(QStringLiteral("<b>%1</b><br>%2")
                           .arg(appText(text::GoogleAuthenticator).toHtmlEscaped(),
                                appText(text::CodeHint, {account}).toHtmlEscaped()));
    connect(m_code, &QLineEdit::textEdited, this, [this] { setMark(m_code, Mark::None); });

    const auto showRow = [this](QLineEdit* field, bool shown) {
        const int index = m_grid->indexOf(field);
        int row = 0;
        int column = 0;
        int rowSpan = 0;
        int columnSpan = 0;
        m_grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
        for (int c = 0; c < m_grid->columnCount(); ++c) {
            if (QLayoutItem* item = m_grid->itemAtPosition(row, c);
                item != nullptr && item->widget() != nullptr) {
                item->widget()->setVisible(shown);
            }
        }
    };
    showRow(m_password, plan.askPassword);
    showRow(m_code, plan.askCode);
    focusFieldLater(plan.askPassword ? m_password : m_code);
}

void LoginDialog::buildDriveFields(int cloudIconIndex)
{
    auto* group = new QGroupBox(appText(text::DriveInformation), this);
    auto* groupLayout = new QGridLayout(group);
    auto* icon = new QLabel(group);
    icon->setObjectName(QStringLiteral("cloudIcon"));
    icon->setPixmap(cloudIcon(cloudIconIndex).pixmap(32, 32));
    const QString letter = QString::fromStdString(m_request.letter).remove(QLatin1Char(':'));
    auto* letterLine = new QLabel(lineOf(text::DriveLetter, QStringLiteral(" "), letter), group);
    auto* labelLine = new QLabel(
        lineOf(text::VolumeName, QStringLiteral(": "), QString::fromStdString(m_request.label)), group);
    auto* folderLine = new QLabel(
        lineOf(text::FolderLocation, QStringLiteral(": "), QString::fromStdString(m_request.folder)), group);
    for (QLabel* line : {letterLine, labelLine, folderLine}) {
        line->setTextInteractionFlags(Qt::TextSelectableByMouse);
        line->setWordWrap(true);
    }
    letterLine->setObjectName(QStringLiteral("letterLine"));
    labelLine->setObjectName(QStringLiteral("labelLine"));
    folderLine->setObjectName(QStringLiteral("folderLine"));
    groupLayout->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
    groupLayout->addWidget(letterLine, 0, 1);
    groupLayout->addWidget(labelLine, 1, 1);
    groupLayout->addWidget(folderLine, 2, 1);
    groupLayout->setColumnStretch(1, 1);
    m_grid->addWidget(group, 0, 0, 1, 3);

    m_password = addEntryRow(appText(text::DrivePasswordLabel), m_passwordMark);
    m_password->setObjectName(QStringLiteral("passwordField"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setMaxLength(kPasswordFieldMaxLength);
    m_password->setToolTip(appText(text::EnterDrivePasswordTitle));
    connect(m_password, &QLineEdit::textEdited, this, [this] { setMark(m_password, Mark::None); });

    m_remember = new QCheckBox(appText(text::RememberPassword), this);
    m_remember->setObjectName(QStringLiteral("rememberBox"));
    m_remember->setChecked(m_request.rememberPassword);
    m_remember->setToolTip(appText(text::RememberHint));
    m_autoMount = new QCheckBox(appText(text::EnableAutoMount), this);
    m_autoMount->setObjectName(QStringLiteral("autoMountBox"));
    m_autoMount->setChecked(m_request.autoMount);
    m_autoMount->setToolTip(appText(text::AutoMountHint));
    const int row = m_grid->rowCount();
    m_grid->addWidget(m_remember, row, 1);
    m_grid->addWidget(m_autoMount, row + 1, 1);
    focusFieldLater(m_password);
}

void LoginDialog::focusFieldLater(QLineEdit* field)
{
    QTimer::singleShot(kInitialFocusDelayMs, field, [field] {
        field->setFocus(Qt::OtherFocusReason);
        field->selectAll();
    });
}

void LoginDialog::setMark(QLineEdit* field, Mark mark)
{
    QLabel* label = field == m_code ? m_codeMark : m_passwordMark;
    (field == m_code ? m_codeMarkState : m_passwordMarkState) = mark;
    if (mark == Mark::None) {
        label->clear();
        label->setAccessibleName({});
        return;
    }
    const bool success = mark == Mark::Success;
    label->setPixmap(markIcon(success).pixmap(kMarkSize, kMarkSize));
    label->setAccessibleName(appText(success ? text::PasswordAccepted : text::PasswordRefused));
}

void LoginDialog::refuse(QLineEdit* field, int messageId, bool withFailureMark)
{
    if (withFailureMark) {
        setMark(field, Mark::Failure);
    }
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
    Balloon::showAt(field, kBlankTitle, appText(messageId), Icon::Error);
}

void LoginDialog::openAfterDelay()
{
    m_opening = true;
    m_buttons->setEnabled(false);
    QTimer::singleShot(m_closeDelayMs, this, [this] { QDialog::accept(); });
}

void LoginDialog::accept()
{
    if (m_opening || m_checking) {
        return;
    }
    if (m_loginMode) {
        tryLogin();
    } else {
        tryDrivePassword();
    }
}

void LoginDialog::tryLogin()
{
    LoginEntries entries;
    entries.password = crypto::makeSecureString(m_password->text().toStdString());
    entries.code = crypto::makeSecureString(m_code->text().toStdString());
    const LoginCheckResult result = m_check(entries);
    if (result.damagedSecret) {
        m_damagedSecret = true;
        reject();
        return;
    }
    if (!result.opened) {
        QLineEdit* field = result.field == LoginField::Code ? m_code : m_password;
        if (field == m_code && m_plan.checkPassword) {
            setMark(m_password, Mark::Success); // the password was right
        }
        refuse(field, result.messageId, result.messageId == text::IncorrectPassword);
        return;
    }
    if (m_plan.checkPassword) {
        setMark(m_password, Mark::Success);
    }
    if (m_plan.askCode) {
        setMark(m_code, Mark::Success);
        m_code->setEnabled(false);
    }
    openAfterDelay();
}

void LoginDialog::tryDrivePassword()
{
    const std::string typed = m_password->text().toStdString();
    if (typed.empty()) {
        refuse(m_password, text::PasswordTooShort, false);
        return;
    }
    if (!m_request.check) {
        setMark(m_password, Mark::Success);
        openAfterDelay();
        return;
    }
    // Opening the token derives the key, which takes a while by design: the window stays
    // responsive meanwhile, with its entries locked.
    m_checking = true;
    setEntriesEnabled(false);
    setCursor(Qt::BusyCursor);
    auto* watcher = new QFutureWatcher<bool>(this);
    connect(watcher, &QFutureWatcher<bool>::finished, this, [this, watcher] {
        watcher->deleteLater();
        m_checking = false;
        unsetCursor();
        setEntriesEnabled(true);
        if (!watcher->result()) {
            refuse(m_password, text::IncorrectPassword, true);
            return;
        }
        setMark(m_password, Mark::Success);
        openAfterDelay();
    });
    watcher->setFuture(QtConcurrent::run([check = m_request.check, typed] { return check(typed); }));
}

void LoginDialog::setEntriesEnabled(bool enabled)
{
    m_password->setEnabled(enabled);
    m_buttons->setEnabled(enabled);
}

void LoginDialog::reject()
{
    if (m_checking) {
        return; // the answer of the running check decides
    }
    QDialog::reject();
}

DrivePasswordAnswer LoginDialog::driveAnswer() const
{
    DrivePasswordAnswer answer;
    if (m_loginMode) {
        return answer;
    }
    answer.rememberPassword = m_remember->isChecked();
    answer.autoMount = m_autoMount->isChecked();
    answer.autoMountChanged = answer.autoMount != m_request.autoMount;
    if (result() == QDialog::Accepted) {
        answer.outcome = PasswordOutcome::Entered;
        answer.password = crypto::makeSecureString(m_password->text().toStdString());
    }
    return answer;
}

} // namespace kestrava::gui
