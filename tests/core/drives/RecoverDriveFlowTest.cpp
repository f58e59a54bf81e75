// Recovering drives over real folders: the folder check and its choices, old-format tokens,
// backups copied into the folder, wrong passwords and bad input that must change nothing.
#include "core/drives/RecoverDriveFlow.h"

#include "DriveFixture.h"
#include "core/app/StringTable.h"
#include "core/crypto/Base64Url.h"
#include "core/drives/DriveMessages.h"
#include "core/fs/PathMapper.h"
#include "core/settings/FileLock.h"

#include <tuple>

namespace kestrava::test {
namespace {

using drives::RecoverOutcome;
using drives::RecoveryField;

class RecoverDriveFlowTest : public DriveFixture
{
protected:
    drives::RecoveryState state;

    drives::RecoveryRequest request(const std::string& password = kDrivePassword,
                                    const std::string& letter = "K:")
    {
        drives::RecoveryRequest r;
        r.letter = letter;
        r.password = crypto::makeSecureString(password);
        return r;
    }

    // Each balloon as (field, title id, text id).
    using BalloonCall = std::tuple<int, int, int>;

    std::vector<BalloonCall> balloons() const
    {
        std::vector<BalloonCall> shown;
        for (const auto& call : prompter.calls()) {
            if (call.kind == ScriptedPrompter::Call::Kind::Balloon) {
                shown.emplace_back(call.fieldId, call.titleId, call.messageId);
            }
        }
        return shown;
    }

    static BalloonCall balloonAt(RecoveryField field, int title, int text)
    {
        return {static_cast<int>(field), title, text};
    }
};

TEST_F(RecoverDriveFlowTest, FolderWithoutTokenOffersOnlyTheBackup)
{
    std::filesystem::create_directories(dir / "synced");
    ASSERT_TRUE(drives::checkRecoveryFolder(services, state, (dir / "synced").string()));
    EXPECT_FALSE(state.folderTokenEnabled);
    EXPECT_FALSE(state.useFolderToken);
    EXPECT_TRUE(state.backupEnabled);
    EXPECT_EQ(state.balloonTitle, drives::kMsgFolderLoadedTitle);
    EXPECT_EQ(balloons(), std::vector{balloonAt(RecoveryField::BackupChoice, drives::kMsgFolderLoadedTitle,
                                                drives::kMsgUseBackupText)});
    EXPECT_TRUE(prompter.messageIds().empty());

    prompter.expectMessage(drives::kMsgFieldsEmpty, Button::OK);
    EXPECT_EQ(drives::confirmRecovery(services, state, request()), RecoverOutcome::Stopped)
        << "no token chosen yet";
}

TEST_F(RecoverDriveFlowTest, TokenThatCannotBeReadIsReportedAndOnlyTheBackupRemains)
{
    std::filesystem::create_directories(dir / "synced");
    writeFile(token::tokenPathFor(dir / "synced"), "<Kestrava><version>2.0.0.0</version></Kestrava>");
    ASSERT_TRUE(drives::checkRecoveryFolder(services, state, (dir / "synced").string()));
    EXPECT_EQ(prompter.messageIds(), std::vector<int>{drives::kMsgImportReadFailed});
    EXPECT_EQ(prompter.captionOf(drives::kMsgImportReadFailed), kDefaultCaption);
    EXPECT_FALSE(state.folderTokenEnabled);
    EXPECT_TRUE(state.backupEnabled);
}

TEST_F(RecoverDriveFlowTest, IntactTokenIsRecoveredRegisteredAndMounted)
{
    const auto key = makeToken(dir / "synced");
    ASSERT_TRUE(drives::checkRecoveryFolder(services, state, (dir / "synced").string()));
    EXPECT_TRUE(state.folderTokenEnabled && state.useFolderToken);
    EXPECT_EQ(state.balloonTitle, drives::kMsgTokenFoundTitle);
    EXPECT_EQ(balloons(), std::vector{balloonAt(RecoveryField::FolderTokenChoice, drives::kMsgTokenFoundTitle,
                                                drives::kMsgTokenFoundText)});

    auto r = request();
    r.label = "Restored";
    r.rememberPassword = false;
    ASSERT_EQ(drives::confirmRecovery(services, state, r), RecoverOutcome::Recovered);
    EXPECT_EQ(prompter.messageIds(), std::vector<int>{drives::kMsgRecovered});
    EXPECT_EQ(host.mounts.at("K:").masterKey, key);
    const auto saved = record(0);
    EXPECT_EQ(saved.folder, (dir / "synced").string());
    EXPECT_EQ(saved.label, "Restored");
    EXPECT_EQ(saved.letter, "K:");
    EXPECT_TRUE(saved.pwd.empty());
    EXPECT_EQ(saved.automount, 1);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "synced" / fs::warningFolderName()));
    EXPECT_EQ(mounted.mountedLetters(), std::vector<std::string>{"K:"});
}

TEST_F(RecoverDriveFlowTest, OldFormatTokens)
{
    // Intact: adopted without a word, opened by its check data.
    const auto key = makeToken(dir / "old");
    makeLegacy(dir / "old");
    ASSERT_TRUE(drives::checkRecoveryFolder(services, state, (dir / "old").string()));
    EXPECT_TRUE(prompter.messageIds().empty());
    EXPECT_TRUE(state.useFolderToken);
    EXPECT_EQ(drives::confirmRecovery(services, state, request(kOtherPassword)),
              RecoverOutcome::WrongPassword);
    ASSERT_EQ(drives::confirmRecovery(services, state, request()), RecoverOutcome::Recovered);
    EXPECT_EQ(host.mounts.at("K:").masterKey, key);

    // Damaged (this version cannot read it): announced, accepted by the folder check, and
    // refused by the password check.
    makeToken(dir / "broken");
    makeLegacy(dir / "broken");
    const auto path = token::tokenPathFor(dir / "broken");
    writeFile(path, setTokenElement(readFile(path), "keysize", std::nullopt));
    drives::RecoveryState broken;
    prompter.expectMessage(drives::kMsgLegacyImport, Button::OK);
    ASSERT_TRUE(drives::checkRecoveryFolder(services, broken, (dir / "broken").string()));
    EXPECT_TRUE(broken.useFolderToken);
    EXPECT_EQ(drives::confirmRecovery(services, broken, request(kDrivePassword, "L:")),
              RecoverOutcome::WrongPassword);
    EXPECT_EQ(settings.driveRecords()->size(), 1u);
}

TEST_F(RecoverDriveFlowTest, BackupFromAnotherFolderIsCopiedIn)
{
    const auto key = makeToken(dir / "original");
    const auto backup = dir / "kestrava_backup_(work)14mar05.xml";
    std::filesystem::copy_file(token::tokenPathFor(dir / "original"), backup);
    std::filesystem::create_directories(dir / "synced");

    ASSERT_TRUE(drives::checkRecoveryFolder(services, state, (dir / "synced").string()));
    prompter.expectMessage(drives::kMsgImported, Button::OK);
    ASSERT_TRUE(drives::chooseRecoveryBackup(prompter, state, backup));
    EXPECT_EQ(state.backupAccepted, std::optional<bool>(true));
    ASSERT_EQ(drives::confirmRecovery(services, state, request()), RecoverOutcome::Recovered);
    EXPECT_EQ(readFile(token::tokenPathFor(dir / "synced")), readFile(backup));
    EXPECT_EQ(host.mounts.at("K:").masterKey, key);
    EXPECT_FALSE(record(0).pwd.empty()) << "remembered by default";
}

TEST_F(RecoverDriveFlowTest, BackupOverAnExistingTokenOnlyWhenTheUserSaysSo)
{
    const auto key = makeToken(dir / "original");
    const auto backup = dir / "backup.xml";
    std::filesystem::copy_file(token::tokenPathFor(dir / "original"), backup);
    makeToken(dir / "synced", kOtherPassword);
    const std::string existing = readFile(token::tokenPathFor(dir / "synced"));

    ASSERT_TRUE(drives::checkRecoveryFolder(services, state, (dir / "synced").string()));
    prompter.expectMessage(drives::kMsgImported, Button::OK);
    ASSERT_TRUE(drives::chooseRecoveryBackup(prompter, state, backup));
    EXPECT_FALSE(state.useFolderToken);

    prompter.expectMessage(drives::kMsgOverwriteToken, Button::No);
    EXPECT_EQ(drives::confirmRecovery(services, state, request()), RecoverOutcome::Stopped);
    EXPECT_EQ(readFile(token::tokenPathFor(dir / "synced")), existing);
    EXPECT_FALSE(settings.exists());

    prompter.expectMessage(drives::kMsgOverwriteToken, Button::Yes);
    ASSERT_EQ(drives::confirmRecovery(services, state, request()), RecoverOutcome::Recovered);
    EXPECT_EQ(readFile(token::tokenPathFor(dir / "synced")), readFile(backup));
    EXPECT_EQ(host.mounts.at("K:").masterKey, key);

    // The token it replaced is kept beside it, and the user told where.
    std::vector<std::filesystem::path> kept;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "synced")) {
        if (fs::IsReplacedTokenName(entry.path().filename().string())) {
            kept.push_back(entry.path());
        }
    }
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(readFile(kept[0]), existing);
    const auto ids = prompter.messageIds();
    EXPECT_NE(std::find(ids.begin(), ids.end(), drives::kMsgTokenKept), ids.end());
}

TEST_F(RecoverDriveFlowTest, FolderOverlappingAnotherDriveIsRefused)
{
    makeToken(dir / "a");
    addRecord(dir / "a", "K:", "A", std::nullopt, false);
    makeToken(dir / "a" / "nested");
    EXPECT_FALSE(drives::checkRecoveryFolder(services, state, (dir / "a" / "nested").string()));
    EXPECT_FALSE(drives::checkRecoveryFolder(services, state, dir.path().string()));
    EXPECT_EQ(prompter.messageIds(),
              (std::vector<int>{drives::kMsgInsideOtherDrive, drives::kMsgHoldsOtherDrive}));

    // A drive mounted after the folder was checked still stops the recovery.
    makeToken(dir / "b" / "inner");
    ASSERT_TRUE(drives::checkRecoveryFolder(services, state, (dir / "b" / "inner").string()));
    host.mountedElsewhere("P:", dir / "b");
    EXPECT_EQ(drives::confirmRecovery(services, state, request()), RecoverOutcome::Stopped);
    EXPECT_EQ(prompter.messageIds().back(), drives::kMsgInsideOtherDrive);
    EXPECT_EQ(settings.driveRecords()->size(), 1u);
}

TEST_F(RecoverDriveFlowTest, WrongPasswordChangesNothing)
{
    const auto backup = dir / "backup.xml";
    makeToken(dir / "original");
    std::filesystem::copy_file(token::tokenPathFor(dir / "original"), backup);
    std::filesystem::create_directories(dir / "synced");
    ASSERT_TRUE(drives::checkRecoveryFolder(services, state, (dir / "synced").string()));
    prompter.expectMessage(drives::kMsgImported, Button::OK);
    ASSERT_TRUE(drives::chooseRecoveryBackup(prompter, state, backup));

    EXPECT_EQ(drives::confirmRecovery(services, state, request(kOtherPassword)),
              RecoverOutcome::WrongPassword);
    EXPECT_EQ(drives::confirmRecovery(services, state, request("")), RecoverOutcome::WrongPassword);
    EXPECT_EQ(balloons().back(),
              balloonAt(RecoveryField::Password, drives::kMsgIncorrectPassword, kNoBalloonText));
    EXPECT_FALSE(std::filesystem::exists(token::tokenPathFor(dir / "synced")));
    EXPECT_FALSE(settings.exists());
    EXPECT_TRUE(host.mounts.empty());
    EXPECT_EQ(mounted.size(), 0u);
}

TEST_F(RecoverDriveFlowTest, BadInputIsRefusedWithItsMessage)
{
    std::filesystem::create_directories(dir / "synced");
    writeFile(dir / "notatoken.xml", "this is not a token");
    ASSERT_TRUE(drives::checkRecoveryFolder(services, state, (dir / "synced").string()));
    EXPECT_FALSE(drives::chooseRecoveryBackup(prompter, state, dir / "notatoken.xml"));
    EXPECT_EQ(prompter.messageIds().back(), drives::kMsgImportReadFailed);
    EXPECT_EQ(state.backupAccepted, std::optional<bool>(false));
    EXPECT_FALSE(state.useBackup);

    drives::RecoveryState other;
    EXPECT_FALSE(drives::checkRecoveryFolder(services, other, "/"));
    EXPECT_EQ(prompter.messageIds().back(), drives::kMsgRootFolder);

    makeToken(dir / "known");
    addRecord(dir / "known", "K:", "Known", std::nullopt, true);
    EXPECT_FALSE(drives::checkRecoveryFolder(services, other, (dir / "known").string()));
    EXPECT_EQ(prompter.messageIds().back(), drives::kMsgFolderRegistered);
    EXPECT_TRUE(other.folder.empty());
    EXPECT_EQ(readFile(dir / "notatoken.xml"), "this is not a token");
    EXPECT_FALSE(std::filesystem::exists(token::tokenPathFor(dir / "synced")));
    EXPECT_EQ(settings.driveRecords()->size(), 1u);
}

TEST_F(RecoverDriveFlowTest, RecordThatCannotBeSavedFailsTheRecovery)
{
    makeToken(dir / "synced");
    std::filesystem::create_directories(settings::lockPathFor(settingsPath)); // no update can be saved
    ASSERT_TRUE(drives::checkRecoveryFolder(services, state, (dir / "synced").string()));
    EXPECT_EQ(drives::confirmRecovery(services, state, request()), RecoverOutcome::Stopped);
    auto unmounted = request(kDrivePassword, "L:");
    unmounted.mount = false;
    EXPECT_EQ(drives::confirmRecovery(services, state, unmounted), RecoverOutcome::Stopped);
    EXPECT_EQ(prompter.messageIds(), (std::vector<int>{drives::kMsgRecordNotSaved, drives::kMsgAddFailed,
                                                       drives::kMsgRecordNotSaved}));
    EXPECT_TRUE(host.mounts.empty());
    EXPECT_EQ(mounted.size(), 0u);
}

TEST_F(RecoverDriveFlowTest, ProviderChoicesFillFolderAndLabel)
{
    drives::CloudTraces traces{dir / "home", dir / "home" / ".config", dir / "mountinfo", dir / "proc"};
    writeFile(dir / "mountinfo", "41 30 0:52 / " + (dir / "bitcasa").string() + " rw - bitcasa bitcasa rw\n");
    std::filesystem::create_directories(dir / "proc" / "77");
    writeFile(dir / "proc" / "77" / "comm", "Bitcasa\n");
    makeToken(dir / "bitcasa" / "Kestrava");

    ASSERT_TRUE(drives::chooseRecoveryProvider(services, state, drives::CloudProvider::Bitcasa, traces));
    EXPECT_EQ(state.folder, (dir / "bitcasa" / "Kestrava").string());
    EXPECT_EQ(state.label, "Kestrava-Amazon");
    EXPECT_TRUE(state.useFolderToken);

    prompter.expectMessage(drives::kMsgInstallClient, Button::OK);
    EXPECT_FALSE(drives::chooseRecoveryProvider(services, state, drives::CloudProvider::Box, traces));

    prompter.expectMessage(drives::kMsgCreateFolder, Button::Cancel);
    EXPECT_FALSE(drives::chooseRecoveryLocalFolder(services, state, traces));
    EXPECT_TRUE(state.folder.empty()) << "back to \"Please select a destination.\"";
}

TEST_F(RecoverDriveFlowTest, WithoutFuseTheDriveIsRegisteredButNotMounted)
{
    makeToken(dir / "synced");
    host.driverInstalled = false;
    ASSERT_TRUE(drives::checkRecoveryFolder(services, state, (dir / "synced").string()));
    EXPECT_EQ(drives::confirmRecovery(services, state, request()), RecoverOutcome::NotMounted);
    EXPECT_EQ(prompter.messageIds(),
              (std::vector<int>{drives::kMsgDriverMissing, drives::kMsgAddedNotMounted}));
    EXPECT_EQ(record(0).letter, "K:");
    EXPECT_EQ(mounted.size(), 0u);
}

TEST_F(RecoverDriveFlowTest, MountRefusedAfterTheTokenWasPlacedStillListsTheDrive)
{
    makeToken(dir / "synced");
    host.failNextMount = host::MountResult{host::MountOutcome::LetterInUse, "taken meanwhile"};
    ASSERT_TRUE(drives::checkRecoveryFolder(services, state, (dir / "synced").string()));
    EXPECT_EQ(drives::confirmRecovery(services, state, request()), RecoverOutcome::NotMounted);
    EXPECT_EQ(prompter.messageIds(),
              (std::vector<int>{drives::kMsgLetterInUse, drives::kMsgAddedNotMounted}));
    ASSERT_EQ(settings.driveRecords()->size(), 1u);
    EXPECT_EQ(record(0).folder, (dir / "synced").string());
    EXPECT_EQ(rows.size(), 1u) << "listed by the refresh";
    EXPECT_TRUE(host.mounts.empty());
}

TEST_F(RecoverDriveFlowTest, OpeningNeedsAFreeLetter)
{
    const auto letters = drives::recoveryLetters(services);
    ASSERT_TRUE(letters);
    EXPECT_EQ(letters->back(), "Z:");
    for (char c = 'A'; c <= 'Z'; ++c) {
        host.busyLetters.insert(std::string(1, c) + ":");
    }
    EXPECT_FALSE(drives::recoveryLetters(services));
    EXPECT_EQ(prompter.messageIds(), std::vector<int>{drives::kMsgNoFreeLetters});
}

} // namespace
} // namespace kestrava::test
