#include "core/settings/SettingsLocation.h"

#include "core/app/ActivityLog.h"
#include "core/app/Prompter.h"
#include "core/settings/Paths.h"
#include "core/util/AtomicFile.h"

#include <system_error>

namespace kestrava::settings {
namespace {

// Why a configured path cannot be used as it is: a message id, or 0 when it names a
// readable file.
int problemWith(const std::filesystem::path& path, std::string& reason)
{
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::not_found) {
        const auto parent = path.parent_path();
        if (!parent.empty() && !std::filesystem::is_directory(parent, ec)) {
            return kMsgSettingsNoFolder;
        }
        return kMsgSettingsNotFound;
    }
    if (status.type() == std::filesystem::file_type::directory) {
        return kMsgSettingsIsFolder;
    }
    std::string contents;
    if (!util::readSmallFile(path, kMaxSettingsBytes, contents, reason)) {
        return kMsgSettingsUnreadable;
    }
    return 0;
}

} // namespace

LocatedSettings locateSettingsFile(UserRegistry& registry, Prompter& prompter,
                                   const std::filesystem::path& defaultPath)
{
    LocatedSettings located;
    std::string configured;
    if (settingsRegistry(registry, RegistryMode::ReadConfigFile, configured)) {
        std::string reason;
        const int problem = problemWith(configured, reason);
        if (problem == 0) {
            located.path = configured;
            located.configured = true;
            return located;
        }
        writeLog("!locateSettingsFile: %s: %s", configured.c_str(),
                 reason.empty() ? "not found" : reason.c_str());
        std::vector<std::string> args{configured};
        if (problem == kMsgSettingsUnreadable) {
            args.push_back(reason);
        }
        switch (prompter.messageBox(problem, args, Buttons::YesNo, Icon::Error)) {
        case Button::No:
        case Button::Cancel:
            // The file will be created there by the first write.
            located.path = configured;
            located.configured = true;
            return located;
        case Button::Unavailable:
            located.unanswered = true;
            return located;
        case Button::Yes:
        case Button::OK:
            settingsRegistry(registry, RegistryMode::DeleteSection, configured);
            break;
        }
    }
    located.path = defaultPath;
    return located;
}

ValidationResult validateSettingsAtStart(const SettingsFile& settings, Prompter& prompter)
{
    ValidationResult result;
    if (!settings.exists()) {
        return result;
    }
    result.checked = true;
    if (settings.verifySettingsDigest()) {
        return result;
    }
    result.corrupted = true;
    writeLog("!verifySettingsDigest: %s", settings.path().c_str());
    prompter.messageBox(kMsgSettingsCorrupted, {}, Buttons::OK, Icon::Error);
    // Every record's password goes in one cycle, so a concurrent writer cannot slip between
    // the removals and a record that appears twice loses its password too.
    settings.update(
        [&](SettingsDocument& document) {
            const std::vector<DriveRecord> records = document.records();
            if (records.empty()) {
                return Change::Discard;
            }
            for (std::size_t i = 0; i < records.size(); ++i) {
                writeLog("RemoveDrivePwd: %s - %s", records[i].folder.c_str(), records[i].letter.c_str());
                if (document.removeRecordAttribute(i, "pwd")) {
                    ++result.passwordsRemoved;
                }
                writeLog("RemoveDrivePwd Removed: %s - %s", records[i].folder.c_str(),
                         records[i].letter.c_str());
            }
            return Change::Save;
        },
        false);
    return result;
}

std::filesystem::path useDefaultSettingsLocation(UserRegistry& registry,
                                                 const std::filesystem::path& defaultPath)
{
    std::string unused;
    settingsRegistry(registry, RegistryMode::DeleteSection, unused);
    return defaultPath;
}

std::filesystem::path useSettingsFolder(UserRegistry& registry, const std::filesystem::path& folder)
{
    std::string path = (folder / paths::kSettingsFileName).string();
    if (!settingsRegistry(registry, RegistryMode::WriteConfigFile, path)) {
        return {};
    }
    return path;
}

bool storeSettingsLocation(UserRegistry& registry, const std::filesystem::path& settingsPath,
                           const std::filesystem::path& defaultPath)
{
    std::string path = settingsPath.string();
    if (settingsPath.lexically_normal() == defaultPath.lexically_normal()) {
        return settingsRegistry(registry, RegistryMode::DeleteSection, path);
    }
    return settingsRegistry(registry, RegistryMode::WriteConfigFile, path);
}

} // namespace kestrava::settings
