#include "core/app/SystemInfo.h"

#include "core/app/ActivityLog.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/statvfs.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace kestrava::sysinfo {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kMiB = 1024 * 1024;
// The customary translation of a block count into cylinders, heads and sectors.
constexpr std::uint64_t kTracksPerCylinder = 255;
constexpr std::uint64_t kSectorsPerTrack = 63;
constexpr std::uint64_t kSysfsSectorBytes = 512;

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...)
{
    std::array<char, 512> buffer{};
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(buffer.data(), buffer.size(), pattern, args);
    va_end(args);
    return buffer.data();
}

std::string readText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

std::optional<std::uint64_t> readNumber(const fs::path& path)
{
    const std::string text = trimmed(readText(path));
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    return std::stoull(text);
}

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

std::vector<std::string> blockDeviceNames(const fs::path& sysBlock)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(sysBlock, error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool isOpticalName(std::string_view name)
{
    return startsWith(name, "sr");
}

// Disks backed by hardware (or a hypervisor's disk); loop, RAM and mapper devices have no device.
bool isPhysicalDisk(const fs::path& sysBlock, const std::string& name)
{
    for (std::string_view skipped : {"sr", "fd", "loop", "ram", "zram"}) {
        if (startsWith(name, skipped)) {
            return false;
        }
    }
    std::error_code error;
    return fs::exists(sysBlock / name / "device", error);
}

std::string diskGeometryText(const fs::path& disk, int number)
{
    const auto sectors = readNumber(disk / "size");
    if (!sectors) {
        return {};
    }
    const std::uint64_t bytesPerSector =
        readNumber(disk / "queue" / "logical_block_size").value_or(kSysfsSectorBytes);
    const std::uint64_t cylinders =
        *sectors * kSysfsSectorBytes /
        (kTracksPerCylinder * kSectorsPerTrack * std::max<std::uint64_t>(bytesPerSector, 1));
    const std::uint64_t total = cylinders * kTracksPerCylinder * kSectorsPerTrack * bytesPerSector;
    std::string text = format("--- Hard Disk No. %d --- | ", number);
    text += format("Cylinders: %llu | ", static_cast<unsigned long long>(cylinders));
    text += format("Tracks per cylinder: %llu | ", static_cast<unsigned long long>(kTracksPerCylinder));
    text += format("Sectors per track: %llu | ", static_cast<unsigned long long>(kSectorsPerTrack));
    text += format("Bytes per sector: %llu | ", static_cast<unsigned long long>(bytesPerSector));
    text +=
        format("Total size: %llu (Bytes) -> %llu (MB) -> %llu (GB)", static_cast<unsigned long long>(total),
               static_cast<unsigned long long>(total >> 20), static_cast<unsigned long long>(total >> 30));
    return text;
}

// An os-release value: quotes removed and backslash escapes resolved.
std::string osReleaseValue(std::string_view text, std::string_view key)
{
    std::istringstream in{std::string(text)};
    for (std::string line; std::getline(in, line);) {
        if (!startsWith(line, key) || line.size() <= key.size() || line[key.size()] != '=') {
            continue;
        }
        std::string value = trimmed(std::string_view(line).substr(key.size() + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        std::string out;
        for (std::size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size()) {
                ++i;
            }
            out += value[i];
        }
        return out;
    }
    return {};
}

std::string osFields(const std::string& name, int major, int minor, int build)
{
    std::string text = name + format(" v%d.", major) + format("%02d ", minor);
    if (build != 0) {
        text += format("Build:%d", build);
    }
    return text;
}

// Mount table fields write space, tab, newline and backslash as three octal digits.
std::string unescapeMountField(std::string_view field)
{
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto octal = [&](std::size_t at) { return field[at] >= '0' && field[at] <= '7'; };
        if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

// The whole disk a block device name belongs to: itself, or the disk holding it as a partition.
std::optional<std::string> owningDisk(const fs::path& sysBlock, const std::string& name)
{
    std::error_code error;
    if (fs::exists(sysBlock / name, error)) {
        return name;
    }
    for (const std::string& disk : blockDeviceNames(sysBlock)) {
        if (fs::exists(sysBlock / disk / name, error)) {
            return disk;
        }
    }
    return std::nullopt;
}

// A file system on a local block device that is not removable, a loop image or an optical disc.
bool isFixedSource(const std::string& source, const fs::path& sysBlock)
{
    if (!startsWith(source, "/dev/")) {
        return false;
    }
    fs::path device(source);
    std::error_code error;
    if (fs::is_symlink(device, error)) { // /dev/mapper and /dev/disk names
        device = fs::canonical(device, error);
    }
    const std::string name = device.filename().string();
    for (std::string_view skipped : {"loop", "sr", "fd", "ram", "zram"}) {
        if (startsWith(name, skipped)) {
            return false;
        }
    }
    const auto disk = owningDisk(sysBlock, name);
    return !disk || readNumber(sysBlock / *disk / "removable").value_or(0) == 0;
}

std::string serialText(std::uint64_t fsid)
{
    std::string hex = format("%llX", static_cast<unsigned long long>(fsid));
    const std::string first = hex.substr(0, 4);
    const std::string last = hex.substr(hex.size() > 4 ? hex.size() - 4 : 0);
    return first + "-" + last;
}

std::string volumeText(const std::string& mountPoint, const std::string& fileSystem, const VolumeFacts& facts)
{
    const auto mb = [](std::uint64_t bytes) { return static_cast<unsigned long long>(bytes / kMiB); };
    const std::uint64_t used = facts.totalBytes >= facts.freeBytes ? facts.totalBytes - facts.freeBytes : 0;
    std::string text = "*** Hard Disk: (" + mountPoint + ") *** | ";
    text += format("Total size: %llu (MB) | ", mb(facts.totalBytes));
    text += format("Used: %llu (MB) | ", mb(used));
    text += format("Free: %llu (MB) | ", mb(facts.freeBytes));
    text += "Serial Number: " + serialText(facts.fsid) + " | ";
    text +=
        format("Max of File Length Support: %llu | ", static_cast<unsigned long long>(facts.maxNameLength));
    text += "File System: " + fileSystem;
    return text;
}

std::optional<CpuFacts> machineCpu()
{
#if defined(__x86_64__) || defined(__i386__)
    unsigned int eax = 0;
    unsigned int ebx = 0;
    unsigned int ecx = 0;
    unsigned int edx = 0;
    if (__get_cpuid_max(0, nullptr) == 0 || !__get_cpuid(0, &eax, &ebx, &ecx, &edx)) {
        return std::nullopt;
    }
    CpuFacts facts;
    facts.vendor.resize(12);
    std::memcpy(facts.vendor.data(), &ebx, 4);
    std::memcpy(facts.vendor.data() + 4, &edx, 4);
    std::memcpy(facts.vendor.data() + 8, &ecx, 4);
    if (eax >= 1 && __get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
        facts.signature = eax;
    }
    if (__get_cpuid_max(0x80000000, nullptr) >= 0x80000004) {
        std::array<unsigned int, 12> words{};
        for (unsigned int leaf = 0; leaf < 3; ++leaf) {
            __get_cpuid(0x80000002 + leaf, &words[leaf * 4], &words[leaf * 4 + 1], &words[leaf * 4 + 2],
                        &words[leaf * 4 + 3]);
        }
        std::string brand(sizeof(words), '\0');
        std::memcpy(brand.data(), words.data(), sizeof(words));
        facts.brand = brand;
    }
    return facts;
#else
    return std::nullopt;
#endif
}

MemoryFacts machineMemory()
{
    MemoryFacts facts = parseMeminfo(readText("/proc/meminfo"));
    struct sysinfo info
    {
    };
    if (facts.totalBytes == 0 && ::sysinfo(&info) == 0) {
        facts.totalBytes = static_cast<std::uint64_t>(info.totalram) * info.mem_unit;
        facts.availableBytes = static_cast<std::uint64_t>(info.freeram) * info.mem_unit;
    }
    return facts;
}

std::optional<OsFacts> machineOs()
{
    struct utsname names
    {
    };
    if (::uname(&names) != 0) {
        return std::nullopt;
    }
    OsFacts facts;
    facts.kernelRelease = names.release;
    facts.osRelease = readText("/etc/os-release");
    if (facts.osRelease.empty()) {
        facts.osRelease = readText("/usr/lib/os-release");
    }
    return facts;
}

std::optional<VolumeFacts> machineVolume(const fs::path& mountPoint)
{
    struct statvfs stats
    {
    };
    if (::statvfs(mountPoint.c_str(), &stats) != 0) {
        return std::nullopt;
    }
    VolumeFacts facts;
    facts.totalBytes = static_cast<std::uint64_t>(stats.f_blocks) * stats.f_frsize;
    facts.freeBytes = static_cast<std::uint64_t>(stats.f_bfree) * stats.f_frsize;
    facts.fsid = stats.f_fsid;
    facts.maxNameLength = stats.f_namemax;
    return facts;
}

} // namespace

Sources machineSources()
{
    Sources sources;
    sources.cpu = machineCpu;
    sources.memory = machineMemory;
    sources.os = machineOs;
    sources.mounts = [] { return readText("/proc/self/mounts"); };
    sources.volume = machineVolume;
    return sources;
}

std::string manufacturerName(std::string_view vendor)
{
    struct Entry
    {
        std::string_view vendor;
        std::string_view name;
    };
    static constexpr std::array<Entry, 11> kNames{{
        {"AuthenticAMD", "Advanced Micro Devices"},
        {"AMD ISBETTER", "Advanced Micro Devices"},
        {"GenuineIntel", "Intel Corporation"},
        {"Geode By NSC", "National Semiconductor"},
        {"UMC UMC UMC ", "United Microelectronics Corp."},
        {"CyrixInstead", "Cyrix Corp., VIA Inc."},
        {"NexGenDriven", "NexGen Inc., Advanced Micro Devices"},
        {"CentaurHauls", "IDT\\Centaur, Via Inc."},
        {"RiseRiseRise", "Rise"},
        {"GenuineTMx86", "Transmeta"},
        {"TransmetaCPU", "Transmeta"},
    }};
    for (const Entry& entry : kNames) {
        if (entry.vendor == vendor) {
            return std::string(entry.name);
        }
    }
    return "Unknown Manufacturer";
}

std::string processorLine(const std::optional<CpuFacts>& cpu)
{
    if (!cpu) {
        return "Error: CPU does not support CPUID.";
    }
    const unsigned stepping = cpu->signature & 0xF;
    const unsigned model = (cpu->signature >> 4) & 0xF;
    const unsigned family = (cpu->signature >> 8) & 0xF;
    const unsigned type = (cpu->signature >> 12) & 0x3;
    const std::string manufacturer = manufacturerName(cpu->vendor);
    std::string brand = cpu->brand ? trimmed(std::string_view(cpu->brand->c_str())) : std::string();
    if (brand.empty()) {
        brand = manufacturer + format(" Family %u Model %u", family, model);
    }
    return "Vendor ID: " + manufacturer + format(" | CPU Type ID: %u", type) +
           format(" | Family ID: %u", family) + format(" | Model ID: %u", model) +
           format(" | Stepping Code: %u", stepping) + " | Brand ID: " + brand;
}

MemoryFacts parseMeminfo(std::string_view meminfo)
{
    MemoryFacts facts;
    std::optional<std::uint64_t> available;
    std::uint64_t free = 0;
    std::istringstream in{std::string(meminfo)};
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string key;
        std::uint64_t kib = 0;
        if (!(fields >> key >> kib)) {
            continue;
        }
        if (key == "MemTotal:") {
            facts.totalBytes = kib * 1024;
        } else if (key == "MemAvailable:") {
            available = kib * 1024;
        } else if (key == "MemFree:") {
            free = kib * 1024;
        }
    }
    // Kernels before 3.14 do not estimate what is available; free memory is the nearest figure.
    facts.availableBytes = available.value_or(free);
    return facts;
}

std::string memoryLine(const MemoryFacts& memory)
{
    const std::uint64_t available = std::min(memory.availableBytes, memory.totalBytes);
    const std::uint64_t load =
        memory.totalBytes == 0 ? 0 : (memory.totalBytes - available) * 100 / memory.totalBytes;
    return format("Installed RAM: %lluMB", static_cast<unsigned long long>(memory.totalBytes / kMiB)) +
           format(" | Memory Available: %lluKB",
                  static_cast<unsigned long long>(memory.availableBytes / 1024)) +
           format(" | Percent of used RAM: %llu", static_cast<unsigned long long>(load));
}

std::string osLine(const std::optional<OsFacts>& os)
{
    int major = 0;
    int minor = 0;
    int build = 0;
    if (!os || std::sscanf(os->kernelRelease.c_str(), "%d.%d.%d", &major, &minor, &build) < 2) {
        return "Failed in call to GetOSVersion\n";
    }
    std::string name = osReleaseValue(os->osRelease, "PRETTY_NAME");
    if (name.empty()) {
        name = osReleaseValue(os->osRelease, "NAME");
    }
    if (name.empty()) {
        name = "Linux";
    }
    // Nothing emulates another system here: both halves describe the same one.
    const std::string fields = osFields(name, major, minor, build);
    return "Emulated OS: " + fields + " | Underlying OS: " + fields;
}

std::string screenLine(const ScreenFacts& screen)
{
    return format("Screen resolution: %dx%d | Width: %d pixels | Height: %d pixels", screen.width,
                  screen.height, screen.width, screen.height);
}

std::string displayLine(const std::optional<DisplayMode>& mode)
{
    if (!mode) {
        return "Error: can not enumerate display settings.";
    }
    return format("Color depth: %d Bits per pixel.", mode->bitsPerPixel) +
           format(" | Pixel Width: %d", mode->width) + format(" | Pixel Height: %d", mode->height) +
           format(" | Refresh frequency: %d Hz", mode->refreshHz);
}

std::string physicalDisksLine(const fs::path& sysBlock)
{
    int count = 0;
    std::string details;
    for (const std::string& name : blockDeviceNames(sysBlock)) {
        if (isPhysicalDisk(sysBlock, name)) {
            ++count;
            details += diskGeometryText(sysBlock / name, count);
        }
    }
    if (count == 0) {
        details = "Error: Can not Query Hard Disk Drives.";
    }
    return format("Number of Hard Disk Drives: %d | ", count) + details;
}

std::string fixedVolumesLine(std::string_view mounts, const fs::path& sysBlock,
                             const std::function<std::optional<VolumeFacts>(const fs::path&)>& volume)
{
    std::string text;
    std::set<std::string> seenSources; // a device mounted twice is one volume
    std::istringstream in{std::string(mounts)};
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string source;
        std::string mountPoint;
        std::string fileSystem;
        if (!(fields >> source >> mountPoint >> fileSystem)) {
            continue;
        }
        source = unescapeMountField(source);
        if (!isFixedSource(source, sysBlock) || !seenSources.insert(source).second) {
            continue;
        }
        mountPoint = unescapeMountField(mountPoint);
        if (const auto facts = volume(mountPoint)) {
            text += volumeText(mountPoint, fileSystem, *facts);
        }
    }
    return text;
}

std::string cdDrivesLine(const fs::path& sysBlock)
{
    int count = 0;
    std::string drives;
    for (const std::string& name : blockDeviceNames(sysBlock)) {
        if (isOpticalName(name)) {
            ++count;
            drives += "CD Drive letter: (/dev/" + name + ")";
        }
    }
    if (count == 0) {
        return "No CD drive found.";
    }
    return format("Number of CD Drive(s) found: %d | ", count) + drives;
}

std::vector<std::string> reportLines(const Sources& sources, const ScreenFacts& screen,
                                     const std::optional<DisplayMode>& mode)
{
    return {
        std::string(kBeginBanner),
        processorLine(sources.cpu()),
        memoryLine(sources.memory()),
        osLine(sources.os()),
        screenLine(screen),
        displayLine(mode),
        physicalDisksLine(sources.sysBlock),
        fixedVolumesLine(sources.mounts(), sources.sysBlock, sources.volume),
        cdDrivesLine(sources.sysBlock),
        std::string(kEndBanner),
    };
}

void writeSystemInfo(const ScreenFacts& screen, const std::optional<DisplayMode>& mode)
{
    for (const std::string& line : reportLines(machineSources(), screen, mode)) {
        applog::writeLogMessage(line);
    }
}

} // namespace kestrava::sysinfo
