#include "gui/SessionLockWatcher.h"

#include "core/app/ActivityLog.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace kestrava::gui {
namespace {

struct ScreenSaver
{
    const char* service;
    const char* path;
    const char* interface;
};

constexpr ScreenSaver kScreenSavers[] = {
    {"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver"},
    {"org.gnome.ScreenSaver", "/org/gnome/ScreenSaver", "org.gnome.ScreenSaver"},
    {"org.mate.ScreenSaver", "/org/mate/ScreenSaver", "org.mate.ScreenSaver"},
    {"org.cinnamon.ScreenSaver", "/org/cinnamon/ScreenSaver", "org.cinnamon.ScreenSaver"},
};

} // namespace

SessionLockWatcher::SessionLockWatcher(QDBusConnection loginBus, QDBusConnection sessionBus, Handler handler,
                                       QObject* parent)
    : QObject(parent), m_loginBus(std::move(loginBus)), m_sessionBus(std::move(sessionBus)),
      m_handler(std::move(handler))
{
}

bool SessionLockWatcher::start()
{
    bool listening = false;
    if (m_loginBus.isConnected()) {
        listening = m_loginBus.connect(QLatin1String(kLoginService), QLatin1String(kLoginPath),
                                       QLatin1String(kLoginInterface), QStringLiteral("PrepareForSleep"),
                                       this, SLOT(prepareForSleep(bool)));
    }
    if (m_sessionBus.isConnected()) {
        for (const auto& saver : kScreenSavers) {
            listening = m_sessionBus.connect(QLatin1String(saver.service), QLatin1String(saver.path),
                                             QLatin1String(saver.interface), QStringLiteral("ActiveChanged"),
                                             this, SLOT(screenSaverActiveChanged(bool))) ||
                        listening;
        }
    }
    writeLog("AutoLock: %s", listening ? "listening for screen lock and sleep" : "no bus to listen on");
    return listening;
}

void SessionLockWatcher::setSleepLockWanted(bool wanted)
{
    m_sleepWanted = wanted;
    if (!wanted) {
        m_delay = QDBusUnixFileDescriptor();
    } else if (!m_delay.isValid()) {
        takeDelayLock();
    }
}

void SessionLockWatcher::takeDelayLock()
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(QLatin1String(kLoginService), QLatin1String(kLoginPath),
                                       QLatin1String(kLoginInterface), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << QStringLiteral("Kestrava")
         << QStringLiteral("Unmounting encrypted drives") << QStringLiteral("delay");
    // Asked without waiting: the window must not hang on a slow or missing login manager.
    auto* pending = new QDBusPendingCallWatcher(m_loginBus.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *finished;
        if (reply.isError()) {
            writeLog("!AutoLock: no sleep delay lock: %s", reply.error().message().toUtf8().constData());
        } else if (m_sleepWanted) {
            m_delay = reply.value();
        }
        finished->deleteLater();
    });
}

void SessionLockWatcher::prepareForSleep(bool starting)
{
    if (!starting) {
        // Awake again: be ready for the next sleep.
        if (m_sleepWanted) {
            takeDelayLock();
        }
        return;
    }
    if (m_sleepWanted && m_handler) {
        m_handler(prefs::LockReason::Sleep);
    }
    // Sleep may go ahead now.
    m_delay = QDBusUnixFileDescriptor();
}

void SessionLockWatcher::screenSaverActiveChanged(bool active)
{
    if (active && m_handler) {
        m_handler(prefs::LockReason::ScreenLocked);
    }
}

} // namespace kestrava::gui
