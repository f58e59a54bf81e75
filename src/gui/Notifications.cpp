#include "gui/Notifications.h"

#include "gui/AppText.h"
#include "gui/QtPrompter.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QSystemTrayIcon>
#include <QVariantMap>

namespace kestrava::gui {
namespace {

QSystemTrayIcon::MessageIcon trayIconFor(Icon icon)
{
    switch (icon) {
    case Icon::Error:
        return QSystemTrayIcon::Critical;
    case Icon::Warning:
        return QSystemTrayIcon::Warning;
    case Icon::None:
        return QSystemTrayIcon::NoIcon;
    case Icon::Information:
    case Icon::Question:
        break;
    }
    return QSystemTrayIcon::Information;
}

// Icon names from the freedesktop icon naming standard.
QString desktopIconFor(Icon icon)
{
    switch (icon) {
    case Icon::Error:
        return QStringLiteral("dialog-error");
    case Icon::Warning:
        return QStringLiteral("dialog-warning");
    case Icon::Question:
        return QStringLiteral("dialog-question");
    case Icon::None:
        return QString();
    case Icon::Information:
        break;
    }
    return QStringLiteral("dialog-information");
}

// A blank title (a balloon whose text says it all) is left out of the status line.
QString statusLineFor(const QString& title, const QString& text)
{
    const QString trimmedTitle = title.trimmed();
    const QString trimmedText = QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')).trimmed();
    if (trimmedTitle.isEmpty()) {
        return trimmedText;
    }
    return trimmedText.isEmpty() ? trimmedTitle : trimmedTitle + QStringLiteral(" - ") + trimmedText;
}

} // namespace

std::function<void(const QString&, const QString&, Icon)> makeBalloonNotifier(NotificationRoutes routes)
{
    return [routes = std::move(routes)](const QString& title, const QString& text, Icon icon) {
        if (QSystemTrayIcon* tray = routes.tray ? routes.tray() : nullptr) {
            tray->showMessage(title, text, trayIconFor(icon), kTrayBalloonMs);
            return;
        }
        if (routes.desktop && routes.desktop(title, text, icon)) {
            return;
        }
        if (routes.statusLine) {
            routes.statusLine(statusLineFor(title, text));
        }
    };
}

bool notifyDesktop(const QString& title, const QString& text, Icon icon)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    QDBusInterface service(QStringLiteral("org.freedesktop.Notifications"),
                           QStringLiteral("/org/freedesktop/Notifications"),
                           QStringLiteral("org.freedesktop.Notifications"), bus);
    if (!service.isValid()) {
        return false;
    }
    const QDBusReply<uint> reply =
        service.call(QStringLiteral("Notify"), appText(text::Caption), uint{0}, desktopIconFor(icon), title,
                     text, QStringList(), QVariantMap(), int{kTrayBalloonMs});
    return reply.isValid();
}

} // namespace kestrava::gui
