#include "core/host/ServeProtocol.h"

#include <array>
#include <utility>

namespace kestrava::host {
namespace {

constexpr std::array<std::pair<MountOutcome, std::string_view>, 5> kNames{{
    {MountOutcome::Mounted, "mounted"},
    {MountOutcome::DriverMissing, "driver-missing"},
    {MountOutcome::LetterInUse, "letter-in-use"},
    {MountOutcome::InvalidPath, "invalid-path"},
    {MountOutcome::Failed, "failed"},
}};

std::string oneLine(std::string_view text)
{
    std::string line(text);
    for (char& c : line) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return line;
}

} // namespace

std::string_view outcomeName(MountOutcome outcome)
{
    for (const auto& [value, name] : kNames) {
        if (value == outcome) {
            return name;
        }
    }
    return "failed";
}

std::string formatReadyLine()
{
    return "ready\n";
}

std::string formatErrorLine(MountOutcome outcome, std::string_view detail)
{
    if (outcome == MountOutcome::Mounted) {
        outcome = MountOutcome::Failed;
    }
    return "error " + std::string(outcomeName(outcome)) + " " + oneLine(detail) + "\n";
}

MountResult parseStatusLine(std::string_view line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    if (line == "ready") {
        return {MountOutcome::Mounted, {}};
    }
    constexpr std::string_view kError = "error ";
    if (line.substr(0, kError.size()) == kError) {
        line.remove_prefix(kError.size());
        const std::size_t space = line.find(' ');
        const std::string_view kind = line.substr(0, space);
        const std::string detail(space == std::string_view::npos ? std::string_view()
                                                                 : line.substr(space + 1));
        for (const auto& [value, name] : kNames) {
            if (name == kind && value != MountOutcome::Mounted) {
                return {value, detail};
            }
        }
        return {MountOutcome::Failed, detail};
    }
    return {MountOutcome::Failed, "unexpected answer from the serving process: " + oneLine(line)};
}

} // namespace kestrava::host
