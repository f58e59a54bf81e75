#include "core/drives/TokenBackup.h"

#include "core/app/ActivityLog.h"
#include "core/app/Prompter.h"
#include "core/app/StringTable.h"
#include "core/drives/DriveMessages.h"
#include "core/token/DriveContext.h"
#include "core/util/AsciiText.h"
#include "core/util/AtomicFile.h"

#include <array>
#include <cctype>
#include <iomanip>
#include <locale>
#include <sstream>

namespace kestrava::drives {
namespace {

constexpr std::size_t kMaxTokenBytes = 64 * 1024;

} // namespace

std::string defaultBackupName(std::string_view label, const std::tm& date)
{
    // Month names from the C locale, so the name does not change with the user's language.
    std::ostringstream stamp;
    stamp.imbue(std::locale::classic());
    stamp << std::put_time(&date, "%y%b%d");
    return util::asciiLower(
        formatAppString(loadAppString(kMsgBackupName), {std::string(label), stamp.str()}));
}

std::string defaultBackupName(std::string_view label)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return defaultBackupName(label, local);
}

bool saveTokenCopy(Prompter& prompter, const std::filesystem::path& tokenPath,
                   const std::filesystem::path& target, std::string_view label)
{
    std::string contents;
    std::string error;
    bool saved = util::readSmallFile(tokenPath, kMaxTokenBytes, contents, error);
    if (saved) {
        const util::WriteResult result = util::writeFileAtomically(target, contents, 0600);
        saved = result.ok;
        error = result.message;
    }
    if (!saved) {
        writeLog("!BackupToken: %s -> %s - %s", tokenPath.c_str(), target.c_str(), error.c_str());
        prompter.messageBox(kMsgTokenSaveError, {}, Buttons::OK, Icon::Error);
        return false;
    }
    writeLog("BackupToken: %s -> %s", tokenPath.c_str(), target.c_str());
    prompter.messageBox(kMsgExported, {std::string(label), target.string()}, Buttons::OK, Icon::Information);
    return true;
}

bool backupSecurityToken(Prompter& prompter, const std::filesystem::path& folder, std::string_view label,
                         const std::filesystem::path& target)
{
    const std::filesystem::path tokenPath = token::tokenPathFor(folder);
    std::error_code ec;
    if (!std::filesystem::exists(tokenPath, ec)) {
        prompter.messageBox(kMsgTokenUnreadable, {tokenPath.string(), folder.string(), std::string(label)},
                            Buttons::OK, Icon::Error);
        return false;
    }
    return saveTokenCopy(prompter, tokenPath, target, label);
}

} // namespace kestrava::drives
