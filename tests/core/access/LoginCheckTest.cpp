#include "core/access/LoginCheck.h"

#include "MemoryProgramValues.h"
#include "core/access/Base32.h"
#include "core/access/LoginPassword.h"
#include "core/token/ProtectedForm.h"

#include <gtest/gtest.h>

namespace kestrava {
namespace {

using test::MemoryProgramValues;
using Clock = std::chrono::system_clock;

constexpr std::string_view kSecret = "GEZDGNBVGY3TQOJQ";
const Clock::time_point kNow = Clock::time_point(std::chrono::seconds(1111111109));
constexpr const char* kGoodCode = "343526"; // the code of kSecret at kNow
constexpr const char* kOldCode = "187998";  // three steps earlier

LoginLock lockFrom(MemoryProgramValues& values)
{
    return loadLoginLock(values);
}

void storePassword(MemoryProgramValues& values, const std::string& password)
{
    values.elements["KestravaPwd"].text = protectLoginPassword(password);
}

void storeCodes(MemoryProgramValues& values, std::string_view enable)
{
    values.elements["EnableGoogleAuth"].text = std::string(enable);
    values.elements["GoogleAuthKey"].text = token::protectText(kSecret);
    values.elements["GoogleAuthKey"].attributes["KeyName"] = "Desk";
}

LoginEntries entries(const std::string& password, const std::string& code)
{
    LoginEntries e;
    e.password = crypto::makeSecureString(password);
    e.code = crypto::makeSecureString(code);
    return e;
}

LoginCheckResult check(const LoginLock& lock, const std::string& password, const std::string& code)
{
    return checkLoginEntries(lock, planLogin(lock), entries(password, code), kNow);
}

TEST(LoginCheck, NoLockWithoutSwitches)
{
    MemoryProgramValues values;
    storePassword(values, "Secret1");
    values.elements["EnableKestravaPwd"].text = "N";
    storeCodes(values, "N");
    const LoginLock lock = lockFrom(values);
    EXPECT_FALSE(planLogin(lock).locked);
    EXPECT_TRUE(check(lock, "", "").opened);
    const LoginLayerState run = runStateAfterLogin(lock);
    EXPECT_FALSE(run.loginPasswordActive);
    EXPECT_FALSE(run.googleAuthActive);
    EXPECT_EQ(formatDrvPaswd(run), "");
}

TEST(LoginCheck, UnreadableSettingsMeanNoLock)
{
    MemoryProgramValues values;
    storePassword(values, "Secret1");
    values.elements["EnableKestravaPwd"].text = "Y";
    values.unreadable = true;
    const LoginLock lock = lockFrom(values);
    EXPECT_EQ(lock.enableKestravaPwd, "ERROR!");
    EXPECT_FALSE(planLogin(lock).locked);
}

TEST(LoginCheck, PasswordOnly)
{
    MemoryProgramValues values;
    storePassword(values, "Secret1");
    values.elements["EnableKestravaPwd"].text = "Y";
    const LoginLock lock = lockFrom(values);
    const LoginPlan plan = planLogin(lock);
    EXPECT_TRUE(plan.locked && plan.askPassword && plan.checkPassword);
    EXPECT_FALSE(plan.askCode);
    EXPECT_EQ(plan.titleId, 157);

    EXPECT_TRUE(check(lock, "Secret1", "").opened);
    const LoginCheckResult wrongCase = check(lock, "secret1", "");
    EXPECT_FALSE(wrongCase.opened);
    EXPECT_EQ(wrongCase.messageId, 152);
    EXPECT_EQ(wrongCase.field, LoginField::Password);
    EXPECT_EQ(check(lock, "", "").messageId, 46);

    const LoginLayerState run = runStateAfterLogin(lock);
    EXPECT_TRUE(run.loginPasswordActive);
    EXPECT_FALSE(run.googleAuthActive);
    EXPECT_EQ(run.storedLoginPassword, values.elements["KestravaPwd"].text);
}

TEST(LoginCheck, SwitchOnWithoutStoredPasswordAcceptsAnything)
{
    MemoryProgramValues values;
    values.elements["EnableKestravaPwd"].text = "Y";
    const LoginLock lock = lockFrom(values);
    const LoginPlan plan = planLogin(lock);
    EXPECT_TRUE(plan.locked && plan.askPassword);
    EXPECT_FALSE(plan.checkPassword);
    EXPECT_TRUE(check(lock, "", "").opened);
    EXPECT_TRUE(check(lock, "whatever", "").opened);
}

TEST(LoginCheck, CodeOnly)
{
    MemoryProgramValues values;
    storePassword(values, "Secret1");
    values.elements["EnableKestravaPwd"].text = "N";
    storeCodes(values, "Y");
    const LoginLock lock = lockFrom(values);
    const LoginPlan plan = planLogin(lock);
    EXPECT_TRUE(plan.locked && plan.askCode);
    EXPECT_FALSE(plan.askPassword);
    EXPECT_EQ(plan.titleId, 116);
    EXPECT_EQ(plan.messageId, 117);
    EXPECT_EQ(lock.googleAuth.accountName, "Desk");

    EXPECT_TRUE(check(lock, "", kGoodCode).opened);
    EXPECT_EQ(check(lock, "", kOldCode).messageId, 152);
    EXPECT_EQ(check(lock, "", "43526").messageId, 46);   // five digits
    EXPECT_EQ(check(lock, "", "3435260").messageId, 46); // seven digits
    EXPECT_EQ(check(lock, "", "34352a").messageId, 152); // the field takes digits only
    EXPECT_EQ(check(lock, "", "").field, LoginField::Code);

    const LoginLayerState run = runStateAfterLogin(lock);
    EXPECT_FALSE(run.loginPasswordActive);
    EXPECT_TRUE(run.googleAuthActive);
    EXPECT_EQ(run.googleAuthSecret, kSecret);
    EXPECT_EQ(formatDrvPaswd(run), kSecret);
}

TEST(LoginCheck, BothWhenTheSwitchIsAbsentAndCodesAreEnabled)
{
    MemoryProgramValues values;
    storePassword(values, "Secret1");
    storeCodes(values, "Yes");
    const LoginLock lock = lockFrom(values);
    const LoginPlan plan = planLogin(lock);
    EXPECT_TRUE(plan.askPassword && plan.checkPassword && plan.askCode);

    EXPECT_TRUE(check(lock, "Secret1", kGoodCode).opened);
    EXPECT_EQ(check(lock, "Secret2", kGoodCode).field, LoginField::Password);
    EXPECT_EQ(check(lock, "Secret1", kOldCode).field, LoginField::Code);

    // The password was tested, but only a "Y" switch makes it count for this run.
    const LoginLayerState run = runStateAfterLogin(lock);
    EXPECT_FALSE(run.loginPasswordActive);
    EXPECT_TRUE(run.googleAuthActive);
}

TEST(LoginCheck, BothSwitchesOn)
{
    MemoryProgramValues values;
    storePassword(values, "Secret1");
    values.elements["EnableKestravaPwd"].text = "Y";
    storeCodes(values, "Y");
    const LoginLock lock = lockFrom(values);
    EXPECT_TRUE(check(lock, "Secret1", kGoodCode).opened);
    const LoginLayerState run = runStateAfterLogin(lock);
    EXPECT_TRUE(run.loginPasswordActive && run.googleAuthActive);
    const std::string key = formatDrvPaswd(run);
    EXPECT_EQ(key, run.storedLoginPassword.substr(0, 8) + std::string(kSecret.substr(0, 8)));
}

TEST(LoginCheck, LowerCaseSwitchDoesNotEnableCodes)
{
    MemoryProgramValues values;
    storeCodes(values, "y");
    EXPECT_FALSE(planLogin(lockFrom(values)).locked);
}

TEST(LoginCheck, EnabledCodesWithDamagedKeyReportMessage53)
{
    MemoryProgramValues values;
    values.elements["EnableGoogleAuth"].text = "Y";
    for (const std::string& key :
         {std::string(), token::protectText("gezdgnbvgy3tqojq"), token::protectText("AAAAAAAAAAAAAAAA")}) {
        values.elements["GoogleAuthKey"].text = key;
        const LoginCheckResult result = check(lockFrom(values), "", kGoodCode);
        EXPECT_FALSE(result.opened);
        EXPECT_TRUE(result.damagedSecret);
        EXPECT_EQ(result.messageId, 53);
    }
    // Missing altogether behaves the same.
    values.elements.erase("GoogleAuthKey");
    EXPECT_TRUE(check(lockFrom(values), "", kGoodCode).damagedSecret);
    // A short but well-formed secret decodes to a shorter key and is simply checked.
    values.elements["GoogleAuthKey"].text = token::protectText("GEZA");
    const LoginCheckResult shortKey = check(lockFrom(values), "", kGoodCode);
    EXPECT_FALSE(shortKey.damagedSecret);
    EXPECT_EQ(shortKey.messageId, 152);
}

} // namespace
} // namespace kestrava
