// kestrava-cli: the terminal front end over the core.
#pragma once

#include "cli/Command.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::cli {

// The command table: what --help prints, and what the manual page and the shell completions
// are generated from at build time, so none of them can drift from the others.
std::vector<std::unique_ptr<Command>> allCommands();
const std::vector<OptionDefinition>& globalOptionDefinitions();
inline constexpr std::string_view kToolDescription =
    "Keeps files encrypted inside ordinary folders and opens them as drives.";
inline constexpr std::string_view kExitCodeDescription =
    "0 success, 1 failure (one line on standard error), 2 usage error";

// Runs one command line (without the program name) and returns its exit code.
int runCli(const std::vector<std::string>& args, Io& io);
// The same, mounting through the given host factory (tests pass one that makes a fake host).
int runCli(const std::vector<std::string>& args, Io& io, HostFactory makeHost);

// The host factory of kestrava-cli: the system's FUSE host under the run's mount root.
HostFactory systemHostFactory();

} // namespace kestrava::cli
