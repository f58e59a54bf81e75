#include "core/app/StringTable.h"

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

} // namespace
} // namespace kestrava
