#include "core/session/AppSession.h"

#include "core/access/LegacyCodePage.h"
#include "core/app/ActivityLog.h"
#include "core/drives/CloudFolders.h"
#include "core/settings/Paths.h"
#include "core/settings/SettingsLocation.h"
#include "core/settings/SettingsProgramValues.h"
#include "core/settings/UserRegistry.h"

#include <system_error>

namespace kestrava::session {

AppSession::AppSession(Prompter& prompter, LoginAnswerer& login, Clock clock)
    : m_prompter(prompter), m_login(login), m_clock(std::move(clock)),
      m_registryFile(paths::registryFilePath()), m_defaultSettingsPath(paths::defaultSettingsPath())
{
}

AppSession::~AppSession() = default;

std::optional<std::filesystem::path> AppSession::locate(OpenResult& result)
{
    if (m_pathForRun) {
        std::error_code ec;
        const auto absolute = std::filesystem::absolute(*m_pathForRun, ec);
        const std::filesystem::path path = ec ? *m_pathForRun : absolute;
        if (std::filesystem::is_directory(path, ec)) {
            result.outcome = OpenOutcome::SettingsPathIsFolder;
            return std::nullopt;
        }
        return path;
    }
    settings::UserRegistry registry(m_registryFile);
    const settings::LocatedSettings located =
        settings::locateSettingsFile(registry, m_prompter, m_defaultSettingsPath);
    if (located.unanswered) {
        result.outcome = OpenOutcome::QuestionUnanswered;
        return std::nullopt;
    }
    return located.path;
}

OpenResult AppSession::open()
{
    OpenResult result;
    const auto path = locate(result);
    if (!path) {
        return result;
    }
    writeLog("checkConfigFile: %s", path->c_str());
    m_settings.emplace(*path);
    settings::validateSettingsAtStart(*m_settings, m_prompter);
    const std::string codePage = m_settings->getKestravaXmlValue(kLegacyCodePageSetting);
    setLegacyCodePageSetting(normalizeCodePage(codePage).value_or(""));
    // The lock comes after the file's check: its values live in that file.
    return passProgramLock();
}

OpenResult AppSession::passProgramLock()
{
    OpenResult result;
    settings::SettingsProgramValues values(*m_settings);
    const LoginLock lock = loadLoginLock(values);
    const LoginPlan plan = planLogin(lock);
    m_loginLayer = LoginLayerState{};
    if (!plan.locked) {
        return result;
    }
    const LoginEntryCheck check = [&lock, &plan, this](const LoginEntries& entries) {
        return checkLoginEntries(lock, plan, entries, m_clock());
    };
    const LoginReply reply = m_login.answer(lock, plan, check);
    result.login = reply.result;
    if (reply.outcome == LoginReply::Outcome::Cancelled) {
        writeLog("Login: cancelled");
        result.outcome = OpenOutcome::LoginCancelled;
        return result;
    }
    if (reply.outcome == LoginReply::Outcome::Unanswered) {
        result.outcome = OpenOutcome::LoginUnanswered;
        return result;
    }
    if (reply.result.damagedSecret) {
        writeLog("!Login: the one-time-code secret is missing or damaged");
        result.outcome = OpenOutcome::DamagedSecret;
        return result;
    }
    if (!reply.result.opened) {
        writeLog("!Login: %s refused",
                 reply.result.field == LoginField::Code ? "one-time code" : "login password");
        result.outcome = OpenOutcome::LoginRefused;
        return result;
    }
    m_loginLayer = runStateAfterLogin(lock);
    writeLog("Login: unlocked (password %d, code %d)", m_loginLayer.loginPasswordActive ? 1 : 0,
             m_loginLayer.googleAuthActive ? 1 : 0);
    return result;
}

void AppSession::startDrives(std::shared_ptr<host::DriveHost> host)
{
    m_host = std::move(host);
    m_services = std::make_unique<drives::DriveServices>(
        drives::DriveServices{*m_settings, m_prompter, *m_host, m_mounted, m_rows});
    // Remembered passwords stored under the login layer are read back with it.
    m_services->loginLayer = m_loginLayer;
    // Row icons name the cloud client whose folder holds the drive.
    m_services->cloudFolders = drives::cloudFolderLookup();
}

} // namespace kestrava::session
