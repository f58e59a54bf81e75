#include "gui/QtPrompter.h"

#include "gui/AppText.h"
#include "gui/Balloon.h"
#include "gui/Icons.h"
#include "gui/LoginDialog.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <optional>

namespace kestrava::gui {
namespace {

QMessageBox::Icon boxIcon(Icon icon)
{
    switch (icon) {
    case Icon::Error:
        return QMessageBox::Critical;
    case Icon::Warning:
        return QMessageBox::Warning;
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

struct ButtonChoice
{
    Button button;
    int textId;
    QMessageBox::ButtonRole role;
};

std::vector<ButtonChoice> choicesFor(Buttons buttons)
{
    const ButtonChoice ok{Button::OK, text::OK, QMessageBox::AcceptRole};
    const ButtonChoice cancel{Button::Cancel, text::Cancel, QMessageBox::RejectRole};
    const ButtonChoice yes{Button::Yes, text::YesButton, QMessageBox::YesRole};
    const ButtonChoice no{Button::No, text::NoButton, QMessageBox::NoRole};
    switch (buttons) {
    case Buttons::OK:
        return {ok};
    case Buttons::OKCancel:
        return {ok, cancel};
    case Buttons::YesNo:
        return {yes, no};
    case Buttons::YesNoCancel:
        return {yes, no, cancel};
    }
    return {ok};
}

// The answer of a box closed without a button (Escape, close box).
Button escapeAnswer(Buttons buttons)
{
    switch (buttons) {
    case Buttons::OK:
        return Button::OK;
    case Buttons::YesNo:
        return Button::No;
    case Buttons::OKCancel:
    case Buttons::YesNoCancel:
        break;
    }
    return Button::Cancel;
}

} // namespace

QtPrompter::QtPrompter(QObject* parent) : QObject(parent) {}

template <typename Work> auto QtPrompter::onGuiThread(Work work) -> decltype(work())
{
    using Result = decltype(work());
    if (QThread::currentThread() == thread()) {
        return work();
    }
    if constexpr (std::is_void_v<Result>) {
        QMetaObject::invokeMethod(this, work, Qt::BlockingQueuedConnection);
    } else {
        std::optional<Result> result;
        QMetaObject::invokeMethod(
            this, [&] { result = work(); }, Qt::BlockingQueuedConnection);
        return std::move(*result);
    }
}

QWidget* QtPrompter::dialogParent() const
{
    if (QWidget* modal = QApplication::activeModalWidget()) {
        return modal;
    }
    return m_mainWindow;
}

void QtPrompter::registerField(int fieldId, QWidget* field)
{
    onGuiThread([&] { m_fields[fieldId] = field; });
}

Button QtPrompter::showMessageBox(int captionId, int messageId, const std::vector<std::string>& args,
                                  Buttons buttons, Icon icon)
{
    if (m_shutDown) {
        return buttons == Buttons::OK ? Button::OK : Button::Unavailable;
    }
    return onGuiThread([&] {
        QMessageBox box(dialogParent());
        box.setObjectName(QStringLiteral("messageBox%1").arg(messageId));
        box.setWindowTitle(appText(captionId));
        box.setIcon(boxIcon(icon));
        box.setText(QString::fromStdString(formatPrompterMessage(messageId, args)));
        std::vector<std::pair<QAbstractButton*, Button>> answers;
        for (const ButtonChoice& choice : choicesFor(buttons)) {
            QPushButton* button = box.addButton(appText(choice.textId), choice.role);
            answers.emplace_back(button, choice.button);
        }
        box.setDefaultButton(qobject_cast<QPushButton*>(answers.front().first));
        box.exec();
        for (const auto& [button, answer] : answers) {
            if (box.clickedButton() == button) {
                return answer;
            }
        }
        return escapeAnswer(buttons);
    });
}

Button QtPrompter::messageBox(int messageId, const std::vector<std::string>& args, Buttons buttons, Icon icon)
{
    return showMessageBox(text::Caption, messageId, args, buttons, icon);
}

Button QtPrompter::messageBoxWithCaption(int captionId, int messageId, const std::vector<std::string>& args,
                                         Buttons buttons, Icon icon)
{
    return showMessageBox(captionId, messageId, args, buttons, icon);
}

DrivePasswordAnswer QtPrompter::askDrivePassword(const DrivePasswordRequest& request)
{
    if (m_shutDown) {
        DrivePasswordAnswer answer;
        answer.outcome = PasswordOutcome::Unavailable;
        return answer;
    }
    // The cloud folders are looked up here, on the caller's thread: they read files.
    const int icon = drives::rowIconIndex(request.folder, m_cloudFolders);
    return onGuiThread([&] {
        LoginDialog dialog(request, icon, dialogParent());
        dialog.exec();
        return dialog.driveAnswer();
    });
}

void QtPrompter::balloon(int fieldId, int messageId, Icon icon)
{
    showBalloon(fieldId, QString(), appText(messageId), icon);
}

void QtPrompter::titledBalloon(int fieldId, int titleId, int textId, Icon icon)
{
    showBalloon(fieldId, appText(titleId), textId == kNoBalloonText ? QStringLiteral(" ") : appText(textId),
                icon);
}

void QtPrompter::showBalloon(int fieldId, const QString& title, const QString& message, Icon icon)
{
    if (m_shutDown) {
        return;
    }
    onGuiThread([&] {
        const auto field = m_fields.find(fieldId);
        if (field != m_fields.end() && field->second && field->second->isVisible()) {
            Balloon::showAt(field->second, title.isEmpty() ? QStringLiteral(" ") : title, message, icon);
        } else if (m_notify) {
            m_notify(title.isEmpty() ? appText(text::Caption) : title, message, icon);
        }
    });
}

void QtPrompter::status(const std::string& text)
{
    if (m_shutDown) {
        return;
    }
    const QString line = QString::fromStdString(text);
    // The status line never waits for the GUI thread.
    QMetaObject::invokeMethod(
        this,
        [this, line] {
            if (m_status) {
                m_status(line);
            }
        },
        QThread::currentThread() == thread() ? Qt::DirectConnection : Qt::QueuedConnection);
}

} // namespace kestrava::gui
