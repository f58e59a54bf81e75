#include "core/prefs/ProgramInformation.h"

#include "core/app/StringTable.h"

#include <gtest/gtest.h>

namespace kestrava::prefs {
namespace {

TEST(ProgramInformationTest, FusermountVersionIsParsed)
{
    EXPECT_EQ(parseFusermountVersion("fusermount3 version: 3.14.0\n"), (FuseVersion{3, 14, 0, 0}));
    EXPECT_EQ(parseFusermountVersion("fusermount3 version: 3.10"), (FuseVersion{3, 10, 0, 0}));
    EXPECT_EQ(parseFusermountVersion("fusermount version: 2.9.9.1"), (FuseVersion{2, 9, 9, 1}));
    EXPECT_FALSE(parseFusermountVersion("fusermount3: unknown option -V"));
    EXPECT_FALSE(parseFusermountVersion("version: beta"));
    EXPECT_FALSE(parseFusermountVersion(""));
}

TEST(ProgramInformationTest, TextNamesProgramAndFuse)
{
    EXPECT_EQ(programInformationText("1.0.0.1", FuseVersion{3, 14, 0, 0}),
              "Harbrook Kestrava v1.0.0.1\n\nFUSE: Installed (v3.14.0.0)");
    EXPECT_EQ(programInformationText("1.2", std::nullopt), "Harbrook Kestrava v1.2\n\n" + loadAppString(21));
}

} // namespace
} // namespace kestrava::prefs
