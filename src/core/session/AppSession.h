// The program as both front ends open it: find the settings file (asking through the Prompter
// when the configured one is unusable), check it, pass the program lock, then wire the drive
// services over one settings file, host, mounted-drives list and drive list. The desktop app and
// kestrava-cli open it the same way; they differ only in their Prompter and LoginAnswerer.
#pragma once

#include "core/access/LoginCheck.h"
#include "core/drives/DriveListModel.h"
#include "core/drives/DriveServices.h"
#include "core/drives/MountedDrives.h"
#include "core/settings/SettingsFile.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace kestrava {
class Prompter;
}
namespace kestrava::host {
class DriveHost;
}

namespace kestrava::session {

using Clock = std::function<std::chrono::system_clock::time_point()>;

// Checks entries against the lock being passed (bound to the lock, its plan and the clock).
using LoginEntryCheck = std::function<LoginCheckResult(const LoginEntries&)>;

struct LoginReply
{
    enum class Outcome
    {
        Checked,    // entries were checked; result tells how it went
        Cancelled,  // the user closed the prompt
        Unanswered, // no entries could be read (no terminal, end of input)
    };
    Outcome outcome = Outcome::Cancelled;
    LoginCheckResult result;
};

// The login exchange of the program lock. A terminal asks once and checks; a dialog may stay
// open and check again after a wrong entry, replying with the last check.
class LoginAnswerer
{
public:
    virtual ~LoginAnswerer() = default;
    virtual LoginReply answer(const LoginLock& lock, const LoginPlan& plan, const LoginEntryCheck& check) = 0;
};

enum class OpenOutcome
{
    Opened,
    SettingsPathIsFolder, // a path given for this run names a folder
    QuestionUnanswered,   // locating the file needed an answer nobody could give
    LoginCancelled,
    LoginUnanswered,
    LoginRefused,  // login holds the failed check (its message id)
    DamagedSecret, // the one-time-code secret is missing or damaged
};

struct OpenResult
{
    OpenOutcome outcome = OpenOutcome::Opened;
    LoginCheckResult login;
    bool opened() const { return outcome == OpenOutcome::Opened; }
};

class AppSession
{
public:
    AppSession(Prompter& prompter, LoginAnswerer& login, Clock clock = std::chrono::system_clock::now);
    ~AppSession();
    AppSession(const AppSession&) = delete;
    AppSession& operator=(const AppSession&) = delete;

    // Where the settings file is looked for: a path for this run only (the registry is then
    // neither read nor written), else the registry's "ConfigFile", else defaultPath.
    void setSettingsPathForRun(std::filesystem::path path) { m_pathForRun = std::move(path); }
    void setRegistryFile(std::filesystem::path path) { m_registryFile = std::move(path); }
    void setDefaultSettingsPath(std::filesystem::path path) { m_defaultSettingsPath = std::move(path); }

    // Locates and validates the settings file, then passes the program lock; in that order.
    OpenResult open();

    // After open: wires the drive services over host.
    void startDrives(std::shared_ptr<host::DriveHost> host);

    const settings::SettingsFile& settings() const { return *m_settings; }
    const std::filesystem::path& settingsPath() const { return m_settings->path(); }
    // The settings file was moved (the settings window's OK): every flow uses the new place.
    void relocateSettings(std::filesystem::path path) { m_settings->relocate(std::move(path)); }
    LoginLayerState loginLayer() const { return m_loginLayer; }
    Prompter& prompter() { return m_prompter; }

    // After startDrives.
    drives::DriveServices& services() { return *m_services; }
    host::DriveHost& host() { return *m_host; }
    const std::shared_ptr<host::DriveHost>& sharedHost() const { return m_host; }
    drives::MountedDrives& mounted() { return m_mounted; }
    drives::DriveListModel& rows() { return m_rows; }
    bool drivesStarted() const { return m_services != nullptr; }

private:
    std::optional<std::filesystem::path> locate(OpenResult& result);
    OpenResult passProgramLock();

    Prompter& m_prompter;
    LoginAnswerer& m_login;
    Clock m_clock;
    std::optional<std::filesystem::path> m_pathForRun;
    std::filesystem::path m_registryFile;
    std::filesystem::path m_defaultSettingsPath;
    std::optional<settings::SettingsFile> m_settings;
    LoginLayerState m_loginLayer;
    std::shared_ptr<host::DriveHost> m_host;
    drives::MountedDrives m_mounted;
    drives::DriveListModel m_rows;
    std::unique_ptr<drives::DriveServices> m_services;
};

} // namespace kestrava::session
