// "kestrava-cli update" against a loopback server: what it prints and how it exits.
#include "CliTestSupport.h"
#include "core/app/ActivityLog.h"
#include "core/update/CodeSignature.h"
#include "core/update/InstallerDownload.h"
#include "core/update/Version.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace kestrava::cli {
namespace {

using test::LoopbackHttpServer;
using test::runCliInProcess;
using Response = LoopbackHttpServer::Response;

class UpdateCommandTest : public ::testing::Test
{
protected:
    void SetUp() override { applog::configureLog({m_dir / "test.log", false}); }
    void TearDown() override { applog::configureLog({}); }

    test::TempDir m_dir;
    LoopbackHttpServer m_server;
    std::string m_newer = "99.0";
};

TEST_F(UpdateCommandTest, CheckPrintsTheNewerVersionOrNoUpdate)
{
    m_server.set("/update.txt", Response::text(m_newer));
    test::CliResult result = runCliInProcess({"update", "--check", "--url", m_server.baseUrl()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, m_newer + "\n");

    m_server.set("/update.txt", Response::text(update::ownVersionText()));
    result = runCliInProcess({"update", "--check", "--url", m_server.baseUrl()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "no update\n");
    // A line break after the version is not a version.
    m_server.set("/update.txt", Response::text(m_newer + "\n"));
    EXPECT_EQ(runCliInProcess({"update", "--check", "--url", m_server.baseUrl()}).out, "no update\n");
}

TEST_F(UpdateCommandTest, FailuresSayWhyAndExitOne)
{
    m_server.set("/update.txt", Response::text("gone", 404));
    test::CliResult result = runCliInProcess({"update", "--check", "--url", m_server.baseUrl()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.out.empty());
    EXPECT_NE(result.err.find("HTTP status 404"), std::string::npos) << result.err;

    m_server.set("/update.txt", Response::text(""));
    result = runCliInProcess({"update", "--check", "--url", m_server.baseUrl()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("empty"), std::string::npos) << result.err;

    result =
        runCliInProcess({"update", "--download", (m_dir / "missing").string(), "--url", m_server.baseUrl()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("not a folder"), std::string::npos) << result.err;
}

TEST_F(UpdateCommandTest, DownloadWithoutAPublisherKeyOnlyNamesTheDownloadPage)
{
    if (update::builtInPublisher()) {
        GTEST_SKIP() << "this build has a publisher key; the core tests cover signed downloads";
    }
    const std::string installer = update::installerFileName(m_newer);
    m_server.set("/update.txt", Response::text(m_newer));
    m_server.set("/" + installer, Response::text("#!/bin/sh\n"));
    const test::CliResult result = runCliInProcess(
        {"update", "--download", m_dir.path().string(), "--run", "--url", m_server.baseUrl()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("cannot verify the signature"), std::string::npos) << result.err;
    EXPECT_EQ(m_server.requests(), std::vector<std::string>{"/update.txt"});
    EXPECT_FALSE(std::filesystem::exists(m_dir / installer));

    // Nothing newer: nothing to download either way.
    m_server.set("/update.txt", Response::text("0.1"));
    const test::CliResult none =
        runCliInProcess({"update", "--download", m_dir.path().string(), "--url", m_server.baseUrl()});
    EXPECT_EQ(none.exitCode, 0) << none.err;
    EXPECT_EQ(none.out, "no update\n");
}

TEST_F(UpdateCommandTest, CommandLineIsChecked)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"update"}, std::vector<std::string>{"update", "--check", "--download"},
          std::vector<std::string>{"update", "--check", "--run"},
          std::vector<std::string>{"update", "--check", "somewhere"},
          std::vector<std::string>{"update", "--download", "a", "b"}}) {
        const test::CliResult result = runCliInProcess(args);
        EXPECT_EQ(result.exitCode, 2) << args.back();
        EXPECT_NE(result.err.find("update: "), std::string::npos) << result.err;
    }
}

} // namespace
} // namespace kestrava::cli
