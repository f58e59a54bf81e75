// kestrava-cli with settings and tokens it cannot fully trust, in-process over a fake host: an
// unreadable settings file stops every drive command, texts that would not read back are never
// written, a stale remembered password is called so, and an unreadable token says why.
#include "CliDriveFixture.h"
#include "core/settings/SettingsDocument.h"
#include "core/token/DriveContext.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace kestrava::cli {
namespace {

using test::readFile;
using test::writeFile;

constexpr const char* kPassword = "secret12";

class SettingsTrustTest : public CliDriveFixture
{
protected:
    Result run(std::vector<std::string> args, const std::string& input = {})
    {
        args.insert(args.begin(), "--password-stdin");
        return runWith(std::move(args), input);
    }

    void createDrive(const std::string& name, std::vector<std::string> extra = {})
    {
        std::vector<std::string> args{"create", folder(name), "--letter", "K:", "--label", "Work", "--yes"};
        args.insert(args.end(), extra.begin(), extra.end());
        const auto result = run(args, std::string(kPassword) + "\n" + kPassword + "\n");
        ASSERT_EQ(result.exitCode, 0) << result.err;
    }

    static std::string lastLine(const std::string& text)
    {
        const auto end = text.find_last_not_of('\n');
        if (end == std::string::npos) {
            return {};
        }
        const auto start = text.rfind('\n', end);
        return text.substr(start == std::string::npos ? 0 : start + 1,
                           end + 1 - (start == std::string::npos ? 0 : start + 1));
    }
};

TEST_F(SettingsTrustTest, AnUnreadableSettingsFileStopsEveryDriveCommand)
{
    createDrive("vault", {"--no-mount"});
    const std::string damaged = readFile(settingsPath) + "<not closed";
    writeFile(settingsPath, damaged);
    const std::vector<std::vector<std::string>> commands = {
        {"list"},
        {"list", "--json"},
        {"unmount", "--all"},
        {"mount", "--all"},
        {"mount", "K:"},
        {"unmount", "K:"},
        {"edit", "K:", "--label", "X"},
        {"delete", "K:"},
        {"backup-token", "K:", folder("backup.xml")},
    };
    for (const auto& args : commands) {
        const auto result = run(args, std::string(kPassword) + "\n");
        EXPECT_EQ(result.exitCode, 1) << args.front() << " " << result.out;
        EXPECT_TRUE(result.out.empty()) << args.front() << ": " << result.out;
        EXPECT_NE(lastLine(result.err).find("settings file cannot be read"), std::string::npos)
            << args.front() << ": " << result.err;
        EXPECT_EQ(readFile(settingsPath), damaged) << args.front();
    }
}

TEST_F(SettingsTrustTest, EditedLabelsAndLongFoldersReadBack)
{
    createDrive("vault", {"--no-mount"});
    std::string label;
    for (int i = 0; i < 130; ++i) {
        label += "\xC3\xA9";
    }
    auto result = run({"edit", "K:", "--label", label}, std::string(kPassword) + "\n");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    result = run({"list", "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("\"volumeName\": \"" + label + "\""), std::string::npos) << result.out;
    EXPECT_TRUE(settings::isValidUtf8(readFile(settingsPath)));

    result = run({"edit", "K:", "--label", "bad \xC3"}, std::string(kPassword) + "\n");
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("not UTF-8"), std::string::npos) << result.err;
    EXPECT_EQ(records().at(0).label, label);

    const std::string deep = (dir / std::string(200, 'd') / std::string(100, 'e')).string();
    ASSERT_GT(deep.size(), 259u);
    result = run({"create", deep, "--letter", "L:", "--no-mount", "--yes"},
                 std::string(kPassword) + "\n" + kPassword + "\n");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    result = run({"edit", deep, "--label", "Deep", "--automount", "off"}, std::string(kPassword) + "\n");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(records().at(1).label, "Deep");
    EXPECT_EQ(records().at(1).automount, 0);
}

TEST_F(SettingsTrustTest, AStaleRememberedPasswordIsReportedAndTheGivenOneTriedNext)
{
    createDrive("vault", {"--remember", "--no-mount"});
    // The password is changed elsewhere: another machine rewraps the synced token.
    token::DriveContext elsewhere(hashStr(kPassword));
    ASSERT_EQ(elsewhere.unlock(token::tokenPathFor(dir / "vault")), token::TokenLoadStatus::Loaded);
    elsewhere.SetPassword(hashStr("n3w-secret"));
    ASSERT_TRUE(elsewhere.RewrapToken(token::tokenPathFor(dir / "vault")));

    auto result = run({"mount", "K:"}, "n3w-secret\n");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.err.find("no longer opens it"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("corrupted"), std::string::npos) << result.err;
    EXPECT_EQ(host->mounts.count("K:"), 1u);

    // The password that worked is remembered now: the next mount asks nothing.
    ASSERT_EQ(run({"unmount", "K:"}).exitCode, 0);
    result = run({"mount", "K:"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(result.err.empty()) << result.err;
}

TEST_F(SettingsTrustTest, AMissingPasswordNamesPasswordStdinAndAQuestionNamesYes)
{
    createDrive("vault", {"--no-mount"});
    auto result = runWith({"mount", "K:"}, "");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(lastLine(result.err).find("--password-stdin"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("--yes"), std::string::npos) << result.err;

    writeFile(dir / "vault" / "plain.txt", "made before");
    result = runWith({"--password-stdin", "edit", "K:", "--name-encryption", "off"},
                     std::string(kPassword) + "\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(lastLine(result.err).find("add --yes"), std::string::npos) << result.err;
}

TEST_F(SettingsTrustTest, AnUnreadableTokenSaysWhyAndHowToRecover)
{
    createDrive("vault", {"--no-mount"});
    const auto tokenPath = token::tokenPathFor(dir / "vault");
    const std::string hint = "kestrava-cli recover " + folder("vault") + " --token BACKUPFILE";

    std::filesystem::rename(tokenPath, dir / "token.bak");
    auto result = run({"mount", "K:"}, std::string(kPassword) + "\n");
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(lastLine(result.err).find("security token is missing"), std::string::npos) << result.err;
    EXPECT_NE(lastLine(result.err).find(hint), std::string::npos) << result.err;

    writeFile(tokenPath, "no token at all");
    for (const auto& args :
         {std::vector<std::string>{"mount", "K:"}, std::vector<std::string>{"verify", folder("vault")},
          std::vector<std::string>{"info", folder("vault")}}) {
        result = run(args, std::string(kPassword) + "\n");
        EXPECT_EQ(result.exitCode, 1) << args.front();
        EXPECT_NE(lastLine(result.err).find("is not a Kestrava security token"), std::string::npos)
            << args.front() << ": " << result.err;
        EXPECT_NE(lastLine(result.err).find(hint), std::string::npos) << args.front() << ": " << result.err;
    }
}

} // namespace
} // namespace kestrava::cli
