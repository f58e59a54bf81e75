// Setting or changing the program login password, with the strength bar. OK closes only after
// the new password was stored.
#pragma once

#include "core/access/ProgramValues.h"

#include <QDialog>
#include <optional>
#include <string>

class QLineEdit;
class QProgressBar;

namespace kestrava {
class Prompter;
}

namespace kestrava::gui {

class ChangePasswordDialog : public QDialog
{
    Q_OBJECT

public:
    // The stored password is read from values when the dialog opens; without one, the current
    // password field is disabled.
    ChangePasswordDialog(ProgramValues& values, Prompter& prompter, QWidget* parent = nullptr);

    // After OK: the new stored form (for the program's own copy). The requirement is on.
    const std::optional<std::string>& storedPassword() const { return m_saved; }

    QLineEdit* currentField() const { return m_current; }
    QLineEdit* newField() const { return m_new; }
    QLineEdit* confirmationField() const { return m_confirmation; }
    QProgressBar* strengthBar() const { return m_strength; }

public slots:
    void accept() override;

private:
    ProgramValues& m_values;
    Prompter& m_prompter;
    std::string m_stored;
    std::optional<std::string> m_saved;
    QLineEdit* m_current = nullptr;
    QLineEdit* m_new = nullptr;
    QLineEdit* m_confirmation = nullptr;
    QProgressBar* m_strength = nullptr;
};

} // namespace kestrava::gui
