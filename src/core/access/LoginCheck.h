// The program lock checked before anything else runs: which entries are asked, how they are
// tested, and the run state that a successful check leaves for the rest of the run.
#pragma once

#include "core/access/GoogleAuth.h"
#include "core/access/ProgramValues.h"
#include "core/crypto/SecureBytes.h"
#include "core/settings/SavedPasswords.h"

#include <chrono>
#include <string>

namespace kestrava {

inline constexpr std::size_t kOneTimeCodeDigits = 6;

// What the start-up check reads from the settings file.
struct LoginLock
{
    std::string enableKestravaPwd;   // "EnableKestravaPwd" as stored ("Y", "N", other or empty)
    std::string storedLoginPassword; // "KestravaPwd"; empty when none is set
    GoogleAuthState googleAuth;
};

LoginLock loadLoginLock(ProgramValues& values);

// Which fields the login prompt shows, and its texts.
struct LoginPlan
{
    bool locked = false;        // the prompt is shown at all
    bool askPassword = false;   // the password field is shown
    bool checkPassword = false; // ...and tested: only when a password is stored
    bool askCode = false;       // the one-time-code field is shown
    int titleId = 0;            // 157, or 116 for the code alone
    int messageId = 0;          // 158, or 117 for the code alone
};

// Locked when "EnableKestravaPwd" is "Y" or one-time codes are enabled. The password field
// is hidden only when the switch reads "N"; with "Y" and no stored password any entry opens.
LoginPlan planLogin(const LoginLock& lock);

struct LoginEntries
{
    crypto::SecureString password = crypto::makeSecureString({});
    crypto::SecureString code = crypto::makeSecureString({});
};

enum class LoginField
{
    None,
    Password,
    Code,
};

struct LoginCheckResult
{
    bool opened = false;
    // The stored secret decodes to no key: report message 53 and end.
    bool damagedSecret = false;
    LoginField field = LoginField::None; // the entry that failed
    int messageId = 0;                   // 46 (empty password, code not 6 digits) or 152
};

// The prompt's OK: the password first (when tested), then the code; codes must be exactly
// six digits (the field takes nothing else).
LoginCheckResult checkLoginEntries(const LoginLock& lock, const LoginPlan& plan, const LoginEntries& entries,
                                   std::chrono::system_clock::time_point now);

// The run state after the lock opened: the login password counts when the switch is "Y",
// the one-time code when it is enabled. No lock gives the inactive state.
LoginLayerState runStateAfterLogin(const LoginLock& lock);

} // namespace kestrava
