// Where a balloon without a field of its own goes: to the tray icon when there is one, else to
// the desktop's notification service, else to the main window's status line.
#pragma once

#include "core/app/Prompter.h"

#include <QString>
#include <functional>

class QSystemTrayIcon;

namespace kestrava::gui {

struct NotificationRoutes
{
    // The tray icon now shown, or nullptr.
    std::function<QSystemTrayIcon*()> tray;
    // Hands the notification to the desktop; false when nobody took it.
    std::function<bool(const QString& title, const QString& text, Icon icon)> desktop;
    // The last resort: a line that does not interrupt.
    std::function<void(const QString& line)> statusLine;
};

// A QtPrompter notifier over those routes, tried in that order.
std::function<void(const QString& title, const QString& text, Icon icon)>
makeBalloonNotifier(NotificationRoutes routes);

// The freedesktop notification service on the session bus; false when there is no bus or no
// service answers.
bool notifyDesktop(const QString& title, const QString& text, Icon icon);

} // namespace kestrava::gui
