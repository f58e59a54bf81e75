#include "core/access/DrivePasswordCheck.h"

#include "core/access/LegacyCodePage.h"
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
    auto drivePassword = drivePasswordOpening(token::tokenPathFor(backingFolder), typed);
    if (!drivePassword) {
        result.messageId = kMsgIncorrectPassword;
        return result;
    }
    result.accepted = true;
    result.drivePassword = std::move(*drivePassword);
    return result;
}

} // namespace kestrava
