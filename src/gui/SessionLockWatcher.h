// Listens for the moments drives should be locked: the login manager announcing sleep
// (PrepareForSleep on the system bus, with a delay lock held so the drives can be unmounted
// first) and the screen saver locking the screen (ActiveChanged on the session bus). Signals
// are only taken from the services' own bus names, so another program cannot fake them.
#pragma once

#include "core/prefs/AutoLock.h"

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <functional>

namespace kestrava::gui {

inline constexpr const char* kLoginService = "org.freedesktop.login1";
inline constexpr const char* kLoginPath = "/org/freedesktop/login1";
inline constexpr const char* kLoginInterface = "org.freedesktop.login1.Manager";

class SessionLockWatcher : public QObject
{
    Q_OBJECT

public:
    // Decides and does the locking for a reason; runs on the GUI thread.
    using Handler = std::function<void(prefs::LockReason reason)>;

    SessionLockWatcher(QDBusConnection loginBus, QDBusConnection sessionBus, Handler handler,
                       QObject* parent = nullptr);

    // Starts listening; whether each bus could be subscribed to.
    bool start();
    // While sleep locking is wanted, a delay lock is held so sleep waits for the unmount.
    void setSleepLockWanted(bool wanted);
    bool holdsDelayLock() const { return m_delay.isValid(); }

private slots:
    void prepareForSleep(bool starting);
    void screenSaverActiveChanged(bool active);

private:
    void takeDelayLock();

    QDBusConnection m_loginBus;
    QDBusConnection m_sessionBus;
    Handler m_handler;
    QDBusUnixFileDescriptor m_delay;
    bool m_sleepWanted = false;
};

} // namespace kestrava::gui
