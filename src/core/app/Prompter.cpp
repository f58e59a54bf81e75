#include "core/app/Prompter.h"

#include "core/app/StringTable.h"

namespace kestrava {

std::string formatPrompterMessage(int messageId, const std::vector<std::string>& args)
{
    return formatAppString(loadAppString(messageId), args);
}

} // namespace kestrava
