#include "cli/Cli.h"

#include <iostream>

// Questions and passwords go to the controlling terminal when there is one.
int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    kestrava::cli::Io io{std::cin, std::cout, std::cerr, true};
    return kestrava::cli::runCli(args, io);
}
