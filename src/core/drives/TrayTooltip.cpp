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
    std::string text(title);
    if (mountedLetters.empty()) {
        return text + " - Not Active";
    }
    text += " - Active\n(Mounted Drives: ";
    for (std::size_t i = 0; i < mountedLetters.size(); ++i) {
        text += (i == 0 ? "" : ", ") + mountedLetters[i];
    }
    text += ")";
    if (text.size() > kMaxTooltipCharacters) {
        text = text.substr(0, kMaxTooltipCharacters - 4) + "...)";
    }
    return text;
}

} // namespace kestrava::drives
