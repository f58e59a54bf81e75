#include "core/drives/TokenImport.h"

#include "core/app/ActivityLog.h"
#include "core/app/Prompter.h"
#include "core/drives/DriveMessages.h"
#include "core/drives/DriveValidation.h"
#include "core/token/TokenDocument.h"
#include "core/util/AtomicFile.h"

namespace kestrava::drives {
namespace {

constexpr std::size_t kMaxTokenBytes = 64 * 1024;

bool isLegacyTokenFile(const std::filesystem::path& file)
{
    std::string xml;
    std::string error;
    return util::readSmallFile(file, kMaxTokenBytes, xml, error) &&
           token::readTokenVersion(xml) == token::kLegacyTokenVersion;
}

} // namespace

bool checkTokenImport(Prompter& prompter, const std::filesystem::path& file, std::string_view drivePassword,
                      const ImportAnnouncement& announcement, token::TokenOptions* optionsOut)
{
    token::DriveContext context(drivePassword);
    std::string error;
    const token::TokenLoadStatus status = context.loadTokenDetailed(file, !drivePassword.empty(), &error);
    const bool loaded = status == token::TokenLoadStatus::Loaded;
    const bool legacy = loaded ? context.isLegacy() : isLegacyTokenFile(file);
    writeLog("ImportToken: %s - loaded(%d), legacy(%d)", file.c_str(), loaded ? 1 : 0, legacy ? 1 : 0);
    if (!loaded) {
        if (!drivePassword.empty()) {
            return false; // read as a wrong password, without a message
        }
        writeLog("!ImportToken: %s", error.c_str());
        if (!legacy) {
            messageBoxCaptioned(prompter, announcement.loadCaptionId, kMsgImportReadFailed, {file.string()},
                                Buttons::OK, Icon::Error);
            return false;
        }
        // An old-format token this version cannot read: said so, and left to the password
        // check, which it cannot pass.
        messageBoxCaptioned(prompter, announcement.loadCaptionId, kMsgLegacyImport, {file.string()},
                            Buttons::OK, Icon::Error);
    } else if (optionsOut != nullptr) {
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
