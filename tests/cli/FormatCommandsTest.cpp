// Drive formats on the command line: create --format, info and list --json naming the format,
// and convert copying a drive into a new one of the other format (in-process, fake host).
#include "CliDriveFixture.h"
#include "core/access/PasswordRule.h"
#include "core/fs/DriveFs.h"
#include "core/settings/SavedPasswords.h"
#include "core/token/DriveContext.h"
#include "core/token/HardenedToken.h"
#include "support/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>

namespace kestrava::cli {
namespace {

constexpr const char* kPassword = "secret12";

class FormatCommands : public CliDriveFixture
{
protected:
    Result create(const std::string& name, const std::string& letter, std::vector<std::string> extra = {})
    {
        std::vector<std::string> args{"create", folder(name),       "--letter",
                                      letter,   "--password-stdin", "--yes"};
        args.insert(args.end(), extra.begin(), extra.end());
        return runWith(args, std::string(kPassword) + "\n" + kPassword + "\n");
    }

    std::unique_ptr<fs::DriveFs> open(const std::string& name, token::DriveContext& context)
    {
        context.SetPassword(hashStr(kPassword));
        EXPECT_EQ(context.unlock(token::tokenPathFor(dir / name)), token::TokenLoadStatus::Loaded) << name;
        context.setBackingFolder(dir / name);
        return fs::DriveFs::forDrive(context);
    }

    static void put(fs::DriveFs& drive, const std::string& path, const std::string& data)
    {
        std::uint64_t h = 0;
        ASSERT_EQ(drive.create(path, 0640, O_RDWR, &h), 0) << path;
        ASSERT_EQ(drive.write(h, data.data(), data.size(), 0), static_cast<ssize_t>(data.size()));
        drive.release(h);
    }
    static std::string get(fs::DriveFs& drive, const std::string& path)
    {
        std::uint64_t h = 0;
        EXPECT_EQ(drive.open(path, O_RDONLY, &h), 0) << path;
        std::string data(1 << 20, '\0');
        const ssize_t n = drive.read(h, data.data(), data.size(), 0);
        drive.release(h);
        data.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
        return data;
    }

    // A compatible drive K: (not mounted) holding a small tree.
    void makeFilledDrive()
    {
        ASSERT_EQ(create("old", "K:", {"--no-mount"}).exitCode, 0);
        token::DriveContext context;
        auto drive = open("old", context);
        ASSERT_EQ(drive->mkdir("/docs", 0750), 0);
        put(*drive, "/docs/report.txt", "quarterly numbers");
        put(*drive, "/big.bin", std::string(10000, 'b') + "end");
        put(*drive, "/empty", "");
        ASSERT_EQ(drive->symlink("docs/report.txt", "/link"), 0);
        ASSERT_EQ(drive->mkdir("/docs/deeper", 0700), 0);
        drive->setxattr("/big.bin", "user.colour", "red", 3, 0); // where the file system has them
    }
};

TEST_F(FormatCommands, CreateWithEitherFormatAndShowIt)
{
    const Result hardened = create("h", "H:", {"--format", "hardened", "--no-mount"});
    ASSERT_EQ(hardened.exitCode, 0) << hardened.err;
    EXPECT_EQ(hardened.out.find("hardened drive format is stronger"), std::string::npos);
    EXPECT_EQ(token::readTokenFormat(token::tokenPathFor(dir / "h")), token::DriveFormat::Hardened);
    const Result compatible = create("c", "C:", {"--no-mount"});
    ASSERT_EQ(compatible.exitCode, 0) << compatible.err;
    EXPECT_NE(compatible.out.find("The hardened drive format is stronger"), std::string::npos)
        << compatible.out;
    EXPECT_EQ(token::readTokenFormat(token::tokenPathFor(dir / "c")), token::DriveFormat::Compatible);

    const Result info = runWith({"info", folder("h")}, "");
    ASSERT_EQ(info.exitCode, 0) << info.err;
    EXPECT_NE(info.out.find("format: hardened"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("kdf: scrypt N=131072 r=8 p=1"), std::string::npos) << info.out;
    EXPECT_NE(runWith({"info", folder("c")}, "").out.find("format: compatible"), std::string::npos);

    const Result list = runWith({"list", "--json"}, "");
    ASSERT_EQ(list.exitCode, 0) << list.err;
    EXPECT_NE(list.out.find("\"folderLocation\": \"" + folder("h") + "\""), std::string::npos) << list.out;
    const auto h = list.out.find(folder("h"));
    const auto c = list.out.find(folder("c"));
    ASSERT_NE(h, std::string::npos);
    ASSERT_NE(c, std::string::npos);
    EXPECT_NE(list.out.find("\"format\": \"hardened\"", h), std::string::npos);
    EXPECT_NE(list.out.find("\"format\": \"compatible\"", c), std::string::npos);

    const Result bad = create("x", "X:", {"--format", "strong"});
    EXPECT_NE(bad.exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "x" / ".qxsession.xml"));

    // The hardened drive opens through the handlers like any other.
    token::DriveContext context;
    auto drive = open("h", context);
    put(*drive, "/a.txt", "in a hardened drive");
    EXPECT_EQ(get(*drive, "/a.txt"), "in a hardened drive");
}

TEST_F(FormatCommands, ConvertCopiesVerifiesAndSwitchesTheRecordOnlyWhenAsked)
{
    makeFilledDrive();
    const auto before = test::folderContents(dir / "old");
    const std::string pw = std::string(kPassword) + "\n";

    Result result = runWith({"convert", "K:", "--to", "hardened", folder("new"), "--password-stdin"}, pw);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("2 folders"), std::string::npos) << result.out;
    EXPECT_EQ(records().at(0).folder, folder("old")) << "without --replace the record stays";
    EXPECT_EQ(token::readTokenFormat(token::tokenPathFor(dir / "new")), token::DriveFormat::Hardened);

    result =
        runWith({"convert", "K:", "--to", "hardened", folder("new2"), "--replace", "--password-stdin"}, pw);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(records().at(0).folder, folder("new2"));
    EXPECT_EQ(test::folderContents(dir / "old"), before) << "the old folder is only read";

    token::DriveContext context;
    auto drive = open("new2", context);
    EXPECT_EQ(context.format(), token::DriveFormat::Hardened);
    EXPECT_EQ(get(*drive, "/docs/report.txt"), "quarterly numbers");
    EXPECT_EQ(get(*drive, "/big.bin"), std::string(10000, 'b') + "end");
    EXPECT_EQ(get(*drive, "/empty"), "");
    char target[64];
    ASSERT_EQ(drive->readlink("/link", target, sizeof target), 0);
    EXPECT_STREQ(target, "docs/report.txt");
    struct stat st
    {
    };
    ASSERT_EQ(drive->getattr("/docs", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u) << "modes copied";
    ASSERT_EQ(drive->getattr("/docs/deeper", &st), 0);
    char colour[8] = {};
    if (drive->getxattr("/big.bin", "user.colour", colour, sizeof colour) == 3) {
        EXPECT_STREQ(colour, "red");
    }

    // And back, from a folder argument: a compatible drive with the same contents.
    result =
        runWith({"convert", folder("new2"), "--to", "compatible", folder("back"), "--password-stdin"}, pw);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    token::DriveContext backContext;
    auto back = open("back", backContext);
    EXPECT_EQ(backContext.format(), token::DriveFormat::Compatible);
    EXPECT_EQ(get(*back, "/docs/report.txt"), "quarterly numbers");
}

TEST_F(FormatCommands, ConvertRefusesWhatWouldLoseOrMixData)
{
    makeFilledDrive();
    const std::string pw = std::string(kPassword) + "\n";
    std::filesystem::create_directories(dir / "busy");
    test::writeFile(dir / "busy" / "file", "x");
    Result result = runWith({"convert", "K:", "--to", "hardened", folder("busy"), "--password-stdin"}, pw);
    EXPECT_NE(result.exitCode, 0);
    EXPECT_NE(result.err.find("not empty"), std::string::npos) << result.err;
    EXPECT_EQ(test::readFile(dir / "busy" / "file"), "x");

    result = runWith({"convert", "K:", "--to", "hardened", folder("n"), "--password-stdin"}, "wrongpass\n");
    EXPECT_NE(result.exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "n"));

    EXPECT_NE(runWith({"convert", "K:", "--to", "best", folder("n")}, pw).exitCode, 0);

    ASSERT_EQ(create("m", "M:").exitCode, 0); // mounted by the fake host
    result = runWith({"convert", "M:", "--to", "hardened", folder("n"), "--password-stdin"}, pw);
    EXPECT_NE(result.exitCode, 0);
    EXPECT_NE(result.err.find("unmount it first"), std::string::npos) << result.err;
}

} // namespace
} // namespace kestrava::cli
