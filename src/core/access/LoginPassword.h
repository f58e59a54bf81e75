// The program login password: its stored form in the settings file, the test of a typed
// password, and the rules for setting and changing it.
#pragma once

#include "core/access/ProgramValues.h"

#include <optional>
#include <string>
#include <string_view>

namespace kestrava {

inline constexpr std::string_view kKestravaPwdValue = "KestravaPwd";
inline constexpr std::string_view kEnableKestravaPwdValue = "EnableKestravaPwd";
inline constexpr int kMsgIncorrectPassword = 152; // "Error! Incorrect password!"
// The login prompt's field holds at most this many characters.
inline constexpr std::size_t kMaxLoginPasswordCharacters = 128;
// Refusal of a new login password that could not be stored whole (no message id of its own).
inline constexpr int kLoginPasswordTooLong = -1;

// The protected form of "$KTP$" + password.
std::string protectLoginPassword(std::string_view password);

// The stored text decrypted equals "$KTP$" + typed, exactly and case-sensitively. A stored
// text that does not decrypt to the marker never matches.
bool verifyLoginPassword(std::string_view stored, std::string_view typed);

// The "KestravaPwd" text; empty when the file cannot be read or the value is missing.
std::string loadLoginPassword(ProgramValues& values);

// Stores the password and switches the requirement on ("EnableKestravaPwd" = "Y") in one
// write; the new stored form, or nothing for an empty password or a failed write.
std::optional<std::string> saveLoginPassword(ProgramValues& values, std::string_view password);

// Switches the requirement on or off without touching the password.
bool setLoginPasswordRequired(ProgramValues& values, bool required);
// Removes the password and the switch, as "Clear Password" does.
bool clearLoginPassword(ProgramValues& values);

// The checks of a set or change, in the dialog's order: the new password must have at
// least 6 characters (46) and equal its confirmation (47); a stored password must be
// matched by the current one (152). A new password whose stored form would be cut (more
// than 128 characters, more than 255 bytes, or a zero byte) is refused with
// kLoginPasswordTooLong, since it could never be typed back. 0 when the change may go ahead.
int checkLoginPasswordChange(std::string_view stored, std::string_view current, std::string_view newPassword,
                             std::string_view confirmation);

// The text of a refusal from checkLoginPasswordChange.
std::string loginPasswordChangeMessage(int refusal);

} // namespace kestrava
