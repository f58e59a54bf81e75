#include "core/access/LoginPassword.h"

#include "core/access/PasswordRule.h"
#include "core/app/ActivityLog.h"
#include "core/app/StringTable.h"
#include "core/settings/SavedPasswords.h"
#include "core/token/ProtectedForm.h"
#include "core/util/Redact.h"

namespace kestrava {
namespace {

constexpr int kMsgLoginPasswordTooLong = 1346; // "... may have at most %s characters."

} // namespace

std::string protectLoginPassword(std::string_view password)
{
    crypto::SecureString marked = crypto::makeSecureString(kLoginPasswordMarker);
    marked.append(password.data(), password.size());
    return token::protectText(marked);
}

bool verifyLoginPassword(std::string_view stored, std::string_view typed)
{
    const crypto::SecureString plain = token::unprotectText(stored);
    crypto::SecureString expected = crypto::makeSecureString(kLoginPasswordMarker);
    expected.append(typed.data(), typed.size());
    return std::string_view(plain) == std::string_view(expected);
}

std::string loadLoginPassword(ProgramValues& values)
{
    return values.get(kKestravaPwdValue).value_or("");
}

std::optional<std::string> saveLoginPassword(ProgramValues& values, std::string_view password)
{
    if (password.empty()) {
        return std::nullopt;
    }
    std::string stored = protectLoginPassword(password);
    const bool saved = values.apply({{std::string(kKestravaPwdValue), stored, {}},
                                     {std::string(kEnableKestravaPwdValue), std::string("Y"), {}}});
    writeLog("saveLoginPassword: %s (%s)", saved ? "saved" : "!not saved", util::redact(stored).c_str());
    if (!saved) {
        return std::nullopt;
    }
    return stored;
}

bool setLoginPasswordRequired(ProgramValues& values, bool required)
{
    return values.set(kEnableKestravaPwdValue, required ? "Y" : "N");
}

bool clearLoginPassword(ProgramValues& values)
{
    return values.apply({{std::string(kKestravaPwdValue), std::nullopt, {}},
                         {std::string(kEnableKestravaPwdValue), std::nullopt, {}}});
}

int checkLoginPasswordChange(std::string_view stored, std::string_view current, std::string_view newPassword,
                             std::string_view confirmation)
{
    if (const int rule = checkNewPassword(newPassword, confirmation); rule != 0) {
        return rule;
    }
    if (countCharacters(newPassword) > kMaxLoginPasswordCharacters ||
        kLoginPasswordMarker.size() + newPassword.size() > token::kMaxProtectedInput ||
        newPassword.find('\0') != std::string_view::npos) {
        return kLoginPasswordTooLong;
    }
    if (!stored.empty() && !verifyLoginPassword(stored, current)) {
        return kMsgIncorrectPassword;
    }
    return 0;
}

std::string loginPasswordChangeMessage(int refusal)
{
    if (refusal == kLoginPasswordTooLong) {
        return formatAppString(loadAppString(kMsgLoginPasswordTooLong),
                               {std::to_string(kMaxLoginPasswordCharacters)});
    }
    return loadAppString(refusal);
}

} // namespace kestrava
