// The version text of the about window and the program information.
#include "core/app/VersionText.h"

#include "core/Version.h"

#include <gtest/gtest.h>

namespace kestrava {
namespace {

TEST(VersionTextTest, VersionTextOfTheAboutWindow)
{
    EXPECT_EQ(versionText({1, 2, 3, 4}), "1.2.3.4");
    EXPECT_EQ(versionText({1, 2, 0, 0}), "1.2");
    EXPECT_EQ(versionText({1, 2, 0, 7}), "1.2.0.7") << "only both last parts zero shorten it";
    EXPECT_EQ(versionText({1, 2, 3, 0}), "1.2.3.0");
    EXPECT_EQ(versionText({0, 0, 0, 0}), "");
    EXPECT_EQ(versionText({0, 0, 0, 1}), "0.0.0.1");
}

TEST(VersionTextTest, ReadingVersionParts)
{
    EXPECT_EQ(parseVersionParts("1.0.0.1"), (VersionParts{1, 0, 0, 1}));
    EXPECT_EQ(parseVersionParts("3.14"), (VersionParts{3, 14, 0, 0}));
    for (const char* bad : {"", "1..2", "1.2.3.4.5", "1.x", "-1.2", "1.2 ", "70000.1"}) {
        EXPECT_FALSE(parseVersionParts(bad)) << bad;
    }
    const auto own = parseVersionParts(kProgramVersion);
    ASSERT_TRUE(own);
    EXPECT_EQ(programVersionText(), versionText(*own));
    EXPECT_FALSE(programVersionText().empty());
}

} // namespace
} // namespace kestrava
