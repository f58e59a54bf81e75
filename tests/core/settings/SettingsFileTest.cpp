#include "core/settings/SettingsFile.h"

#include "core/app/ActivityLog.h"
#include "support/TestSupport.h"

#include <cryptopp/base64.h>
#include <cryptopp/filters.h>
#include <cryptopp/sha.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace kestrava::settings {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// The digest as the file format defines it, computed here without the program's code:
// SHA-256 over the concatenated values, URL-safe Base64 with padding.
std::string expectedDigest(const std::string& covered)
{
    std::string digest;
    CryptoPP::SHA256 sha;
    CryptoPP::StringSource(covered, true, new CryptoPP::HashFilter(sha, new CryptoPP::StringSink(digest)));
    std::string encoded;
    CryptoPP::StringSource(digest, true,
                           new CryptoPP::Base64Encoder(new CryptoPP::StringSink(encoded), false));
    for (char& c : encoded) {
        c = c == '+' ? '-' : c == '/' ? '_' : c;
    }
    return encoded;
}

class SettingsFileTest : public ::testing::Test
{
protected:
    void SetUp() override { applog::configureLog({dir / "test.log", false}); }
    void TearDown() override { applog::configureLog({}); }

    std::filesystem::path path() const { return dir / "kestrava_settings.xml"; }

    TempDir dir;
};

const char* const kTwoDrives = R"(<?xml version="1.0"?>
<Kestrava>
	<drives>
		<drive label="Work" folder="/home/u/Dropbox/work" letter="E:" pwd="AAAA" automount="1" />
		<drive label="Photos" folder="/home/u/Photos" letter="F:" automount="0" />
	</drives>
	<EnableKestravaPwd>Y</EnableKestravaPwd>
	<KestravaPwd>secretform</KestravaPwd>
	<GoogleAuthKey KeyName="me@example">gakey</GoogleAuthKey>
	<EnableGoogleAuth>N</EnableGoogleAuth>
	<Language>English</Language>
</Kestrava>
)";

TEST_F(SettingsFileTest, DigestMatchesAnIndependentComputation)
{
    writeFile(path(), kTwoDrives);
    SettingsFile settings(path());
    // Records' folder and pwd in document order, then EnableGoogleAuth, GoogleAuthKey,
    // EnableKestravaPwd, KestravaPwd: the fixed order, whatever the document order.
    const std::string covered = "/home/u/Dropbox/workAAAA/home/u/PhotosNgakeyYsecretform";
    const std::string expected = expectedDigest(covered);
    ASSERT_EQ(expected.size(), 44u);
    EXPECT_EQ(expected.back(), '=');
    EXPECT_EQ(settings.computeSettingsDigest(), expected);

    EXPECT_FALSE(settings.verifySettingsDigest()) << "no digest element yet";
    ASSERT_TRUE(settings.writeSettingsDigest());
    EXPECT_TRUE(settings.verifySettingsDigest());
    EXPECT_EQ(settings.getKestravaXmlValue("digest"), expected);
}

TEST_F(SettingsFileTest, DigestCoversFolderAndPasswordsButNotLabelLetterOrLanguage)
{
    writeFile(path(), kTwoDrives);
    SettingsFile settings(path());
    ASSERT_TRUE(settings.writeSettingsDigest());
    const std::string signedText = readFile(path());

    const auto edited = [&](const std::string& from, const std::string& to) {
        std::string text = signedText;
        const auto at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
        writeFile(path(), text);
        return settings.verifySettingsDigest();
    };
    EXPECT_TRUE(edited("label=\"Work\"", "label=\"Play\""));
    EXPECT_TRUE(edited("letter=\"E:\"", "letter=\"Q:\""));
    EXPECT_TRUE(edited("automount=\"1\"", "automount=\"0\""));
    EXPECT_TRUE(edited("KeyName=\"me@example\"", "KeyName=\"other\""));
    EXPECT_TRUE(edited("<Language>English</Language>", "<Language>lang_kor.dll</Language>"));
    EXPECT_TRUE(edited("<Language>English</Language>", "<AutoUpdate>Y</AutoUpdate>"));
    EXPECT_FALSE(edited("folder=\"/home/u/Photos\"", "folder=\"/home/u/photos\""));
    EXPECT_FALSE(edited("pwd=\"AAAA\"", "pwd=\"AAAB\""));
    EXPECT_FALSE(edited("<KestravaPwd>secretform", "<KestravaPwd>other"));
    EXPECT_FALSE(edited("<EnableGoogleAuth>N", "<EnableGoogleAuth>Y"));
    EXPECT_FALSE(edited("<EnableKestravaPwd>Y</EnableKestravaPwd>", ""));
}

TEST_F(SettingsFileTest, StoredDigestOfWrongLengthOrMissingFailsVerification)
{
    writeFile(path(), kTwoDrives);
    SettingsFile settings(path());
    const std::string good = *settings.computeSettingsDigest();
    const std::string base = readFile(path());
    const auto withDigest = [&](const std::string& digest) {
        std::string text = base;
        text.insert(text.find("</Kestrava>"), "\t<digest>" + digest + "</digest>\n");
        writeFile(path(), text);
        return settings.verifySettingsDigest();
    };
    EXPECT_TRUE(withDigest(good));
    EXPECT_FALSE(withDigest(good.substr(0, 40)));
    EXPECT_FALSE(withDigest(""));
    EXPECT_FALSE(withDigest(std::string(5000, 'A')));
    EXPECT_FALSE(withDigest("!!!!"));
    // Only the first 32 decoded bytes count: trailing text after the padding is ignored.
    EXPECT_TRUE(withDigest(good + "trailing"));
}

TEST_F(SettingsFileTest, MissingFileIsCreatedByTheFirstWriteWithTheFixedShape)
{
    SettingsFile settings(dir / "sub" / "folder" / "kestrava_settings.xml");
    EXPECT_EQ(settings.getKestravaXmlValue("Language"), "ERROR!");
    EXPECT_FALSE(settings.verifySettingsDigest());
    EXPECT_FALSE(settings.writeSettingsDigest()) << "a missing file is not created by a digest rewrite";
    EXPECT_FALSE(settings.exists());

    ASSERT_TRUE(settings.setKestravaXmlValue("Language", "English"));
    const std::string digest = expectedDigest("");
    EXPECT_EQ(readFile(settings.path()), "<?xml version=\"1.0\"?>\n"
                                         "<Kestrava>\n"
                                         "\t<drives />\n"
                                         "\t<Language>English</Language>\n"
                                         "\t<digest>" +
                                             digest +
                                             "</digest>\n"
                                             "</Kestrava>\n");
    struct stat st
    {
    };
    ASSERT_EQ(::stat(settings.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_TRUE(settings.verifySettingsDigest());
}

TEST_F(SettingsFileTest, ValuesAndAttributesReadWriteAndRemove)
{
    SettingsFile settings(path());
    ASSERT_TRUE(settings.setKestravaXmlValue("GoogleAuthKey", "protected", {{"KeyName", "me@host"}}));
    EXPECT_EQ(settings.getKestravaXmlValue("GoogleAuthKey"), "protected");
    EXPECT_EQ(settings.getKestravaXmlAttribute("GoogleAuthKey", "KeyName"), "me@host");
    ASSERT_TRUE(settings.setKestravaXmlValue("GoogleAuthKey", "second", {{"KeyName", "you@host"}}));
    EXPECT_EQ(settings.getKestravaXmlValue("GoogleAuthKey"), "second");
    EXPECT_EQ(settings.getKestravaXmlAttribute("GoogleAuthKey", "KeyName"), "you@host");
    EXPECT_EQ(settings.getKestravaXmlValue("Absent"), "");
    EXPECT_TRUE(settings.verifySettingsDigest());

    // Markup characters in values survive; names that are not XML names are refused.
    ASSERT_TRUE(settings.setKestravaXmlValue("Language", "<&\"'>"));
    EXPECT_EQ(settings.getKestravaXmlValue("Language"), "<&\"'>");
    const std::string before = readFile(path());
    EXPECT_FALSE(settings.setKestravaXmlValue("bad name", "x"));
    EXPECT_FALSE(settings.setKestravaXmlValue("", "x"));
    EXPECT_FALSE(settings.setKestravaXmlValue("Language", "\xFF\xFE"));
    EXPECT_FALSE(settings.setKestravaXmlValue("X", "y", {{"1bad", "z"}}));
    EXPECT_EQ(readFile(path()), before);

    ASSERT_TRUE(settings.removeKestravaXmlValue("GoogleAuthKey"));
    EXPECT_EQ(settings.getKestravaXmlValue("GoogleAuthKey"), "");
    EXPECT_EQ(settings.getKestravaXmlAttribute("GoogleAuthKey", "KeyName"), "");
    EXPECT_TRUE(settings.verifySettingsDigest());
}

TEST_F(SettingsFileTest, RemoveOnMissingFileSavesAnEmptyDocument)
{
    SettingsFile settings(path());
    ASSERT_TRUE(settings.removeKestravaXmlValue("KestravaPwd"));
    EXPECT_TRUE(settings.exists());
    EXPECT_TRUE(settings.verifySettingsDigest());
    EXPECT_EQ(settings.driveRecords()->size(), 0u);
}

TEST_F(SettingsFileTest, InvalidAndErrorAnswers)
{
    // A settings file without "drives": not a settings file for the explicit-path test.
    writeFile(dir / "nodrives.xml", "<Kestrava><Language>English</Language></Kestrava>");
    EXPECT_EQ(getKestravaXmlValue("drives", dir / "nodrives.xml"), "!INVALID_CFG_FILE!");
    EXPECT_EQ(getKestravaXmlValue("Language", dir / "nodrives.xml"), "English");
    EXPECT_EQ(SettingsFile(dir / "nodrives.xml").getKestravaXmlValue("drives"), "!INVALID_CFG_FILE!");

    writeFile(dir / "other.xml", "<Other><drives/></Other>");
    EXPECT_EQ(getKestravaXmlValue("drives", dir / "other.xml"), "!INVALID_CFG_FILE!");
    EXPECT_EQ(getKestravaXmlValue("Language", dir / "other.xml"), "!INVALID_CFG_FILE!");
    // Without an explicit path another root simply has no values.
    EXPECT_EQ(SettingsFile(dir / "other.xml").getKestravaXmlValue("Language"), "");

    writeFile(dir / "good.xml", kTwoDrives);
    EXPECT_EQ(getKestravaXmlValue("drives", dir / "good.xml"), "");

    writeFile(dir / "broken.xml", "<Kestrava><drives>");
    EXPECT_EQ(getKestravaXmlValue("drives", dir / "broken.xml"), "ERROR!");
    EXPECT_EQ(getKestravaXmlValue("drives", dir / "missing.xml"), "ERROR!");
    EXPECT_EQ(getKestravaXmlValue("drives", dir.path()), "ERROR!");
    EXPECT_EQ(SettingsFile(dir / "broken.xml").getKestravaXmlValue("Language"), "ERROR!");
}

// Files that exist but are not usable settings documents: every operation answers its
// failure value and none of them writes anything.
TEST_F(SettingsFileTest, BadFilesAreNeverWritten)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"empty", ""},
        {"not xml", "this is not xml at all"},
        {"truncated", "<?xml version=\"1.0\"?>\n<Kestrava>\n\t<drives>\n\t\t<drive label=\"a\" fol"},
        {"other root",
         "<Settings><drives><drive folder=\"/a\" letter=\"E:\" pwd=\"x\"/></drives></Settings>"},
        {"two roots", "<Kestrava><drives/></Kestrava><Kestrava/>"},
        {"non-UTF-8", "<Kestrava><drives><drive folder=\"/caf\xE9\" letter=\"E:\"/></drives></Kestrava>"},
        {"binary", std::string("\0\1\2\3<Kestrava/>", 15)},
    };
    for (const auto& [name, contents] : cases) {
        SCOPED_TRACE(name);
        writeFile(path(), contents);
        SettingsFile settings(path());
        EXPECT_FALSE(settings.setKestravaXmlValue("Language", "English"));
        EXPECT_FALSE(settings.removeKestravaXmlValue("Language"));
        EXPECT_FALSE(settings.writeSettingsDigest());
        EXPECT_FALSE(settings.Adv_SaveDriveInfo({"L", "/f", "E:", "", 0, ""}));
        EXPECT_FALSE(settings.RemoveDriveInfo("/a", "E:"));
        EXPECT_FALSE(settings.RemoveDrivePwd("/a", "E:"));
        EXPECT_FALSE(settings.setDriveAutoMount("/a", 1));
        EXPECT_FALSE(settings.passwdSaved("/a"));
        EXPECT_FALSE(settings.verifySettingsDigest());
        EXPECT_EQ(readFile(path()), contents);
    }
}

TEST_F(SettingsFileTest, RecordsWithMissingAttributesAndAbsurdValuesAreHandled)
{
    const std::string huge(200000, 'x');
    writeFile(path(), "<Kestrava><drives><drive/><drive folder=\"" + huge +
                          "\" automount=\"99999999999999999999\"/><drive automount=\"junk\" "
                          "letter=\"E:\"/></drives></Kestrava>");
    SettingsFile settings(path());
    const auto records = settings.driveRecords();
    ASSERT_TRUE(records);
    ASSERT_EQ(records->size(), 3u);
    EXPECT_EQ((*records)[0].folder, "");
    EXPECT_EQ((*records)[1].folder, huge);
    EXPECT_EQ((*records)[1].automount, 0);
    EXPECT_EQ((*records)[2].automount, 0);
    EXPECT_EQ((*records)[2].letter, "E:");
    EXPECT_EQ(settings.computeSettingsDigest(), expectedDigest(huge));
    EXPECT_TRUE(settings.RemoveDrivePwd("", "E:"));
    EXPECT_TRUE(settings.verifySettingsDigest());

    // A change that would make the file too large to load again is refused.
    const std::string before = readFile(path());
    EXPECT_FALSE(settings.setKestravaXmlValue("Language", std::string(kMaxSettingsBytes, 'z')));
    EXPECT_EQ(readFile(path()), before);

    // A file beyond any sensible size is refused rather than loaded.
    writeFile(path(),
              "<Kestrava><Language>" + std::string(kMaxSettingsBytes, 'y') + "</Language></Kestrava>");
    EXPECT_EQ(settings.getKestravaXmlValue("Language"), "ERROR!");
    EXPECT_FALSE(settings.setKestravaXmlValue("Language", "English"));
}

TEST_F(SettingsFileTest, DigestWrittenMatchesTheFileAsReadBack)
{
    // A hand edit that splits a covered value with a comment: the save joins the two halves,
    // and the digest must describe the joined value, or the next start calls the file damaged.
    writeFile(path(), "<Kestrava><drives/><KestravaPwd>abc<!-- note -->def</KestravaPwd></Kestrava>");
    SettingsFile settings(path());
    ASSERT_TRUE(settings.setKestravaXmlValue("Language", "English"));
    EXPECT_EQ(settings.getKestravaXmlValue("KestravaPwd"), "abcdef");
    EXPECT_TRUE(settings.verifySettingsDigest());
}

TEST_F(SettingsFileTest, SymbolicLinkKeepsPointingAtTheRealFile)
{
    writeFile(dir / "real.xml", kTwoDrives);
    std::filesystem::create_symlink(dir / "real.xml", path());
    SettingsFile settings(path());
    ASSERT_TRUE(settings.setKestravaXmlValue("Language", "German"));
    EXPECT_TRUE(std::filesystem::is_symlink(path()));
    EXPECT_EQ(SettingsFile(dir / "real.xml").getKestravaXmlValue("Language"), "German");
}

} // namespace
} // namespace kestrava::settings
