// Running kestrava-cli in tests: in-process through runCli, or as the real program.
#pragma once

#include <string>
#include <vector>

namespace kestrava::test {

struct CliResult
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a command line in-process with the given standard input and no terminal.
CliResult runCliInProcess(const std::vector<std::string>& args, const std::string& input = {});

// Runs the built kestrava-cli program with the given standard input and no terminal.
CliResult runCliProgram(const std::vector<std::string>& args, const std::string& input = {});

} // namespace kestrava::test
