// The drive list's own commands and pieces: delete, token backups, free letters, the tray
// tooltip, the row model.
#include "core/drives/DriveCommands.h"

#include "DriveFixture.h"
#include "core/access/PasswordRule.h"
#include "core/crypto/Cfb.h"
#include "core/drives/DriveMessages.h"
#include "core/drives/FreeLetters.h"
#include "core/drives/MountFlow.h"
#include "core/drives/TokenBackup.h"
#include "core/drives/TrayTooltip.h"
#include "core/fs/DriveFs.h"
#include "core/fs/NameCipher.h"
#include "core/fs/PathMapper.h"
#include "core/settings/SavedPasswords.h"

#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>

namespace kestrava::test {
namespace {

constexpr auto kNo = drives::MountState::NotMounted;
constexpr auto kYes = drives::MountState::Mounted;

class DriveCommandsTest : public DriveFixture
{
protected:
    // A name as the drive with this key stores it.
    static std::string stored(const crypto::SecureBytes& key, const std::string& name)
    {
        const crypto::CfbCipher cipher(key);
        return fs::NameCipher(cipher).EncryptNameComponent(name);
    }

    // Registers the folder's drive, lists it, and deletes it with its files (Yes to both).
    drives::FileDeletionReport deleteWithFiles(const std::filesystem::path& folder,
                                               const std::optional<std::string>& remembered,
                                               std::optional<DrivePasswordAnswer> prompt = std::nullopt)
    {
        addRecord(folder, "K:", "Alpha", remembered, false);
        EXPECT_TRUE(drives::fillDriveList(services, true));
        prompter.expectMessage(drives::kMsgConfirmDelete, Button::OK);
        prompter.expectMessage(drives::kMsgDeleteFiles, Button::Yes);
        if (prompt) {
            prompter.expectDrivePassword(std::move(*prompt));
        }
        drives::FileDeletionReport report;
        EXPECT_EQ(drives::RemoveDrive(services, 0, {}, &report), drives::RemoveResult::Removed);
        EXPECT_TRUE(settings.driveRecords()->empty());
        return report;
    }

    static std::vector<std::string> sorted(std::vector<std::string> names)
    {
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(DriveCommandsTest, DeletingADriveWithAMissingFolderAsksNothingAboutFiles)
{
    addRecord(dir / "gone", "K:", "Gone", std::nullopt, false);
    ASSERT_TRUE(drives::fillDriveList(services, true));
    prompter.expectMessage(drives::kMsgConfirmDelete, Button::OK);

    EXPECT_EQ(drives::RemoveDrive(services, 0), drives::RemoveResult::Removed);
    EXPECT_EQ(prompter.messageIds(), std::vector<int>{drives::kMsgConfirmDelete});
    EXPECT_TRUE(settings.driveRecords()->empty());
    EXPECT_EQ(rows.size(), 0u);
}

TEST_F(DriveCommandsTest, DeletingAMountedDriveUnmountsItFirstAndCanDeleteItsFiles)
{
    makeToken(dir / "a");
    addRecord(dir / "a", "K:", "Alpha", kDrivePassword, true);
    ASSERT_TRUE(drives::fillDriveList(services, true));
    ASSERT_EQ(rows.row(0)->mounted, kYes);
    host.calls.clear();

    prompter.expectMessage(drives::kMsgConfirmDelete, Button::OK);
    prompter.expectMessage(drives::kMsgDeleteFiles, Button::Yes);
    EXPECT_EQ(drives::RemoveDrive(services, 0), drives::RemoveResult::Removed);
    EXPECT_EQ(host.calls, std::vector<std::string>{"unmount K:"});
    EXPECT_EQ(prompter.captionOf(drives::kMsgConfirmDelete), kDefaultCaption);
    EXPECT_EQ(prompter.captionOf(drives::kMsgDeleteFiles), drives::kMsgConfirmRemovalCaption);
    EXPECT_TRUE(host.mounts.empty());
    EXPECT_EQ(mounted.size(), 0u);
    EXPECT_TRUE(settings.driveRecords()->empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "a"));
}

TEST_F(DriveCommandsTest, CancelOrABusyDriveChangesNothing)
{
    makeToken(dir / "a");
    addRecord(dir / "a", "K:", "Alpha", kDrivePassword, true);
    ASSERT_TRUE(drives::fillDriveList(services, true));

    prompter.expectMessage(drives::kMsgConfirmDelete, Button::Cancel);
    EXPECT_EQ(drives::RemoveDrive(services, 0), drives::RemoveResult::Cancelled);

    host.refuseUnmount.insert("K:");
    prompter.expectMessage(drives::kMsgConfirmDelete, Button::OK);
    EXPECT_EQ(drives::RemoveDrive(services, 0), drives::RemoveResult::Failed);
    EXPECT_EQ(prompter.messageIds().back(), drives::kMsgUnmountFailed);
    EXPECT_EQ(settings.driveRecords()->size(), 1u);
    EXPECT_EQ(rows.size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(token::tokenPathFor(dir / "a")));

    EXPECT_EQ(drives::RemoveDrive(services, std::nullopt), drives::RemoveResult::Failed);
    EXPECT_EQ(prompter.messageIds().back(), drives::kMsgNoDriveSelected);
}

TEST_F(DriveCommandsTest, FileDeletionIsOnlyOfferedWhenAskedFor)
{
    makeToken(dir / "a");
    addRecord(dir / "a", "K:", "Alpha", std::nullopt, false);
    ASSERT_TRUE(drives::fillDriveList(services, true));
    prompter.expectMessage(drives::kMsgConfirmDelete, Button::OK);
    EXPECT_EQ(drives::RemoveDrive(services, 0, {false}), drives::RemoveResult::Removed);
    EXPECT_TRUE(std::filesystem::exists(token::tokenPathFor(dir / "a")));
}

TEST_F(DriveCommandsTest, DeletingFilesRemovesOnlyWhatTheDriveEncrypted)
{
    const auto folder = dir / "a";
    const auto key = makeToken(folder);
    const std::string doc = stored(key, "report.odt");
    const std::string sub = stored(key, "photos");
    const std::string keptToken = std::string(fs::kReplacedTokenPrefix) + "20260101-101500";
    writeFile(folder / doc, "ciphertext");
    std::filesystem::create_directories(folder / sub / stored(key, "2025"));
    writeFile(folder / sub / stored(key, "2025") / stored(key, "a.jpg"), "ciphertext");
    writeFile(folder / sub / "a (conflicted copy).jpg", "a sync client's copy");
    writeFile(folder / "notes.txt", "here before the drive");
    writeFile(folder / keptToken, "an older drive's token");
    std::filesystem::create_directories(folder / fs::warningFolderName());
    // A name that decodes but is not this drive's (another key) is not the drive's either.
    const auto otherKey = makeToken(dir / "other");
    writeFile(folder / stored(otherKey, "a file of another drive, with a long name.txt"),
              "another drive's file");

    // A plain name that happens to decrypt (the decoding stops at the ".") is not the drive's.
    std::string lookalike;
    const crypto::CfbCipher cipher(key);
    const std::string letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (std::size_t i = 0; lookalike.empty() && i < letters.size() * letters.size(); ++i) {
        const std::string name =
            std::string{letters[i / letters.size()], letters[i % letters.size()], 'x'} + ".txt";
        if (!fs::NameCipher(cipher).DecryptName(name).empty()) {
            lookalike = name;
        }
    }
    ASSERT_FALSE(lookalike.empty());
    writeFile(folder / lookalike, "a plain file");

    const auto report = deleteWithFiles(folder, kDrivePassword);

    EXPECT_EQ(report.outcome, drives::FileDeletion::PartlyKept);
    const std::vector<std::string> left{sub + "/a (conflicted copy).jpg", "notes.txt", keptToken, lookalike,
                                        stored(otherKey, "a file of another drive, with a long name.txt")};
    EXPECT_EQ(sorted(report.leftOver), sorted(left));
    EXPECT_FALSE(std::filesystem::exists(folder / doc));
    EXPECT_FALSE(std::filesystem::exists(folder / sub / stored(key, "2025")));
    EXPECT_FALSE(std::filesystem::exists(token::tokenPathFor(folder)));
    EXPECT_FALSE(std::filesystem::exists(folder / fs::warningFolderName()));
    EXPECT_EQ(readFile(folder / "notes.txt"), "here before the drive");
    EXPECT_EQ(readFile(folder / keptToken), "an older drive's token");
    EXPECT_EQ(readFile(folder / sub / "a (conflicted copy).jpg"), "a sync client's copy");
    EXPECT_EQ(prompter.messageIds().back(), drives::kMsgFilesLeft);
    EXPECT_NE(prompter.calls().back().args.at(1).find("notes.txt"), std::string::npos);
}

TEST_F(DriveCommandsTest, DeletingAHardenedDrivesFilesKeepsWhatIsNotItsOwn)
{
    const auto folder = dir / "h";
    std::filesystem::create_directories(folder);
    token::DriveContext context(hashStr(kDrivePassword));
    context.setFormat(token::DriveFormat::Hardened);
    context.setScryptParams({1024, 8, 1});
    ASSERT_TRUE(context.CreateToken(token::tokenPathFor(folder)));
    {
        fs::FsOptions options;
        options.format = token::DriveFormat::Hardened;
        fs::DriveFs drive(context.masterKey(), options, folder);
        ASSERT_EQ(drive.mkdir("/photos", 0755), 0);
        std::uint64_t h = 0;
        for (const std::string& path :
             std::vector<std::string>{"/a.txt", "/photos/b.jpg", "/photos/" + std::string(230, 'n')}) {
            ASSERT_EQ(drive.create(path, 0644, O_RDWR, &h), 0) << path;
            drive.write(h, "data", 4, 0);
            drive.release(h);
        }
        writeFile(drive.backingPathOf("/photos") + "/b (conflicted copy).jpg", "a sync client's copy");
    }
    writeFile(folder / "notes.txt", "here before the drive");

    const auto report = deleteWithFiles(folder, kDrivePassword);

    EXPECT_EQ(report.outcome, drives::FileDeletion::PartlyKept);
    const auto& left = report.leftOver;
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(std::count(left.begin(), left.end(), "notes.txt"), 1);
    EXPECT_EQ(std::count_if(left.begin(), left.end(),
                            [](const std::string& n) { return n.ends_with("/b (conflicted copy).jpg"); }),
              1);
    std::vector<std::string> remaining;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
        remaining.push_back(e.path().lexically_relative(folder).string());
    }
    EXPECT_EQ(remaining.size(), 3u)
        << "notes.txt, the kept folder and the copy in it; IVs and side files gone";
    EXPECT_FALSE(std::filesystem::exists(folder / "kestrava.diriv"));
}

TEST_F(DriveCommandsTest, WithoutTheKeyNoFileIsDeleted)
{
    const auto folder = dir / "a";
    const auto key = makeToken(folder);
    writeFile(folder / stored(key, "report.odt"), "ciphertext");
    const auto report = deleteWithFiles(folder, std::nullopt, cancelledPrompt());

    EXPECT_EQ(report.outcome, drives::FileDeletion::KeyUnavailable);
    EXPECT_EQ(prompter.messageIds().back(), drives::kMsgDeleteKeyMissing);
    EXPECT_TRUE(std::filesystem::exists(folder / stored(key, "report.odt")));
    EXPECT_TRUE(std::filesystem::exists(token::tokenPathFor(folder)));

    // The password typed at the prompt is.
    const auto other = dir / "b";
    const auto otherKey = makeToken(other);
    writeFile(other / stored(otherKey, "report.odt"), "ciphertext");
    const auto typed = deleteWithFiles(other, std::nullopt, typedPassword(kDrivePassword));
    EXPECT_EQ(typed.outcome, drives::FileDeletion::FolderRemoved);
    EXPECT_FALSE(std::filesystem::exists(other));
}

TEST_F(DriveCommandsTest, PlainNameDriveLosesOnlyItsTokenAndWarningFolder)
{
    const auto folder = dir / "a";
    std::filesystem::create_directories(folder / fs::warningFolderName());
    token::DriveContext context(hashStr(kDrivePassword));
    context.setOptions({false, true, false});
    ASSERT_TRUE(context.CreateToken(token::tokenPathFor(folder)));
    writeFile(folder / "report.odt", "the drive's, or not: the names cannot tell");

    const auto report = deleteWithFiles(folder, std::nullopt); // no password is asked

    EXPECT_EQ(report.outcome, drives::FileDeletion::PartlyKept);
    EXPECT_EQ(report.leftOver, std::vector<std::string>{"report.odt"});
    EXPECT_TRUE(std::filesystem::exists(folder / "report.odt"));
    EXPECT_FALSE(std::filesystem::exists(token::tokenPathFor(folder)));
    EXPECT_FALSE(std::filesystem::exists(folder / fs::warningFolderName()));
    EXPECT_EQ(prompter.messageIds().back(), drives::kMsgPlainNamesLeft);
}

TEST_F(DriveCommandsTest, RecordThatNoLongerExistsIsReported)
{
    makeToken(dir / "a");
    addRecord(dir / "a", "K:", "Alpha", std::nullopt, false);
    ASSERT_TRUE(drives::fillDriveList(services, true));
    ASSERT_TRUE(settings.RemoveDriveInfo((dir / "a").string(), "K:")); // another process removed it
    prompter.expectMessage(drives::kMsgConfirmDelete, Button::OK);
    EXPECT_EQ(drives::RemoveDrive(services, 0), drives::RemoveResult::Failed);
    EXPECT_EQ(prompter.messageIds().back(), drives::kMsgCannotFindDrive);
}

TEST_F(DriveCommandsTest, BackupNamesAreLowerCaseWithTheDate)
{
    std::tm date{};
    date.tm_year = 114;
    date.tm_mon = 2;
    date.tm_mday = 5;
    EXPECT_EQ(drives::defaultBackupName("My Drive", date), "kestrava_backup_(my drive)14mar05.xml");
}

TEST_F(DriveCommandsTest, TokenBackupCopiesTheTokenPrivately)
{
    makeToken(dir / "a");
    EXPECT_FALSE(drives::backupSecurityToken(prompter, dir / "nothing", "X", dir / "b.xml"));
    EXPECT_EQ(prompter.messageIds(), std::vector<int>{drives::kMsgTokenUnreadable});

    writeFile(dir / "b.xml", "old");
    ASSERT_TRUE(drives::backupSecurityToken(prompter, dir / "a", "Alpha", dir / "b.xml"));
    EXPECT_EQ(readFile(dir / "b.xml"), readFile(token::tokenPathFor(dir / "a")));
    struct stat st
    {
    };
    ASSERT_EQ(::stat((dir / "b.xml").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(prompter.messageIds().back(), drives::kMsgExported);
    EXPECT_EQ(prompter.calls().back().args, (std::vector<std::string>{"Alpha", (dir / "b.xml").string()}));

    EXPECT_FALSE(drives::backupSecurityToken(prompter, dir / "a", "Alpha", dir / "no" / "such" / "b.xml"));
    EXPECT_EQ(prompter.messageIds().back(), drives::kMsgTokenSaveError);
}

TEST_F(DriveCommandsTest, FreeLettersSkipMountsAndFoldersInUse)
{
    std::filesystem::create_directories(dir / "mnt" / "A"); // empty: free
    std::filesystem::create_directories(dir / "mnt" / "B");
    writeFile(dir / "mnt" / "B" / "file", "x"); // not empty: in use
    host.mountedElsewhere("C:", dir / "c");
    const auto free = drives::freeDriveLetters(host);
    ASSERT_EQ(free.size(), 24u);
    EXPECT_EQ(free.front(), "A:");
    EXPECT_EQ(free[1], "D:");
    EXPECT_EQ(free.back(), "Z:");

    EXPECT_EQ(drives::normalizeDriveLetter("k"), "K:");
    EXPECT_EQ(drives::normalizeDriveLetter("k:"), "K:");
    EXPECT_FALSE(drives::normalizeDriveLetter("KK"));
    EXPECT_FALSE(drives::normalizeDriveLetter("1:"));
    EXPECT_FALSE(drives::normalizeDriveLetter("/k"));
}

TEST_F(DriveCommandsTest, TrayTooltip)
{
    const std::string title = drives::programTitle("1.2.3");
    EXPECT_EQ(title, "Kestrava v1.2.3");
    EXPECT_EQ(drives::trayTooltipText(title, {}), "Kestrava v1.2.3 - Not Active");
    EXPECT_EQ(drives::trayTooltipText(title, {"E:", "G:"}),
              "Kestrava v1.2.3 - Active\n(Mounted Drives: E:, G:)");
    std::vector<std::string> many;
    for (char c = 'A'; c <= 'Z'; ++c) {
        many.push_back(std::string(1, c) + ":");
    }
    const std::string cut = drives::trayTooltipText(title, many);
    EXPECT_EQ(cut.size(), 127u);
    EXPECT_EQ(cut.substr(cut.size() - 4), "...)");
}

TEST_F(DriveCommandsTest, TooltipListsMountedDrivesInListOrder)
{
    makeToken(dir / "g");
    makeToken(dir / "e");
    addRecord(dir / "g", "G:", "Gee", kDrivePassword, true);
    addRecord(dir / "e", "E:", "Ee", kDrivePassword, true);
    ASSERT_TRUE(drives::fillDriveList(services, true));
    EXPECT_EQ(drives::trayTooltipText("K", mounted.mountedLetters()), "K - Active\n(Mounted Drives: G:, E:)");
}

TEST_F(DriveCommandsTest, RowCellsHeadersAndIcons)
{
    EXPECT_EQ(drives::columnHeaders(),
              (std::vector<std::string>{"Drive", "Volume Name", "Folder Location", "Mounted", "Auto Mount",
                                        "Require Password"}));
    drives::DriveRow row{
        "K:", "Alpha", drives::missingFolderCell("/x/y"), drives::MountState::FolderMissing, true, false, 0};
    EXPECT_EQ(row.cell(drives::Column::FolderLocation), "<Path does not exist!> /x/y");
    EXPECT_EQ(row.folder(), "/x/y");
    EXPECT_EQ(row.cell(drives::Column::AutoMount), "Yes");
    EXPECT_EQ(row.cell(drives::Column::RequirePassword), "Yes");

    const drives::CloudFolderLookup lookup = [](int icon) -> std::string {
        return icon == 1 ? "/home/u/Dropbox" : icon == 3 ? "/home/u/Google Drive" : "";
    };
    EXPECT_EQ(drives::rowIconIndex("/home/u/Dropbox/vault", lookup), 1);
    EXPECT_EQ(drives::rowIconIndex("/home/u/Google Drive/a/b", lookup), 3);
    EXPECT_EQ(drives::rowIconIndex("/home/u/Dropbox2/vault", lookup), 0) << "whole components only";
    EXPECT_EQ(drives::rowIconIndex("/home/u/vault", lookup), 0);
    EXPECT_EQ(drives::rowIconIndex("/home/u/Dropbox/vault", {}), 0);
}

TEST_F(DriveCommandsTest, ModelIsSafeToFillFromSeveralThreads)
{
    std::atomic<int> added{0};
    rows.setListener([&](drives::DriveListModel::Change change, std::size_t) {
        if (change == drives::DriveListModel::Change::Added) {
            ++added;
        }
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                rows.addRow({"K:", std::to_string(t), "/f" + std::to_string(i), kNo, false, false, 0});
                (void)rows.rows();
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(rows.size(), 800u);
    EXPECT_EQ(added.load(), 800);
    EXPECT_TRUE(rows.findByFolder("/f199"));
}

TEST_F(DriveCommandsTest, OpenFolderLocation)
{
    drives::DriveRow row{"K:",
                         "A",
                         drives::missingFolderCell((dir / "gone").string()),
                         drives::MountState::FolderMissing,
                         false,
                         false,
                         0};
    EXPECT_FALSE(drives::folderLocationToOpen(prompter, row));
    EXPECT_EQ(prompter.messageIds(), std::vector<int>{drives::kMsgFolderMissing});
    row.folderCell = dir.path().string();
    EXPECT_EQ(drives::folderLocationToOpen(prompter, row), dir.path());
}

} // namespace
} // namespace kestrava::test
