#include "gui/SettingsLocationDialog.h"

#include "core/settings/Paths.h"
#include "core/settings/SettingsLocation.h"
#include "gui/AppText.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrava::gui {
namespace {

QString chooseSettingsFile(QWidget* parent, const QString& current)
{
    QFileDialog dialog(parent, appText(settings::kTextConfigFileCaption), QFileInfo(current).path(),
                       appText(settings::kTextConfigFileFilter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QString::fromUtf8(settings::kConfigFileDefaultExtension).mid(1));
    dialog.selectFile(QString::fromUtf8(paths::kSettingsFileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().front();
}

} // namespace

SettingsLocationDialog::SettingsLocationDialog(settings::UserRegistry& registry,
                                               const std::filesystem::path& current,
                                               std::filesystem::path defaultPath, QWidget* parent)
    : QDialog(parent), m_registry(registry), m_defaultPath(std::move(defaultPath)),
      m_chooseFile(chooseSettingsFile)
{
    setObjectName(QStringLiteral("settingsLocationDialog"));
    setWindowTitle(appText(settings::kTextConfigFileCaption));
    auto* layout = new QVBoxLayout(this);
    auto* explanation = new QLabel(appText(settings::kTextConfigFileExplanation), this);
    explanation->setWordWrap(true);
    layout->addWidget(explanation);
    layout->addWidget(new QLabel(appText(settings::kTextConfigFileNewLocation), this));
    m_path = new QLineEdit(QString::fromStdString(current.string()), this);
    m_path->setObjectName(QStringLiteral("pathField"));
    auto* moveButton = new QPushButton(appText(settings::kTextConfigFileMove), this);
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(m_path, 1);
    pathRow->addWidget(moveButton);
    layout->addLayout(pathRow);
    auto* defaultButton = new QPushButton(appText(settings::kTextConfigFileDefaultLocation), this);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(appText(text::OK), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    buttons->addButton(appText(text::Cancel), QDialogButtonBox::RejectRole);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(defaultButton);
    bottom->addStretch();
    bottom->addWidget(buttons);
    layout->addLayout(bottom);
    connect(moveButton, &QPushButton::clicked, this, &SettingsLocationDialog::moveFile);
    connect(defaultButton, &QPushButton::clicked, this, &SettingsLocationDialog::useDefaultLocation);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    setMinimumWidth(520);
}

std::filesystem::path SettingsLocationDialog::chosenPath() const
{
    return m_path->text().trimmed().toStdString();
}

void SettingsLocationDialog::moveFile()
{
    const QString chosen = m_chooseFile ? m_chooseFile(this, m_path->text()) : QString();
    if (!chosen.isEmpty()) {
        m_path->setText(chosen);
    }
}

void SettingsLocationDialog::useDefaultLocation()
{
    m_path->setText(
        QString::fromStdString(settings::useDefaultSettingsLocation(m_registry, m_defaultPath).string()));
}

} // namespace kestrava::gui
