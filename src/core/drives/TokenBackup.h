// Copies of a drive's security token that the user keeps somewhere safe.
#pragma once

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

namespace kestrava {
class Prompter;
}

namespace kestrava::drives {

// "kestrava_backup_(<label>)<yymmmdd>.xml" in lower case, e.g. kestrava_backup_(my drive)14mar05.xml.
std::string defaultBackupName(std::string_view label, const std::tm& date);
std::string defaultBackupName(std::string_view label); // today

// A copy of the token at tokenPath to target, replacing any file there (written whole, mode
// 0600: a token is as sensitive as the data it opens). Reports the outcome: message 153 on
// failure, 43 on success. True when the copy is in place.
bool saveTokenCopy(Prompter& prompter, const std::filesystem::path& tokenPath,
                   const std::filesystem::path& target, std::string_view label);

// "Backup Security Token" of the drive list: the folder's token must exist (message 30
// otherwise); then the copy as above.
bool backupSecurityToken(Prompter& prompter, const std::filesystem::path& folder, std::string_view label,
                         const std::filesystem::path& target);

} // namespace kestrava::drives
