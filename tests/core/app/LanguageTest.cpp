#include "core/app/Language.h"

#include "core/app/ActivityLog.h"
#include "core/app/StringTable.h"
#include "core/settings/Paths.h"
#include "core/settings/SettingsFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace kestrava::lang {
namespace {

void writePack(const std::filesystem::path& file, const std::string& name, const std::string& identifier,
               const std::string& extra = "")
{
    test::writeFile(file, "# test pack\n274\t" + name + "\n277\t" + identifier + "\n269\tOK-" + name + "\n" +
                              extra);
}

TEST(LanguagePackTest, LinesEscapesAndFaults)
{
    std::string error;
    const auto pack =
        LanguagePack::parse("# comment\r\n\n20\tZwei\\nZeilen\\tTab\\\\Strich\r\n95\tv%s\n", error);
    ASSERT_TRUE(pack) << error;
    EXPECT_EQ(pack->text(20), "Zwei\nZeilen\tTab\\Strich");
    EXPECT_EQ(pack->text(95), "v%s");
    EXPECT_EQ(pack->text(21), "");
    EXPECT_EQ(unescapePackText(escapePackText("a\nb\t\\c")), "a\nb\t\\c");

    EXPECT_FALSE(LanguagePack::parse("20 no tab\n", error));
    EXPECT_NE(error.find("line 1"), std::string::npos);
    EXPECT_FALSE(LanguagePack::parse("x20\ttext\n", error));
    EXPECT_FALSE(LanguagePack::parse("20\ta\n20\tb\n", error));
    EXPECT_NE(error.find("twice"), std::string::npos);
    EXPECT_FALSE(LanguagePack::parse("20\t\xff\xfe\n", error));

    EXPECT_EQ(placeholdersOf("%s and %d, 100%% and %02d"), (std::vector<std::string>{"%s", "%d", "%02d"}));
    EXPECT_TRUE(isPackFileName("lang_deu.lang"));
    EXPECT_FALSE(isPackFileName("lang_.lang"));
    EXPECT_FALSE(isPackFileName("deu.lang"));
}

TEST(LanguagePackTest, LocalesGiveTheirLanguageIdentifier)
{
    EXPECT_EQ(languageIdentifierForLocale("de_DE.UTF-8"), 1031);
    EXPECT_EQ(languageIdentifierForLocale("de_AT.UTF-8"), 3079);
    EXPECT_EQ(languageIdentifierForLocale("de_LU"), 1031);
    EXPECT_EQ(languageIdentifierForLocale("ko_KR.UTF-8"), 1042);
    EXPECT_EQ(languageIdentifierForLocale("en_US"), 1033);
    EXPECT_FALSE(languageIdentifierForLocale("C.UTF-8"));
    EXPECT_FALSE(languageIdentifierForLocale("POSIX"));
    EXPECT_FALSE(languageIdentifierForLocale("xx_YY"));
    test::ScopedEnv all("LC_ALL", "ko_KR.UTF-8");
    EXPECT_EQ(userDefaultLanguageIdentifier(), 1042);
    test::ScopedEnv none("LC_ALL", "C");
    EXPECT_EQ(userDefaultLanguageIdentifier(), 1033);
}

TEST(LanguagePackTest, PacksAreFoundInTheSearchFolders)
{
    test::TempDir dir;
    std::filesystem::create_directories(dir / "a");
    std::filesystem::create_directories(dir / "b");
    writePack(dir / "a" / "lang_fra.lang", "Francais", "1036");
    writePack(dir / "a" / "lang_deu.lang", "Deutsch", "1031");
    writePack(dir / "b" / "lang_deu.lang", "Deutsch (B)", "1031");
    writePack(dir / "b" / "lang_kor.lang", "Korean", "1042");
    test::writeFile(dir / "b" / "lang_bad.lang", "broken line\n");
    test::writeFile(dir / "b" / "notes.txt", "274\tNo\n");

    const auto records = findLanguagePacks({dir / "a", dir / "missing", dir / "b"});
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].fileName, "lang_deu.lang");
    EXPECT_EQ(records[0].displayName, "Deutsch");
    EXPECT_EQ(records[0].identifier, "1031");
    EXPECT_EQ(records[1].fileName, "lang_fra.lang");
    EXPECT_EQ(records[2].displayName, "Korean");

    test::ScopedEnv path(std::string(kLanguagePathVariable),
                         (dir / "b").string() + ":" + (dir / "a").string());
    const auto folders = languageSearchFolders();
    ASSERT_GE(folders.size(), 3u);
    EXPECT_EQ(folders[0], dir / "b");
    EXPECT_EQ(folders[1], dir / "a");
    EXPECT_EQ(folders[2], paths::executablePath().parent_path());
    // An installed copy reads its packs from the shared data folder.
    EXPECT_EQ(paths::languageFolderFor("/usr/bin/kestrava"), "/usr/share/kestrava/lang");
    EXPECT_EQ(paths::languageFolderFor("/home/me/k/kestrava"), "/home/me/k/lang");
}

class LanguagesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        applog::configureLog({m_dir / "k.log", false});
        writePack(m_dir / "lang_deu.lang", "Deutsch", "1031");
        writePack(m_dir / "lang_kor.lang", "Korean", "1042");
        writePack(m_dir / "lang_nameless.lang", "", "1049");
    }
    void TearDown() override
    {
        applog::configureLog({});
        setAppStringOverride(nullptr);
    }
    Languages languages(int userDefault)
    {
        return Languages({m_dir.path()}, [userDefault] { return userDefault; });
    }
    std::filesystem::path settings() const { return m_dir / "settings.xml"; }
    std::string log() const { return test::readFile(m_dir / "k.log"); }

    test::TempDir m_dir;
};

TEST_F(LanguagesTest, LoadingAPackReplacesTextsUntilReleased)
{
    Languages langs = languages(1033);
    ASSERT_TRUE(langs.load("lang_deu.lang"));
    EXPECT_EQ(loadAppString(269), "OK-Deutsch");
    // Texts the pack lacks stay English rather than empty.
    EXPECT_EQ(loadAppString(67), "Cancel");
    EXPECT_EQ(langs.widthFactor(), kNormalWidthFactor);
    ASSERT_TRUE(langs.load("lang_kor.lang"));
    EXPECT_EQ(langs.widthFactor(), kWideWidthFactor);
    EXPECT_EQ(loadAppString(269), "OK-Korean");
    EXPECT_FALSE(langs.load("lang_xyz.lang"));
    EXPECT_FALSE(langs.loaded().has_value());
    EXPECT_EQ(loadAppString(269), "OK");
    EXPECT_EQ(langs.widthFactor(), kNormalWidthFactor);
}

TEST_F(LanguagesTest, AtStartWithoutAChoiceTheLocaleDecides)
{
    Languages langs = languages(1042);
    test::writeFile(settings(), "<?xml version=\"1.0\"?>\n<Kestrava>\n\t<drives />\n</Kestrava>\n");
    EXPECT_EQ(langs.doLanguage("", true, settings()), "lang_kor.lang");
    ASSERT_TRUE(langs.loaded());
    EXPECT_EQ(langs.loaded()->fileName, "lang_kor.lang");
    EXPECT_NE(log().find("doLanguage:  - LANGID: 1042"), std::string::npos);
    EXPECT_NE(log().find("doLanguage: 1042 - SetLang: lang_kor.lang"), std::string::npos);
    // Nothing was stored: the locale is asked again next time.
    EXPECT_EQ(settings::SettingsFile(settings()).getKestravaXmlValue("Language"), "");

    // Without a settings file the locale decides too.
    Languages fresh = languages(1031);
    EXPECT_EQ(fresh.doLanguage("", true, m_dir / "none.xml"), "lang_deu.lang");
    EXPECT_FALSE(std::filesystem::exists(m_dir / "none.xml"));
    Languages unmatched = languages(1036);
    EXPECT_EQ(unmatched.doLanguage("", true, m_dir / "none.xml"), "");
    EXPECT_FALSE(unmatched.loaded());
}

TEST_F(LanguagesTest, StoredChoiceWins)
{
    test::writeFile(
        settings(),
        "<?xml version=\"1.0\"?>\n<Kestrava>\n\t<drives />\n\t<Language>English</Language>\n</Kestrava>\n");
    Languages english = languages(1042);
    EXPECT_EQ(english.doLanguage("", true, settings()), "");
    EXPECT_FALSE(english.loaded());

    test::writeFile(settings(), "<?xml version=\"1.0\"?>\n<Kestrava>\n\t<drives "
                                "/>\n\t<Language>lang_deu.lang</Language>\n</Kestrava>\n");
    Languages german = languages(1042);
    EXPECT_EQ(german.doLanguage("", false, settings()), "lang_deu.lang");
    EXPECT_FALSE(german.loaded());
    EXPECT_EQ(german.doLanguage("", true, settings()), "lang_deu.lang");
    ASSERT_TRUE(german.loaded());
    EXPECT_EQ(german.loaded()->displayName, "Deutsch");
    EXPECT_NE(log().find("doLanguage: lang_deu.lang"), std::string::npos);

    // A settings file that does not parse: nothing is loaded or written.
    test::writeFile(settings(), "<Kestrava><drives>");
    Languages broken = languages(1042);
    EXPECT_EQ(broken.doLanguage("", true, settings()), "");
    EXPECT_FALSE(broken.loaded());
    EXPECT_EQ(test::readFile(settings()), "<Kestrava><drives>");
}

TEST_F(LanguagesTest, DriverInstallModeAsksOnlyTheLocale)
{
    test::writeFile(
        settings(),
        "<?xml version=\"1.0\"?>\n<Kestrava>\n\t<drives />\n\t<Language>English</Language>\n</Kestrava>\n");
    Languages langs = languages(1031);
    EXPECT_EQ(langs.doLanguage(kDriverInstall, true, settings()), "lang_deu.lang");
    EXPECT_NE(log().find("doLanguage: DRIVER_INSTALL - GetUserDefaultLangID: 1031"), std::string::npos);
}

TEST_F(LanguagesTest, TheListChoosesAndStoresAtOnce)
{
    Languages langs = languages(1033);
    const auto entries = langs.listEntries();
    // A pack without a name is not offered.
    EXPECT_EQ(entries, (std::vector<std::string>{"English", "Deutsch", "Korean"}));
    EXPECT_EQ(langs.selectedEntry(entries), "English");

    ASSERT_TRUE(langs.choose("Korean", settings()));
    EXPECT_EQ(langs.loaded()->fileName, "lang_kor.lang");
    EXPECT_EQ(langs.selectedEntry(entries), "Korean");
    settings::SettingsFile file(settings());
    EXPECT_EQ(file.getKestravaXmlValue("Language"), "lang_kor.lang");
    EXPECT_TRUE(file.verifySettingsDigest());

    EXPECT_FALSE(langs.choose("Klingon", settings()));
    EXPECT_EQ(file.getKestravaXmlValue("Language"), "lang_kor.lang");

    ASSERT_TRUE(langs.choose("English", settings()));
    EXPECT_FALSE(langs.loaded());
    EXPECT_EQ(file.getKestravaXmlValue("Language"), "English");
    EXPECT_EQ(loadAppString(269), "OK");
}

} // namespace
} // namespace kestrava::lang

namespace kestrava::lang {
namespace {

// The shipped German pack loads with the program's own reader and covers every text.
TEST(ShippedPackTest, GermanPackCoversEveryIdWithTheSamePlaceholders)
{
    std::string error;
    const auto pack = LanguagePack::load(std::filesystem::path(KESTRAVA_LANG_DIR) / "lang_deu.lang", error);
    ASSERT_TRUE(pack) << error;
    EXPECT_EQ(pack->text(kDisplayNameId), "Deutsch");
    EXPECT_EQ(pack->text(kIdentifierId), "1031");
    for (const int id : appStringIds()) {
        ASSERT_FALSE(pack->text(id).empty()) << "id " << id;
        EXPECT_EQ(placeholdersOf(pack->text(id)), placeholdersOf(englishAppString(id))) << "id " << id;
    }
}

} // namespace
} // namespace kestrava::lang
