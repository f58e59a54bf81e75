// Creating drives: the checks and questions in their order, new and adopted tokens, the
// record, the mount and the warning folder.
#include "core/drives/CreateDriveFlow.h"

#include "DriveFixture.h"
#include "core/access/PasswordRule.h"
#include "core/app/StringTable.h"
#include "core/drives/DriveMessages.h"
#include "core/drives/DriveValidation.h"
#include "core/drives/ReplacedToken.h"
#include "core/fs/PathMapper.h"
#include "core/settings/FileLock.h"
#include "core/token/HardenedToken.h"

#include <sys/stat.h>

namespace kestrava::test {
namespace {

using drives::CreateOutcome;

class CreateDriveFlowTest : public DriveFixture
{
protected:
    drives::CreationState state;
    std::vector<bool> passwordRequests; // currentOnly of each request

    drives::NewDrive newDrive(const std::filesystem::path& folder,
                              const std::string& letter = "K:", const std::string& label = "Kestrava")
    {
        drives::NewDrive drive;
        drive.folder = folder.string();
        drive.letter = letter;
        drive.label = label;
        return drive;
    }

    drives::PasswordSupplier passwords(const std::string& password, const std::string& confirmation = {})
    {
        return [this, password, confirmation](bool currentOnly) {
            passwordRequests.push_back(currentOnly);
            return std::optional<drives::TypedPasswords>(drives::TypedPasswords{
                crypto::makeSecureString(password),
                crypto::makeSecureString(confirmation.empty() && !currentOnly ? password : confirmation)});
        };
    }

    CreateOutcome create(const drives::NewDrive& drive, const drives::PasswordSupplier& supplier)
    {
        return drives::confirmAdvancedCreation(services, drive, state, supplier);
    }

    // The key a folder's token opens with a password, or nothing.
    std::optional<crypto::SecureBytes> keyOf(const std::filesystem::path& folder, const std::string& password)
    {
        token::DriveContext context(hashStr(password));
        if (context.unlock(token::tokenPathFor(folder)) != token::TokenLoadStatus::Loaded) {
            return std::nullopt;
        }
        return context.masterKey();
    }

    // The kept old tokens in a folder.
    static std::vector<std::filesystem::path> keptTokens(const std::filesystem::path& folder)
    {
        std::vector<std::filesystem::path> kept;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (fs::IsReplacedTokenName(entry.path().filename().string())) {
                kept.push_back(entry.path());
            }
        }
        std::sort(kept.begin(), kept.end());
        return kept;
    }

    // Every later update of the settings file fails: its lock cannot be taken.
    void breakSettingsSaving() { std::filesystem::create_directories(settings::lockPathFor(settingsPath)); }
};

TEST_F(CreateDriveFlowTest, NewDriveIsWrittenRecordedMountedAndMarked)
{
    auto drive = newDrive(dir / "vault", "K:", "Work");
    drive.fileNameEncryption = false;
    prompter.expectMessage(drives::kMsgCreateFolder, Button::OK);

    ASSERT_EQ(create(drive, passwords(kDrivePassword)), CreateOutcome::Created);

    EXPECT_EQ(prompter.messageIds(), (std::vector<int>{drives::kMsgCreateFolder, drives::kMsgDriveAdded}));
    const auto key = keyOf(dir / "vault", kDrivePassword);
    ASSERT_TRUE(key);
    ASSERT_EQ(host.mounts.count("K:"), 1u);
    EXPECT_EQ(host.mounts.at("K:").masterKey, *key);
    EXPECT_FALSE(host.mounts.at("K:").tokenOptions.fileNameEncryption);
    EXPECT_FALSE(host.mounts.at("K:").tokenOptions.caseInsensitive) << "names differ by case by default";
    const auto saved = record(0);
    EXPECT_EQ(saved.label, "Work");
    EXPECT_EQ(saved.folder, (dir / "vault").string());
    EXPECT_EQ(saved.letter, "K:");
    EXPECT_EQ(saved.automount, 1);
    EXPECT_FALSE(saved.pwd.empty());
    EXPECT_TRUE(std::filesystem::is_directory(dir / "vault" / fs::warningFolderName()));
    struct stat st
    {
    };
    ASSERT_EQ(::stat(token::tokenPathFor(dir / "vault").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(passwordRequests, std::vector<bool>{false});
}

TEST_F(CreateDriveFlowTest, TheChosenFormatIsWrittenAndAnAdoptedTokenKeepsItsOwn)
{
    auto drive = newDrive(dir / "h", "H:", "Hard");
    drive.format = token::DriveFormat::Hardened;
    prompter.expectMessage(drives::kMsgCreateFolder, Button::OK);
    ASSERT_EQ(create(drive, passwords(kDrivePassword)), CreateOutcome::Created);
    EXPECT_EQ(token::readTokenFormat(token::tokenPathFor(dir / "h")), token::DriveFormat::Hardened);
    const auto key = keyOf(dir / "h", kDrivePassword);
    ASSERT_TRUE(key);
    EXPECT_EQ(host.mounts.at("H:").masterKey, *key);

    // Adopting a compatible token with the hardened choice left on keeps the token as it is.
    makeToken(dir / "c");
    prompter.expectMessage(drives::kMsgImportExisting, Button::Yes);
    prompter.expectMessage(drives::kMsgImported, Button::OK);
    state = {};
    auto adopted = newDrive(dir / "c", "C:", "Old");
    adopted.format = token::DriveFormat::Hardened;
    ASSERT_EQ(create(adopted, passwords(kDrivePassword)), CreateOutcome::Created);
    EXPECT_EQ(token::readTokenFormat(token::tokenPathFor(dir / "c")), token::DriveFormat::Compatible);
}

TEST_F(CreateDriveFlowTest, LanguagePackNeverRenamesTheWarningFolder)
{
    setAppStringOverride([](int id) { return id == 199 ? std::string("Ne copiez pas ici") : std::string(); });
    auto drive = newDrive(dir / "vault");
    prompter.expectMessage(drives::kMsgCreateFolder, Button::OK);
    const CreateOutcome outcome = create(drive, passwords(kDrivePassword));
    setAppStringOverride(nullptr);

    ASSERT_EQ(outcome, CreateOutcome::Created);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "vault" / "Do not directly copy files to this folder!"));
    EXPECT_FALSE(std::filesystem::exists(dir / "vault" / "Ne copiez pas ici"));
}

TEST_F(CreateDriveFlowTest, RootFolderIsRefusedBeforeAnythingElse)
{
    EXPECT_TRUE(drives::isRootFolder("/"));
    EXPECT_TRUE(drives::isRootFolder("/proc"));
    EXPECT_FALSE(drives::isRootFolder(dir.path()));

    prompter.expectMessage(drives::kMsgRootFolder, Button::OK);
    EXPECT_EQ(create(newDrive("/"), passwords(kDrivePassword)), CreateOutcome::Stopped);
    EXPECT_EQ(prompter.messageIds(), std::vector<int>{drives::kMsgRootFolder});
    EXPECT_TRUE(passwordRequests.empty());
    EXPECT_FALSE(settings.exists());
}

TEST_F(CreateDriveFlowTest, EmptyFieldsAndNoFolder)
{
    EXPECT_EQ(create(newDrive(""), passwords(kDrivePassword)), CreateOutcome::ChooseFolder);
    EXPECT_EQ(create(newDrive(dir / "v", ""), passwords(kDrivePassword)), CreateOutcome::Stopped);
    EXPECT_EQ(prompter.messageIds(),
              (std::vector<int>{drives::kMsgChooseDestination, drives::kMsgFieldsEmpty}));
}

TEST_F(CreateDriveFlowTest, DecliningToCreateTheFolderStops)
{
    prompter.expectMessage(drives::kMsgCreateFolder, Button::Cancel);
    EXPECT_EQ(create(newDrive(dir / "new"), passwords(kDrivePassword)), CreateOutcome::ChooseFolder);
    EXPECT_FALSE(std::filesystem::exists(dir / "new"));
    EXPECT_TRUE(passwordRequests.empty());
}

TEST_F(CreateDriveFlowTest, PasswordRule)
{
    std::filesystem::create_directories(dir / "v");
    EXPECT_EQ(create(newDrive(dir / "v"), passwords("short")), CreateOutcome::Stopped);
    EXPECT_EQ(create(newDrive(dir / "v"), passwords("long enough", "long enougH")), CreateOutcome::Stopped);
    EXPECT_EQ(prompter.messageIds(), (std::vector<int>{kMsgPasswordTooShort, kMsgPasswordMismatch}));
    EXPECT_FALSE(std::filesystem::exists(token::tokenPathFor(dir / "v")));
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(CreateDriveFlowTest, RegisteredFolderIsRefusedAndDuplicatesAreQuestioned)
{
    makeToken(dir / "a");
    addRecord(dir / "a", "K:", "Same", std::nullopt, false);
    std::filesystem::create_directories(dir / "b");

    // Same folder, in another letter case.
    const auto upper = (dir / "A").string();
    std::filesystem::create_directories(upper);
    prompter.expectMessage(drives::kMsgFolderRegistered, Button::OK);
    EXPECT_EQ(create(newDrive(upper, "J:"), passwords(kDrivePassword)), CreateOutcome::Stopped);

    // Same letter: No stops before any password is asked.
    prompter.expectMessage(drives::kMsgSameLetter, Button::No);
    EXPECT_EQ(create(newDrive(dir / "b", "k:", "Other"), passwords(kDrivePassword)), CreateOutcome::Stopped);
    EXPECT_TRUE(passwordRequests.empty());

    // Same label: Yes goes on, and is not asked again in this dialog.
    prompter.expectMessage(drives::kMsgSameLabel, Button::Yes);
    EXPECT_EQ(create(newDrive(dir / "b", "J:", "Same"), passwords(kDrivePassword)), CreateOutcome::Created);
    EXPECT_EQ(state.validation.acceptedLabel, "Same");
    EXPECT_EQ(settings.driveRecords()->size(), 2u);
}

TEST_F(CreateDriveFlowTest, AcceptedLabelEndsTheWalkInTheAdvancedDialogButNotInTheWizard)
{
    makeToken(dir / "a");
    makeToken(dir / "b");
    addRecord(dir / "a", "K:", "Same", std::nullopt, false);
    addRecord(dir / "b", "L:", "Other", std::nullopt, false);
    drives::ValidationState advanced;
    prompter.expectMessage(drives::kMsgSameLabel, Button::Yes);
    EXPECT_TRUE(drives::validateDriveLocation(settings, prompter, (dir / "b").string(), "Same", "J:", false,
                                              drives::ValidationMode::Advanced, advanced));

    drives::ValidationState wizard;
    prompter.expectMessage(drives::kMsgSameLabel, Button::Yes);
    prompter.expectMessage(drives::kMsgFolderRegistered, Button::OK);
    EXPECT_FALSE(drives::validateDriveLocation(settings, prompter, (dir / "b").string(), "Same", "J:", false,
                                               drives::ValidationMode::Wizard, wizard));
}

TEST_F(CreateDriveFlowTest, ExistingTokenIsAdoptedWithItsCurrentPassword)
{
    const auto key = makeToken(dir / "v");
    const std::string before = readFile(token::tokenPathFor(dir / "v"));
    prompter.expectMessage(drives::kMsgImportExisting, Button::Yes);
    prompter.expectMessage(drives::kMsgImported, Button::OK);

    // A wrong current password is refused; the dialog stays with the token adopted.
    EXPECT_EQ(create(newDrive(dir / "v"), passwords(kOtherPassword)), CreateOutcome::Stopped);
    EXPECT_EQ(prompter.messageIds().back(), drives::kMsgImportPasswordWrong);
    EXPECT_EQ(state.importFile, token::tokenPathFor(dir / "v"));

    ASSERT_EQ(create(newDrive(dir / "v"), passwords(kDrivePassword)), CreateOutcome::Created);
    EXPECT_EQ(passwordRequests, (std::vector<bool>{true, true}));
    EXPECT_EQ(host.mounts.at("K:").masterKey, key);
    EXPECT_EQ(readFile(token::tokenPathFor(dir / "v")), before) << "an adopted token is loaded in place";
    const auto ids = prompter.messageIds();
    EXPECT_EQ(std::count(ids.begin(), ids.end(), drives::kMsgImported), 1) << "announced once, at the offer";
}

TEST_F(CreateDriveFlowTest, DecliningTheOfferKeepsTheOldTokenBesideTheNewOne)
{
    const auto oldKey = makeToken(dir / "v", kOtherPassword);
    const std::string oldToken = readFile(token::tokenPathFor(dir / "v"));
    prompter.expectMessage(drives::kMsgImportExisting, Button::No);
    ASSERT_EQ(create(newDrive(dir / "v"), passwords(kDrivePassword)), CreateOutcome::Created);
    EXPECT_TRUE(keyOf(dir / "v", kDrivePassword));
    EXPECT_FALSE(keyOf(dir / "v", kOtherPassword));

    const auto kept = keptTokens(dir / "v");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(readFile(kept[0]), oldToken);
    token::DriveContext old(hashStr(kOtherPassword));
    ASSERT_EQ(old.unlock(kept[0]), token::TokenLoadStatus::Loaded);
    EXPECT_EQ(old.masterKey(), oldKey);
    struct stat st
    {
    };
    ASSERT_EQ(::stat(kept[0].c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(prompter.messageIds(),
              (std::vector<int>{drives::kMsgImportExisting, drives::kMsgTokenKept, drives::kMsgDriveAdded}));
    EXPECT_EQ(prompter.calls()[1].args, std::vector<std::string>{kept[0].string()});
}

TEST_F(CreateDriveFlowTest, KeptTokensNeverReplaceEachOther)
{
    std::tm when{};
    when.tm_year = 126;
    when.tm_mon = 11;
    when.tm_mday = 8;
    when.tm_hour = 10;
    when.tm_min = 15;
    EXPECT_EQ(drives::replacedTokenName(when), ".qxsession.xml.replaced-20261208-101500");
    EXPECT_EQ(drives::replacedTokenName(when, 2), ".qxsession.xml.replaced-20261208-101500-2");

    makeToken(dir / "v");
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(drives::keepReplacedToken(prompter, dir / "v"));
    }
    EXPECT_EQ(keptTokens(dir / "v").size(), 3u) << "within one second each copy gets a name of its own";

    // A token that cannot be read cannot be kept, so it must not be replaced.
    std::filesystem::create_directories(dir / "w");
    writeFile(token::tokenPathFor(dir / "w"), std::string(2 * 1024 * 1024, 'x'));
    prompter.expectMessage(drives::kMsgImportExisting, Button::No);
    EXPECT_EQ(create(newDrive(dir / "w"), passwords(kDrivePassword)), CreateOutcome::Stopped);
    EXPECT_EQ(prompter.messageIds().back(), drives::kMsgTokenKeepFailed);
    EXPECT_EQ(readFile(token::tokenPathFor(dir / "w")).size(), 2u * 1024 * 1024);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(CreateDriveFlowTest, UnansweredOfferNeverReplacesTheToken)
{
    makeToken(dir / "v");
    const std::string before = readFile(token::tokenPathFor(dir / "v"));
    prompter.expectMessage(drives::kMsgImportExisting, Button::Unavailable);
    EXPECT_EQ(create(newDrive(dir / "v"), passwords(kOtherPassword)), CreateOutcome::Stopped);
    EXPECT_EQ(readFile(token::tokenPathFor(dir / "v")), before);
    EXPECT_TRUE(passwordRequests.empty());
}

TEST_F(CreateDriveFlowTest, IntactLegacyTokenIsAdoptedWithoutWarning)
{
    const auto key = makeToken(dir / "v");
    makeLegacy(dir / "v");
    prompter.expectMessage(drives::kMsgImportExisting, Button::Yes);
    prompter.expectMessage(drives::kMsgImported, Button::OK);
    ASSERT_EQ(create(newDrive(dir / "v"), passwords(kDrivePassword)), CreateOutcome::Created);
    EXPECT_EQ(host.mounts.at("K:").masterKey, key);
}

TEST_F(CreateDriveFlowTest, UnreadableTokenInTheFolderAsksForAnotherFolder)
{
    std::filesystem::create_directories(dir / "v");
    writeFile(token::tokenPathFor(dir / "v"), "<Kestrava/>");
    prompter.expectMessage(drives::kMsgImportExisting, Button::Yes);
    prompter.expectMessage(drives::kMsgImportReadFailed, Button::OK);
    prompter.expectMessage(drives::kMsgChooseDestination, Button::OK);
    EXPECT_EQ(create(newDrive(dir / "v"), passwords(kDrivePassword)), CreateOutcome::ChooseFolder);
    EXPECT_TRUE(state.lastFolderOffered.empty()) << "the folder is offered again next time";
    EXPECT_TRUE(state.importFile.empty());
}

TEST_F(CreateDriveFlowTest, ImportedBackupIsCopiedIntoTheFolderAfterAsking)
{
    const auto key = makeToken(dir / "original");
    const auto backup = dir / "backup.xml";
    std::filesystem::copy_file(token::tokenPathFor(dir / "original"), backup);
    makeToken(dir / "v", kOtherPassword); // a different token already there

    ASSERT_TRUE(drives::importDriveFromFile(prompter, state, backup));
    prompter.expectMessage(drives::kMsgOverwriteToken, Button::No);
    EXPECT_EQ(create(newDrive(dir / "v"), passwords(kDrivePassword)), CreateOutcome::Stopped);
    EXPECT_TRUE(keyOf(dir / "v", kOtherPassword)) << "No keeps the token in the folder";

    prompter.expectMessage(drives::kMsgOverwriteToken, Button::Yes);
    ASSERT_EQ(create(newDrive(dir / "v"), passwords(kDrivePassword)), CreateOutcome::Created);
    EXPECT_EQ(keyOf(dir / "v", kDrivePassword), key);
    EXPECT_EQ(host.mounts.at("K:").masterKey, key);
    const auto kept = keptTokens(dir / "v");
    ASSERT_EQ(kept.size(), 1u) << "the overwritten token is kept";
    token::DriveContext old(hashStr(kOtherPassword));
    EXPECT_EQ(old.unlock(kept[0]), token::TokenLoadStatus::Loaded);
}

TEST_F(CreateDriveFlowTest, MissingDriverKeepsTheRecordButDoesNotMount)
{
    std::filesystem::create_directories(dir / "v");
    host.driverInstalled = false;
    EXPECT_EQ(create(newDrive(dir / "v"), passwords(kDrivePassword)), CreateOutcome::NotMounted);
    EXPECT_EQ(prompter.messageIds(),
              (std::vector<int>{drives::kMsgDriverMissing, drives::kMsgAddedNotMounted}));
    EXPECT_EQ(settings.driveRecords()->size(), 1u);
    EXPECT_EQ(mounted.size(), 0u);
}

TEST_F(CreateDriveFlowTest, MountRefusedAfterTheTokenWasWrittenStillListsTheDrive)
{
    std::filesystem::create_directories(dir / "v");
    int refreshes = 0;
    services.requestRefresh = [&] { ++refreshes; };
    host.failNextMount = host::MountResult{host::MountOutcome::LetterInUse, "taken meanwhile"};
    EXPECT_EQ(create(newDrive(dir / "v"), passwords(kDrivePassword)), CreateOutcome::NotMounted);

    EXPECT_EQ(prompter.messageIds(),
              (std::vector<int>{drives::kMsgLetterInUse, drives::kMsgAddedNotMounted}));
    EXPECT_EQ(prompter.calls().back().args,
              (std::vector<std::string>{(dir / "v").string(), "K:", "Kestrava"}));
    ASSERT_EQ(settings.driveRecords()->size(), 1u);
    EXPECT_EQ(record(0).letter, "K:");
    EXPECT_EQ(refreshes, 1) << "the list is rebuilt to show the new row";
    EXPECT_TRUE(host.mounts.empty());
    EXPECT_EQ(mounted.size(), 0u);
    EXPECT_TRUE(keyOf(dir / "v", kDrivePassword)) << "the token the record points at opens";
}

TEST_F(CreateDriveFlowTest, CaseInsensitiveNamesCountOnlyWithNameEncryption)
{
    for (const bool encryptNames : {false, true}) {
        const auto folder = dir / (encryptNames ? "named" : "plain");
        std::filesystem::create_directories(folder);
        auto drive = newDrive(folder, encryptNames ? "L:" : "K:", encryptNames ? "Named" : "Plain");
        drive.fileNameEncryption = encryptNames;
        drive.caseInsensitive = true;
        ASSERT_EQ(create(drive, passwords(kDrivePassword)), CreateOutcome::Created);
        token::DriveContext written(hashStr(kDrivePassword));
        ASSERT_EQ(written.unlock(token::tokenPathFor(folder)), token::TokenLoadStatus::Loaded);
        EXPECT_EQ(written.options().fileNameEncryption, encryptNames);
        EXPECT_EQ(written.options().caseInsensitive, encryptNames);
    }
    EXPECT_FALSE(token::caseInsensitiveAvailable(false));
    EXPECT_TRUE(token::caseInsensitiveAvailable(true));
}

TEST_F(CreateDriveFlowTest, UnwritableTokenStopsBeforeTheDriveIsRecorded)
{
    // A folder where the token should be: the token cannot be written.
    std::filesystem::create_directories(token::tokenPathFor(dir / "v"));
    prompter.expectMessage(drives::kMsgImportExisting, Button::No);
    EXPECT_EQ(create(newDrive(dir / "v"), passwords(kDrivePassword)), CreateOutcome::Stopped);
    EXPECT_EQ(prompter.messageIds().back(), drives::kMsgTokenSaveError);
    EXPECT_FALSE(settings.exists());
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(mounted.size(), 0u);
}

TEST_F(CreateDriveFlowTest, RegisterWithoutMounting)
{
    std::filesystem::create_directories(dir / "v");
    auto drive = newDrive(dir / "v");
    drive.mount = false;
    drive.rememberPassword = false;
    ASSERT_EQ(create(drive, passwords(kDrivePassword)), CreateOutcome::Created);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_TRUE(record(0).pwd.empty());
    EXPECT_TRUE(std::filesystem::is_directory(dir / "v" / fs::warningFolderName()));
}

TEST_F(CreateDriveFlowTest, OverlappingFoldersAreRefusedBeforeAnythingIsWritten)
{
    makeToken(dir / "a");
    makeToken(dir / "outer" / "b");
    addRecord(dir / "a", "K:", "A", std::nullopt, false);
    addRecord(dir / "outer" / "b", "L:", "B", std::nullopt, false);
    std::filesystem::create_directory_symlink(dir / "a", dir / "link");
    const std::string settingsBefore = readFile(settingsPath);

    const std::vector<std::pair<std::filesystem::path, int>> refused{
        {dir / "a" / "inner", drives::kMsgInsideOtherDrive},
        {dir / "link" / "inner" / "deeper", drives::kMsgInsideOtherDrive},
        {dir / "outer", drives::kMsgHoldsOtherDrive},
        {dir / "link", drives::kMsgFolderRegistered},
        {dir / "mnt" / "K" / "x", drives::kMsgOverlapsMounts},
    };
    for (const auto& [folder, message] : refused) {
        EXPECT_EQ(create(newDrive(folder, "M:"), passwords(kDrivePassword)), CreateOutcome::ChooseFolder)
            << folder;
        EXPECT_EQ(prompter.messageIds().back(), message) << folder;
    }
    EXPECT_EQ(prompter.messageIds().size(), refused.size());
    EXPECT_TRUE(passwordRequests.empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "a" / "inner"));
    EXPECT_FALSE(std::filesystem::exists(dir / "mnt"));
    EXPECT_EQ(readFile(settingsPath), settingsBefore);

    // Components, not text: "a2" is not inside "a".
    prompter.expectMessage(drives::kMsgCreateFolder, Button::OK);
    EXPECT_EQ(create(newDrive(dir / "a2", "M:"), passwords(kDrivePassword)), CreateOutcome::Created);
    EXPECT_TRUE(drives::isSameOrInside("/x/a/b", "/x/a"));
    EXPECT_FALSE(drives::isSameOrInside("/x/ab", "/x/a"));
    EXPECT_FALSE(drives::isSameOrInside("/x", "/x/a"));

    // A mounted drive's folder counts even without a record here.
    host.mountedElsewhere("P:", dir / "elsewhere");
    EXPECT_EQ(create(newDrive(dir / "elsewhere" / "in", "N:"), passwords(kDrivePassword)),
              CreateOutcome::ChooseFolder);
    EXPECT_EQ(prompter.messageIds().back(), drives::kMsgInsideOtherDrive);
}

TEST_F(CreateDriveFlowTest, DriveWhoseRecordCannotBeSavedIsNotCalledAdded)
{
    std::filesystem::create_directories(dir / "v");
    std::filesystem::create_directories(dir / "w");
    breakSettingsSaving();

    auto registered = newDrive(dir / "v");
    registered.mount = false;
    EXPECT_EQ(create(registered, passwords(kDrivePassword)), CreateOutcome::Stopped);
    EXPECT_EQ(prompter.messageIds(), std::vector<int>{drives::kMsgRecordNotSaved});

    EXPECT_EQ(create(newDrive(dir / "w", "L:"), passwords(kDrivePassword)), CreateOutcome::Stopped);
    EXPECT_EQ(prompter.messageIds(), (std::vector<int>{drives::kMsgRecordNotSaved, drives::kMsgRecordNotSaved,
                                                       drives::kMsgAddFailed}));
    EXPECT_TRUE(host.mounts.empty()) << "a drive missing from the list is not left mounted";
    EXPECT_EQ(mounted.size(), 0u);
    EXPECT_FALSE(settings.exists());
    EXPECT_TRUE(keyOf(dir / "w", kDrivePassword)) << "the token stays, so the drive can be added again";
}

TEST_F(CreateDriveFlowTest, FolderPathsAreNormalised)
{
    EXPECT_EQ(drives::normalizeBackingFolder("/a/b/"), "/a/b");
    EXPECT_EQ(drives::normalizeBackingFolder("/a/./c/../b"), "/a/b");
    EXPECT_EQ(drives::normalizeBackingFolder("/"), "/");
    EXPECT_EQ(drives::normalizeBackingFolder("rel").front(), '/');
}

} // namespace
} // namespace kestrava::test
