// The settings window over a settings file in a scratch folder: its texts by id, the immediate
// actions through the scripted login-password and pairing windows, what OK writes, backup and
// restore, and a language change re-translating it and the main window without a restart.
#include "gui/SettingsDialog.h"

#include "core/access/LoginPassword.h"
#include "core/app/Language.h"
#include "core/app/StringTable.h"
#include "core/settings/SettingsFile.h"
#include "core/settings/UserRegistry.h"
#include "gui/AppText.h"
#include "gui/DriveTableModel.h"
#include "gui/GuiTestSupport.h"
#include "gui/MainWindow.h"
#include "gui/QtPrompter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace kestrava;
using namespace kestrava::gui;

namespace {

// Answers every message with the scripted button (Yes by default) and records its id.
class RecordingPrompter : public Prompter
{
public:
    Button messageBox(int messageId, const std::vector<std::string>&, Buttons buttons, Icon) override
    {
        ids.push_back(messageId);
        return buttons == Buttons::OK ? Button::OK : answer;
    }
    DrivePasswordAnswer askDrivePassword(const DrivePasswordRequest&) override { return {}; }
    void balloon(int, int, Icon) override {}
    void titledBalloon(int, int, int, Icon) override {}
    void status(const std::string&) override {}

    std::vector<int> ids;
    Button answer = Button::Yes;
};

void writeText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

QByteArray readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class SettingsDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        writeText(path("settings.xml"), "<?xml version=\"1.0\"?>\n<Kestrava>\n\t<drives />\n</Kestrava>\n");
        QDir(m_dir->path()).mkdir(QStringLiteral("lang"));
        writeText(path("lang/lang_tst.lang"), "274\tTestsprache\n277\t1031\n196\tEinstellungen (Test)\n"
                                              "1311\t&Einstellungen (Test)\n217\tUpdates suchen (Test)\n");
        m_registry = std::make_unique<settings::UserRegistry>(path("registry.conf").toStdString());
        m_languages = std::make_unique<lang::Languages>(
            std::vector<std::filesystem::path>{path("lang").toStdString()}, [] { return 1033; });
        m_passwordWindowAnswer = true;
        m_passwordWindowCalls = 0;
        m_hooks = {};
        m_prompter.ids.clear();
    }

    void cleanup()
    {
        m_dialog.reset();
        m_languages.reset();
        setAppStringOverride(nullptr);
    }

    void opensWithTextsByIdAndTheStoredStates()
    {
        open();
        QCOMPARE(m_dialog->windowTitle(), appText(196));
        QCOMPARE(button("passwordButton")->text(), appText(prefs::kTextSetupPassword));
        QCOMPARE(button("keyButton")->text(), appText(prefs::kTextSetupKey));
        QCOMPARE(button("checkForUpdate")->toolTip(), appText(288));
        QVERIFY(!button("clearPassword")->isEnabled());
        QVERIFY(!button("clearKey")->isEnabled());
        // Buttons whose window is not connected cannot be pressed.
        QVERIFY(!button("aboutButton")->isEnabled());
        QVERIFY(!button("keyButton")->isEnabled());
        QVERIFY(button("passwordButton")->isEnabled());
        QVERIFY(!box("keyring")->isEnabled());
        QVERIFY(box("keyring")->toolTip().contains(QStringLiteral("no keyring here")));
        QCOMPARE(m_dialog->findChild<QLineEdit*>(QStringLiteral("settingsPath"))->text(),
                 path("settings.xml"));
        const QString information =
            m_dialog->findChild<QLabel*>(QStringLiteral("programInformation"))->text();
        QVERIFY(information.startsWith(QStringLiteral("Harbrook Kestrava v")));
        QVERIFY(information.endsWith(QStringLiteral("\n\nFUSE: Installed (v3.14.0.0)")));
        QCOMPARE(m_dialog->findChild<QComboBox*>(QStringLiteral("language"))->currentText(),
                 QStringLiteral("English"));
    }

    void passwordButtonsActAtOnce()
    {
        open();
        QTest::mouseClick(button("passwordButton"), Qt::LeftButton);
        QCOMPARE(m_passwordWindowCalls, 1);
        QCOMPARE(button("passwordButton")->text(), appText(prefs::kTextChangePassword));
        QVERIFY(button("clearPassword")->isEnabled());
        QVERIFY(box("loginRequired")->isChecked());
        QCOMPARE(value("EnableKestravaPwd"), std::string("Y"));

        QTest::mouseClick(button("clearPassword"), Qt::LeftButton);
        QCOMPARE(button("passwordButton")->text(), appText(prefs::kTextSetupPassword));
        QVERIFY(!button("clearPassword")->isEnabled());
        QVERIFY(!box("loginRequired")->isChecked());
        QCOMPARE(value("KestravaPwd"), std::string());

        // Ticking the box without a password opens the window; Cancel there clears it again.
        m_passwordWindowAnswer = false;
        box("loginRequired")->click();
        QCOMPARE(m_passwordWindowCalls, 2);
        QVERIFY(!box("loginRequired")->isChecked());
    }

    void okWritesTheBoxes()
    {
        open();
        box("autoUpdate")->setChecked(true);
        box("lockOnScreen")->setChecked(true);
        box("detachBusy")->setChecked(true);
        m_dialog->findChild<QSpinBox*>(QStringLiteral("idleMinutes"))->setValue(15);
        box("startAtLogin")->setChecked(true);
        QTest::mouseClick(button("okButton"), Qt::LeftButton);
        QCOMPARE(m_dialog->result(), int(QDialog::Accepted));
        QVERIFY(m_dialog->applied().has_value());
        QCOMPARE(value("AutoUpdate"), std::string("Y"));
        QCOMPARE(value("AutoLockScreen"), std::string("Y"));
        QCOMPARE(value("AutoLockLazy"), std::string("Y"));
        QCOMPARE(value("AutoLockIdleMinutes"), std::string("15"));
        QCOMPARE(value("AutoLockSleep"), std::string());
        QCOMPARE(value("EnableKestravaPwd"), std::string("N"));
        QVERIFY(readText(path("autostart/kestrava.desktop")).contains("Exec=/usr/bin/kestrava /min\n"));
    }

    void cancelKeepsDeferredOptions()
    {
        open();
        box("autoUpdate")->setChecked(true);
        QTest::mouseClick(button("cancelButton"), Qt::LeftButton);
        QCOMPARE(m_dialog->result(), int(QDialog::Rejected));
        QCOMPARE(value("AutoUpdate"), std::string());
    }

    void backupAndRestore()
    {
        QString proposed;
        m_hooks.chooseBackupTarget = [&](const QString& name) {
            proposed = name;
            return path("backup.xml");
        };
        open();
        QTest::mouseClick(button("backupButton"), Qt::LeftButton);
        QVERIFY(proposed.startsWith(QStringLiteral("kestrava_settings_")));
        QVERIFY(proposed.endsWith(QStringLiteral(".xml")));
        QCOMPARE(proposed, proposed.toLower());
        QCOMPARE(readText(path("backup.xml")), readText(path("settings.xml")));
        QCOMPARE(m_prompter.ids, std::vector<int>{prefs::kMsgBackupDone});

        writeText(
            path("other.xml"),
            "<?xml version=\"1.0\"?>\n<Kestrava>\n\t<drives />\n\t<AutoUpdate>Y</AutoUpdate>\n</Kestrava>\n");
        std::vector<std::string> steps;
        m_hooks.chooseRestoreFile = [&] { return path("other.xml"); };
        m_hooks.restoreSteps.unmountAll = [&] { steps.push_back("unmount"); };
        m_hooks.restoreSteps.reloadDrives = [&] { steps.push_back("reload"); };
        open();
        m_prompter.ids.clear();
        QTest::mouseClick(button("restoreButton"), Qt::LeftButton);
        QCOMPARE(steps, (std::vector<std::string>{"unmount", "reload"}));
        QCOMPARE(m_prompter.ids, (std::vector<int>{prefs::kMsgRestoreQuestion, prefs::kMsgRestoreDone}));
        QCOMPARE(value("AutoUpdate"), std::string("Y"));
        // The language list's choice is stored into the restored file again.
        QCOMPARE(value("Language"), std::string("English"));
    }

    void languageChangeRetranslatesOpenWindows()
    {
        drives::DriveListModel rows;
        DriveTableModel model(rows);
        test::RecordingActions actions;
        QtPrompter prompter;
        MainWindow window(model, actions, prompter, false);
        auto* settingsButton = window.findChild<QPushButton*>(QStringLiteral("settingsButton"));
        QCOMPARE(settingsButton->text(), appText(1311));

        open();
        connect(m_dialog.get(), &SettingsDialog::languageChanged, &window, &MainWindow::retranslate);
        QSignalSpy changed(m_dialog.get(), &SettingsDialog::languageChanged);
        auto* list = m_dialog->findChild<QComboBox*>(QStringLiteral("language"));
        QCOMPARE(list->count(), 2);
        list->setCurrentIndex(1);
        emit list->textActivated(list->currentText());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(m_dialog->windowTitle(), QStringLiteral("Einstellungen (Test)"));
        QCOMPARE(button("checkForUpdate")->text(), QStringLiteral("Updates suchen (Test)"));
        QCOMPARE(settingsButton->text(), QStringLiteral("&Einstellungen (Test)"));
        QCOMPARE(value("Language"), std::string("lang_tst.lang"));

        emit list->textActivated(QStringLiteral("English"));
        QCOMPARE(m_dialog->windowTitle(), QStringLiteral("Kestrava Settings"));
        QCOMPARE(settingsButton->text(), QStringLiteral("&Settings"));
        QCOMPARE(value("Language"), std::string("English"));
    }

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    std::string value(const char* name) const
    {
        return settings::SettingsFile(path("settings.xml").toStdString()).getKestravaXmlValue(name);
    }
    QPushButton* button(const char* name) const
    {
        return m_dialog->findChild<QPushButton*>(QLatin1String(name));
    }
    QCheckBox* box(const char* name) const { return m_dialog->findChild<QCheckBox*>(QLatin1String(name)); }

    void open()
    {
        m_dialog.reset();
        prefs::SettingsDialogContext context{path("settings.xml").toStdString(),
                                             path("default.xml").toStdString(), *m_registry, m_prompter};
        context.commandLine = "/usr/bin/kestrava";
        context.autostartEntry = path("autostart/kestrava.desktop").toStdString();
        context.keyringUnavailable = "no keyring here";
        prefs::SettingsDialogWindows windows;
        windows.changeLoginPassword = [this](bool) {
            ++m_passwordWindowCalls;
            if (!m_passwordWindowAnswer) {
                return false;
            }
            settings::SettingsFile file(path("settings.xml").toStdString());
            settings::SettingsProgramValues values(file);
            return saveLoginPassword(values, "secret-1").has_value();
        };
        SettingsDialogHooks hooks = m_hooks;
        hooks.fuseVersion = [] { return prefs::FuseVersion{3, 14, 0, 0}; };
        m_dialog = std::make_unique<SettingsDialog>(
            std::make_unique<prefs::SettingsDialogModel>(std::move(context), std::move(windows)),
            *m_languages, m_prompter, std::move(hooks));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<settings::UserRegistry> m_registry;
    std::unique_ptr<lang::Languages> m_languages;
    RecordingPrompter m_prompter;
    SettingsDialogHooks m_hooks;
    std::unique_ptr<SettingsDialog> m_dialog;
    int m_passwordWindowCalls = 0;
    bool m_passwordWindowAnswer = true;
};

QTEST_MAIN(SettingsDialogTest)
#include "SettingsDialogTest.moc"
