#include "core/app/StringTable.h"

#include "core/access/GoogleAuth.h"
#include "core/access/LoginPassword.h"
#include "core/drives/TrayTooltip.h"

#include <gtest/gtest.h>

namespace kestrava {
namespace {

TEST(StringTableTest, KnownTextsAreExact)
{
    EXPECT_EQ(loadAppString(46), "Error! Password needs to be at least 6 characters.");
    EXPECT_EQ(loadAppString(47), "Error! Password verification failed.");
    EXPECT_EQ(loadAppString(153), "Error! Security token save error!");
    EXPECT_EQ(loadAppString(28), "Error! There was a problem reading the import file:\n%s");
    EXPECT_EQ(loadAppString(274), "English");
    EXPECT_EQ(loadAppString(277), "1033");
    EXPECT_EQ(loadAppString(999999), "");
}

TEST(StringTableTest, EveryEntryHasTextAndNoLiteralEscapes)
{
    const auto ids = appStringIds();
    EXPECT_GT(ids.size(), 150u);
    for (const int id : ids) {
        const std::string_view text = englishAppString(id);
        EXPECT_FALSE(text.empty()) << id;
        EXPECT_EQ(text.find("\\n"), std::string_view::npos) << id << " holds a written-out escape";
    }
}

TEST(StringTableTest, OverrideReplacesTextsItHasAndFallsBackOtherwise)
{
    setAppStringOverride([](int id) { return id == 46 ? std::string("Fehler!") : std::string(); });
    EXPECT_EQ(loadAppString(46), "Fehler!");
    EXPECT_EQ(loadAppString(47), "Error! Password verification failed.");
    setAppStringOverride(nullptr);
    EXPECT_EQ(loadAppString(46), "Error! Password needs to be at least 6 characters.");
}

TEST(StringTableTest, FormatFillsPlaceholdersInOrder)
{
    EXPECT_EQ(formatAppString("Label: %s\nFolder: %s", {"Work", "/data"}), "Label: Work\nFolder: /data");
    EXPECT_EQ(formatAppString("%d%% of %s", {"50", "disk"}), "50% of disk");
    EXPECT_EQ(formatAppString("a %s b %s", {"1"}), "a 1 b ");
    EXPECT_EQ(formatAppString("Step %d", {"2"}), "Step 2");
    EXPECT_EQ(formatAppString("trailing %", {}), "trailing %");
}

TEST(StringTableTest, EnglishTextsSpeakOfThisSystem)
{
    for (const int id : appStringIds()) {
        const std::string text(englishAppString(id));
        for (const char* foreign : {"Windows", "Registry", "Administrat", "Virtual Disk Driver",
                                    "Icon Overlay", "reboot", "|*.", "*.*"}) {
            EXPECT_EQ(text.find(foreign), std::string::npos) << id << ": " << text;
        }
    }
}

// Every text of these core helpers comes from the table: a language pack that replaces every id
// with its number shows no English word.
TEST(StringTableTest, CoreTextsComeFromTheTableById)
{
    setAppStringOverride([](int id) { return "<" + std::to_string(id) + ":%s:%s:%s>"; });
    EXPECT_EQ(drives::trayTooltipText("T", {}), "<1344:T::>");
    EXPECT_EQ(drives::trayTooltipText("T", {"E:", "G:"}), "<1345:T:E:, G::>");
    EXPECT_EQ(loginPasswordChangeMessage(kLoginPasswordTooLong), "<1346:128::>");
    EXPECT_EQ(oneTimeCodeFieldLabel("ann"), "<1347:<257:%s:%s:%s>:<260:%s:%s:%s>:ann>");
    setAppStringOverride(nullptr);
    EXPECT_EQ(oneTimeCodeFieldLabel("ann"), "Google Authenticator:  [ Key:  ann ]");
}

} // namespace
} // namespace kestrava
