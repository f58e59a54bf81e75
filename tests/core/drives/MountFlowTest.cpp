// The mount flow over real tokens and settings files: which drives are mounted at start,
// what is asked, and which key reaches the host.
#include "core/drives/MountFlow.h"

#include "DriveFixture.h"
#include "core/app/StringTable.h"
#include "core/drives/DriveMessages.h"
#include "core/drives/FreeLetters.h"

#include <algorithm>

namespace kestrava::test {
namespace {

constexpr auto kMountError = drives::MountState::FolderMissing;
constexpr auto kNo = drives::MountState::NotMounted;
constexpr auto kYes = drives::MountState::Mounted;

class MountFlowTest : public DriveFixture
{
};

TEST_F(MountFlowTest, StartUpMountsRememberedDrivesAndAsksForTheOthers)
{
    const auto keyA = makeToken(dir / "a");
    const auto keyB = makeToken(dir / "b", kOtherPassword);
    makeToken(dir / "c");
    addRecord(dir / "a", "K:", "Alpha", kDrivePassword, true);
    addRecord(dir / "b", "L:", "Beta", std::nullopt, true);
    addRecord(dir / "c", "M:", "Gamma", std::nullopt, false); // not auto-mounted: never asked
    prompter.expectDrivePassword(typedPassword(kOtherPassword));

    ASSERT_TRUE(drives::fillDriveList(services, true));

    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows.row(0)->mounted, kYes);
    EXPECT_EQ(rows.row(1)->mounted, kYes);
    EXPECT_EQ(rows.row(2)->mounted, kNo);
    EXPECT_EQ(rows.row(0)->cell(drives::Column::RequirePassword), "No");
    EXPECT_EQ(rows.row(1)->cell(drives::Column::RequirePassword), "Yes");
    EXPECT_EQ(host.mounts.at("K:").masterKey, keyA);
    EXPECT_EQ(host.mounts.at("L:").masterKey, keyB);
    std::vector<std::string> asked;
    for (const auto& call : prompter.calls()) {
        if (call.kind == ScriptedPrompter::Call::Kind::DrivePassword) {
            asked.push_back(call.text);
        }
    }
    EXPECT_EQ(asked, std::vector<std::string>{"Beta"});
    EXPECT_EQ(mounted.mountedLetters(), (std::vector<std::string>{"K:", "L:"}));
    EXPECT_TRUE(prompter.messageIds().empty());
}

TEST_F(MountFlowTest, CancelledPromptAtStartStillListsTheDrive)
{
    makeToken(dir / "a");
    addRecord(dir / "a", "K:", "Alpha", std::nullopt, true);
    prompter.expectDrivePassword(cancelledPrompt());

    ASSERT_TRUE(drives::fillDriveList(services, true));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows.row(0)->mounted, kNo);
    EXPECT_TRUE(host.mounts.empty());
    EXPECT_NE(logText().find("ReadDriveInfo LoginDlg Cancelled."), std::string::npos);
}

TEST_F(MountFlowTest, WithoutPromptingOnlyRememberedDrivesMount)
{
    makeToken(dir / "a");
    makeToken(dir / "b");
    addRecord(dir / "a", "K:", "Alpha", kDrivePassword, true);
    addRecord(dir / "b", "L:", "Beta", std::nullopt, true);

    ASSERT_TRUE(drives::fillDriveList(services, false));
    EXPECT_EQ(rows.row(0)->mounted, kYes);
    EXPECT_EQ(rows.row(1)->mounted, kNo);
    EXPECT_EQ(host.mounts.count("L:"), 0u);
}

TEST_F(MountFlowTest, MissingBackingFolderIsListedWithoutAsking)
{
    addRecord(dir / "gone", "K:", "Gone", std::nullopt, true);

    ASSERT_TRUE(drives::fillDriveList(services, true));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows.row(0)->mounted, kMountError);
    EXPECT_EQ(rows.row(0)->folderCell, "<Path does not exist!> " + (dir / "gone").string());
    EXPECT_EQ(rows.row(0)->folder(), (dir / "gone").string());
    EXPECT_TRUE(host.calls.empty());
    // The mount command refuses such a row.
    EXPECT_FALSE(drives::doMountDrv(services, 0));
    EXPECT_EQ(prompter.messageIds(), std::vector<int>{drives::kMsgMountRowUnreadable});
}

TEST_F(MountFlowTest, UnreadableTokenIsReportedAndNotMounted)
{
    std::filesystem::create_directories(dir / "a");
    writeFile(token::tokenPathFor(dir / "a"), "not a token");
    addRecord(dir / "a", "K:", "Alpha", kDrivePassword, true);

    ASSERT_TRUE(drives::fillDriveList(services, true));
    EXPECT_EQ(prompter.messageIds(), std::vector<int>{drives::kMsgTokenUnreadable});
    EXPECT_EQ(rows.row(0)->mounted, kNo);
    EXPECT_TRUE(host.mounts.empty());
}

// A legacy token has no digest, so a wrong remembered password used to go straight to the
// mount with a garbage key. The check data must pass first.
TEST_F(MountFlowTest, LegacyTokenNeverMountsWithAWrongPassword)
{
    makeToken(dir / "a");
    makeLegacy(dir / "a");
    addRecord(dir / "a", "K:", "Alpha", kOtherPassword, true);

    ASSERT_TRUE(drives::fillDriveList(services, true));
    EXPECT_TRUE(host.mounts.empty());
    EXPECT_EQ(rows.row(0)->mounted, kNo);
    EXPECT_TRUE(prompter.messageIds().empty()) << "the start-up fill fails quietly";

    // An explicit mount offers to forget the password; No leaves everything as it was.
    prompter.expectMessage(drives::kMsgVerificationFailed, Button::No);
    EXPECT_FALSE(drives::mountRow(services, 0));
    EXPECT_TRUE(host.mounts.empty());
    EXPECT_FALSE(record(0).pwd.empty());
}

TEST_F(MountFlowTest, LegacyTokenMountsWithTheRightPassword)
{
    const auto key = makeToken(dir / "a");
    makeLegacy(dir / "a");
    addRecord(dir / "a", "K:", "Alpha", kDrivePassword, true);

    ASSERT_TRUE(drives::fillDriveList(services, true));
    ASSERT_EQ(host.mounts.count("K:"), 1u);
    EXPECT_EQ(host.mounts.at("K:").masterKey, key);
}

// A remembered password that no longer opens the drive (changed elsewhere) is said to be
// stale, not a damaged drive; the password is asked next, and one that opens the drive takes
// the stale one's place. Nothing is dropped while no working password is given.
TEST_F(MountFlowTest, StaleRememberedPasswordIsReportedAndTheCurrentOneAskedNext)
{
    constexpr int kMsgStalePassword = 1260;
    const auto key = makeToken(dir / "a");
    addRecord(dir / "a", "K:", "Alpha", kOtherPassword, false);
    rows.addRow({"K:", "Alpha", (dir / "a").string(), kNo, false, true, 0});
    const std::string stale = record(0).pwd;

    prompter.expectDrivePassword(cancelledPrompt());
    EXPECT_FALSE(drives::mountRow(services, 0));
    EXPECT_EQ(prompter.messageIds(), std::vector<int>{kMsgStalePassword});
    EXPECT_TRUE(host.mounts.empty());
    EXPECT_EQ(record(0).pwd, stale) << "a cancelled prompt changes nothing";

    prompter.expectDrivePassword(typedPassword(kDrivePassword, true, false));
    EXPECT_TRUE(drives::mountRow(services, 0));
    ASSERT_EQ(host.mounts.count("K:"), 1u);
    EXPECT_EQ(host.mounts.at("K:").masterKey, key);
    token::DriveContext context;
    EXPECT_EQ(record(0).pwd, context.ProtectPassword(hashStr(kDrivePassword)));
}

TEST_F(MountFlowTest, StaleRememberedPasswordAtStartIsReportedAsStale)
{
    constexpr int kMsgStalePassword = 1260;
    makeToken(dir / "a");
    addRecord(dir / "a", "K:", "Alpha", kOtherPassword, true);
    ASSERT_TRUE(drives::fillDriveList(services, false));
    EXPECT_EQ(prompter.messageIds(), std::vector<int>{kMsgStalePassword});
    EXPECT_TRUE(host.mounts.empty());
    EXPECT_EQ(rows.row(0)->mounted, kNo);
}

TEST_F(MountFlowTest, LetterInUseLeavesTheDriveUnmounted)
{
    makeToken(dir / "a");
    addRecord(dir / "a", "K:", "Alpha", kDrivePassword, true);
    host.busyLetters.insert("K:");

    ASSERT_TRUE(drives::fillDriveList(services, true));
    EXPECT_EQ(rows.row(0)->mounted, kNo);
    EXPECT_TRUE(host.mounts.empty());
    EXPECT_NE(
        logText().find("!ReadDriveInfo InstallFileSystem: Drive Not Mounted(K:) - " + (dir / "a").string()),
        std::string::npos);
    EXPECT_EQ(mounted.size(), 0u) << "an unmounted context is released";

    // The mount button says why.
    EXPECT_FALSE(drives::doMountDrv(services, 0));
    EXPECT_EQ(prompter.messageIds(), std::vector<int>{drives::kMsgLetterInUse});
}

TEST_F(MountFlowTest, HostFailuresAreReported)
{
    makeToken(dir / "a");
    addRecord(dir / "a", "K:", "Alpha", kDrivePassword, false);
    rows.addRow({"K:", "Alpha", (dir / "a").string(), kNo, false, true, 0});
    host.failNextMount = host::MountResult{host::MountOutcome::Failed, "fusermount3 exited with 1"};

    EXPECT_FALSE(drives::mountRow(services, 0));
    ASSERT_EQ(prompter.messageIds(), std::vector<int>{drives::kMsgMountFailed});
    for (const auto& call : prompter.calls()) {
        if (call.kind == ScriptedPrompter::Call::Kind::MessageBox) {
            EXPECT_EQ(call.args, (std::vector<std::string>{"K:", "fusermount3 exited with 1"}));
        }
    }
    EXPECT_EQ(rows.row(0)->mounted, kNo);
}

TEST_F(MountFlowTest, LetterTakenDuringAMountIsReportedOnlyForThatDrive)
{
    makeToken(dir / "a");
    addRecord(dir / "a", "K:", "Alpha", kDrivePassword, true);
    // Another process wins the letter between our check and our mount.
    host.failNextMount = host::MountResult{host::MountOutcome::LetterInUse, "K: is in use"};
    ASSERT_TRUE(drives::fillDriveList(services, true));
    EXPECT_TRUE(prompter.messageIds().empty()) << "the start-up fill only logs a letter in use";

    rows.clear();
    rows.addRow({"K:", "Alpha", (dir / "a").string(), kNo, true, false, 0});
    host.failNextMount = host::MountResult{host::MountOutcome::LetterInUse, "K: is in use"};
    EXPECT_FALSE(drives::mountRow(services, 0));
    EXPECT_EQ(prompter.messageIds(), std::vector<int>{drives::kMsgLetterInUse});
    EXPECT_EQ(rows.row(0)->mounted, kNo);
}

TEST_F(MountFlowTest, PromptRemembersThePasswordAndTheAutoMountBox)
{
    makeToken(dir / "a");
    addRecord(dir / "a", "K:", "Alpha", std::nullopt, true);
    rows.addRow({"K:", "Alpha", (dir / "a").string(), kNo, true, false, 0});
    prompter.expectDrivePassword(typedPassword(kDrivePassword, true, false));

    ASSERT_TRUE(drives::mountRow(services, 0));
    EXPECT_FALSE(record(0).pwd.empty());
    EXPECT_EQ(record(0).automount, 0);
    EXPECT_EQ(rows.row(0)->cell(drives::Column::RequirePassword), "No");
    // The remembered form opens the drive on the next start.
    token::DriveContext check;
    check.SetPassword(record(0).pwd);
    check.UnprotectPassword();
    EXPECT_EQ(check.unlock(token::tokenPathFor(dir / "a")), token::TokenLoadStatus::Loaded);
}

TEST_F(MountFlowTest, CancelledPromptOnAnExplicitMountStops)
{
    makeToken(dir / "a");
    addRecord(dir / "a", "K:", "Alpha", std::nullopt, false);
    rows.addRow({"K:", "Alpha", (dir / "a").string(), kNo, false, false, 0});
    prompter.expectDrivePassword(cancelledPrompt());

    EXPECT_FALSE(drives::mountRow(services, 0));
    EXPECT_TRUE(host.calls.empty());
    const auto shown = std::find_if(prompter.calls().begin(), prompter.calls().end(), [](const auto& call) {
        return call.kind == ScriptedPrompter::Call::Kind::Status;
    });
    ASSERT_NE(shown, prompter.calls().end());
    EXPECT_EQ(shown->text, formatPrompterMessage(drives::kStatusMounting, {"Alpha", "K:"}));
    EXPECT_EQ(prompter.calls().back().kind, ScriptedPrompter::Call::Kind::Status);
    EXPECT_EQ(prompter.calls().back().text, "") << "the status line is hidden";
}

TEST_F(MountFlowTest, AutoMountBoxChangedOnACancelledPromptIsSavedAtOnce)
{
    makeToken(dir / "a");
    addRecord(dir / "a", "K:", "Alpha", std::nullopt, false);
    rows.addRow({"K:", "Alpha", (dir / "a").string(), kNo, false, false, 0});
    DrivePasswordAnswer ticked = cancelledPrompt();
    ticked.autoMount = true;
    ticked.autoMountChanged = true;
    prompter.expectDrivePassword(ticked);

    EXPECT_FALSE(drives::mountRow(services, 0));
    EXPECT_EQ(record(0).automount, 1);
    EXPECT_TRUE(rows.row(0)->autoMount) << "the row shows the box as saved";
    EXPECT_TRUE(host.calls.empty());

    // Cancelled without touching the box: nothing is written.
    prompter.expectDrivePassword(cancelledPrompt());
    EXPECT_FALSE(drives::mountRow(services, 0));
    EXPECT_EQ(record(0).automount, 1);
}

TEST_F(MountFlowTest, UnmountTogglesAndABusyDriveStaysMounted)
{
    makeToken(dir / "a");
    addRecord(dir / "a", "K:", "Alpha", kDrivePassword, true);
    ASSERT_TRUE(drives::fillDriveList(services, true));
    ASSERT_EQ(rows.row(0)->mounted, kYes);

    host.refuseUnmount.insert("K:");
    EXPECT_FALSE(drives::doMountDrv(services, 0));
    EXPECT_EQ(prompter.messageIds(), std::vector<int>{drives::kMsgUnmountFailed});
    EXPECT_EQ(rows.row(0)->mounted, kYes);
    EXPECT_EQ(mounted.size(), 1u);

    host.refuseUnmount.clear();
    EXPECT_TRUE(drives::doMountDrv(services, 0));
    EXPECT_EQ(rows.row(0)->mounted, kNo);
    EXPECT_EQ(mounted.size(), 0u);
    EXPECT_TRUE(host.mounts.empty());

    EXPECT_FALSE(drives::doMountDrv(services, std::nullopt));
    EXPECT_EQ(prompter.messageIds().back(), drives::kMsgNoDriveSelected);
}

TEST_F(MountFlowTest, DriveMountedByAnotherProcessIsListedAsMountedWithoutAsking)
{
    makeToken(dir / "a");
    addRecord(dir / "a", "K:", "Alpha", std::nullopt, true);
    host.mountedElsewhere("K:", dir / "a");

    ASSERT_TRUE(drives::fillDriveList(services, true));
    EXPECT_EQ(rows.row(0)->mounted, kYes);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(MountFlowTest, RefreshUnmountsDrivesWhoseFolderVanishedAndNeverMounts)
{
    makeToken(dir / "a");
    makeToken(dir / "b");
    addRecord(dir / "a", "K:", "Alpha", kDrivePassword, true);
    addRecord(dir / "b", "L:", "Beta", kDrivePassword, true);
    ASSERT_TRUE(drives::fillDriveList(services, true));
    ASSERT_EQ(host.mounts.size(), 2u);
    drives::unmountRow(services, 1);

    std::filesystem::remove_all(dir / "a");
    host.calls.clear();
    drives::doRefreshDrv(services);

    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows.row(0)->mounted, kMountError);
    EXPECT_EQ(rows.row(1)->mounted, kNo) << "a refresh never mounts";
    EXPECT_EQ(host.calls, std::vector<std::string>{"unmount K:"});
    EXPECT_EQ(mounted.size(), 0u);
}

TEST_F(MountFlowTest, VanishedFolderUnmountKeepsTheEntryWhileTheHostStillServesIt)
{
    makeToken(dir / "a");
    addRecord(dir / "a", "K:", "Alpha", kDrivePassword, true);
    ASSERT_TRUE(drives::fillDriveList(services, true));
    std::filesystem::remove_all(dir / "a");

    host.refuseUnmount.insert("K:");
    EXPECT_FALSE(drives::unmountVanishedDrive(services, "K:", (dir / "a").string()));
    EXPECT_EQ(mounted.mountedLetters(), std::vector<std::string>{"K:"}) << "still served, still listed";

    host.refuseUnmount.clear();
    EXPECT_TRUE(drives::unmountVanishedDrive(services, "K:", (dir / "a").string()));
    EXPECT_EQ(mounted.size(), 0u);
    EXPECT_TRUE(host.mounts.empty());
    // A drive another process serves has no entry here; the host's unmount is all there is.
    host.mountedElsewhere("L:", dir / "b");
    EXPECT_TRUE(drives::hostServesLetter(host, "l"));
    EXPECT_TRUE(drives::unmountVanishedDrive(services, "L:", (dir / "b").string()));
    EXPECT_FALSE(drives::hostServesLetter(host, "L:"));
}

TEST_F(MountFlowTest, FreeLetterCheckSkipsServedAndBusyLetters)
{
    host.mountedElsewhere("K:", dir / "a");
    host.busyLetters.insert("M:");
    EXPECT_FALSE(drives::isDriveLetterFree(host, "K:"));
    EXPECT_FALSE(drives::isDriveLetterFree(host, "m"));
    EXPECT_TRUE(drives::isDriveLetterFree(host, "l:"));
    EXPECT_FALSE(drives::isDriveLetterFree(host, "KK")) << "not a letter";
}

TEST(DriveRowStates, ViewsShowEachStateByItsTextId)
{
    drives::DriveRow row;
    const std::vector<std::pair<drives::MountState, std::string>> expected{
        {kYes, "Yes"}, {kNo, "No"}, {kMountError, "Error!"}};
    for (const auto& [state, text] : expected) {
        row.mounted = state;
        EXPECT_EQ(row.cell(drives::Column::Mounted), text);
        EXPECT_EQ(loadAppString(drives::mountStateTextId(state)), text);
        EXPECT_EQ(row.isMounted(), state == kYes);
    }
    row.autoMount = true;
    row.passwordRemembered = true;
    EXPECT_EQ(row.cell(drives::Column::AutoMount), "Yes");
    EXPECT_EQ(row.cell(drives::Column::RequirePassword), "No");
}

TEST_F(MountFlowTest, EditPreparationUnlocksWithoutMounting)
{
    makeToken(dir / "a");
    addRecord(dir / "a", "K:", "Alpha", std::nullopt, false);
    addRecord(dir / "gone", "L:", "Gone", std::nullopt, false);
    ASSERT_TRUE(drives::fillDriveList(services, true));

    prompter.expectDrivePassword(typedPassword(kDrivePassword));
    const auto context = drives::prepareDriveForEdit(services, 0);
    ASSERT_NE(context, nullptr);
    EXPECT_FALSE(mounted.isMounted(*context));
    EXPECT_TRUE(context->VerifyCheckData());
    EXPECT_TRUE(host.mounts.empty());
    EXPECT_EQ(mounted.size(), 1u) << "the context being edited stays in the list";
    EXPECT_EQ(drives::prepareDriveForEdit(services, 0), context) << "asked once";

    EXPECT_EQ(drives::prepareDriveForEdit(services, 1), nullptr);
    EXPECT_EQ(prompter.messageIds(), std::vector<int>{drives::kMsgRowUnreadable});
}

} // namespace
} // namespace kestrava::test
