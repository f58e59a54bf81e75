#include "gui/ChangePasswordDialog.h"

#include "core/access/LoginPassword.h"
#include "core/app/Prompter.h"
#include "gui/AppText.h"
#include "gui/DialogParts.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrava::gui {
namespace {

constexpr int kTitle = 238;
constexpr int kEnterPassword = 261;
constexpr int kMsgLoginPasswordTooLong = 1346; // "... may have at most %s characters."

QLineEdit* loginPasswordField(int cueId, QWidget* parent)
{
    QLineEdit* field = makePasswordField(cueId, parent);
    field->setMaxLength(static_cast<int>(kMaxLoginPasswordCharacters));
    return field;
}

} // namespace

ChangePasswordDialog::ChangePasswordDialog(ProgramValues& values, Prompter& prompter, QWidget* parent)
    : QDialog(parent), m_values(values), m_prompter(prompter), m_stored(loadLoginPassword(values))
{
    setObjectName(QStringLiteral("changePasswordDialog"));
    setWindowTitle(appText(kTitle));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(makeHeading(appText(kTitle), this));

    auto* currentGroup = new QGroupBox(appText(text::CurrentPassword), this);
    auto* currentForm = new QFormLayout(currentGroup);
    m_current = loginPasswordField(kEnterPassword, currentGroup);
    m_current->setObjectName(QStringLiteral("currentField"));
    m_current->setEnabled(!m_stored.empty());
    currentForm->addRow(appText(kEnterPassword), m_current);
    layout->addWidget(currentGroup);

    auto* newGroup = new QGroupBox(appText(text::NewPassword), this);
    auto* newForm = new QFormLayout(newGroup);
    m_new = loginPasswordField(kEnterPassword, newGroup);
    m_new->setObjectName(QStringLiteral("newField"));
    m_confirmation = loginPasswordField(text::ConfirmPassword, newGroup);
    m_confirmation->setObjectName(QStringLiteral("confirmationField"));
    m_strength = makeStrengthBar(newGroup);
    newForm->addRow(appText(kEnterPassword), m_new);
    newForm->addRow(appText(text::ConfirmPassword), m_confirmation);
    newForm->addRow(QString(), m_strength);
    layout->addWidget(newGroup);
    connect(m_new, &QLineEdit::textChanged, this,
            [this](const QString& typed) { showStrength(m_strength, typed); });

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(appText(text::OK), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    buttons->addButton(appText(text::Cancel), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &ChangePasswordDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

void ChangePasswordDialog::accept()
{
    const std::string current = m_current->text().toStdString();
    const std::string next = m_new->text().toStdString();
    const int refusal =
        checkLoginPasswordChange(m_stored, current, next, m_confirmation->text().toStdString());
    if (refusal != 0) {
        if (refusal == kLoginPasswordTooLong) {
            m_prompter.messageBox(kMsgLoginPasswordTooLong, {std::to_string(kMaxLoginPasswordCharacters)},
                                  Buttons::OK, Icon::Error);
        } else {
            m_prompter.messageBox(refusal, {}, Buttons::OK, Icon::Error);
        }
        if (refusal == kMsgIncorrectPassword) {
            m_current->clear();
            m_current->setFocus();
        }
        return;
    }
    m_saved = saveLoginPassword(m_values, next);
    if (!m_saved) {
        m_prompter.messageBox(text::NotSaved, {}, Buttons::OK, Icon::Error);
        return;
    }
    QDialog::accept();
}

} // namespace kestrava::gui
