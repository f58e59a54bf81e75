#include "core/settings/PasswordVault.h"
#include "core/settings/SettingsFile.h"
#include "support/TestSupport.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace kestrava::settings {
namespace {

// Run by with-private-bus.sh --keyring: a keyring daemon of its own on a private bus.
class KeyringTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* variable : {"KESTRAVA_NO_PRIVATE_BUS", "KESTRAVA_NO_KEYRING"}) {
            if (const char* reason = std::getenv(variable)) {
                GTEST_SKIP() << "no keyring to test with: " << reason;
            }
        }
        m_vault = makeSecretServiceVault();
        if (const auto reason = m_vault->unavailableReason()) {
            GTEST_SKIP() << "no keyring to test with: " << *reason;
        }
        setPasswordVault(m_vault);
    }
    void TearDown() override { setPasswordVault(nullptr); }

    test::TempDir m_dir;
    std::shared_ptr<PasswordVault> m_vault;
};

TEST_F(KeyringTest, StoresLooksUpAndRemoves)
{
    const std::string folder = (m_dir / "drive").string();
    EXPECT_FALSE(m_vault->lookup(folder));
    ASSERT_TRUE(m_vault->store(folder, "PROTECTED-1"));
    EXPECT_EQ(m_vault->lookup(folder), "PROTECTED-1");
    ASSERT_TRUE(m_vault->store(folder, "PROTECTED-2"));
    EXPECT_EQ(m_vault->lookup(folder), "PROTECTED-2");
    EXPECT_FALSE(m_vault->lookup(folder + "-other"));
    EXPECT_TRUE(m_vault->remove(folder));
    EXPECT_FALSE(m_vault->lookup(folder));
}

TEST_F(KeyringTest, RememberedPasswordsLiveInTheKeyringWhileTheOptionIsOn)
{
    SettingsFile file(m_dir / "s.xml");
    const std::string folder = (m_dir / "a").string();
    ASSERT_TRUE(file.Adv_SaveDriveInfo({"A", folder, "E:", "PWDA", 1, ""}));
    std::string error;
    ASSERT_TRUE(keepPasswordsInVault(file, true, error)) << error;
    EXPECT_EQ(test::readFile(m_dir / "s.xml").find("PWDA"), std::string::npos);
    EXPECT_EQ(m_vault->lookup(folder), "PWDA");
    EXPECT_EQ(file.driveRecords()->at(0).pwd, "PWDA");

    ASSERT_TRUE(keepPasswordsInVault(file, false, error)) << error;
    EXPECT_NE(test::readFile(m_dir / "s.xml").find("PWDA"), std::string::npos);
    EXPECT_FALSE(m_vault->lookup(folder));
}

} // namespace
} // namespace kestrava::settings
