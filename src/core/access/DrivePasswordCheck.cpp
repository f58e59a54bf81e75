#include "core/access/DrivePasswordCheck.h"

#include "core/access/LoginPassword.h"
#include "core/access/PasswordRule.h"
#include "core/settings/SavedPasswords.h"
#include "core/token/DriveContext.h"

namespace kestrava {

DrivePasswordCheck checkDrivePassword(const std::filesystem::path& backingFolder, std::string_view typed)
{
    DrivePasswordCheck result;
    if (typed.empty()) {
        result.messageId = kMsgPasswordTooShort;
        return result;
    }
    std::string drivePassword = hashStr(typed);
    token::DriveContext probe(drivePassword);
    if (probe.unlock(token::tokenPathFor(backingFolder)) != token::TokenLoadStatus::Loaded) {
        result.messageId = kMsgIncorrectPassword;
        return result;
    }
    result.accepted = true;
    result.drivePassword = std::move(drivePassword);
    return result;
}

} // namespace kestrava
