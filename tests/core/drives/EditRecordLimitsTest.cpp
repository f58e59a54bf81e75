// The limits of the record an edit rewrites: texts are cut by characters, never inside a
// UTF-8 sequence, and the record is found by the drive's whole backing folder path.
#include "DriveFixture.h"
#include "core/drives/EditDriveFlow.h"
#include "core/drives/MountFlow.h"
#include "core/settings/SettingsDocument.h"

namespace kestrava::test {
namespace {

class EditRecordLimitsTest : public DriveFixture
{
protected:
    drives::EditSession begin(const std::filesystem::path& folder)
    {
        makeToken(folder);
        addRecord(folder, "K:", "Work", kDrivePassword, false);
        for (const auto& row : drives::listDriveRows(settings, host)) {
            rows.addRow(row);
        }
        auto session = drives::beginDriveEdit(services, 0);
        EXPECT_TRUE(session);
        return session ? std::move(*session) : drives::EditSession{};
    }

    static std::string repeated(const std::string& text, std::size_t times)
    {
        std::string out;
        for (std::size_t i = 0; i < times; ++i) {
            out += text;
        }
        return out;
    }
};

TEST_F(EditRecordLimitsTest, LabelsAreCutByCharactersAndReadBack)
{
    auto session = begin(dir / "vault");
    ASSERT_TRUE(session.context);
    struct Case
    {
        std::size_t characters;
        std::size_t kept;
    };
    // 130 two-byte characters are 260 bytes but well within 259 characters; 300 are cut.
    for (const Case c : {Case{130, 130}, Case{259, 259}, Case{300, 259}}) {
        auto edit = drives::editFieldsFor(*session.context);
        edit.label = repeated("\xC3\xA9", c.characters);
        ASSERT_EQ(drives::SaveEditInfo(settings, *session.context, edit, {}), drives::SaveEditResult::Saved)
            << c.characters;
        const auto records = settings.driveRecords();
        ASSERT_TRUE(records) << "the settings file no longer reads after " << c.characters << " characters";
        EXPECT_EQ(records->at(0).label, repeated("\xC3\xA9", c.kept));
        EXPECT_EQ(session.context->label(), repeated("\xC3\xA9", c.kept));
    }
    // A four-byte character at the limit is kept whole or dropped whole.
    auto edit = drives::editFieldsFor(*session.context);
    edit.label = repeated("a", 258) + "\xF0\x9F\x94\x92" + "b";
    ASSERT_EQ(drives::SaveEditInfo(settings, *session.context, edit, {}), drives::SaveEditResult::Saved);
    EXPECT_EQ(record(0).label, repeated("a", 258) + "\xF0\x9F\x94\x92");
    EXPECT_TRUE(settings::isValidUtf8(readFile(settingsPath)));
}

TEST_F(EditRecordLimitsTest, ADriveWithABackingPathLongerThan259BytesCanBeEdited)
{
    const auto folder = dir / repeated("a", 200) / repeated("b", 100);
    ASSERT_GT(folder.string().size(), 259u);
    auto session = begin(folder);
    ASSERT_TRUE(session.context);
    auto edit = drives::editFieldsFor(*session.context);
    edit.label = "Renamed";
    edit.autoMount = true;
    ASSERT_EQ(drives::SaveEditInfo(settings, *session.context, edit, {}), drives::SaveEditResult::Saved);
    EXPECT_EQ(record(0).label, "Renamed");
    EXPECT_EQ(record(0).automount, 1);
    EXPECT_EQ(record(0).folder, folder.string());
}

} // namespace
} // namespace kestrava::test
