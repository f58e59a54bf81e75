// The machine description written to the activity log at start, so that a log sent in by a user
// tells which computer it came from. Each line has its own routine that builds its text from
// facts gathered separately, so the texts can be checked against recorded machine data.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::sysinfo {

inline constexpr std::string_view kBeginBanner = "===============PC INFO - BEGIN================";
inline constexpr std::string_view kEndBanner = "===============PC INFO - END================";

// What the processor reports about itself; unset when it has no identification instruction.
struct CpuFacts
{
    std::string vendor;               // the twelve-character vendor text
    std::uint32_t signature = 0;      // leaf 1 EAX: stepping, model, family, type
    std::optional<std::string> brand; // the extended brand string, when offered
};

// Physical memory in bytes.
struct MemoryFacts
{
    std::uint64_t totalBytes = 0;
    std::uint64_t availableBytes = 0;
};

// The kernel release ("6.8.0-45-generic") and the os-release file's text.
struct OsFacts
{
    std::string kernelRelease;
    std::string osRelease;
};

// The primary screen as the front end sees it. Without a screen (the command line) the screen
// is 0 x 0 and the display mode unknown.
struct ScreenFacts
{
    int width = 0;
    int height = 0;
};

struct DisplayMode
{
    int bitsPerPixel = 0;
    int width = 0;
    int height = 0;
    int refreshHz = 0;
};

// One mounted file system's space and identity, as statvfs gives them.
struct VolumeFacts
{
    std::uint64_t totalBytes = 0;
    std::uint64_t freeBytes = 0;
    std::uint64_t fsid = 0;
    std::uint64_t maxNameLength = 0;
};

// Where the facts come from; the defaults read this machine.
struct Sources
{
    std::function<std::optional<CpuFacts>()> cpu;
    std::function<MemoryFacts()> memory;
    std::function<std::optional<OsFacts>()> os;
    std::filesystem::path sysBlock = "/sys/block";
    std::function<std::string()> mounts;
    std::function<std::optional<VolumeFacts>(const std::filesystem::path&)> volume;
};
Sources machineSources();

std::string manufacturerName(std::string_view vendor);
std::string processorLine(const std::optional<CpuFacts>& cpu);
MemoryFacts parseMeminfo(std::string_view meminfo);
std::string memoryLine(const MemoryFacts& memory);
std::string osLine(const std::optional<OsFacts>& os);
std::string screenLine(const ScreenFacts& screen);
std::string displayLine(const std::optional<DisplayMode>& mode);
std::string physicalDisksLine(const std::filesystem::path& sysBlock);
std::string
fixedVolumesLine(std::string_view mounts, const std::filesystem::path& sysBlock,
                 const std::function<std::optional<VolumeFacts>(const std::filesystem::path&)>& volume);
std::string cdDrivesLine(const std::filesystem::path& sysBlock);

// The ten lines, banners included, in their order.
std::vector<std::string> reportLines(const Sources& sources, const ScreenFacts& screen,
                                     const std::optional<DisplayMode>& mode);

// Writes the ten lines to the activity log.
void writeSystemInfo(const ScreenFacts& screen, const std::optional<DisplayMode>& mode);

} // namespace kestrava::sysinfo
