#include "core/app/ActivityLog.h"
#include "core/settings/SettingsFile.h"
#include "core/token/DriveContext.h"
#include "core/token/ProtectedForm.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace kestrava::settings {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

class DriveRecordsTest : public ::testing::Test
{
protected:
    void SetUp() override { applog::configureLog({log(), false}); }
    void TearDown() override { applog::configureLog({}); }

    std::filesystem::path log() const { return dir / "test.log"; }

    TempDir dir;
    SettingsFile settings{dir / "kestrava_settings.xml"};
};

TEST_F(DriveRecordsTest, AddedRecordsKeepAttributeOrderAndDocumentOrder)
{
    ASSERT_TRUE(settings.Adv_SaveDriveInfo({"Work", "/data/work", "E:", "PWDFORM", 1, "my hint"}));
    ASSERT_TRUE(settings.Adv_SaveDriveInfo({"Photos", "/data/photos", "F:", "", 0, ""}));
    const std::string text = readFile(settings.path());
    EXPECT_NE(
        text.find("\t<drives>\n\t\t<drive label=\"Work\" folder=\"/data/work\" letter=\"E:\" pwd=\"PWDFORM\" "
                  "automount=\"1\" ph=\"my hint\" />\n"
                  "\t\t<drive label=\"Photos\" folder=\"/data/photos\" letter=\"F:\" automount=\"0\" />\n"
                  "\t</drives>\n"),
        std::string::npos)
        << text;
    EXPECT_TRUE(settings.verifySettingsDigest());

    const auto records = settings.driveRecords();
    ASSERT_TRUE(records);
    ASSERT_EQ(records->size(), 2u);
    EXPECT_EQ((*records)[0].label, "Work");
    EXPECT_EQ((*records)[0].pwd, "PWDFORM");
    EXPECT_EQ((*records)[0].automount, 1);
    EXPECT_EQ((*records)[0].ph, "my hint");
    EXPECT_EQ((*records)[1].folder, "/data/photos");
    EXPECT_EQ((*records)[1].pwd, "");

    // The protected password reaches the log only as its first four characters.
    const std::string logText = readFile(log());
    EXPECT_NE(logText.find("Adv_SaveDriveInfo: letter(E:), label(Work), folder(/data/work), pwd(PWDF"),
              std::string::npos);
    EXPECT_EQ(logText.find("PWDFORM"), std::string::npos);
    EXPECT_NE(logText.find("Adv_SaveDriveInfo End"), std::string::npos);
}

// Two records for one folder spelt in different case, and a third record with the same
// folder and letter as the first (a hand-edited file).
class CaseRulesTest : public DriveRecordsTest
{
protected:
    void SetUp() override
    {
        DriveRecordsTest::SetUp();
        ASSERT_TRUE(settings.Adv_SaveDriveInfo({"Upper", "/Data/Ünïcode", "E:", "UPPERPWD", 0, ""}));
        ASSERT_TRUE(settings.Adv_SaveDriveInfo({"Lower", "/data/ünïcode", "F:", "LOWERPWD", 0, ""}));
        ASSERT_TRUE(settings.Adv_SaveDriveInfo({"Again", "/Data/Ünïcode", "E:", "AGAINPWD", 0, ""}));
    }
    DriveRecord record(std::size_t i) { return settings.driveRecords()->at(i); }
};

TEST_F(CaseRulesTest, RemoveDriveInfoMatchesFolderAndLetterExactlyFirstOnly)
{
    EXPECT_FALSE(settings.RemoveDriveInfo("/DATA/ÜNÏCODE", "E:"));
    EXPECT_FALSE(settings.RemoveDriveInfo("/data/ünïcode", "E:"));
    EXPECT_FALSE(settings.RemoveDriveInfo("/data/ünïcode", "f:"));
    EXPECT_EQ(settings.driveRecords()->size(), 3u);

    ASSERT_TRUE(settings.RemoveDriveInfo("/data/ünïcode", "F:"));
    ASSERT_EQ(settings.driveRecords()->size(), 2u);
    EXPECT_EQ(record(0).label, "Upper");
    EXPECT_EQ(record(1).label, "Again");

    ASSERT_TRUE(settings.RemoveDriveInfo("/Data/Ünïcode", "E:"));
    ASSERT_EQ(settings.driveRecords()->size(), 1u);
    EXPECT_EQ(record(0).label, "Again");
    EXPECT_TRUE(settings.verifySettingsDigest());

    const std::string logText = readFile(log());
    EXPECT_NE(logText.find("RemoveDriveInfo: /data/ünïcode - F:"), std::string::npos);
    EXPECT_NE(logText.find("RemoveDriveInfo Removed: /data/ünïcode - F:"), std::string::npos);
}

TEST_F(CaseRulesTest, RemoveDrivePwdMatchesExactlyAndLeavesTheFileAloneOtherwise)
{
    const std::string before = readFile(settings.path());
    EXPECT_FALSE(settings.RemoveDrivePwd("/data/Ünïcode", "E:"));
    EXPECT_EQ(readFile(settings.path()), before);

    ASSERT_TRUE(settings.RemoveDrivePwd("/data/ünïcode", "F:"));
    EXPECT_EQ(record(0).pwd, "UPPERPWD");
    EXPECT_EQ(record(1).pwd, "");
    EXPECT_EQ(record(2).pwd, "AGAINPWD");
    EXPECT_TRUE(settings.verifySettingsDigest());
    EXPECT_NE(readFile(log()).find("RemoveDrivePwd Removed: /data/ünïcode - F:"), std::string::npos);
}

TEST_F(CaseRulesTest, PasswdSavedMatchesExactlyAndTheLastMatchDecides)
{
    EXPECT_TRUE(settings.passwdSaved("/data/ünïcode"));
    EXPECT_FALSE(settings.passwdSaved("/DATA/ünïcode"));
    ASSERT_TRUE(settings.RemoveDrivePwd("/Data/Ünïcode", "E:")); // the first of the two exact matches
    EXPECT_TRUE(settings.passwdSaved("/Data/Ünïcode")) << "the last record still has its password";
    ASSERT_TRUE(settings.RemoveDriveInfo("/Data/Ünïcode", "E:"));
    ASSERT_TRUE(settings.setKestravaXmlValue("Language", "English"));
    EXPECT_TRUE(settings.passwdSaved("/Data/Ünïcode"));
    EXPECT_NE(readFile(log()).find("passwdSaved: 1 - /Data/Ünïcode"), std::string::npos);
    EXPECT_NE(readFile(log()).find("passwdSaved: 0 - /DATA/ünïcode"), std::string::npos);
}

TEST_F(CaseRulesTest, AutoMountFindsTheFirstFolderIgnoringCase)
{
    ASSERT_TRUE(settings.setDriveAutoMount("/DATA/ÜNÏCODE", 1));
    EXPECT_EQ(record(0).automount, 1);
    EXPECT_EQ(record(1).automount, 0);
    EXPECT_EQ(record(2).automount, 0);
    // No match: still saved, still true.
    ASSERT_TRUE(settings.setDriveAutoMount("/elsewhere", 1));
    EXPECT_TRUE(settings.verifySettingsDigest());
}

TEST_F(CaseRulesTest, RememberPasswdStoresTheProtectedFormOnTheFirstFolderIgnoringCase)
{
    token::DriveContext context(std::string(64, 'A'));
    context.setBackingFolder("/data/ÜNÏCODE");
    ASSERT_TRUE(settings.rememberPasswd(context));
    const std::string stored = record(0).pwd;
    EXPECT_EQ(stored.size(), 88u);
    EXPECT_EQ(std::string_view(token::unprotectText(stored)), std::string(64, 'A'));
    EXPECT_EQ(record(1).pwd, "LOWERPWD");
    EXPECT_EQ(record(2).pwd, "AGAINPWD");
    EXPECT_TRUE(settings.verifySettingsDigest());

    const std::string logText = readFile(log());
    EXPECT_NE(logText.find("rememberPasswd: " + stored.substr(0, 4)), std::string::npos);
    EXPECT_EQ(logText.find(stored.substr(0, 8)), std::string::npos);

    // No matching record: the file is saved anyway; a missing file is a failure.
    context.setBackingFolder("/nowhere");
    EXPECT_TRUE(settings.rememberPasswd(context));
    EXPECT_FALSE(SettingsFile(dir / "none.xml").rememberPasswd(context));
    EXPECT_FALSE(std::filesystem::exists(dir / "none.xml"));
}

TEST_F(DriveRecordsTest, RecordOperationsOnAMissingFileFailWithoutCreatingIt)
{
    EXPECT_FALSE(settings.RemoveDriveInfo("/a", "E:"));
    EXPECT_FALSE(settings.RemoveDrivePwd("/a", "E:"));
    EXPECT_FALSE(settings.setDriveAutoMount("/a", 1));
    EXPECT_FALSE(settings.passwdSaved("/a"));
    EXPECT_FALSE(settings.driveRecords());
    EXPECT_FALSE(settings.exists());
}

TEST_F(DriveRecordsTest, RecordsAreAddedToAFileWithoutDrivesElement)
{
    writeFile(settings.path(), "<?xml version=\"1.0\"?><Kestrava><Language>English</Language></Kestrava>");
    ASSERT_TRUE(settings.Adv_SaveDriveInfo({"L", "/f", "E:", "", 1, ""}));
    ASSERT_EQ(settings.driveRecords()->size(), 1u);
    EXPECT_EQ(settings.getKestravaXmlValue("Language"), "English");
    EXPECT_FALSE(settings.Adv_SaveDriveInfo({"L", "/caf\xE9", "E:", "", 1, ""})) << "not UTF-8";
    EXPECT_EQ(settings.driveRecords()->size(), 1u);
}

// A change whose text would not read back (a UTF-8 sequence cut in two) leaves the file as it
// was: written, it would make every later load fail and hide every drive.
TEST_F(DriveRecordsTest, NoChangeIsSavedThatWouldNotReadBack)
{
    ASSERT_TRUE(settings.Adv_SaveDriveInfo({"Work", "/data/work", "E:", "", 1, ""}));
    const std::string before = readFile(settings.path());
    std::string halfCharacter;
    for (int i = 0; i < 129; ++i) {
        halfCharacter += "\xC3\xA9";
    }
    halfCharacter += "\xC3";

    for (const char* attribute : {"label", "letter", "ph"}) {
        EXPECT_FALSE(settings.update(
            [&](SettingsDocument& document) {
                document.setRecordAttribute(0, attribute, halfCharacter);
                return Change::Save;
            },
            false))
            << attribute;
    }
    EXPECT_EQ(readFile(settings.path()), before);
    ASSERT_TRUE(settings.driveRecords());
    EXPECT_EQ(settings.driveRecords()->at(0).label, "Work");
    EXPECT_TRUE(settings.setDriveAutoMount("/data/work", 0)) << "text that reads back is still saved";
}

} // namespace
} // namespace kestrava::settings
