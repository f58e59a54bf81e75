#include "core/app/SystemInfo.h"

#include "core/app/ActivityLog.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace kestrava::sysinfo {
namespace {

namespace fs = std::filesystem;

TEST(SystemInfoTest, ProcessorLineNamesVendorFieldsAndBrand)
{
    CpuFacts intel{"GenuineIntel", 0x000906EA,
                   std::string("       Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz\0\0", 48)};
    EXPECT_EQ(processorLine(intel),
              "Vendor ID: Intel Corporation | CPU Type ID: 0 | Family ID: 6 | Model ID: 14 | "
              "Stepping Code: 10 | Brand ID: Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz");

    // Without a brand string the name comes from manufacturer, family and model.
    CpuFacts amd{"AuthenticAMD", 0x00002F12, std::nullopt};
    EXPECT_EQ(processorLine(amd),
              "Vendor ID: Advanced Micro Devices | CPU Type ID: 2 | Family ID: 15 | Model ID: 1 | "
              "Stepping Code: 2 | Brand ID: Advanced Micro Devices Family 15 Model 1");

    CpuFacts blankBrand{"CentaurHauls", 0x000006A9, std::string(48, '\0')};
    EXPECT_EQ(processorLine(blankBrand),
              "Vendor ID: IDT\\Centaur, Via Inc. | CPU Type ID: 0 | Family ID: 6 | Model "
              "ID: 10 | Stepping Code: 9 | Brand ID: IDT\\Centaur, Via Inc. Family 6 Model 10");

    EXPECT_EQ(processorLine(std::nullopt), "Error: CPU does not support CPUID.");
}

TEST(SystemInfoTest, ManufacturerNamesMatchWholeVendorText)
{
    EXPECT_EQ(manufacturerName("AMD ISBETTER"), "Advanced Micro Devices");
    EXPECT_EQ(manufacturerName("TransmetaCPU"), "Transmeta");
    EXPECT_EQ(manufacturerName("UMC UMC UMC "), "United Microelectronics Corp.");
    EXPECT_EQ(manufacturerName("genuineintel"), "Unknown Manufacturer");
    EXPECT_EQ(manufacturerName("GenuineIntel "), "Unknown Manufacturer");
    EXPECT_EQ(manufacturerName("HygonGenuine"), "Unknown Manufacturer");
}

TEST(SystemInfoTest, MemoryLineFromMeminfo)
{
    const std::string meminfo = "MemTotal:       16303428 kB\n"
                                "MemFree:         1234567 kB\n"
                                "MemAvailable:    9876544 kB\n"
                                "Buffers:          345678 kB\n";
    EXPECT_EQ(memoryLine(parseMeminfo(meminfo)),
              "Installed RAM: 15921MB | Memory Available: 9876544KB | Percent of used RAM: 39");

    // An old kernel without the estimate: free memory counts as available.
    const std::string old = "MemTotal:        2048000 kB\nMemFree:          512000 kB\n";
    EXPECT_EQ(memoryLine(parseMeminfo(old)),
              "Installed RAM: 2000MB | Memory Available: 512000KB | Percent of used RAM: 75");

    EXPECT_EQ(memoryLine(parseMeminfo("")),
              "Installed RAM: 0MB | Memory Available: 0KB | Percent of used RAM: 0");
}

TEST(SystemInfoTest, OsLineFromKernelReleaseAndOsRelease)
{
    const std::string debian = "NAME=\"Debian GNU/Linux\"\n"
                               "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
                               "VERSION_ID=\"12\"\n";
    EXPECT_EQ(osLine(OsFacts{"6.1.0-18-amd64", debian}),
              "Emulated OS: Debian GNU/Linux 12 (bookworm) v6.01  | "
              "Underlying OS: Debian GNU/Linux 12 (bookworm) v6.01 ");
    EXPECT_EQ(osLine(OsFacts{"5.15.153-microsoft", "NAME='Alpine \\'edge\\''\nID=alpine\n"}),
              "Emulated OS: Alpine 'edge' v5.15 Build:153 | Underlying OS: Alpine 'edge' v5.15 Build:153");
    // PRETTY_NAMES is not PRETTY_NAME.
    EXPECT_EQ(osLine(OsFacts{"4.4", "PRETTY_NAMES=x\n"}),
              "Emulated OS: Linux v4.04  | Underlying OS: Linux v4.04 ");
    EXPECT_EQ(osLine(OsFacts{"", debian}), "Failed in call to GetOSVersion\n");
    EXPECT_EQ(osLine(std::nullopt), "Failed in call to GetOSVersion\n");
}

TEST(SystemInfoTest, ScreenAndDisplayLines)
{
    EXPECT_EQ(screenLine({2560, 1440}),
              "Screen resolution: 2560x1440 | Width: 2560 pixels | Height: 1440 pixels");
    EXPECT_EQ(screenLine({}), "Screen resolution: 0x0 | Width: 0 pixels | Height: 0 pixels");
    EXPECT_EQ(displayLine(DisplayMode{24, 1920, 1080, 60}),
              "Color depth: 24 Bits per pixel. | Pixel Width: 1920 | Pixel Height: 1080 | Refresh frequency: "
              "60 Hz");
    EXPECT_EQ(displayLine(std::nullopt), "Error: can not enumerate display settings.");
}

// A recorded /sys/block: two disks, a loop device, a removable stick and a CD drive.
class SysBlockTest : public ::testing::Test
{
protected:
    test::TempDir dir;
    fs::path sysBlock = dir / "block";

    void addDevice(const std::string& name, std::optional<std::string> size, bool hasDevice,
                   const char* removable, const char* logicalBlockSize = nullptr)
    {
        fs::create_directories(sysBlock / name / "queue");
        if (hasDevice) {
            fs::create_directories(sysBlock / name / "device");
        }
        if (size) {
            test::writeFile(sysBlock / name / "size", *size + "\n");
        }
        test::writeFile(sysBlock / name / "removable", std::string(removable) + "\n");
        if (logicalBlockSize) {
            test::writeFile(sysBlock / name / "queue" / "logical_block_size",
                            std::string(logicalBlockSize) + "\n");
        }
    }

    void addRecordedMachine()
    {
        addDevice("sda", "1953525168", true, "0", "512");
        fs::create_directories(sysBlock / "sda" / "sda1");
        fs::create_directories(sysBlock / "sda" / "sda2");
        addDevice("nvme0n1", "500118192", true, "0", "4096");
        addDevice("loop0", "12345", false, "0");
        addDevice("sdb", "60000000", true, "1");
        fs::create_directories(sysBlock / "sdb" / "sdb1");
        addDevice("sr0", "2097151", true, "1");
    }
};

TEST_F(SysBlockTest, PhysicalDisksLineCountsDisksWithGeometry)
{
    addRecordedMachine();
    EXPECT_EQ(
        physicalDisksLine(sysBlock),
        "Number of Hard Disk Drives: 3 | "
        "--- Hard Disk No. 1 --- | Cylinders: 3891 | Tracks per cylinder: 255 | Sectors per track: 63 | "
        "Bytes per sector: 4096 | Total size: 256036515840 (Bytes) -> 244175 (MB) -> 238 (GB)"
        "--- Hard Disk No. 2 --- | Cylinders: 121601 | Tracks per cylinder: 255 | Sectors per track: 63 | "
        "Bytes per sector: 512 | Total size: 1000202273280 (Bytes) -> 953867 (MB) -> 931 (GB)"
        "--- Hard Disk No. 3 --- | Cylinders: 3734 | Tracks per cylinder: 255 | Sectors per track: 63 | "
        "Bytes per sector: 512 | Total size: 30713195520 (Bytes) -> 29290 (MB) -> 28 (GB)");
}

TEST_F(SysBlockTest, PhysicalDisksLineWithoutReadableDisks)
{
    EXPECT_EQ(physicalDisksLine(sysBlock),
              "Number of Hard Disk Drives: 0 | Error: Can not Query Hard Disk Drives.");
    addDevice("loop0", "100", false, "0");
    addDevice("sr0", "100", true, "1");
    EXPECT_EQ(physicalDisksLine(sysBlock),
              "Number of Hard Disk Drives: 0 | Error: Can not Query Hard Disk Drives.");
    // A disk whose size cannot be read is counted without geometry.
    addDevice("vda", std::nullopt, true, "0");
    EXPECT_EQ(physicalDisksLine(sysBlock), "Number of Hard Disk Drives: 1 | ");
}

TEST_F(SysBlockTest, FixedVolumesLineListsLocalNonRemovableFileSystems)
{
    addRecordedMachine();
    const std::string mounts = "sysfs /sys sysfs rw,nosuid 0 0\n"
                               "/dev/sda1 / ext4 rw,relatime 0 0\n"
                               "tmpfs /tmp tmpfs rw,nosuid,nodev 0 0\n"
                               "/dev/loop0 /snap/core/1 squashfs ro 0 0\n"
                               "/dev/sdb1 /media/stick vfat rw 0 0\n"
                               "/dev/sr0 /media/cdrom iso9660 ro 0 0\n"
                               "/dev/nvme0n1 /home/my\\040data xfs rw 0 0\n"
                               "/dev/sda1 /var/bound ext4 rw 0 0\n"
                               "/dev/sda2 /broken ext4 rw 0 0\n"
                               "server:/export /net nfs4 rw 0 0\n";
    std::map<fs::path, VolumeFacts> facts{
        {"/", {100 * 1024 * 1024 + 5, 30 * 1024 * 1024, 0x3F2E1D0C99AAULL, 255}},
        {"/home/my data", {4096ULL * 1024 * 1024, 4096ULL * 1024 * 1024, 0x1A2B, 1024}},
    };
    std::vector<fs::path> asked;
    auto volume = [&](const fs::path& mountPoint) -> std::optional<VolumeFacts> {
        asked.push_back(mountPoint);
        auto found = facts.find(mountPoint);
        return found == facts.end() ? std::nullopt : std::optional(found->second);
    };
    EXPECT_EQ(fixedVolumesLine(mounts, sysBlock, volume),
              "*** Hard Disk: (/) *** | Total size: 100 (MB) | Used: 70 (MB) | Free: 30 (MB) | "
              "Serial Number: 3F2E-99AA | Max of File Length Support: 255 | File System: ext4"
              "*** Hard Disk: (/home/my data) *** | Total size: 4096 (MB) | Used: 0 (MB) | Free: 4096 (MB) | "
              "Serial Number: 1A2B-1A2B | Max of File Length Support: 1024 | File System: xfs");
    // The stick, the CD, the image, tmpfs, the second mount of sda1 and nfs are never queried.
    EXPECT_EQ(asked, (std::vector<fs::path>{"/", "/home/my data", "/broken"}));
}

TEST_F(SysBlockTest, ShortSerialsShowOverlappingHalves)
{
    const std::string mounts = "/dev/vdb /data ext4 rw 0 0\n";
    for (auto [fsid, serial] : {std::pair{0xABCDEULL, "ABCD-BCDE"}, std::pair{0x0ULL, "0-0"}}) {
        auto volume = [fsid](const fs::path&) { return std::optional(VolumeFacts{0, 0, fsid, 255}); };
        EXPECT_EQ(
            fixedVolumesLine(mounts, sysBlock, volume),
            std::string("*** Hard Disk: (/data) *** | Total size: 0 (MB) | Used: 0 (MB) | Free: 0 (MB) | "
                        "Serial Number: ") +
                serial + " | Max of File Length Support: 255 | File System: ext4");
    }
}

TEST_F(SysBlockTest, CdDrivesLine)
{
    EXPECT_EQ(cdDrivesLine(sysBlock), "No CD drive found.");
    addRecordedMachine();
    EXPECT_EQ(cdDrivesLine(sysBlock), "Number of CD Drive(s) found: 1 | CD Drive letter: (/dev/sr0)");
    addDevice("sr1", "0", true, "1");
    EXPECT_EQ(cdDrivesLine(sysBlock),
              "Number of CD Drive(s) found: 2 | CD Drive letter: (/dev/sr0)CD Drive letter: (/dev/sr1)");
}

TEST(SystemInfoMachineTest, ThisMachineGivesTenLinesBetweenTheBanners)
{
    test::TempDir dir;
    const fs::path log = dir / "kestrava.log";
    applog::configureLog({log, false});
    writeSystemInfo({1024, 768}, DisplayMode{32, 1024, 768, 75});
    applog::configureLog({});

    std::vector<std::string> lines;
    std::istringstream in(test::readFile(log));
    for (std::string line; std::getline(in, line, '\n');) {
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_NE(lines.front().find(std::string(kBeginBanner) + "\r"), std::string::npos);
    EXPECT_NE(lines.back().find(std::string(kEndBanner) + "\r"), std::string::npos);
    EXPECT_NE(lines[4].find("Screen resolution: 1024x768 | Width: 1024 pixels"), std::string::npos);
    EXPECT_NE(lines[5].find("Refresh frequency: 75 Hz"), std::string::npos);
}

} // namespace
} // namespace kestrava::sysinfo
