// The drive check over real backing folders, with changes made past the drive the way sync
// clients and people make them.
#include "core/drives/DriveCheck.h"

#include "core/fs/DriveFs.h"
#include "core/fs/PathMapper.h"
#include "core/settings/SavedPasswords.h"
#include "core/token/DriveContext.h"
#include "support/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>

namespace kestrava::drives {
namespace {

namespace stdfs = std::filesystem;

class DriveCheckTest : public ::testing::Test
{
protected:
    void SetUp() override { makeDrive(token::TokenOptions{}); }

    void makeDrive(const token::TokenOptions& options)
    {
        stdfs::remove_all(folder);
        stdfs::remove_all(backups);
        stdfs::create_directories(folder);
        stdfs::create_directories(backups);
        context = std::make_unique<token::DriveContext>(hashStr("secret12"));
        context->setOptions(options);
        ASSERT_TRUE(context->CreateToken(token::tokenPathFor(folder)));
        context->setBackingFolder(folder);
        drive = fs::DriveFs::forDrive(*context);
    }
    void put(const std::string& path, const std::string& data)
    {
        std::uint64_t h = 0;
        ASSERT_EQ(drive->create(path, 0644, O_RDWR, &h), 0) << path;
        ASSERT_EQ(drive->write(h, data.data(), data.size(), 0), static_cast<ssize_t>(data.size()));
        ASSERT_EQ(drive->release(h), 0);
    }
    void backUpToken()
    {
        stdfs::copy_file(token::tokenPathFor(folder), backups / "kestrava_backup_(k)26dec08.xml");
    }

    DriveCheckRequest request(bool withPassword = true) const
    {
        DriveCheckRequest r;
        r.folder = folder;
        r.backupPlaces = {backups};
        if (withPassword) {
            r.drivePassword = hashStr("secret12");
        }
        return r;
    }
    static std::multimap<FindingKind, std::string> found(const DriveCheckReport& report)
    {
        std::multimap<FindingKind, std::string> out;
        for (const Finding& f : report.findings) {
            out.emplace(f.kind, f.where + (f.detail.empty() ? "" : " | " + f.detail));
        }
        return out;
    }

    test::TempDir dir;
    stdfs::path folder = dir / "drive";
    stdfs::path backups = dir / "backups";
    std::unique_ptr<token::DriveContext> context;
    std::unique_ptr<fs::DriveFs> drive;
};

TEST_F(DriveCheckTest, TokenThatDoesNotReadStopsTheCheck)
{
    const stdfs::path tokenPath = token::tokenPathFor(folder);
    stdfs::remove(tokenPath);
    DriveCheckReport report = checkDrive(request());
    EXPECT_EQ(found(report),
              (std::multimap<FindingKind, std::string>{{FindingKind::TokenMissing, tokenPath.string()}}));
    EXPECT_FALSE(report.tokenReadable);

    stdfs::create_directory(tokenPath);
    report = checkDrive(request());
    ASSERT_EQ(report.findings.size(), 1U);
    EXPECT_EQ(report.findings[0].kind, FindingKind::TokenUnreadable);
    stdfs::remove(tokenPath);

    test::writeFile(tokenPath, "<html>not a token</html>");
    report = checkDrive(request());
    ASSERT_EQ(report.findings.size(), 1U);
    EXPECT_EQ(report.findings[0].kind, FindingKind::NotAToken);
    EXPECT_FALSE(report.findings[0].detail.empty());
}

TEST_F(DriveCheckTest, BackupIsRecognisedByTheDrivesSalt)
{
    DriveCheckReport report = checkDrive(request(false));
    EXPECT_TRUE(report.tokenReadable);
    EXPECT_FALSE(report.namesChecked);
    ASSERT_EQ(report.findings.size(), 1U);
    EXPECT_EQ(report.findings[0].kind, FindingKind::NoTokenBackup);
    EXPECT_EQ(report.findings[0].where, backups.string());

    // Another drive's token is no backup of this one.
    token::DriveContext other(hashStr("secret12"));
    ASSERT_TRUE(other.CreateToken(backups / "other.xml"));
    EXPECT_EQ(checkDrive(request(false)).findings.size(), 1U);

    // A backup made before a password change still recovers the drive.
    backUpToken();
    context->SetPassword(hashStr("changed12"));
    ASSERT_TRUE(context->RewrapToken(token::tokenPathFor(folder)));
    EXPECT_TRUE(checkDrive(request(false)).clean());

    // Named directly, a backup anywhere counts.
    const stdfs::path elsewhere = dir / "usb-stick-copy.token";
    stdfs::rename(backups / "kestrava_backup_(k)26dec08.xml", elsewhere);
    EXPECT_FALSE(checkDrive(request(false)).clean());
    DriveCheckRequest named = request(false);
    named.backupPlaces.push_back(elsewhere);
    EXPECT_TRUE(checkDrive(named).clean());
}

TEST_F(DriveCheckTest, WrongPasswordIsAFindingAndNothingIsWalked)
{
    backUpToken();
    test::writeFile(folder / "desktop.ini", "x");
    DriveCheckRequest r = request();
    r.drivePassword = hashStr("not-it");
    const DriveCheckReport report = checkDrive(r);
    ASSERT_EQ(report.findings.size(), 1U);
    EXPECT_EQ(report.findings[0].kind, FindingKind::WrongPassword);
    EXPECT_FALSE(report.namesChecked);
}

TEST_F(DriveCheckTest, HealthyDriveIsClean)
{
    backUpToken();
    put("/a.txt", "a");
    ASSERT_EQ(drive->mkdir("/sub", 0755), 0);
    put("/sub/b.txt", "b");
    ASSERT_EQ(drive->symlink("a.txt", "/link"), 0);
    stdfs::create_directory(folder / std::string(fs::kWarningFolderName));
    DriveCheckRequest r = request();
    r.contents = true;
    const DriveCheckReport report = checkDrive(r);
    EXPECT_TRUE(report.namesChecked);
    EXPECT_TRUE(report.clean()) << describeFinding(report.findings.front());
}

TEST_F(DriveCheckTest, NamesFromPastTheDriveAreReportedWhereTheyLie)
{
    backUpToken();
    put("/report.txt", "mine");
    ASSERT_EQ(drive->mkdir("/sub", 0755), 0);
    const std::string sub = stdfs::path(drive->backingPathOf("/sub")).filename().string();
    const std::string report = stdfs::path(drive->backingPathOf("/report.txt")).filename().string();
    stdfs::copy_file(folder / report, folder / (report + " (conflicted copy 2026-12-08)"));
    test::writeFile(folder / sub / "desktop.ini", "x");
    // A name encrypted under another key looks like ours but is not. Short names of another key
    // can pass for ours by chance (their padding happens to check out); a long one cannot.
    token::DriveContext other(hashStr("secret12"));
    ASSERT_TRUE(other.CreateToken(dir / "other-token.xml"));
    other.setBackingFolder(folder);
    const std::string foreignName = stdfs::path(fs::DriveFs::forDrive(other)->backingPathOf(
                                                    "/notes kept by another drive of this user.txt"))
                                        .filename();
    test::writeFile(folder / sub / foreignName, "y");

    const auto findings = found(checkDrive(request()));
    EXPECT_EQ(findings, (std::multimap<FindingKind, std::string>{
                            {FindingKind::ConflictCopy, "/" + report +
                                                            " (conflicted copy 2026-12-08) | "
                                                            "/report (conflicted copy 2026-12-08).txt"},
                            {FindingKind::ForeignPlainFile, "/sub/desktop.ini"},
                            {FindingKind::UndecryptableName, "/sub/" + foreignName},
                        }));
}

TEST_F(DriveCheckTest, PathsTooLongForWindowsAreReported)
{
    backUpToken();
    // Each level of 60 plain bytes is stored as 80 characters: the fourth level passes 260.
    std::string path;
    for (char c : {'a', 'b', 'c', 'd'}) {
        path += "/" + std::string(60, c);
        ASSERT_EQ(drive->mkdir(path, 0755), 0);
    }
    auto findings = found(checkDrive(request()));
    ASSERT_EQ(findings.size(), 1U);
    EXPECT_EQ(findings.begin()->first, FindingKind::PathTooLong);
    EXPECT_EQ(findings.begin()->second, path + " | 324");

    // A drive that uses Windows's long paths may go up to 520 characters.
    token::TokenOptions longNames;
    longNames.longFileNames = true;
    makeDrive(longNames);
    backUpToken();
    path.clear();
    for (char c : {'a', 'b', 'c', 'd'}) {
        path += "/" + std::string(60, c);
        ASSERT_EQ(drive->mkdir(path, 0755), 0);
    }
    EXPECT_TRUE(checkDrive(request()).clean());
}

TEST_F(DriveCheckTest, ContentsGoThroughTheVerifierOfTheFormat)
{
    backUpToken();
    put("/good.txt", "fine");
    put("/tampered.txt", "changed");
    put("/gone.txt", "unreadable");
    std::vector<std::string> asked;
    DriveCheckRequest r = request();
    r.contents = true;
    r.verifier = [&asked](fs::DriveFs& d, const std::string& path, std::string& detail) {
        asked.push_back(path);
        if (path == "/tampered.txt") {
            detail = "block 0";
            return ContentVerdict::FailsAuthentication;
        }
        if (path == "/gone.txt") {
            detail = "I/O error";
            return ContentVerdict::Unreadable;
        }
        return readWholeFile(d, path, detail);
    };
    const auto findings = found(checkDrive(r));
    EXPECT_EQ(findings, (std::multimap<FindingKind, std::string>{
                            {FindingKind::FailsAuthentication, "/tampered.txt | block 0"},
                            {FindingKind::UnreadableEntry, "/gone.txt | I/O error"},
                        }));
    EXPECT_EQ(asked.size(), 3U);

    r.contents = false;
    asked.clear();
    EXPECT_TRUE(checkDrive(r).clean());
    EXPECT_TRUE(asked.empty());
}

TEST_F(DriveCheckTest, EveryFindingIsOneLine)
{
    for (FindingKind kind :
         {FindingKind::TokenMissing, FindingKind::TokenUnreadable, FindingKind::NotAToken,
          FindingKind::WrongPassword, FindingKind::NoTokenBackup, FindingKind::UndecryptableName,
          FindingKind::ConflictCopy, FindingKind::ForeignPlainFile, FindingKind::NameTooLong,
          FindingKind::PathTooLong, FindingKind::UnreadableEntry, FindingKind::FailsAuthentication}) {
        const std::string line = describeFinding({kind, "/the/place", "the detail"});
        EXPECT_NE(line.find("/the/place"), std::string::npos) << line;
        EXPECT_EQ(line.find('\n'), std::string::npos) << line;
        EXPECT_EQ(line.find("%s"), std::string::npos) << line;
    }
}

} // namespace

TEST_F(DriveCheckTest, HardenedDriveIsCheckedByItsOwnNamesAndBlocks)
{
    stdfs::remove_all(folder);
    stdfs::create_directories(folder);
    context = std::make_unique<token::DriveContext>(hashStr("secret12"));
    context->setFormat(token::DriveFormat::Hardened);
    ASSERT_TRUE(context->CreateToken(token::tokenPathFor(folder)));
    context->setBackingFolder(folder);
    drive = fs::DriveFs::forDrive(*context);
    backUpToken();
    ASSERT_EQ(drive->mkdir("/sub", 0755), 0);
    put("/sub/good.txt", std::string(10000, 'g'));
    put("/sub/bad.txt", std::string(10000, 'b'));
    DriveCheckRequest withContents = request();
    withContents.contents = true;
    // The format's own entries (each folder's IV file) are no findings.
    EXPECT_EQ(found(checkDrive(withContents)), (std::multimap<FindingKind, std::string>{}));

    const stdfs::path bad = drive->backingPathOf("/sub/bad.txt");
    std::string bytes = test::readFile(bad);
    ASSERT_GT(bytes.size(), 5000u);
    bytes[5000] = static_cast<char>(bytes[5000] ^ 0x01);
    test::writeFile(bad, bytes);
    const auto findings = found(checkDrive(withContents));
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings.begin()->first, FindingKind::FailsAuthentication);
    EXPECT_EQ(findings.begin()->second.rfind("/sub/bad.txt", 0), 0u) << findings.begin()->second;
}

} // namespace kestrava::drives
