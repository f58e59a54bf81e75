// Passwords of drives made on Windows. There the typed password is converted to the system's
// ANSI code page before it is hashed into the drive password, so a password with characters
// outside ASCII ("café") gives another drive password there than its UTF-8 form gives here.
// Unlocking a drive of the compatible format therefore tries the UTF-8 form and then the
// code-page form (Windows-1252 unless another code page is chosen); new compatible drives and
// password changes are written in the code-page form when every character fits, so that the
// drive opens on Windows too, and in UTF-8 otherwise.
#pragma once

#include "core/token/DriveFormat.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava {

// The settings value that chooses the code page (other readers of the settings file ignore it).
inline constexpr std::string_view kLegacyCodePageSetting = "LegacyCodePage";
inline constexpr std::string_view kDefaultLegacyCodePage = "1252";

// A code page as given ("1252", "cp1251", "windows-1250", "CP932"): its number, or nothing when
// it is not one this system can convert to (1252 is built in; others need the C library's iconv).
std::optional<std::string> normalizeCodePage(std::string_view name);

// The process's choice: --legacy-codepage overrides the settings value, which overrides 1252.
// Both take a normalised number; empty clears.
void setLegacyCodePageOverride(std::string codePage);
void setLegacyCodePageSetting(std::string codePage);
std::string legacyCodePage();

// The UTF-8 text in the code page; nothing when a character does not fit or the text is not
// UTF-8.
std::optional<std::string> toCodePage(std::string_view utf8, std::string_view codePage);

// The drive passwords to try for a typed password, in order: the UTF-8 form, then the
// code-page form when it differs.
std::vector<std::string> drivePasswordCandidates(std::string_view typed);

// The drive password a new token or a password change is written with. Hardened drives never
// open on Windows, so they always take the UTF-8 form.
std::string drivePasswordForNewToken(std::string_view typed,
                                     token::DriveFormat format = token::DriveFormat::Compatible);

// The candidate that opens the token at tokenPath; nothing when none does (or it does not read).
std::optional<std::string> drivePasswordOpening(const std::filesystem::path& tokenPath,
                                                std::string_view typed);

// The form that opens the token at tokenPath, else the UTF-8 form (whose failure the caller
// then meets and reports as before).
std::string drivePasswordFor(const std::filesystem::path& tokenPath, std::string_view typed);

} // namespace kestrava
