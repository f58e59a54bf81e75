// kestrava-cli: the terminal front end over the core.
#pragma once

#include "cli/Command.h"

#include <string>
#include <vector>

namespace kestrava::cli {

// Runs one command line (without the program name) and returns its exit code.
int runCli(const std::vector<std::string>& args, Io& io);

} // namespace kestrava::cli
