#include "core/drives/TokenImport.h"

#include "core/app/ActivityLog.h"
#include "core/app/Prompter.h"
#include "core/drives/DriveMessages.h"
#include "core/drives/DriveValidation.h"

namespace kestrava::drives {

bool checkTokenImport(Prompter& prompter, const std::filesystem::path& file, std::string_view drivePassword,
                      const ImportAnnouncement& announcement, token::TokenOptions* optionsOut)
{
    token::DriveContext context(drivePassword);
    std::string error;
    const token::TokenLoadStatus status = context.loadTokenDetailed(file, !drivePassword.empty(), &error);
    const bool loaded = status == token::TokenLoadStatus::Loaded;
    writeLog("ImportToken: %s - loaded(%d), legacy(%d)", file.c_str(), loaded ? 1 : 0,
             context.isLegacy() ? 1 : 0);
    if (drivePassword.empty()) {
        if (loaded && context.isLegacy()) {
            prompter.messageBox(kMsgLegacyImport, {file.string()}, Buttons::OK, Icon::Error);
        } else if (!loaded) {
            writeLog("!ImportToken: %s", error.c_str());
            prompter.messageBox(kMsgImportReadFailed, {file.string()}, Buttons::OK, Icon::Error);
        }
    }
    if (!loaded) {
        return false;
    }
    if (optionsOut != nullptr) {
        *optionsOut = context.options();
    }
    if (!drivePassword.empty() && !context.VerifyCheckData()) {
        return false;
    }
    if (announcement.announce) {
        prompter.messageBox(kMsgImported, {file.string()}, Buttons::OK, Icon::Information);
    }
    return true;
}

TokenOffer offerExistingToken(const settings::SettingsFile& settings, Prompter& prompter,
                              const std::string& folder, ValidationState& state,
                              ImportAnnouncement& announcement, std::filesystem::path& importFile)
{
    if (!validateDriveLocation(settings, prompter, folder, kNotCompared, kNotCompared, false,
                               ValidationMode::Advanced, state)) {
        return TokenOffer::ValidationFailed;
    }
    const std::filesystem::path tokenPath = token::tokenPathFor(folder);
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(tokenPath, ec))) {
        return TokenOffer::NoToken;
    }
    const Button answer =
        prompter.messageBox(kMsgImportExisting, {tokenPath.string()}, Buttons::YesNo, Icon::Information);
    if (answer == Button::Unavailable) {
        return TokenOffer::Unanswered; // never replace a token without a clear No
    }
    if (answer != Button::Yes) {
        return TokenOffer::Declined;
    }
    announcement.announce = true;
    if (!checkTokenImport(prompter, tokenPath, {}, announcement)) {
        return TokenOffer::ImportFailed;
    }
    importFile = tokenPath;
    return TokenOffer::Adopted;
}

} // namespace kestrava::drives
