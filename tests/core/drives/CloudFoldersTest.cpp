// Finding cloud clients' folders from their traces in a temporary home: host.db decoding, the
// OneDrive client's config, mounted client file systems, and what each choice proposes.
#include "core/drives/CloudFolders.h"

#include "core/crypto/Base64Url.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace kestrava::test {
namespace {

using drives::CloudProvider;
using namespace std::string_literals;

std::string encodeLine(const std::string& text)
{
    return crypto::base64UrlEncode(crypto::asBytes(text));
}

std::string mountLine(const std::string& mountPoint, const std::string& type, const std::string& source)
{
    return "41 30 0:52 / " + mountPoint + " rw,nosuid,nodev - " + type + " " + source + " rw,user_id=1000\n";
}

class CloudFoldersTest : public ::testing::Test
{
protected:
    TempDir dir;
    drives::CloudTraces traces{dir / "home", dir / "home" / ".config", dir / "mountinfo", dir / "proc"};

    void SetUp() override
    {
        std::filesystem::create_directories(dir / "home" / ".dropbox");
        std::filesystem::create_directories(dir / "proc");
        writeFile(dir / "mountinfo", mountLine("/", "ext4", "/dev/sda1"));
    }

    void hostDb(const std::string& text) { writeFile(dir / "home" / ".dropbox" / "host.db", text); }
    void oneDriveConfig(const std::string& text)
    {
        std::filesystem::create_directories(dir / "home" / ".config" / "onedrive");
        writeFile(dir / "home" / ".config" / "onedrive" / "config", text);
    }
    void process(const std::string& pid, const std::string& name)
    {
        std::filesystem::create_directories(dir / "proc" / pid);
        writeFile(dir / "proc" / pid / "comm", name + "\n");
    }
};

TEST_F(CloudFoldersTest, DropboxTakesTheFirstLineThatDecodesToAnAbsolutePath)
{
    // The first line is the client's own id; a Windows path is not a folder here.
    hostDb("6a1e0ff3c2b94c5f9e0d\n" + encodeLine("C:\\Users\\me\\Dropbox") + "\r\n" +
           encodeLine("/home/me/Dropbox") + "\n" + encodeLine("/elsewhere") + "\n");
    EXPECT_EQ(drives::GetDropboxFolder(traces), "/home/me/Dropbox");
}

TEST_F(CloudFoldersTest, DropboxDecodesOnlyUpToACharacterOutsideTheAlphabet)
{
    // Standard base64 of this path has a "+" where base64url has "-": decoding stops there.
    const std::string path = "/x/?\?>/Dropbox";
    std::string standard = encodeLine(path);
    const auto cut = standard.find('-');
    ASSERT_NE(cut, std::string::npos);
    standard[cut] = '+';
    EXPECT_EQ(drives::decodeHostDbLine(standard), "/x/??");
    EXPECT_EQ(drives::decodeHostDbLine("L2hvbWU/L2Ryb3A="), drives::decodeHostDbLine("L2hvbWU"));

    hostDb(standard + "\n");
    EXPECT_EQ(drives::GetDropboxFolder(traces), "/x/??");
}

TEST_F(CloudFoldersTest, DropboxGarbageOrMissingTraceGivesNothing)
{
    EXPECT_EQ(drives::GetDropboxFolder(traces), "");
    hostDb("\x01\xff\xfe garbage \0 line\n====\n\n"s + encodeLine("/ok\x01tail") + "\n" +
           encodeLine("relative/path") + "\n");
    EXPECT_EQ(drives::GetDropboxFolder(traces), "");
    std::filesystem::remove(dir / "home" / ".dropbox" / "host.db");
    std::filesystem::create_directory(dir / "home" / ".dropbox" / "host.db");
    EXPECT_EQ(drives::GetDropboxFolder(traces), "") << "a folder in place of the file";
}

TEST_F(CloudFoldersTest, EveryLookupReadsTheTraceAfresh)
{
    hostDb(encodeLine("/first") + "\n");
    EXPECT_EQ(drives::cloudFolder(CloudProvider::Dropbox, traces), "/first");
    hostDb(encodeLine("/second/") + "\n");
    EXPECT_EQ(drives::cloudFolder(CloudProvider::Dropbox, traces), "/second");
    std::filesystem::remove(dir / "home" / ".dropbox" / "host.db");
    EXPECT_EQ(drives::cloudFolder(CloudProvider::Dropbox, traces), "");
}

TEST_F(CloudFoldersTest, OneDriveSyncDirOrTheDefaultFolder)
{
    EXPECT_EQ(drives::GetSkyDriveFolder(traces), "") << "no config, no ~/OneDrive";

    std::filesystem::create_directories(dir / "home" / "OneDrive");
    EXPECT_EQ(drives::GetSkyDriveFolder(traces), (dir / "home" / "OneDrive").string());

    oneDriveConfig("# sync_dir = \"/commented/out\"\nmonitor_interval = \"300\"\n");
    EXPECT_EQ(drives::GetSkyDriveFolder(traces), (dir / "home" / "OneDrive").string())
        << "a config without the setting falls back to the default";

    oneDriveConfig("monitor_interval = \"300\"\n  sync_dir = \"~/Cloud/OneDrive/\"  \n");
    EXPECT_EQ(drives::GetSkyDriveFolder(traces), (dir / "home" / "Cloud" / "OneDrive").string());

    oneDriveConfig("sync_dir = /srv/onedrive\n");
    EXPECT_EQ(drives::GetSkyDriveFolder(traces), "/srv/onedrive");

    std::filesystem::remove(dir / "home" / "OneDrive");
    oneDriveConfig("sync_dir = \"relative\"\n");
    EXPECT_EQ(drives::GetSkyDriveFolder(traces), "") << "a setting that is no folder";
}

TEST_F(CloudFoldersTest, MountedClientFileSystems)
{
    EXPECT_EQ(drives::GetGoogleDriveFolder(traces), "");
    EXPECT_EQ(drives::GetBoxFolder(traces), "");
    writeFile(dir / "mountinfo", mountLine("/", "ext4", "/dev/sda1") +
                                     mountLine("/home/me/Google\\040Drive", "fuse.google-drive-ocamlfuse",
                                               "google-drive-ocamlfuse") +
                                     mountLine("/home/me/Box", "davfs", "https://dav.box.com/dav") +
                                     mountLine("/media/bitcasa", "fuse.Bitcasa", "bitcasa") +
                                     "garbage line\n");
    EXPECT_EQ(drives::GetGoogleDriveFolder(traces), "/home/me/Google Drive");
    EXPECT_EQ(drives::GetBoxFolder(traces), "/home/me/Box");
    EXPECT_EQ(drives::GetBitcasaDrive(traces), "") << "the volume without its client running";
    process("4242", "bitcasa");
    EXPECT_EQ(drives::GetBitcasaDrive(traces), "/media/bitcasa");
}

TEST_F(CloudFoldersTest, ChoicesProposeFolderAndLabel)
{
    hostDb(encodeLine("/home/me/Dropbox") + "\n");
    writeFile(dir / "mountinfo", mountLine("/media/bitcasa", "bitcasa", "bitcasa"));
    process("77", "Bitcasa");

    const auto dropbox = drives::wizardLocation(CloudProvider::Dropbox, traces);
    ASSERT_TRUE(dropbox);
    EXPECT_EQ(dropbox->folder, "/home/me/Dropbox/Kestrava");
    EXPECT_EQ(dropbox->label, "Kestrava-Dropbox");

    const auto wizardBitcasa = drives::wizardLocation(CloudProvider::Bitcasa, traces);
    const auto recoveryBitcasa = drives::recoveryLocation(CloudProvider::Bitcasa, traces);
    ASSERT_TRUE(wizardBitcasa && recoveryBitcasa);
    EXPECT_EQ(wizardBitcasa->folder, "/media/bitcasa/Kestrava");
    EXPECT_EQ(wizardBitcasa->label, "Kestrava-Bitcasa");
    EXPECT_EQ(recoveryBitcasa->folder, "/media/bitcasa/Kestrava");
    EXPECT_EQ(recoveryBitcasa->label, "Kestrava-Amazon");

    EXPECT_FALSE(drives::wizardLocation(CloudProvider::GoogleDrive, traces));
    EXPECT_FALSE(drives::recoveryLocation(CloudProvider::SkyDrive, traces));

    std::filesystem::remove_all(dir / "home");
    const auto local = drives::localFolderLocation(traces);
    EXPECT_EQ(local.folder, (dir / "home" / "Kestrava").string());
    EXPECT_EQ(local.label, "Kestrava");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "home")) << "the profile folder is created";
}

TEST_F(CloudFoldersTest, AdvancedLocationMenuJoinsTheTypedLabel)
{
    hostDb(encodeLine("/home/me/Dropbox") + "\n");
    const auto menu = drives::advancedLocationMenu(traces);
    ASSERT_EQ(menu.size(), 6u);
    EXPECT_EQ(menu[0].text, "&Dropbox");
    EXPECT_TRUE(menu[0].enabled);
    for (std::size_t i = 1; i < 5; ++i) {
        EXPECT_FALSE(menu[i].enabled) << menu[i].text << ": its client is not found";
    }
    EXPECT_EQ(menu[1].text, "&Microsoft SkyDrive");
    EXPECT_FALSE(menu[5].provider);
    EXPECT_EQ(menu[5].text, "Custom");
    EXPECT_TRUE(menu[5].enabled);

    EXPECT_EQ(drives::advancedLocationFolder(CloudProvider::Dropbox, "My Vault", traces),
              std::optional<std::string>("/home/me/Dropbox/My Vault"));
    for (const char* label : {"", ".", "..", "a/b"}) {
        EXPECT_FALSE(drives::advancedLocationFolder(CloudProvider::Dropbox, label, traces)) << label;
    }
    EXPECT_FALSE(drives::advancedLocationFolder(CloudProvider::Box, "Vault", traces));
    EXPECT_EQ(drives::advancedLocationFolder(std::nullopt, "ignored", traces),
              std::optional<std::string>((dir / "home" / "Kestrava").string()));

    writeFile(dir / "mountinfo", mountLine("/media/bitcasa", "bitcasa", "bitcasa"));
    process("77", "Bitcasa");
    EXPECT_TRUE(drives::advancedLocationMenu(traces)[4].enabled) << "read afresh";
    EXPECT_EQ(drives::advancedLocationFolder(CloudProvider::Bitcasa, "Vault", traces),
              std::optional<std::string>("/media/bitcasa/Vault"));
}

TEST_F(CloudFoldersTest, RowIconsComeFromTheClientFolders)
{
    hostDb(encodeLine("/home/me/Dropbox") + "\n");
    std::filesystem::create_directories(dir / "home" / "OneDrive");
    const auto lookup = drives::cloudFolderLookup(traces);
    EXPECT_EQ(drives::rowIconIndex("/home/me/Dropbox/Kestrava", lookup), 1);
    EXPECT_EQ(drives::rowIconIndex((dir / "home" / "OneDrive" / "vault").string(), lookup), 2);
    EXPECT_EQ(drives::rowIconIndex("/home/me/DropboxOther/x", lookup), 0);
    EXPECT_EQ(lookup(0), "");
    EXPECT_EQ(lookup(9), "");
}

} // namespace
} // namespace kestrava::test
