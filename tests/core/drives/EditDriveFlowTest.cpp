// Editing drives over real tokens and settings files: what the record and the token carry
// afterwards, the password change, the login layer on a remembered password, the question
// about file name encryption, and remounting a mounted drive.
#include "core/drives/EditDriveFlow.h"

#include "DriveFixture.h"
#include "core/access/PasswordRule.h"
#include "core/app/StringTable.h"
#include "core/drives/DriveMessages.h"
#include "core/drives/MountFlow.h"
#include "core/drives/RememberedPassword.h"
#include "core/fs/PathMapper.h"

namespace kestrava::test {
namespace {

using drives::EditOutcome;

// The text of one element of a token file.
std::string tokenElement(const std::filesystem::path& folder, const std::string& name)
{
    const std::string xml = readFile(token::tokenPathFor(folder));
    const auto begin = xml.find("<" + name + ">");
    const auto end = xml.find("</" + name + ">");
    if (begin == std::string::npos || end == std::string::npos) {
        return {};
    }
    return xml.substr(begin + name.size() + 2, end - begin - name.size() - 2);
}

class EditDriveFlowTest : public DriveFixture
{
protected:
    void loadRows()
    {
        rows.clear();
        for (const auto& row : drives::listDriveRows(settings, host)) {
            rows.addRow(row);
        }
    }

    // A drive K: "Work" over dir/vault, its password remembered unless told otherwise.
    crypto::SecureBytes makeDrive(bool remembered = true, const std::string& name = "vault",
                                  const std::string& letter = "K:")
    {
        auto key = makeToken(dir / name);
        addRecord(dir / name, letter, "Work",
                  remembered ? std::optional<std::string>(kDrivePassword) : std::nullopt, true);
        return key;
    }

    drives::EditSession begin(std::size_t row = 0)
    {
        loadRows();
        auto session = drives::beginDriveEdit(services, row);
        EXPECT_TRUE(session);
        return session ? std::move(*session) : drives::EditSession{};
    }

    static drives::DriveEdit passwordChange(const drives::EditSession& session, const std::string& current,
                                            const std::string& next, const std::string& confirmation)
    {
        auto edit = drives::editFieldsFor(*session.context);
        edit.changePassword = true;
        edit.currentPassword = crypto::makeSecureString(current);
        edit.newPassword = crypto::makeSecureString(next);
        edit.confirmation = crypto::makeSecureString(confirmation);
        return edit;
    }

    std::optional<crypto::SecureBytes> keyOf(const std::filesystem::path& folder, const std::string& password)
    {
        token::DriveContext context(hashStr(password));
        if (context.unlock(token::tokenPathFor(folder)) != token::TokenLoadStatus::Loaded) {
            return std::nullopt;
        }
        return context.masterKey();
    }
};

TEST_F(EditDriveFlowTest, LabelAndOptionsEditRewritesRecordAndTokenButNotTheDigest)
{
    const auto key = makeDrive();
    const std::string digest = tokenElement(dir / "vault", "digest");
    auto session = begin();
    ASSERT_TRUE(session.context);
    EXPECT_TRUE(prompter.messageIds().empty()) << "a remembered password opens the drive without asking";

    auto edit = drives::editFieldsFor(*session.context);
    EXPECT_EQ(edit.label, "Work");
    EXPECT_TRUE(edit.rememberPassword);
    edit.label = "Projects";
    edit.letter = "M:";
    edit.autoMount = false;
    edit.options.longFileNames = !edit.options.longFileNames;
    edit.options.caseInsensitive = false;
    ASSERT_EQ(drives::confirmDriveEdit(services, session, edit), EditOutcome::Saved);

    const auto saved = record(0);
    EXPECT_EQ(saved.label, "Projects");
    EXPECT_EQ(saved.letter, "M:");
    EXPECT_EQ(saved.automount, 0);
    EXPECT_FALSE(saved.pwd.empty());
    EXPECT_EQ(tokenElement(dir / "vault", "digest"), digest) << "same password, same digest";
    EXPECT_EQ(tokenElement(dir / "vault", "filenamecaseinsensitivity"), "N");
    EXPECT_EQ(tokenElement(dir / "vault", "longfilename"), edit.options.longFileNames ? "Y" : "N");
    EXPECT_EQ(keyOf(dir / "vault", kDrivePassword), key);
    EXPECT_TRUE(settings.verifySettingsDigest());

    EXPECT_TRUE(drives::finishDriveEdit(services, session, true));
    EXPECT_EQ(mounted.size(), 0u) << "an unmounted drive leaves the list after editing";
    EXPECT_EQ(rows.row(0)->letter, "M:");
    EXPECT_EQ(rows.row(0)->label, "Projects");
    EXPECT_TRUE(host.calls.empty()) << "nothing was mounted";
}

TEST_F(EditDriveFlowTest, PasswordChangeRewrapsTheSameKeyWithANewDigest)
{
    const auto key = makeDrive(false);
    const std::string digest = tokenElement(dir / "vault", "digest");
    prompter.expectDrivePassword(typedPassword(kDrivePassword));
    auto session = begin();
    ASSERT_TRUE(session.context);

    auto edit = passwordChange(session, kDrivePassword, "n3w-Secret", "n3w-Secret");
    edit.rememberPassword = true;
    ASSERT_EQ(drives::confirmDriveEdit(services, session, edit), EditOutcome::Saved);

    EXPECT_NE(tokenElement(dir / "vault", "digest"), digest);
    EXPECT_EQ(keyOf(dir / "vault", "n3w-Secret"), key);
    EXPECT_FALSE(keyOf(dir / "vault", kDrivePassword));
    token::DriveContext stored;
    stored.SetPassword(record(0).pwd);
    stored.UnprotectPassword();
    EXPECT_EQ(stored.password(), hashStr("n3w-Secret")) << "the remembered password is the new one";
}

TEST_F(EditDriveFlowTest, RefusedPasswordChangesLeaveEverythingAsItWas)
{
    makeDrive();
    const std::string tokenBefore = readFile(token::tokenPathFor(dir / "vault"));
    const std::string settingsBefore = readFile(settingsPath);
    auto session = begin();
    ASSERT_TRUE(session.context);

    struct Case
    {
        std::string current, next, confirmation;
        int message;
        drives::PasswordChangeFault fault;
    };
    using Fault = drives::PasswordChangeFault;
    for (const Case& c :
         {Case{kOtherPassword, "n3w-Secret", "n3w-Secret", drives::kMsgIncorrectPassword,
               Fault::CurrentPassword},
          Case{kDrivePassword, "short", "short", kMsgPasswordTooShort, Fault::NewPassword},
          Case{kDrivePassword, "n3w-Secret", "n3w-Secrex", kMsgPasswordMismatch, Fault::NewPassword}}) {
        auto edit = passwordChange(session, c.current, c.next, c.confirmation);
        edit.label = "Changed";
        EXPECT_EQ(drives::confirmDriveEdit(services, session, edit), EditOutcome::Stopped);
        EXPECT_EQ(prompter.messageIds().back(), c.message);
        EXPECT_EQ(session.passwordFault, c.fault) << c.current << " " << c.next;
    }
    EXPECT_EQ(readFile(token::tokenPathFor(dir / "vault")), tokenBefore);
    EXPECT_EQ(readFile(settingsPath), settingsBefore);
    EXPECT_EQ(session.context->password(), hashStr(kDrivePassword));
    EXPECT_EQ(session.context->label(), "Work");
}

TEST_F(EditDriveFlowTest, CaseInsensitiveNamesAreDroppedWithoutNameEncryption)
{
    makeDrive();
    auto session = begin();
    ASSERT_TRUE(session.context);
    auto edit = drives::editFieldsFor(*session.context);
    edit.options.fileNameEncryption = false;
    edit.options.caseInsensitive = true;
    ASSERT_EQ(drives::confirmDriveEdit(services, session, edit), EditOutcome::Saved);
    EXPECT_EQ(tokenElement(dir / "vault", "filenamecaseinsensitivity"), "N");
    EXPECT_FALSE(session.context->options().caseInsensitive);

    edit.options.fileNameEncryption = true;
    ASSERT_EQ(drives::confirmDriveEdit(services, session, edit), EditOutcome::Saved);
    EXPECT_EQ(tokenElement(dir / "vault", "filenamecaseinsensitivity"), "Y");
}

TEST_F(EditDriveFlowTest, RecordsDifferingOnlyInFolderCaseEachKeepTheirOwnEdit)
{
    makeDrive(true, "Vault", "K:");
    makeDrive(true, "vault", "L:");
    auto session = begin(1); // dir/vault, the second record
    ASSERT_TRUE(session.context);
    auto edit = drives::editFieldsFor(*session.context);
    edit.label = "Second";
    ASSERT_EQ(drives::confirmDriveEdit(services, session, edit), EditOutcome::Saved);
    EXPECT_EQ(record(0).label, "Work");
    EXPECT_EQ(record(1).label, "Second");

    // A drive whose record spells its folder differently only in case is still found.
    session.context->setBackingFolder(dir / "VAULT");
    std::filesystem::create_directories(dir / "VAULT");
    std::filesystem::copy_file(token::tokenPathFor(dir / "vault"), token::tokenPathFor(dir / "VAULT"));
    edit.label = "First by case";
    ASSERT_EQ(drives::confirmDriveEdit(services, session, edit), EditOutcome::Saved);
    EXPECT_EQ(record(0).label, "First by case");
    EXPECT_EQ(record(1).label, "Second");
}

TEST_F(EditDriveFlowTest, PasswordRememberedUnderTheLoginLayerStillMountsTheDrive)
{
    const auto key = makeDrive(false);
    services.loginLayer = LoginLayerState{"Q2xvdWR5U2t5MTIzNDU2Nzg5", "JBSWY3DPEHPK3PXP", true, true};
    prompter.expectDrivePassword(typedPassword(kDrivePassword));
    auto session = begin();
    ASSERT_TRUE(session.context);
    auto edit = drives::editFieldsFor(*session.context);
    edit.rememberPassword = true;
    ASSERT_EQ(drives::confirmDriveEdit(services, session, edit), EditOutcome::Saved);
    drives::finishDriveEdit(services, session, true);

    const std::string plain = session.context->ProtectPassword(hashStr(kDrivePassword));
    const std::string stored = record(0).pwd;
    EXPECT_NE(stored, plain) << "the login layer is on";
    EXPECT_EQ(stored, loginEncryptStr(formatDrvPaswd(services.loginLayer), plain));
    EXPECT_EQ(drives::loginDecryptStr(formatDrvPaswd(services.loginLayer), stored), plain);

    // The next run with the lock in force mounts it without asking.
    loadRows();
    ASSERT_TRUE(drives::mountRow(services, 0));
    EXPECT_EQ(host.mounts.at("K:").masterKey, key);
    ASSERT_TRUE(drives::unmountRow(services, 0));

    // A run without the lock cannot read it: it is reported as stale and the password asked;
    // nothing is dropped while no working password is given.
    services.loginLayer = {};
    prompter.expectDrivePassword(cancelledPrompt());
    EXPECT_FALSE(drives::mountRow(services, 0));
    EXPECT_EQ(prompter.messageIds().back(), 1260);
    EXPECT_EQ(record(0).pwd, stored) << "never dropped silently";
}

TEST_F(EditDriveFlowTest, WithoutTheLockTheRememberedPasswordIsThePlainProtectedForm)
{
    makeDrive(false);
    prompter.expectDrivePassword(typedPassword(kDrivePassword));
    auto session = begin();
    ASSERT_TRUE(session.context);
    auto edit = drives::editFieldsFor(*session.context);
    edit.rememberPassword = true;
    ASSERT_EQ(drives::confirmDriveEdit(services, session, edit), EditOutcome::Saved);
    EXPECT_EQ(record(0).pwd, session.context->ProtectPassword(hashStr(kDrivePassword)));
    EXPECT_TRUE(session.context->passwordRemembered);

    edit.rememberPassword = false;
    ASSERT_EQ(drives::confirmDriveEdit(services, session, edit), EditOutcome::Saved);
    EXPECT_TRUE(record(0).pwd.empty());
    EXPECT_FALSE(session.context->passwordRemembered);
    EXPECT_FALSE(settings.passwdSaved((dir / "vault").string()));
}

TEST_F(EditDriveFlowTest, NameEncryptionChangeOnADriveWithFilesAsksFirst)
{
    makeDrive();
    std::filesystem::create_directories(dir / "vault" / fs::warningFolderName());
    auto session = begin();
    ASSERT_TRUE(session.context);
    auto edit = drives::editFieldsFor(*session.context);
    edit.options.fileNameEncryption = false;
    writeFile(dir / "vault" / (std::string(fs::kReplacedTokenPrefix) + "20260101-101500"), "an old token");
    EXPECT_FALSE(drives::backingFolderHoldsFiles(dir / "vault")) << "tokens and the warning folder only";
    EXPECT_EQ(drives::confirmDriveEdit(services, session, edit), EditOutcome::Saved);
    EXPECT_EQ(tokenElement(dir / "vault", "filenameencryption"), "N");

    writeFile(dir / "vault" / "BASE64NAME", "ciphertext");
    const std::string tokenBefore = readFile(token::tokenPathFor(dir / "vault"));
    edit.options.fileNameEncryption = true;
    prompter.expectMessage(drives::kMsgNameEncryptionChange, Button::No);
    EXPECT_EQ(drives::confirmDriveEdit(services, session, edit), EditOutcome::Stopped);
    EXPECT_EQ(readFile(token::tokenPathFor(dir / "vault")), tokenBefore);
    EXPECT_FALSE(session.context->options().fileNameEncryption);

    prompter.expectMessage(drives::kMsgNameEncryptionChange, Button::Yes);
    EXPECT_EQ(drives::confirmDriveEdit(services, session, edit), EditOutcome::Saved);
    EXPECT_EQ(tokenElement(dir / "vault", "filenameencryption"), "Y");
    EXPECT_TRUE(std::filesystem::exists(dir / "vault" / "BASE64NAME")) << "nothing on disk is renamed";
}

TEST_F(EditDriveFlowTest, MountedDriveIsMountedAgainUnderItsNewLetter)
{
    const auto key = makeDrive();
    loadRows();
    ASSERT_TRUE(drives::mountRow(services, 0));
    auto session = begin();
    ASSERT_TRUE(session.mounted);
    auto edit = drives::editFieldsFor(*session.context);
    edit.letter = "M:";
    ASSERT_EQ(drives::confirmDriveEdit(services, session, edit), EditOutcome::Saved);
    host.calls.clear();
    EXPECT_TRUE(drives::finishDriveEdit(services, session, true));
    EXPECT_EQ(host.calls, (std::vector<std::string>{"unmount K:", "install M:"}));
    EXPECT_EQ(host.mounts.count("K:"), 0u);
    EXPECT_EQ(host.mounts.at("M:").masterKey, key);
    EXPECT_EQ(rows.row(0)->letter, "M:");
    EXPECT_EQ(rows.row(0)->mounted, drives::MountState::Mounted);
    EXPECT_EQ(mounted.mountedLetters(), std::vector<std::string>{"M:"});
}

TEST_F(EditDriveFlowTest, DriveServedByAnotherProcessIsRemountedOnlyWhenSomethingChanged)
{
    makeDrive();
    host.mountedElsewhere("K:", dir / "vault");
    auto session = begin();
    ASSERT_TRUE(session.mounted);
    auto edit = drives::editFieldsFor(*session.context);
    ASSERT_EQ(drives::confirmDriveEdit(services, session, edit), EditOutcome::Saved);
    EXPECT_TRUE(drives::finishDriveEdit(services, session, true));
    EXPECT_TRUE(host.calls.empty()) << "nothing changed that the mount uses";

    session = begin();
    edit.letter = "N:";
    host.refuseUnmount.insert("K:");
    ASSERT_EQ(drives::confirmDriveEdit(services, session, edit), EditOutcome::Saved);
    EXPECT_FALSE(drives::finishDriveEdit(services, session, true));
    EXPECT_EQ(prompter.messageIds().back(), drives::kMsgUnmountFailed);
    EXPECT_EQ(host.mounts.count("K:"), 1u) << "a busy drive stays mounted";
    EXPECT_EQ(mounted.size(), 0u);
}

TEST_F(EditDriveFlowTest, UnloadableSettingsLeaveRecordAndTokenUntouched)
{
    makeDrive();
    auto session = begin();
    ASSERT_TRUE(session.context);
    writeFile(settingsPath, "<Kestrava><drives>");
    const std::string tokenBefore = readFile(token::tokenPathFor(dir / "vault"));
    auto edit = drives::editFieldsFor(*session.context);
    edit.label = "Elsewhere";
    edit.options.longFileNames = !edit.options.longFileNames;
    EXPECT_EQ(drives::confirmDriveEdit(services, session, edit), EditOutcome::SaveFailed);
    EXPECT_EQ(prompter.messageIds().back(), drives::kMsgEditNotSaved);
    EXPECT_EQ(readFile(settingsPath), "<Kestrava><drives>");
    EXPECT_EQ(readFile(token::tokenPathFor(dir / "vault")), tokenBefore);
}

TEST_F(EditDriveFlowTest, RecordGoneMeanwhileIsReportedNotTakenForSuccess)
{
    makeDrive();
    auto session = begin();
    ASSERT_TRUE(session.context);
    ASSERT_TRUE(settings.RemoveDriveInfo((dir / "vault").string(), "K:"));
    const std::string tokenBefore = readFile(token::tokenPathFor(dir / "vault"));
    auto edit = drives::editFieldsFor(*session.context);
    edit.label = "Orphan";
    EXPECT_EQ(drives::confirmDriveEdit(services, session, edit), EditOutcome::SaveFailed);
    EXPECT_TRUE(settings.driveRecords()->empty());
    EXPECT_EQ(readFile(token::tokenPathFor(dir / "vault")), tokenBefore);
}

TEST_F(EditDriveFlowTest, PasswordChangeThatCannotBeWrittenKeepsTheOldPassword)
{
    makeDrive();
    auto session = begin();
    ASSERT_TRUE(session.context);
    writeFile(token::tokenPathFor(dir / "vault"), "<damaged/>");
    auto edit = passwordChange(session, kDrivePassword, "n3w-Secret", "n3w-Secret");
    EXPECT_EQ(drives::confirmDriveEdit(services, session, edit), EditOutcome::Stopped);
    EXPECT_EQ(prompter.messageIds().back(), drives::kMsgTokenSaveError);
    EXPECT_EQ(readFile(token::tokenPathFor(dir / "vault")), "<damaged/>") << "never replaced";
    EXPECT_EQ(session.context->password(), hashStr(kDrivePassword));

    token::DriveContext old(hashStr(kDrivePassword));
    old.DeriveKey(session.context->salt());
    EXPECT_EQ(old.keyEncryptionKey(), session.context->keyEncryptionKey())
        << "the key-encryption key is the old password's again";
}

TEST_F(EditDriveFlowTest, TokenBackupOfTheEditedDrive)
{
    makeDrive();
    auto session = begin();
    ASSERT_TRUE(session.context);
    ASSERT_TRUE(drives::backupEditedDriveToken(prompter, *session.context, dir / "copy.xml"));
    EXPECT_EQ(readFile(dir / "copy.xml"), readFile(token::tokenPathFor(dir / "vault")));
    EXPECT_EQ(prompter.calls().back().args, (std::vector<std::string>{"Work", (dir / "copy.xml").string()}));
    EXPECT_FALSE(
        drives::backupEditedDriveToken(prompter, *session.context, dir / "no" / "such" / "dir" / "x.xml"));
    EXPECT_EQ(prompter.messageIds().back(), drives::kMsgTokenSaveError);
}

TEST_F(EditDriveFlowTest, LetterChoicesHoldTheDrivesOwnLetter)
{
    makeDrive();
    auto session = begin();
    ASSERT_TRUE(session.context);
    host.busyLetters = {"A:", "B:", "K:"};
    const auto letters = drives::editLetterChoices(host, *session.context);
    ASSERT_EQ(letters.size(), 24u);
    EXPECT_EQ(letters.front(), "C:");
    EXPECT_NE(std::find(letters.begin(), letters.end(), "K:"), letters.end());
    EXPECT_TRUE(std::is_sorted(letters.begin(), letters.end()));
    session.context->setDriveLetter("Auto");
    EXPECT_EQ(drives::editLetterChoices(host, *session.context).size(), 23u);

    prompter.expectMessage(drives::kMsgForgetPassword, Button::No);
    EXPECT_FALSE(drives::confirmForgetPassword(prompter));
}

// The log line names the password by the first four characters of its protected form, whether
// it is remembered or not and whether or not the program lock adds its layer.
TEST_F(EditDriveFlowTest, SaveEditInfoLogsTheProtectedFormInEveryCase)
{
    makeDrive(true);
    auto session = begin();
    ASSERT_TRUE(session.context);
    const std::string expected =
        "pwd(" + session.context->ProtectPassword(session.context->password()).substr(0, 4) + ")";
    LoginLayerState locked;
    locked.storedLoginPassword = "$KTP$protected";
    locked.loginPasswordActive = true;
    for (const bool remember : {false, true}) {
        for (const LoginLayerState& layer : {LoginLayerState{}, locked}) {
            std::filesystem::remove(dir / "kestrava.log");
            auto edit = drives::editFieldsFor(*session.context);
            edit.rememberPassword = remember;
            ASSERT_EQ(drives::SaveEditInfo(settings, *session.context, edit, layer),
                      drives::SaveEditResult::Saved);
            EXPECT_NE(logText().find(expected), std::string::npos)
                << "remember " << remember << ", lock " << layer.loginPasswordActive << ":\n"
                << logText();
        }
    }
}

} // namespace
} // namespace kestrava::test
