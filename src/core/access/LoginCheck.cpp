#include "core/access/LoginCheck.h"

#include "core/access/LoginPassword.h"
#include "core/access/PasswordRule.h"
#include "core/app/ActivityLog.h"

#include <algorithm>

namespace kestrava {
namespace {

constexpr int kMsgLoginTitle = 157;
constexpr int kMsgLoginMessage = 158;
constexpr int kMsgCodeOnlyTitle = 116;
constexpr int kMsgCodeOnlyMessage = 117;

bool isSixDigits(std::string_view code)
{
    return code.size() == kOneTimeCodeDigits &&
           std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; });
}

LoginCheckResult refused(LoginField field, int messageId)
{
    LoginCheckResult result;
    result.field = field;
    result.messageId = messageId;
    return result;
}

} // namespace

LoginLock loadLoginLock(ProgramValues& values)
{
    LoginLock lock;
    lock.storedLoginPassword = loadLoginPassword(values);
    lock.googleAuth = loadGoogleAuth(values);
    // An unreadable file reads as no lock; the switch's log line shows what was read.
    lock.enableKestravaPwd = values.get(kEnableKestravaPwdValue).value_or("ERROR!");
    writeLog("getKestravaXmlValue: %s", lock.enableKestravaPwd.c_str());
    writeLog("GetEnableGoogleAuth: %d", lock.googleAuth.enabled ? 1 : 0);
    return lock;
}

LoginPlan planLogin(const LoginLock& lock)
{
    LoginPlan plan;
    plan.locked = lock.enableKestravaPwd == "Y" || lock.googleAuth.enabled;
    if (!plan.locked) {
        return plan;
    }
    plan.askCode = lock.googleAuth.enabled;
    plan.askPassword = lock.enableKestravaPwd != "N";
    plan.checkPassword = plan.askPassword && !lock.storedLoginPassword.empty();
    plan.titleId = plan.askPassword ? kMsgLoginTitle : kMsgCodeOnlyTitle;
    plan.messageId = plan.askPassword ? kMsgLoginMessage : kMsgCodeOnlyMessage;
    return plan;
}

LoginCheckResult checkLoginEntries(const LoginLock& lock, const LoginPlan& plan, const LoginEntries& entries,
                                   std::chrono::system_clock::time_point now)
{
    if (!plan.locked) {
        return {true, false, LoginField::None, 0};
    }
    if (plan.checkPassword) {
        if (entries.password.empty()) {
            return refused(LoginField::Password, kMsgPasswordTooShort);
        }
        if (!verifyLoginPassword(lock.storedLoginPassword, entries.password)) {
            return refused(LoginField::Password, kMsgIncorrectPassword);
        }
    }
    if (plan.askCode) {
        if (entries.code.size() != kOneTimeCodeDigits) {
            return refused(LoginField::Code, kMsgPasswordTooShort);
        }
        if (!isSixDigits(entries.code)) {
            return refused(LoginField::Code, kMsgIncorrectPassword);
        }
        switch (verifyGoogleAuthCode(entries.code, {}, lock.googleAuth, now)) {
        case CodeCheck::Accepted:
            break;
        case CodeCheck::Refused:
            return refused(LoginField::Code, kMsgIncorrectPassword);
        case CodeCheck::DamagedSecret: {
            LoginCheckResult result = refused(LoginField::Code, kMsgCannotLoadSettings);
            result.damagedSecret = true;
            return result;
        }
        }
    }
    return {true, false, LoginField::None, 0};
}

LoginLayerState runStateAfterLogin(const LoginLock& lock)
{
    LoginLayerState state;
    state.storedLoginPassword = lock.storedLoginPassword;
    state.googleAuthSecret = std::string(lock.googleAuth.secret);
    state.loginPasswordActive = lock.enableKestravaPwd == "Y";
    state.googleAuthActive = lock.googleAuth.enabled;
    return state;
}

} // namespace kestrava
