// Pieces the drive, login-password and pairing dialogs share: a bold heading, password fields
// with cue texts, the strength bar, the success/failure mark, and the runner that keeps a
// dialog responsive while a flow works on a worker thread.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QObject>
#include <QPointer>
#include <functional>
#include <vector>

class QCheckBox;
class QDialog;
class QProgressBar;
class QVBoxLayout;
class QWidget;

namespace kestrava::gui {

inline constexpr int kDriveFieldMaxLength = 259;
inline constexpr int kLabelMaxLength = 32;

// The text with id as a field's label ("Volume Name:").
QString labelText(int id);

// The drive option boxes of the creation and editing dialogs, checked as given and added one
// per line to column. Case insensitivity is offered only while names are encrypted.
struct DriveOptionBoxes
{
    QCheckBox* autoMount = nullptr;
    QCheckBox* longNames = nullptr;
    QCheckBox* nameEncryption = nullptr;
    QCheckBox* caseInsensitive = nullptr;
};
DriveOptionBoxes addDriveOptionBoxes(QVBoxLayout* column, QWidget* group, bool autoMount, bool longNames,
                                     bool nameEncryption, bool caseInsensitive);

// A label in a larger bold font.
QLabel* makeHeading(const QString& text, QWidget* parent);

// A password field: its cue text shows while it is empty; typed text is masked with U+25CF.
QLineEdit* makePasswordField(int cueTextId, QWidget* parent);

// The strength bar under a new-password field, showing "Password Strength" until rated.
QProgressBar* makeStrengthBar(QWidget* parent);
// Rates password (as typed) and shows the verdict on bar.
void showStrength(QProgressBar* bar, const QString& password);

// The mark beside a field: hidden, success or failure.
enum class Mark
{
    None,
    Success,
    Failure,
};
QLabel* makeMarkLabel(QWidget* parent);
void setMark(QLabel* label, Mark mark);
Mark markOf(const QLabel* label);

// The busy indicator of a dialog: an indeterminate bar, hidden while nothing runs.
QProgressBar* makeBusyBar(QWidget* parent);

// Runs one piece of work at a time on a worker thread. While it runs the busy bar shows and
// the guarded widgets are disabled (OK and Cancel among them: a started flow runs to its end,
// so nothing is left half-written); afterwards they are restored and done runs on the GUI
// thread. The work may ask questions through the Prompter.
class FlowRunner : public QObject
{
    Q_OBJECT

public:
    FlowRunner(QProgressBar* busyBar, QObject* parent);

    void guard(std::vector<QWidget*> widgets) { m_guarded = std::move(widgets); }
    bool running() const { return m_running; }
    // False (nothing started) while another run is going.
    bool run(std::function<void()> work, std::function<void()> done);

signals:
    void finished();

private:
    QPointer<QProgressBar> m_busy;
    std::vector<QWidget*> m_guarded;
    std::vector<bool> m_wasEnabled;
    bool m_running = false;
};

} // namespace kestrava::gui
