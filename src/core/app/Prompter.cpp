#include "core/app/Prompter.h"

#include "core/app/StringTable.h"

namespace kestrava {

Button messageBoxCaptioned(Prompter& prompter, int captionId, int messageId,
                           const std::vector<std::string>& args, Buttons buttons, Icon icon)
{
    if (captionId == kDefaultCaption) {
        return prompter.messageBox(messageId, args, buttons, icon);
    }
    return prompter.messageBoxWithCaption(captionId, messageId, args, buttons, icon);
}

std::string formatPrompterMessage(int messageId, const std::vector<std::string>& args)
{
    return formatAppString(loadAppString(messageId), args);
}

} // namespace kestrava
