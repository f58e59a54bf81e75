#include "core/prefs/ProgramInformation.h"

#include "core/app/StringTable.h"
#include "core/host/FuseAvailability.h"
#include "core/host/Process.h"

#include <cctype>
#include <chrono>

namespace kestrava::prefs {

std::optional<FuseVersion> parseFusermountVersion(std::string_view output)
{
    constexpr std::string_view kMarker = "version:";
    const std::size_t marker = output.find(kMarker);
    if (marker == std::string_view::npos) {
        return std::nullopt;
    }
    std::size_t i = marker + kMarker.size();
    while (i < output.size() && output[i] == ' ') {
        ++i;
    }
    FuseVersion version{};
    std::size_t part = 0;
    bool digits = false;
    for (; i < output.size() && part < version.size(); ++i) {
        const char c = output[i];
        if (std::isdigit(static_cast<unsigned char>(c)) != 0) {
            version[part] = version[part] * 10 + (c - '0');
            digits = true;
            if (version[part] > 65535) {
                return std::nullopt;
            }
        } else if (c == '.' && digits) {
            ++part;
            digits = false;
        } else {
            break;
        }
    }
    if (part == 0 && !digits) {
        return std::nullopt;
    }
    return version;
}

std::optional<FuseVersion> installedFuseVersion()
{
    if (!host::isFuseUsable()) {
        return std::nullopt;
    }
    const host::RunResult result = host::runProgram({"fusermount3", "-V"}, std::chrono::seconds(10));
    if (!result.started || result.exitCode != 0) {
        return std::nullopt;
    }
    return parseFusermountVersion(result.output);
}

std::string programInformationText(std::string_view programVersion, const std::optional<FuseVersion>& fuse)
{
    std::string text = formatAppString(loadAppString(kTextProgramVersion), {std::string(programVersion)});
    text += "\n\n";
    if (fuse) {
        text += formatAppString(loadAppString(kTextFuseInstalled),
                                {std::to_string((*fuse)[0]), std::to_string((*fuse)[1]),
                                 std::to_string((*fuse)[2]), std::to_string((*fuse)[3])});
    } else {
        text += loadAppString(kTextFuseMissing);
    }
    return text;
}

} // namespace kestrava::prefs
