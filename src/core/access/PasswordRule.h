// The rule every new drive or login password must pass.
#pragma once

#include <string_view>

namespace kestrava {

inline constexpr int kMsgPasswordTooShort = 46; // "Error! Password needs to be at least 6 characters."
inline constexpr int kMsgPasswordMismatch = 47; // "Error! Password verification failed."
inline constexpr std::size_t kMinPasswordCharacters = 6;

// Counts characters, not bytes, of UTF-8 text.
std::size_t countCharacters(std::string_view utf8);

// 0 when the password has at least 6 characters and equals a non-empty confirmation;
// otherwise the id of the message that says what is wrong.
int checkNewPassword(std::string_view password, std::string_view confirmation);

} // namespace kestrava
