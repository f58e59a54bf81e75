// Factories of the kestrava-cli commands, one file each.
#pragma once

#include "cli/Command.h"

#include <memory>

namespace kestrava::cli {

std::unique_ptr<Command> makeInitCommand();
std::unique_ptr<Command> makeInfoCommand();
std::unique_ptr<Command> makeVerifyCommand();
std::unique_ptr<Command> makePasswdCommand();
std::unique_ptr<Command> makeLoginPasswordCommand();
std::unique_ptr<Command> makeTotpCommand();
std::unique_ptr<Command> makeWhereCommand();

} // namespace kestrava::cli
