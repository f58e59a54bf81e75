// The whole program update: the check, the offer, the download with its progress window, the
// signature check and the start of the installer. Runs on a worker thread and talks to the
// user only through the Prompter and the download window.
#pragma once

#include "core/app/Prompter.h"
#include "core/update/CodeSignature.h"
#include "core/update/InstallerDownload.h"
#include "core/update/UpdateCheck.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace kestrava {
class ProgramValues;
}

namespace kestrava::update {

inline constexpr int kMsgUpdateAvailable = 110;
inline constexpr int kMsgRunSetup = 111;
inline constexpr int kMsgNoUpdate = 113;
inline constexpr int kCaptionDownloading = 246;
inline constexpr int kMsgSignatureFailed = 341;
inline constexpr int kMsgDownloadPageOnly = 1550;
inline constexpr int kTextBytesReceived = 1551;
inline constexpr int kMsgSetupNotStarted = 1552;

// Where updates come from and who signs them (the build's settings, or a test's).
struct UpdateSite
{
    std::string baseUrl;
    std::string ownVersion;
    std::optional<Publisher> publisher; // nothing: only the download page is offered
    std::string downloadPage;
    std::filesystem::path downloadFolder;
};

UpdateSite builtInUpdateSite();

// The progress window. Called from the flow's thread; the front end closing the window raises
// the HTTP client's cancel flag.
class DownloadWindow
{
public:
    virtual ~DownloadWindow() = default;
    virtual void open(const std::string& version) = 0;
    virtual void progress(const DownloadProgress& progress) = 0;
    virtual void close() = 0;
};

enum class InstallerStep
{
    Ask,  // question 111; OK starts the installer and ends the program
    Run,  // start it without asking
    Keep, // leave it in place
};

struct UpdateRunOptions
{
    bool manual = false;           // asked by hand: runs whatever "AutoUpdate" says
    bool askBeforeDownload = true; // question 110
    InstallerStep installer = InstallerStep::Ask;
    bool noUpdateMessage = true; // message 113 after a manual check that found nothing to install
};

enum class UpdateEnd
{
    NotEnabled,       // automatic check with "AutoUpdate" not "Y"
    NoUpdate,         // the check or the download ended without an installer
    DownloadPageOnly, // no key built in: the download page was shown
    SignatureFailed,  // the installer was deleted
    Kept,             // verified and left in place
    InstallerStarted,
    InstallerNotStarted,
};

struct UpdateRunResult
{
    UpdateEnd end = UpdateEnd::NoUpdate;
    CheckOutcome check;
    std::optional<DownloadOutcome> download;
    std::string error; // why the installer could not be started
};

class ProgramUpdate
{
public:
    using Starter = std::function<bool(const std::filesystem::path& installer, std::string& error)>;

    ProgramUpdate(Prompter& prompter, HttpClient& http, UpdateSite site);

    void setDownloadWindow(DownloadWindow* window) { m_window = window; }
    // How the installer is started (detached by default) and how the program then ends (the
    // desktop app's orderly exit; nothing for the CLI).
    void setInstallerStarter(Starter starter) { m_start = std::move(starter); }
    void setExitProgram(std::function<void()> exitProgram) { m_exit = std::move(exitProgram); }

    // The update run; settings gives "AutoUpdate" for an automatic check.
    UpdateRunResult run(const UpdateRunOptions& options, ProgramValues& settings);

private:
    UpdateRunResult offerAndDownload(const UpdateRunOptions& options, UpdateRunResult result);
    UpdateRunResult install(const UpdateRunOptions& options, UpdateRunResult result);
    void reportNoUpdate(const UpdateRunOptions& options, const CheckOutcome& check);

    Prompter& m_prompter;
    HttpClient& m_http;
    UpdateSite m_site;
    DownloadWindow* m_window = nullptr;
    Starter m_start;
    std::function<void()> m_exit;
};

} // namespace kestrava::update
