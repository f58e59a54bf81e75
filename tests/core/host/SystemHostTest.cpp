// The host's behaviour that needs no real mount: mount points, letters in use, and what a
// failed mount leaves behind, with stand-in serving programs speaking the status protocol.
#include "core/host/SystemHost.h"

#include "core/host/FuseAvailability.h"
#include "core/token/DriveContext.h"
#include "support/TestSupport.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace kestrava::host {
namespace {

using test::ScopedEnv;
using test::TempDir;

const std::string kPassword(64, 'A');

class SystemHostTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ::chmod(m_runtime.path().c_str(), 0700);
        std::filesystem::create_directories(m_back);
        m_context.setBackingFolder(m_back);
        m_context.setDriveLetter("K:");
        m_context.setLabel("Work");
    }

    // A stand-in for kestrava-cli serve: records its arguments and the password it was
    // given, then answers with the given status line (or nothing).
    std::filesystem::path fakeServer(const std::string& answer)
    {
        const auto script = m_dir / "fake-server";
        std::ofstream out(script);
        out << "#!/bin/sh\n"
            << "printf '%s\\n' \"$@\" > " << (m_dir / "args").string() << "\n"
            << "cat <&3 > " << (m_dir / "password").string() << "\n"
            << (answer.empty() ? "" : "echo '" + answer + "' >&4\n") << "exit 1\n";
        out.close();
        ::chmod(script.c_str(), 0755);
        return script;
    }

    std::unique_ptr<DriveHost> host(const std::filesystem::path& server = "/nonexistent/kestrava-cli")
    {
        return makeSystemHost(m_root, server);
    }

    TempDir m_dir;
    TempDir m_runtime;
    ScopedEnv m_runtimeEnv{"XDG_RUNTIME_DIR", m_runtime.path().string()};
    std::filesystem::path m_root = m_dir / "drives";
    std::filesystem::path m_back = m_dir / "back";
    token::DriveContext m_context{kPassword};
};

TEST_F(SystemHostTest, MountPointIsTheLetterUnderTheRoot)
{
    const auto h = host();
    EXPECT_EQ(h->mountPointFor("k:"), m_root / "K");
    EXPECT_EQ(h->mountPointFor("E:"), m_root / "E");
}

TEST_F(SystemHostTest, LetterIsInUseOnlyForAMountOrSomethingInTheWay)
{
    const auto h = host();
    EXPECT_FALSE(h->isLetterInUse("K:"));
    std::filesystem::create_directories(m_root / "K");
    EXPECT_FALSE(h->isLetterInUse("K:"));
    test::writeFile(m_root / "K" / "note.txt", "x");
    EXPECT_TRUE(h->isLetterInUse("K:"));
    test::writeFile(m_root / "F", "a file, not a folder");
    EXPECT_TRUE(h->isLetterInUse("F:"));
    EXPECT_TRUE(h->mountedDrives().empty());
    EXPECT_FALSE(h->UnmountFileSystem("K:"));
}

TEST_F(SystemHostTest, WithoutFuseNothingIsStartedOrCreated)
{
    ScopedEnv path("PATH", "/nonexistent");
    const auto h = host(fakeServer("ready"));
    EXPECT_FALSE(h->IsDriverInstalled());
    const MountResult result = h->InstallFileSystem(m_context, {});
    EXPECT_EQ(result.outcome, MountOutcome::DriverMissing);
    EXPECT_FALSE(std::filesystem::exists(m_root / "K"));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "args"));
}

class SystemHostServerTest : public SystemHostTest
{
protected:
    void SetUp() override
    {
        if (!isFuseUsable()) {
            GTEST_SKIP() << "FUSE is unusable here (/dev/fuse or fusermount3 missing)";
        }
        SystemHostTest::SetUp();
    }
};

TEST_F(SystemHostServerTest, PasswordTravelsOnThePipeOnlyAndErrorsComeBack)
{
    const auto h = host(fakeServer("error invalid-path the folder is gone"));
    const MountResult result = h->InstallFileSystem(m_context, {});
    EXPECT_EQ(result.outcome, MountOutcome::InvalidPath);
    EXPECT_EQ(result.detail, "the folder is gone");
    EXPECT_EQ(test::readFile(m_dir / "password"), kPassword);
    const std::string args = test::readFile(m_dir / "args");
    EXPECT_EQ(args.find(kPassword.substr(0, 8)), std::string::npos);
    EXPECT_NE(args.find("--folder=" + m_back.string() + "\n"), std::string::npos);
    EXPECT_NE(args.find("--label=Work\n"), std::string::npos);
    // The mount point made for this mount is gone again.
    EXPECT_FALSE(std::filesystem::exists(m_root / "K"));
}

TEST_F(SystemHostServerTest, ServerThatDiesSilentlyIsAFailureThatLeavesNothing)
{
    std::filesystem::create_directories(m_root / "K"); // there before: stays
    const auto h = host(fakeServer(""));
    const MountResult result = h->InstallFileSystem(m_context, {});
    EXPECT_EQ(result.outcome, MountOutcome::Failed);
    EXPECT_NE(result.detail.find("exited with status 1"), std::string::npos) << result.detail;
    EXPECT_TRUE(std::filesystem::is_directory(m_root / "K"));

    const MountResult missing = host("/nonexistent/kestrava-cli")->InstallFileSystem(m_context, {});
    EXPECT_EQ(missing.outcome, MountOutcome::Failed);
}

TEST_F(SystemHostServerTest, LetterInTheWayIsReportedBeforeAnythingStarts)
{
    std::filesystem::create_directories(m_root / "K");
    test::writeFile(m_root / "K" / "keep.txt", "mine");
    const auto h = host(fakeServer("ready"));
    EXPECT_EQ(h->InstallFileSystem(m_context, {}).outcome, MountOutcome::LetterInUse);
    EXPECT_FALSE(std::filesystem::exists(m_dir / "args"));
    EXPECT_EQ(test::readFile(m_root / "K" / "keep.txt"), "mine");
}

TEST_F(SystemHostServerTest, MissingBackingFolderIsCreatedOrReportedInvalid)
{
    std::filesystem::remove_all(m_back);
    const auto h = host(fakeServer("error failed no token"));
    EXPECT_EQ(h->InstallFileSystem(m_context, {}).outcome, MountOutcome::Failed);
    EXPECT_TRUE(std::filesystem::is_directory(m_back));

    test::writeFile(m_dir / "blocker", "x");
    m_context.setBackingFolder(m_dir / "blocker" / "back");
    EXPECT_EQ(h->InstallFileSystem(m_context, {}).outcome, MountOutcome::InvalidPath);
}

} // namespace
} // namespace kestrava::host
