// The program's shell: the switches, and one copy per user (a second copy makes the first
// show its window and ends with exit code 1).
#include "core/drives/DriveListModel.h"
#include "core/settings/SettingsProgramValues.h"
#include "core/settings/UserRegistry.h"
#include "core/update/RunOnce.h"
#include "gui/DriveTableModel.h"
#include "gui/ExitSignals.h"
#include "gui/GuiTestSupport.h"
#include "gui/MainWindow.h"
#include "gui/QtPrompter.h"
#include "gui/SingleInstance.h"
#include "gui/StartSwitches.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

using namespace kestrava;
using namespace kestrava::gui;

class ShellTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_runtime.isValid());
        // The instance socket and every file a started copy might touch stay in the sandbox.
        qputenv("XDG_RUNTIME_DIR", m_runtime.path().toUtf8());
        qputenv("HOME", m_runtime.path().toUtf8());
        qputenv("XDG_CONFIG_HOME", m_runtime.filePath(QStringLiteral("config")).toUtf8());
        qputenv("XDG_STATE_HOME", m_runtime.filePath(QStringLiteral("state")).toUtf8());
    }

    void slashSwitchesAreFoundAnywhere()
    {
        const StartSwitches fromPath = parseStartSwitches({QStringLiteral("/opt/x/installdrv/kestrava")});
        QVERIFY(fromPath.installDriver);
        QVERIFY(fromPath.skipsSingleInstance());
        const StartSwitches both = parseStartSwitches({QStringLiteral("/runonce"), QStringLiteral("/min")});
        QVERIFY(both.runOnce && both.minimized && !both.installDriver && !both.removeDriver);
        QVERIFY(!both.skipsSingleInstance());
        QVERIFY(parseStartSwitches({QStringLiteral("x/removedrv")}).removeDriver);
        // Case-sensitive.
        QVERIFY(!parseStartSwitches({QStringLiteral("/MIN"), QStringLiteral("/InstallDrv")}).minimized);
        QVERIFY(!parseStartSwitches({QStringLiteral("/InstallDrv")}).installDriver);
    }

    void longSwitchesMustBeWholeArguments()
    {
        const StartSwitches all =
            parseStartSwitches({QStringLiteral("--install-fuse"), QStringLiteral("--remove-fuse"),
                                QStringLiteral("--run-once"), QStringLiteral("--minimized")});
        QVERIFY(all.installDriver && all.removeDriver && all.runOnce && all.minimized);
        const StartSwitches none =
            parseStartSwitches({QStringLiteral("--minimized-not"), QStringLiteral("x--run-once")});
        QVERIFY(!none.minimized && !none.runOnce);
        QVERIFY(!parseStartSwitches({}).minimized);
    }

    void secondClaimFailsAndAsksTheFirst()
    {
        const QString name = m_runtime.filePath(QStringLiteral("claim-test"));
        SingleInstance first(name);
        QVERIFY(first.claim());
        QSignalSpy shows(&first, &SingleInstance::showRequested);
        QSignalSpy refreshes(&first, &SingleInstance::refreshRequested);
        SingleInstance second(name);
        QVERIFY(!second.claim());
        QTRY_COMPARE(shows.count(), 1);
        QVERIFY(second.askRunningCopyToRefresh());
        QTRY_COMPARE(refreshes.count(), 1);
        QCOMPARE(shows.count(), 1);
    }

    void staleSocketIsTakenOver()
    {
        const QString name = m_runtime.filePath(QStringLiteral("stale-test"));
        QFile stale(name);
        QVERIFY(stale.open(QIODevice::WriteOnly)); // left behind by a copy that crashed
        stale.close();
        SingleInstance instance(name);
        QVERIFY(instance.claim());
        QVERIFY(SingleInstance(name).askRunningCopyToShow());
    }

    void serverProgramIsBuiltBesideTheApp()
    {
        // The app mounts through the kestrava-cli beside it, and both share the portable
        // settings file there.
        const QFileInfo app(QStringLiteral(KESTRAVA_GUI_PATH));
        const QFileInfo server(app.dir().filePath(QStringLiteral("kestrava-cli")));
        QVERIFY(server.isExecutable());
        QCOMPARE(server.absoluteFilePath(), QFileInfo(QStringLiteral(KESTRAVA_CLI_PATH)).absoluteFilePath());
    }

    void secondProcessShowsTheFirstWindowAndExitsOne()
    {
        drives::DriveListModel rows;
        DriveTableModel model(rows);
        test::RecordingActions actions;
        QtPrompter prompter;
        MainWindow window(model, actions, prompter, true);
        window.showAtStart(true);
        QVERIFY(!window.isVisible());
        SingleInstance instance; // the name every copy of this user uses
        QVERIFY(instance.claim());
        connect(&instance, &SingleInstance::showRequested, &window, &MainWindow::restoreFromTray);

        QProcess second;
        second.start(QStringLiteral(KESTRAVA_GUI_PATH), {QStringLiteral("/min")});
        QVERIFY(second.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 20000);
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 1);
        QTRY_VERIFY(window.isVisible());
        QVERIFY(!window.isInTray());
    }

    void runOnceCarriesTheInstallersAutoUpdateOver()
    {
        QTemporaryDir dir;
        settings::UserRegistry registry(dir.filePath(QStringLiteral("Kestrava.conf")).toStdString());
        settings::SettingsFile file(dir.filePath(QStringLiteral("kestrava_settings.xml")).toStdString());
        settings::SettingsProgramValues values(file);
        // Nothing left by the installer, or a value other than "1": nothing changes.
        QVERIFY(!update::carryOverInstallerAutoUpdate(registry, values));
        QVERIFY(registry.writeValue(settings::kRegistryGroup, settings::kAutoUpdateKey, "0"));
        QVERIFY(!update::carryOverInstallerAutoUpdate(registry, values));
        QVERIFY(!values.has("AutoUpdate"));

        QVERIFY(registry.writeValue(settings::kRegistryGroup, settings::kAutoUpdateKey, "1"));
        QVERIFY(update::carryOverInstallerAutoUpdate(registry, values));
        QCOMPARE(values.get("AutoUpdate").value_or(""), std::string("Y"));
        QVERIFY(!registry.readValue(settings::kRegistryGroup, settings::kAutoUpdateKey).has_value());
    }

    void terminationSignalsAskForAnOrderlyExit()
    {
        // Without the handler SIGTERM would end this test process on the spot.
        ExitSignals exits;
        QSignalSpy spy(&exits, &ExitSignals::exitRequested);
        QCOMPARE(::raise(SIGTERM), 0);
        QTRY_COMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), SIGTERM);
        QCOMPARE(::raise(SIGHUP), 0);
        QTRY_COMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1).at(0).toInt(), SIGHUP);
    }

    void terminatedAppRunsItsOrderlyExit()
    {
        // A portable copy keeps its settings and log beside itself, inside the sandbox.
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString app = folder.filePath(QStringLiteral("kestrava"));
        QVERIFY(QFile::copy(QStringLiteral(KESTRAVA_GUI_PATH), app));
        QVERIFY(
            QFile::copy(QStringLiteral(KESTRAVA_CLI_PATH), folder.filePath(QStringLiteral("kestrava-cli"))));
        const QString log = folder.filePath(QStringLiteral("kestrava.log"));
        const auto logHas = [&log](const char* text) {
            QFile file(log);
            return file.open(QIODevice::ReadOnly) && file.readAll().contains(text);
        };

        QProcess running;
        running.start(app, {QStringLiteral("/min")});
        QVERIFY(running.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(logHas("ReadDriveInfo Begin"), 20000);
        running.terminate(); // SIGTERM, as a session logging out sends
        QVERIFY(running.waitForFinished(20000));
        QCOMPARE(running.exitStatus(), QProcess::NormalExit);
        QCOMPARE(running.exitCode(), 0);
        QVERIFY(logHas("appExit"));
    }

private:
    QTemporaryDir m_runtime;
};

QTEST_MAIN(ShellTest)
#include "ShellTest.moc"
