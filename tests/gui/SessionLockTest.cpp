// The session lock watcher on a private session bus (run by with-private-bus.sh): a stand-in
// login manager and screen saver send the real signals, and the drives of a fake host are
// unmounted; the same signals from another sender are ignored, and the sleep delay lock is
// taken, let go once the drives are unmounted, and taken again after waking.
#include "core/drives/FakeDriveHost.h"
#include "core/prefs/AutoLock.h"
#include "gui/SessionLockWatcher.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

using namespace kestrava;
using namespace kestrava::gui;

namespace {

constexpr int kWaitMs = 30000;

// Answers Inhibit with one end of a pipe and keeps the other, to see when it is let go.
class FakeLoginManager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    ~FakeLoginManager() override
    {
        for (int fd : readEnds) {
            ::close(fd);
        }
    }

    // Whether the newest delay lock has been let go (its other end closed).
    bool newestReleased() const
    {
        if (readEnds.empty()) {
            return false;
        }
        char byte = 0;
        return ::read(readEnds.back(), &byte, 1) == 0;
    }

    std::vector<int> readEnds;
    QStringList modes;

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode)
    {
        Q_UNUSED(who)
        Q_UNUSED(why)
        modes << what + QLatin1Char(':') + mode;
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
            return {};
        }
        readEnds.push_back(ends[0]);
        QDBusUnixFileDescriptor handed(ends[1]); // a copy of its own
        ::close(ends[1]);
        return handed;
    }
};

} // namespace

class SessionLockTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        for (const char* variable : {"KESTRAVA_NO_PRIVATE_BUS"}) {
            if (const QByteArray reason = qgetenv(variable); !reason.isEmpty()) {
                QSKIP(qPrintable(QStringLiteral("no private session bus: ") + QString::fromUtf8(reason)));
            }
        }
        if (!QDBusConnection::sessionBus().isConnected()) {
            QSKIP("no session bus (run through tests/support/with-private-bus.sh)");
        }
        m_dir = std::make_unique<QTemporaryDir>();
        m_host = std::make_unique<kestrava::test::FakeDriveHost>(
            m_dir->filePath(QStringLiteral("mnt")).toStdString());
        m_host->mountedElsewhere("E:", "/data/e");
        m_host->mountedElsewhere("K:", "/data/k");
        m_login = std::make_unique<FakeLoginManager>();
        m_services = QDBusConnection::sessionBus();
        QVERIFY(m_services.registerService(QStringLiteral("org.freedesktop.login1")));
        QVERIFY(m_services.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));
        QVERIFY(m_services.registerObject(QStringLiteral("/org/freedesktop/login1"), m_login.get(),
                                          QDBusConnection::ExportAllSlots));
        m_watcherBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("watcher"));
        QVERIFY(m_watcherBus.isConnected());
        m_reasons.clear();
        m_watcher = std::make_unique<SessionLockWatcher>(
            m_watcherBus, m_watcherBus, [this](prefs::LockReason reason) {
                m_reasons.push_back(reason);
                prefs::lockAllDrives(*m_host, false, reason, nullptr);
            });
        QVERIFY(m_watcher->start());
    }

    void cleanup()
    {
        m_watcher.reset();
        if (m_services.isConnected()) {
            m_services.unregisterObject(QStringLiteral("/org/freedesktop/login1"));
            m_services.unregisterService(QStringLiteral("org.freedesktop.login1"));
            m_services.unregisterService(QStringLiteral("org.freedesktop.ScreenSaver"));
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("watcher"));
        m_login.reset();
    }

    void sleepUnmountsTheDrivesBeforeLettingSleepGo()
    {
        m_watcher->setSleepLockWanted(true);
        QTRY_VERIFY_WITH_TIMEOUT(m_watcher->holdsDelayLock(), kWaitMs);
        QCOMPARE(m_login->modes, QStringList{QStringLiteral("sleep:delay")});
        QVERIFY(!m_login->newestReleased());

        sendFrom(m_services, "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep",
                 true);
        QTRY_VERIFY_WITH_TIMEOUT(m_host->mounts.empty(), kWaitMs);
        QCOMPARE(m_reasons, std::vector<prefs::LockReason>{prefs::LockReason::Sleep});
        QTRY_VERIFY_WITH_TIMEOUT(m_login->newestReleased(), kWaitMs);
        QVERIFY(!m_watcher->holdsDelayLock());

        // Awake again: the next sleep is delayed too.
        sendFrom(m_services, "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep",
                 false);
        QTRY_VERIFY_WITH_TIMEOUT(m_watcher->holdsDelayLock(), kWaitMs);
        QCOMPARE(m_login->modes.size(), 2);
    }

    void screenLockUnmountsTheDrives()
    {
        sendFrom(m_services, "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver", "ActiveChanged",
                 false);
        sendFrom(m_services, "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver", "ActiveChanged",
                 true);
        QTRY_VERIFY_WITH_TIMEOUT(m_host->mounts.empty(), kWaitMs);
        QCOMPARE(m_reasons, std::vector<prefs::LockReason>{prefs::LockReason::ScreenLocked});
    }

    void signalsFromOtherSendersAreIgnored()
    {
        m_watcher->setSleepLockWanted(true);
        QDBusConnection intruder =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("intruder"));
        QVERIFY(intruder.isConnected());
        // Each round: the intruder's signal, a round trip to the bus (so it has been routed
        // before anything sent later and the watcher would see it first), then a real one of the
        // other kind as a marker.
        sendFrom(intruder, "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep",
                 true);
        QVERIFY(intruder.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.login1")).value());
        sendFrom(m_services, "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver", "ActiveChanged",
                 true);
        QTRY_VERIFY_WITH_TIMEOUT(!m_reasons.empty(), kWaitMs);
        QCOMPARE(m_reasons, std::vector<prefs::LockReason>{prefs::LockReason::ScreenLocked});

        sendFrom(intruder, "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver", "ActiveChanged",
                 true);
        QVERIFY(intruder.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.login1")).value());
        sendFrom(m_services, "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep",
                 true);
        QTRY_VERIFY_WITH_TIMEOUT(m_reasons.size() >= 2, kWaitMs);
        QCOMPARE(m_reasons,
                 (std::vector<prefs::LockReason>{prefs::LockReason::ScreenLocked, prefs::LockReason::Sleep}));
        QDBusConnection::disconnectFromBus(QStringLiteral("intruder"));
    }

private:
    static void sendFrom(QDBusConnection& connection, const char* path, const char* interface,
                         const char* name, bool value)
    {
        QDBusMessage signal =
            QDBusMessage::createSignal(QLatin1String(path), QLatin1String(interface), QLatin1String(name));
        signal << value;
        QVERIFY(connection.send(signal));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<kestrava::test::FakeDriveHost> m_host;
    std::unique_ptr<FakeLoginManager> m_login;
    QDBusConnection m_services{QStringLiteral("none")};
    QDBusConnection m_watcherBus{QStringLiteral("none")};
    std::unique_ptr<SessionLockWatcher> m_watcher;
    std::vector<prefs::LockReason> m_reasons;
};

QTEST_MAIN(SessionLockTest)
#include "SessionLockTest.moc"
