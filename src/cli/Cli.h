// kestrava-cli: the terminal front end over the core.
#pragma once

#include "cli/Command.h"

#include <string>
#include <vector>

namespace kestrava::cli {

// Runs one command line (without the program name) and returns its exit code.
int runCli(const std::vector<std::string>& args, Io& io);
// The same, mounting through the given host factory (tests pass one that makes a fake host).
int runCli(const std::vector<std::string>& args, Io& io, HostFactory makeHost);

// The host factory of kestrava-cli: the system's FUSE host under the run's mount root.
HostFactory systemHostFactory();

} // namespace kestrava::cli
