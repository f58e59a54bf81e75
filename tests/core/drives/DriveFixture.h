// Drives over real temporary folders: tokens made with real passwords, records in a real
// settings file, the activity log in the same folder, and a fake host.
#pragma once

#include "FakeDriveHost.h"
#include "core/app/ActivityLog.h"
#include "core/drives/DriveServices.h"
#include "core/drives/MountedDrives.h"
#include "core/settings/SavedPasswords.h"
#include "core/settings/SettingsFile.h"
#include "core/token/DriveContext.h"
#include "core/token/TokenDocument.h"
#include "support/ScriptedPrompter.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace kestrava::test {

inline constexpr const char* kDrivePassword = "correct horse";
inline constexpr const char* kOtherPassword = "wrong battery";

inline DrivePasswordAnswer typedPassword(const std::string& password, bool remember = false,
                                         bool autoMount = true)
{
    DrivePasswordAnswer answer;
    answer.outcome = PasswordOutcome::Entered;
    answer.password = crypto::makeSecureString(password);
    answer.rememberPassword = remember;
    answer.autoMount = autoMount;
    return answer;
}

inline DrivePasswordAnswer cancelledPrompt()
{
    return {PasswordOutcome::Cancelled, {}, false, false};
}

// Replaces the text of one element of a token, or removes the element.
inline std::string setTokenElement(std::string xml, const std::string& name,
                                   const std::optional<std::string>& text)
{
    const std::string open = "<" + name + ">";
    const std::string close = "</" + name + ">";
    const auto begin = xml.find(open);
    const auto end = xml.find(close);
    if (begin == std::string::npos || end == std::string::npos) {
        return xml;
    }
    if (text) {
        return xml.replace(begin + open.size(), end - begin - open.size(), *text);
    }
    return xml.erase(begin, end + close.size() - begin);
}

class DriveFixture : public ::testing::Test
{
protected:
    TempDir dir;
    std::filesystem::path settingsPath = dir / "kestrava_settings.xml";
    settings::SettingsFile settings{settingsPath};
    FakeDriveHost host{dir / "mnt"};
    ScriptedPrompter prompter;
    drives::MountedDrives mounted;
    drives::DriveListModel rows;
    drives::DriveServices services{settings, prompter, host, mounted, rows};

    void SetUp() override { applog::configureLog({dir / "kestrava.log", false}); }
    void TearDown() override { applog::configureLog({}); }

    std::string logText() const { return readFile(dir / "kestrava.log"); }

    // A backing folder with a new token; returns its master key.
    crypto::SecureBytes makeToken(const std::filesystem::path& folder,
                                  const std::string& password = kDrivePassword)
    {
        std::filesystem::create_directories(folder);
        token::DriveContext context(hashStr(password));
        EXPECT_TRUE(context.CreateToken(token::tokenPathFor(folder)));
        return context.masterKey();
    }

    // Turns a folder's token into one of the old format: version "1.0.0.0", no digest.
    void makeLegacy(const std::filesystem::path& folder)
    {
        const auto path = token::tokenPathFor(folder);
        std::string xml = setTokenElement(readFile(path), "version", std::string(token::kLegacyTokenVersion));
        writeFile(path, setTokenElement(xml, "digest", std::nullopt));
    }

    void addRecord(const std::filesystem::path& folder, const std::string& letter, const std::string& label,
                   const std::optional<std::string>& rememberedPassword, bool autoMount)
    {
        settings::DriveRecord record;
        record.label = label;
        record.folder = folder.string();
        record.letter = letter;
        record.automount = autoMount ? 1 : 0;
        if (rememberedPassword) {
            token::DriveContext context;
            record.pwd = context.ProtectPassword(hashStr(*rememberedPassword));
        }
        ASSERT_TRUE(settings.Adv_SaveDriveInfo(record));
    }

    settings::DriveRecord record(std::size_t index) const { return settings.driveRecords()->at(index); }
};

} // namespace kestrava::test
