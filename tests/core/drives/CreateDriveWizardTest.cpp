// Walking the new-drive wizard's pages over real folders: the checks of each page, the
// existing-token offer, adopted tokens, duplicate letters, the finish page and the backup.
#include "core/drives/CreateDriveWizard.h"

#include "DriveFixture.h"
#include "core/access/PasswordRule.h"
#include "core/app/StringTable.h"
#include "core/drives/DriveMessages.h"
#include "core/drives/DriveValidation.h"
#include "core/fs/PathMapper.h"

namespace kestrava::test {
namespace {

using drives::WizardStep;

class CreateDriveWizardTest : public DriveFixture
{
protected:
    drives::CloudTraces traces{dir / "home", dir / "home" / ".config", dir / "mountinfo", dir / "proc"};
    drives::CreateDriveWizard wizard{services, traces};

    // Opens the wizard and walks to page 2 with "create" chosen.
    void toLocationPage()
    {
        ASSERT_TRUE(wizard.open());
        ASSERT_FALSE(wizard.nextEnabled());
        EXPECT_EQ(wizard.next(), WizardStep::Stay);
        wizard.choose(drives::WizardChoice::Create);
        ASSERT_EQ(wizard.next(), WizardStep::Moved);
        ASSERT_EQ(wizard.page(), 2);
    }

    void setPassword(const std::string& password, const std::string& confirmation)
    {
        wizard.setPasswords(crypto::makeSecureString(password), crypto::makeSecureString(confirmation));
    }
};

TEST_F(CreateDriveWizardTest, NewDriveFromTheLocalFolderToTheFinishPage)
{
    toLocationPage();
    EXPECT_FALSE(wizard.providerAvailable(drives::CloudProvider::Dropbox));
    prompter.expectMessage(drives::kMsgChooseDestination, Button::OK);
    EXPECT_EQ(wizard.next(), WizardStep::Stay) << "no folder chosen";

    wizard.chooseLocalFolder();
    EXPECT_EQ(wizard.folder(), (dir / "home" / "Kestrava").string());
    EXPECT_EQ(wizard.label(), "Kestrava");
    wizard.setLabel("");
    prompter.expectMessage(drives::kMsgFieldsEmpty, Button::OK);
    EXPECT_EQ(wizard.next(), WizardStep::Stay);
    wizard.setLabel("Private");
    prompter.expectMessage(drives::kMsgCreateFolder, Button::OK);
    ASSERT_EQ(wizard.next(), WizardStep::Moved);
    ASSERT_EQ(wizard.page(), 3);
    EXPECT_FALSE(wizard.adoptingToken());

    setPassword("short", "short");
    EXPECT_EQ(wizard.next(), WizardStep::Stay);
    setPassword("long enough", "long enougH");
    EXPECT_EQ(wizard.next(), WizardStep::Stay);
    EXPECT_EQ(prompter.messageIds().back(), kMsgPasswordMismatch);
    setPassword("long enough", "long enough");
    ASSERT_EQ(wizard.next(), WizardStep::Moved);
    ASSERT_EQ(wizard.page(), 4);
    EXPECT_EQ(wizard.letter(), "Z:") << "the highest free letter";
    wizard.setLongFileNames(false);

    ASSERT_EQ(wizard.next(), WizardStep::Moved);
    EXPECT_EQ(wizard.page(), 5);
    EXPECT_EQ(wizard.creation(), std::optional(drives::WizardCreation::Mounted));
    EXPECT_EQ(wizard.finishLetterLine(), loadAppString(224) + "  Z");
    EXPECT_EQ(wizard.finishLabelLine(), loadAppString(225) + "  Private");

    const auto& mount = host.mounts.at("Z:");
    EXPECT_TRUE(mount.tokenOptions.fileNameEncryption);
    EXPECT_FALSE(mount.tokenOptions.caseInsensitive) << "names differ by case by default";
    EXPECT_FALSE(mount.tokenOptions.longFileNames);
    token::DriveContext check(hashStr("long enough"));
    ASSERT_EQ(check.unlock(token::tokenPathFor(dir / "home" / "Kestrava")), token::TokenLoadStatus::Loaded);
    EXPECT_EQ(check.masterKey(), mount.masterKey);
    const auto saved = record(0);
    EXPECT_EQ(saved.label, "Private");
    EXPECT_EQ(saved.letter, "Z:");
    EXPECT_FALSE(saved.pwd.empty()) << "remembered by default";
    EXPECT_TRUE(std::filesystem::is_directory(dir / "home" / "Kestrava" / fs::warningFolderName()));
    EXPECT_EQ(wizard.folderToOpen(), std::optional(host.mountPointFor("Z:")));
    wizard.setOpenDriveAfterClose(false);
    EXPECT_FALSE(wizard.folderToOpen());

    EXPECT_EQ(wizard.defaultBackupFileName().rfind("kestrava_backup_(private)", 0), 0u);
    ASSERT_TRUE(wizard.backupToken(dir / "backup.xml"));
    EXPECT_EQ(readFile(dir / "backup.xml"), readFile(token::tokenPathFor(dir / "home" / "Kestrava")));
    EXPECT_EQ(prompter.messageIds().back(), drives::kMsgExported);
    wizard.back();
    EXPECT_EQ(wizard.page(), 5) << "no way back once the drive is made";
    EXPECT_EQ(wizard.next(), WizardStep::Close);
}

TEST_F(CreateDriveWizardTest, AdoptedTokenNeedsItsPasswordAndPageFourChecksLongNamesAgain)
{
    std::filesystem::create_directories(dir / "existing");
    token::DriveContext original(hashStr(kDrivePassword));
    original.setOptions({true, false, true});
    ASSERT_TRUE(original.CreateToken(token::tokenPathFor(dir / "existing")));

    toLocationPage();
    wizard.setFolder((dir / "existing").string());
    prompter.expectMessage(drives::kMsgImportExisting, Button::Yes);
    prompter.expectMessage(drives::kMsgImported, Button::OK);
    ASSERT_EQ(wizard.next(), WizardStep::Moved);
    ASSERT_TRUE(wizard.adoptingToken());

    setPassword(kOtherPassword, "");
    prompter.expectMessage(drives::kMsgImportPasswordWrong, Button::OK);
    EXPECT_EQ(wizard.next(), WizardStep::Stay);
    EXPECT_EQ(wizard.page(), 3);

    setPassword(kDrivePassword, "");
    ASSERT_EQ(wizard.next(), WizardStep::Moved);
    EXPECT_TRUE(wizard.longFileNames()) << "checked anew on page 4, whatever the token said";
    const auto before = prompter.messageIds().size();
    ASSERT_EQ(wizard.next(), WizardStep::Moved);
    EXPECT_EQ(prompter.messageIds().size(), before) << "the import is not announced again";
    EXPECT_EQ(host.mounts.at("Z:").masterKey, original.masterKey());
    EXPECT_FALSE(host.mounts.at("Z:").tokenOptions.longFileNames) << "an adopted token keeps its options";
    EXPECT_TRUE(host.mounts.at("Z:").tokenOptions.caseInsensitive) << "and its case-insensitive names";
}

TEST_F(CreateDriveWizardTest, OverlapIsRefusedAndADeclinedTokenIsKept)
{
    makeToken(dir / "a");
    addRecord(dir / "a", "K:", "A", std::nullopt, false);
    const auto oldKey = makeToken(dir / "existing", kOtherPassword);

    toLocationPage();
    wizard.setFolder((dir / "a" / "inner").string());
    EXPECT_EQ(wizard.next(), WizardStep::Stay);
    EXPECT_EQ(prompter.messageIds(), std::vector<int>{drives::kMsgInsideOtherDrive});
    EXPECT_FALSE(std::filesystem::exists(dir / "a" / "inner"));

    wizard.setFolder((dir / "existing").string());
    prompter.expectMessage(drives::kMsgImportExisting, Button::No);
    ASSERT_EQ(wizard.next(), WizardStep::Moved);
    setPassword(kDrivePassword, kDrivePassword);
    ASSERT_EQ(wizard.next(), WizardStep::Moved);
    wizard.setCaseInsensitive(true);
    ASSERT_EQ(wizard.next(), WizardStep::Moved);
    ASSERT_EQ(wizard.creation(), std::optional(drives::WizardCreation::Mounted));
    EXPECT_TRUE(host.mounts.at("Z:").tokenOptions.caseInsensitive) << "still available when asked for";

    std::optional<std::filesystem::path> kept;
    for (const auto& entry : std::filesystem::directory_iterator(dir / "existing")) {
        if (fs::IsReplacedTokenName(entry.path().filename().string())) {
            kept = entry.path();
        }
    }
    ASSERT_TRUE(kept);
    token::DriveContext old(hashStr(kOtherPassword));
    ASSERT_EQ(old.unlock(*kept), token::TokenLoadStatus::Loaded);
    EXPECT_EQ(old.masterKey(), oldKey);
    EXPECT_EQ(prompter.messageIds().back(), drives::kMsgTokenKept);
}

TEST_F(CreateDriveWizardTest, EditingTheFolderForgetsTheAdoptedToken)
{
    makeToken(dir / "existing");
    toLocationPage();
    wizard.setFolder((dir / "existing").string());
    prompter.expectMessage(drives::kMsgImportExisting, Button::Yes);
    ASSERT_EQ(wizard.next(), WizardStep::Moved);
    ASSERT_TRUE(wizard.adoptingToken());
    wizard.back();
    wizard.setFolder((dir / "existing").string());
    EXPECT_FALSE(wizard.adoptingToken());
}

TEST_F(CreateDriveWizardTest, UnreadableTokenIsReportedUnderTheImportCaptionAndKeepsThePage)
{
    std::filesystem::create_directories(dir / "existing");
    writeFile(token::tokenPathFor(dir / "existing"), "<Kestrava><version>2.0.0.0</version></Kestrava>");
    toLocationPage();
    wizard.setFolder((dir / "existing").string());
    prompter.expectMessage(drives::kMsgImportExisting, Button::Yes);
    prompter.expectMessage(drives::kMsgImportReadFailed, Button::OK);
    EXPECT_EQ(wizard.next(), WizardStep::Stay);
    EXPECT_EQ(wizard.page(), 2);
    EXPECT_EQ(prompter.captionOf(drives::kMsgImportExisting), kDefaultCaption);
    EXPECT_EQ(prompter.captionOf(drives::kMsgImportReadFailed), drives::kCaptionImportDrive);
}

TEST_F(CreateDriveWizardTest, DuplicateLetterIsQuestionedOnPageFour)
{
    makeToken(dir / "other");
    addRecord(dir / "other", "Z:", "Other", std::nullopt, false);
    toLocationPage();
    wizard.setFolder((dir / "new").string());
    prompter.expectMessage(drives::kMsgCreateFolder, Button::OK);
    ASSERT_EQ(wizard.next(), WizardStep::Moved);
    setPassword("long enough", "long enough");
    ASSERT_EQ(wizard.next(), WizardStep::Moved);

    prompter.expectMessage(drives::kMsgSameLetter, Button::No);
    EXPECT_EQ(wizard.next(), WizardStep::Stay);
    EXPECT_EQ(wizard.page(), 4);
    EXPECT_TRUE(host.mounts.empty());

    wizard.setLetter("Y:");
    ASSERT_EQ(wizard.next(), WizardStep::Moved);
    EXPECT_EQ(host.mounts.count("Y:"), 1u);
}

TEST_F(CreateDriveWizardTest, YesToTheSameLabelSuppressesTheLetterQuestionForTheWalk)
{
    makeToken(dir / "a");
    makeToken(dir / "b");
    addRecord(dir / "a", "K:", "Shared", std::nullopt, false);
    addRecord(dir / "b", "L:", "Other", std::nullopt, false);
    std::filesystem::create_directories(dir / "new");
    drives::ValidationState validation;

    prompter.expectMessage(drives::kMsgSameLabel, Button::Yes);
    EXPECT_TRUE(drives::validateDriveLocation(settings, prompter, (dir / "new").string(), "Shared",
                                              "L:", false, drives::ValidationMode::Wizard, validation));
    EXPECT_EQ(prompter.messageIds(), std::vector<int>{drives::kMsgSameLabel});

    // The walk still reaches the last record: a registered folder after the accepted label fails.
    prompter.expectMessage(drives::kMsgSameLabel, Button::Yes);
    EXPECT_FALSE(drives::validateDriveLocation(settings, prompter, (dir / "b").string(), "Shared",
                                               "L:", false, drives::ValidationMode::Wizard, validation));
    EXPECT_EQ(prompter.messageIds().back(), drives::kMsgFolderRegistered);
}

TEST_F(CreateDriveWizardTest, ConnectChoiceHandsOverToRecovery)
{
    ASSERT_TRUE(wizard.open());
    wizard.choose(drives::WizardChoice::Connect);
    EXPECT_EQ(wizard.next(), WizardStep::OpenRecovery);
}

TEST_F(CreateDriveWizardTest, NoFreeLetterClosesTheWizardBeforeItsFirstPage)
{
    for (char c = 'A'; c <= 'Z'; ++c) {
        host.busyLetters.insert(std::string(1, c) + ":");
    }
    EXPECT_FALSE(wizard.open());
    EXPECT_EQ(prompter.messageIds(), std::vector<int>{drives::kMsgNoFreeLetters});
}

TEST_F(CreateDriveWizardTest, WithoutFuseTheDriveIsListedAndTheFinishPageStillFollows)
{
    host.driverInstalled = false;
    toLocationPage();
    std::filesystem::create_directories(dir / "new");
    wizard.setFolder((dir / "new").string());
    ASSERT_EQ(wizard.next(), WizardStep::Moved);
    setPassword("long enough", "long enough");
    ASSERT_EQ(wizard.next(), WizardStep::Moved);
    ASSERT_EQ(wizard.next(), WizardStep::Moved);
    EXPECT_EQ(wizard.page(), 5);
    EXPECT_EQ(wizard.creation(), std::optional(drives::WizardCreation::NotMounted));
    EXPECT_EQ(prompter.messageIds().back(), drives::kMsgAddedNotMounted);
    EXPECT_EQ(prompter.captionOf(drives::kMsgAddedNotMounted), drives::kCaptionCreateKestravaDrive);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows.row(0)->mounted, drives::MountState::NotMounted);
    EXPECT_EQ(record(0).letter, "Z:");
    EXPECT_FALSE(wizard.folderToOpen());
}

TEST_F(CreateDriveWizardTest, MountRefusedAfterTheTokenWasWrittenStillListsTheDrive)
{
    host.failNextMount = host::MountResult{host::MountOutcome::LetterInUse, "taken meanwhile"};
    toLocationPage();
    std::filesystem::create_directories(dir / "new");
    wizard.setFolder((dir / "new").string());
    ASSERT_EQ(wizard.next(), WizardStep::Moved);
    setPassword("long enough", "long enough");
    ASSERT_EQ(wizard.next(), WizardStep::Moved);
    ASSERT_EQ(wizard.next(), WizardStep::Moved);
    EXPECT_EQ(wizard.creation(), std::optional(drives::WizardCreation::NotMounted));
    EXPECT_EQ(prompter.messageIds(),
              (std::vector<int>{drives::kMsgLetterInUse, drives::kMsgAddedNotMounted}));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows.row(0)->mounted, drives::MountState::NotMounted);
    EXPECT_EQ(record(0).folder, (dir / "new").string());
    EXPECT_TRUE(std::filesystem::exists(token::tokenPathFor(dir / "new")));
    EXPECT_FALSE(wizard.folderToOpen());
}

} // namespace
} // namespace kestrava::test
