// One dialog in two roles: the program lock's prompt at start (login password and/or one-time
// code) and the drive password prompt of the mount flow. Wrong entries keep it open with a
// balloon at the field; a right one shows its mark for a second before the dialog closes.
#pragma once

#include "core/access/LoginCheck.h"
#include "core/app/Prompter.h"

#include <QDialog>
#include <chrono>
#include <functional>

class QCheckBox;
class QDialogButtonBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QTimer;

namespace kestrava::gui {

inline constexpr int kPasswordFieldMaxLength = 128;
inline constexpr int kSuccessCloseDelayMs = 1000;
inline constexpr int kInitialFocusDelayMs = 500;

class LoginDialog : public QDialog
{
    Q_OBJECT

public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    using EntryCheck = std::function<LoginCheckResult(const LoginEntries&)>;

    // The program lock's prompt over what the settings file holds.
    LoginDialog(const LoginLock& lock, Clock clock, QWidget* parent = nullptr);
    // The same prompt with the entries checked by check (the session's check of the lock).
    LoginDialog(const LoginLock& lock, EntryCheck check, QWidget* parent = nullptr);
    // The drive password prompt; cloudIconIndex is the row icon of the drive's folder.
    LoginDialog(DrivePasswordRequest request, int cloudIconIndex, QWidget* parent = nullptr);

    bool isLoginMode() const { return m_loginMode; }
    // Drive mode, after the dialog closed: what was entered and ticked.
    DrivePasswordAnswer driveAnswer() const;
    // Login mode: the one-time-code secret cannot check codes (the program must end).
    bool damagedSecret() const { return m_damagedSecret; }

    QLineEdit* passwordField() const { return m_password; }
    QLineEdit* codeField() const { return m_code; }
    QCheckBox* rememberBox() const { return m_remember; }
    QCheckBox* autoMountBox() const { return m_autoMount; }
    // Whether the mark beside the field shows success, failure, or nothing.
    enum class Mark
    {
        None,
        Success,
        Failure,
    };
    Mark passwordMark() const { return m_passwordMarkState; }
    Mark codeMark() const { return m_codeMarkState; }

    // How long the success mark shows before the dialog closes (tests shorten it).
    void setCloseDelay(int milliseconds) { m_closeDelayMs = milliseconds; }

public slots:
    void accept() override;
    void reject() override;

private:
    void buildFrame(const QString& caption, const QString& title, const QString& message);
    QLineEdit* addEntryRow(const QString& labelText, QLabel*& mark);
    void buildLoginFields(const LoginLock& lock, const LoginPlan& plan);
    void buildDriveFields(int cloudIconIndex);
    void focusFieldLater(QLineEdit* field);
    void setMark(QLineEdit* field, Mark mark);
    void refuse(QLineEdit* field, int messageId, bool withFailureMark);
    void openAfterDelay();
    void tryLogin();
    void tryDrivePassword();
    void setEntriesEnabled(bool enabled);

    bool m_loginMode;
    LoginLock m_lock;
    LoginPlan m_plan;
    EntryCheck m_check;
    DrivePasswordRequest m_request;
    bool m_damagedSecret = false;
    bool m_opening = false;
    bool m_checking = false; // a password check runs on a worker
    int m_closeDelayMs = kSuccessCloseDelayMs;

    QGridLayout* m_grid = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_code = nullptr;
    QLabel* m_passwordMark = nullptr;
    QLabel* m_codeMark = nullptr;
    Mark m_passwordMarkState = Mark::None;
    Mark m_codeMarkState = Mark::None;
    QCheckBox* m_remember = nullptr;
    QCheckBox* m_autoMount = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};

} // namespace kestrava::gui
