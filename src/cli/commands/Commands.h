// Factories of the kestrava-cli commands, one file each.
#pragma once

#include "cli/Command.h"

#include <memory>

namespace kestrava::cli {

std::unique_ptr<Command> makeInitCommand();
std::unique_ptr<Command> makeInfoCommand();
std::unique_ptr<Command> makeVerifyCommand();
std::unique_ptr<Command> makeCheckCommand();
std::unique_ptr<Command> makePasswdCommand();
// Drive commands.
std::unique_ptr<Command> makeCreateCommand();
std::unique_ptr<Command> makeListCommand();
std::unique_ptr<Command> makeMountCommand();
std::unique_ptr<Command> makeUnmountCommand();
std::unique_ptr<Command> makeDeleteCommand();
std::unique_ptr<Command> makeBackupTokenCommand();
std::unique_ptr<Command> makeConvertCommand();
std::unique_ptr<Command> makeEditCommand();
std::unique_ptr<Command> makeRecoverCommand();
std::unique_ptr<Command> makeCloudsCommand();
std::unique_ptr<Command> makeLettersCommand();
std::unique_ptr<Command> makeWhereCommand();
// The serving mode of one mounted drive (started by the drive host; not listed in the help).
std::unique_ptr<Command> makeServeCommand();
std::unique_ptr<Command> makeLoginPasswordCommand();
std::unique_ptr<Command> makeTotpCommand();
std::unique_ptr<Command> makeFuseCommand();
std::unique_ptr<Command> makeUpdateCommand();
std::unique_ptr<Command> makeSettingsCommand();

} // namespace kestrava::cli
