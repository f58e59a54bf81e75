#include "core/update/ProgramUpdate.h"

#include "core/access/ProgramValues.h"
#include "core/app/ActivityLog.h"
#include "core/update/InstallerStart.h"
#include "core/update/UpdateBuildSettings.h"
#include "core/update/Version.h"

#include <unistd.h>

namespace kestrava::update {
namespace {

void removeDownload(const std::filesystem::path& installer)
{
    ::unlink(installer.c_str());
    ::unlink(signaturePathFor(installer).c_str());
}

} // namespace

UpdateSite builtInUpdateSite()
{
    return UpdateSite{kUpdateBaseUrl, ownVersionText(), builtInPublisher(), kUpdateLink, temporaryFolder()};
}

ProgramUpdate::ProgramUpdate(Prompter& prompter, HttpClient& http, UpdateSite site)
    : m_prompter(prompter), m_http(http), m_site(std::move(site)), m_start(startDetached)
{
}

UpdateRunResult ProgramUpdate::run(const UpdateRunOptions& options, ProgramValues& settings)
{
    writeLog("startProgramUpdate: %s - ManualUpdate(%d)", m_site.baseUrl.substr(0, 4).c_str(),
             options.manual ? 1 : 0);
    UpdateRunResult result;
    if (!options.manual && (!settings.readable() || settings.get("AutoUpdate").value_or("") != "Y")) {
        result.end = UpdateEnd::NotEnabled;
        return result;
    }
    result.check = checkForUpdate(m_http, m_site.baseUrl, m_site.ownVersion);
    if (result.check.result != CheckResult::UpdateAvailable) {
        reportNoUpdate(options, result.check);
        return result;
    }
    return offerAndDownload(options, std::move(result));
}

UpdateRunResult ProgramUpdate::offerAndDownload(const UpdateRunOptions& options, UpdateRunResult result)
{
    const std::string& version = result.check.remoteVersion;
    if (!m_site.publisher) {
        // Nothing this build cannot verify is downloaded or run: the user gets the page instead.
        m_prompter.messageBox(kMsgDownloadPageOnly, {version, m_site.downloadPage}, Buttons::OK,
                              Icon::Information);
        result.end = UpdateEnd::DownloadPageOnly;
        reportNoUpdate(options, result.check);
        return result;
    }
    if (options.askBeforeDownload && m_prompter.messageBox(kMsgUpdateAvailable, {version}, Buttons::YesNo,
                                                           Icon::Question) != Button::Yes) {
        result.check.result = CheckResult::Declined;
        reportNoUpdate(options, result.check);
        return result;
    }
    if (m_window != nullptr) {
        m_window->open(version);
    }
    result.download = downloadInstaller(m_http, m_site.baseUrl, version, m_site.downloadFolder,
                                        [this](const DownloadProgress& progress) {
                                            if (m_window != nullptr) {
                                                m_window->progress(progress);
                                            }
                                        });
    if (m_window != nullptr) {
        m_window->close();
    }
    if (!result.download->ok) {
        writeLog("!startProgramUpdate: download failed: %s",
                 describeDownloadFailure(*result.download).c_str());
        result.check.result = CheckResult::DownloadFailed;
        reportNoUpdate(options, result.check);
        return result;
    }
    return install(options, std::move(result));
}

UpdateRunResult ProgramUpdate::install(const UpdateRunOptions& options, UpdateRunResult result)
{
    const std::filesystem::path& installer = result.download->file;
    const SignatureCheck check = checkCodeSignature(installer, *m_site.publisher);
    if (check != SignatureCheck::Valid) {
        writeLog("!startProgramUpdate: %s: %s", installer.c_str(), describeSignatureCheck(check).c_str());
        removeDownload(installer);
        m_prompter.messageBox(kMsgSignatureFailed, {}, Buttons::OK, Icon::Error);
        result.end = UpdateEnd::SignatureFailed;
        return result;
    }
    result.end = UpdateEnd::Kept;
    if (options.installer == InstallerStep::Keep ||
        (options.installer == InstallerStep::Ask &&
         m_prompter.messageBox(kMsgRunSetup, {}, Buttons::OKCancel, Icon::Information) != Button::OK)) {
        return result;
    }
    writeLog("startProgramUpdate: ShellExecute(%s)", installer.c_str());
    if (!m_start(installer, result.error)) {
        writeLog("!startProgramUpdate: %s could not be started: %s", installer.c_str(), result.error.c_str());
        result.end = UpdateEnd::InstallerNotStarted;
        m_prompter.messageBox(kMsgSetupNotStarted, {installer.string(), result.error}, Buttons::OK,
                              Icon::Error);
        return result;
    }
    result.end = UpdateEnd::InstallerStarted;
    if (m_exit) {
        m_exit();
    }
    return result;
}

void ProgramUpdate::reportNoUpdate(const UpdateRunOptions& options, const CheckOutcome& check)
{
    // Compared as plain text, as it always was: a declined 1.2.10.0 while running 1.2.9.0
    // still says there is nothing new.
    if (options.manual && options.noUpdateMessage && m_site.ownVersion >= check.remoteVersion) {
        m_prompter.messageBox(kMsgNoUpdate, {}, Buttons::OK, Icon::Information);
    }
    writeLog("startProgramUpdate: No update available!");
}

} // namespace kestrava::update
