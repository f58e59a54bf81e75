// What the drive dialogs' tests share: a sandboxed home and settings file, the drive services
// over a host that only records, the desktop app's Prompter, and a hand that answers its
// message boxes as they appear, remembering which ones it saw.
#pragma once

#include "core/drives/CloudFolders.h"
#include "core/drives/DriveServices.h"
#include "core/drives/FakeDriveHost.h"
#include "core/drives/MountedDrives.h"
#include "core/settings/SavedPasswords.h"
#include "core/settings/SettingsFile.h"
#include "core/token/DriveContext.h"
#include "gui/AppText.h"
#include "gui/QtPrompter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <fstream>
#include <map>
#include <memory>
#include <vector>

namespace kestrava::gui::test {

inline constexpr const char* kPassword = "correct horse";

// Answers every message box of the Prompter: a scripted button where one was given, else the
// first button (OK or Yes). Each box's message id is recorded.
class BoxAnswerer : public QObject
{
public:
    BoxAnswerer()
    {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, [this] { answerShownBox(); });
        m_timer.start();
    }

    // The next box with messageId is answered with button (a text id: text::OK, YesButton...).
    void answer(int messageId, int buttonTextId) { m_answers[messageId].push_back(buttonTextId); }
    // Called with each box before it is answered (to look at the dialog meanwhile).
    void onBox(std::function<void(int messageId)> look) { m_look = std::move(look); }
    const std::vector<int>& seen() const { return m_seen; }
    int last() const { return m_seen.empty() ? 0 : m_seen.back(); }
    void clear() { m_seen.clear(); }

private:
    void answerShownBox()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible() || box->property("answered").toBool()) {
            return;
        }
        box->setProperty("answered", true);
        const int id = box->objectName().mid(QStringLiteral("messageBox").size()).toInt();
        m_seen.push_back(id);
        if (m_look) {
            m_look(id);
        }
        QAbstractButton* chosen = box->buttons().isEmpty() ? nullptr : box->buttons().front();
        auto scripted = m_answers.find(id);
        if (scripted != m_answers.end() && !scripted->second.empty()) {
            const QString wanted = appText(scripted->second.front());
            scripted->second.erase(scripted->second.begin());
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == wanted) {
                    chosen = button;
                }
            }
        }
        if (chosen != nullptr) {
            chosen->click();
        } else {
            box->close();
        }
    }

    QTimer m_timer;
    std::map<int, std::vector<int>> m_answers;
    std::function<void(int)> m_look;
    std::vector<int> m_seen;
};

// A sandboxed home with a settings file, a recording host and the drive services over them.
struct DriveDialogSandbox
{
    DriveDialogSandbox()
    {
        qputenv("HOME", home().string().c_str());
        qputenv("XDG_CONFIG_HOME", (root() / "config").string().c_str());
        qputenv("XDG_STATE_HOME", (root() / "state").string().c_str());
        std::filesystem::create_directories(home());
        std::filesystem::create_directories(root() / "proc");
        std::ofstream(root() / "mountinfo") << "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n";
    }

    std::filesystem::path root() const { return std::filesystem::path(dir.path().toStdString()); }
    std::filesystem::path home() const { return root() / "home"; }

    // A backing folder with a token for kPassword; returns its master key.
    crypto::SecureBytes makeToken(const std::filesystem::path& folder, const char* password = kPassword) const
    {
        std::filesystem::create_directories(folder);
        token::DriveContext context(hashStr(password));
        context.CreateToken(token::tokenPathFor(folder));
        return context.masterKey();
    }

    // What a folder's token holds when it opens with password.
    struct Unlocked
    {
        token::TokenOptions tokenOptions;
        crypto::SecureBytes key;
        const token::TokenOptions& options() const { return tokenOptions; }
        const crypto::SecureBytes& masterKey() const { return key; }
        token::DriveFormat format = token::DriveFormat::Compatible;
    };
    static std::optional<Unlocked> unlocked(const std::filesystem::path& folder,
                                            const char* password = kPassword)
    {
        token::DriveContext context(hashStr(password));
        if (context.unlock(token::tokenPathFor(folder)) != token::TokenLoadStatus::Loaded) {
            return std::nullopt;
        }
        return Unlocked{context.options(), context.masterKey(), context.format()};
    }

    QTemporaryDir dir;
    // Sync clients are looked for in the sandbox only, never on the machine running the tests.
    drives::CloudTraces traces{home(), root() / "config", root() / "mountinfo", root() / "proc"};
    settings::SettingsFile settings{root() / "kestrava_settings.xml"};
    kestrava::test::FakeDriveHost host{root() / "mnt"};
    QtPrompter prompter;
    drives::MountedDrives mounted;
    drives::DriveListModel rows;
    drives::DriveServices services{settings, prompter, host, mounted, rows};
    BoxAnswerer boxes;
};

} // namespace kestrava::gui::test
