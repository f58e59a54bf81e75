#include "gui/AboutDialog.h"

#include "core/app/VersionText.h"
#include "gui/AppText.h"
#include "gui/DialogParts.h"
#include "gui/Icons.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#ifndef KESTRAVA_WEB_SITE
#define KESTRAVA_WEB_SITE ""
#endif
#ifndef KESTRAVA_PRIVACY_URL
#define KESTRAVA_PRIVACY_URL ""
#endif

namespace kestrava::gui {
namespace {

constexpr int kProgramTitle = 95;
constexpr int kTitle = 245;
constexpr int kEncryptionInfo = 247;
constexpr int kEncryptionText = 1465;
constexpr int kLicence = 1466;
constexpr int kWebSite = 1467;
constexpr int kPrivacy = 1468;

// A link button, only when the build names its address.
void addLink(QHBoxLayout* row, QWidget* parent, int textId, const char* address)
{
    const QUrl url(QString::fromUtf8(address));
    if (url.isEmpty()) {
        return;
    }
    auto* button = new QPushButton(appText(textId), parent);
    QObject::connect(button, &QPushButton::clicked, parent, [url] { QDesktopServices::openUrl(url); });
    row->addWidget(button);
}

} // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(appText(kTitle));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(appIcon().pixmap(48, 48));
    m_version = makeHeading(appText(kProgramTitle, {QString::fromStdString(programVersionText())}), this);
    m_version->setObjectName(QStringLiteral("versionLine"));
    top->addWidget(icon);
    top->addWidget(m_version, 1);
    layout->addLayout(top);
    auto* heading = new QLabel(appText(kEncryptionInfo), this);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);
    auto* encryption = new QLabel(appText(kEncryptionText), this);
    encryption->setWordWrap(true);
    layout->addWidget(encryption);
    auto* licence = new QPlainTextEdit(appText(kLicence), this);
    licence->setReadOnly(true);
    layout->addWidget(licence, 1);
    auto* buttons = new QHBoxLayout;
    addLink(buttons, this, kWebSite, KESTRAVA_WEB_SITE);
    addLink(buttons, this, kPrivacy, KESTRAVA_PRIVACY_URL);
    buttons->addStretch();
    auto* ok = new QPushButton(appText(text::OK), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    resize(480, 420);
}

} // namespace kestrava::gui
