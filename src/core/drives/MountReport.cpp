#include "core/drives/MountReport.h"

#include "core/app/Prompter.h"
#include "core/drives/DriveMessages.h"

namespace kestrava::drives {

void reportMountFailure(Prompter& prompter, const std::string& letter, const host::MountResult& result)
{
    switch (result.outcome) {
    case host::MountOutcome::DriverMissing:
        prompter.messageBox(kMsgDriverMissing, {}, Buttons::OK, Icon::Error);
        break;
    case host::MountOutcome::InvalidPath:
        prompter.messageBox(kMsgInvalidMountPath, {}, Buttons::OK, Icon::Error);
        break;
    case host::MountOutcome::LetterInUse:
        prompter.messageBox(kMsgLetterInUse, {letter}, Buttons::OK, Icon::Error);
        break;
    case host::MountOutcome::Failed:
        prompter.messageBox(kMsgMountFailed, {letter, result.detail}, Buttons::OK, Icon::Error);
        break;
    case host::MountOutcome::Mounted:
        break;
    }
}

} // namespace kestrava::drives
