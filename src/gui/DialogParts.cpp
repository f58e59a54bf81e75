#include "gui/DialogParts.h"

#include "core/access/PasswordStrength.h"
#include "core/token/DriveContext.h"
#include "gui/AppText.h"
#include "gui/Icons.h"

#include <QCheckBox>
#include <QFutureWatcher>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace kestrava::gui {
namespace {

constexpr double kHeadingFontScale = 1.3;
constexpr int kMarkSize = 20;
constexpr int kStrengthCaptionId = 4; // "Password Strength"
const char* const kMarkProperty = "kestravaMark";

} // namespace

QString labelText(int id)
{
    return appText(id) + QLatin1Char(':');
}

DriveOptionBoxes addDriveOptionBoxes(QVBoxLayout* column, QWidget* group, bool autoMount, bool longNames,
                                     bool nameEncryption, bool caseInsensitive)
{
    DriveOptionBoxes boxes;
    boxes.autoMount = new QCheckBox(appText(text::EnableAutoMount), group);
    boxes.autoMount->setToolTip(appText(text::AutoMountHint));
    boxes.autoMount->setChecked(autoMount);
    boxes.longNames = new QCheckBox(appText(text::LongNames), group);
    boxes.longNames->setToolTip(appText(text::LongNamesHint));
    boxes.longNames->setChecked(longNames);
    boxes.nameEncryption = new QCheckBox(appText(text::NameEncryption), group);
    boxes.nameEncryption->setChecked(nameEncryption);
    boxes.caseInsensitive = new QCheckBox(appText(text::CaseInsensitive), group);
    boxes.caseInsensitive->setChecked(caseInsensitive);
    boxes.caseInsensitive->setEnabled(token::caseInsensitiveAvailable(nameEncryption));
    QCheckBox* caseBox = boxes.caseInsensitive;
    QObject::connect(boxes.nameEncryption, &QCheckBox::toggled, caseBox,
                     [caseBox](bool on) { caseBox->setEnabled(token::caseInsensitiveAvailable(on)); });
    for (QCheckBox* box : {boxes.autoMount, boxes.longNames, boxes.nameEncryption, boxes.caseInsensitive}) {
        column->addWidget(box);
    }
    return boxes;
}

QLabel* makeHeading(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * kHeadingFontScale);
    label->setFont(font);
    return label;
}

QLineEdit* makePasswordField(int cueTextId, QWidget* parent)
{
    auto* field = new QLineEdit(parent);
    field->setMaxLength(kDriveFieldMaxLength);
    field->setPlaceholderText(appText(cueTextId));
    field->setAccessibleName(appText(cueTextId).remove(QLatin1Char(':')));
    field->setEchoMode(QLineEdit::Password);
    // U+25CF, the mask the program has always used.
    field->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 9679; }"));
    return field;
}

QProgressBar* makeStrengthBar(QWidget* parent)
{
    auto* bar = new QProgressBar(parent);
    bar->setObjectName(QStringLiteral("strengthBar"));
    bar->setRange(0, kMaxPasswordStrengthScore);
    bar->setValue(0);
    bar->setTextVisible(true);
    bar->setFormat(appText(kStrengthCaptionId));
    return bar;
}

void showStrength(QProgressBar* bar, const QString& password)
{
    const PasswordStrength strength = ratePasswordStrength(password.toStdString());
    bar->setValue(strength.score);
    bar->setFormat(QString::fromStdString(passwordStrengthCaption(strength)));
}

QLabel* makeMarkLabel(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setFixedSize(kMarkSize, kMarkSize);
    setMark(label, Mark::None);
    return label;
}

void setMark(QLabel* label, Mark mark)
{
    label->setProperty(kMarkProperty, static_cast<int>(mark));
    if (mark == Mark::None) {
        label->clear();
        label->setAccessibleName({});
        return;
    }
    label->setPixmap(markIcon(mark == Mark::Success).pixmap(kMarkSize, kMarkSize));
    label->setAccessibleName(appText(mark == Mark::Success ? text::PasswordAccepted : text::PasswordRefused));
}

Mark markOf(const QLabel* label)
{
    return static_cast<Mark>(label->property(kMarkProperty).toInt());
}

QProgressBar* makeBusyBar(QWidget* parent)
{
    auto* bar = new QProgressBar(parent);
    bar->setObjectName(QStringLiteral("busyBar"));
    bar->setRange(0, 0);
    bar->setTextVisible(false);
    bar->setMaximumHeight(10);
    bar->hide();
    return bar;
}

FlowRunner::FlowRunner(QProgressBar* busyBar, QObject* parent) : QObject(parent), m_busy(busyBar) {}

bool FlowRunner::run(std::function<void()> work, std::function<void()> done)
{
    if (m_running) {
        return false;
    }
    m_running = true;
    m_wasEnabled.clear();
    for (QWidget* widget : m_guarded) {
        m_wasEnabled.push_back(widget->isEnabled());
        widget->setEnabled(false);
    }
    if (m_busy) {
        m_busy->show();
    }
    auto* watcher = new QFutureWatcher<void>(this);
    connect(watcher, &QFutureWatcher<void>::finished, this, [this, watcher, done = std::move(done)] {
        watcher->deleteLater();
        for (std::size_t i = 0; i < m_guarded.size(); ++i) {
            m_guarded[i]->setEnabled(m_wasEnabled[i]);
        }
        if (m_busy) {
            m_busy->hide();
        }
        m_running = false;
        if (done) {
            done();
        }
        emit finished();
    });
    watcher->setFuture(QtConcurrent::run(std::move(work)));
    return true;
}

} // namespace kestrava::gui
