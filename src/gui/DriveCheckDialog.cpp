#include "gui/DriveCheckDialog.h"

#include "gui/AppText.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrava::gui {
namespace {

constexpr int kMinimumWidth = 560;
constexpr int kMinimumHeight = 280;

} // namespace

DriveCheckDialog::DriveCheckDialog(const DriveCheckOutcome& outcome, QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("driveCheckDialog"));
    setWindowTitle(appText(text::CheckTitle));
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    auto* layout = new QVBoxLayout(this);
    const bool clean = outcome.findings.isEmpty();
    m_heading = new QLabel(
        clean ? appText(text::CheckClean, {outcome.folder})
              : appText(text::CheckProblems, {outcome.folder, QString::number(outcome.findings.size())}),
        this);
    m_heading->setObjectName(QStringLiteral("checkHeading"));
    m_heading->setWordWrap(true);
    layout->addWidget(m_heading);
    m_findings = new QPlainTextEdit(this);
    m_findings->setObjectName(QStringLiteral("checkFindings"));
    m_findings->setReadOnly(true);
    m_findings->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_findings->setPlainText(outcome.findings.join(QLatin1Char('\n')));
    m_findings->setVisible(!clean);
    layout->addWidget(m_findings, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(appText(text::OK));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

QString DriveCheckDialog::heading() const
{
    return m_heading->text();
}

QStringList DriveCheckDialog::findings() const
{
    const QString text = m_findings->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

} // namespace kestrava::gui
