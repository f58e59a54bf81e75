// A settings file, a home folder and a fake drive host for running drive commands in-process.
#pragma once

#include "cli/Cli.h"
#include "core/app/ActivityLog.h"
#include "core/drives/FakeDriveHost.h"
#include "core/settings/SettingsFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace kestrava::cli {

struct Result
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

class CliDriveFixture : public ::testing::Test
{
protected:
    test::TempDir dir;
    test::ScopedEnv home{"HOME", (dir / "home").string()};
    test::ScopedEnv config{"XDG_CONFIG_HOME", (dir / "config").string()};
    std::filesystem::path settingsPath = dir / "kestrava_settings.xml";
    std::shared_ptr<test::FakeDriveHost> host = std::make_shared<test::FakeDriveHost>(dir / "mnt");

    void SetUp() override { applog::configureLog({dir / "test.log", false}); }
    void TearDown() override { applog::configureLog({}); }

    // Runs a command line against this fixture's settings file and host.
    Result runWith(std::vector<std::string> args, const std::string& input)
    {
        args.insert(args.begin(), {"--config", settingsPath.string()});
        std::istringstream in(input);
        std::ostringstream out;
        std::ostringstream err;
        Io io{in, out, err, false};
        Result result;
        result.exitCode = runCli(args, io, [this](const GlobalOptions&) { return host; });
        result.out = out.str();
        result.err = err.str();
        return result;
    }

    std::string folder(const std::string& name) const { return (dir / name).string(); }

    std::vector<settings::DriveRecord> records() const
    {
        return settings::SettingsFile(settingsPath)
            .driveRecords()
            .value_or(std::vector<settings::DriveRecord>{});
    }
};

} // namespace kestrava::cli
