#include "core/drives/TrayTooltip.h"

#include "core/app/StringTable.h"
#include "core/drives/DriveMessages.h"

namespace kestrava::drives {

std::string programTitle(std::string_view version)
{
    std::string title = formatAppString(loadAppString(kMsgProgramTitle), {std::string(version)});
    const std::string maker = "Harbrook ";
    if (const auto at = title.find(maker); at != std::string::npos) {
        title.erase(at, maker.size());
    }
    return title;
}

std::string trayTooltipText(std::string_view title, const std::vector<std::string>& mountedLetters)
{
    if (mountedLetters.empty()) {
        return formatAppString(loadAppString(kTooltipNotActive), {std::string(title)});
    }
    std::string letters;
    for (std::size_t i = 0; i < mountedLetters.size(); ++i) {
        letters += (i == 0 ? "" : ", ") + mountedLetters[i];
    }
    std::string text = formatAppString(loadAppString(kTooltipActive), {std::string(title), letters});
    if (text.size() > kMaxTooltipCharacters) {
        text = text.substr(0, kMaxTooltipCharacters - 4) + "...)";
    }
    return text;
}

} // namespace kestrava::drives
