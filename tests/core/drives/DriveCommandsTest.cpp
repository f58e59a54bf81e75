// The drive list's own commands and pieces: delete, token backups, free letters, the tray
// tooltip, the row model.
#include "core/drives/DriveCommands.h"

#include "DriveFixture.h"
#include "core/drives/DriveMessages.h"
#include "core/drives/FreeLetters.h"
#include "core/drives/MountFlow.h"
#include "core/drives/TokenBackup.h"
#include "core/drives/TrayTooltip.h"

#include <atomic>
#include <sys/stat.h>
#include <thread>

namespace kestrava::test {
namespace {

using drives::kNo;
using drives::kYes;

class DriveCommandsTest : public DriveFixture
{
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
    drives::DriveRow row{"K:", "Alpha", drives::missingFolderCell("/x/y"), "Error!", true, false, 0};
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
                rows.addRow(
                    {"K:", std::to_string(t), "/f" + std::to_string(i), std::string(kNo), false, false, 0});
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
    drives::DriveRow row{"K:",  "A", drives::missingFolderCell((dir / "gone").string()), "Error!", false,
                         false, 0};
    EXPECT_FALSE(drives::folderLocationToOpen(prompter, row));
    EXPECT_EQ(prompter.messageIds(), std::vector<int>{drives::kMsgFolderMissing});
    row.folderCell = dir.path().string();
    EXPECT_EQ(drives::folderLocationToOpen(prompter, row), dir.path());
}

} // namespace
} // namespace kestrava::test
