// A settings file of its own for each program-lock test, given with --config; the activity
// log goes to the same temporary folder.
#pragma once

#include "CliTestSupport.h"
#include "cli/Cli.h"
#include "cli/PasswordInput.h"
#include "core/access/Base32.h"
#include "core/access/LoginPassword.h"
#include "core/access/OneTimeCode.h"
#include "core/app/ActivityLog.h"
#include "core/settings/Paths.h"
#include "core/settings/SettingsFile.h"
#include "core/token/ProtectedForm.h"
#include "support/TestSupport.h"

#include <chrono>
#include <gtest/gtest.h>
#include <sstream>

namespace kestrava::test {

// A secret whose key is "1234567890".
inline constexpr std::string_view kPairedSecret = "GEZDGNBVGY3TQOJQ";

inline std::string codeAt(std::string_view secret, std::chrono::system_clock::time_point when)
{
    const std::uint32_t code = hotp(decodeOneTimeCodeKey(secret), timeStep(when));
    return std::to_string(code + 1'000'000).substr(1);
}

inline std::string currentCode(std::string_view secret = kPairedSecret)
{
    return codeAt(secret, std::chrono::system_clock::now());
}

class ProgramLockFixture : public ::testing::Test
{
protected:
    TempDir dir;
    ScopedEnv configHome{"XDG_CONFIG_HOME", (dir / "config").string()};
    ScopedEnv stateHome{"XDG_STATE_HOME", (dir / "state").string()};
    std::filesystem::path settingsPath = dir / "kestrava_settings.xml";
    std::filesystem::path logPath = dir / "kestrava.log";

    void SetUp() override { applog::configureLog({logPath, false}); }
    void TearDown() override { applog::configureLog({}); }

    // kestrava-cli on this test's settings file, in-process or as the real program.
    CliResult run(std::vector<std::string> args, const std::string& input = {}) const
    {
        args.insert(args.begin(), {"--config", settingsPath.string()});
        return runCliInProcess(args, input);
    }
    CliResult runProgram(std::vector<std::string> args, const std::string& input = {}) const
    {
        args.insert(args.begin(), {"--config", settingsPath.string()});
        return runCliProgram(args, input);
    }

    settings::SettingsFile file() const { return settings::SettingsFile(settingsPath); }
    std::string value(std::string_view name) const { return file().getKestravaXmlValue(name); }
    bool has(std::string_view name) const
    {
        const auto loaded = file().load();
        return loaded.document.hasValue(name);
    }

    void storeLoginPassword(const std::string& password, std::string_view enable)
    {
        ASSERT_TRUE(file().setKestravaXmlValue(kKestravaPwdValue, protectLoginPassword(password)));
        if (!enable.empty()) {
            ASSERT_TRUE(file().setKestravaXmlValue(kEnableKestravaPwdValue, enable));
        }
    }
    void storePairing(std::string_view enable, std::string_view secret = kPairedSecret)
    {
        ASSERT_TRUE(
            file().setKestravaXmlValue("GoogleAuthKey", token::protectText(secret), {{"KeyName", "Desk"}}));
        ASSERT_TRUE(file().setKestravaXmlValue("EnableGoogleAuth", enable));
    }
};

} // namespace kestrava::test
