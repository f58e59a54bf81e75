// The password-strength meter shown under every new-password field (login password and drives).
#pragma once

#include <string>
#include <string_view>

namespace kestrava {

inline constexpr int kMsgStrengthWeak = 37;
inline constexpr int kMsgStrengthGood = 38;
inline constexpr int kMsgStrengthStrong = 39;
inline constexpr int kMsgStrengthTooShort = 40;
inline constexpr int kMsgStrengthCaption = 41; // "Password: "
inline constexpr int kMaxPasswordStrengthScore = 135;

struct PasswordStrength
{
    int score = 0;                      // the bar's position, 0 to 135
    int labelId = kMsgStrengthTooShort; // 37, 38, 39 or 40
};

// Rates UTF-8 text: points for each character class present and for length, minus points
// for a character repeated three times and for a run of three alphabet or digit characters.
// Only the first 259 characters count; characters outside ASCII belong to no class.
PasswordStrength ratePasswordStrength(std::string_view text);

// What the bar shows: "Password: " followed by the label.
std::string passwordStrengthCaption(const PasswordStrength& strength);

} // namespace kestrava
