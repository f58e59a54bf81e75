// Pairing with an authenticator app: the shared secret, where it is stored, the address the
// app scans, and the check of a typed one-time code.
#pragma once

#include "core/access/OneTimeCode.h"
#include "core/access/ProgramValues.h"
#include "core/crypto/SecureBytes.h"

#include <chrono>
#include <string>
#include <string_view>

namespace kestrava {

inline constexpr std::string_view kEnableGoogleAuthValue = "EnableGoogleAuth";
inline constexpr std::string_view kGoogleAuthKeyValue = "GoogleAuthKey";
inline constexpr std::string_view kKeyNameAttribute = "KeyName";
inline constexpr std::string_view kDefaultAccountName = "Kestrava";
inline constexpr std::size_t kMaxAccountNameCharacters = 127;
inline constexpr std::size_t kMaxStoredSecretBytes = 32;
inline constexpr std::size_t kUsedSecretCharacters = 16;
inline constexpr int kMsgCannotLoadSettings = 53; // "Error! Cannot load the configuration file: %s."
// The desktop app ends with this code when a stored secret turns out to be damaged.
inline constexpr int kDamagedSecretExitCode = 0;

struct GoogleAuthState
{
    bool enabled = false;
    std::string accountName; // the "KeyName" attribute; may be empty
    crypto::SecureString secret = crypto::makeSecureString({});
};

// Enabled exactly when the stored text starts with "Y" ("Yes" counts, "y" does not).
bool isGoogleAuthEnabledText(std::string_view enableGoogleAuth);

// Reads the pairing state; a settings file that cannot be read gives the reset state.
GoogleAuthState loadGoogleAuth(ProgramValues& values);

enum class GoogleAuthPart
{
    SecretAndName, // "GoogleAuthKey" with its "KeyName"
    Enabled,       // "EnableGoogleAuth" = "Y" or "N"
};
bool saveGoogleAuth(ProgramValues& values, const GoogleAuthState& state, GoogleAuthPart part);

// Removes the pairing and the switch, as "Clear Key" does.
bool clearGoogleAuth(ProgramValues& values);

// The secret made from 16 bytes: their base64url text cut to 10 characters, then those 10
// bytes in base32 (16 characters). The key both sides use is those 10 ASCII bytes.
crypto::SecureString googleAuthSecretFromBytes(crypto::ByteView randomBytes);
// The same from 16 fresh random bytes.
crypto::SecureString generateGoogleAuthSecret();

// "otpauth://totp/" + account + "?secret=" + the secret's first 16 characters. Characters of
// the account name that would end the label (such as "?", "#", "&", "/" or a space) are
// percent-encoded so that a name cannot cut off or change the secret parameter.
std::string otpauthAddress(std::string_view accountName, std::string_view secret);

// The account name the pairing proposes: the stored one, or "Kestrava" when none is stored.
std::string proposedAccountName(const GoogleAuthState& state);

// The default label of a generated secret: "Kestrava-" + its first four characters.
std::string defaultAccountLabel(std::string_view secret);

// The label of the login prompt's one-time-code field, naming the paired account.
std::string oneTimeCodeFieldLabel(std::string_view accountName);

// Checks a typed code against the given secret, or the loaded one when it is empty.
CodeCheck verifyGoogleAuthCode(std::string_view typed, std::string_view secret, const GoogleAuthState& loaded,
                               std::chrono::system_clock::time_point now);

} // namespace kestrava
