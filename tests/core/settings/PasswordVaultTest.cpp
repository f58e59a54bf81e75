#include "core/settings/PasswordVault.h"

#include "core/settings/SettingsFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <map>
#include <set>

namespace kestrava::settings {
namespace {

class MemoryVault : public PasswordVault
{
public:
    std::optional<std::string> unavailableReason() override { return reason; }
    bool store(std::string_view folder, std::string_view password) override
    {
        if (refused.count(std::string(folder)) != 0) {
            return false;
        }
        entries[std::string(folder)] = std::string(password);
        return true;
    }
    std::optional<std::string> lookup(std::string_view folder) override
    {
        const auto it = entries.find(std::string(folder));
        return it == entries.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    bool remove(std::string_view folder) override { return entries.erase(std::string(folder)) != 0; }

    std::optional<std::string> reason;
    std::set<std::string> refused;
    std::map<std::string, std::string> entries;
};

class PasswordVaultTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setPasswordVault(m_vault);
        ASSERT_TRUE(m_file.Adv_SaveDriveInfo({"A", "/data/a", "E:", "PWDA", 1, ""}));
        ASSERT_TRUE(m_file.Adv_SaveDriveInfo({"B", "/data/b", "F:", "PWDB", 0, ""}));
        ASSERT_TRUE(m_file.Adv_SaveDriveInfo({"C", "/data/c", "G:", "", 0, ""}));
    }
    void TearDown() override { setPasswordVault(nullptr); }

    std::string fileText() const { return test::readFile(m_dir / "s.xml"); }

    test::TempDir m_dir;
    std::shared_ptr<MemoryVault> m_vault = std::make_shared<MemoryVault>();
    SettingsFile m_file{m_dir / "s.xml"};
};

TEST_F(PasswordVaultTest, OnMovesPasswordsOutOfTheFileAndReadingPutsThemBack)
{
    m_vault->refused.insert("/data/b");
    std::string error;
    ASSERT_TRUE(keepPasswordsInVault(m_file, true, error)) << error;
    EXPECT_EQ(m_vault->entries, (std::map<std::string, std::string>{{"/data/a", "PWDA"}}));
    EXPECT_EQ(fileText().find("PWDA"), std::string::npos);
    // The one the vault refused stays in the file.
    EXPECT_NE(fileText().find("PWDB"), std::string::npos);
    EXPECT_TRUE(m_file.verifySettingsDigest());

    const auto records = m_file.driveRecords();
    ASSERT_TRUE(records);
    EXPECT_EQ(records->at(0).pwd, "PWDA");
    EXPECT_EQ(records->at(1).pwd, "PWDB");
    EXPECT_EQ(records->at(2).pwd, "");
    EXPECT_TRUE(m_file.passwdSaved("/data/a"));
    EXPECT_FALSE(m_file.passwdSaved("/data/c"));

    // A password remembered later goes to the vault with the save that stores it.
    ASSERT_TRUE(m_file.Adv_SaveDriveInfo({"D", "/data/d", "H:", "PWDD", 0, ""}));
    EXPECT_EQ(m_vault->entries.at("/data/d"), "PWDD");
    EXPECT_EQ(fileText().find("PWDD"), std::string::npos);

    // Without the vault (another program, another desktop) the passwords are just not there.
    setPasswordVault(nullptr);
    EXPECT_EQ(m_file.driveRecords()->at(0).pwd, "");
}

TEST_F(PasswordVaultTest, OffBringsThemBackAndEmptiesTheVault)
{
    std::string error;
    ASSERT_TRUE(keepPasswordsInVault(m_file, true, error)) << error;
    ASSERT_TRUE(keepPasswordsInVault(m_file, false, error)) << error;
    EXPECT_TRUE(m_vault->entries.empty());
    EXPECT_NE(fileText().find("PWDA"), std::string::npos);
    EXPECT_EQ(fileText().find("keyring="), std::string::npos);
    EXPECT_EQ(fileText().find("KeyringPasswords"), std::string::npos);
    // Saves no longer move anything.
    ASSERT_TRUE(m_file.Adv_SaveDriveInfo({"D", "/data/d", "H:", "PWDD", 0, ""}));
    EXPECT_TRUE(m_vault->entries.empty());
}

TEST_F(PasswordVaultTest, NothingChangesWhenTheVaultCannotHelp)
{
    std::string error;
    ASSERT_TRUE(keepPasswordsInVault(m_file, true, error)) << error;
    const std::string before = fileText();
    // A vault that lost an entry: turning the option off would lose that password.
    m_vault->entries.erase("/data/a");
    EXPECT_FALSE(keepPasswordsInVault(m_file, false, error));
    EXPECT_NE(error.find("/data/a"), std::string::npos);
    EXPECT_EQ(fileText(), before);

    m_vault->reason = "no Secret Service";
    EXPECT_FALSE(keepPasswordsInVault(m_file, false, error));
    EXPECT_EQ(error, "no Secret Service");
    EXPECT_EQ(fileText(), before);
}

} // namespace
} // namespace kestrava::settings
